// The program: everything the image defines, as loading leaves it. Loading code sees only this
// record; what runs (stacks, threads, the global object) is the Runtime's.
#pragma once
#include "base/ptr_list.h"
#include "base/wstr.h"
#include "image/code_store.h"
#include "types/class_registry.h"
#include "types/proc_records.h"

namespace qel {

// The manifest's project fields, copied into the system block once the image is loaded.
struct Manifest {
    WStr name, title, company, version;
    double date;
};

struct Program {
    Manifest manifest;
    UnitList units;
    PtrList classes;  // CClass*, declaration order
    ClassIndex class_index;  // the same descriptors, for telling objects from other blocks
    CodeStore code;
    ProcRegistry procs;
    PtrList enums;    // CEnum*
    PtrList types;    // CType*

    void init();
    // Frees in the order the runtime's teardown asks: units, classes, enums, types, code, procedures.
    void release();
};

}  // namespace qel
