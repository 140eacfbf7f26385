// Built-ins over objects, classes and members: creation and release, reflection, method values,
// and member access by name.
#include <cstdlib>

#include "vm/runtime.h"
#include "image/instruction.h"
#include "base/name_hash.h"
#include "stdlib/builtin_support.h"
#include "platform/ansi_name.h"
#include "types/class_registry.h"
#include "vm/member_access.h"
#include "vm/objects.h"
#include "vm/interpreter.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

uint32_t hash_of(const WStr& s) { return name_hash(s.text(), s.length); }

void run_method_value(Runtime* rt, Frame* f, PMethod m, bool virtual_call) {
    if (!m.Method) raise_runtime_error("Call of an unassigned method");
    if (invalid_address(m.Method)) raise_runtime_error("Call of an invalid method");
    Instruction* method = m.Method;
    if (virtual_call && method->method()->modifier != 0 && method->method()->name_hash != 0) {
        if (Instruction* found = method_in_chain(object_class(rt, m.Target, "Method call on"), method->method()->name_hash))
            method = found;
    }
    run_method(rt, method, m.Target, f);
}
}  // namespace

void bi_New(Runtime* rt, Frame* f) {
    auto* c = pop_class(rt, f->stack);
    create_object(rt, c, f);
}

void bi_Free(Runtime* rt, Frame* f) {
    auto* c = pop_class(rt, f->stack);
    void* record = pop_pointer(f->stack);
    if (record && (invalid_address(record) || rt->program.class_index.has(record)))
        raise_runtime_error("Release of an invalid object");
    free_struct(c, record);
}

void bi_object_free(Runtime* rt, Frame* f) { release_object(rt, pop_pointer(f->stack), f); }

void bi_object_class_name(Runtime* rt, Frame* f) {
    void* obj = pop_pointer(f->stack);
    const CClass* c = obj ? object_class(rt, obj, "Class name of") : nullptr;
    push_string_narrow(f->stack, c && c->name ? c->name : "");
}

void bi_object_inherited_class(Runtime* rt, Frame* f) {
    void* obj = pop_pointer(f->stack);
    auto* c = pop_class(rt, f->stack);
    push_bool(f->stack, obj && c && is_a(object_class(rt, obj, "Class test of"), c));
}

void bi_ClassInfo(Runtime* rt, Frame* f) {
    WStr& name = pop_string(f->stack);
    push_pointer(f->stack, class_by_hash(rt->program.classes, hash_of(name)));
}

void bi_Method(Runtime* rt, Frame* f) {
    void* obj = pop_pointer(f->stack);
    WStr& name = pop_string(f->stack);
    Instruction* m = obj ? method_in_chain(object_class(rt, obj, "Method lookup on"), hash_of(name))
                         : rt->program.code.method(hash_of(name));
    push_method(f->stack, m, m ? obj : nullptr);
}

void bi_Call(Runtime* rt, Frame* f) { run_method_value(rt, f, pop_method(f->stack), false); }
void bi_CallVirt(Runtime* rt, Frame* f) { run_method_value(rt, f, pop_method(f->stack), true); }

namespace {
using MemberByName = void (*)(Runtime*, void*, const CClass*, const WStr&, Frame*);

// (obj, [cls,] name): the member of that name, from cls up or from the object's own class up.
void by_name(Runtime* rt, Frame* f, bool from_class, MemberByName access) {
    WStr& name = pop_string(f->stack);
    auto* c = from_class ? pop_class(rt, f->stack) : nullptr;
    void* obj = pop_pointer(f->stack);
    access(rt, obj, c, name, f);
}
}  // namespace

void bi_GetObjProp(Runtime* rt, Frame* f) { by_name(rt, f, false, get_property_by_name); }
void bi_SetObjProp(Runtime* rt, Frame* f) { by_name(rt, f, false, set_property_by_name); }
void bi_GetObjField(Runtime* rt, Frame* f) { by_name(rt, f, false, get_field_by_name); }
void bi_SetObjField(Runtime* rt, Frame* f) { by_name(rt, f, false, set_field_by_name); }
void bi_GetFieldValue(Runtime* rt, Frame* f) { by_name(rt, f, true, get_field_by_name); }
void bi_SetFieldValue(Runtime* rt, Frame* f) { by_name(rt, f, true, set_field_by_name); }
void bi_GetPropValue(Runtime* rt, Frame* f) { by_name(rt, f, true, get_property_by_name); }
void bi_SetPropValue(Runtime* rt, Frame* f) { by_name(rt, f, true, set_property_by_name); }

void bi_IsPublished(Runtime* rt, Frame* f) {
    WStr& name = pop_string(f->stack);
    void* obj = pop_pointer(f->stack);
    platform::AnsiName n(name);
    push_bool(f->stack, is_published(rt, obj, n.text));
}

}  // namespace qel
