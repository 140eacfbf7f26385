// PtrList: the growth rule, bounds failures, the list quicksort's exact choices, the clearing
// operations, and the list and bit-set built-ins as scripts call them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "builtin_harness.h"
#include "stdlib/ptr_list.h"
#include "types/objects.h"
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

// Elements with a key and a name, to see where equal keys end up.
struct Keyed {
    int key;
    char name;
};

std::string names_of(const PtrList& l) {
    std::string s;
    for (int32_t i = 0; i < l.count; ++i) s += static_cast<Keyed*>(l[i])->name;
    return s;
}

TEST(PtrList, SortPlacesEqualKeysExactlyAsTheMiddlePivotQuicksortDoes) {
    // Worked through by hand: the pivot is the middle element's value, the scans stop at
    // elements equal to it, and equal elements are swapped.
    Keyed items[] = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {0, 'd'}, {2, 'e'}, {1, 'f'}, {3, 'g'}, {2, 'h'}};
    auto by_key = [](void* a, void* b) { return static_cast<Keyed*>(a)->key - static_cast<Keyed*>(b)->key; };
    struct Case {
        bool descending;
        const char* order;
    } cases[] = {{false, "dfbhecag"}, {true, "gheacfbd"}};
    for (const Case& c : cases) {
        PtrList l{};
        for (Keyed& k : items) l.add(&k);
        ptr_list_sort(&l, by_key, c.descending);
        EXPECT_EQ(names_of(l), c.order) << "descending " << c.descending;
        l.clear();
    }
}

TEST(PtrList, InconsistentComparersNeitherLeaveTheArrayNorLoseElements) {
    constexpr int kCount = 40;
    Keyed items[kCount];
    for (int i = 0; i < kCount; ++i) items[i] = {i % 7, static_cast<char>('0' + i % 64)};
    auto valid = [&](void* p) { return p >= static_cast<void*>(items) && p < static_cast<void*>(items + kCount); };
    int bad_arguments = 0;
    unsigned seed = 12345;
    auto coin = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % 3) - 1;
    };
    std::vector<std::function<int(void*, void*)>> comparers = {
        [&](void* a, void* b) { bad_arguments += !valid(a) + !valid(b); return 1; },
        [&](void* a, void* b) { bad_arguments += !valid(a) + !valid(b); return -1; },
        [&](void* a, void* b) { bad_arguments += !valid(a) + !valid(b); return coin(); },
    };
    for (size_t k = 0; k < comparers.size(); ++k) {
        for (bool descending : {false, true}) {
            PtrList l{};
            for (Keyed& item : items) l.add(&item);
            ptr_list_sort(&l, comparers[k], descending);
            EXPECT_EQ(bad_arguments, 0) << "comparer " << k;
            ASSERT_EQ(l.count, kCount);
            std::vector<void*> after(l.items, l.items + l.count), before;
            for (Keyed& item : items) before.push_back(&item);
            std::sort(after.begin(), after.end());
            EXPECT_EQ(after, before) << "comparer " << k << " lost or duplicated elements";
            l.clear();
        }
    }
}

TEST(PtrList, AComparerThatThrowsLeavesTheListAsItWas) {
    PtrList l{};
    for (int v : {5, 3, 9, 1, 7, 2}) l.add(word(v));
    std::vector<void*> before(l.items, l.items + l.count);
    int calls = 0;
    auto failing = [&calls](void* a, void* b) {
        if (++calls == 4) raise_runtime_error("comparer failed");
        return static_cast<int32_t>(value(a) - value(b));
    };
    EXPECT_THROW(ptr_list_sort(&l, failing, false), qel_exception);
    EXPECT_EQ(std::vector<void*>(l.items, l.items + l.count), before);
    l.clear();
}

TEST(PtrList, SetCapacityIsExactAndNeverDropsElements) {
    PtrList l{};
    for (int i = 0; i < 5; ++i) l.add(word(i));
    EXPECT_EQ(l.capacity, 8);
    EXPECT_TRUE(l.setCapacity(5));
    EXPECT_EQ(l.capacity, 5);
    EXPECT_FALSE(l.setCapacity(4));  // below count: refused, nothing changes
    EXPECT_FALSE(l.setCapacity(-1));
    EXPECT_EQ(l.capacity, 5);
    EXPECT_EQ(l.count, 5);
    l.add(word(5));  // full at 5: grows by four
    EXPECT_EQ(l.capacity, 9);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(value(l[i]), i);
    l.clear();
    EXPECT_TRUE(l.setCapacity(0));
    EXPECT_EQ(l.items, nullptr);
}

// A runtime with a script class whose destructor logs itself into FLog and removes itself from
// the list FOwner, and a record type with a string field.
class ListBuiltins : public qeltest::Builtins {
protected:
    void SetUp() override {
        image = qeltest::load(R"(#include "prelude/minimal.qsrc"
[METADATA]
class Tracked object 0 Test
0 1 p pointer FLog 0
0 1 p pointer FOwner 0
struct Rec [none] Test
0 1 s string FName 0
0 1 i int FValue 0
[/METADATA]
[SOURCE]
method Tracked::Tracked.[a:1][m:0][p:00][r:v][v:]
create object
ret
method Tracked::~Tracked.[a:1][m:0][p:00][r:v][v:]
ldthis
ldpptr Tracked.FLog
ldthis
callstd list_add
ldthis
ldpptr Tracked.FOwner
ldthis
callstd list_remove
empty
ret
[/SOURCE]
)");
        ASSERT_TRUE(image.ok) << image.failure().what;
        st = &image.rt->stack;
        st->count = 0;
        qel::init_bare_frame(frame, st);
        tracked = qeltest::find_class(*image.rt, "Tracked");
        rec = qeltest::find_class(*image.rt, "Rec");
        ASSERT_TRUE(tracked && rec);
    }

    void* make_tracked(PtrList* log, PtrList* owner) {
        create_object(image.rt.get(), tracked, &frame);
        void* obj = top_pointer();
        reset();
        field(obj, "FLog") = log;
        field(obj, "FOwner") = owner;
        return obj;
    }

    void*& field(void* obj, const char* name) {
        return *reinterpret_cast<void**>(static_cast<char*>(obj) + qeltest::find_field(*image.rt, "Tracked", name)->address);
    }

    // Arguments in push order, on an emptied stack.
    void arg(int32_t v) { qel::push_int(st, v); }
    void arg(bool v) { qel::push_bool(st, v); }
    void arg(const void* v) { qel::push_pointer(st, v); }
    template <typename... A>
    void args(A... a) {
        reset();
        (arg(a), ...);
    }

    // Runs a built-in that takes a list and returns nothing; "" or the error message.
    std::string on_list(BuiltinFn fn, PtrList* list) {
        reset();
        p(list);
        return call(fn);
    }

    CClass* tracked = nullptr;
    CClass* rec = nullptr;
};

TEST_F(ListBuiltins, ScriptOperationsAndTheirBoundsFailures) {
    ASSERT_EQ(call(bi_list_create), "");
    auto* l = static_cast<PtrList*>(top_pointer());
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->count, 0);
    reset();
    for (int v : {10, 20, 30}) {
        args(l, word(v));
        ASSERT_EQ(call(bi_list_add), "");
        EXPECT_EQ(count(), 0);
    }
    args(l, 3, word(40));
    EXPECT_EQ(call(bi_list_insert), "");  // at count: appends
    args(l, 0, word(5));
    EXPECT_EQ(call(bi_list_insert), "");
    args(l, 1, word(15));
    EXPECT_EQ(call(bi_list_set), "");
    args(l, 0, 4);
    EXPECT_EQ(call(bi_list_exchange), "");
    std::vector<intptr_t> seen;
    for (int32_t i = 0; i < l->count; ++i) {
        reset();
        args(l, i);
        ASSERT_EQ(call(bi_list_get), "");
        EXPECT_EQ(count(), 1);
        seen.push_back(value(top_pointer()));
    }
    EXPECT_EQ(seen, (std::vector<intptr_t>{40, 15, 20, 30, 5}));

    struct Lookup {
        BuiltinFn fn;
        intptr_t item;
        int32_t expected;
    } lookups[] = {{bi_list_indexof, 20, 2}, {bi_list_indexof, 99, -1}, {bi_list_remove, 99, -1},
                   {bi_list_remove, 20, 2},  {bi_list_indexof, 20, -1}};
    for (const Lookup& c : lookups) {
        reset();
        args(l, word(c.item));
        ASSERT_EQ(call(c.fn), "");
        EXPECT_EQ(top_int(), c.expected) << "item " << c.item;
    }
    reset();
    args(l, 0);
    EXPECT_EQ(call(bi_list_delete), "");
    EXPECT_EQ(l->count, 3);
    EXPECT_EQ(value(l->items[0]), 15);

    // Every index outside the list is refused with the same message, and nothing changes.
    struct Bad {
        const char* what;
        std::function<void()> push;
        BuiltinFn fn;
    } bad[] = {
        {"get -1", [&] { args(l, -1); }, bi_list_get},
        {"get count", [&] { args(l, 3); }, bi_list_get},
        {"set count", [&] { args(l, 3, nullptr); }, bi_list_set},
        {"delete -1", [&] { args(l, -1); }, bi_list_delete},
        {"exchange", [&] { args(l, 0, 3); }, bi_list_exchange},
        {"insert count + 1", [&] { args(l, 4, nullptr); }, bi_list_insert},
        {"insert -1", [&] { args(l, -1, nullptr); }, bi_list_insert},
    };
    for (const Bad& c : bad) {
        reset();
        c.push();
        EXPECT_EQ(call(c.fn), "List index out of bounds") << c.what;
        EXPECT_EQ(l->count, 3) << c.what;
    }
    EXPECT_EQ(value(l->items[0]), 15);
    EXPECT_EQ(value(l->items[2]), 5);

    reset();
    p(l);
    ASSERT_EQ(call(bi_list_clone), "");
    auto* copy = static_cast<PtrList*>(top_pointer());
    ASSERT_NE(copy, l);
    ASSERT_EQ(copy->count, 3);
    EXPECT_TRUE(std::equal(l->items, l->items + 3, copy->items));
    EXPECT_EQ(on_list(bi_list_clear, l), "");
    EXPECT_EQ(l->items, nullptr);
    EXPECT_EQ(l->capacity, 0);
    EXPECT_EQ(copy->count, 3);  // the clone is its own list
    EXPECT_EQ(on_list(bi_list_free, copy), "");
    EXPECT_EQ(on_list(bi_list_free, l), "");
}

TEST_F(ListBuiltins, ANullListIsAClearError) {
    for (BuiltinFn fn : {bi_list_clear, bi_list_clear_objects, bi_list_clone}) EXPECT_EQ(on_list(fn, nullptr), "Null list reference");
    reset();
    args(nullptr, word(1));
    EXPECT_EQ(call(bi_list_add), "Null list reference");
    reset();
    args(nullptr, 0);
    EXPECT_EQ(call(bi_list_get), "Null list reference");
    EXPECT_EQ(on_list(bi_list_free, nullptr), "");  // freeing nothing is harmless
}

struct SortContext {
    int calls;
    PtrList* seen_list;
};

// A native comparer as EntryPoint hands them out: stdcall, two items and the context.
int32_t __attribute__((stdcall)) compare_words(void* a, void* b, void* context) {
    ++static_cast<SortContext*>(context)->calls;
    return static_cast<int32_t>(value(a) - value(b));
}

TEST_F(ListBuiltins, SortCallsTheNativeComparerWithTheContext) {
    struct Case {
        std::vector<int> input;
        int descending;
        std::vector<int> expected;
    } cases[] = {
        {{3, 1, 2}, 0, {1, 2, 3}},
        {{3, 1, 2}, 1, {3, 2, 1}},
        {{3, 1, 2}, -7, {3, 2, 1}},  // any non-zero value is descending
        {{8, 8, 1, 9, 1, 4, 8, 0, 2}, 0, {0, 1, 1, 2, 4, 8, 8, 8, 9}},
        {{4}, 0, {4}},
        {{}, 1, {}},
    };
    for (const Case& c : cases) {
        PtrList* l = ptr_list_create();
        for (int v : c.input) l->add(word(v));
        SortContext context{0, nullptr};
        reset();
        args(l, reinterpret_cast<void*>(&compare_words), c.descending, &context);
        ASSERT_EQ(call(bi_list_sort), "");
        EXPECT_EQ(count(), 0);
        std::vector<int> got;
        for (int32_t i = 0; i < l->count; ++i) got.push_back(static_cast<int>(value(l->items[i])));
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(context.calls > 0, c.input.size() > 1);
        ptr_list_destroy(l);
    }
    PtrList* l = ptr_list_create();
    l->add(word(2));
    l->add(word(1));
    reset();
    args(l, nullptr, 0, nullptr);
    EXPECT_EQ(call(bi_list_sort), "Null comparer");
    EXPECT_EQ(value(l->items[0]), 2);
    ptr_list_destroy(l);
}

TEST_F(ListBuiltins, ClearObjectsReleasesEachObjectOnceWhileDestructorsTouchTheList) {
    PtrList* log = ptr_list_create();
    PtrList* owned = ptr_list_create();
    std::vector<void*> objects;
    for (int i = 0; i < 4; ++i) objects.push_back(make_tracked(log, owned));
    // Each destructor removes its object from the very list being cleared; one object is listed
    // twice and a null is among them.
    owned->add(objects[0]);
    owned->add(nullptr);
    owned->add(objects[1]);
    owned->add(objects[0]);
    owned->add(objects[2]);
    owned->add(objects[3]);
    EXPECT_EQ(on_list(bi_list_clear_objects, owned), "");
    EXPECT_EQ(std::vector<void*>(log->items, log->items + log->count), objects);
    EXPECT_EQ(owned->count, 0);
    EXPECT_EQ(owned->items, nullptr);
    ptr_list_destroy(owned);
    ptr_list_destroy(log);
}

TEST_F(ListBuiltins, ClearItemsByKindOfItemClass) {
    PtrList* log = ptr_list_create();
    PtrList* scratch = ptr_list_create();
    // An object class: the elements are released as objects, destructors included.
    PtrList* objects = ptr_list_create();
    void* a = make_tracked(log, scratch);
    void* b = make_tracked(log, scratch);
    objects->add(a);
    objects->add(b);
    reset();
    args(objects, tracked);
    EXPECT_EQ(call(bi_list_clear_items), "");
    EXPECT_EQ(std::vector<void*>(log->items, log->items + log->count), (std::vector<void*>{a, b}));
    EXPECT_EQ(objects->count, 0);

    // A record type: string fields and blocks go; plain blocks without a class.
    struct Case {
        CClass* item_class;
        bool records;
    } cases[] = {{rec, true}, {nullptr, false}};
    for (const Case& c : cases) {
        PtrList* items = ptr_list_create();
        for (int i = 0; i < 3; ++i) {
            void* block = c.records ? allocate_instance(rec) : std::malloc(8);
            ASSERT_NE(block, nullptr);
            if (c.records) {
                auto* name = *reinterpret_cast<WStr**>(static_cast<char*>(block) +
                                                       qeltest::find_field(*image.rt, "Rec", "FName")->address);
                ASSERT_NE(name, nullptr);
                name->assignNarrow("a name");
            }
            items->add(block);
        }
        items->add(nullptr);
        reset();
        args(items, c.item_class);
        EXPECT_EQ(call(bi_list_clear_items), "");
        EXPECT_EQ(items->count, 0);
        EXPECT_EQ(items->items, nullptr);
        // An empty list is left as it is.
        items->setCapacity(4);
        reset();
        args(items, c.item_class);
        EXPECT_EQ(call(bi_list_clear_items), "");
        EXPECT_EQ(items->capacity, 4);
        ptr_list_destroy(items);
    }
    EXPECT_EQ(log->count, 2);
    ptr_list_destroy(objects);
    ptr_list_destroy(scratch);
    ptr_list_destroy(log);
}

TEST_F(ListBuiltins, BitSets) {
    struct Case {
        BuiltinFn fn;
        uint32_t set;
        int32_t bit;
        uint32_t expected;
    } in_place[] = {
        {bi_SetAdd, 0, 1, 2},          {bi_SetAdd, 0, 33, 2},  // only the low five bits of the bit count
        {bi_SetAdd, 5, 0, 5},          {bi_SetAdd, 0, 31, 0x80000000u},
        {bi_SetAdd, 0, -1, 0x80000000u}, {bi_SetRemove, 7, 1, 5},
        {bi_SetRemove, 5, 1, 5},       {bi_SetRemove, 0xFFFFFFFFu, 63, 0x7FFFFFFFu},
    };
    for (const Case& c : in_place) {
        reset();
        args(static_cast<int32_t>(c.set), c.bit);
        ASSERT_EQ(call(c.fn), "");
        ASSERT_EQ(count(), 1);
        EXPECT_EQ(static_cast<uint32_t>(top_int()), c.expected) << c.set << " bit " << c.bit;
    }
    struct Contains {
        uint32_t set;
        int32_t bit;
        bool expected;
    } contains[] = {{5, 2, true}, {5, 1, false}, {5, 32, true}, {0x80000000u, 31, true}, {0x80000000u, 30, false}};
    for (const Contains& c : contains) {
        reset();
        args(static_cast<int32_t>(c.set), c.bit);
        ASSERT_EQ(call(bi_SetContains), "");
        ASSERT_EQ(count(), 1);
        EXPECT_EQ(top_bool(), c.expected) << c.set << " bit " << c.bit;
    }
    // The set of SetAdd must be an int; SetContains accepts what PopInt accepts.
    reset();
    args(true, 1);
    EXPECT_EQ(call(bi_SetAdd), "Cannot convert 'bool' to 'int'");
    reset();
    s(u"x");
    i(1);
    EXPECT_EQ(call(bi_SetRemove), "Cannot convert 'string' to 'int'");
    reset();
    args(true, 0);
    ASSERT_EQ(call(bi_SetContains), "");
    EXPECT_TRUE(top_bool());
}

}  // namespace
