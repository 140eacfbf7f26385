// Layout: each field aligned to its element size, embedded structs by their pointer code, sizes
// rounded to the largest alignment of the class's own fields; and every record the prelude declares
// for scripts to read equals the runtime's own C++ record, field for field.
#include <gtest/gtest.h>

#include <cstddef>

#include "image/instruction.h"
#include "stdlib/map_records.h"
#include "test_support.h"
#include "types/class_registry.h"
#include "types/proc_records.h"
#include "types/system_records.h"
#include "vm/value.h"

using namespace qel;

namespace {

std::string with_metadata(const std::string& body) {
    return "[METADATA]\nclass object [none] 0 System\n0 1 p CClass FClassInfo 0\nstruct Global [none] System\n" + body + "[/METADATA]\n";
}

struct Offsets { const char* cls; std::vector<std::pair<const char*, int>> fields; int size; };

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

TEST(Layout, TheRuleOnItsExamplesAndTheBaseChain) {
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
        "struct WithMethod [none] System\n0 1 e byte a 0\n0 1 t method m 0\n0 1 l long l 0\n"
        "class A object 0 System\n0 1 i int a 0\n1 0 i int PA a 0 n\nclass B A 0 System\n0 1 i int b 0\n"
        "class C B 0 System\n0 1 i int c 0\nclass Other object 0 System\n"
        "class Orphan Missing 0 System\n0 1 i int x 0\n"));  // an undeclared base is dropped
    ASSERT_TRUE(l.ok) << l.report.what;
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
    expect_layout(rt, {"C", {{"c", 12}}, 16});
    expect_layout(rt, {"Orphan", {{"x", 0}}, 4});
    EXPECT_EQ(class_by_name(rt.program.classes, "OneBool")->size, 0);
    EXPECT_EQ(class_by_name(rt.program.classes, "Orphan")->base_class, nullptr);
    // Roots and structs without a base are no undefined bases.
    EXPECT_EQ(l.notes, std::vector<std::string>{"10 Undefined base class <Missing> for <Orphan>"});
    CClass* c = class_by_name(rt.program.classes, "C");
    CClass* a = class_by_name(rt.program.classes, "A");
    EXPECT_TRUE(field_of(c, "a") == nullptr && field_in_chain(c, "a") == field_of(a, "a"));
    EXPECT_EQ(property_in_chain(c, "PA"), property_of(a, "PA"));
    EXPECT_TRUE(is_a(c, "A") && is_a(c, "object") && !is_a(c, "Other") && !is_a(a, c));
    EXPECT_TRUE(is_a(c, a) && is_a(c, class_by_name(rt.program.classes, "object")));  // the root too
}

// size -1: the declaration is an overlay of a larger record; only offsets are shared.
struct Record { const char* name; int size; std::vector<std::pair<const char*, int>> fields; };

#define F(type, member) {#member, static_cast<int>(offsetof(type, member))}
#define FN(name, type, member) {name, static_cast<int>(offsetof(type, member))}

const Record kRecords[] = {
    {"CSystem", sizeof(CSystem),
     {F(CSystem, ErrorReporting), F(CSystem, ExeMode), F(CSystem, DebugMode), F(CSystem, IsLibrary),
      F(CSystem, ProjectName), F(CSystem, ProjectTitle), F(CSystem, ProjectCompany), F(CSystem, ProjectVersion),
      F(CSystem, ProjectDate), F(CSystem, ExeName), F(CSystem, FileName), F(CSystem, CmdLine), F(CSystem, CmdShow),
      F(CSystem, LoadingTime), F(CSystem, Date), F(CSystem, Version), F(CSystem, Formats), F(CSystem, Environment)}},
    {"CSystemFormats", sizeof(CSystemFormats),
     {F(CSystemFormats, CurrencyFormat), F(CSystemFormats, NegCurrencyFormat), F(CSystemFormats, CurrencyDecimals),
      F(CSystemFormats, ThousandSeparator), F(CSystemFormats, DecimalSeparator), F(CSystemFormats, TimeSeparator),
      F(CSystemFormats, DateSeparator), F(CSystemFormats, CurrencyString), F(CSystemFormats, ShortDateFormat),
      F(CSystemFormats, LongDateFormat), F(CSystemFormats, TimeAmString), F(CSystemFormats, TimePmString),
      F(CSystemFormats, ShortTimeFormat), F(CSystemFormats, LongTimeFormat), F(CSystemFormats, ShortDateTimeFormat)}},
    {"CSystemEnvironment", sizeof(CSystemEnvironment),
     {F(CSystemEnvironment, Is64Bit), F(CSystemEnvironment, MajorVersion), F(CSystemEnvironment, MinorVersion),
      F(CSystemEnvironment, BuildNumber), F(CSystemEnvironment, ServicePackMajor), F(CSystemEnvironment, ServicePackMinor)}},
    {"CClass", sizeof(CClass),
     {FN("FClassInfo", CClass, class_info), F(CClass, is_struct), F(CClass, internal_class), F(CClass, unit_id),
      F(CClass, hash), F(CClass, size), F(CClass, name), F(CClass, class_type), F(CClass, base_class), F(CClass, fields),
      F(CClass, properties), F(CClass, methods), F(CClass, ofields), F(CClass, constructor), F(CClass, destructor)}},
    {"CMember", sizeof(CMember),
     {F(CMember, access), F(CMember, kind), F(CMember, type), F(CMember, info), F(CMember, name), F(CMember, read),
      F(CMember, write), F(CMember, default_value), F(CMember, array_length), F(CMember, address)}},
    {"CPropAttrib", sizeof(CPropAttrib), {F(CPropAttrib, name), F(CPropAttrib, type), F(CPropAttrib, ptr)}},
    {"CType", sizeof(CType),
     {F(CType, short_name), F(CType, size), F(CType, unit_id), F(CType, name), F(CType, base_type)}},
     {"CEnum", sizeof(CEnum), {F(CEnum, unit_id), F(CEnum, type), F(CEnum, name), F(CEnum, members)}},
     {"CEnumMember", sizeof(CEnumMember), {F(CEnumMember, name), F(CEnumMember, value)}},
     {"CMethodLine", 8, {F(MethodLine, lineno), FN("ptr", MethodLine, method)}},
    {"CMethod", static_cast<int>(offsetof(MethodRecord, name)),
     {F(MethodRecord, type), F(MethodRecord, access), F(MethodRecord, modifier), F(MethodRecord, var_counts),
      F(MethodRecord, var_types)}},
    {"CMethodInfo", static_cast<int>(sizeof(MethodRecord) - offsetof(MethodRecord, name)),
     {{"name", 0}, {"hash", static_cast<int>(offsetof(MethodRecord, hash) - offsetof(MethodRecord, name))},
     {"name_hash", static_cast<int>(offsetof(MethodRecord, name_hash) - offsetof(MethodRecord, name))},
     {"line", static_cast<int>(offsetof(MethodRecord, line) - offsetof(MethodRecord, name))}}},
    {"CLibProc", sizeof(CLibProc),
     {F(CLibProc, proc), F(CLibProc, return_type), F(CLibProc, type), F(CLibProc, unicode), F(CLibProc, late),
      F(CLibProc, esp_size), F(CLibProc, hash), F(CLibProc, name), F(CLibProc, param_count), F(CLibProc, param_labels),
      F(CLibProc, library)}},
    {"CLib", sizeof(CLib), {F(CLib, hash), F(CLib, name), F(CLib, hInst)}},
    {"CMap", sizeof(CMap), {F(CMap, Border), F(CMap, Scaled), F(CMap, ScaleX), F(CMap, ScaleY), F(CMap, Coords)}},
    {"CMapCoord", sizeof(CMapCoord),
     {F(CMapCoord, X1), F(CMapCoord, Y1), F(CMapCoord, X2), F(CMapCoord, Y2), F(CMapCoord, Test), F(CMapCoord, Tag),
      F(CMapCoord, Data), F(CMapCoord, IsEnabled)}},
    {"CMemStream", sizeof(CMemStream),
     {F(CMemStream, memory), F(CMemStream, size), F(CMemStream, pos), F(CMemStream, capacity)}},
     {"PMethod", sizeof(PMethod), {F(PMethod, Method), F(PMethod, Target)}},
};

TEST(Prelude, RecordsDescriptorsAndTypeCodes) {
    auto l = qeltest::load("#include \"prelude/prelude.qsrc\"\n");
    ASSERT_TRUE(l.ok) << l.report.what;
    PtrList& classes = l.rt->program.classes;
    for (const Record& r : kRecords) {
        CClass* c = class_by_name(classes, r.name);
        ASSERT_TRUE(c) << r.name;
        int declared = 0;
        for (CClass* k = c; k; k = k->base_class) declared += k->fields->count;
        ASSERT_EQ(declared, static_cast<int>(r.fields.size())) << r.name << ": every field is compared";
        for (auto& [field, offset] : r.fields) {
            CMember* m = field_in_chain(c, field);
            ASSERT_TRUE(m) << r.name << "." << field;
            EXPECT_EQ(m->address, offset) << r.name << "." << field;
        }
        if (r.size >= 0) EXPECT_EQ(c->size, r.size) << r.name;
    }
    // Every descriptor is an object of class CClass; the global object's System field points at
    // the runtime's system block; the type codes of CVarType are the letters of the type codes.
    for (int32_t i = 0; i < classes.count; ++i) EXPECT_EQ(static_cast<CClass*>(classes[i])->class_info, class_by_name(classes, "CClass"));
    CMember* sys = field_of(class_by_name(classes, "Global"), "System");
    EXPECT_EQ(*reinterpret_cast<void**>(static_cast<char*>(l.rt->global_object) + sys->address), &l.rt->system);
    std::string codes;
    for (int32_t i = 0; i < enum_by_name(l.rt->program.enums, "CVarType")->members->count; ++i) {
        auto* m = static_cast<CEnumMember*>((*enum_by_name(l.rt->program.enums, "CVarType")->members)[i]);
        codes += std::string(m->name) + "=" + static_cast<char>(m->value) + " ";
    }
    EXPECT_EQ(codes, "Bool=b Char=c Double=d Byte=e Float=f Integer=i Long=l Short=m Native=n Pointer=p String=s Method=t Void=v ");
}

}  // namespace
