// Builder values, the two push operations, selection by name and the release of whole trees.
#include <cstdlib>
#include <cstring>

#include "formats/json_arena.h"
#include "formats/json_tree.h"

namespace qel {

const uint32_t kJsonBuilderTag = 0x4A534E42;

namespace {

json_builder_value* builder_of(json_value* v) { return reinterpret_cast<json_builder_value*>(v); }

json_value* new_value(int32_t type) {
    auto* b = static_cast<json_builder_value*>(std::calloc(1, sizeof(json_builder_value)));
    if (!b) return nullptr;
    b->value.type = type;
    b->value._reserved.object_mem = const_cast<uint32_t*>(&kJsonBuilderTag);
    b->is_builder_value = 1;
    return &b->value;
}

// Room for count elements of size bytes; null when the size does not fit or memory runs out.
void* allocate(uint64_t count, size_t size) {
    const uint64_t bytes = count * size;
    if (bytes == 0 || bytes > 0x7FFFFFFF) return nullptr;
    return std::malloc(static_cast<size_t>(bytes));
}

json_value* new_container(int32_t type, int32_t room, size_t element) {
    json_value* v = new_value(type);
    if (!v || room <= 0) return v;
    void* mem = allocate(static_cast<uint64_t>(room), element);
    if (!mem) {
        std::free(v);
        return nullptr;
    }
    v->u.array.values = static_cast<json_value**>(mem);  // the same word for objects
    builder_of(v)->additional_length_allocated = static_cast<uint32_t>(room);
    return v;
}

// One more slot in a builder container's array; false when memory runs out.
bool make_room(json_value* c, size_t element) {
    json_builder_value* b = builder_of(c);
    if (b->additional_length_allocated > 0) return true;
    const uint32_t length = c->u.array.length;
    const uint64_t capacity = length < 4 ? 4 : static_cast<uint64_t>(length) * 2;
    const uint64_t bytes = capacity * element;
    if (bytes > 0x7FFFFFFF) return false;
    void* mem = std::realloc(c->u.array.values, static_cast<size_t>(bytes));
    if (!mem) return false;
    c->u.array.values = static_cast<json_value**>(mem);
    b->additional_length_allocated = static_cast<uint32_t>(capacity - length);
    return true;
}

// Whether value may join container: a root, and not the container itself or one of its
// ancestors (which would make a cycle). Only a value with children can be an ancestor.
bool attachable(const json_value* container, int32_t type, const json_value* value) {
    if (!container || container->type != type || !json_is_builder(container)) return false;
    if (!value || value->parent) return false;
    const bool has_children =
        (value->type == kJsonObject || value->type == kJsonArray) && value->u.array.length > 0;
    if (value == container) return false;
    if (has_children)
        for (const json_value* up = container->parent; up; up = up->parent)
            if (up == value) return false;
    return true;
}

// A builder value's own blocks (its array, its names or its text) and the value itself.
void free_own(json_value* v) {
    switch (v->type) {
        case kJsonObject:
            for (uint32_t i = 0; i < v->u.object.length; ++i) std::free(v->u.object.values[i].name);
            std::free(v->u.object.values);
            break;
        case kJsonArray: std::free(v->u.array.values); break;
        case kJsonString: std::free(v->u.string.ptr); break;
        default: break;
    }
    std::free(builder_of(v));
}

void free_parsed_root(json_value* v) {
    if (JsonArena* a = json_arena_of(v); a && a->root == v) json_arena_destroy(a);
}

// Post-order walk through the parent links, each builder container's length_iterated counting
// the children visited: no stack of any kind. A parsed value met inside is the root of its own
// arena (only roots can be attached) and goes with it.
void free_tree(json_value* root) {
    json_value* v = root;
    while (v) {
        json_value* up = v == root ? nullptr : v->parent;
        if (!json_is_builder(v)) {
            free_parsed_root(v);
            v = up;
            continue;
        }
        json_builder_value* b = builder_of(v);
        if ((v->type == kJsonObject || v->type == kJsonArray) && b->length_iterated < v->u.array.length) {
            const uint32_t i = b->length_iterated++;
            json_value* child = v->type == kJsonObject ? v->u.object.values[i].value : v->u.array.values[i];
            if (child && child->parent == v) v = child;  // anything else is not this tree's to free
            continue;
        }
        free_own(v);
        v = up;
    }
}

}  // namespace

json_value* json_object_new(int32_t room) { return new_container(kJsonObject, room, sizeof(json_object_entry)); }
json_value* json_array_new(int32_t room) { return new_container(kJsonArray, room, sizeof(json_value*)); }

json_value* json_integer_new(int64_t value) {
    json_value* v = new_value(kJsonInteger);
    if (v) v->u.integer = value;
    return v;
}

json_value* json_double_new(double value) {
    json_value* v = new_value(kJsonDouble);
    if (v) v->u.dbl = value;
    return v;
}

json_value* json_boolean_new(bool value) {
    json_value* v = new_value(kJsonBoolean);
    if (v) v->u.boolean = value ? 1 : 0;
    return v;
}

json_value* json_null_new() { return new_value(kJsonNull); }

json_value* json_string_new(const WChar* text, uint32_t n) {
    auto* copy = static_cast<WChar*>(allocate(static_cast<uint64_t>(n) + 1, sizeof(WChar)));
    if (!copy) return nullptr;
    if (n) std::memcpy(copy, text, n * sizeof(WChar));
    copy[n] = 0;
    json_value* v = new_value(kJsonString);
    if (!v) {
        std::free(copy);
        return nullptr;
    }
    v->u.string.length = n;
    v->u.string.ptr = copy;
    return v;
}

bool json_array_push(json_value* array, json_value* value) {
    if (!attachable(array, kJsonArray, value) || !make_room(array, sizeof(json_value*))) return false;
    array->u.array.values[array->u.array.length++] = value;
    --builder_of(array)->additional_length_allocated;
    value->parent = array;
    return true;
}

bool json_object_push(json_value* object, const WChar* name, uint32_t n, json_value* value) {
    if (!attachable(object, kJsonObject, value) || !make_room(object, sizeof(json_object_entry))) return false;
    auto* copy = static_cast<WChar*>(allocate(static_cast<uint64_t>(n) + 1, sizeof(WChar)));
    if (!copy) return false;
    if (n) std::memcpy(copy, name, n * sizeof(WChar));
    copy[n] = 0;
    object->u.object.values[object->u.object.length++] = {copy, n, value};
    --builder_of(object)->additional_length_allocated;
    value->parent = object;
    return true;
}

json_value* json_value_select(const json_value* object, const WChar* key, uint32_t n) {
    if (!object || object->type != kJsonObject) return nullptr;
    for (uint32_t i = 0; i < object->u.object.length; ++i) {
        const json_object_entry& e = object->u.object.values[i];
        if (e.name_length == n && (n == 0 || std::memcmp(e.name, key, n * sizeof(WChar)) == 0)) return e.value;
    }
    return nullptr;
}

void json_value_free(json_value* value) {
    if (!value || value->parent) return;
    if (json_is_builder(value)) free_tree(value);
    else free_parsed_root(value);
}

}  // namespace qel
