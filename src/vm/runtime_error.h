// Run-time failures inside the runtime become script exceptions: an Exception object is made with
// the message and thrown as the native exception qel_exception, which the innermost interpreter
// activation on the thread catches.
#pragma once
#include "stdlib/wstr.h"

namespace qel {

struct qel_exception {
    void* object;  // the script Exception object
};

[[noreturn]] void raise_runtime_error(const char* message);
[[noreturn]] void raise_runtime_error(const WStr& message);

}  // namespace qel
