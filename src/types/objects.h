// Script objects and structs: plain blocks laid out by their class. Creation, string fields,
// virtual dispatch and release.
#pragma once
#include <cstdint>

#include "types/descriptors.h"

namespace qel {

// A zero-filled block of the class's size with its string fields created; no class pointer is
// written and no constructor runs. Null when the memory cannot be had.
void* allocate_instance(const CClass* c);
// Walk the class and its bases; create (or free) the WStr of every string field.
void create_string_fields(void* instance, const CClass* c);
void free_string_fields(void* instance, const CClass* c);
// Frees the string fields along the chain and the block; runs no destructor.
void free_struct(const CClass* c, void* block);

}  // namespace qel
