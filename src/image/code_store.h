// What the source and resource sections leave behind: the one chain of Instructions, the method
// records in image order, the named resources, and the units in order of first mention.
#pragma once
#include <cstdint>

#include "base/arena.h"
#include "base/ptr_list.h"
#include "image/instruction.h"

namespace qel {

// One named resource of the image.
struct ResourceRec {
    char* name;
    uint8_t* data;
    uint32_t size;
};

struct CodeStore {
    // Records of a block of Instructions (as many as fill one block of the arena); the last is the
    // link.
    static constexpr size_t kRecordsPerBlock = Arena::kBlockBytes / sizeof(Instruction);
    Instruction* first;
    PtrList methods;    // MethodRecord*, image order
    PtrList resources;  // ResourceRec*, image order
    // The methods by the NameHash of their full names (the first of equal hashes), open addressing;
    // null until build_index.
    MethodRecord** index;
    uint32_t index_mask;
    // Where the names and literals of the Instructions and the method records live.
    Arena arena;
    // The blocks of Instructions: the record handed out next, and the current block's last record,
    // kept for the link to the next block.
    Arena records;
    Instruction* free_record;
    Instruction* link_record;

    void init();
    void release();
    // Zero-filled room from the arena; raises "Out of memory" when there is none.
    void* take(size_t n, size_t align = alignof(void*)) {
        void* p = arena.take(n, align);
        if (__builtin_expect(!p, 0)) out_of_memory();
        return p;
    }
    [[noreturn]] static void out_of_memory();
    Instruction* new_record_block();
    char* copy(const char* text);
    char* copy(const char* text, size_t n) {
        char* p = arena.copy(text, n);
        if (__builtin_expect(!p, 0)) out_of_memory();
        return p;
    }
    // The record after the one handed out before (zero-filled).
    Instruction* new_instruction() {
        if (__builtin_expect(free_record == link_record, 0)) return new_record_block();
        return free_record++;
    }
    // Appends a method record. Lookups by name need the index, built once every method is known;
    // a later record with the hash of an earlier one is never found.
    void add_method(MethodRecord* m);
    void build_index();
    // The header of the first method whose full name has that NameHash, or null.
    Instruction* method(const char* full_name) const;
    Instruction* method(uint32_t hash) const;
    ResourceRec* resource(const char* name) const;
};

struct UnitRecord {
    int32_t id;
    char* name;
};

struct UnitList {
    int32_t last_id;
    PtrList records;  // UnitRecord*

    int32_t id_of(const char* name);  // appends an unknown name with the next id
    const char* name_of(int32_t id) const;
    void release();
};

}  // namespace qel
