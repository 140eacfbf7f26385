// Hash lists: entries found by the NameHash of their text alone, through the hash_list built-ins
// with ref string arguments.
#include <string>

#include "builtin_harness.h"
#include "base/hash_list.h"
#include "base/name_hash.h"

using namespace qel;
using qeltest::Ptr;

namespace {

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
