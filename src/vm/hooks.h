// What the interpreter's layer needs from the layers above it: the reports and dumps of the host,
// and the native bridge. The host installs the table at start-up, before anything runs.
#pragma once

namespace qel {

struct Runtime;
struct Frame;
struct Instruction;
struct WStr;

struct VmHooks {
    // An exception no handler took: error 10 with the instruction report and the message.
    void (*fatal_report)(Runtime* rt, const WStr& message, const Instruction* at, const Frame* f);
    // The text a thrown exception keeps in FStackTrace.
    void (*stack_trace)(Runtime* rt, const Frame* f, const Instruction* at, const WStr* message, WStr& out);
    // The runtime's own message box, shown whatever ErrorReporting says.
    void (*error_box)(const WStr& text);
    // The built-in that shows the calling frame's variables (trace).
    void (*trace)(Runtime* rt, Frame* f);
    // A numbered error report that does not stop anything (error 10 or 11), shown when
    // ErrorReporting is on.
    void (*report)(int number, const char* text);

    // The native bridge: libproc, callcvirt, comget/comset, and the members and creation of the
    // native pointer classes (the object already popped for members).
    void (*libproc)(Runtime* rt, Frame* f, Instruction* ins);
    void (*callcvirt)(Runtime* rt, Frame* f, Instruction* ins);
    void (*com)(Runtime* rt, Frame* f, Instruction* ins);
    void (*native_member)(Runtime* rt, Frame* f, void* object, Instruction* ins);
    void* (*native_object_create)(Runtime* rt, const char* class_name, Frame* f);
};

extern VmHooks g_vm_hooks;

}  // namespace qel
