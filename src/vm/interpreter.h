// The interpreter: one activation runs one method invocation; calls nest activations.
#pragma once
#include <cstddef>
#include <cstdint>

#include "vm/frame.h"
#include "vm/value.h"

namespace qel {

struct Runtime;
struct Instruction;

// Fuses the common runs of one method's records (a variable compared with a constant and a
// branch, arithmetic on int variables, ...) into single steps: their heads' dispatch names the run.
// The assembler calls it as each method ends (its header first, branches already resolved).
void prepare_method(Instruction* const* body, size_t count);

// Runs from first until the method ends. Catches runtime errors raised by its instructions.
void interpret(Runtime* rt, Frame* f, Instruction* first);

// A call from script code: a nested frame whose arguments the caller pushed. With variadic N,
// the N hidden values above the arguments are kept out of the callee's way.
void run_method(Runtime* rt, Instruction* method, void* self, Frame* caller, int variadic = 0);

// A call from native code (WinMain, unit initialisers, callbacks): a top-level frame on stack,
// the arguments already pushed. Never lets a runtime error escape: an unhandled one is reported.
void run_top_level(Runtime* rt, Instruction* method, void* self, ValueStack* stack);

// A bare frame (no method, no variables) for native code that must hand a frame to built-ins.
void init_bare_frame(Frame& f, ValueStack* stack);



}  // namespace qel
