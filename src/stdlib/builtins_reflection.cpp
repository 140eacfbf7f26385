// Reflection over the descriptors (enums, fields, properties, layout and release of a class),
// the image's named resources, and the refresh of the locale and system information.
#include <cstdlib>
#include <cstring>
#include <string>

#include "types/system_records.h"
#include "image/instruction.h"
#include "platform/ansi_name.h"
#include "platform/ansi_name.h"
#include "stdlib/builtin_support.h"
#include "types/class_registry.h"
#include "vm/member_access.h"

namespace qel {

namespace {
}  // namespace

// ---- enums ------------------------------------------------------------------------------------

void bi_EnumInfo(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    platform::AnsiName name(top_string(f->stack));
    set_pointer(v, enum_by_name(rt->program.enums, name.text));
}

// Writes the value of the named member through out (an int variable or field); a name that the
// enum does not have, or no enum at all, leaves out as it was.
void bi_enum_value(Runtime* rt, Frame* f) {
    auto* out = static_cast<int32_t*>(pop_pointer(f->stack));
    WStr& text = pop_string(f->stack);
    const auto* info = static_cast<const CEnum*>(pop_pointer(f->stack));
    check_reference(out, "int reference");
    if (!info || !info->members) return;
    platform::AnsiName name(text);
    for (int32_t i = 0; i < info->members->count; ++i) {
        const auto* m = static_cast<const CEnumMember*>((*info->members)[i]);
        if (m && m->name && std::strcmp(m->name, name.text) == 0) {
            *out = m->value;
            return;
        }
    }
}

// ---- members and layout -----------------------------------------------------------------------

void bi_class_search_field(Runtime* rt, Frame* f) {
    WStr& text = pop_string(f->stack);
    const auto* cls = pop_class(rt, f->stack);
    CMember* found = nullptr;
    if (cls) {
        platform::AnsiName name(text);
        found = find_field(cls, name.text);
    }
    push_pointer(f->stack, found);
}

// The property that a read by name would use; when no class in the chain has a readable one,
// the property that a write by name would use. So every property with an accessor is found.
void bi_class_search_prop(Runtime* rt, Frame* f) {
    WStr& text = pop_string(f->stack);
    const auto* cls = pop_class(rt, f->stack);
    CMember* found = nullptr;
    if (cls) {
        platform::AnsiName name(text);
        found = find_property(cls, name.text, false);
        if (!found) found = find_property(cls, name.text, true);
    }
    push_pointer(f->stack, found);
}

// Lays the class out again (field addresses and size). Internal classes have no layout and are
// left as they are, as at load.
void bi_class_calc_size(Runtime* rt, Frame* f) {
    auto* cls = pop_class(rt, f->stack);
    if (!cls) raise_runtime_error("Class info not found!");
    if (cls->internal_class) return;
    std::string error;
    if (!layout_class(cls, &error)) raise_runtime_error(error.c_str());
}

namespace {
bool member_in(const PtrList* list, const void* member) {
    if (!list) return false;
    for (int32_t i = 0; i < list->count; ++i)
        if ((*list)[i] == member) return true;
    return false;
}

// Property accessors of registered classes that read or write a field of the finalized class
// would point at freed descriptors: they become accessors of nothing (type None), which member
// access by name passes over.
void unbind_accessors_to(const PtrList& registry, const PtrList* fields) {
    for (int32_t i = 0; i < registry.count; ++i) {
        auto* c = static_cast<CClass*>(registry[i]);
        if (!c->properties) continue;
        for (int32_t k = 0; k < c->properties->count; ++k) {
            auto* p = static_cast<CMember*>((*c->properties)[k]);
            for (CPropAttrib* a : {p->read, p->write}) {
                if (a && a->type == kPropField && member_in(fields, a->ptr)) {
                    a->type = kPropNone;
                    a->ptr = nullptr;
                }
            }
        }
    }
}
}  // namespace

// Frees what the descriptor owns: its field descriptors and list (with the list of string fields,
// whose members are the same descriptors), its properties with their accessors and defaults, its
// method list (the method records belong to the code store) and its name. The descriptor itself
// stays valid for everything that still points at it (objects, the registry, other members'
// type info): the lists become null (no members, no methods), the name an empty text of its own,
// and accessors elsewhere that pointed at its fields are unbound. Hash, size, base class,
// constructor and destructor are kept. Finalizing twice does nothing more.
void bi_class_finalize(Runtime* rt, Frame* f) {
    auto* cls = pop_class(rt, f->stack);
    if (!cls) return;
    unbind_accessors_to(rt->program.classes, cls->fields);
    release_class_contents(cls);
    cls->name = static_cast<char*>(std::calloc(1, 1));
}

// ---- resources --------------------------------------------------------------------------------

void bi_LoadRes(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    platform::AnsiName name(top_string(f->stack));
    set_pointer(v, rt->program.code.resource(name.text));
}

namespace {
// The byte block argument of CreateRes.
struct ByteBlock {
    const uint8_t* data;
    uint32_t count;
};
}  // namespace

// Sets the data of the named resource to a copy of the block, appending a resource when none
// has that name; returns the record. The new data is copied before the old data is freed, so a
// block that lies in the resource's own data is copied intact. When the memory cannot be had,
// the result is 0 and the resources are as they were.
void bi_CreateRes(Runtime* rt, Frame* f) {
    const auto* block = static_cast<const ByteBlock*>(pop_pointer(f->stack));
    WStr& text = pop_string(f->stack);
    if (!block) raise_runtime_error("Null pointer passed to CreateRes");
    ByteBlock b;
    std::memcpy(&b, block, sizeof b);
    if (b.count && !b.data) raise_runtime_error("Null pointer passed to CreateRes");
    platform::AnsiName name(text);
    auto* data = static_cast<uint8_t*>(std::malloc(b.count ? b.count : 1));
    if (!data) {
        push_pointer(f->stack, nullptr);
        return;
    }
    if (b.count) std::memcpy(data, b.data, b.count);
    CodeStore& code = rt->program.code;
    ResourceRec* rec = code.resource(name.text);
    if (!rec) {
        rec = static_cast<ResourceRec*>(std::calloc(1, sizeof(ResourceRec)));
        char* copy = rec ? strdup(name.text) : nullptr;
        if (!copy) {
            std::free(rec);
            std::free(data);
            push_pointer(f->stack, nullptr);
            return;
        }
        rec->name = copy;
        try {
            code.resources.add(rec);
        } catch (...) {
            std::free(copy);
            std::free(rec);
            std::free(data);
            throw;
        }
    }
    std::free(rec->data);
    rec->data = data;
    rec->size = b.count;
    push_pointer(f->stack, rec);
}

}  // namespace qel
