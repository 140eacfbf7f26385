// File-system queries and path helpers. The path helpers split at backslashes only, on every
// platform: the paths they take apart are Windows paths.
#include "platform/platform.h"
#include "stdlib/builtin_support.h"
#include "stdlib/streams.h"

namespace qel {

namespace {

constexpr uint32_t kMaxPath = 260;

// Index of the last backslash, or -1.
int32_t last_backslash(const WStr& path) {
    for (int32_t i = static_cast<int32_t>(path.length) - 1; i >= 0; --i)
        if (path.buffer[i] == u'\\') return i;
    return -1;
}

bool file_exists(const WStr& path) {
    if (!usable_file_name(path)) return false;
    uint32_t error = 0;
    uint32_t attributes = platform::file_attributes(path.text(), &error);
    if (attributes != platform::kInvalidAttributes) return (attributes & platform::kAttributeDirectory) == 0;
    if (error == platform::kFileNotFound || error == platform::kPathNotFound || error == platform::kInvalidName)
        return false;
    // Locked system files refuse their attributes but show up in a directory search.
    bool is_directory = false;
    return platform::find_file(path.text(), &is_directory) && !is_directory;
}

bool directory_exists(const WStr& path) {
    if (!usable_file_name(path)) return false;
    uint32_t error = 0;
    uint32_t attributes = platform::file_attributes(path.text(), &error);
    return attributes != platform::kInvalidAttributes && (attributes & platform::kAttributeDirectory) != 0;
}

}  // namespace

void bi_FileExists(Runtime* rt, Frame* f) {
    Value& slot = top_slot(f->stack);
    bool found = file_exists(top_string(f->stack));
    set_bool(slot, found);
}

void bi_DirectoryExists(Runtime* rt, Frame* f) {
    Value& slot = top_slot(f->stack);
    bool found = directory_exists(top_string(f->stack));
    set_bool(slot, found);
}

// The text after the last backslash; the whole path when there is none.
void bi_ExtractFileName(Runtime* rt, Frame* f) {
    WStr& path = top_string(f->stack);
    int32_t cut = last_backslash(path);
    if (cut >= 0) path.assign_wide(path.text() + cut + 1, path.length - static_cast<uint32_t>(cut) - 1);
}

// The text before the last backslash; the whole path when there is none.
void bi_ExtractFileDir(Runtime* rt, Frame* f) {
    WStr& path = top_string(f->stack);
    int32_t cut = last_backslash(path);
    if (cut >= 0) path.assign_wide(path.text(), static_cast<uint32_t>(cut));
}

// From the first point after the last backslash up to the next slash, backslash, space, comma
// or percent sign; empty when the file name has no point.
void bi_ExtractFileExt(Runtime* rt, Frame* f) {
    WStr& path = top_string(f->stack);
    const WChar* t = path.text();
    uint32_t start = static_cast<uint32_t>(last_backslash(path) + 1);
    while (start < path.length && t[start] != u'.') ++start;
    if (start >= path.length) {
        path.clear();
        return;
    }
    uint32_t end = start + 1;
    while (end < path.length && t[end] != u'\\' && t[end] != u'/' && t[end] != u' ' && t[end] != u',' &&
           t[end] != u'%')
        ++end;
    path.assign_wide(t + start, end - start);
}

// The current directory (at most 260 characters); empty when the query fails.
void bi_GetCurrentDir(Runtime* rt, Frame* f) {
    char16_t dir[kMaxPath + 1];
    int n = platform::current_directory(dir, static_cast<int>(kMaxPath + 1));
    push_string_units(f->stack, dir, n > 0 ? static_cast<uint32_t>(n) : 0);
}

}  // namespace qel
