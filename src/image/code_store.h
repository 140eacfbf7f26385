// What the source and resource sections leave behind: the one chain of Instructions, the method
// records in image order, the named resources, and the units in order of first mention.
#pragma once
#include <cstdint>

#include "base/arena.h"
#include "base/ptr_list.h"
#include "image/instruction.h"
#include "image/opcodes.h"

namespace qel {

// One named resource of the image.
struct ResourceRec {
    char* name;
    uint8_t* data;
    uint32_t size;
};

// Where a record stands in the text: its line count when the mnemonic had been read (lineno), and
// its 1-based line.
struct SourcePlace {
    int32_t lineno;
    int32_t line;
};

// Records carry no line of their own. Each stands on the line after the record before it, and its
// line count is one less than its line when an operand is written after its mnemonic, as its kind
// of operand asks. The few records that break this (the first after lines of another section,
// one with its operand left out, "inc N" read as inc_N) are marked in the code store. A method
// keeps its line count in its line.
namespace line_detail {
inline constexpr OpcodeSet kWrittenWithOperand =
    opcodes_where([](const OpcodeEntry& e) { return e.kind != OperandKind::None && e.number != kOp_ldntv; });
}  // namespace line_detail
inline int32_t usual_lineno(int32_t line, uint8_t opcode) { return line - line_detail::kWrittenWithOperand[opcode]; }

// Values kept beside some records, found by the record's address (open addressing, at most half
// full): the few that need them pay, not every record.
template <typename V>
struct RecordMap {
    struct Entry {
        const Instruction* at;
        V value;
    };
    Entry* entries;
    uint32_t count, mask;

    void put(const Instruction* at, V value);
    const V* find(const Instruction* at) const;
    void release();
};

struct CodeStore {
    // Records of a block of Instructions (as many as fill one block of the arena); the last is the
    // link, unless a record with its object slot found no room before it and became the link.
    static constexpr size_t kRecordsPerBlock = Arena::kBlockBytes / sizeof(Instruction);
    Instruction* first;
    PtrList methods;    // MethodRecord*, image order
    PtrList resources;  // ResourceRec*, image order
    // The methods by the NameHash of their full names (the first of equal hashes), open addressing
    // (at most half full); null before the first method.
    MethodRecord** index;
    uint32_t index_mask;
    // Where the names and literals of the Instructions and the method records live.
    Arena arena;
    // The blocks of Instructions: the record handed out next, and the current block's last record,
    // kept for the link to the next block.
    Arena records;
    Instruction* free_record;
    Instruction* link_record;
    // The places of the records that do not stand where usual_lineno expects them, and the names
    // of Hash and TypeSize operands as they were written (the second one of a Names operand, the
    // method a call names when no method has that name).
    RecordMap<SourcePlace> marks;
    RecordMap<char*> names;

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
    // Gives the record handed out last its object slot, the record after it, and returns where the
    // record now lies: when its block has no room for both, the record becomes the link to a new
    // block, which the pair starts.
    Instruction* widen(Instruction* ins) {
        if (__builtin_expect(free_record != link_record, 1)) {
            ++free_record;
            return ins;
        }
        return widen_into_new_block(ins);
    }
    Instruction* widen_into_new_block(Instruction* ins);
    // The record after the one handed out before (zero-filled).
    Instruction* new_instruction() {
        if (__builtin_expect(free_record == link_record, 0)) return new_record_block();
        return free_record++;
    }
    // Appends a method record, found by name from then on; a later record with the hash of an
    // earlier one is never found.
    void add_method(MethodRecord* m);
    // The header of the first method whose full name has that NameHash, or null.
    Instruction* method(const char* full_name) const;
    Instruction* method(uint32_t hash) const;
    ResourceRec* resource(const char* name) const;

    // Keeps the place of a record that does not stand where usual_lineno expects it.
    void mark_line(const Instruction* at, SourcePlace place) { marks.put(at, place); }
    // The name a Hash or TypeSize operand was written with, a Names operand's second name (null
    // when none was kept).
    void keep_name(const Instruction* at, char* name) { names.put(at, name); }
    char* name_of(const Instruction* at) const {
        char* const* n = names.find(at);
        return n ? *n : nullptr;
    }
    // The place of a record, walking from the header of its method (from the chain's first record
    // when the header is null); {0, 0} for a record not found there.
    SourcePlace place_of(const Instruction* at, const Instruction* header) const;
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
