// The class registry: every class and struct of the image as a CClass, found by NameHash along
// the registry and along base chains; layout of instances; binding of property accessors.
#pragma once
#include <cstdint>
#include <string>

#include "base/wstr.h"
#include "types/descriptors.h"

namespace qel {

struct Instruction;

CClass* class_by_hash(const PtrList& registry, uint32_t hash);
CClass* class_by_name(const PtrList& registry, const char* name);

// A class line names a base unless the base is written "[none]" or the class is "object" itself.
bool has_base(const char* name, const char* base);
// Registers a class or struct. A base that names no registered class is dropped (the caller
// reports it).
CClass* add_class(PtrList& registry, const char* name, const char* base, bool is_struct, bool internal);

CMember* field_of(const CClass* c, const char* name);
CMember* field_in_chain(const CClass* c, const char* name);
CMember* property_of(const CClass* c, const char* name);
CMember* property_in_chain(const CClass* c, const char* name);
// The header of the first method with that short-name hash, from c up to the root.
Instruction* method_in_chain(const CClass* c, uint32_t short_hash);
Instruction* method_in_chain(const CClass* c, const char* short_name);
Instruction* method_in_chain(const CClass* c, const WStr& short_name);

bool is_a(const CClass* c, const char* name);
bool is_a(const CClass* c, const CClass* other);

// Computes the field offsets and the size. Fails (with a reason) only for an embedded struct
// member whose type names no class or struct.
bool layout_class(CClass* c, std::string* error);
// Lays out every class and struct that is not internal, in declaration order.
bool layout_all(PtrList& registry, std::string* error);

// After parsing: every descriptor's class pointer, and property accessors bound to fields or methods.
void bind_accessors(PtrList& classes);

// Frees what the descriptor owns (fields, properties with their accessors and defaults, the method
// list, the name) and leaves the lists and the name null; the descriptor itself stays.
void release_class_contents(CClass* c);
void release_class(CClass* c);
void release_classes(PtrList& registry);

// The registered descriptors as a set: whether a word names a class of the program, in constant
// time, without reading through the word.
struct ClassIndex {
    const CClass** slots;  // open addressing by address, a power of two long; null when empty
    uint32_t mask;
    const CClass** names;  // the same classes by the NameHash of their names (the first of equal hashes)

    void build(const PtrList& registry);
    void release();
    bool has(const void* p) const {
        if (!slots || !p) return false;
        for (uint32_t at = slot_of(p);; at = (at + 1) & mask) {
            if (slots[at] == p) return true;
            if (!slots[at]) return false;
        }
    }
    uint32_t slot_of(const void* p) const {
        return static_cast<uint32_t>((reinterpret_cast<uintptr_t>(p) >> 2) * 2654435761u) & mask;
    }
    // The class with that name hash (as class_by_hash finds it), or null.
    CClass* by_hash(uint32_t hash) const;
    CClass* by_name(const char* name) const;
};

CType* type_by_name(const PtrList& types, const char* name);
CEnum* enum_by_name(const PtrList& enums, const char* name);
void release_types(PtrList& types);
void release_enums(PtrList& enums);

}  // namespace qel
