// Built-ins over pointer lists, hash lists and bit sets. Scripts hold a list as an opaque
// pointer to a PtrList; the arguments arrive last-first.
#include "stdlib/builtin_support.h"
#include "vm/objects.h"
#include "base/hash_list.h"
#include "base/ptr_list.h"
#include "types/descriptors.h"

namespace qel {

namespace {

// The bit of a set that a bit number names: only its low five bits count.
uint32_t bit_of(int32_t bit) { return 1u << (static_cast<uint32_t>(bit) & 31u); }

// The set of SetAdd and SetRemove: exactly an int, rewritten in place.
Value& set_slot(ValueStack* s) {
    Value& v = top_slot(s);
    if (v.tag != kTagInt) conversion_error(v.tag, "int");
    return v;
}

}  // namespace

void bi_list_create(Runtime* rt, Frame* f) {
    PtrList* list = ptr_list_create();
    if (!list) raise_runtime_error("Out of memory");
    push_pointer(f->stack, list);
}

void bi_list_free(Runtime* rt, Frame* f) { ptr_list_destroy(static_cast<PtrList*>(pop_optional(f->stack, "list reference"))); }

void bi_list_clear(Runtime* rt, Frame* f) { pop_list(f->stack)->clear(); }

void bi_list_clear_objects(Runtime* rt, Frame* f) { clear_objects(rt, *pop_list(f->stack), f); }

void bi_list_clear_items(Runtime* rt, Frame* f) {
    auto* item_class = pop_class(rt, f->stack);
    clear_items(rt, *pop_list(f->stack), item_class, f);
}

void bi_list_add(Runtime* rt, Frame* f) {
    void* item = pop_pointer(f->stack);
    pop_list(f->stack)->add(item);
}

void bi_list_insert(Runtime* rt, Frame* f) {
    void* item = pop_pointer(f->stack);
    int32_t index = pop_int(f->stack);
    pop_list(f->stack)->insert_at(index, item);
}

void bi_list_set(Runtime* rt, Frame* f) {
    void* item = pop_pointer(f->stack);
    int32_t index = pop_int(f->stack);
    pop_list(f->stack)->put(index, item);
}

void bi_list_get(Runtime* rt, Frame* f) {
    int32_t index = pop_int(f->stack);
    void* item = pop_list(f->stack)->get(index);
    push_pointer(f->stack, item);
}

void bi_list_indexof(Runtime* rt, Frame* f) {
    void* item = pop_pointer(f->stack);
    int32_t index = pop_list(f->stack)->index_of(item);
    push_int(f->stack, index);
}

void bi_list_remove(Runtime* rt, Frame* f) {
    void* item = pop_pointer(f->stack);
    int32_t index = pop_list(f->stack)->remove(item);
    push_int(f->stack, index);
}

void bi_list_delete(Runtime* rt, Frame* f) {
    int32_t index = pop_int(f->stack);
    pop_list(f->stack)->remove_at(index);
}

void bi_list_exchange(Runtime* rt, Frame* f) {
    int32_t j = pop_int(f->stack);
    int32_t i = pop_int(f->stack);
    pop_list(f->stack)->exchange(i, j);
}

void bi_list_clone(Runtime* rt, Frame* f) {
    PtrList* copy = ptr_list_clone(pop_list(f->stack));
    if (!copy) raise_runtime_error("Out of memory");
    push_pointer(f->stack, copy);
}

void bi_list_sort(Runtime* rt, Frame* f) {
    void* context = pop_pointer(f->stack);
    bool descending = pop_int(f->stack) != 0;
    auto compare = reinterpret_cast<PtrCompare>(pop_pointer(f->stack));
    PtrList* list = pop_list(f->stack);
    if (list->count < 2) return;
    if (!compare) raise_runtime_error("Null comparer");
    ptr_list_sort(list, [compare, context](void* a, void* b) { return compare(a, b, context); }, descending);
}

void bi_hash_list_add(Runtime* rt, Frame* f) {
    WStr& text = ref_string(pop_pointer(f->stack));
    hash_add(pop_list(f->stack), text);
}

void bi_hash_list_remove(Runtime* rt, Frame* f) {
    WStr& text = ref_string(pop_pointer(f->stack));
    hash_remove(pop_list(f->stack), text);
}

void bi_hash_list_indexof(Runtime* rt, Frame* f) {
    WStr& text = ref_string(pop_pointer(f->stack));
    int32_t index = hash_index_of(pop_list(f->stack), text);
    push_int(f->stack, index);
}

void bi_SetAdd(Runtime* rt, Frame* f) {
    int32_t bit = pop_int(f->stack);
    Value& set = set_slot(f->stack);
    set.v.u |= bit_of(bit);
}

void bi_SetRemove(Runtime* rt, Frame* f) {
    int32_t bit = pop_int(f->stack);
    Value& set = set_slot(f->stack);
    set.v.u &= ~bit_of(bit);
}

void bi_SetContains(Runtime* rt, Frame* f) {
    int32_t bit = pop_int(f->stack);
    uint32_t set = static_cast<uint32_t>(pop_int(f->stack));
    push_bool(f->stack, (set & bit_of(bit)) != 0);
}

}  // namespace qel
