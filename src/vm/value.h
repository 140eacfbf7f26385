// The tagged Value of the operand stack, and the per-thread ValueStack of 2048 of them.
#pragma once
#include <cstdint>

#include "base/wstr.h"

namespace qel {

struct Instruction;

enum ValueTag : uint32_t {
    kTagBool = 0,
    kTagByte = 1,
    kTagChar = 2,
    kTagShort = 3,
    kTagPointer = 4,
    kTagInt = 5,
    kTagFloat = 6,
    kTagDouble = 7,
    kTagString = 8,
    kTagLong = 9,
    kTagDispatch = 10,
    kTagUnknown = 11,
    kTagMethod = 12,
};

// A method value as scripts see it (PMethod): the method header and the object.
struct PMethod {
    Instruction* Method;
    void* Target;
};
static_assert(sizeof(PMethod) == 8);

#pragma pack(push, 4)
union Payload {
    int32_t i;
    uint32_t u;
    int64_t l;
    double d;
    void* p;
    PMethod m;
};

struct Value {
    uint32_t tag;
    Payload v;
    WStr text;  // owned by the slot for its whole life; meaningful only for string Values
};
#pragma pack(pop)
static_assert(sizeof(Value) == 24);

// In-place results: a slot rewritten with a new kind of value.
inline void set_int(Value& v, int32_t i) {
    v.tag = kTagInt;
    v.v.i = i;
}
inline void set_bool(Value& v, bool b) {
    v.tag = kTagBool;
    v.v.i = b ? 1 : 0;
}
inline void set_long(Value& v, int64_t l) {
    v.tag = kTagLong;
    v.v.l = l;
}
inline void set_double(Value& v, double d) {
    v.tag = kTagDouble;
    v.v.d = d;
}
inline void set_pointer(Value& v, const void* p) {
    v.tag = kTagPointer;
    v.v.p = const_cast<void*>(p);
}

constexpr int kStackSlots = 2048;

// Nesting of native calls of the interpreter on one stack's thread; deeper calls fail with
// "Stack overflow" before the native stack runs out.
constexpr int32_t kMaxCallDepth = 3000;

struct ValueStack {
    int32_t count;
    Value slots[kStackSlots];
    int32_t depth;  // script calls in progress on this stack
};

// The stack of a thread other than the main one (the main one is the Runtime's own).
ValueStack* value_stack_create();
void value_stack_destroy(ValueStack* s);

}  // namespace qel
