#include "vm/stack_ops.h"

#include <string>

#include "base/runtime_error.h"

namespace qel {

const char* type_name_of_tag(uint32_t tag) {
    static const char* const kNames[] = {"bool",  "byte",   "char",   "short", "pointer",   "int",      "float",
                                         "double", "string", "long", "IDispatch", "IUnknown", "method"};
    return tag < 13 ? kNames[tag] : "undefined type";
}

const char* type_name_of_code(char code) {
    switch (code) {
        case 'b': return "bool";
        case 'c': return "char";
        case 'd': return "double";
        case 'e': return "byte";
        case 'f': return "float";
        case 'i': return "int";
        case 'l': return "long";
        case 'm': return "short";
        case 'n': return "native";
        case 'p': return "pointer";
        case 's': return "string";
        case 't': return "method";
        default: return "undefined type";
    }
}

void conversion_error(uint32_t found_tag, const char* wanted) {
    std::string m = std::string("Cannot convert '") + type_name_of_tag(found_tag) + "' to '" + wanted + "'";
    raise_runtime_error(m.c_str());
}

void stack_overflow() { raise_runtime_error("Stack overflow"); }
void stack_underflow() { raise_runtime_error("Stack underflow"); }

void push_string(ValueStack* s, const WStr& text) {
    Value& v = push_slot(s);
    v.tag = kTagString;
    if (&v.text != &text) v.text.assign(text);
}

void push_string(ValueStack* s, const WChar* text) {
    Value& v = push_slot(s);
    v.tag = kTagString;
    if (text[0])
        v.text.assign_wide(text);
    else
        v.text.clear();
}

void push_string_units(ValueStack* s, const WChar* text, uint32_t n) {
    Value& v = push_slot(s);
    v.tag = kTagString;
    if (n)
        v.text.assign_wide(text, n);
    else
        v.text.clear();
}

void push_string_narrow(ValueStack* s, const char* text) {
    Value& v = push_slot(s);
    v.tag = kTagString;
    v.text.assign_narrow(text);
}

bool value_truth(const Value& v) {
    switch (v.tag) {
        case kTagBool:
        case kTagInt:
        case kTagPointer:
        case kTagDispatch:
        case kTagUnknown:
            return v.v.u != 0;
        case kTagLong:
            return v.v.l != 0;
        case kTagDouble:
            return !(v.v.d == 0.0);  // a NaN is true
        case kTagString:
            return v.text.length != 0;
        case kTagMethod:
            return v.v.m.Method != nullptr || v.v.m.Target != nullptr;
        default:
            conversion_error(v.tag, "bool");
    }
}

bool pop_bool(ValueStack* s) { return value_truth(pop_slot(s)); }

int32_t pop_int(ValueStack* s) {
    Value& v = pop_slot(s);
    if (v.tag == kTagInt || v.tag == kTagBool) return v.v.i;
    conversion_error(v.tag, "int");
}

int64_t pop_long(ValueStack* s) {
    Value& v = pop_slot(s);
    switch (v.tag) {
        case kTagLong: return v.v.l;
        case kTagInt:
        case kTagBool: return v.v.i;
        default: conversion_error(v.tag, "long");
    }
}

double pop_double(ValueStack* s) {
    Value& v = pop_slot(s);
    switch (v.tag) {
        case kTagDouble: return v.v.d;
        case kTagInt: return v.v.i;
        case kTagLong: return static_cast<double>(v.v.l);
        default: conversion_error(v.tag, "double");
    }
}

float pop_float(ValueStack* s) {
    Value& v = pop_slot(s);
    switch (v.tag) {
        case kTagDouble: return static_cast<float>(v.v.d);
        case kTagInt: return static_cast<float>(v.v.i);
        case kTagLong: return static_cast<float>(v.v.l);
        default: conversion_error(v.tag, "float");
    }
}

void* pop_pointer(ValueStack* s) {
    Value& v = pop_slot(s);
    switch (v.tag) {
        case kTagPointer:
        case kTagDispatch:
        case kTagUnknown:
        case kTagInt: return v.v.p;
        default: conversion_error(v.tag, "pointer");
    }
}

WStr& pop_string(ValueStack* s) {
    Value& v = pop_slot(s);
    if (v.tag != kTagString) conversion_error(v.tag, "string");
    return v.text;
}

PMethod pop_method(ValueStack* s) {
    Value& v = pop_slot(s);
    if (v.tag == kTagMethod) return v.v.m;
    if (v.tag == kTagInt && v.v.i == 0) return PMethod{nullptr, nullptr};
    conversion_error(v.tag, "method");
}

int32_t pop_native_int(ValueStack* s) {
    Value& v = pop_slot(s);
    switch (v.tag) {
        case kTagPointer:
        case kTagInt: return v.v.i;
        case kTagLong: return static_cast<int32_t>(v.v.l);
        case kTagString: return static_cast<int32_t>(reinterpret_cast<uintptr_t>(v.text.buffer));
        default: conversion_error(v.tag, "int");
    }
}

void* pop_native_pointer(ValueStack* s) {
    Value& v = pop_slot(s);
    switch (v.tag) {
        case kTagPointer:
        case kTagInt:
        case kTagDispatch:
        case kTagUnknown: return v.v.p;
        case kTagString: return const_cast<WChar*>(v.text.text());
        default: conversion_error(v.tag, "pointer");
    }
}

void pop_stack_to_variable(Frame* f, int index) {
    ValueStack* s = f->stack;
    uint64_t& slot = f->vars[index];
    switch (f->var_codes[index]) {
        case 'b': *reinterpret_cast<uint8_t*>(&slot) = pop_bool(s) ? 1 : 0; break;
        case 'c':
        case 'm': *reinterpret_cast<uint16_t*>(&slot) = static_cast<uint16_t>(pop_int(s)); break;
        case 'e': *reinterpret_cast<uint8_t*>(&slot) = static_cast<uint8_t>(pop_int(s)); break;
        case 'i':
        case 'n': *reinterpret_cast<int32_t*>(&slot) = pop_int(s); break;
        case 'l': *reinterpret_cast<int64_t*>(&slot) = pop_long(s); break;
        case 'd': *reinterpret_cast<double*>(&slot) = pop_double(s); break;
        case 'f': *reinterpret_cast<float*>(&slot) = pop_float(s); break;
        case 'p': *reinterpret_cast<void**>(&slot) = pop_pointer(s); break;
        case 's': {
            (*reinterpret_cast<WStr**>(&slot))->swap(pop_string(s));  // the popped text is dead
            break;
        }
        case 't': *reinterpret_cast<PMethod*>(&slot) = pop_method(s); break;
        default: raise_runtime_error("Stack Error : pop_stack_to_variable");
    }
}

}  // namespace qel
