// Hash lists: entries found by the NameHash of their text alone, through the hash_list built-ins
// with ref string arguments.
#include <gtest/gtest.h>

#include <string>

#include "builtin_harness.h"
#include "base/hash_list.h"
#include "base/name_hash.h"

using namespace qel;

namespace {

// A string variable as scripts have them: a slot holding a WStr pointer (null: no string yet).
struct StringVar {
    WStr* text = nullptr;
    explicit StringVar(const char16_t* s = nullptr) {
        if (s) (text = wstr_new())->assign_wide(s);
    }
    ~StringVar() { wstr_delete(text); }
    StringVar(const StringVar&) = delete;
    StringVar& operator=(const StringVar&) = delete;
};

class HashListBuiltins : public qeltest::Builtins {
protected:
    // list, then the address of a string variable; "" or the error message.
    std::string run(BuiltinFn fn, PtrList* list, StringVar* var) {
        reset();
        p(list).p(var ? &var->text : nullptr);
        return call(fn);
    }
    int32_t index_of(PtrList* list, StringVar& var) {
        EXPECT_EQ(run(bi_hash_list_indexof, list, &var), "");
        EXPECT_EQ(count(), 1);
        return top_int();
    }
};

TEST_F(HashListBuiltins, FindByHashAloneAndRemoveTheFirstMatch) {
    // "AB" and "@" U+00C2 have the same NameHash over their units (65 * 128 + 66 = 64 * 128 + 194);
    // "key" and "kez" differ in their last unit only and hash apart.
    StringVar ab(u"AB"), twin(u"@\u00C2"), key(u"key"), kez(u"kez"), absent;
    ASSERT_EQ(name_hash(ab.text->text(), 2), name_hash(twin.text->text(), 2));
    PtrList* l = ptr_list_create();
    for (StringVar* v : {&key, &ab, &ab}) {
        EXPECT_EQ(run(bi_hash_list_add, l, v), "");
        EXPECT_EQ(count(), 0);
    }
    auto* entry = static_cast<HashEntry*>((*l)[1]);
    EXPECT_TRUE(entry->text.equals(*ab.text));
    EXPECT_NE(entry->text.buffer, ab.text->buffer);  // an own copy
    EXPECT_EQ(entry->hash, name_hash(u"AB", 2));
    EXPECT_EQ(index_of(l, key), 0);
    EXPECT_EQ(index_of(l, ab), 1);
    EXPECT_EQ(index_of(l, twin), 1);
    EXPECT_EQ(index_of(l, kez), -1);
    // A variable that holds no string yet is the empty text, which hashes to 0: absent here.
    EXPECT_EQ(index_of(l, absent), -1);

    EXPECT_EQ(run(bi_hash_list_remove, l, &twin), "");  // equal hash, different text: still the key
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(index_of(l, ab), 1);  // the second copy moved down
    EXPECT_EQ(run(bi_hash_list_remove, l, &kez), "");  // absent: nothing happens
    EXPECT_EQ(l->count, 2);
    l->add(nullptr);  // a foreign null element is passed over
    EXPECT_EQ(index_of(l, kez), -1);
    l->remove_at(2);

    EXPECT_EQ(run(bi_hash_list_add, l, nullptr), "Null string reference");
    EXPECT_EQ(run(bi_hash_list_indexof, nullptr, &key), "Null list reference");
    EXPECT_EQ(l->count, 2);
    hash_clear(l);
    EXPECT_TRUE(l->count == 0 && l->items == nullptr);
    ptr_list_destroy(l);
}

}  // namespace
