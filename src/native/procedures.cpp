#include "native/procedures.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/name_hash.h"
#include "base/runtime_error.h"
#include "native/native_state.h"
#include "platform/platform.h"
#include "vm/hooks.h"
#include "vm/runtime.h"

namespace qel {

namespace {

// A load report (error 10), formatted into at most 255 characters. Loading goes on.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_vm_hooks.report) g_vm_hooks.report(10, text);
}

// The library directory, a separator and the name (through the system code page).
void* load_from_directory(const WStr& dir, const char* name) {
    int n = platform::to_utf16(platform::kCodePageAnsi, name, -1, nullptr, 0);
    if (n <= 0) return nullptr;
    WStr path{};
    path.assign(dir);
    const char16_t separator[2] = {platform::path_separator(), 0};
    path.append_wide(separator);
    auto* wide = static_cast<char16_t*>(std::malloc(static_cast<size_t>(n) * sizeof(char16_t)));
    void* module = nullptr;
    if (wide && platform::to_utf16(platform::kCodePageAnsi, name, -1, wide, n) > 0) {
        path.append_wide(wide);
        module = platform::library_load_path(path.text());
    }
    std::free(wide);
    path.clear();
    return module;
}

// The entry point of a name: "#" and digits is an ordinal; any other name is tried with "W"
// appended first, then as written (which sets unicode).
void bind(CLibProc* p) {
    void* module = p->library->hInst;
    const char* name = p->name;
    if (name[0] == '#') {
        uint32_t ordinal = 0;
        for (const char* c = name + 1; *c >= '0' && *c <= '9' && ordinal < 0x10000000u; ++c)
            ordinal = ordinal * 10 + static_cast<uint32_t>(*c - '0');
        p->proc = platform::library_ordinal(module, ordinal);
        return;
    }
    size_t n = std::strlen(name);
    char* wide_name = static_cast<char*>(std::malloc(n + 2));
    if (wide_name) {
        std::memcpy(wide_name, name, n);
        wide_name[n] = 'W';
        wide_name[n + 1] = 0;
        p->proc = platform::library_symbol(module, wide_name);
        std::free(wide_name);
    }
    if (!p->proc) {
        p->unicode = 1;
        p->proc = platform::library_symbol(module, name);
    }
}

}  // namespace

CLib* load_library_record(ProcRegistry& reg, const char* name, bool late) {
    const uint32_t h = name_hash(name);
    if (CLib* l = reg.find_library(h)) return l;
    auto* l = static_cast<CLib*>(std::calloc(1, sizeof(CLib)));
    if (!l) return nullptr;
    l->hash = h;
    l->name = strdup(name);
    if (!l->name) {
        std::free(l);
        return nullptr;
    }
    if (reg.library_dir) l->hInst = load_from_directory(*reg.library_dir, name);
    if (!l->hInst) l->hInst = platform::library_load_name(name);
    if (!l->hInst && !late) report("Library <%s> loading error!", name);
    reg.libs.add(l);
    return l;
}

CLibProc* native_register_proc(ProcRegistry& reg, const char* library, const char* name, char return_type,
                               const char* param_types, uint8_t convention, bool late) {
    const bool is_asm = std::strcmp(library, "asm") == 0;
    CLib* lib = is_asm ? nullptr : load_library_record(reg, library, late);
    CLibProc* p = proc_desc_create(lib, name, return_type, param_types, convention, late);
    if (!p) return nullptr;
    if (!lib) {
        if (is_asm || late) {
            reg.procs.add(p);
            return p;
        }
        report("Undefined lib <%s>", library);
        proc_desc_destroy(p);
        return nullptr;
    }
    bind(p);
    if (!p->proc && !late) {
        report("Undefined lib function <%s> in <%s>", name, library);
        proc_desc_destroy(p);
        return nullptr;
    }
    reg.procs.add(p);
    return p;
}

int32_t unload_library(ProcRegistry& reg, const char* name) {
    CLib* lib = reg.find_library(name_hash(name));
    if (!lib) return 0;
    int32_t removed = 0;
    for (int32_t i = reg.procs.count - 1; i >= 0; --i) {
        auto* p = static_cast<CLibProc*>(reg.procs[i]);
        if (p->library != lib) continue;
        reg.procs.remove_at(i);
        p->proc = nullptr;
        p->library = nullptr;
        reg.retired.add(p);
        ++removed;
    }
    reg.libs.remove(lib);
    platform::library_release(lib->hInst);
    std::free(lib->name);
    std::free(lib);
    return removed;
}

CLibProc* attach_code(Runtime* rt, const char* name, const void* code, int32_t size) {
    CLibProc* p = rt->program.procs.find(name_hash(name));
    if (!p || p->proc) return p;
    ThunkStore& store = rt->native->thunks;
    if (!store.page_size) store.page_size = platform::page_size();
    if (size <= 0 || !code) raise_runtime_error("Attached code is empty");
    if (static_cast<uint32_t>(size) > store.page_size) {
        char text[128];
        std::snprintf(text, sizeof text, "Attached code of %d bytes is larger than a page (%u bytes)", size,
                      store.page_size);
        raise_runtime_error(text);
    }
    uint8_t* at = thunk_take(store, static_cast<uint32_t>(size));
    if (!at) raise_runtime_error("No executable memory for attached code");
    std::memcpy(at, code, static_cast<size_t>(size));
    platform::executable_flush(at, static_cast<uint32_t>(size));
    store.fill += static_cast<uint32_t>(size);
    p->proc = at;
    return p;
}

}  // namespace qel
