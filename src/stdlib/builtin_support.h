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
    check_reference(list, "list reference");
    return list;
}

// A class argument: null, or a class of the program ("Class info not found!" for anything else).
inline CClass* pop_class(Runtime* rt, ValueStack* s) {
    auto* c = static_cast<CClass*>(pop_pointer(s));
    if (c && !rt->program.class_index.has(c)) raise_runtime_error("Class info not found!");
    return c;
}

// A reference that may be null (what frees and clears accept), but never a low address.
inline void* pop_optional(ValueStack* s, const char* what) {
    void* p = pop_pointer(s);
    if (p) check_reference(p, what);
    return p;
}

// A ref argument: the address of a string variable or field, which holds a WStr pointer. A
// variable or field that holds no string yet gets an empty one.
inline WStr& ref_string(void* ref) {
    check_reference(ref, "string reference");
    WStr*& s = *static_cast<WStr**>(ref);
    if (!s) s = wstr_new();
    else check_reference(s, "string reference");
    return *s;
}

}  // namespace qel
