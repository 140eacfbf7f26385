// One assembled source line. All Instructions of an image form one chain in text order; a method
// is the stretch that follows its header (an Instruction with opcode `method`, then the method's
// line). The chain is stored in blocks of consecutive records: the record after one (and after its
// object slot, when it has one) is the next in the chain, except where a link leads to the next
// block (see following()).
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/wstr.h"
#include "image/opcodes.h"

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
    } run;                       // the head of a run executed as one step (dispatch preparation)
    uint32_t u;                  // NameHash of a name
    struct Instruction* target;  // resolved branch, or the method (its line) a call names
    char* first_name;            // the first of a Names operand's two names
    const struct Literal* literal;  // ldstr's text
    struct CMember* member;      // a field instruction's field until the image is linked (then i: its offset)
    BuiltinFn builtin;           // callstd's entry point
};
static_assert(sizeof(Operand) == 4);

// An ldstr's text, kept beside the code and only ever read: a byte a unit when it is ASCII (most
// literals), else its UTF-16 units; a 0 follows either.
struct Literal {
    uint32_t length : 31;  // units
    uint32_t narrow : 1;   // 1: bytes, 0: units
    const char* bytes() const { return reinterpret_cast<const char*>(this + 1); }
    const char16_t* units() const { return reinterpret_cast<const char16_t*>(this + 1); }
};

// What a callcvirt says after its slot (the operand): its parameter labels (null when it has
// none), the calling convention and the result's type code. Kept beside the code.
struct VirtualCallSignature {
    char* labels;
    int16_t convention;
    char result;
    uint8_t name_length;  // of the labels
};

// One record of 8 bytes, the same in both builds: an operand and four bytes of what runs. The few
// kinds of instruction that keep a second word (see kWideRecords) take a second record right after
// their own, the object slot: their object sits in its first word, an ldlong's or lddbl's 64 bits
// fill it. A method header is such a pair too: the record with the `method` opcode, then its line
// (MethodLine: the line count and the method record), and every pointer to the method points at the
// line, which is what a script sees as CMethodLine. A record's line is not stored (see place_of in
// the code store), nor the name of a Hash or TypeSize operand or a Names operand's second name
// (name_of there). The head of a run of instructions that the interpreter executes as one step
// keeps in room its own opcode leaves unused the run's length and the variable it stores into;
// the run's other operands are read from its records, which follow the head (a run never spans
// two blocks of records).
struct Instruction {
    union {
        Operand operand;
        int32_t lineno;  // a method's line: the reader's line count when "method" had been read
    };
    uint8_t opcode;
    uint8_t dispatch;    // what the interpreter runs for this record: its opcode, or a run's form
    union {
        uint8_t run_c;   // the variable a run stores into
        uint8_t params;  // a method's opcode record: its parameter count
    };
    uint8_t run_length;  // the records a run takes: the instruction after it is this + run_length

    // The object slot's word (the record after this one): see the accessors below.
    void*& object() { return *reinterpret_cast<void**>(this + 1); }
    void* object() const { return *reinterpret_cast<void* const*>(this + 1); }
    const Literal* literal() const { return operand.literal; }                  // ldstr
    BuiltinFn builtin() const { return operand.builtin; }                       // callstd
    CLibProc* proc() const { return static_cast<CLibProc*>(object()); }         // libproc, once linked
    // newobj, create, throw, ldcls once linked; newstruct and sizeof (null for a basic type)
    CClass* cls() const { return static_cast<CClass*>(object()); }
    CMember* field() const { return operand.member; }                          // field instructions, until linked
    char16_t* com_name() const { return static_cast<char16_t*>(object()); }     // comget, comset
    const VirtualCallSignature* signature() const { return static_cast<const VirtualCallSignature*>(object()); }  // callcvirt
    // ldlong's integer, lddbl's bits: the object slot's 8 bytes.
    int64_t wide() const {
        int64_t v;
        __builtin_memcpy(&v, this + 1, sizeof v);
        return v;
    }
    double real() const {
        double v;
        __builtin_memcpy(&v, this + 1, sizeof v);
        return v;
    }
    void set_wide(int64_t v) { __builtin_memcpy(static_cast<void*>(this + 1), &v, sizeof v); }
    void set_real(double v) { __builtin_memcpy(static_cast<void*>(this + 1), &v, sizeof v); }

    // Read through a method pointer (its line): the method record, and the parameter count its
    // opcode record keeps.
    MethodRecord* method() const {
        MethodRecord* m;
        __builtin_memcpy(&m, &opcode, sizeof m);
        return m;
    }
    void set_method(MethodRecord* m) { __builtin_memcpy(&opcode, &m, sizeof m); }
    int param_count() const { return this[-1].params; }

    // A record without an opcode is a link to the block that continues the chain when it has a
    // target, and the end of the chain when it has none (the empty record behind the last line).
    bool is_link() const { return opcode == 0 && operand.target; }
    bool is_end() const { return opcode == 0 && !operand.target; }
};
static_assert(offsetof(Instruction, operand) == 0 && offsetof(Instruction, opcode) == 4 &&
              offsetof(Instruction, dispatch) == 5 && offsetof(Instruction, run_c) == 6 &&
              offsetof(Instruction, params) == 6 && offsetof(Instruction, run_length) == 7 &&
              sizeof(Instruction) == 8);

// What a script sees as CMethodLine: a method's line, the record a method pointer points at.
struct MethodLine {
    int32_t lineno;
    MethodRecord* method;
};
static_assert(offsetof(MethodLine, lineno) == 0 && offsetof(MethodLine, method) == 4 &&
              sizeof(MethodLine) == sizeof(Instruction));

// The records an instruction of that opcode takes: 2 with an object slot, else 1.
inline int record_width(uint8_t opcode) { return 1 + kWideRecords.has[opcode]; }

// The instruction that runs after i in the chain (a link passed over). The end of the chain is its
// own successor. Not for a method's line: see body_of.
inline Instruction* following(Instruction* i) {
    if (i->is_end()) return i;
    Instruction* n = i + record_width(i->opcode);
    return n->is_link() ? n->operand.target : n;
}
inline const Instruction* following(const Instruction* i) { return following(const_cast<Instruction*>(i)); }

// The first record of a method's body, given the method (its line).
inline Instruction* body_of(Instruction* method) {
    Instruction* n = method + 1;
    return n->is_link() ? n->operand.target : n;
}
inline const Instruction* body_of(const Instruction* method) { return body_of(const_cast<Instruction*>(method)); }

// The next record for a walk over the whole chain (links included, object slots and method lines
// passed over); null after its end. Records come zero-filled, so the chain ends at the first record
// without an opcode or a link, even when parsing stopped halfway.
inline Instruction* after(Instruction* i) {
    return i->is_end() ? nullptr : i->is_link() ? i->operand.target : i + record_width(i->opcode);
}
inline const Instruction* after(const Instruction* i) { return after(const_cast<Instruction*>(i)); }

}  // namespace qel
