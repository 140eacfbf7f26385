// Built-ins over string lists. A script holds the list as a pointer; text arguments marked ref
// arrive as addresses of string variables or fields (read for input, assigned for output).
#include "stdlib/builtin_support.h"
#include "stdlib/string_list.h"

namespace qel {

namespace {

WStr& pop_ref(ValueStack* s) { return ref_string(pop_pointer(s)); }

// A ref argument's text copied aside: the referenced string may be one of the list's own lines.
struct TextCopy {
    WStr text{};
    explicit TextCopy(const WStr& from) {
        text.assign(from);
        if (text.length != from.length) raise_runtime_error("Out of memory");
    }
    TextCopy(const TextCopy&) = delete;
    TextCopy& operator=(const TextCopy&) = delete;
    ~TextCopy() { text.clear(); }
};

}  // namespace

void bi_strings_add(Runtime* rt, Frame* f) {
    WStr& text = pop_ref(f->stack);
    PtrList* list = pop_list(f->stack);
    string_list_add(list, text.buffer, text.length, nullptr);
}

void bi_strings_add_object(Runtime* rt, Frame* f) {
    void* object = pop_pointer(f->stack);
    WStr& text = pop_ref(f->stack);
    PtrList* list = pop_list(f->stack);
    string_list_add(list, text.buffer, text.length, object);
}

void bi_strings_insert(Runtime* rt, Frame* f) {
    WStr& text = pop_ref(f->stack);
    int32_t index = pop_int(f->stack);
    string_list_insert(pop_list(f->stack), index, text);
}

void bi_strings_get(Runtime* rt, Frame* f) {
    void* out = pop_pointer(f->stack);
    int32_t index = pop_int(f->stack);
    StrItem* item = string_list_item(pop_list(f->stack), index);
    ref_string(out).assign(item->text);
}

void bi_strings_set(Runtime* rt, Frame* f) {
    WStr& text = pop_ref(f->stack);
    int32_t index = pop_int(f->stack);
    string_list_item(pop_list(f->stack), index)->text.assign(text);
}

void bi_strings_get_object(Runtime* rt, Frame* f) {
    int32_t index = pop_int(f->stack);
    StrItem* item = string_list_item(pop_list(f->stack), index);
    push_pointer(f->stack, item->object);
}

void bi_strings_set_object(Runtime* rt, Frame* f) {
    void* object = pop_pointer(f->stack);
    int32_t index = pop_int(f->stack);
    string_list_item(pop_list(f->stack), index)->object = object;
}

void bi_strings_get_str_data(Runtime* rt, Frame* f) {
    int32_t index = pop_int(f->stack);
    StrItem* item = string_list_item(pop_list(f->stack), index);
    push_pointer(f->stack, item);
}

void bi_strings_delete(Runtime* rt, Frame* f) {
    int32_t index = pop_int(f->stack);
    string_list_delete(pop_list(f->stack), index);
}

void bi_strings_clear(Runtime* rt, Frame* f) { string_list_clear(pop_list(f->stack)); }

void bi_strings_free(Runtime* rt, Frame* f) { string_list_free(static_cast<PtrList*>(pop_optional(f->stack, "list reference"))); }

void bi_strings_indexof(Runtime* rt, Frame* f) {
    WStr& text = pop_ref(f->stack);
    int32_t index = string_list_index_of(pop_list(f->stack), text);
    push_int(f->stack, index);
}

void bi_strings_indexof_object(Runtime* rt, Frame* f) {
    void* object = pop_pointer(f->stack);
    int32_t index = string_list_index_of_object(pop_list(f->stack), object);
    push_int(f->stack, index);
}

void bi_strings_indexof_name(Runtime* rt, Frame* f) {
    WStr& name = pop_ref(f->stack);
    int32_t index = string_list_index_of_name(pop_list(f->stack), name);
    push_int(f->stack, index);
}

void bi_strings_values_get(Runtime* rt, Frame* f) {
    void* out = pop_pointer(f->stack);
    WStr& name = pop_ref(f->stack);
    PtrList* list = pop_list(f->stack);
    TextCopy key(name);  // out may be the very variable that holds the name
    string_list_value(list, key.text, ref_string(out));
}

void bi_strings_values_set(Runtime* rt, Frame* f) {
    WStr& value = pop_ref(f->stack);
    WStr& name = pop_ref(f->stack);
    string_list_set_value(pop_list(f->stack), name, value);
}

void bi_strings_name_from_index(Runtime* rt, Frame* f) {
    void* out = pop_pointer(f->stack);
    int32_t index = pop_int(f->stack);
    string_list_name_at(pop_list(f->stack), index, ref_string(out));
}

void bi_strings_value_from_index(Runtime* rt, Frame* f) {
    void* out = pop_pointer(f->stack);
    int32_t index = pop_int(f->stack);
    string_list_value_at(pop_list(f->stack), index, ref_string(out));
}

void bi_strings_get_text(Runtime* rt, Frame* f) {
    void* out = pop_pointer(f->stack);
    string_list_text(pop_list(f->stack), ref_string(out));
}

void bi_strings_set_text(Runtime* rt, Frame* f) {
    WStr& text = pop_ref(f->stack);
    string_list_set_text(pop_list(f->stack), text.buffer, text.length);
}

void bi_strings_set_text_with_lb(Runtime* rt, Frame* f) {
    WStr& separator = pop_string(f->stack);
    WStr& text = pop_ref(f->stack);
    string_list_split(pop_list(f->stack), text.buffer, text.length, separator);
}

void bi_strings_sort(Runtime* rt, Frame* f) {
    bool descending = pop_int(f->stack) != 0;
    bool case_sensitive = pop_bool(f->stack);
    string_list_sort(pop_list(f->stack), case_sensitive, descending);
}

void bi_strings_load_from_file(Runtime* rt, Frame* f) {
    WStr& name = pop_ref(f->stack);
    PtrList* list = pop_list(f->stack);
    TextCopy path(name);  // loading replaces the lines, and the name may be one of them
    push_bool(f->stack, string_list_load_file(list, path.text.text()));
}

void bi_strings_load_from_stream(Runtime* rt, Frame* f) {
    int32_t size = pop_int(f->stack);
    auto* data = static_cast<const uint8_t*>(pop_pointer(f->stack));
    PtrList* list = pop_list(f->stack);
    if (size < 0 || (size > 0 && !data)) raise_runtime_error("Invalid stream data");
    if (!string_list_decode(list, data, size)) raise_runtime_error("Cannot decode the text");
}

void bi_strings_save_to_file(Runtime* rt, Frame* f) {
    bool write_bom = pop_bool(f->stack);
    int32_t encoding = pop_int(f->stack);
    WStr& name = pop_ref(f->stack);
    PtrList* list = pop_list(f->stack);
    push_bool(f->stack, string_list_save_file(list, name.text(), encoding, write_bom));
}

void bi_strings_load_compressed_from_file(Runtime* rt, Frame* f) {
    WStr& name = pop_ref(f->stack);
    PtrList* list = pop_list(f->stack);
    TextCopy path(name);
    string_list_load_compressed(list, path.text.text());
}

void bi_strings_save_compressed_to_file(Runtime* rt, Frame* f) {
    WStr& name = pop_ref(f->stack);
    string_list_save_compressed(pop_list(f->stack), name.text());
}

}  // namespace qel
