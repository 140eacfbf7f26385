// The list quicksort, shared by list_sort (native comparer) and strings_sort (built-in comparers).
#pragma once

namespace qel {

template <typename Compare>
void ptr_list_sort(PtrList* list, Compare compare, bool descending) {
    if (!list || list->count < 2) return;
    void** a = list->items;
    int32_t lo = 0, hi = list->count - 1;
    // Iterative over the larger part, recursive over the smaller one.
    struct Local {
        static void run(void** a, int32_t lo, int32_t hi, Compare& compare, bool descending) {
            while (lo < hi) {
                void* pivot = a[static_cast<uint32_t>(lo + hi) >> 1];
                int32_t i = lo, j = hi;
                do {
                    if (!descending) {
                        while (compare(pivot, a[i]) > 0) ++i;
                        while (compare(pivot, a[j]) < 0) --j;
                    } else {
                        while (compare(a[i], pivot) > 0) ++i;
                        while (compare(a[j], pivot) < 0) --j;
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
                    if (lo < j) run(a, lo, j, compare, descending);
                    lo = i;
                } else {
                    if (i < hi) run(a, i, hi, compare, descending);
                    hi = j;
                }
            }
        }
    };
    Local::run(a, lo, hi, compare, descending);
}

}  // namespace qel
