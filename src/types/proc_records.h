// Declared native procedures (CLibProc) and their libraries (CLib). Scripts read both records by
// layout.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/ptr_list.h"
#include "base/wstr.h"

namespace qel {

enum CallingConvention : uint8_t { kStdCall = 0, kCdecl = 1, kThisCall = 2 };

struct CLib {
    uint32_t hash;  // NameHash of the library name as written
    char* name;
    void* hInst;    // module handle; null when loading failed
};
static_assert(offsetof(CLib, hash) == 0 && offsetof(CLib, name) == 4 && offsetof(CLib, hInst) == 8 && sizeof(CLib) == 12);

struct CLibProc {
    void* proc;            // bound entry point
    uint8_t return_type;   // type code
    uint8_t type;          // calling convention
    uint8_t unicode;       // bound under the plain name after the "W" name was not found
    uint8_t late;
    int32_t esp_size;      // bytes the caller removes after a cdecl call
    uint32_t hash;         // NameHash of name
    char* name;
    int32_t param_count;
    char* param_labels;    // one type code per parameter
    CLib* library;         // null for the "asm" library
};
static_assert(offsetof(CLibProc, proc) == 0 && offsetof(CLibProc, return_type) == 4 && offsetof(CLibProc, type) == 5 &&
              offsetof(CLibProc, unicode) == 6 && offsetof(CLibProc, late) == 7 && offsetof(CLibProc, esp_size) == 8 &&
              offsetof(CLibProc, hash) == 12 && offsetof(CLibProc, name) == 16 && offsetof(CLibProc, param_count) == 20 &&
              offsetof(CLibProc, param_labels) == 24 && offsetof(CLibProc, library) == 28 && sizeof(CLibProc) == 32);

struct ProcRegistry {
    PtrList procs;       // CLibProc*, registration order
    WStr* library_dir;   // the current directory when the registry was made; null when unknown
    PtrList libs;        // CLib*, creation order
    // Descriptors of unloaded libraries: out of the lookups, their entry point cleared, kept until
    // teardown so that a pointer a script still holds fails cleanly instead of reading freed memory.
    PtrList retired;

    // Empty lists; the library directory is the current directory now.
    void init();
    // Frees every descriptor, then every library record, releasing its module.
    void release();
    // The first descriptor with that hash, or null.
    CLibProc* find(uint32_t hash) const;
    // The library record with that hash, or null.
    CLib* find_library(uint32_t hash) const;
};

// The bytes a cdecl caller removes for these parameter codes: 4 for each of b c e f i m n p s v,
// 8 for each of d l t, nothing for other letters.
int32_t cdecl_bytes(const char* codes);

// A new descriptor (name and codes copied, hash and esp_size computed, nothing bound), or null
// when memory runs out. It is not added to the registry.
CLibProc* proc_desc_create(CLib* library, const char* name, char return_type, const char* param_types,
                           uint8_t convention, bool late);
void proc_desc_destroy(CLibProc* p);

// Records a declaration without binding anything (the registry of a program that is only
// parsed). Returns the descriptor, or null when memory runs out.
CLibProc* register_proc(ProcRegistry& reg, const char* library, const char* name, char return_type,
                        const char* param_types, uint8_t convention, bool late);

}  // namespace qel
