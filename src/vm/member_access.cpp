#include "vm/member_access.h"

#include <cstdlib>
#include <cstring>

#include "image/instruction.h"
#include "base/name_hash.h"
#include "platform/ansi_name.h"
#include "types/class_registry.h"
#include "vm/objects.h"
#include "vm/interpreter.h"
#include "vm/stack_ops.h"

namespace qel {

CMember* find_field(const CClass* c, const char* name) {
    for (; c; c = c->base_class) {
        if (CMember* m = field_of(c, name)) return m;
        if (c->is_struct) return nullptr;
    }
    return nullptr;
}

CMember* find_property(const CClass* c, const char* name, bool for_write) {
    for (; c; c = c->base_class) {
        CMember* m = property_of(c, name);
        if (m && (for_write ? m->write : m->read)) return m;
    }
    return nullptr;
}

namespace {

// The class a search starts at: the one given (a class of the program), or the object's own.
const CClass* start_class(Runtime* rt, const void* obj, const CClass* cls) {
    if (!obj) return nullptr;
    if (!cls) return object_class(rt, obj, "Member access on");
    if (invalid_address(obj)) refuse_object(obj, "Member access on");
    if (!rt->program.class_index.has(cls)) raise_runtime_error("Class info not found!");
    return cls;
}

// A method accessor: the method itself when it is plain, else dispatched from the object's class.
void run_accessor(Runtime* rt, const CPropAttrib* a, void* obj, Frame* f) {
    auto* header = static_cast<Instruction*>(a->ptr);
    if (header && header->method()->modifier == 0) {
        run_method(rt, header, obj, f);
    } else {
        dispatch_by_hash(rt, name_hash(a->name), obj, f);
    }
}
}  // namespace

namespace {
void move_member(Frame* f, void* at, char code, bool store) {
    if (store) store_cell(f->stack, at, code);
    else load_cell(f->stack, at, code);
}

void field_access(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f, bool store) {
    const CClass* c = start_class(rt, obj, cls);
    if (!obj || !c) return;
    platform::AnsiName n(name);
    if (!n.text) return;
    if (CMember* m = find_field(c, n.text); m && m->address >= 0)
        move_member(f, static_cast<char*>(obj) + m->address, static_cast<char>(m->type), store);
}

bool through_accessor(Runtime* rt, void* obj, const CMember* p, Frame* f, bool store);

void property_access(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f, bool store) {
    const CClass* c = start_class(rt, obj, cls);
    if (!obj || !c) return;
    platform::AnsiName n(name);
    if (!n.text) return;
    CMember* p = find_property(c, n.text, store);
    if (!p) return;
    through_accessor(rt, obj, p, f, store);
}

bool through_accessor(Runtime* rt, void* obj, const CMember* p, Frame* f, bool store) {
    const CPropAttrib* a = store ? p->write : p->read;
    if (!obj || !a) return false;
    if (a->type == kPropField) {
        auto* field = static_cast<CMember*>(a->ptr);
        if (field->address < 0) return false;
        move_member(f, static_cast<char*>(obj) + field->address, static_cast<char>(p->type), store);
        return true;
    }
    if (a->type == kPropMethod) {
        run_accessor(rt, a, obj, f);
        return true;
    }
    return false;
}
}  // namespace

bool load_property(Runtime* rt, void* obj, const CMember* p, Frame* f) { return through_accessor(rt, obj, p, f, false); }
bool store_property(Runtime* rt, void* obj, const CMember* p, Frame* f) { return through_accessor(rt, obj, p, f, true); }

void set_field_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f) {
    field_access(rt, obj, cls, name, f, true);
}
void get_field_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f) {
    field_access(rt, obj, cls, name, f, false);
}

void set_property_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f) {
    property_access(rt, obj, cls, name, f, true);
}

void get_property_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f) {
    property_access(rt, obj, cls, name, f, false);
}

bool is_published(Runtime* rt, const void* obj, const char* name) {
    if (!obj) return false;
    CMember* p = property_in_chain(object_class(rt, obj, "Member access on"), name);
    return p && p->access == kAccessPublished;
}

}  // namespace qel
