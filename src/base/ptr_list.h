// PtrList: the runtime's one growable array of 32-bit words. Three words {items, count, capacity};
// zero-filled is empty. Runtime tables are PtrLists and scripts hold them as opaque pointers.
#pragma once
#include <cstdint>

namespace qel {

struct PtrList {
    void** items;
    int32_t count;
    int32_t capacity;

    // Raise "List index out of bounds" when index is outside 0 .. count - 1.
    void* get(int32_t index) const;
    void put(int32_t index, void* item);
    void remove_at(int32_t index);

    void add(void* item);
    int32_t index_of(const void* item) const;
    int32_t remove(const void* item);
    // index may be 0 .. count; anything else raises the bounds error.
    void insert_at(int32_t index, void* item);
    void exchange(int32_t i, int32_t j);
    void clear();
    // n must not be below count; false (and nothing changed) when the memory cannot be had.
    bool set_capacity(int32_t n);

    // Unchecked access for the runtime's own loops.
    void* operator[](int32_t i) const { return items[i]; }
};
static_assert(sizeof(PtrList) == 12);

// Next capacity when a full list of the given capacity grows.
constexpr int32_t ptr_list_grow(int32_t capacity) {
    return capacity < 9 ? capacity + 4 : capacity < 65 ? capacity + 16 : capacity + capacity / 4;
}

PtrList* ptr_list_create();           // zero-filled block on the C heap
void ptr_list_destroy(PtrList* list); // frees the array and the list; null is ignored
PtrList* ptr_list_clone(const PtrList* list);

// The comparer of list_sort: a native stdcall function taking two items and a context.
using PtrCompare = int32_t(__attribute__((stdcall)) *)(void* a, void* b, void* context);

// Quicksort with the pivot taken by value from the middle; the smaller part is recursed.
// compare(a, b) returns negative, zero or positive. The sort works on a private copy of the
// items, so a comparer that throws leaves the list as it was, and one that is inconsistent
// (or changes the list) cannot make the sort read or write outside its arrays.
template <typename Compare>
void ptr_list_sort(PtrList* list, Compare compare, bool descending);

}  // namespace qel

#include "base/ptr_list_sort.inl"
