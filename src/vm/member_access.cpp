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

void store_member(Frame* f, void* at, char code) {
    ValueStack* s = f->stack;
    switch (code) {
        case 'b': *static_cast<uint8_t*>(at) = pop_bool(s) ? 1 : 0; break;
        case 'c':
        case 'm': *static_cast<uint16_t*>(at) = static_cast<uint16_t>(pop_int(s)); break;
        case 'e': *static_cast<uint8_t*>(at) = static_cast<uint8_t>(pop_int(s)); break;
        case 'i':
        case 'n': *static_cast<int32_t*>(at) = pop_int(s); break;
        case 'p': *static_cast<void**>(at) = pop_pointer(s); break;
        case 'l': *static_cast<int64_t*>(at) = pop_long(s); break;
        case 'd': *static_cast<double*>(at) = pop_double(s); break;
        case 'f': *static_cast<float*>(at) = static_cast<float>(pop_double(s)); break;
        case 's': {
            WStr& text = pop_string(s);
            WStr*& field = *static_cast<WStr**>(at);
            if (!field) field = wstr_new();
            field->assign(text);
            break;
        }
        case 't': *static_cast<PMethod*>(at) = pop_method(s); break;
        default: break;
    }
}

void load_member(Frame* f, const void* at, char code) {
    ValueStack* s = f->stack;
    switch (code) {
        case 'b': push_bool(s, *static_cast<const uint8_t*>(at) != 0); break;
        case 'c': push_int(s, *static_cast<const uint16_t*>(at)); break;
        case 'm': push_int(s, *static_cast<const int16_t*>(at)); break;
        case 'e': push_int(s, *static_cast<const int8_t*>(at)); break;
        case 'i':
        case 'n': push_int(s, *static_cast<const int32_t*>(at)); break;
        case 'p': push_pointer(s, *static_cast<void* const*>(at)); break;
        case 'l': push_long(s, *static_cast<const int64_t*>(at)); break;
        case 'd': push_double(s, *static_cast<const double*>(at)); break;
        case 'f': push_double(s, *static_cast<const float*>(at)); break;
        case 's': {
            const WStr* field = *static_cast<WStr* const*>(at);
            if (field) push_string(s, *field);
            else push_string(s, kEmptyText);
            break;
        }
        case 't': {
            const PMethod* m = static_cast<const PMethod*>(at);
            push_method(s, m->Method, m->Target);
            break;
        }
        default: break;
    }
}

namespace {

const CClass* start_class(const void* obj, const CClass* cls) { return cls ? cls : (obj ? class_of(obj) : nullptr); }

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
    if (store) store_member(f, at, code);
    else load_member(f, at, code);
}

void field_access(void* obj, const CClass* cls, const WStr& name, Frame* f, bool store) {
    const CClass* c = start_class(obj, cls);
    if (!obj || !c) return;
    platform::AnsiName n(name);
    if (!n.text) return;
    if (CMember* m = find_field(c, n.text); m && m->address >= 0)
        move_member(f, static_cast<char*>(obj) + m->address, static_cast<char>(m->type), store);
}

void property_access(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f, bool store) {
    const CClass* c = start_class(obj, cls);
    if (!obj || !c) return;
    platform::AnsiName n(name);
    if (!n.text) return;
    CMember* p = find_property(c, n.text, store);
    if (!p) return;
    if (store) store_property(rt, obj, p, f);
    else load_property(rt, obj, p, f);
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

void set_field_by_name(Runtime*, void* obj, const CClass* cls, const WStr& name, Frame* f) { field_access(obj, cls, name, f, true); }
void get_field_by_name(Runtime*, void* obj, const CClass* cls, const WStr& name, Frame* f) { field_access(obj, cls, name, f, false); }

void set_property_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f) {
    property_access(rt, obj, cls, name, f, true);
}

void get_property_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f) {
    property_access(rt, obj, cls, name, f, false);
}

bool is_published(const void* obj, const char* name) {
    if (!obj) return false;
    CMember* p = property_in_chain(class_of(obj), name);
    return p && p->access == kAccessPublished;
}

}  // namespace qel
