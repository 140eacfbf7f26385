// Script exceptions: objects of class Exception (or a subclass) raised by throw or by the runtime.
#pragma once
#include "base/wstr.h"
#include "vm/frame.h"

namespace qel {

struct Runtime;
struct Instruction;

// The string fields of an exception object (null when the image has no such field).
WStr* exception_message(Runtime* rt, void* exception);
WStr* exception_trace(Runtime* rt, void* exception);

// The object of a runtime error: an Exception with FMessage set (null without an Exception class;
// the message is then kept for the report). Installed as base's error object maker.
void* make_runtime_error_object(const WStr& message);

// Records where Exception keeps its fields; called once the image is linked.
void bind_exception_class(Runtime* rt);

// Reports an exception that no handler took. A runtime error's object is given as raised; a
// script exception held by the frame is read through its Message property and released.
void report_unhandled(Runtime* rt, void* exception, bool script_exception, Instruction* at, Frame* f);

}  // namespace qel
