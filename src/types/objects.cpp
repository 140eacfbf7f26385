#include "types/objects.h"

#include <cstdlib>

#include "stdlib/wstr.h"

namespace qel {

void create_string_fields(void* instance, const CClass* c) {
    auto* base = static_cast<unsigned char*>(instance);
    for (; c; c = c->base_class) {
        if (!c->ofields) continue;
        for (int32_t i = 0; i < c->ofields->count; ++i) {
            auto* f = static_cast<CMember*>((*c->ofields)[i]);
            if (f->address >= 0) *reinterpret_cast<WStr**>(base + f->address) = wstr_new();
        }
    }
}

void free_string_fields(void* instance, const CClass* c) {
    auto* base = static_cast<unsigned char*>(instance);
    for (; c; c = c->base_class) {
        if (!c->ofields) continue;
        for (int32_t i = 0; i < c->ofields->count; ++i) {
            auto* f = static_cast<CMember*>((*c->ofields)[i]);
            if (f->address < 0) continue;
            WStr*& s = *reinterpret_cast<WStr**>(base + f->address);
            wstr_delete(s);
            s = nullptr;
        }
    }
}

void* allocate_instance(const CClass* c) {
    void* block = std::calloc(1, c->size > 0 ? static_cast<size_t>(c->size) : 1);
    if (block) create_string_fields(block, c);
    return block;
}

void free_struct(const CClass* c, void* block) {
    if (!block) return;
    if (c) free_string_fields(block, c);
    std::free(block);
}

}  // namespace qel
