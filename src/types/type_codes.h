// The language's type letters: one table says, for each, its name, its size, how a value of it
// sits in memory and how many words it takes as a native argument. Every switch over type letters
// goes through this table.
#pragma once
#include <cstdint>

namespace qel {

// Type codes: the letters themselves are the numeric values.
enum TypeCode : uint8_t {
    kTypeBool = 'b', kTypeChar = 'c', kTypeDouble = 'd', kTypeByte = 'e', kTypeFloat = 'f',
    kTypeInt = 'i', kTypeLong = 'l', kTypeShort = 'm', kTypeNative = 'n', kTypePointer = 'p',
    kTypeString = 's', kTypeMethod = 't', kTypeVoid = 'v',
};

// How a value of a type sits in a field, a struct or a variable slot.
enum class Cell : uint8_t {
    None,     // void
    Bool,     // one byte, 0 or 1
    Byte,     // signed 8 bits
    Char,     // unsigned 16 bits
    Short,    // signed 16 bits
    Int,      // signed 32 bits (int and native)
    Pointer,  // a 32-bit address
    Long,     // signed 64 bits
    Double,   // IEEE 64 bits
    Float,    // IEEE 32 bits
    String,   // a pointer to a WStr owned by the holder
    Method,   // both words of a method value
};

struct TypeInfo {
    TypeCode code;
    const char* name;      // the basic type's name in metadata ("int", "native", ...)
    uint8_t size;          // bytes in a field or a struct
    Cell cell;
    uint8_t native_words;  // 32-bit words pushed for a native argument
};

// The entry of a type letter, or null for any other character.
const TypeInfo* type_info(char code);
// The entry of a basic type's name, or null.
const TypeInfo* type_info_by_name(const char* name);

// Size in bytes of a value of the type code; 0 for any other character.
inline int size_of_code(char code) {
    const TypeInfo* t = type_info(code);
    return t ? t->size : 0;
}
// Size of a basic type given by its name; 0 for any other name.
inline int size_of_basic_type(const char* name) {
    const TypeInfo* t = type_info_by_name(name);
    return t ? t->size : 0;
}
// The printed name of a variable's or member's code: "undefined type" for void and other letters.
const char* type_name_of_code(char code);

}  // namespace qel
