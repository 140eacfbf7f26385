// The tables through which the lower layers reach the higher ones, filled in one place.
#include "base/runtime_error.h"
#include "host/builtins.h"
#include "host/error_report.h"
#include "host/lifecycle.h"
#include "image/assembler.h"
#include "native/native_bridge.h"
#include "native/native_classes.h"
#include "vm/exceptions.h"
#include "vm/hooks.h"

namespace qel {

void install_layer_hooks() {
    set_error_object_maker(make_runtime_error_object);
    set_builtin_resolver(resolve_builtin);
    g_vm_hooks = VmHooks{
        .fatal_report = fatal_report,
        .stack_trace = stack_trace_text,
        .error_box = show_runtime_error_box,
        .trace = bi_trace,
        .libproc = native_libproc,
        .callcvirt = native_callcvirt,
        .com = native_com,
        .native_member = native_member,
        .native_object_create = native_object_create,
    };
}

}  // namespace qel
