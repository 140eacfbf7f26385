// Run-time failures inside the runtime become script exceptions: an Exception object is made with
// the message and thrown as the native exception qel_exception, which the innermost interpreter
// activation on the thread catches.
#pragma once
#include <cstdint>

#include "stdlib/wstr.h"

namespace qel {

struct qel_exception {
    void* object;  // the script Exception object
};

[[noreturn]] void raise_runtime_error(const char* message);

// No system maps the lowest 64 KB: a null or small value used as an object's address is refused
// instead of dereferenced.
constexpr uintptr_t kLowestAddress = 0x10000;
inline bool invalid_address(const void* p) { return reinterpret_cast<uintptr_t>(p) < kLowestAddress; }
[[noreturn]] void raise_runtime_error(const WStr& message);

}  // namespace qel
