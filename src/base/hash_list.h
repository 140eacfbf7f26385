// Hash lists: a PtrList of HashEntry records, found by the NameHash of their text alone (no
// buckets, no text comparison: texts with equal hashes are the same key).
#pragma once
#include <cstdint>

#include "base/ptr_list.h"
#include "base/wstr.h"

namespace qel {

struct HashEntry {
    WStr text;      // copy of the added text
    uint32_t hash;  // NameHash of text over its UTF-16 units
};

// Appends an entry with a copy of text ("Out of memory" when the entry cannot be had).
void hash_add(PtrList* list, const WStr& text);
// Index of the first entry whose hash equals NameHash(text), or -1.
int32_t hash_index_of(const PtrList* list, const WStr& text);
// Frees and removes the first entry found as hash_index_of finds it; returns its index or -1.
int32_t hash_remove(PtrList* list, const WStr& text);
// Frees every entry and empties the list.
void hash_clear(PtrList* list);

}  // namespace qel
