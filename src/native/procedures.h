// The native-procedure registry's operations: declarations bound to library exports, their
// removal with their library, machine code attached to "asm" procedures, and the call itself.
#pragma once
#include <cstdint>

#include "types/proc_records.h"

namespace qel {

struct Runtime;
struct ValueStack;
struct WStr;

// Register: loads the library (once per name), binds the entry point and adds the descriptor.
// A missing library or entry point is reported (error 10) unless the declaration is late; a
// non-late declaration that binds nothing is not registered (null). Installed as the parser's
// registrar.
CLibProc* native_register_proc(ProcRegistry& reg, const char* library, const char* name, char return_type,
                               const char* param_types, uint8_t convention, bool late);

// The library record of that name, loaded on first mention: from the library directory, then by
// the system's search. A library that failed once is not tried again.
CLib* load_library_record(ProcRegistry& reg, const char* name, bool late);

// Removes the library of that name and every descriptor bound to it; the number of descriptors.
int32_t unload_library(ProcRegistry& reg, const char* name);

// Copies code into executable memory for the registered descriptor of that name whose entry point
// is null; returns the descriptor (unchanged when it has code already), or null when none is
// registered. Code larger than a page is refused with a runtime error.
CLibProc* attach_code(Runtime* rt, const char* name, const void* code, int32_t size);

// Pops the arguments as the descriptor's codes demand, lays them on the machine stack for its
// convention (object: the first argument, or ECX for thiscall; null for none), calls, and pushes
// the converted result. Raises a runtime error, before anything is called, for an argument of the
// wrong kind or a descriptor without an entry point.
void call_native(CLibProc* d, ValueStack* stack, void* object);

}  // namespace qel
