// The error reporter: builds "[Qel Error]:Err <n>" boxes titled "Qel Runtime Error". Shown only
// while the system block's ErrorReporting flag is on; always returns.
#pragma once
#include "base/wstr.h"
#include "vm/value.h"

namespace qel {

enum : int { kErrorFatal = 10, kErrorLoading = 11 };

// Narrow message, formatted printf-style into at most 511 bytes.
void report_error(int number, const char* format, ...) __attribute__((format(printf, 2, 3)));
void report_error_wide(int number, const WStr& text);

// The message box of the runtime (caption "Qel Runtime Error"), shown whatever ErrorReporting says.
void show_runtime_error_box(const WStr& text);

struct Runtime;
struct Frame;
struct Instruction;

// The dumps of a failing place: the instruction report (method, lines, opcode, then the frame
// dump with stack values) and the frame dump (variables, stack values, call stack).
void instruction_report(Runtime* rt, const Frame* f, const Instruction* at, WStr& out);
void frame_dump(const Frame* f, WStr& out, bool with_stack);

// An exception that reached the outermost frame: report 10 with the instruction report and the
// message.
void fatal_report(Runtime* rt, const WStr& message, const Instruction* at, const Frame* f);
// The text a thrown exception keeps in FStackTrace.
void stack_trace_text(Runtime* rt, const Frame* f, const Instruction* at, const WStr* message, WStr& out);

// "(type) value" texts of a stack slot and of a frame variable.
void value_text(const Value& v, WStr& out);
void variable_text(const Frame* f, int index, WStr& out);

}  // namespace qel
