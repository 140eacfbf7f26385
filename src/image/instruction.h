// One assembled source line. All Instructions of an image form one chain in text order; a method
// is the stretch that follows its header (an Instruction with opcode `method`). The chain is stored
// in blocks of consecutive records: the record after one is the next in the chain, except where a
// block ends in a link (see following()).
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/wstr.h"

namespace qel {

struct CClass;
struct CMember;
struct CLibProc;
struct MethodRecord;
struct Runtime;
struct Frame;

// A built-in reached by callstd: it pops its arguments from the frame's stack and pushes its
// result there.
using BuiltinFn = void (*)(Runtime* rt, Frame* f);

union Operand {
    int32_t i;                   // literal, field offset, variable index, count, size
    struct {
        int32_t a;               // the first variable (the same word as i)
        int32_t b;               // the second variable or the constant
    } run;                       // the head of a run executed as one step (dispatch preparation)
    uint32_t u;                  // NameHash of a name
    int64_t l;                   // ldlong
    double d;                    // lddbl
    struct Instruction* target;  // resolved branch, or the header of a called method
    struct {
        int32_t slot;
        int16_t convention;
        char result;
        uint8_t name_length;
    } cvirt;  // callcvirt (its parameter labels are the object)
    // An instruction that keeps the name it was written with keeps it in the operand's second word:
    // after the NameHash (a Hash operand), the size (a type's) or the called method's header.
    struct {
        uint32_t first;
        char* name;
    } named;
    struct {
        char* first;
        char* second;
    } names;  // the two names of a Names operand (none for a method header: its record has them)
};
static_assert(sizeof(Operand) == 8);

// The head of a run of instructions that the interpreter executes as one step keeps the run's
// operands in room that its own opcode leaves unused: operand.run, run_target, run_c and
// run_length (a run never spans two blocks of records).
struct Instruction {
    int32_t lineno;      // the reader's line count when the mnemonic had been read
    union {
        void* object;              // by opcode: see the accessors below
        Instruction* run_target;   // a run's branch target, or the run's second instruction
    };
    Operand operand;
    uint16_t opcode;
    uint8_t run_c;       // the variable a run stores into
    uint8_t run_length;  // the records a run takes: the instruction after it is this + run_length
    const void* label;   // where the interpreter dispatches this instruction

    const WStr* literal() const { return static_cast<const WStr*>(object); }    // ldstr (read only)
    BuiltinFn builtin() const { return reinterpret_cast<BuiltinFn>(object); }   // callstd
    MethodRecord* method() const { return static_cast<MethodRecord*>(object); } // a header
    int param_count() const { return operand.i; }                               // a header
    CLibProc* proc() const { return static_cast<CLibProc*>(object); }           // libproc, once linked
    // newobj, create, throw, ldcls once linked; newstruct and sizeof (null for a basic type)
    CClass* cls() const { return static_cast<CClass*>(object); }
    CMember* field() const { return static_cast<CMember*>(object); }            // field instructions
    char16_t* com_name() const { return static_cast<char16_t*>(object); }       // comget, comset
    char* labels() const { return static_cast<char*>(object); }                 // callcvirt
    char* name() const { return operand.named.name; }  // call, callmtd, ldmtd; Hash and TypeSize operands

    // A record without an opcode is a link to the block that continues the chain when it has a
    // target, and the end of the chain when it has none (the empty record behind the last line).
    bool is_link() const { return opcode == 0 && operand.target; }
    bool is_end() const { return opcode == 0 && !operand.target; }
};
// What a script sees as CMethodLine.
static_assert(offsetof(Instruction, lineno) == 0 && offsetof(Instruction, object) == 4);
// The same record in both builds: the 8-byte operand sits at an offset that is a multiple of 8.
static_assert(offsetof(Instruction, operand) == 8 && offsetof(Instruction, opcode) == 16 &&
              offsetof(Instruction, run_c) == 18 && offsetof(Instruction, label) == 20 && sizeof(Instruction) == 24);
static_assert(offsetof(Operand, named.name) == 4 && offsetof(Operand, names.second) == 4);

// The instruction that runs after i in the chain (a link passed over). The end of the chain is its
// own successor.
inline Instruction* following(Instruction* i) {
    if (i->is_end()) return i;
    Instruction* n = i + 1;
    return n->is_link() ? n->operand.target : n;
}
inline const Instruction* following(const Instruction* i) { return following(const_cast<Instruction*>(i)); }

// The next record for a walk over the whole chain (links included); null after its end. Records
// come zero-filled, so the chain ends at the first record without an opcode or a link, even when
// parsing stopped halfway.
inline Instruction* after(Instruction* i) { return i->is_end() ? nullptr : i->is_link() ? i->operand.target : i + 1; }
inline const Instruction* after(const Instruction* i) { return after(const_cast<Instruction*>(i)); }

}  // namespace qel
