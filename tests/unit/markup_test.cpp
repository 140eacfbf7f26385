// Object markup from C++: attribute texts converted by member type into a record, sources cut
// short (the reader must stop at the source's length whatever follows in memory), and the writer's
// refusals: default values, pointers that are no objects, cycles and overly deep chains.
#include <cstdio>
#include <string>

#include "base/name_hash.h"
#include "builtin_harness.h"
#include "formats/markup.h"
#include "stdlib/string_list.h"
#include "types/class_registry.h"
#include "vm/objects.h"

using namespace qel;

namespace {

const char* const kImage =
    "#include \"prelude/prelude.qsrc\"\n[METADATA]\nenum CKind i Test\nA 0\nB 7\nstruct Rec [none] Test\n"
    "0 0 s string S 0\n0 0 i int I 0\n0 0 b bool B 0\n0 0 e byte E 0\n0 0 c char C 0\n0 0 m short M 0\n"
    "0 0 n native N 0\n0 0 d double D 0\n0 0 f float F 0\n0 0 l long L 0\n0 0 i CKind K 0\n0 0 p pointer P 0\n"
    "class CLink object 0 Test\n0 0 p CLink Next 0\n0 0 p pointer Raw 0\n0 0 p Unknown Ghost 0\nclass CBare object 0 Test\n"
    "0 1 b bool FOn 0\n0 1 i int FNum 0\n1 0 b bool On FOn FOn 0\n1 0 i int Num FNum FNum 5\n1 0 e byte Small GetSmall 0 n\n"
    "[/METADATA]\n[SOURCE]\nmethod CLink::CLink.[a:1][m:0][p:00][r:v][v:]\nret\n"
    "method CBare::CBare.[a:1][m:0][p:00][r:v][v:]\nldint 5\nldthis\nstpint CBare.FNum\nret\n"
    "method CBare::GetSmall.[a:1][m:0][p:00][r:i][v:]\nldint 300\nreturn\n[/SOURCE]\n";  // Small: 300 as a byte is 44

class Markup : public qeltest::Builtins {
protected:
    void SetUp() override {
        use_image(kImage);
        rec = qeltest::find_class(*image.rt, "Rec");
    }

    // Reads the first n units of text into a new Rec and gives the members asked for, as text
    // by their types ("I,S"), or the runtime error's message.
    std::string read(const std::u16string& text, size_t n, const std::string& members) {
        void* obj = allocate_instance(rec);
        WStr source{};
        source.assign_wide(text.data(), static_cast<uint32_t>(text.size()));
        source.length = static_cast<uint32_t>(n);  // the buffer goes on beyond the length
        CMarkupParser p{};
        p.source = &source, p.rtti = true, p.class_info = rec, p.obj = obj;
        push_pointer(st, &p);
        const std::string out = call(bi_markup_parse);
        reset();
        EXPECT_EQ(std::u16string(source.text(), source.length), text.substr(0, n)) << "the source is left as it was";
        source.clear();
        std::string values;
        for (size_t at = 0; out.empty();) {
            const size_t comma = members.find(',', at);
            const CMember* m = field_of(rec, members.substr(at, comma - at).c_str());
            const char* f = static_cast<char*>(obj) + m->address;
            char t[40];
            switch (m->type) {
                case 's': std::snprintf(t, sizeof t, "%s", utf8(**reinterpret_cast<WStr* const*>(f)).c_str()); break;
                case 'b': std::snprintf(t, sizeof t, "%d", *reinterpret_cast<const uint8_t*>(f)); break;
                case 'e': std::snprintf(t, sizeof t, "%d", *reinterpret_cast<const int8_t*>(f)); break;
                case 'c': std::snprintf(t, sizeof t, "%d", *reinterpret_cast<const uint16_t*>(f)); break;
                case 'm': std::snprintf(t, sizeof t, "%d", *reinterpret_cast<const int16_t*>(f)); break;
                case 'd': std::snprintf(t, sizeof t, "%.17g", *reinterpret_cast<const double*>(f)); break;
                case 'f': std::snprintf(t, sizeof t, "%.9g", *reinterpret_cast<const float*>(f)); break;
                case 'l': std::snprintf(t, sizeof t, "%lld", *reinterpret_cast<const long long*>(f)); break;
                default: std::snprintf(t, sizeof t, "%d", *reinterpret_cast<const int32_t*>(f)); break;
            }
            values += (at ? "," : "") + std::string(t);
            if (comma == std::string::npos) break;
            at = comma + 1;
        }
        free_struct(rec, obj);
        return out.empty() ? values : out;
    }
    std::string read(const std::u16string& text, const std::string& members) { return read(text, text.size(), members); }

    void* object(const char* cls) {
        create_object(image.rt.get(), qeltest::find_class(*image.rt, cls), &frame);
        void* o = top().v.p;
        reset();
        return o;
    }
    void set(void* obj, const char* name, void* value) {
        *reinterpret_cast<void**>(static_cast<char*>(obj) + field_in_chain(class_of(obj), name)->address) = value;
    }
    // The markup of obj, lines joined by "|"; or the runtime error's message.
    std::string written(void* obj) {
        PtrList* list = ptr_list_create();
        const std::string error = run(bi_class_serialize, {qeltest::Ptr{obj}, qeltest::Ptr{nullptr}, qeltest::Ptr{list}});
        std::string out;
        for (int32_t i = 0; i < list->count; ++i) out += (i ? "|" : "") + utf8(string_list_item(list, i)->text);
        string_list_free(list);
        reset();
        return error.empty() ? out : error;
    }

    CClass* rec = nullptr;
};

TEST_F(Markup, AttributeTextsConvertByMemberType) {
    const struct { const char16_t* attribute; const char *member, *value; } cases[] = {
        {u"I=\"-42\"", "I", "-42"}, {u"I=\"0x1F\"", "I", "31"}, {u"I=\"#FF8000\"", "I", "33023"},
        {u"I=\"#80FF8000\"", "I", "-2130739200"}, {u"I=\"#FF80\"", "I", "0"}, {u"I=\"#GG8000\"", "I", "0"},
        {u"I=\"\"", "I", "0"}, {u"B=\"true\"", "B", "1"}, {u"B=\"false\"", "B", "0"}, {u"B=\"2\"", "B", "1"},
        {u"B=\"0\"", "B", "0"}, {u"E=\"-5\"", "E", "-5"}, {u"E=\"300\"", "E", "44"}, {u"C=\"-1\"", "C", "65535"},
        {u"M=\"-300\"", "M", "-300"}, {u"N=\"7\"", "N", "7"}, {u"L=-9000000000/>", "L", "-9000000000"},
        {u"L=\"9223372036854775807\"", "L", "9223372036854775807"}, {u"L=\"9223372036854775808\"", "L", "0"},
        {u"K=\"B\"", "K", "7"}, {u"K=\"3\"", "K", "3"}, {u"K=\"#000001\"", "K", "65536"}, {u"K=\"C\"", "K", "0"},
        {u"P=\"4096\"", "P", "4096"}, {u"D=\"0.1\"", "D", "0.10000000000000001"}, {u"D=\"1,5\"", "D", "1.5"},
        {u"D=\"x\"", "D", "0"}, {u"F=\"auto\"", "F", "-1"}, {u"F=\"2.5e1\"", "F", "25"},
        {u"S='a &quot;b&quot; &amp;amp; &lt;c'", "S", "a \"b\" &amp; &lt;c"}, {u"S = \"x y\"", "S", "x y"},
    };
    for (auto& c : cases) EXPECT_EQ(read(u"<Rec " + std::u16string(c.attribute) + u" />", c.member), c.value) << c.member;
    EXPECT_EQ(read(u"<Rec I=\"clRed\"/>", "I"), std::to_string(static_cast<int32_t>(name_hash("clRed"))));
}

// A source cut anywhere ends there: what the buffer holds beyond its length is never read.
TEST_F(Markup, ReadsNoFurtherThanTheSourceLength) {
    const std::u16string text = u"<!-- c --><Rec I=\"12\" S=\"ab\" />";
    const struct { size_t n; const char* read; } cases[] = {
        {8, "0,"}, {13, "0,"}, {17, "0,"}, {19, "1,"}, {20, "12,"}, {26, "12,a"}, {23, "12,"}, {1, "0,"}, {0, "0,"}};
    for (auto& c : cases) EXPECT_EQ(read(text, c.n, "I,S"), c.read) << "cut to " << c.n;
}

TEST_F(Markup, WriterSkipsDefaultsAndPointersThatAreNoObjects) {
    EXPECT_EQ(written(object("CBare")), "<CBare Small=\"44\" />");
    void* link = object("CLink");
    set(link, "Raw", reinterpret_cast<void*>(0x12345678));    // a pointer type: never read
    set(link, "Ghost", reinterpret_cast<void*>(0x12345678));  // a type name that names nothing
    EXPECT_EQ(written(link), "<CLink />");
    set(link, "Next", object("CLink"));
    EXPECT_EQ(written(link), "<CLink>|<Next />|</CLink>");
    EXPECT_EQ(written(nullptr), "");
}

TEST_F(Markup, WriterRefusesCyclesAndChainsDeeperThanTheLimit) {
    void *a = object("CLink"), *b = object("CLink");
    set(a, "Next", b);
    set(b, "Next", a);
    EXPECT_EQ(written(a), "Cannot serialize an object that contains itself");
    void* tail = a;
    for (int i = 1; i < kMarkupMaxDepth; ++i) {
        void* n = object("CLink");
        set(tail, "Next", n);
        tail = n;
    }
    const std::string text = written(a);
    EXPECT_EQ(text.substr(0, 14) + text.substr(text.size() - 16), "<CLink>|<Next></Next>|</CLink>");
    set(tail, "Next", object("CLink"));
    EXPECT_EQ(written(a), "Object tree too deep to serialize");
}

}  // namespace
