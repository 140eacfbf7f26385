#include "stdlib/builtins.h"

namespace qel {

BuiltinFn resolve_builtin(uint32_t) { return nullptr; }

}  // namespace qel
