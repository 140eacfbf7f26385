// The built-in catalogue: every name a script can reach with callstd, and the function behind it,
// composed from the families of stdlib, native and formats and the host's own (builtins.def).
#pragma once
#include <cstdint>

#include "image/instruction.h"

namespace qel {

// The entry point for a name hash, or null.
BuiltinFn resolve_builtin(uint32_t hash);

#define BUILTIN(name, fn) void fn(Runtime* rt, Frame* f);
#include "host/builtins.def"
#undef BUILTIN

}  // namespace qel
