// Lists: the PtrList growth rule, the quicksort's exact choices, the list, bit-set and hash-list
// built-ins (bounds failures included; hash lists find by the NameHash alone).
#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "base/hash_list.h"
#include "base/name_hash.h"
#include "base/ptr_list.h"
#include "builtin_harness.h"
#include "vm/objects.h"

using namespace qel;
using qeltest::Ptr;

namespace {

void* word(intptr_t v) { return reinterpret_cast<void*>(v); }
intptr_t value(void* p) { return reinterpret_cast<intptr_t>(p); }
std::vector<intptr_t> values(const PtrList& l) {
    std::vector<intptr_t> v;
    for (int32_t i = 0; i < l.count; ++i) v.push_back(value(l[i]));
    return v;
}

TEST(PtrList, GrowsByFourThenSixteenThenAQuarterAndSetsCapacityExactly) {
    PtrList l{};
    std::vector<int32_t> capacities;
    for (int i = 0; i < 300; ++i)
        if (l.add(word(i)), capacities.empty() || capacities.back() != l.capacity) capacities.push_back(l.capacity);
    EXPECT_EQ(capacities, (std::vector<int32_t>{4, 8, 12, 28, 44, 60, 76, 95, 118, 147, 183, 228, 285, 356}));
    // Below count is refused and changes nothing; full at 300, the list grows by a quarter.
    EXPECT_TRUE(l.set_capacity(300) && !l.set_capacity(299) && !l.set_capacity(-1) && l.capacity == 300);
    l.add(word(300));
    EXPECT_EQ(l.capacity, 375);
    for (int i = 0; i <= 300; ++i) ASSERT_EQ(value(l[i]), i);
    l.clear();
    EXPECT_TRUE(l.items == nullptr && l.count == 0 && l.capacity == 0);
}

struct Keyed { int key; char name; };

TEST(PtrList, SortPlacesEqualKeysExactlyAsTheMiddlePivotQuicksortDoes) {
    // Worked through by hand: the pivot is the middle element's value, the scans stop at
    // elements equal to it, and equal elements are swapped.
    Keyed items[] = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {0, 'd'}, {2, 'e'}, {1, 'f'}, {3, 'g'}, {2, 'h'}};
    auto by_key = [](void* a, void* b) { return static_cast<Keyed*>(a)->key - static_cast<Keyed*>(b)->key; };
    for (auto [descending, order] : {std::pair{false, "dfbhecag"}, std::pair{true, "gheacfbd"}}) {
        PtrList l{};
        for (Keyed& k : items) l.add(&k);
        ptr_list_sort(&l, by_key, descending);
        std::string names;
        for (int32_t i = 0; i < l.count; ++i) names += static_cast<Keyed*>(l[i])->name;
        EXPECT_EQ(names, order) << "descending " << descending;
        l.clear();
    }
}

TEST(PtrList, ComparersThatLieOrThrowNeitherLoseElementsNorLeaveTheArray) {
    int items[40];
    PtrList all{};
    for (int& item : items) all.add(&item);
    for (int k = 0; k < 4; ++k) {  // answers 1 and -1, ascending and descending
        const int answer = k & 1 ? -1 : 1;
        ptr_list_sort(&all, [answer](void*, void*) { return answer; }, k >= 2);
        std::vector<void*> after(all.items, all.items + all.count);
        std::sort(after.begin(), after.end());
        EXPECT_TRUE(after.size() == 40 && after.front() == &items[0] && after.back() == &items[39] &&
                    std::adjacent_find(after.begin(), after.end()) == after.end());
    }
    all.clear();
    // A comparer that throws part-way leaves the list as it was.
    PtrList l{};
    for (int v : {5, 3, 9, 1, 7, 2}) l.add(word(v));
    int calls = 0;
    auto failing = [&calls](void* a, void* b) {
        if (++calls == 4) raise_runtime_error("comparer failed");
        return static_cast<int32_t>(value(a) - value(b));
    };
    EXPECT_THROW(ptr_list_sort(&l, failing, false), qel_exception);
    EXPECT_EQ(values(l), (std::vector<intptr_t>{5, 3, 9, 1, 7, 2}));
    l.clear();
}

// A runtime with a script class whose destructor logs itself into FLog and removes itself from
// the list FOwner, and a record type with a string field.
class ListBuiltins : public qeltest::Builtins {
protected:
    void SetUp() override {
        use_image("#include \"prelude/minimal.qsrc\"\n[METADATA]\nclass Tracked object 0 Test\n0 1 p pointer FLog 0\n"
                  "0 1 p pointer FOwner 0\nstruct Rec [none] Test\n0 1 s string FName 0\nclass Faulty object 0 Test\n"
                  "[/METADATA]\n[SOURCE]\nmethod Tracked::Tracked.[a:1][m:0][p:00][r:v][v:]\ncreate object\nret\n"
                  "method Faulty::Faulty.[a:1][m:0][p:00][r:v][v:]\nret\n"
                  "method Faulty::~Faulty.[a:1][m:0][p:00][r:v][v:]\nldint 1\nldint 0\ndiv\nret\n"
                  "method Tracked::~Tracked.[a:1][m:0][p:00][r:v][v:]\nldthis\nldpptr Tracked.FLog\nldthis\ncallstd list_add\n"
                  "ldthis\nldpptr Tracked.FOwner\nldthis\ncallstd list_remove\nempty\nret\n[/SOURCE]\n");
        tracked = qeltest::find_class(*image.rt, "Tracked");
        rec = qeltest::find_class(*image.rt, "Rec");
        ASSERT_TRUE(tracked && rec);
    }

    void* make_tracked(PtrList* log, PtrList* owner) {
        void* obj = pointer(bi_New, {Ptr{tracked}});
        for (auto [name, list] : {std::pair{"FLog", log}, std::pair{"FOwner", owner}})
            *reinterpret_cast<PtrList**>(static_cast<char*>(obj) + field_of(tracked, name)->address) = list;
        return obj;
    }

    CClass* tracked = nullptr;
    CClass* rec = nullptr;
};

TEST_F(ListBuiltins, OperationsAndTheirBoundsFailures) {
    auto* l = pointer<PtrList>(bi_list_create);
    ASSERT_TRUE(l && l->count == 0 && l->items == nullptr);
    const Ptr list{l};
    const char* const kOut = "List index out of bounds";
    struct Step { BuiltinFn fn; std::vector<qeltest::Arg> args; std::string result; std::vector<intptr_t> after; } steps[] = {
        {bi_list_add, {Ptr{word(10)}}, "<0 values>", {10}}, {bi_list_add, {Ptr{word(20)}}, "<0 values>", {10, 20}},
        {bi_list_add, {Ptr{word(10)}}, "<0 values>", {10, 20, 10}},
        {bi_list_insert, {3, Ptr{word(40)}}, "<0 values>", {10, 20, 10, 40}},  // at count: appends
        {bi_list_insert, {0, Ptr{word(5)}}, "<0 values>", {5, 10, 20, 10, 40}},
        {bi_list_set, {2, Ptr{word(25)}}, "<0 values>", {5, 10, 25, 10, 40}},
        {bi_list_exchange, {0, 4}, "<0 values>", {40, 10, 25, 10, 5}}, {bi_list_get, {4}, "p:5", {40, 10, 25, 10, 5}},
        {bi_list_indexof, {Ptr{word(99)}}, "i:-1", {40, 10, 25, 10, 5}},
        {bi_list_remove, {Ptr{word(10)}}, "i:1", {40, 25, 10, 5}},  // the first of two
        {bi_list_delete, {1}, "<0 values>", {40, 10, 5}},
        // Every index outside the list is refused, and nothing changes.
        {bi_list_get, {-1}, kOut, {40, 10, 5}}, {bi_list_get, {3}, kOut, {40, 10, 5}},
        {bi_list_set, {3, Ptr{word(0)}}, kOut, {40, 10, 5}}, {bi_list_delete, {3}, kOut, {40, 10, 5}},
        {bi_list_exchange, {0, 3}, kOut, {40, 10, 5}}, {bi_list_insert, {4, Ptr{word(0)}}, kOut, {40, 10, 5}},
        {bi_list_insert, {-1, Ptr{word(0)}}, kOut, {40, 10, 5}},
    };
    for (const Step& s : steps) {
        std::vector<qeltest::Arg> args{list};
        args.insert(args.end(), s.args.begin(), s.args.end());
        EXPECT_EQ(result(s.fn, args), s.result) << "step " << &s - steps;
        EXPECT_EQ(values(*l), s.after) << "step " << &s - steps;
    }
    EXPECT_EQ(run(bi_list_add, {Ptr{nullptr}, Ptr{word(1)}}), "Null list reference");
    EXPECT_EQ(run(bi_list_free, {Ptr{nullptr}}), "");  // freeing nothing is harmless
    auto* copy = pointer<PtrList>(bi_list_clone, {list});
    ASSERT_NE(copy, l);
    EXPECT_EQ(values(*copy), values(*l));
    EXPECT_EQ(run(bi_list_clear, {list}), "");
    EXPECT_TRUE(l->items == nullptr && l->count == 0 && l->capacity == 0);
    EXPECT_EQ(copy->count, 3);  // the clone is its own list
    EXPECT_EQ(run(bi_list_free, {Ptr{copy}}) + run(bi_list_free, {list}), "");
}

// A native comparer as EntryPoint hands them out: stdcall, two items and the context.
int32_t __attribute__((stdcall)) compare_words(void* a, void* b, void* context) {
    ++*static_cast<int*>(context);
    return static_cast<int32_t>(value(a) - value(b));
}

TEST_F(ListBuiltins, SortCallsTheNativeComparerWithTheContext) {
    using Words = std::vector<intptr_t>;
    std::tuple<Words, int, Words> cases[] = {
        {{8, 8, 1, 9, 1, 4, 8, 0, 2}, 0, {0, 1, 1, 2, 4, 8, 8, 8, 9}}, {{3, 1, 2}, 1, {3, 2, 1}},
        {{3, 1, 2}, -7, {3, 2, 1}},  // any non-zero value is descending
        {{4}, 0, {4}},
    };
    for (const auto& [input, descending, expected] : cases) {
        PtrList* l = ptr_list_create();
        for (intptr_t v : input) l->add(word(v));
        int calls = 0;
        EXPECT_EQ(result(bi_list_sort, {Ptr{l}, Ptr{reinterpret_cast<void*>(&compare_words)}, descending, Ptr{&calls}}),
                  "<0 values>");
        EXPECT_EQ(values(*l), expected);
        EXPECT_EQ(calls > 0, input.size() > 1);
        ptr_list_destroy(l);
    }
    PtrList* l = ptr_list_create();
    l->add(word(2));
    l->add(word(1));
    EXPECT_EQ(run(bi_list_sort, {Ptr{l}, Ptr{nullptr}, 0, Ptr{nullptr}}), "Null comparer");
    EXPECT_EQ(values(*l), (std::vector<intptr_t>{2, 1}));
    ptr_list_destroy(l);
}

TEST_F(ListBuiltins, ClearObjectsReleasesEachObjectOnceWhileDestructorsTouchTheList) {
    PtrList* log = ptr_list_create();
    PtrList* owned = ptr_list_create();
    std::vector<void*> objects;
    for (int i = 0; i < 4; ++i) objects.push_back(make_tracked(log, owned));
    // Each destructor removes its object from the very list being cleared; one object is listed
    // twice and a null is among them.
    for (void* obj : {objects[0], static_cast<void*>(nullptr), objects[1], objects[0], objects[2], objects[3]}) owned->add(obj);
    EXPECT_EQ(run(bi_list_clear_objects, {Ptr{owned}}), "");
    EXPECT_EQ(std::vector<void*>(log->items, log->items + log->count), objects);
    EXPECT_TRUE(owned->count == 0 && owned->items == nullptr);
    // A destructor that raises, with a handler up the chain, stops the release: the error is left
    // for the caller and the rest stay listed for a second clear.
    void* faulty = pointer(bi_New, {Ptr{qeltest::find_class(*image.rt, "Faulty")}});
    void* after = make_tracked(log, nullptr);
    owned->add(faulty);
    owned->add(after);
    frame.try_depth = 0;
    EXPECT_EQ(run(bi_list_clear_objects, {Ptr{owned}}), "");
    EXPECT_EQ(frame.pending ? utf8(*exception_message(image.rt.get(), frame.pending)) : "", "Division by zero.");
    EXPECT_EQ(values(*owned), std::vector<intptr_t>{value(after)});
    release_object(image.rt.get(), frame.pending, &frame);
    frame.pending = nullptr;
    frame.try_depth = -1;
    EXPECT_EQ(run(bi_list_clear_objects, {Ptr{owned}}), "");
    EXPECT_EQ(log->items[log->count - 1], after);
    log->remove_at(log->count - 1);
    // clear_items with an object class releases objects the same way.
    PtrList* scratch = ptr_list_create();
    void* a = make_tracked(log, scratch);
    owned->add(a);
    EXPECT_EQ(run(bi_list_clear_items, {Ptr{owned}, Ptr{tracked}}), "");
    EXPECT_EQ(log->count, 5);
    EXPECT_EQ(log->items[4], a);
    EXPECT_EQ(owned->count, 0);
    // Records with their strings, or plain blocks without a class.
    for (CClass* item_class : {rec, static_cast<CClass*>(nullptr)}) {
        for (int i = 0; i < 3; ++i) {
            void* block = item_class ? allocate_instance(rec) : std::malloc(8);
            if (item_class)
                (*reinterpret_cast<WStr**>(static_cast<char*>(block) + field_of(rec, "FName")->address))
                    ->assign_narrow("a name");
            owned->add(block);
        }
        owned->add(nullptr);
        EXPECT_EQ(run(bi_list_clear_items, {Ptr{owned}, Ptr{item_class}}), "");
        EXPECT_TRUE(owned->count == 0 && owned->items == nullptr);
    }
    for (PtrList* p : {owned, log, scratch}) ptr_list_destroy(p);
}

TEST_F(ListBuiltins, BitSetsUseTheLowFiveBitsOfTheBitNumber) {
    std::tuple<BuiltinFn, uint32_t, int32_t, std::string> cases[] = {  // the set rewritten in place, or the answer
        {bi_SetAdd, 0, 33, "i:2"},          {bi_SetAdd, 5, 0, "i:5"},        {bi_SetAdd, 0, -1, "i:-2147483648"},
        {bi_SetAdd, 0, 20, "i:1048576"},    {bi_SetRemove, 7, 1, "i:5"},     {bi_SetRemove, 5, 1, "i:5"},
        {bi_SetRemove, 0xFFFFFFFFu, 63, "i:2147483647"},                     {bi_SetContains, 5, 2, "b:true"},
        {bi_SetContains, 5, 1, "b:false"},  {bi_SetContains, 5, 34, "b:true"}, {bi_SetContains, 0x80000000u, 31, "b:true"},
    };
    for (const auto& [fn, set, bit, expected] : cases)
        EXPECT_EQ(result(fn, {static_cast<int32_t>(set), bit}), expected) << set << " bit " << bit;
    EXPECT_EQ(run(bi_SetAdd, {true, 1}), "Cannot convert 'bool' to 'int'");
    EXPECT_EQ(run(bi_SetRemove, {"x", 1}), "Cannot convert 'string' to 'int'");
}

class HashListBuiltins : public qeltest::Builtins {};

TEST_F(HashListBuiltins, FindByHashAloneAndRemoveTheFirstMatch) {
    // String variables as scripts have them: a slot holding a WStr pointer (null: no string yet).
    // "AB" and "@" U+00C2 have the same NameHash over their units (65 * 128 + 66 = 64 * 128 + 194);
    // "key" and "kez" differ in their last unit only and hash apart.
    WStr* ab = wstr_new();
    WStr *twin = wstr_new(), *key = wstr_new(), *kez = wstr_new(), *absent = nullptr;
    ab->assign_wide(u"AB");
    twin->assign_wide(u"@\u00C2");
    key->assign_wide(u"key");
    kez->assign_wide(u"kez");
    PtrList* l = ptr_list_create();
    for (WStr** v : {&key, &ab, &ab}) EXPECT_EQ(result(bi_hash_list_add, {Ptr{l}, Ptr{v}}), "<0 values>");
    auto* entry = static_cast<HashEntry*>((*l)[1]);
    EXPECT_TRUE(entry->text.equals(*ab));
    EXPECT_NE(entry->text.buffer, ab->buffer);  // an own copy
    EXPECT_EQ(entry->hash, name_hash(u"AB", 2));
    // A variable that holds no string yet is the empty text, which hashes to 0: absent here.
    auto index_of = [&](WStr*& v) { return result(bi_hash_list_indexof, {Ptr{l}, Ptr{&v}}); };
    EXPECT_EQ(index_of(key) + index_of(ab) + index_of(twin) + index_of(kez) + index_of(absent), "i:0i:1i:1i:-1i:-1");

    EXPECT_EQ(result(bi_hash_list_remove, {Ptr{l}, Ptr{&twin}}), "<0 values>");  // equal hash: still the key
    EXPECT_EQ(index_of(ab), "i:1");  // the second copy moved down
    EXPECT_EQ(result(bi_hash_list_remove, {Ptr{l}, Ptr{&kez}}), "<0 values>");  // absent: nothing happens
    EXPECT_EQ(result(bi_hash_list_remove, {Ptr{l}, Ptr{&key}}), "<0 values>");  // the first entry
    EXPECT_EQ(index_of(ab), "i:0");
    l->add(nullptr);  // a foreign null element is passed over
    EXPECT_EQ(index_of(kez), "i:-1");
    l->remove_at(1);

    EXPECT_EQ(run(bi_hash_list_add, {Ptr{l}, Ptr{nullptr}}), "Null string reference");
    EXPECT_EQ(run(bi_hash_list_indexof, {Ptr{nullptr}, Ptr{&key}}), "Null list reference");
    EXPECT_EQ(l->count, 1);
    hash_clear(l);
    EXPECT_TRUE(l->count == 0 && l->items == nullptr);
    ptr_list_destroy(l);
    for (WStr* w : {ab, twin, key, kez, absent}) wstr_delete(w);
}

}  // namespace
