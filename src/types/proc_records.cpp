#include "types/proc_records.h"

#include <cstdlib>
#include <cstring>

#include "base/name_hash.h"
#include "types/type_codes.h"

namespace qel {

void ProcRegistry::init() {
    procs = PtrList{};
    libs = PtrList{};
    library_dir = nullptr;
}

void ProcRegistry::release() {
    for (int32_t i = 0; i < procs.count; ++i) {
        auto* p = static_cast<CLibProc*>(procs[i]);
        std::free(p->name);
        std::free(p->param_labels);
        std::free(p);
    }
    procs.clear();
    for (int32_t i = 0; i < libs.count; ++i) {
        auto* l = static_cast<CLib*>(libs[i]);
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

namespace {
CLib* library_record(ProcRegistry& reg, const char* name) {
    uint32_t h = name_hash(name);
    for (int32_t i = 0; i < reg.libs.count; ++i) {
        auto* l = static_cast<CLib*>(reg.libs[i]);
        if (l->hash == h) return l;
    }
    auto* l = static_cast<CLib*>(std::calloc(1, sizeof(CLib)));
    l->hash = h;
    l->name = strdup(name);
    reg.libs.add(l);
    return l;
}

// What the caller removes after a cdecl call: four bytes per argument word.
int32_t cdecl_bytes(const char* codes) {
    int32_t n = 0;
    for (const char* c = codes; *c; ++c)
        if (const TypeInfo* t = type_info(*c)) n += 4 * t->native_words;
    return n;
}
}  // namespace

CLibProc* register_proc(ProcRegistry& reg, const char* library, const char* name, char return_type,
                        const char* param_types, uint8_t convention, bool late) {
    auto* p = static_cast<CLibProc*>(std::calloc(1, sizeof(CLibProc)));
    if (!p) return nullptr;
    p->library = std::strcmp(library, "asm") == 0 ? nullptr : library_record(reg, library);
    p->name = strdup(name);
    p->param_labels = strdup(param_types);
    p->hash = name_hash(name);
    p->param_count = static_cast<int32_t>(std::strlen(param_types));
    p->return_type = static_cast<uint8_t>(return_type);
    p->type = convention;
    p->late = late ? 1 : 0;
    if (convention == kCdecl) p->esp_size = cdecl_bytes(param_types);
    reg.procs.add(p);
    return p;
}

}  // namespace qel
