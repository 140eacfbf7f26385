// The Runtime: the one object per process that runs an image. It holds the program (what the
// image defines) and the running state: the main thread's stack and root frame, the thread
// registry, the global object and the system block scripts read through it.
#pragma once
#include <cstdint>

#include "image/program.h"
#include "types/descriptors.h"
#include "types/system_records.h"
#include "vm/frame.h"
#include "vm/thread_registry.h"
#include "vm/value.h"

namespace qel {

struct NativeState;

// What the image's Exception class looks like to the runtime.
struct ExceptionClass {
    CClass* cls;          // null when the image has none
    int32_t message_at;   // offsets of FMessage and FStackTrace; -1 when absent
    int32_t trace_at;
};

struct Runtime {
    Program program;
    ExceptionClass exception;
    bool loaded;
    void* global_object;  // the one instance of the image's struct Global
    Frame root_frame;
    CSystem system;
    ValueStack stack;     // the main thread's
    ThreadRegistry threads;
    int32_t os_major_version;  // read once for the paint paths of window procedures
    uint32_t load_started;     // tick count when the image fetch began
    NativeState* native;       // the native bridge's own state: callback thunks and their pages

    // Construction, loading and teardown are the host's (lifecycle.cpp).
    Runtime();
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;
};

// The process-wide current Runtime, set while one exists. Only code entered without a Runtime at
// hand uses it: window procedures and callbacks called by the system, the error reporter, and
// runtime errors raised from code that was given none.
Runtime* current_runtime();
void set_current_runtime(Runtime* rt);

}  // namespace qel
