// PtrList: the growth rule, bounds failures, and the list quicksort's exact choices.
#include <gtest/gtest.h>

#include <vector>

#include "stdlib/ptr_list.h"
#include "vm/runtime_error.h"

using namespace qel;

namespace {

void* word(intptr_t v) { return reinterpret_cast<void*>(v); }
intptr_t value(void* p) { return reinterpret_cast<intptr_t>(p); }

TEST(PtrList, GrowsByFourThenSixteenThenAQuarter) {
    PtrList* l = ptr_list_create();
    std::vector<int32_t> capacities;
    for (int i = 0; i < 300; ++i) {
        l->add(word(i));
        if (capacities.empty() || capacities.back() != l->capacity) capacities.push_back(l->capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{4, 8, 12, 28, 44, 60, 76, 95, 118, 147, 183, 228, 285, 356}));
    EXPECT_EQ(l->count, 300);
    ptr_list_destroy(l);

    PtrList* thirteen = ptr_list_create();
    for (int i = 0; i < 13; ++i) thirteen->add(word(i));
    EXPECT_EQ(thirteen->capacity, 28);
    ptr_list_destroy(thirteen);
}

TEST(PtrList, OperationsAndBounds) {
    PtrList l{};
    for (int i = 0; i < 5; ++i) l.add(word(i * 10));
    EXPECT_EQ(l.indexOf(word(30)), 3);
    EXPECT_EQ(l.indexOf(word(31)), -1);
    l.add(word(30));
    EXPECT_EQ(l.remove(word(30)), 3);  // only the first occurrence
    EXPECT_EQ(l.indexOf(word(30)), 4);
    l.insertAt(l.count, word(99));     // at count: appends
    EXPECT_EQ(value(l.get(l.count - 1)), 99);
    l.insertAt(0, word(-1));
    EXPECT_EQ(value(l[0]), -1);
    l.exchange(0, 1);
    EXPECT_EQ(value(l[0]), 0);
    for (int32_t bad : {-1, l.count}) {
        EXPECT_THROW(l.get(bad), qel_exception);
        EXPECT_THROW(l.put(bad, nullptr), qel_exception);
        EXPECT_THROW(l.removeAt(bad), qel_exception);
        EXPECT_THROW(l.exchange(0, bad), qel_exception);
    }
    EXPECT_THROW(l.insertAt(l.count + 1, nullptr), qel_exception);
    int32_t before = l.count;
    EXPECT_THROW(l.get(before), qel_exception);
    EXPECT_EQ(l.count, before);  // a failed operation changes nothing
    PtrList* c = ptr_list_clone(&l);
    ASSERT_EQ(c->count, l.count);
    for (int32_t i = 0; i < l.count; ++i) EXPECT_EQ(c->items[i], l.items[i]);
    ptr_list_destroy(c);
    l.clear();
    EXPECT_EQ(l.items, nullptr);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.capacity, 0);
}

TEST(PtrList, SortsAscendingAndDescendingWithTheComparer) {
    PtrList l{};
    for (int v : {3, 1, 2}) l.add(word(v));
    auto diff = [](void* a, void* b) { return static_cast<int32_t>(value(a) - value(b)); };
    ptr_list_sort(&l, diff, false);
    EXPECT_EQ(value(l[0]), 1);
    EXPECT_EQ(value(l[1]), 2);
    EXPECT_EQ(value(l[2]), 3);
    ptr_list_sort(&l, diff, true);
    EXPECT_EQ(value(l[0]), 3);
    EXPECT_EQ(value(l[2]), 1);
    l.clear();
    // A larger shuffled list with duplicates ends in order.
    for (int i = 0; i < 1000; ++i) l.add(word((i * 7919) % 257));
    ptr_list_sort(&l, diff, false);
    for (int32_t i = 1; i < l.count; ++i) EXPECT_LE(value(l[i - 1]), value(l[i]));
    l.clear();
}

}  // namespace
