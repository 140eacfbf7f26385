// Run-time failures inside the runtime become script exceptions: an Exception object is made with
// the message and thrown as the native exception qel_exception, which the innermost interpreter
// activation on the thread catches. This is the one way code at any layer raises an error while
// a script runs; the object is made by the maker the interpreter's layer installs at start-up.
#pragma once
#include <cstdint>

#include "base/wstr.h"

namespace qel {

struct qel_exception {
    void* object;  // the script Exception object; null when the image has no Exception class
};

[[noreturn]] void raise_runtime_error(const char* message);
[[noreturn]] void raise_runtime_error(const WStr& message);

// Makes the Exception object of a runtime error (null when it cannot be made).
using ErrorObjectMaker = void* (*)(const WStr& message);
void set_error_object_maker(ErrorObjectMaker maker);

// No system maps the lowest 64 KB nor the highest 64 KB of a 32-bit address space: null, a small
// int or a small negative int used as an address is refused instead of dereferenced.
constexpr uintptr_t kLowestAddress = 0x10000;
constexpr uintptr_t kHighestAddress = 0xFFFF0000u;
inline bool invalid_address(const void* p) {
    return reinterpret_cast<uintptr_t>(p) - kLowestAddress >= kHighestAddress - kLowestAddress;
}

// A reference a script hands over (a list, a stream, a map, a buffer ...): null raises "Null " +
// what, a low address "Invalid " + what.
[[noreturn]] void refuse_reference(const void* p, const char* what);
inline void check_reference(const void* p, const char* what) {
    if (invalid_address(p)) refuse_reference(p, what);
}

}  // namespace qel
