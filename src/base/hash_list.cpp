#include "base/hash_list.h"

#include <cstdlib>

#include "base/name_hash.h"
#include "base/runtime_error.h"

namespace qel {

namespace {
uint32_t hash_of(const WStr& s) { return name_hash(s.text(), s.length); }

void free_entry(HashEntry* e) {
    if (!e) return;
    e->text.clear();
    std::free(e);
}
}  // namespace

void hash_add(PtrList* list, const WStr& text) {
    auto* e = static_cast<HashEntry*>(std::calloc(1, sizeof(HashEntry)));
    if (!e) raise_runtime_error("Out of memory");
    e->text.assign(text);
    e->hash = hash_of(text);
    if (e->text.length != text.length) {
        free_entry(e);
        raise_runtime_error("Out of memory");
    }
    try {
        list->add(e);
    } catch (...) {
        free_entry(e);
        throw;
    }
}

int32_t hash_index_of(const PtrList* list, const WStr& text) {
    const uint32_t h = hash_of(text);
    for (int32_t i = 0; i < list->count; ++i) {
        auto* e = static_cast<const HashEntry*>((*list)[i]);
        if (e && e->hash == h) return i;
    }
    return -1;
}

int32_t hash_remove(PtrList* list, const WStr& text) {
    int32_t i = hash_index_of(list, text);
    if (i < 0) return -1;
    auto* e = static_cast<HashEntry*>((*list)[i]);
    list->remove_at(i);
    free_entry(e);
    return i;
}

void hash_clear(PtrList* list) {
    for (int32_t i = 0; i < list->count; ++i) free_entry(static_cast<HashEntry*>((*list)[i]));
    list->clear();
}

}  // namespace qel
