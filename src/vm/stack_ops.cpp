#include "vm/stack_ops.h"

#include <string>

#include "base/runtime_error.h"
#include "types/type_codes.h"

namespace qel {

const char* type_name_of_tag(uint32_t tag) {
    static const char* const kNames[] = {"bool",  "byte",   "char",   "short", "pointer",   "int",      "float",
                                         "double", "string", "long", "IDispatch", "IUnknown", "method"};
    return tag < 13 ? kNames[tag] : "undefined type";
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

int32_t convert_to_int(const Value& v) {
    if (v.tag == kTagInt || v.tag == kTagBool) return v.v.i;
    conversion_error(v.tag, "int");
}

int64_t convert_to_long(const Value& v) {
    switch (v.tag) {
        case kTagLong: return v.v.l;
        case kTagInt:
        case kTagBool: return v.v.i;
        default: conversion_error(v.tag, "long");
    }
}

double convert_to_double(const Value& v) {
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

void* convert_to_pointer(const Value& v) {
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

namespace {
template <typename T>
T& cell(void* at) {
    return *static_cast<T*>(at);
}
template <typename T>
const T& cell(const void* at) {
    return *static_cast<const T*>(at);
}
}  // namespace

bool load_cell(ValueStack* s, const void* at, char code) {
    const TypeInfo* t = type_info(code);
    switch (t ? t->cell : Cell::None) {
        case Cell::None: return false;
        case Cell::Bool: push_bool(s, cell<uint8_t>(at) != 0); break;
        case Cell::Byte: push_int(s, cell<int8_t>(at)); break;
        case Cell::Char: push_int(s, cell<uint16_t>(at)); break;
        case Cell::Short: push_int(s, cell<int16_t>(at)); break;
        case Cell::Int: push_int(s, cell<int32_t>(at)); break;
        case Cell::Pointer: push_pointer(s, cell<void*>(at)); break;
        case Cell::Long: push_long(s, cell<int64_t>(at)); break;
        case Cell::Double: push_double(s, cell<double>(at)); break;
        case Cell::Float: push_double(s, cell<float>(at)); break;
        case Cell::String: {
            const WStr* text = cell<WStr*>(at);
            push_string(s, text ? *text : WStr{});
            break;
        }
        case Cell::Method: {
            const PMethod& m = cell<PMethod>(at);
            push_method(s, m.Method, m.Target);
            break;
        }
    }
    return true;
}

bool store_cell(ValueStack* s, void* at, char code) {
    const TypeInfo* t = type_info(code);
    switch (t ? t->cell : Cell::None) {
        case Cell::None: return false;
        case Cell::Bool: cell<uint8_t>(at) = pop_bool(s) ? 1 : 0; break;
        case Cell::Byte: cell<uint8_t>(at) = static_cast<uint8_t>(pop_int(s)); break;
        case Cell::Char:
        case Cell::Short: cell<uint16_t>(at) = static_cast<uint16_t>(pop_int(s)); break;
        case Cell::Int: cell<int32_t>(at) = pop_int(s); break;
        case Cell::Pointer: cell<void*>(at) = pop_pointer(s); break;
        case Cell::Long: cell<int64_t>(at) = pop_long(s); break;
        case Cell::Double: cell<double>(at) = pop_double(s); break;
        case Cell::Float: cell<float>(at) = static_cast<float>(pop_double(s)); break;
        case Cell::String: {
            WStr*& text = cell<WStr*>(at);
            WStr& popped = pop_string(s);
            if (!text) text = wstr_new();
            text->swap(popped);  // the popped slot's text is dead: move it
            break;
        }
        case Cell::Method: cell<PMethod>(at) = pop_method(s); break;
    }
    return true;
}

void pop_stack_to_variable(Frame* f, int index) {
    void* slot = &f->vars[index];
    const char code = f->var_codes[index];
    // A float parameter is rounded once from whatever number arrives.
    if (code == kTypeFloat) cell<float>(slot) = pop_float(f->stack);
    else if (!store_cell(f->stack, slot, code)) raise_runtime_error("Stack Error : pop_stack_to_variable");
}

}  // namespace qel
