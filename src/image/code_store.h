// What the source and resource sections leave behind: the one chain of Instructions, the method
// records in image order, the named resources, and the units in order of first mention.
#pragma once
#include <cstdint>

#include "base/ptr_list.h"
#include "image/instruction.h"

namespace qel {

// One named resource of the image.
struct ResourceRec {
    char* name;
    uint8_t* data;
    uint32_t size;
};

struct CodeStore {
    Instruction* first;
    PtrList methods;    // MethodRecord*, image order
    PtrList resources;  // ResourceRec*, image order

    void init();
    void release();
    // The header of the first method whose full name has that NameHash, or null.
    Instruction* method(const char* full_name) const;
    Instruction* method(uint32_t hash) const;
    ResourceRec* resource(const char* name) const;
};

struct UnitRecord {
    int32_t id;
    char* name;
};

struct UnitList {
    int32_t last_id;
    PtrList records;  // UnitRecord*

    int32_t id_of(const char* name);  // appends an unknown name with the next id
    const char* name_of(int32_t id) const;
    void release();
};

}  // namespace qel
