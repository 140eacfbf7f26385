// Hash lists: entries found by the NameHash of their text alone, directly and through the
// hash_list built-ins with ref string arguments.
#include <gtest/gtest.h>

#include <string>

#include "builtin_harness.h"
#include "stdlib/hash_list.h"
#include "stdlib/name_hash.h"

using namespace qel;

namespace {

// A string variable as scripts have them: a slot holding a WStr pointer.
struct StringVar {
    WStr* text = nullptr;
    explicit StringVar(const char16_t* s = nullptr) {
        if (s) {
            text = wstr_new();
            text->assignWide(s);
        }
    }
    ~StringVar() { wstr_delete(text); }
    StringVar(const StringVar&) = delete;
    StringVar& operator=(const StringVar&) = delete;
};

WStr make(const char16_t* s) {
    WStr w{};
    w.assignWide(s);
    return w;
}

TEST(HashList, FindsByHashAloneAndRemovesTheFirstMatch) {
    // "AB" and "@" U+00C2 have the same NameHash over their units (65 * 128 + 66 = 64 * 128 + 194).
    WStr ab = make(u"AB"), twin = make(u"@\u00C2"), other = make(u"other"), missing = make(u"missing");
    ASSERT_EQ(name_hash(ab.text(), ab.length), name_hash(twin.text(), twin.length));
    PtrList l{};
    hashAdd(&l, other);
    hashAdd(&l, ab);
    hashAdd(&l, ab);
    ASSERT_EQ(l.count, 3);
    auto* first = static_cast<HashEntry*>(l[1]);
    EXPECT_TRUE(first->text.equals(ab));
    EXPECT_NE(first->text.buffer, ab.buffer);  // an own copy
    EXPECT_EQ(first->hash, name_hash(u"AB", 2));

    struct Case {
        const WStr* text;
        int32_t index;
    } lookups[] = {{&other, 0}, {&ab, 1}, {&twin, 1}, {&missing, -1}};
    for (const Case& c : lookups) EXPECT_EQ(hashIndexOf(&l, *c.text), c.index);

    EXPECT_EQ(hashRemove(&l, twin), 1);  // equal hash, different text: still the key
    EXPECT_EQ(l.count, 2);
    EXPECT_EQ(hashIndexOf(&l, ab), 1);   // the second copy moved down
    EXPECT_EQ(hashRemove(&l, missing), -1);
    EXPECT_EQ(l.count, 2);
    l.add(nullptr);  // a foreign null element is passed over
    EXPECT_EQ(hashIndexOf(&l, missing), -1);
    hashClear(&l);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.items, nullptr);
    WStr empty{};
    hashAdd(&l, empty);
    EXPECT_EQ(hashIndexOf(&l, empty), 0);  // the empty text hashes to 0
    hashClear(&l);
    ab.clear();
    twin.clear();
    other.clear();
    missing.clear();
}

class HashListBuiltins : public qeltest::Builtins {
protected:
    // list, then the address of a string variable.
    std::string run(BuiltinFn fn, PtrList* list, void* ref) {
        reset();
        qel::push_pointer(st, list);
        qel::push_pointer(st, ref);
        return call(fn);
    }
};

TEST_F(HashListBuiltins, ReadTheirTextThroughRefArguments) {
    PtrList* l = ptr_list_create();
    StringVar key(u"key"), twin(u"kez"), absent;
    // "key" and "kez" differ in the last unit only: different hashes.
    EXPECT_EQ(run(bi_hash_list_add, l, &key.text), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(run(bi_hash_list_add, l, &twin.text), "");
    EXPECT_EQ(run(bi_hash_list_indexof, l, &twin.text), "");
    EXPECT_EQ(top_int(), 1);
    EXPECT_EQ(count(), 1);
    // A variable that holds no string yet is the empty text; nothing has that hash here.
    EXPECT_EQ(run(bi_hash_list_indexof, l, &absent.text), "");
    EXPECT_EQ(top_int(), -1);
    EXPECT_EQ(run(bi_hash_list_remove, l, &key.text), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(run(bi_hash_list_indexof, l, &twin.text), "");
    EXPECT_EQ(top_int(), 0);
    EXPECT_EQ(run(bi_hash_list_remove, l, &absent.text), "");  // absent: nothing happens
    EXPECT_EQ(l->count, 1);

    EXPECT_EQ(run(bi_hash_list_add, l, nullptr), "Null string reference");
    EXPECT_EQ(run(bi_hash_list_indexof, nullptr, &key.text), "Null list reference");
    EXPECT_EQ(l->count, 1);
    hashClear(l);
    ptr_list_destroy(l);
}

}  // namespace
