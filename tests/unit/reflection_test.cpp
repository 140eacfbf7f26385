// Reflection built-ins over a small image: enums, member search, layout and finalization of class
// descriptors, named resources, and the refresh of the locale settings.
#include <cstdlib>
#include <cstring>
#include <string>

#include "builtin_harness.h"
#include "host/system_block.h"
#include "image/instruction.h"
#include "stdlib/name_hash.h"
#include "types/class_registry.h"

using namespace qel;

namespace {

const char* const kImage =
    "#include \"prelude/minimal.qsrc\"\n"
    "[METADATA]\n"
    "enum Colour i Test\n"
    "Red 1\n"
    "Green 20\n"
    "Blue -3\n"
    "class Base object 0 Test\n"
    "0 1 i int FCount 0\n"
    "0 1 s string FName 0\n"
    "1 0 i int Count FCount FCount n\n"
    "1 0 s string Name FName 0 n\n"
    "1 1 i int Size 0 SetSize n\n"
    "class Derived Base 0 Test\n"
    "0 1 d double FValue 0\n"
    "1 0 i int Count FCount 0 n\n"
    "1 0 i int Total FCount 0 n\n"
    "struct Point [none] Test\n"
    "0 1 i int X 0\n"
    "0 1 i int Y 0\n"
    "struct Point3 Point Test\n"
    "0 1 i int Z 0\n"
    "class PHandle object 1 Test\n"
    "[/METADATA]\n"
    "[RESOURCE]\n"
    "Icon\n"
    "0102FF\n"
    "[/RESOURCE]\n"
    "[SOURCE]\n"
    "method Base::Base.[a:1][m:0][p:00][r:v][v:]\n"
    "create object\n"
    "ret\n"
    "method Base::SetSize.[a:1][m:0][p:01][r:v][v:i]\n"
    "ret\n"
    "method Derived::Derived.[a:1][m:0][p:00][r:v][v:]\n"
    "create Base\n"
    "ret\n"
    "[/SOURCE]\n";

class Reflection : public qeltest::Builtins {
public:
    void SetUp() override {
        image = qeltest::load(kImage);
        ASSERT_TRUE(image.ok) << image.failure().what;
        st = &image.rt->stack;
        st->count = 0;
        init_bare_frame(frame, st);
    }

    Reflection& i(int32_t v) { Builtins::i(v); return *this; }
    Reflection& p(const void* v) { Builtins::p(v); return *this; }
    Reflection& s(const std::u16string& v) { Builtins::s(v); return *this; }

protected:
    Runtime& rt() { return *image.rt; }
    CClass* cls(const char* name) { return qeltest::find_class(rt(), name); }

    void* pointer_of(BuiltinFn fn) {
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        void* v = top_pointer();
        reset();
        return v;
    }
    std::string error_of(BuiltinFn fn) {
        std::string e = call(fn);
        reset();
        return e;
    }
    ResourceRec* load_res(const std::u16string& name) {
        s(name);
        return static_cast<ResourceRec*>(pointer_of(bi_LoadRes));
    }
    ResourceRec* create_res(const std::u16string& name, const void* data, uint32_t n) {
        struct {
            const void* data;
            uint32_t count;
        } block{data, n};
        s(name).p(&block);
        return static_cast<ResourceRec*>(pointer_of(bi_CreateRes));
    }
    static std::string bytes_of(const ResourceRec* r) {
        return r ? std::string(reinterpret_cast<const char*>(r->data), r->size) : "<none>";
    }
};

TEST_F(Reflection, EnumInfoFindsEnumsByExactName) {
    auto* colour = static_cast<CEnum*>(enum_by_name(rt().enums, "Colour"));
    ASSERT_TRUE(colour);
    struct Case {
        std::u16string name;
        const void* expected;
    } cases[] = {{u"Colour", colour}, {u"colour", nullptr}, {u"", nullptr}, {u"Colours", nullptr}};
    for (const auto& c : cases) {
        s(c.name);
        EXPECT_EQ(pointer_of(bi_EnumInfo), c.expected);
    }
}

TEST_F(Reflection, EnumValueWritesThroughTheReference) {
    const void* colour = enum_by_name(rt().enums, "Colour");
    struct Case {
        std::u16string name;
        int32_t expected;
    } cases[] = {{u"Red", 1}, {u"Green", 20}, {u"Blue", -3}, {u"blue", 12345}, {u"", 12345}, {u"Purple", 12345}};
    for (const auto& c : cases) {
        // The reference is a variable slot of 8 bytes: only its int word is written.
        int32_t out[2] = {12345, 777};
        p(colour).s(c.name).p(out);
        EXPECT_EQ(call(bi_enum_value), "");
        EXPECT_EQ(count(), 0);
        EXPECT_EQ(out[0], c.expected);
        EXPECT_EQ(out[1], 777);
        reset();
    }
    int32_t out = 5;
    p(nullptr).s(u"Red").p(&out);
    EXPECT_EQ(call(bi_enum_value), "");
    EXPECT_EQ(out, 5);
    reset();
    p(colour).s(u"Red").p(nullptr);
    EXPECT_EQ(error_of(bi_enum_value), "Null int reference");
}

TEST_F(Reflection, ClassSearchFieldFollowsTheFindingRules) {
    struct Case {
        const char* start;
        std::u16string name;
        const char* owner;  // the class whose own field is expected; null for none
        const char* field;
    } cases[] = {
        {"Derived", u"FValue", "Derived", "FValue"},
        {"Derived", u"FCount", "Base", "FCount"},
        {"Derived", u"FClassInfo", "object", "FClassInfo"},
        {"Base", u"FValue", nullptr, nullptr},  // no search downwards
        {"Derived", u"fcount", nullptr, nullptr},
        {"Point3", u"Z", "Point3", "Z"},
        {"Point3", u"X", nullptr, nullptr},  // a struct's search stops at the struct
        {"Derived", u"Count", nullptr, nullptr},  // a property is not a field
    };
    for (const auto& c : cases) {
        p(cls(c.start)).s(c.name);
        CMember* expected = c.owner ? field_of(cls(c.owner), c.field) : nullptr;
        if (c.owner) {
            ASSERT_TRUE(expected) << c.owner << "." << c.field;
        }
        EXPECT_EQ(pointer_of(bi_class_search_field), expected) << c.start;
    }
    p(nullptr).s(u"FCount");
    EXPECT_EQ(pointer_of(bi_class_search_field), nullptr);
    i(1).i(2);
    EXPECT_EQ(error_of(bi_class_search_field), "Cannot convert 'int' to 'string'");
}

TEST_F(Reflection, ClassSearchPropFindsReadableThenWritableProperties) {
    struct Case {
        const char* start;
        const char16_t* name;
        const char* owner;  // the class whose own property is expected; null for none
        const char* property;
    } cases[] = {
        {"Derived", u"Count", "Derived", "Count"},  // the derived class's own
        {"Derived", u"Name", "Base", "Name"},
        {"Derived", u"Size", "Base", "Size"},  // write-only
        {"Base", u"Total", nullptr, nullptr},
        {"Derived", u"FValue", nullptr, nullptr},  // a field is not a property
        {"Derived", u"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        p(cls(c.start)).s(c.name);
        CMember* expected = c.owner ? property_of(cls(c.owner), c.property) : nullptr;
        if (c.owner) {
            ASSERT_TRUE(expected) << c.owner;
        }
        EXPECT_EQ(pointer_of(bi_class_search_prop), expected) << c.start;
    }
    p(nullptr).s(u"Count");
    EXPECT_EQ(pointer_of(bi_class_search_prop), nullptr);
}

TEST_F(Reflection, ClassCalcSizeLaysOutAgain) {
    // A registered struct whose field changed type.
    CClass* point = cls("Point");
    field_of(point, "X")->type = 'd';
    p(point);
    ASSERT_EQ(call(bi_class_calc_size), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(field_of(point, "X")->address, 0);
    EXPECT_EQ(field_of(point, "Y")->address, 8);
    EXPECT_EQ(point->size, 16);

    // A descriptor built by hand on the heap, as a script builds one, deriving from Base.
    auto* made = static_cast<CClass*>(std::calloc(1, sizeof(CClass)));
    made->name = strdup("Made");
    made->base_class = cls("Base");
    made->fields = ptr_list_create();
    auto* flag = static_cast<CMember*>(std::calloc(1, sizeof(CMember)));
    flag->name = strdup("FFlag");
    flag->type = 'b';
    auto* value = static_cast<CMember*>(std::calloc(1, sizeof(CMember)));
    value->name = strdup("FValue");
    value->type = 'd';
    made->fields->add(flag);
    made->fields->add(value);
    p(made);
    ASSERT_EQ(call(bi_class_calc_size), "");
    EXPECT_EQ(cls("Base")->size, 12);
    EXPECT_EQ(flag->address, 12);
    EXPECT_EQ(value->address, 16);
    EXPECT_EQ(made->size, 24);
    reset();
    // Finalizing it frees what it owns; the block itself is the script's.
    p(made);
    ASSERT_EQ(call(bi_class_finalize), "");
    EXPECT_EQ(made->fields, nullptr);
    std::free(made->name);
    std::free(made);
    reset();

    // An internal class has no layout: its size stays 0.
    p(cls("PHandle"));
    ASSERT_EQ(call(bi_class_calc_size), "");
    EXPECT_EQ(cls("PHandle")->size, 0);
    reset();

    // An embedded member whose type is no class cannot be laid out: a clear error.
    auto* broken = static_cast<CMember*>(std::calloc(1, sizeof(CMember)));
    broken->name = strdup("FInner");
    broken->type = 'p';
    broken->kind = kMemberObject;
    broken->array_length = -1;
    point->fields->add(broken);
    p(point);
    EXPECT_EQ(error_of(bi_class_calc_size), "embedded member 'FInner' of 'Point' names no class or struct");
    p(nullptr);
    EXPECT_EQ(error_of(bi_class_calc_size), "Class info not found!");
}

TEST_F(Reflection, ClassFinalizeLeavesTheDescriptorSafeToUse) {
    CClass* base = cls("Base");
    CClass* derived = cls("Derived");
    const uint32_t hash = base->hash;
    const int32_t size = base->size;
    Instruction* constructor = base->constructor;
    CMember* total = property_of(derived, "Total");
    ASSERT_EQ(total->read->type, kPropField);
    ASSERT_EQ(total->read->ptr, field_of(base, "FCount"));

    p(base);
    ASSERT_EQ(call(bi_class_finalize), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(base->fields, nullptr);
    EXPECT_EQ(base->ofields, nullptr);
    EXPECT_EQ(base->properties, nullptr);
    EXPECT_EQ(base->methods, nullptr);
    ASSERT_TRUE(base->name);
    EXPECT_STREQ(base->name, "");
    EXPECT_EQ(base->hash, hash);
    EXPECT_EQ(base->size, size);
    EXPECT_EQ(base->constructor, constructor);
    EXPECT_EQ(class_by_hash(rt().classes, name_hash("Base")), base);
    EXPECT_EQ(method_in_chain(derived, "SetSize"), nullptr);
    // Accessors of the derived class that read the freed field are unbound.
    EXPECT_EQ(total->read->type, kPropNone);
    EXPECT_EQ(total->read->ptr, nullptr);
    reset();

    // Searches and access by name through the derived class see only what is left.
    p(derived).s(u"FCount");
    EXPECT_EQ(pointer_of(bi_class_search_field), nullptr);
    p(derived).s(u"FValue");
    EXPECT_EQ(pointer_of(bi_class_search_field), field_of(derived, "FValue"));
    auto* obj = static_cast<CClass**>(std::calloc(1, static_cast<size_t>(derived->size)));
    obj[0] = derived;
    p(obj).s(u"Total");
    EXPECT_EQ(call(bi_GetObjProp), "");
    EXPECT_EQ(count(), 0);  // nothing to read: nothing pushed
    reset();
    p(obj);
    ASSERT_EQ(call(bi_object_class_name), "");
    EXPECT_EQ(top_string(), "Derived");
    reset();
    std::free(obj);

    // A second finalize, and the runtime's own release at the end of the test, free nothing twice.
    p(base);
    EXPECT_EQ(call(bi_class_finalize), "");
    p(nullptr);
    EXPECT_EQ(call(bi_class_finalize), "");
}

TEST_F(Reflection, LoadResMatchesNamesByteForByte) {
    ResourceRec* icon = load_res(u"Icon");
    ASSERT_TRUE(icon);
    EXPECT_EQ(bytes_of(icon), std::string("\x01\x02\xFF", 3));
    for (const char16_t* other : {u"icon", u"ICON", u"Icon ", u"Ico", u""}) EXPECT_EQ(load_res(other), nullptr);
    i(3);
    EXPECT_EQ(error_of(bi_LoadRes), "Cannot convert 'int' to 'string'");
}

TEST_F(Reflection, CreateResAddsOrReplacesWithACopy) {
    const int32_t before = rt().code.resources.count;
    char bytes[] = "blob";
    ResourceRec* blob = create_res(u"Blob", bytes, 4);
    ASSERT_TRUE(blob);
    EXPECT_EQ(rt().code.resources.count, before + 1);
    EXPECT_STREQ(blob->name, "Blob");
    bytes[0] = 'X';
    EXPECT_EQ(bytes_of(blob), "blob");
    EXPECT_EQ(load_res(u"Blob"), blob);

    // The same name keeps its record and gets new data.
    ResourceRec* icon = load_res(u"Icon");
    EXPECT_EQ(create_res(u"Icon", "xy", 2), icon);
    EXPECT_EQ(bytes_of(icon), "xy");
    EXPECT_EQ(rt().code.resources.count, before + 1);

    // Data taken from the resource itself is copied before the old data goes.
    EXPECT_EQ(create_res(u"Blob", blob->data + 1, 3), blob);
    EXPECT_EQ(bytes_of(blob), "lob");

    // No bytes: an empty resource that still has a block.
    ResourceRec* empty = create_res(u"Empty", nullptr, 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size, 0u);
    EXPECT_TRUE(empty->data);

    // Names pass through the ANSI code page both ways.
    ResourceRec* accented = create_res(u"R\u00E9sum\u00E9", "z", 1);
    EXPECT_EQ(load_res(u"R\u00E9sum\u00E9"), accented);
    EXPECT_EQ(load_res(u"Resume"), nullptr);

    // Bad blocks are errors and change nothing.
    const int32_t now = rt().code.resources.count;
    s(u"Bad").p(nullptr);
    EXPECT_EQ(error_of(bi_CreateRes), "Null pointer passed to CreateRes");
    struct {
        const void* data;
        uint32_t count;
    } missing{nullptr, 3};
    s(u"Bad").p(&missing);
    EXPECT_EQ(error_of(bi_CreateRes), "Null pointer passed to CreateRes");
    EXPECT_EQ(rt().code.resources.count, now);
    EXPECT_EQ(load_res(u"Bad"), nullptr);
}

TEST_F(Reflection, SystemInitializeReadsTheLocaleAgain) {
    CSystemFormats& formats = system_formats();
    const char16_t decimal = formats.DecimalSeparator;
    const std::string shortDate = utf8(*formats.ShortDateFormat);
    const std::string monday = utf8(*locale_names().long_days[1]);
    ASSERT_FALSE(shortDate.empty());
    formats.DecimalSeparator = u'#';
    formats.ShortDateFormat->assignNarrow("scribbled");
    locale_names().long_days[1]->assignNarrow("Someday");
    EXPECT_EQ(call(bi_system_initialize), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(formats.DecimalSeparator, decimal);
    EXPECT_EQ(utf8(*formats.ShortDateFormat), shortDate);
    EXPECT_EQ(utf8(*locale_names().long_days[1]), monday);
}

}  // namespace
