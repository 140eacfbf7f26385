// The tables through which the lower layers reach the higher ones, filled in one place.
#include "base/runtime_error.h"
#include "host/builtins.h"
#include "host/error_report.h"
#include "host/lifecycle.h"
#include "image/assembler.h"
#include "image/image_parser.h"
#include "native/native_bridge.h"
#include "native/native_classes.h"
#include "native/procedures.h"
#include "vm/exceptions.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"

namespace qel {

namespace {
void report_numbered(int number, const char* text) { report_error(number, "%s", text); }
}  // namespace

void install_layer_hooks() {
    set_error_object_maker(make_runtime_error_object);
    set_builtin_resolver(resolve_builtin);
    set_method_preparer(prepare_method);
    set_proc_registrar(native_register_proc);
    g_vm_hooks = VmHooks{
        .fatal_report = fatal_report,
        .stack_trace = stack_trace_text,
        .error_box = show_runtime_error_box,
        .trace = bi_trace,
        .report = report_numbered,
        .libproc = native_libproc,
        .callcvirt = native_callcvirt,
        .com = native_com,
        .native_member = native_member,
        .native_object_create = native_object_create,
    };
}

}  // namespace qel
