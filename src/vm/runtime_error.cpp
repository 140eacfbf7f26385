#include "vm/runtime_error.h"

namespace qel {

[[noreturn]] void raise_runtime_error(const char*) { throw qel_exception{nullptr}; }
[[noreturn]] void raise_runtime_error(const WStr&) { throw qel_exception{nullptr}; }

}  // namespace qel
