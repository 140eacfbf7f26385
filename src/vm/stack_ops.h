// The typed pushes and pops of the operand stack: the only way the rest of the runtime reads
// and writes it. Pops convert where the language allows and raise "Cannot convert" otherwise.
#pragma once
#include <cstdint>

#include "vm/frame.h"
#include "vm/value.h"

namespace qel {

[[noreturn]] void conversion_error(uint32_t found_tag, const char* wanted);
[[noreturn]] void stack_overflow();
[[noreturn]] void stack_underflow();

const char* type_name_of_tag(uint32_t tag);

inline Value& push_slot(ValueStack* s) {
    if (__builtin_expect(s->count >= kStackSlots, 0)) stack_overflow();
    return s->slots[s->count++];
}

inline Value& pop_slot(ValueStack* s) {
    if (__builtin_expect(s->count <= 0, 0)) stack_underflow();
    return s->slots[--s->count];
}

inline Value& top_slot(ValueStack* s) {
    if (__builtin_expect(s->count <= 0, 0)) stack_underflow();
    return s->slots[s->count - 1];
}

inline bool top_tag_is(ValueStack* s, uint32_t tag) { return s->count > 0 && s->slots[s->count - 1].tag == tag; }

inline void push_bool(ValueStack* s, bool b) {
    Value& v = push_slot(s);
    v.tag = kTagBool;
    v.v.i = b ? 1 : 0;
}
inline void push_int(ValueStack* s, int32_t i) {
    Value& v = push_slot(s);
    v.tag = kTagInt;
    v.v.i = i;
}
inline void push_long(ValueStack* s, int64_t l) {
    Value& v = push_slot(s);
    v.tag = kTagLong;
    v.v.l = l;
}
inline void push_double(ValueStack* s, double d) {
    Value& v = push_slot(s);
    v.tag = kTagDouble;
    v.v.d = d;
}
inline void push_pointer(ValueStack* s, const void* p) {
    Value& v = push_slot(s);
    v.tag = kTagPointer;
    v.v.p = const_cast<void*>(p);
}
inline void push_method(ValueStack* s, Instruction* method, void* target) {
    Value& v = push_slot(s);
    v.tag = kTagMethod;
    v.v.m.Method = method;
    v.v.m.Target = target;
}
void push_string(ValueStack* s, const WStr& text);
void push_string(ValueStack* s, const WChar* text);
void push_string_narrow(ValueStack* s, const char* text);
void push_string_units(ValueStack* s, const WChar* text, uint32_t n);

// The conversions of the pops below for every tag but the one they expect (raise when none applies).
bool value_truth(const Value& v);
int32_t convert_to_int(const Value& v);
int64_t convert_to_long(const Value& v);
double convert_to_double(const Value& v);
void* convert_to_pointer(const Value& v);

inline bool pop_bool(ValueStack* s) {
    Value& v = pop_slot(s);
    return __builtin_expect(v.tag == kTagBool, 1) ? v.v.i != 0 : value_truth(v);
}
inline int32_t pop_int(ValueStack* s) {
    Value& v = pop_slot(s);
    return __builtin_expect(v.tag == kTagInt, 1) ? v.v.i : convert_to_int(v);
}
inline int64_t pop_long(ValueStack* s) {
    Value& v = pop_slot(s);
    return __builtin_expect(v.tag == kTagLong, 1) ? v.v.l : convert_to_long(v);
}
inline double pop_double(ValueStack* s) {
    Value& v = pop_slot(s);
    return __builtin_expect(v.tag == kTagDouble, 1) ? v.v.d : convert_to_double(v);
}
inline void* pop_pointer(ValueStack* s) {
    Value& v = pop_slot(s);
    return __builtin_expect(v.tag == kTagPointer, 1) ? v.v.p : convert_to_pointer(v);
}
// A double as its 64 bits: copies of doubles need no floating-point unit.
inline int64_t pop_double_bits(ValueStack* s) {
    Value& v = pop_slot(s);
    if (__builtin_expect(v.tag == kTagDouble, 1)) return v.v.l;
    Payload p;
    p.d = convert_to_double(v);
    return p.l;
}
float pop_float(ValueStack* s);
// The slot's own WStr: valid until that slot is written again.
WStr& pop_string(ValueStack* s);
PMethod pop_method(ValueStack* s);
int32_t pop_native_int(ValueStack* s);
void* pop_native_pointer(ValueStack* s);


// Values in and out of memory typed by a type code (fields, struct members, variables): a load
// pushes, a store pops, with the conversions of the typed pops. A string cell holds a WStr
// pointer, created on the first store when it is null. False, and the stack untouched, for a
// code that has no cell (void or any other letter).
bool load_cell(ValueStack* s, const void* at, char code);
bool store_cell(ValueStack* s, void* at, char code);

// Stores the top Value into variable index by the variable's declared code.
void pop_stack_to_variable(Frame* f, int index);

// Copies a Value (tag, payload, and text for strings) into another slot.
inline void copy_value(Value& to, const Value& from) {
    to.tag = from.tag;
    to.v = from.v;
    if (from.tag == kTagString) to.text.assign(from.text);
}

}  // namespace qel
