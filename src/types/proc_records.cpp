#include "types/proc_records.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/name_hash.h"
#include "types/type_codes.h"
#include "platform/platform.h"

namespace qel {

void ProcRegistry::init() {
    procs = PtrList{};
    libs = PtrList{};
    retired = PtrList{};
    library_dir = nullptr;
    char16_t dir[1024];
    if (platform::current_directory(dir, 1024) > 0) {
        library_dir = wstr_new();
        library_dir->assign_wide(dir);
    }
}

void ProcRegistry::release() {
    for (PtrList* list : {&procs, &retired}) {
        for (int32_t i = 0; i < list->count; ++i) proc_desc_destroy(static_cast<CLibProc*>((*list)[i]));
        list->clear();
    }
    for (int32_t i = 0; i < libs.count; ++i) {
        auto* l = static_cast<CLib*>(libs[i]);
        platform::library_release(l->hInst);
        std::free(l->name);
        std::free(l);
    }
    libs.clear();
    wstr_delete(library_dir);
    library_dir = nullptr;
}

CLibProc* ProcRegistry::find(uint32_t hash) const {
    for (int32_t i = 0; i < procs.count; ++i) {
        auto* p = static_cast<CLibProc*>(procs[i]);
        if (p->hash == hash) return p;
    }
    return nullptr;
}

CLib* ProcRegistry::find_library(uint32_t hash) const {
    for (int32_t i = 0; i < libs.count; ++i) {
        auto* l = static_cast<CLib*>(libs[i]);
        if (l->hash == hash) return l;
    }
    return nullptr;
}

// What the caller removes after a cdecl call: four bytes per argument word.
int32_t cdecl_bytes(const char* codes) {
    int32_t n = 0;
    for (const char* c = codes; *c; ++c)
        if (const TypeInfo* t = type_info(*c)) n += 4 * t->native_words;
    return n;
}

CLibProc* proc_desc_create(CLib* library, const char* name, char return_type, const char* param_types,
                           uint8_t convention, bool late) {
    auto* p = static_cast<CLibProc*>(std::calloc(1, sizeof(CLibProc)));
    if (!p) return nullptr;
    p->name = strdup(name);
    p->param_labels = strdup(param_types);
    if (!p->name || !p->param_labels) {
        proc_desc_destroy(p);
        return nullptr;
    }
    p->library = library;
    p->hash = name_hash(name);
    p->param_count = static_cast<int32_t>(std::strlen(param_types));
    p->return_type = static_cast<uint8_t>(return_type);
    p->type = convention;
    p->late = late ? 1 : 0;
    if (convention == kCdecl) p->esp_size = cdecl_bytes(param_types);
    return p;
}

void proc_desc_destroy(CLibProc* p) {
    if (!p) return;
    std::free(p->name);
    std::free(p->param_labels);
    std::free(p);
}

CLibProc* register_proc(ProcRegistry& reg, const char* library, const char* name, char return_type,
                        const char* param_types, uint8_t convention, bool late) {
    CLib* lib = nullptr;
    if (std::strcmp(library, "asm") != 0) {
        lib = reg.find_library(name_hash(library));
        if (!lib) {
            lib = static_cast<CLib*>(std::calloc(1, sizeof(CLib)));
            if (!lib) return nullptr;
            lib->hash = name_hash(library);
            lib->name = strdup(library);
            reg.libs.add(lib);
        }
    }
    CLibProc* p = proc_desc_create(lib, name, return_type, param_types, convention, late);
    if (p) reg.procs.add(p);
    return p;
}

}  // namespace qel
