// Built-in functions reached by callstd: a compiled-in table keyed by NameHash alone.
#pragma once
#include <cstdint>

namespace qel {

struct Frame;

using BuiltinFn = void (*)(Frame* frame);

// The entry point for a name hash, or null.
BuiltinFn resolve_builtin(uint32_t hash);

#define BUILTIN(name, fn) void fn(Frame* f);
#include "stdlib/builtins.def"
#undef BUILTIN

}  // namespace qel
