// Objects and reflection: enums, member search, layout and finalization of descriptors, resources,
// the locale refresh, members by name, method values, construction, release and dispatch.
#include <cstdlib>
#include <cstring>

#include "builtin_harness.h"
#include "types/system_records.h"
#include "image/instruction.h"
#include "types/class_registry.h"

using namespace qel;
using qeltest::Ptr;

namespace {

const char* const kImage =
    "#include \"prelude/minimal.qsrc\"\n[METADATA]\nenum Colour i Test\nRed 1\nGreen 20\nBlue -3\n"
    "class Base object 0 Test\n0 1 i int FCount 0\n0 1 s string FName 0\n1 0 i int Count FCount FCount n\n"
    "1 0 s string Name FName 0 n\n1 1 i int Size 0 SetSize n\n"
    "class Derived Base 0 Test\n0 1 d double FValue 0\n1 0 i int Count FCount 0 n\n1 0 i int Total FCount 0 n\n"
    "struct Point [none] Test\n0 1 i int X 0\n0 1 i int Y 0\nstruct Point3 Point Test\n0 1 i int Z 0\n"
    "class PHandle object 1 Test\n[/METADATA]\n[RESOURCE]\nIcon\n0102FF\n[/RESOURCE]\n[SOURCE]\n"
    "method Base::Base.[a:1][m:0][p:00][r:v][v:]\ncreate object\nret\nmethod Base::SetSize.[a:1][m:0][p:01][r:v][v:i]\nret\n"
    "method Derived::Derived.[a:1][m:0][p:00][r:v][v:]\ncreate Base\nret\n[/SOURCE]\n";

class Reflection : public qeltest::Builtins {
protected:
    void SetUp() override { use_image(kImage); }
    Runtime& rt() { return *image.rt; }
    CClass* cls(const char* name) { return qeltest::find_class(rt(), name); }
    ResourceRec* load_res(const std::u16string& name) { return pointer<ResourceRec>(bi_LoadRes, {name}); }
    ResourceRec* create_res(const std::u16string& name, const void* data, uint32_t n) {
        struct { const void* data; uint32_t count; } block{data, n};
        return pointer<ResourceRec>(bi_CreateRes, {name, Ptr{&block}});
    }
    static std::string bytes_of(const ResourceRec* r) { return r ? std::string(reinterpret_cast<const char*>(r->data), r->size) : "<none>"; }
    static std::u16string str(const WStr& w) { return std::u16string(w.text(), w.length); }
};

TEST_F(Reflection, EnumsByExactName) {
    const void* colour = enum_by_name(rt().program.enums, "Colour");
    ASSERT_TRUE(colour);
    EXPECT_EQ(pointer(bi_EnumInfo, {u"Colour"}), colour);
    EXPECT_EQ(pointer(bi_EnumInfo, {u"colour"}), nullptr);
    // enum_value writes the member's value through the reference; an unknown name, or no enum,
    // leaves it as it was.
    struct { const void* info; std::u16string name; int32_t expected; } cases[] = {
        {colour, u"Green", 20},    {colour, u"Blue", -3},       {colour, u"blue", 12345},
        {colour, u"", 12345},      {colour, u"Gre", 12345},      {nullptr, u"Red", 12345},
    };
    for (const auto& c : cases) {
        int32_t out[2] = {12345, 777};  // a variable slot of 8 bytes: only its int word is written
        EXPECT_EQ(result(bi_enum_value, {Ptr{c.info}, c.name, Ptr{out}}), "<0 values>");
        EXPECT_EQ(out[0], c.expected);
        EXPECT_EQ(out[1], 777);
    }
    EXPECT_EQ(run(bi_enum_value, {Ptr{colour}, u"Red", Ptr{nullptr}}), "Null int reference");
}

TEST_F(Reflection, MemberSearchFollowsTheFindingRules) {
    struct { BuiltinFn fn; const char* start; const char* name; const char* owner; } cases[] = {
        // fields: the owner is the class whose own field is expected; null for none
        {bi_class_search_field, "Derived", "FValue", "Derived"}, {bi_class_search_field, "Derived", "FCount", "Base"},
        {bi_class_search_field, "Derived", "FClassInfo", "object"},
        {bi_class_search_field, "Base", "FValue", nullptr},  // no search downwards
        {bi_class_search_field, "Derived", "fcount", nullptr}, {bi_class_search_field, "Point3", "Z", "Point3"},
        {bi_class_search_field, "Point3", "X", nullptr},  // a struct's search stops at the struct
        {bi_class_search_field, "Derived", "Count", nullptr},  // a property is not a field
        // properties: readable ones first, then write-only ones
        {bi_class_search_prop, "Derived", "Count", "Derived"},  // the derived class's own
        {bi_class_search_prop, "Derived", "Name", "Base"}, {bi_class_search_prop, "Derived", "Size", "Base"},  // write-only
        {bi_class_search_prop, "Base", "Total", nullptr}, {bi_class_search_prop, "Derived", "FValue", nullptr},  // a field is not a property
    };
    for (const auto& c : cases) {
        const std::u16string name(c.name, c.name + std::strlen(c.name));
        CMember* expected = !c.owner                       ? nullptr
                            : c.fn == bi_class_search_field ? field_of(cls(c.owner), c.name)
                                                            : property_of(cls(c.owner), c.name);
        if (c.owner) ASSERT_TRUE(expected) << c.owner << "." << c.name;
        EXPECT_EQ(pointer(c.fn, {Ptr{cls(c.start)}, name}), expected) << c.start << "." << c.name;
        EXPECT_EQ(pointer(c.fn, {Ptr{nullptr}, name}), nullptr);
    }
    EXPECT_EQ(run(bi_class_search_field, {1, 2}), "Cannot convert 'int' to 'string'");
}

TEST_F(Reflection, ClassCalcSizeLaysOutAgain) {
    CClass* point = cls("Point");  // a registered struct whose field changed type
    field_of(point, "X")->type = 'd';
    EXPECT_EQ(result(bi_class_calc_size, {Ptr{point}}), "<0 values>");
    EXPECT_EQ(field_of(point, "Y")->address * 100 + point->size, 816);
    // An internal class has no layout: its size stays 0.
    EXPECT_EQ(run(bi_class_calc_size, {Ptr{cls("PHandle")}}), "");
    EXPECT_EQ(cls("PHandle")->size, 0);
    // An embedded member whose type is no class cannot be laid out: a clear error.
    auto* broken = static_cast<CMember*>(std::calloc(1, sizeof(CMember)));
    broken->name = strdup("FInner"), broken->type = 'p', broken->kind = kMemberObject, broken->array_length = -1;
    point->fields->add(broken);
    EXPECT_EQ(run(bi_class_calc_size, {Ptr{point}}), "embedded member 'FInner' of 'Point' names no class or struct");
    EXPECT_EQ(run(bi_class_calc_size, {Ptr{nullptr}}), "Class info not found!");
}

TEST_F(Reflection, ClassFinalizeLeavesTheDescriptorSafeToUse) {
    CClass *base = cls("Base"), *derived = cls("Derived");
    const uint32_t hash = base->hash;
    const int32_t size = base->size;
    CMember* total = property_of(derived, "Total");
    ASSERT_EQ(total->read->ptr, field_of(base, "FCount"));
    EXPECT_EQ(result(bi_class_finalize, {Ptr{base}}), "<0 values>");
    EXPECT_TRUE(!base->fields && !base->ofields && !base->properties && !base->methods);
    EXPECT_TRUE(base->name && !*base->name && base->hash == hash && base->size == size);
    // Accessors of the derived class that read the freed field are unbound.
    EXPECT_TRUE(total->read->type == kPropNone && total->read->ptr == nullptr);
    // Searches through the derived class see only what is left.
    EXPECT_EQ(pointer(bi_class_search_field, {Ptr{derived}, u"FCount"}), nullptr);
    EXPECT_EQ(pointer(bi_class_search_field, {Ptr{derived}, u"FValue"}), field_of(derived, "FValue"));

    // A second finalize, and the runtime's own release at the end of the test, free nothing twice.
    EXPECT_EQ(run(bi_class_finalize, {Ptr{base}}) + run(bi_class_finalize, {Ptr{nullptr}}), "");
}

TEST_F(Reflection, ResourcesByNameAddedOrReplacedWithACopy) {
    ResourceRec* icon = load_res(u"Icon");
    EXPECT_EQ(bytes_of(icon), std::string("\x01\x02\xFF", 3));
    for (const char16_t* other : {u"icon", u"Icon ", u"Ico", u""}) EXPECT_EQ(load_res(other), nullptr);

    const int32_t before = rt().program.code.resources.count;
    char bytes[] = "blob";
    ResourceRec* blob = create_res(u"Blob", bytes, 4);
    ASSERT_TRUE(blob);
    EXPECT_STREQ(blob->name, "Blob");
    bytes[0] = 'X';
    EXPECT_EQ(bytes_of(blob), "blob");
    EXPECT_EQ(load_res(u"Blob"), blob);
    // The same name keeps its record and gets new data, also data taken from the resource itself.
    EXPECT_EQ(create_res(u"Icon", "xy", 2), icon);
    EXPECT_EQ(bytes_of(icon), "xy");
    EXPECT_EQ(create_res(u"Blob", blob->data + 1, 3), blob);
    EXPECT_EQ(bytes_of(blob), "lob");
    EXPECT_EQ(rt().program.code.resources.count, before + 1);
    // No bytes: an empty resource that still has a block.
    ResourceRec* empty = create_res(u"Empty", nullptr, 0);
    EXPECT_TRUE(empty && empty->size == 0 && empty->data);
    // Names pass through the ANSI code page both ways.
    ResourceRec* accented = create_res(u"R\u00E9sum\u00E9", "z", 1);
    EXPECT_EQ(load_res(u"R\u00E9sum\u00E9"), accented);
    EXPECT_EQ(load_res(u"Resume"), nullptr);

    // Bad blocks are errors and change nothing.
    EXPECT_EQ(run(bi_CreateRes, {u"Bad", Ptr{nullptr}}), "Null pointer passed to CreateRes");
    struct { const void* data; uint32_t count; } missing{nullptr, 3};
    EXPECT_EQ(run(bi_CreateRes, {u"Bad", Ptr{&missing}}), "Null pointer passed to CreateRes");
    EXPECT_EQ(rt().program.code.resources.count, before + 3);  // Blob, Empty and the accented name
    EXPECT_EQ(run(bi_LoadRes, {3}), "Cannot convert 'int' to 'string'");
}

TEST_F(Reflection, SystemInitializeReadsTheLocaleAgain) {
    CSystemFormats& formats = system_formats();
    auto settings = [&] {
        return std::u16string(1, formats.DecimalSeparator) + u"|" + str(*formats.ShortDateFormat) + u"|" + str(*locale_names().long_days[1]);
    };
    const std::u16string before = settings();
    ASSERT_GT(formats.ShortDateFormat->length, 0u);
    formats.DecimalSeparator = u'#';
    formats.ShortDateFormat->assign_narrow("scribbled");
    locale_names().long_days[1]->assign_narrow("Someday");
    EXPECT_EQ(result(bi_system_initialize), "<0 values>");
    EXPECT_EQ(settings(), before);
}

// Fields and properties read and written by name: through field accessors, plain and virtual
// method accessors (an override wins), starting at a given class, and is-published.
TEST_F(Reflection, MembersByName) {
    declarations =
        "[METADATA]\nclass Base object 0 Test\n0 1 i int FCount 0\n0 1 s string FName 0\n0 1 e byte FByte 0\n"
        "0 1 c char FChar 0\n0 1 f float FFloat 0\n1 0 i int Count GetCount SetCount 0\n1 0 s string Name FName FName n\n"
        "1 2 i int Hidden FCount 0 n\nclass Derived Base 0 Test\n[/METADATA]\n[SOURCE]\n"
        "method Base::Base.[a:1][m:0][p:00][r:v][v:]\nret\n"
        "method Base::GetCount.[a:1][m:0][p:00][r:i][v:]\nldthis\nldpint Base.FCount\nldint 10\nmul\nreturn\n"
        "method Base::SetCount.[a:1][m:1][p:01][r:v][v:i]\nldvint 0\nldthis\nstpint Base.FCount\nret\n"
        "method Derived::Derived.[a:1][m:0][p:00][r:v][v:]\ncreate Base\nret\n"
        "method Derived::SetCount.[a:1][m:2][p:01][r:v][v:i]\nldvint 0\nldint 1\nadd\nldthis\nstpint Base.FCount\nret\n"
        "[/SOURCE]\n";
    struct { const char *body, *expected; } rows[] = {
        {"ldint 12\nldvptr 0\nldstr \"FCount\"\ncallstd SetObjField\nldvptr 0\nldstr \"FCount\"\ncallstd GetObjField", "i:12"},
        {"ldstr \"named\"\nldvptr 0\nldstr \"Name\"\ncallstd SetObjProp\nldvptr 0\nldstr \"Name\"\ncallstd GetObjProp", "s:named"},
        // The setter is virtual, so Derived's override (which adds 1) runs; the getter is plain.
        {"ldint 5\nldvptr 0\nldstr \"Count\"\ncallstd SetObjProp\nldvptr 0\nldstr \"Count\"\ncallstd GetObjProp", "i:60"},
        // Byte, char and float fields convert on the way in and out, starting at a given class.
        {"ldint 255\nldvptr 0\nldcls Base\nldstr \"FByte\"\ncallstd SetFieldValue\nldvptr 0\nldcls Base\nldstr \"FByte\"\n"
         "callstd GetFieldValue", "i:-1"},
        {"ldint 65535\nldvptr 0\nldint 0\nldstr \"FChar\"\ncallstd SetFieldValue\nldvptr 0\nldint 0\nldstr \"FChar\"\n"
         "callstd GetFieldValue", "i:65535"},
        {"lddbl 0.1\nldvptr 0\nldstr \"FFloat\"\ncallstd SetObjField\nldvptr 0\nldstr \"FFloat\"\ncallstd GetObjField",
         "d:0.10000000149011612"},
        {"ldvptr 0\nldstr \"Name\"\ncallstd IsPublished", "b:true"},
        {"ldvptr 0\nldstr \"Hidden\"\ncallstd IsPublished", "b:false"},
        {"ldvptr 0\nldstr \"Nothing\"\ncallstd IsPublished", "b:false"},
        // A set with an unknown name, or of a property without a write accessor, leaves the value.
        {"ldint 77\nldvptr 0\nldstr \"NoSuchField\"\ncallstd SetObjField", "i:77"},
        {"ldint 78\nldvptr 0\nldstr \"Hidden\"\ncallstd SetObjProp", "i:78"},
    };
    for (const auto& r : rows) EXPECT_EQ(eval("p", std::string("newobj Derived\nstvptr 0\n") + r.body), r.expected) << r.body;
}

// Objects and classes from a script: classes by name, class names of objects, inheritance up to
// the root, New and Free, and method values called plainly, virtually and by name.
TEST_F(Reflection, ObjectsAndMethodValues) {
    declarations =
        "[METADATA]\nclass Shape object 0 Test\nclass Circle Shape 0 Test\nclass Other object 0 Test\n"
        "struct Pair [none] Test\n0 1 s string Key 0\n[/METADATA]\n[SOURCE]\n"
        "method Shape::Shape.[a:1][m:0][p:00][r:v][v:]\nret\n"
        "method Shape::Draw.[a:1][m:1][p:00][r:s][v:]\nldstr \"Shape.Draw\"\nreturn\n"
        "method Circle::Circle.[a:1][m:0][p:00][r:v][v:]\ncreate Shape\nret\n"
        "method Circle::Draw.[a:1][m:2][p:00][r:s][v:]\nldstr \"Circle.Draw\"\nreturn\n"
        "method Other::Other.[a:1][m:0][p:00][r:v][v:]\nret\n"
        "method Helper.[a:1][m:0][p:01][r:i][v:i]\nldvint 0\nldint 2\nmul\nreturn\n[/SOURCE]\n";
    struct { const char *body, *expected; } rows[] = {
        {"ldstr \"Circle\"\ncallstd ClassInfo\ncallstd New\ncallstd object_class_name", "s:Circle"},
        {"ldcls Shape\nldvptr 0\ncallstd object_inherited_class", "b:true"},
        {"ldcls object\nldvptr 0\ncallstd object_inherited_class", "b:true"},
        {"ldcls Other\nldvptr 0\ncallstd object_inherited_class", "b:false"},
        {"ldstr \"Circle\"\ncallstd ClassInfo\nldcls Circle\nbeq", "b:true"},
        {"ldstr \"NoSuchClass\"\ncallstd ClassInfo", "p:0"},
        {"ldvptr 0\nldmtd Shape::Draw\ncallstd Call", "s:Shape.Draw"},
        {"ldvptr 0\nldmtd Shape::Draw\ncallstd CallVirt", "s:Circle.Draw"},
        {"ldint 3\nldstr \"Helper\"\nldint 0\ncallstd Method\ncallstd Call", "i:6"},
        {"ldcls Pair\ncallstd New\nstvptr 0\nldstr \"k\"\nldvptr 0\nstpstr Pair.Key\nldvptr 0\nldcls Pair\ncallstd Free\nldint 1", "i:1"},
    };
    for (const auto& r : rows) EXPECT_EQ(eval("p", std::string("newobj Circle\nstvptr 0\n") + r.body), r.expected) << r.body;
}

// newobj runs the class's own constructor, which runs its base's with create on the object being
// built; object_free runs the destructors from the most derived class up, each once (they log
// into a Holder). callvirt finds the most derived method of that name up the class chain; call
// names the exact method; a name no class has does nothing.
TEST_F(Reflection, ConstructionReleaseAndDispatch) {
    const std::string log = "ldthis\nldpptr Root.FLog\nldpstr Holder.Text\nldstr \"%s\"\nadd\nldthis\nldpptr Root.FLog\nstpstr Holder.Text\n";
    auto logs = [&](const char* s) { std::string l = log; return l.replace(l.find("%s"), 2, s); };
    declarations =
        "[METADATA]\nclass Holder object 0 Test\n0 1 s string Text 0\nclass Root object 0 Test\n0 1 s string FName 0\n"
        "0 1 p pointer FLog 0\nclass Base Root 0 Test\nclass Derived Base 0 Test\n0 1 s string FTitle 0\nclass A object 0 Test\n"
        "class B A 0 Test\nclass C B 0 Test\n[/METADATA]\n[SOURCE]\nmethod Holder::Holder.[a:1][m:0][p:00][r:v][v:]\nret\n"
        "method Root::Root.[a:1][m:0][p:00][r:v][v:]\nldstr \"root\"\nldthis\nstpstr Root.FName\nret\n"
        "method Root::~Root.[a:1][m:0][p:00][r:v][v:]\n" + logs("~Root") + "ret\n"
        "method Base::Base.[a:1][m:0][p:00][r:v][v:]\ncreate Root\nldthis\nldpstr Root.FName\nldstr \",base\"\nadd\nldthis\n"
        "stpstr Root.FName\nret\nmethod Derived::Derived.[a:1][m:0][p:01][r:v][v:s]\ncreate Base\nldvstr 0\nldthis\n"
        "stpstr Derived.FTitle\nret\nmethod Derived::~Derived.[a:1][m:0][p:00][r:v][v:]\n" + logs("~Derived") + "ret\n"
        "method A::A.[a:1][m:0][p:00][r:v][v:]\nret\nmethod A::Only.[a:1][m:1][p:00][r:s][v:]\nldstr \"A.Only\"\nreturn\n"
        "method B::B.[a:1][m:0][p:00][r:v][v:]\ncreate A\nret\nmethod B::Name.[a:1][m:1][p:00][r:s][v:]\nldstr \"B.Name\"\nreturn\n"
        "method C::C.[a:1][m:0][p:00][r:v][v:]\ncreate B\nret\nmethod C::Name.[a:1][m:2][p:00][r:s][v:]\nldstr \"C.Name\"\nreturn\n"
        "[/SOURCE]\n";
    struct { const char *body, *expected; } rows[] = {
        {"ldstr \"hello\"\nnewobj Derived\nstvptr 0\nldvptr 0\nldpstr Derived.FTitle\nldvptr 0\nldpstr Root.FName\nadd",
         "s:helloroot,base"},
        {"ldstr \"x\"\nnewobj Derived\nstvptr 0\nnewobj Holder\nstvptr 1\nldvptr 1\nldvptr 0\nstpptr Root.FLog\nldvptr 0\n"
         "callstd object_free\nldvptr 1\nldpstr Holder.Text", "s:~Derived~Root"},
        {"newobj B\ncallvirt Name", "s:B.Name"}, {"newobj C\ncallvirt Name", "s:C.Name"},
        {"newobj C\ncall B::Name", "s:B.Name"}, {"newobj C\ncallvirt Only", "s:A.Only"},
        {"ldint 7\nnewobj C\ncallvirt Missing", "i:7"},
    };
    for (const auto& r : rows) EXPECT_EQ(eval("pp", r.body), r.expected) << r.body;
}

}  // namespace
