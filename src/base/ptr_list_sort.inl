// The list quicksort, shared by list_sort (native comparer) and strings_sort (built-in comparers).
#pragma once

namespace qel {

// A malloc'ed copy of the list's items (raises "Out of memory" when it cannot be had), and the
// write-back of the sorted copy, which also frees it. The write-back raises when the comparer
// changed the number of elements meanwhile.
void** ptr_list_sort_begin(const PtrList* list);
void ptr_list_sort_end(PtrList* list, void** sorted, int32_t count);
// Frees the copy when the comparer left by an exception.
void ptr_list_sort_abandon(void** sorted);

namespace detail {

// One range lo .. hi: Hoare partition around the middle element's value; recursion on the
// smaller part, iteration on the larger one. The scans stop at the range ends, which a
// consistent comparer never reaches anyway (the pivot stops them), so the order produced is the
// classic one, and an inconsistent comparer cannot run them off the array.
template <typename Compare>
void ptr_list_sort_range(void** a, int32_t lo, int32_t hi, Compare& compare, bool descending) {
    while (lo < hi) {
        void* pivot = a[static_cast<uint32_t>(lo + hi) >> 1];
        int32_t i = lo, j = hi;
        do {
            if (!descending) {
                while (i < hi && compare(pivot, a[i]) > 0) ++i;
                while (j > lo && compare(pivot, a[j]) < 0) --j;
            } else {
                while (i < hi && compare(a[i], pivot) > 0) ++i;
                while (j > lo && compare(a[j], pivot) < 0) --j;
            }
            if (i <= j) {
                void* t = a[i];
                a[i] = a[j];
                a[j] = t;
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j) ptr_list_sort_range(a, lo, j, compare, descending);
            lo = i;
        } else {
            if (i < hi) ptr_list_sort_range(a, i, hi, compare, descending);
            hi = j;
        }
    }
}

}  // namespace detail

template <typename Compare>
void ptr_list_sort(PtrList* list, Compare compare, bool descending) {
    if (!list || list->count < 2) return;
    const int32_t count = list->count;
    void** a = ptr_list_sort_begin(list);
    try {
        detail::ptr_list_sort_range(a, 0, count - 1, compare, descending);
    } catch (...) {
        ptr_list_sort_abandon(a);
        throw;
    }
    ptr_list_sort_end(list, a, count);
}

}  // namespace qel
