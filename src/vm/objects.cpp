#include "vm/objects.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/wstr.h"

namespace qel {

void create_string_fields(void* instance, const CClass* c) {
    auto* base = static_cast<unsigned char*>(instance);
    for (; c; c = c->base_class) {
        if (!c->ofields) continue;
        for (int32_t i = 0; i < c->ofields->count; ++i) {
            auto* f = static_cast<CMember*>((*c->ofields)[i]);
            if (f->address >= 0) *reinterpret_cast<WStr**>(base + f->address) = wstr_new();
        }
    }
}

void free_string_fields(void* instance, const CClass* c) {
    auto* base = static_cast<unsigned char*>(instance);
    for (; c; c = c->base_class) {
        if (!c->ofields) continue;
        for (int32_t i = 0; i < c->ofields->count; ++i) {
            auto* f = static_cast<CMember*>((*c->ofields)[i]);
            if (f->address < 0) continue;
            WStr*& s = *reinterpret_cast<WStr**>(base + f->address);
            wstr_delete(s);
            s = nullptr;
        }
    }
}

void* allocate_instance(const CClass* c) {
    void* block = std::calloc(1, c->size > 0 ? static_cast<size_t>(c->size) : 1);
    if (block) create_string_fields(block, c);
    return block;
}

void free_struct(const CClass* c, void* block) {
    if (!block) return;
    if (c) free_string_fields(block, c);
    std::free(block);
}

}  // namespace qel

#include <string>

#include "vm/runtime.h"
#include "platform/platform.h"
#include "types/class_registry.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {
[[noreturn]] void class_not_found() { raise_runtime_error("Class info not found!"); }

// A failure while a script object is being built ends the run: nothing can continue safely.
[[noreturn]] void fatal_creation_error(const CClass* c) {
    WStr text{};
    text.assign_narrow(c->name);
    text.append_narrow(" creating error.");
    if (g_vm_hooks.error_box) g_vm_hooks.error_box(text);
    text.clear();
    platform::exit_process(1);
}
}  // namespace

void create_object(Runtime* rt, CClass* c, Frame* f) {
    if (!c) class_not_found();
    if (c->is_struct) {
        push_pointer(f->stack, allocate_instance(c));
        return;
    }
    if (c->internal_class) {
        push_pointer(f->stack, g_vm_hooks.native_object_create(rt, c->name, f));
        return;
    }
    void* obj = nullptr;
    try {
        obj = std::calloc(1, static_cast<size_t>(c->size > 4 ? c->size : 4));
        if (!obj) throw std::bad_alloc();
        *static_cast<CClass**>(obj) = c;
        create_string_fields(obj, c);
        if (c->constructor) run_method(rt, c->constructor, obj, f);
    } catch (...) {
        fatal_creation_error(c);
    }
    push_pointer(f->stack, obj);
}

void construct_in_place(Runtime* rt, CClass* c, Frame* f) {
    if (!c) class_not_found();
    if (!c->internal_class) {
        if (c->constructor) run_method(rt, c->constructor, f->self, f);
    } else if (std::strcmp(c->name, "object") != 0) {
        f->self = g_vm_hooks.native_object_create(rt, c->name, f);
    }
}

void release_object(Runtime* rt, void* obj, Frame* f) {
    if (!obj) return;
    if (invalid_address(obj)) raise_runtime_error("Release of an invalid object");
    CClass* c = class_of(obj);
    for (CClass* k = c; k; k = k->base_class)
        if (k->destructor) run_method(rt, k->destructor, obj, f);
    free_string_fields(obj, c);
    std::free(obj);
}

void dispatch_by_hash(Runtime* rt, uint32_t hash, void* obj, Frame* f) {
    if (invalid_address(obj)) raise_runtime_error(obj ? "Method call on an invalid object" : "Method call on a null object");
    if (Instruction* m = method_in_chain(class_of(obj), hash)) run_method(rt, m, obj, f);
}

}  // namespace qel
