// The json_* built-ins: parsing, selection, building, serialization into a string list, release.
#include <cstdlib>
#include <memory>

#include "formats/json_tree.h"
#include "stdlib/builtin_support.h"
#include "stdlib/string_list.h"

namespace qel {

namespace {

struct Converted {
    json_value* value;
    bool made;  // made here, or an existing value to attach
};

// A value made for a push is freed unless the push took it (also when a later pop raises).
struct Pending {
    Converted c;
    bool taken = false;
    ~Pending() {
        if (!taken && c.made) json_value_free(c.value);
    }
};

// The pushed value as a JSON value (the table of the push built-ins); Null for other kinds, for a
// null pointer and when memory runs out.
Converted pop_json(ValueStack* s) {
    Value& v = pop_slot(s);
    json_value* made = nullptr;
    switch (v.tag) {
        case kTagBool: made = json_boolean_new(v.v.i != 0); break;
        case kTagInt: made = json_integer_new(v.v.i); break;
        case kTagLong: made = json_integer_new(v.v.l); break;
        case kTagDouble: made = json_double_new(v.v.d); break;
        case kTagString: made = json_string_new(v.text.text(), v.text.length); break;
        case kTagPointer:
            if (v.v.p) return {static_cast<json_value*>(v.v.p), false};
            break;
        default: break;
    }
    return {made ? made : json_null_new(), true};
}


}  // namespace

// (text: pointer, length: int) -> pointer. A string argument is read no further than its length.
void bi_json_parse(Runtime*, Frame* f) {
    int32_t n = pop_int(f->stack);
    const bool is_string = top_tag_is(f->stack, kTagString);
    uint32_t string_length = is_string ? top_slot(f->stack).text.length : 0;
    auto* text = static_cast<const WChar*>(pop_native_pointer(f->stack));
    if (is_string && n > 0 && static_cast<uint32_t>(n) > string_length) n = static_cast<int32_t>(string_length);
    push_pointer(f->stack, text && n > 0 ? json_parse(text, static_cast<uint32_t>(n)) : nullptr);
}

// Values, options and lists handed over are read through: null is allowed where it means "none",
// the addresses no system maps are refused.
json_value* pop_value(ValueStack* s) { return static_cast<json_value*>(pop_optional(s, "JSON value")); }

void bi_json_value_free(Runtime*, Frame* f) { json_value_free(pop_value(f->stack)); }

void bi_json_builder_free(Runtime*, Frame* f) { json_value_free(pop_value(f->stack)); }

// (object: pointer, key: string) -> pointer
void bi_json_value_select(Runtime*, Frame* f) {
    WStr& key = pop_string(f->stack);
    auto* object = pop_value(f->stack);
    push_pointer(f->stack, json_value_select(object, key.text(), key.length));
}

// (kind: int, length: int) -> pointer
void bi_json_new(Runtime*, Frame* f) {
    int32_t room = pop_int(f->stack);
    int32_t kind = pop_int(f->stack);
    json_value* v = kind == kJsonObject ? json_object_new(room) : kind == kJsonArray ? json_array_new(room) : nullptr;
    push_pointer(f->stack, v);
}

// (array: pointer, value) -> pointer
void bi_json_array_push(Runtime*, Frame* f) {
    Pending v{pop_json(f->stack)};
    auto* array = pop_value(f->stack);
    v.taken = v.c.value && json_array_push(array, v.c.value);
    push_pointer(f->stack, v.taken ? array : nullptr);
}

// (object: pointer, name: string, value) -> pointer
void bi_json_object_push(Runtime*, Frame* f) {
    Pending v{pop_json(f->stack)};
    WStr& name = pop_string(f->stack);
    auto* object = pop_value(f->stack);
    v.taken = v.c.value && json_object_push(object, name.text(), name.length, v.c.value);
    push_pointer(f->stack, v.taken ? object : nullptr);
}

// (value: pointer, options: pointer, target: pointer to a string list)
void bi_json_serialize(Runtime*, Frame* f) {
    auto* target = static_cast<PtrList*>(pop_optional(f->stack, "list reference"));
    auto* options = static_cast<const json_serialize_opts*>(pop_optional(f->stack, "JSON options"));
    auto* value = pop_value(f->stack);
    if (!value || !target) return;
    const json_serialize_opts defaults{kJsonMultiline, 0, 4};
    uint32_t n = 0;
    std::unique_ptr<WChar, decltype(&std::free)> text(json_serialize(value, options ? *options : defaults, &n), &std::free);
    if (!text) raise_runtime_error("Out of memory");
    string_list_set_text(target, text.get(), n);
}

}  // namespace qel
