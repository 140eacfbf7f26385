#include "stdlib/string_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/byte_buffer.h"
#include "image/container.h"
#include "platform/platform.h"
#include "base/runtime_error.h"

namespace qel {

namespace {

constexpr WChar kCR = 0x0D;
constexpr WChar kLF = 0x0A;
constexpr WChar kEquals = u'=';

[[noreturn]] void out_of_memory() { raise_runtime_error("Out of memory"); }

// Stands in for the text of a null element (a list that list_add filled with anything).
const WStr kNoText{};

const WStr& text_of(const void* item) { return item ? static_cast<const StrItem*>(item)->text : kNoText; }

StrItem* new_item(const WChar* text, uint32_t n, void* object) {
    auto* item = static_cast<StrItem*>(std::calloc(1, sizeof(StrItem)));
    if (!item) out_of_memory();
    if (n > 0) {
        item->text.assign_wide(text, n);
        if (item->text.length != n) {
            std::free(item);
            out_of_memory();
        }
    }
    item->object = object;
    return item;
}

void free_item(StrItem* item) {
    if (!item) return;
    item->text.clear();
    std::free(item);
}

void add_item(PtrList* list, StrItem* item) {
    try {
        list->add(item);
    } catch (...) {
        free_item(item);
        throw;
    }
}

// Position of the first "=" of a text, or -1.
int32_t equals_at(const WStr& s) {
    for (uint32_t i = 0; i < s.length; ++i)
        if (s.buffer[i] == kEquals) return static_cast<int32_t>(i);
    return -1;
}

// Lines built aside, so that the source text stays valid while it is split (it may be one of
// the target's own lines) and a failure part-way leaves the target as it was.
struct Lines {
    PtrList list{};

    Lines() = default;
    Lines(const Lines&) = delete;
    Lines& operator=(const Lines&) = delete;
    ~Lines() { string_list_clear(&list); }

    void add(const WChar* text, uint32_t n) { add_item(&list, new_item(text, n, nullptr)); }

    // The target's lines are freed and these take their place.
    void replace(PtrList* target) {
        string_list_clear(target);
        *target = list;
        list = PtrList{};
    }

    // These lines go behind the target's own; the capacity grows as single adds would grow it.
    void append_to(PtrList* target) {
        if (list.count == 0) return;
        int32_t needed = target->count + list.count;
        int32_t capacity = target->capacity;
        while (capacity < needed) capacity = ptr_list_grow(capacity);
        if (!target->set_capacity(capacity)) out_of_memory();
        std::memcpy(target->items + target->count, list.items, static_cast<size_t>(list.count) * sizeof(void*));
        target->count = needed;
        list.clear();
    }
};

void split_at_breaks(Lines& out, const WChar* s, uint32_t n) {
    uint32_t p = 0;
    while (p < n) {
        uint32_t start = p;
        while (p < n && s[p] != kCR && s[p] != kLF) ++p;
        out.add(s + start, p - start);
        if (p < n) {
            if (s[p++] == kCR && p < n && s[p] == kLF) ++p;
        }
    }
}

// First match of sep in s[from .. n), or n.
uint32_t find(const WChar* s, uint32_t from, uint32_t n, const WStr& sep) {
    const uint32_t m = sep.length;
    for (uint32_t i = from; m <= n && i <= n - m; ++i)
        if (s[i] == sep.buffer[0] && std::memcmp(s + i, sep.buffer, m * sizeof(WChar)) == 0) return i;
    return n;
}

void split_at_separator(Lines& out, const WChar* s, uint32_t n, const WStr& sep) {
    uint32_t p = 0;
    while (p < n) {
        uint32_t m = find(s, p, n, sep);
        out.add(s + p, m - p);
        p = m < n ? m + sep.length : n;
    }
}

// A malloc'ed array of UTF-16 units, freed with its holder.
struct Units {
    WChar* data = nullptr;
    uint32_t count = 0;

    Units() = default;
    Units(const Units&) = delete;
    Units& operator=(const Units&) = delete;
    ~Units() { std::free(data); }

    void allocate(uint32_t n) {
        data = static_cast<WChar*>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(WChar)));
        if (!data) out_of_memory();
        count = n;
    }
};

// Bytes of a code page into units; false when the converter fails.
bool convert(Units& out, uint32_t code_page, const uint8_t* bytes, int32_t n) {
    if (n <= 0) return true;
    const char* in = reinterpret_cast<const char*>(bytes);
    int units = platform::to_utf16(code_page, in, n, nullptr, 0);
    if (units <= 0) return false;
    out.allocate(static_cast<uint32_t>(units));
    return platform::to_utf16(code_page, in, n, out.data, units) == units;
}

bool write_all(FILE* f, const void* data, size_t n) { return n == 0 || std::fwrite(data, 1, n, f) == n; }

bool write_text(FILE* f, const WStr& text, int32_t encoding, bool write_bom) {
    static const uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
    static const uint8_t kUtf16Bom[] = {0xFF, 0xFE};
    const int n = static_cast<int>(text.length);
    switch (encoding) {
        case kEncodingAnsi:
        case kEncodingUtf8: {
            bool ok = encoding == kEncodingUtf8 && write_bom ? write_all(f, kUtf8Bom, sizeof kUtf8Bom) : true;
            if (n == 0) return ok;
            uint32_t code_page = encoding == kEncodingAnsi ? platform::kCodePageAnsi : platform::kCodePageUtf8;
            int bytes = platform::from_utf16(code_page, text.buffer, n, nullptr, 0);
            if (bytes <= 0) return false;
            char* out = static_cast<char*>(std::malloc(static_cast<size_t>(bytes)));
            if (!out) out_of_memory();
            // Every byte the conversion gives is written: a multi-byte code page may give more
            // bytes than the text has units.
            int written = platform::from_utf16(code_page, text.buffer, n, out, bytes);
            ok = written == bytes && write_all(f, out, static_cast<size_t>(bytes)) && ok;
            std::free(out);
            return ok;
        }
        case kEncodingUtf16: {
            bool ok = write_bom ? write_all(f, kUtf16Bom, sizeof kUtf16Bom) : true;
            if (n == 0) return ok;
            auto* out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(n) * 2));
            if (!out) out_of_memory();
            for (int i = 0; i < n; ++i) {
                out[2 * i] = static_cast<uint8_t>(text.buffer[i] & 0xFF);
                out[2 * i + 1] = static_cast<uint8_t>(text.buffer[i] >> 8);
            }
            ok = write_all(f, out, static_cast<size_t>(n) * 2) && ok;
            std::free(out);
            return ok;
        }
        default:
            return true;
    }
}

}  // namespace

StrItem* string_list_item(const PtrList* list, int32_t index) {
    auto* item = static_cast<StrItem*>(list->get(index));
    if (!item) raise_runtime_error("String list line is not assigned");
    return item;
}

void string_list_add(PtrList* list, const WChar* text, uint32_t n, void* object) {
    add_item(list, new_item(text, n, object));
}

void string_list_insert(PtrList* list, int32_t index, const WStr& text) {
    StrItem* item = new_item(text.buffer, text.length, nullptr);
    try {
        list->insert_at(index, item);
    } catch (...) {
        free_item(item);
        throw;
    }
}

void string_list_delete(PtrList* list, int32_t index) {
    auto* item = static_cast<StrItem*>(list->get(index));
    list->remove_at(index);
    free_item(item);
}

void string_list_clear(PtrList* list) {
    for (int32_t i = 0; i < list->count; ++i) free_item(static_cast<StrItem*>((*list)[i]));
    list->clear();
}

void string_list_free(PtrList* list) {
    if (!list) return;
    string_list_clear(list);
    ptr_list_destroy(list);
}

int32_t string_list_index_of(const PtrList* list, const WStr& text) {
    for (int32_t i = 0; i < list->count; ++i) {
        const WStr& line = text_of((*list)[i]);
        if (line.length == text.length &&
            (text.length == 0 || std::memcmp(line.buffer, text.buffer, text.length * sizeof(WChar)) == 0))
            return i;
    }
    return -1;
}

int32_t string_list_index_of_object(const PtrList* list, const void* object) {
    for (int32_t i = 0; i < list->count; ++i) {
        auto* item = static_cast<const StrItem*>((*list)[i]);
        if (item && item->object == object) return i;
    }
    return -1;
}

int32_t string_list_index_of_name(const PtrList* list, const WStr& name) {
    if (name.length == 0) return -1;
    for (int32_t i = 0; i < list->count; ++i) {
        const WStr& line = text_of((*list)[i]);
        if (equals_at(line) == static_cast<int32_t>(name.length) &&
            std::memcmp(line.buffer, name.buffer, name.length * sizeof(WChar)) == 0)
            return i;
    }
    return -1;
}

void string_list_value(const PtrList* list, const WStr& name, WStr& out) {
    int32_t i = string_list_index_of_name(list, name);
    if (i < 0)
        out.clear();
    else
        string_list_value_at(list, i, out);
}

void string_list_set_value(PtrList* list, const WStr& name, const WStr& value) {
    const uint32_t name_length = name.length;
    int32_t i = string_list_index_of_name(list, name);
    if (i < 0) {
        WStr line{};
        line.reserve(static_cast<int>(name_length + value.length + 1));
        line.append(name);
        line.append_units(&kEquals, 1);
        line.append(value);
        if (line.length != name_length + value.length + 1) {
            line.clear();
            out_of_memory();
        }
        try {
            string_list_add(list, line.buffer, line.length, nullptr);
        } catch (...) {
            line.clear();
            throw;
        }
        line.clear();
        return;
    }
    WStr& text = string_list_item(list, i)->text;
    const uint32_t keep = name_length + 1;  // the name and its "="
    if (value.length == 0) {
        text.length = keep;
        text.buffer[keep] = 0;
        return;
    }
    // The value may be this very line: copy it before the line is rewritten.
    WStr v{};
    v.assign(value);
    if (v.length != value.length) out_of_memory();
    text.reserve(static_cast<int>(keep + v.length));
    if (text.capacity < keep + v.length) {
        v.clear();
        out_of_memory();
    }
    std::memcpy(text.buffer + keep, v.buffer, (static_cast<size_t>(v.length) + 1) * sizeof(WChar));
    text.length = keep + v.length;
    v.clear();
}

void string_list_name_at(const PtrList* list, int32_t index, WStr& out) {
    const WStr& text = string_list_item(list, index)->text;
    int32_t e = equals_at(text);
    if (e < 0)
        out.assign(text);
    else if (e == 0)
        out.clear();
    else
        out.assign_wide(text.buffer, static_cast<uint32_t>(e));
}

void string_list_value_at(const PtrList* list, int32_t index, WStr& out) {
    const WStr& text = string_list_item(list, index)->text;
    int32_t e = equals_at(text);
    uint32_t n = e < 0 ? 0 : text.length - static_cast<uint32_t>(e) - 1;
    if (n == 0)
        out.clear();
    else
        out.assign_wide(text.buffer + e + 1, n);
}

void string_list_text(const PtrList* list, WStr& out) {
    if (list->count == 0) {
        out.clear();
        return;
    }
    uint64_t total = 0;
    for (int32_t i = 0; i < list->count; ++i) total += text_of((*list)[i]).length + 2u;
    if (total > 0x3FFFFFFF) out_of_memory();
    WStr joined{};
    joined.reserve(static_cast<int>(total));
    if (!joined.buffer) out_of_memory();
    static const WChar kBreak[] = {kCR, kLF};
    for (int32_t i = 0; i < list->count; ++i) {
        if (i > 0) joined.append_units(kBreak, 2);
        const WStr& line = text_of((*list)[i]);
        joined.append_units(line.text(), line.length);
    }
    out.adopt(joined.buffer, joined.length, joined.capacity);
}

void string_list_set_text(PtrList* list, const WChar* text, uint32_t n) {
    Lines lines;
    split_at_breaks(lines, text, n);
    lines.replace(list);
}

void string_list_split(PtrList* list, const WChar* text, uint32_t n, const WStr& separator) {
    if (separator.length == 2 && separator.buffer[0] == kCR && separator.buffer[1] == kLF) {
        string_list_set_text(list, text, n);
        return;
    }
    Lines lines;
    if (separator.length == 0) {
        if (n > 0) lines.add(text, n);
    } else {
        split_at_separator(lines, text, n, separator);
    }
    lines.append_to(list);
}

int string_list_compare(const WStr& a, const WStr& b, bool case_sensitive) {
    const uint32_t n = a.length < b.length ? a.length : b.length;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t x = a.buffer[i], y = b.buffer[i];
        if (!case_sensitive) {
            if (x >= u'A' && x <= u'Z') x += 32;
            if (y >= u'A' && y <= u'Z') y += 32;
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
}

void string_list_sort(PtrList* list, bool case_sensitive, bool descending) {
    ptr_list_sort(
        list, [case_sensitive](void* a, void* b) { return string_list_compare(text_of(a), text_of(b), case_sensitive); },
        descending);
}

bool string_list_decode(PtrList* list, const uint8_t* data, int32_t size) {
    Units units;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        uint32_t n = static_cast<uint32_t>(size - 2) / 2;
        if (n > 0) units.allocate(n);
        for (uint32_t i = 0; i < n; ++i)
            units.data[i] = static_cast<WChar>(data[2 + 2 * i] | (data[3 + 2 * i] << 8));
    } else if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        if (!convert(units, platform::kCodePageUtf8, data + 3, size - 3)) return false;
    } else if (!convert(units, platform::kCodePageAnsi, data, size)) {
        return false;
    }
    string_list_set_text(list, units.data, units.count);
    return true;
}

bool string_list_load_file(PtrList* list, const char16_t* path) {
    ByteBuffer file;
    if (!read_whole_file(file, path)) return false;
    return string_list_decode(list, file.data, file.length);
}

bool string_list_save_file(const PtrList* list, const char16_t* path, int32_t encoding, bool write_bom) {
    FILE* f = platform::open_file(path, "wb");
    if (!f) return false;
    WStr text{};
    bool ok;
    try {
        string_list_text(list, text);
        ok = write_text(f, text, encoding, write_bom);
    } catch (...) {
        text.clear();
        std::fclose(f);
        throw;
    }
    text.clear();
    return std::fclose(f) == 0 && ok;
}

bool string_list_save_compressed(const PtrList* list, const char16_t* path) {
    WStr text{};
    string_list_text(list, text);
    int bytes = 0;
    char* utf8 = text.to_utf8(&bytes);
    text.clear();
    if (!utf8) out_of_memory();
    int status = container_deflate_to_file(reinterpret_cast<const uint8_t*>(utf8), bytes, path);
    std::free(utf8);
    return status == kZOk;
}

bool string_list_load_compressed(PtrList* list, const char16_t* path) {
    ByteBuffer content;
    if (container_inflate_file(content, path) != kZOk) {
        string_list_clear(list);
        return false;
    }
    // The text ends at its zero byte (or with the block when it has none).
    const void* zero = content.length > 0 ? std::memchr(content.data, 0, static_cast<size_t>(content.length)) : nullptr;
    int32_t n = zero ? static_cast<int32_t>(static_cast<const uint8_t*>(zero) - content.data) : content.length;
    Units units;
    if (!convert(units, platform::kCodePageUtf8, content.data, n)) {
        string_list_clear(list);
        return false;
    }
    string_list_set_text(list, units.data, units.count);
    return true;
}

}  // namespace qel
