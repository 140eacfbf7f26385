// The Runtime: the one object per process that owns everything loaded from the image.
#pragma once
#include <cstdint>
#include <string>

#include "host/system_block.h"
#include "image/instruction.h"
#include "native/proc_registry.h"
#include "stdlib/ptr_list.h"
#include "stdlib/thread_registry.h"
#include "types/descriptors.h"
#include "vm/frame.h"
#include "vm/value.h"

namespace qel {

struct UnitRecord {
    int32_t id;
    char* name;
};

struct UnitList {
    int32_t last_id;
    PtrList records;  // UnitRecord*

    int32_t idOf(const char* name);  // appends an unknown name with the next id
    const char* nameOf(int32_t id) const;
    void release();
};

// Optional theme and composition functions for double-buffered painting.
struct ThemeBinder {
    int32_t major_version;
    void* uxtheme;
    void* begin_buffered_paint;
    void* end_buffered_paint;
    void* buffered_paint_set_alpha;
    int32_t composition;
    void* context;

    void init();
    void release();
};

// Instructions, method records, resources and callback pages of the image.
struct CodeStore {
    Instruction* first;
    char* text;          // the image text while it is parsed
    PtrList methods;     // MethodRecord*, image order
    PtrList resources;   // ResourceRec*, image order

    void init();
    void release();
    Instruction* method(const char* full_name) const;  // by NameHash of the full name
    Instruction* method(uint32_t hash) const;
    ResourceRec* resource(const char* name) const;
};

// Why a load failed, for the one line the host writes to standard error.
struct LoadFailure {
    int line = 0;  // line of the image text, 0 when not about a line
    std::string what;
};

struct Runtime {
    CClass* exception_class;
    bool loaded;
    void* global_object;
    Frame root_frame;
    UnitList units;
    PtrList opcodes;
    CSystem system;
    ValueStack stack;
    ThreadRegistry threads;
    ThemeBinder theme;
    PtrList classes;
    CodeStore code;
    ProcRegistry procs;
    PtrList enums;
    PtrList types;

    // Host bookkeeping.
    uint32_t load_started;
    int32_t exception_message_at;  // FMessage and FStackTrace of class Exception; -1 when absent
    int32_t exception_trace_at;
    LoadFailure failure;

    Runtime();
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Loads the image at path (empty: the host's own image). False when it cannot run.
    bool load(const char16_t* path);
    // The steps after the fetch: parse the image text (cut in place; it must end with a NUL),
    // check, link, create the global object and run the unit initialisers.
    bool load_text(char* text);
};

Runtime* current_runtime();

}  // namespace qel
