// Descriptors of classes, structs, members, basic types and enumerations. Scripts read these
// records by layout through the image's Rtti unit (CClass, CMember, CPropAttrib, CType, CEnum,
// CEnumMember), so every offset here is fixed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/ptr_list.h"
#include "types/type_codes.h"

namespace qel {

struct Instruction;

enum MemberAccess : uint8_t { kAccessPublished = 0, kAccessPublic = 1, kAccessPrivate = 2, kAccessProtected = 3 };
enum MemberKind : uint8_t { kMemberVar = 0, kMemberEnum = 1, kMemberObject = 2 };
enum PropType : uint8_t { kPropNone = 0, kPropField = 1, kPropMethod = 2 };
enum ClassType : uint8_t { kClassTypeObject = 1 };

struct CPropAttrib {
    char* name;
    uint8_t type;  // PropType
    void* ptr;     // CMember* for a field accessor, the method header (Instruction*) for a method
};
static_assert(offsetof(CPropAttrib, name) == 0 && offsetof(CPropAttrib, type) == 4 &&
              offsetof(CPropAttrib, ptr) == 8 && sizeof(CPropAttrib) == 12);

struct CMember {
    uint8_t access;       // MemberAccess
    uint8_t kind;         // MemberKind
    uint8_t type;         // type code
    void* info;           // CType*, CEnum* or CClass* of the type name; null when not found
    char* name;
    CPropAttrib* read;    // properties only
    CPropAttrib* write;   // properties only
    int32_t* default_value;  // properties only; null when written "n"
    int32_t array_length; // 0 plain, n inline array, -1 embedded struct
    int32_t address;      // byte offset in the instance; -1 until layout
};
static_assert(offsetof(CMember, access) == 0 && offsetof(CMember, kind) == 1 && offsetof(CMember, type) == 2 &&
              offsetof(CMember, info) == 4 && offsetof(CMember, name) == 8 && offsetof(CMember, read) == 12 &&
              offsetof(CMember, write) == 16 && offsetof(CMember, default_value) == 20 &&
              offsetof(CMember, array_length) == 24 && offsetof(CMember, address) == 28 && sizeof(CMember) == 32);

struct CClass {
    CClass* class_info;   // the descriptor of class CClass: every descriptor is a CClass object
    bool is_struct;
    bool internal_class;
    int16_t unit_id;
    uint32_t hash;        // NameHash of name
    int32_t size;
    char* name;
    uint8_t class_type;   // ClassType
    CClass* base_class;
    PtrList* fields;      // CMember*, declaration order
    PtrList* properties;  // CMember*, created on the first property
    PtrList* methods;     // method records
    PtrList* ofields;     // the string fields (shared with fields)
    Instruction* constructor;
    Instruction* destructor;
};
static_assert(offsetof(CClass, class_info) == 0 && offsetof(CClass, is_struct) == 4 &&
              offsetof(CClass, internal_class) == 5 && offsetof(CClass, unit_id) == 6 && offsetof(CClass, hash) == 8 &&
              offsetof(CClass, size) == 12 && offsetof(CClass, name) == 16 && offsetof(CClass, class_type) == 20 &&
              offsetof(CClass, base_class) == 24 && offsetof(CClass, fields) == 28 &&
              offsetof(CClass, properties) == 32 && offsetof(CClass, methods) == 36 &&
              offsetof(CClass, ofields) == 40 && offsetof(CClass, constructor) == 44 &&
              offsetof(CClass, destructor) == 48 && sizeof(CClass) == 52);

struct CType {
    uint8_t short_name;   // the type code
    uint8_t size;
    int16_t unit_id;
    char* name;
    CType* base_type;     // itself for the basic types
};
static_assert(offsetof(CType, short_name) == 0 && offsetof(CType, size) == 1 && offsetof(CType, unit_id) == 2 &&
              offsetof(CType, name) == 4 && offsetof(CType, base_type) == 8 && sizeof(CType) == 12);

struct CEnumMember {
    char* name;
    int32_t value;
};
static_assert(offsetof(CEnumMember, name) == 0 && offsetof(CEnumMember, value) == 4 && sizeof(CEnumMember) == 8);

struct CEnum {
    int16_t unit_id;
    uint8_t type;
    char* name;
    PtrList* members;  // CEnumMember*
};
static_assert(offsetof(CEnum, unit_id) == 0 && offsetof(CEnum, type) == 2 && offsetof(CEnum, name) == 4 &&
              offsetof(CEnum, members) == 8 && sizeof(CEnum) == 12);

// A method has at most this many variables (parameters first, then locals).
constexpr int kMaxVariables = 32;

// A method header's record. The first five fields are the image's CMethod, the last four its CMethodInfo.
struct MethodRecord {
    uint8_t type;        // return type code
    uint8_t access;
    uint8_t modifier;    // 0 None, 1 Virtual, 2 Override, 3 Abstract
    uint8_t var_counts;
    char* var_types;     // one type code per variable, parameters first
    char* name;          // full name (shared with the header's name operand)
    uint32_t hash;       // NameHash of the full name
    uint32_t name_hash;  // NameHash of the part after "::" when the class exists, else 0
    Instruction* line;   // the header
};
static_assert(offsetof(MethodRecord, type) == 0 && offsetof(MethodRecord, access) == 1 &&
              offsetof(MethodRecord, modifier) == 2 && offsetof(MethodRecord, var_counts) == 3 &&
              offsetof(MethodRecord, var_types) == 4 && offsetof(MethodRecord, name) == 8 &&
              offsetof(MethodRecord, hash) == 12 && offsetof(MethodRecord, name_hash) == 16 &&
              offsetof(MethodRecord, line) == 20 && sizeof(MethodRecord) == 24);

}  // namespace qel
