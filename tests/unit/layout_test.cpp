// The layout rule: each field aligned to its element size, embedded structs by their pointer
// code, sizes rounded to the largest alignment of the class's own fields.
#include <gtest/gtest.h>

#include "test_support.h"
#include "types/class_registry.h"

using namespace qel;

namespace {

std::string with_metadata(const std::string& body) {
    return "[METADATA]\n"
           "class object [none] 0 System\n"
           "0 1 p CClass FClassInfo 0\n"
           "struct Global [none] System\n" +
           body + "[/METADATA]\n";
}

struct Offsets {
    const char* cls;
    std::vector<std::pair<const char*, int>> fields;
    int size;
};

void expect_layout(Runtime& rt, const Offsets& o) {
    CClass* c = class_by_name(rt.program.classes, o.cls);
    ASSERT_TRUE(c) << o.cls;
    for (auto& [name, offset] : o.fields) {
        CMember* f = field_of(c, name);
        ASSERT_TRUE(f) << o.cls << "." << name;
        EXPECT_EQ(f->address, offset) << o.cls << "." << name;
    }
    EXPECT_EQ(c->size, o.size) << o.cls;
}

TEST(Layout, TheRuleOnItsExamples) {
    auto l = qeltest::parse(with_metadata(
        "struct Mixed [none] System\n"
        "0 1 e byte a 0\n0 1 d double b 0\n0 1 i int c 0\n"
        "class OneBool object 1 System\n"  // internal: no layout
        "class Flag object 0 System\n0 1 b bool f 0\n"
        "class FlagInt object 0 System\n0 1 b bool f 0\n0 1 i int n 0\n"
        "struct Find [none] System\n0 1 i int attr 0\n0 1 c char cFileName 260\n0 1 b bool tail 0\n"
        "struct tagRECT [none] System\n0 1 i int left 0\n0 1 i int top 0\n0 1 i int right 0\n0 1 i int bottom 0\n"
        "struct Item [none] System\n0 1 b bool on 0\n0 1 p tagRECT rcItem new\n0 1 e byte after 0\n"
        "class Empty object 0 System\n"
        "struct Nothing [none] System\n"
        "class Derived Flag 0 System\n0 1 m short s 0\n"
        "struct WithMethod [none] System\n0 1 e byte a 0\n0 1 t method m 0\n0 1 l long l 0\n"));
    ASSERT_TRUE(l.ok) << l.failure().what;
    Runtime& rt = *l.rt;
    expect_layout(rt, {"Mixed", {{"a", 0}, {"b", 8}, {"c", 16}}, 24});
    expect_layout(rt, {"object", {{"FClassInfo", 0}}, 4});
    expect_layout(rt, {"Flag", {{"f", 4}}, 5});
    expect_layout(rt, {"FlagInt", {{"f", 4}, {"n", 8}}, 12});
    expect_layout(rt, {"Find", {{"attr", 0}, {"cFileName", 4}, {"tail", 524}}, 528});
    expect_layout(rt, {"Item", {{"on", 0}, {"rcItem", 4}, {"after", 20}}, 24});
    expect_layout(rt, {"Empty", {}, 4});
    expect_layout(rt, {"Nothing", {}, 0});
    expect_layout(rt, {"Derived", {{"s", 6}}, 8});
    expect_layout(rt, {"WithMethod", {{"a", 0}, {"m", 8}, {"l", 16}}, 24});
    EXPECT_EQ(class_by_name(rt.program.classes, "OneBool")->size, 0);
}

TEST(Layout, BaseChainLookupsAndIsA) {
    auto l = qeltest::parse(with_metadata(
        "class A object 0 System\n0 1 i int a 0\n1 0 i int PA a 0 n\n"
        "class B A 0 System\n0 1 i int b 0\n"
        "class C B 0 System\n0 1 i int c 0\n"
        "class Other object 0 System\n"));
    ASSERT_TRUE(l.ok);
    Runtime& rt = *l.rt;
    CClass* c = class_by_name(rt.program.classes, "C");
    CClass* a = class_by_name(rt.program.classes, "A");
    EXPECT_EQ(field_of(c, "a"), nullptr);
    EXPECT_EQ(field_in_chain(c, "a"), field_of(a, "a"));
    EXPECT_EQ(property_in_chain(c, "PA"), property_of(a, "PA"));
    EXPECT_TRUE(is_a(c, "A"));
    EXPECT_TRUE(is_a(c, "object"));
    EXPECT_FALSE(is_a(c, "Other"));
    EXPECT_TRUE(is_a(c, a));
    EXPECT_FALSE(is_a(a, c));
    expect_layout(rt, {"C", {{"c", 12}}, 16});
}

TEST(Layout, AnUndeclaredBaseIsDroppedAndTheLoadGoesOn) {
    auto l = qeltest::parse(with_metadata("class Orphan Missing 0 System\n0 1 i int x 0\n"));
    ASSERT_TRUE(l.ok);
    CClass* o = class_by_name(l.rt->program.classes, "Orphan");
    EXPECT_EQ(o->base_class, nullptr);
    EXPECT_EQ(field_of(o, "x")->address, 0);
}

}  // namespace
