// The memory behind JSON trees: the arena of a parsed tree, and the marks in a value's internal
// word that tell parsed values from builder values.
#pragma once
#include <cstddef>
#include <cstdint>

#include "formats/json_records.h"

namespace qel {

// A parsed tree's blocks. The arena record sits at the start of its first block.
struct JsonArena {
    uint32_t magic;      // kJsonArenaMagic while the arena lives
    json_value* root;    // the value json_parse returned
    struct Block* blocks;  // newest first
    char* next;          // free space of the newest block
    char* end;
    size_t next_block;   // size of the next block to take

    // Memory for size bytes at an alignment of align (a power of two up to 8); null when none.
    void* take(size_t size, size_t align) {
        const uintptr_t at = (reinterpret_cast<uintptr_t>(next) + (align - 1)) & ~static_cast<uintptr_t>(align - 1);
        if (size <= reinterpret_cast<uintptr_t>(end) - reinterpret_cast<uintptr_t>(next) &&
            at + size <= reinterpret_cast<uintptr_t>(end)) {
            next = reinterpret_cast<char*>(at + size);
            return reinterpret_cast<void*>(at);
        }
        return refill(size, align);
    }
    void* refill(size_t size, size_t align);
};

struct Block {
    Block* next;
    size_t size;
};

constexpr uint32_t kJsonArenaMagic = 0x4A534E41;  // "JSNA"

// A new arena whose first block has about first_block bytes; null when memory runs out.
JsonArena* json_arena_create(size_t first_block);
void json_arena_destroy(JsonArena* arena);

// The internal word of a builder value points here.
extern const uint32_t kJsonBuilderTag;

inline bool json_is_builder(const json_value* v) { return v->_reserved.object_mem == &kJsonBuilderTag; }
inline JsonArena* json_arena_of(const json_value* v) {
    if (json_is_builder(v)) return nullptr;
    auto* a = static_cast<JsonArena*>(v->_reserved.object_mem);
    return a && a->magic == kJsonArenaMagic ? a : nullptr;
}

}  // namespace qel
