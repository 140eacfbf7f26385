// Objects and structs: instances, creation with the constructor, release with the destructors,
// and virtual dispatch by name hash.
#include "vm/objects.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/runtime_error.h"
#include "base/wstr.h"
#include "platform/platform.h"
#include "types/class_registry.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"
#include "vm/stack_ops.h"

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
    // Anything that escapes while the object is built, a machine fault in its constructor included,
    // is fatal: the partly built object cannot be used or released safely.
    struct Build {
        Runtime* rt;
        CClass* c;
        Frame* f;
        void* obj;
    } build{rt, c, f, nullptr};
    bool ok = false;
    try {
        ok = platform::run_guarded(
            [](void* p) {
                auto& b = *static_cast<Build*>(p);
                b.obj = std::calloc(1, static_cast<size_t>(b.c->size > 4 ? b.c->size : 4));
                if (!b.obj) throw std::bad_alloc();
                *static_cast<CClass**>(b.obj) = b.c;
                create_string_fields(b.obj, b.c);
                if (b.c->constructor) run_method(b.rt, b.c->constructor, b.obj, b.f);
            },
            &build);
    } catch (...) {
        ok = false;
    }
    if (!ok) fatal_creation_error(c);
    push_pointer(f->stack, build.obj);
}

void construct_in_place(Runtime* rt, CClass* c, Frame* f) {
    if (!c) class_not_found();
    if (!c->internal_class) {
        if (c->constructor) run_method(rt, c->constructor, f->self, f);
    } else if (std::strcmp(c->name, "object") != 0) {
        f->self = g_vm_hooks.native_object_create(rt, c->name, f);
    }
}

void refuse_object(const void* obj, const char* what) {
    std::string m = std::string(what) + (obj ? " an invalid object" : " a null object");
    raise_runtime_error(m.c_str());
}

void release_object(Runtime* rt, void* obj, Frame* f) {
    if (!obj) return;
    CClass* c = object_class(rt, obj, "Release of");
    for (CClass* k = c; k; k = k->base_class)
        if (k->destructor) run_method(rt, k->destructor, obj, f);
    free_string_fields(obj, c);
    std::free(obj);
}

void dispatch_by_hash(Runtime* rt, uint32_t hash, void* obj, Frame* f) {
    if (Instruction* m = method_in_chain(object_class(rt, obj, "Method call on"), hash)) run_method(rt, m, obj, f);
}

}  // namespace qel
