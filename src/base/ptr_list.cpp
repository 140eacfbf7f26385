#include "base/ptr_list.h"

#include <cstdlib>
#include <cstring>

#include "base/runtime_error.h"

namespace qel {

namespace {
[[noreturn]] void out_of_bounds() { raise_runtime_error("List index out of bounds"); }

void grow(PtrList& l) {
    if (l.count < l.capacity) return;
    if (!l.set_capacity(ptr_list_grow(l.capacity))) raise_runtime_error("Out of memory");
}
}  // namespace

void* PtrList::get(int32_t index) const {
    if (index < 0 || index >= count) out_of_bounds();
    return items[index];
}

void PtrList::put(int32_t index, void* item) {
    if (index < 0 || index >= count) out_of_bounds();
    items[index] = item;
}

void PtrList::remove_at(int32_t index) {
    if (index < 0 || index >= count) out_of_bounds();
    --count;
    if (index < count) std::memmove(items + index, items + index + 1, static_cast<size_t>(count - index) * sizeof(void*));
}

void PtrList::add(void* item) {
    grow(*this);
    items[count++] = item;
}

int32_t PtrList::index_of(const void* item) const {
    for (int32_t i = 0; i < count; ++i)
        if (items[i] == item) return i;
    return -1;
}

int32_t PtrList::remove(const void* item) {
    int32_t i = index_of(item);
    if (i >= 0) remove_at(i);
    return i;
}

void PtrList::insert_at(int32_t index, void* item) {
    if (index < 0 || index > count) out_of_bounds();
    grow(*this);
    if (index < count) std::memmove(items + index + 1, items + index, static_cast<size_t>(count - index) * sizeof(void*));
    items[index] = item;
    ++count;
}

void PtrList::exchange(int32_t i, int32_t j) {
    if (i < 0 || i >= count || j < 0 || j >= count) out_of_bounds();
    void* t = items[i];
    items[i] = items[j];
    items[j] = t;
}

void PtrList::clear() {
    std::free(items);
    items = nullptr;
    count = capacity = 0;
}

bool PtrList::set_capacity(int32_t n) {
    if (n == capacity) return true;
    if (n < count || static_cast<uint32_t>(n) > UINT32_MAX / sizeof(void*)) return false;
    if (n == 0) {
        std::free(items);
        items = nullptr;
        capacity = 0;
        return true;
    }
    auto* p = static_cast<void**>(std::realloc(items, static_cast<size_t>(n) * sizeof(void*)));
    if (!p) return false;
    items = p;
    capacity = n;
    return true;
}

PtrList* ptr_list_create() { return static_cast<PtrList*>(std::calloc(1, sizeof(PtrList))); }

void ptr_list_destroy(PtrList* list) {
    if (!list) return;
    std::free(list->items);
    std::free(list);
}

PtrList* ptr_list_clone(const PtrList* list) {
    PtrList* c = ptr_list_create();
    if (!c) return nullptr;
    if (list->count > 0) {
        if (!c->set_capacity(list->count)) {
            std::free(c);
            return nullptr;
        }
        std::memcpy(c->items, list->items, static_cast<size_t>(list->count) * sizeof(void*));
        c->count = list->count;
    }
    return c;
}

void** ptr_list_sort_begin(const PtrList* list) {
    size_t bytes = static_cast<size_t>(list->count) * sizeof(void*);
    auto* copy = static_cast<void**>(std::malloc(bytes));
    if (!copy) raise_runtime_error("Out of memory");
    std::memcpy(copy, list->items, bytes);
    return copy;
}

void ptr_list_sort_end(PtrList* list, void** sorted, int32_t count) {
    bool same = list->count == count && list->items;
    if (same) std::memcpy(list->items, sorted, static_cast<size_t>(count) * sizeof(void*));
    std::free(sorted);
    if (!same) raise_runtime_error("List changed while sorting");
}

void ptr_list_sort_abandon(void** sorted) { std::free(sorted); }

}  // namespace qel
