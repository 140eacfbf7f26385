#include "types/class_registry.h"

#include <cstdlib>
#include <cstring>

#include "base/name_hash.h"

namespace qel {

CClass* class_by_hash(const PtrList& registry, uint32_t hash) {
    for (int32_t i = 0; i < registry.count; ++i) {
        auto* c = static_cast<CClass*>(registry[i]);
        if (c->hash == hash) return c;
    }
    return nullptr;
}

CClass* class_by_name(const PtrList& registry, const char* name) { return class_by_hash(registry, name_hash(name)); }

bool has_base(const char* name, const char* base) { return base[0] != '[' && std::strcmp(name, "object") != 0; }

CClass* add_class(PtrList& registry, const char* name, const char* base, bool is_struct, bool internal) {
    auto* c = static_cast<CClass*>(std::calloc(1, sizeof(CClass)));
    c->fields = ptr_list_create();
    c->name = strdup(name);
    c->hash = name_hash(name);
    if (has_base(name, base)) c->base_class = class_by_name(registry, base);
    c->is_struct = is_struct;
    c->internal_class = internal;
    c->class_type = kClassTypeObject;
    registry.add(c);
    return c;
}

namespace {
CMember* member_in(const PtrList* list, const char* name) {
    if (!list) return nullptr;
    for (int32_t i = 0; i < list->count; ++i) {
        auto* m = static_cast<CMember*>((*list)[i]);
        if (std::strcmp(m->name, name) == 0) return m;
    }
    return nullptr;
}
}  // namespace

CMember* field_of(const CClass* c, const char* name) { return member_in(c->fields, name); }

CMember* field_in_chain(const CClass* c, const char* name) {
    for (; c; c = c->base_class)
        if (CMember* m = member_in(c->fields, name)) return m;
    return nullptr;
}

CMember* property_of(const CClass* c, const char* name) { return member_in(c->properties, name); }

CMember* property_in_chain(const CClass* c, const char* name) {
    for (; c; c = c->base_class)
        if (CMember* m = member_in(c->properties, name)) return m;
    return nullptr;
}

Instruction* method_in_chain(const CClass* c, uint32_t short_hash) {
    for (; c; c = c->base_class) {
        const PtrList* methods = c->methods;
        if (!methods) continue;
        for (int32_t i = 0; i < methods->count; ++i) {
            auto* m = static_cast<MethodRecord*>((*methods)[i]);
            if (m->name_hash == short_hash) return m->line;
        }
    }
    return nullptr;
}

Instruction* method_in_chain(const CClass* c, const char* short_name) { return method_in_chain(c, name_hash(short_name)); }

Instruction* method_in_chain(const CClass* c, const WStr& short_name) {
    return method_in_chain(c, name_hash(short_name.text(), short_name.length));
}

bool is_a(const CClass* c, const char* name) {
    uint32_t h = name_hash(name);
    for (; c; c = c->base_class)
        if (c->hash == h) return true;
    return false;
}

bool is_a(const CClass* c, const CClass* other) {
    for (; c; c = c->base_class)
        if (c == other) return true;
    return false;
}

bool layout_class(CClass* c, std::string* error) {
    const int32_t base_size = c->base_class ? c->base_class->size : 0;
    if (!c->fields || c->fields->count == 0) {
        c->size = base_size;
        return true;
    }
    int64_t offset = base_size;
    int32_t largest = 0;
    for (int32_t i = 0; i < c->fields->count; ++i) {
        auto* f = static_cast<CMember*>((*c->fields)[i]);
        const int32_t element = size_of_code(static_cast<char>(f->type));
        int64_t field_size;
        if (f->array_length == 0) {
            field_size = element;
        } else if (f->array_length == -1) {
            auto* inner = f->kind == kMemberObject ? static_cast<CClass*>(f->info) : nullptr;
            if (!inner) {
                if (error) *error = std::string("embedded member '") + f->name + "' of '" + c->name + "' names no class or struct";
                return false;
            }
            field_size = inner->size;
        } else {
            field_size = static_cast<int64_t>(f->array_length) * element;
        }
        int32_t align = element > 8 || element == 0 ? 1 : element;
        if (align > largest) largest = align;
        if (offset % align) offset += align - offset % align;
        f->address = static_cast<int32_t>(offset);
        offset += field_size;
        if (offset > 0x3FFFFFFF) {
            if (error) *error = std::string("class '") + c->name + "' is too large";
            return false;
        }
    }
    if (largest > 1 && offset % largest) offset += largest - offset % largest;
    c->size = static_cast<int32_t>(offset);
    return true;
}

bool layout_all(PtrList& registry, std::string* error) {
    for (int32_t i = 0; i < registry.count; ++i) {
        auto* c = static_cast<CClass*>(registry[i]);
        if (!c->internal_class && !layout_class(c, error)) return false;
    }
    return true;
}

namespace {
void bind_accessor(const CClass* c, CPropAttrib* a) {
    if (!a) return;
    if (CMember* f = field_in_chain(c, a->name)) {
        a->type = kPropField;
        a->ptr = f;
    } else {
        a->type = kPropMethod;
        a->ptr = method_in_chain(c, a->name);
    }
}
}  // namespace

void bind_accessors(PtrList& classes) {
    CClass* meta = class_by_name(classes, "CClass");
    for (int32_t i = 0; i < classes.count; ++i) static_cast<CClass*>(classes[i])->class_info = meta;
    for (int32_t i = 0; i < classes.count; ++i) {
        auto* c = static_cast<CClass*>(classes[i]);
        if (c->internal_class || !c->properties) continue;
        for (int32_t k = 0; k < c->properties->count; ++k) {
            auto* p = static_cast<CMember*>((*c->properties)[k]);
            bind_accessor(c, p->read);
            bind_accessor(c, p->write);
        }
    }
}

namespace {
void free_accessor(CPropAttrib* a) {
    if (!a) return;
    std::free(a->name);
    std::free(a);
}

void free_members(PtrList*& list, bool properties) {
    if (!list) return;
    for (int32_t i = 0; i < list->count; ++i) {
        auto* m = static_cast<CMember*>((*list)[i]);
        if (!m) continue;
        std::free(m->name);
        if (properties) {
            free_accessor(m->read);
            free_accessor(m->write);
            std::free(m->default_value);
        }
        std::free(m);
    }
    ptr_list_destroy(list);
    list = nullptr;
}
}  // namespace

void release_class_contents(CClass* c) {
    free_members(c->fields, false);
    ptr_list_destroy(c->ofields);  // the same descriptors as some of the fields
    c->ofields = nullptr;
    free_members(c->properties, true);
    ptr_list_destroy(c->methods);  // the method records belong to the code store
    c->methods = nullptr;
    std::free(c->name);
    c->name = nullptr;
}

void release_class(CClass* c) {
    release_class_contents(c);
    std::free(c);
}

void ClassIndex::build(const PtrList& registry) {
    release();
    uint32_t n = 16;
    while (n < static_cast<uint32_t>(registry.count) * 2) n *= 2;
    slots = static_cast<const CClass**>(std::calloc(n, sizeof(CClass*)));
    names = static_cast<const CClass**>(std::calloc(n, sizeof(CClass*)));
    if (!slots || !names) {
        release();
        return;
    }
    mask = n - 1;
    for (int32_t i = 0; i < registry.count; ++i) {
        auto* c = static_cast<const CClass*>(registry[i]);
        uint32_t at = slot_of(c);
        while (slots[at] && slots[at] != c) at = (at + 1) & mask;
        slots[at] = c;
        at = (c->hash * 2654435761u) & mask;
        while (names[at] && names[at]->hash != c->hash) at = (at + 1) & mask;
        if (!names[at]) names[at] = c;  // the first class of a hash is the one lookups find
    }
}

CClass* ClassIndex::by_hash(uint32_t hash) const {
    if (!names) return nullptr;
    for (uint32_t at = (hash * 2654435761u) & mask; names[at]; at = (at + 1) & mask)
        if (names[at]->hash == hash) return const_cast<CClass*>(names[at]);
    return nullptr;
}

CClass* ClassIndex::by_name(const char* name) const { return by_hash(name_hash(name)); }

void ClassIndex::release() {
    std::free(slots);
    std::free(names);
    slots = names = nullptr;
    mask = 0;
}

void release_classes(PtrList& registry) {
    for (int32_t i = 0; i < registry.count; ++i) release_class(static_cast<CClass*>(registry[i]));
    registry.clear();
}

CType* type_by_name(const PtrList& types, const char* name) {
    for (int32_t i = 0; i < types.count; ++i) {
        auto* t = static_cast<CType*>(types[i]);
        if (std::strcmp(t->name, name) == 0) return t;
    }
    return nullptr;
}

CEnum* enum_by_name(const PtrList& enums, const char* name) {
    for (int32_t i = 0; i < enums.count; ++i) {
        auto* e = static_cast<CEnum*>(enums[i]);
        if (std::strcmp(e->name, name) == 0) return e;
    }
    return nullptr;
}

void release_types(PtrList& types) {
    for (int32_t i = 0; i < types.count; ++i) {
        auto* t = static_cast<CType*>(types[i]);
        std::free(t->name);
        std::free(t);
    }
    types.clear();
}

void release_enums(PtrList& enums) {
    for (int32_t i = 0; i < enums.count; ++i) {
        auto* e = static_cast<CEnum*>(enums[i]);
        if (e->members) {
            for (int32_t k = 0; k < e->members->count; ++k) {
                auto* m = static_cast<CEnumMember*>((*e->members)[k]);
                std::free(m->name);
                std::free(m);
            }
        }
        ptr_list_destroy(e->members);
        std::free(e->name);
        std::free(e);
    }
    enums.clear();
}

}  // namespace qel
