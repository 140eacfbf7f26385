// One assembled source line. All Instructions of an image form one chain in text order; a method
// is the stretch that follows its header (an Instruction with opcode `method`).
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
    } cvirt;  // callcvirt
};
static_assert(sizeof(Operand) == 8);

// The head of a run of instructions that the interpreter executes as one step keeps the run's
// operands in fields that its own opcode leaves unused: operand.run, run_target, run_c, run_after.
struct Instruction {
    int32_t lineno;      // the reader's line count when the mnemonic had been read
    union {
        void* object;              // by opcode: see the accessors below
        Instruction* run_target;   // a run's branch target, or the run's second instruction
    };
    int32_t opcode;
    Operand operand;
    union {
        char* name;                // first name operand (in the code store's arena)
        int32_t run_c;             // the variable a run stores into
    };
    union {
        char* name2;               // second name operand
        Instruction* run_after;    // the instruction after a run
    };
    Instruction* next;
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
};
// What a script sees as CMethodLine.
static_assert(offsetof(Instruction, lineno) == 0 && offsetof(Instruction, object) == 4);

}  // namespace qel
