#include "vm/exceptions.h"
#include "vm/hooks.h"

#include <cstdlib>
#include <cstring>

#include "vm/runtime.h"
#include "types/class_registry.h"
#include "vm/member_access.h"
#include "vm/objects.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {
WStr* string_field(void* object, int32_t at) {
    if (!object || at < 0) return nullptr;
    return *reinterpret_cast<WStr**>(static_cast<char*>(object) + at);
}

// The message of a runtime error raised while the image has no Exception class.
thread_local WStr t_orphan_message{};

}  // namespace

void* make_runtime_error_object(const WStr& message) {
    Runtime* rt = current_runtime();
    CClass* c = rt ? rt->exception.cls : nullptr;
    if (!c || c->size < 4) {
        t_orphan_message.assign(message);
        return nullptr;
    }
    void* obj = std::calloc(1, static_cast<size_t>(c->size));
    if (!obj) {
        t_orphan_message.assign(message);
        return nullptr;
    }
    *static_cast<CClass**>(obj) = c;
    create_string_fields(obj, c);
    if (WStr* m = string_field(obj, rt->exception.message_at)) m->assign(message);
    return obj;
}

void bind_exception_class(Runtime* rt) {
    ExceptionClass& e = rt->exception;
    e.cls = class_by_name(rt->program.classes, "Exception");
    e.message_at = e.trace_at = -1;
    if (!e.cls) return;
    if (CMember* m = field_in_chain(e.cls, "FMessage"); m && m->type == kTypeString) e.message_at = m->address;
    if (CMember* t = field_in_chain(e.cls, "FStackTrace"); t && t->type == kTypeString) e.trace_at = t->address;
}

WStr* exception_message(Runtime* rt, void* exception) { return string_field(exception, rt->exception.message_at); }
WStr* exception_trace(Runtime* rt, void* exception) { return string_field(exception, rt->exception.trace_at); }

void report_unhandled(Runtime* rt, void* exception, bool script_exception, Instruction* at, Frame* f) {
    WStr message{};
    if (script_exception && exception) {
        // Read the Message property like any script would, then let the object go.
        ValueStack* st = f->stack;
        int32_t before = st->count;
        WStr name{};
        name.assign_narrow("Message");
        get_property_by_name(rt, exception, nullptr, name, f);
        name.clear();
        if (st->count > before && st->slots[st->count - 1].tag == kTagString) message.assign(st->slots[st->count - 1].text);
        st->count = before;
        release_object(rt, exception, f);
    } else if (exception) {
        if (WStr* m = exception_message(rt, exception)) message.assign(*m);
        // Nothing refers to a runtime error's object once it is reported.
        free_string_fields(exception, *static_cast<CClass**>(exception));
        std::free(exception);
    } else {
        message.assign(t_orphan_message);
    }
    g_vm_hooks.fatal_report(rt, message, at, f);
    message.clear();
}

}  // namespace qel
