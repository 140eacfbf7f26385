// What built-ins share: the Runtime, in-place results, and reference arguments.
#pragma once
#include <cstdint>

#include "vm/runtime.h"
#include "base/ptr_list.h"
#include "vm/frame.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {


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
