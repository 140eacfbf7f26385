// What built-ins share: the Runtime, in-place results, and reference arguments.
#pragma once
#include <cstdint>

#include "vm/runtime.h"
#include "base/ptr_list.h"
#include "vm/frame.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {


// In-place results: the slot of the first argument is rewritten with the result.
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
// The slot becomes a string Value; its own WStr is the text to work on.
inline WStr& set_string(Value& v) {
    v.tag = kTagString;
    return v.text;
}

// The top Value as a string, in place (raises the conversion failure for other kinds).
inline WStr& top_string(ValueStack* s) {
    Value& v = top_slot(s);
    if (v.tag != kTagString) conversion_error(v.tag, "string");
    return v.text;
}

// A list argument: a pointer to a PtrList, never null.
inline PtrList* pop_list(ValueStack* s) {
    auto* list = static_cast<PtrList*>(pop_pointer(s));
    if (!list) raise_runtime_error("Null list reference");
    return list;
}

// A ref argument: the address of a string variable or field, which holds a WStr pointer. A
// variable or field that holds no string yet gets an empty one.
inline WStr& ref_string(void* ref) {
    if (!ref) raise_runtime_error("Null string reference");
    WStr*& s = *static_cast<WStr**>(ref);
    if (!s) s = wstr_new();
    return *s;
}

}  // namespace qel
