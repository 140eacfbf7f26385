// One assembled source line, and the method record of a method header. All Instructions of an
// image form one chain in text order; a method is the stretch that follows its header.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qel {

struct MethodRecord;

union Operand {
    int32_t i;
    uint32_t u;
    int64_t l;
    double d;
    void* p;
    struct Instruction* target;  // resolved branch or call
    struct {
        int32_t slot;
        int16_t convention;
        char result;
        uint8_t name_length;
    } cvirt;  // callcvirt
};
static_assert(sizeof(Operand) == 8);

// Operands of a run of instructions that the interpreter executes as one (see dispatch
// preparation): variable indexes, a constant, the branch target and the instruction after the run.
struct FusedOperands {
    int32_t a;
    int32_t b;
    int32_t c;
    struct Instruction* target;
    struct Instruction* after;
};

struct Instruction {
    int32_t lineno;      // the reader's line count when the mnemonic had been read
    void* object;        // per opcode: literal WStr, built-in, method record, ProcDesc, ClassDesc ...
    int32_t opcode;
    Operand operand;
    char* name;          // first name operand (own copy)
    char* name2;         // second name operand (own copy)
    Instruction* next;
    const void* label;   // where the interpreter dispatches this instruction
    FusedOperands fused;

    MethodRecord* method() const { return static_cast<MethodRecord*>(object); }  // of a header
    int param_count() const { return operand.i; }                                // of a header
};
// What a script sees as CMethodLine.
static_assert(offsetof(Instruction, lineno) == 0 && offsetof(Instruction, object) == 4);

// The first five fields are the image's CMethod, the last four its CMethodInfo.
struct MethodRecord {
    uint8_t type;        // return type code
    uint8_t access;
    uint8_t modifier;    // 0 None, 1 Virtual, 2 Override, 3 Abstract
    uint8_t var_counts;
    char* var_types;     // one type code per variable, parameters first
    char* name;          // full name (shared with the header's name operand)
    uint32_t hash;       // NameHash of the full name
    uint32_t name_hash;  // NameHash of the part after "::" when the class exists, else 0
    Instruction* line;   // the header
};
static_assert(offsetof(MethodRecord, type) == 0 && offsetof(MethodRecord, access) == 1 &&
              offsetof(MethodRecord, modifier) == 2 && offsetof(MethodRecord, var_counts) == 3 &&
              offsetof(MethodRecord, var_types) == 4 && offsetof(MethodRecord, name) == 8 &&
              offsetof(MethodRecord, hash) == 12 && offsetof(MethodRecord, name_hash) == 16 &&
              offsetof(MethodRecord, line) == 20 && sizeof(MethodRecord) == 24);

// One named resource of the image.
struct ResourceRec {
    char* name;
    uint8_t* data;
    uint32_t size;
};

}  // namespace qel
