// The error reporter: builds "[Qel Error]:Err <n>" boxes titled "Qel Runtime Error". Shown only
// while the system block's ErrorReporting flag is on; always returns.
#pragma once
#include "stdlib/wstr.h"

namespace qel {

enum : int { kErrorFatal = 10, kErrorLoading = 11 };

// Narrow message, formatted printf-style into at most 511 bytes.
void report_error(int number, const char* format, ...) __attribute__((format(printf, 2, 3)));
void report_error_wide(int number, const WStr& text);

// The message box of the runtime (caption "Qel Runtime Error"), shown whatever ErrorReporting says.
void show_runtime_error_box(const WStr& text);

}  // namespace qel
