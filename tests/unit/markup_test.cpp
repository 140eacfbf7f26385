// Object markup from C++: attribute texts converted by member type into a record, sources cut
// short (the reader must stop at the source's length whatever follows in memory), and the writer's
// refusals: default values, pointers that are no objects, cycles and overly deep chains.
#include <cstring>
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
    "#include \"prelude/prelude.qsrc\"\n"
    "[METADATA]\n"
    "enum CKind i Test\n"
    "A 0\n"
    "B 7\n"
    "struct Rec [none] Test\n"
    "0 0 s string S 0\n"
    "0 0 i int I 0\n"
    "0 0 b bool B 0\n"
    "0 0 e byte E 0\n"
    "0 0 c char C 0\n"
    "0 0 m short M 0\n"
    "0 0 n native N 0\n"
    "0 0 d double D 0\n"
    "0 0 f float F 0\n"
    "0 0 l long L 0\n"
    "0 0 i CKind K 0\n"
    "0 0 p pointer P 0\n"
    "class CLink object 0 Test\n"
    "0 0 p CLink Next 0\n"
    "0 0 p pointer Raw 0\n"
    "0 0 p Unknown Ghost 0\n"
    "class CBare object 0 Test\n"
    "0 1 b bool FOn 0\n"
    "0 1 i int FNum 0\n"
    "1 0 b bool On FOn FOn 0\n"
    "1 0 i int Num FNum FNum 5\n"
    "[/METADATA]\n"
    "[SOURCE]\n"
    "method CLink::CLink.[a:1][m:0][p:00][r:v][v:]\n"
    "ret\n"
    "method CBare::CBare.[a:1][m:0][p:00][r:v][v:]\n"
    "ldint 5\n"
    "ldthis\n"
    "stpint CBare.FNum\n"
    "ret\n"
    "[/SOURCE]\n";

class Markup : public qeltest::Builtins {
public:
    void SetUp() override {
        image = qeltest::load(kImage);
        ASSERT_TRUE(image.ok) << image.failure().what;
        st = &image.rt->stack;
        st->count = 0;
        init_bare_frame(frame, st);
        rec_class = qeltest::find_class(*image.rt, "Rec");
    }

protected:
    // Reads the first n units of text into a new Rec; the parser's error message, or "".
    std::string read(const std::u16string& text, size_t n, void** out) {
        void* rec = allocate_instance(rec_class);
        WStr source{};
        source.assign_wide(text.data(), static_cast<uint32_t>(text.size()));
        source.length = static_cast<uint32_t>(n);  // the buffer goes on beyond the length
        CMarkupParser p{};
        p.source = &source;
        p.rtti = true;
        p.class_info = rec_class;
        p.obj = rec;
        push_pointer(st, &p);
        std::string error = call(bi_markup_parse);
        if (error.empty()) EXPECT_EQ(top_int(), 1);
        reset();
        source.length = static_cast<uint32_t>(text.size());
        source.clear();
        *out = rec;
        return error;
    }

    template <typename T>
    T field(void* rec, const char* name) {
        return *reinterpret_cast<T*>(static_cast<char*>(rec) + qeltest::find_field(*image.rt, "Rec", name)->address);
    }
    std::string text_of(void* rec, const char* name) { return utf8(*field<WStr*>(rec, name)); }
    static std::string utf8(const std::u16string& s) {
        WStr w{};
        w.assign_wide(s.data(), static_cast<uint32_t>(s.size()));
        std::string out = Builtins::utf8(w);
        w.clear();
        return out;
    }
    using Builtins::utf8;

    void* object(const char* cls) {
        create_object(image.rt.get(), qeltest::find_class(*image.rt, cls), &frame);
        void* o = top_pointer();
        reset();
        return o;
    }
    void set(void* obj, const char* cls, const char* name, void* value) {
        *reinterpret_cast<void**>(static_cast<char*>(obj) + qeltest::find_field(*image.rt, cls, name)->address) = value;
    }
    // The markup of obj, lines joined by "|"; or the runtime error's message.
    std::string written(void* obj) {
        PtrList* list = ptr_list_create();
        p(obj).p(nullptr).p(list);
        std::string error = call(bi_class_serialize);
        std::string out;
        for (int32_t i = 0; i < list->count; ++i) out += (i ? "|" : "") + utf8(string_list_item(list, i)->text);
        string_list_free(list);
        reset();
        return error.empty() ? out : error;
    }

    CClass* rec_class = nullptr;
};

// Each attribute text as its member's type takes it.
TEST_F(Markup, AttributeTextsConvertByMemberType) {
    const struct {
        const char16_t* attributes;
        const char* member;
        int64_t value;  // the member read as its type, widened
    } cases[] = {
        {u"I=\"-42\"", "I", -42},
        {u"I=\"0x1F\"", "I", 31},
        {u"I=\"#FF8000\"", "I", 0x0080FF},
        {u"I=\"#80FF8000\"", "I", static_cast<int32_t>(0x80FF8000u)},
        {u"I=\"#FF80\"", "I", 0},
        {u"I=\"#GG8000\"", "I", 0},
        {u"I=\"clRed\"", "I", static_cast<int32_t>(name_hash("clRed"))},
        {u"I=\"\"", "I", 0},
        {u"B=\"true\"", "B", 1},
        {u"B=\"false\"", "B", 0},
        {u"B=\"2\"", "B", 1},
        {u"B=\"0\"", "B", 0},
        {u"E=\"-5\"", "E", -5},
        {u"E=\"300\"", "E", 44},
        {u"C=\"-1\"", "C", 0xFFFF},
        {u"M=\"-300\"", "M", -300},
        {u"N=\"7\"", "N", 7},
        {u"L=-9000000000", "L", -9000000000ll},
        {u"L=\"9223372036854775807\"", "L", 9223372036854775807ll},
        {u"L=\"9223372036854775808\"", "L", 0},
        {u"K=\"B\"", "K", 7},
        {u"K=\"3\"", "K", 3},
        {u"K=\"#000001\"", "K", 0x010000},
        {u"K=\"C\"", "K", 0},
        {u"P=\"4096\"", "P", 4096},
    };
    for (auto& c : cases) {
        void* rec;
        const std::u16string text = u"<Rec " + std::u16string(c.attributes) + u"/>";
        ASSERT_EQ(read(text, text.size(), &rec), "");
        int64_t got;
        const char code = static_cast<char>(qeltest::find_field(*image.rt, "Rec", c.member)->type);
        switch (code) {
            case 'b': got = field<uint8_t>(rec, c.member); break;
            case 'e': got = field<int8_t>(rec, c.member); break;
            case 'c': got = field<uint16_t>(rec, c.member); break;
            case 'm': got = field<int16_t>(rec, c.member); break;
            case 'l': got = field<int64_t>(rec, c.member); break;
            case 'p': got = reinterpret_cast<intptr_t>(field<void*>(rec, c.member)); break;
            default: got = field<int32_t>(rec, c.member); break;
        }
        EXPECT_EQ(got, c.value) << utf8(text);
        free_struct(rec_class, rec);
    }
}

TEST_F(Markup, RealsStringsAndEntities) {
    void* rec;
    const std::u16string text = u"<Rec D=\"0.1\" F=\"auto\" S='a &quot;b&quot; &amp;amp; &lt;c'/>";
    ASSERT_EQ(read(text, text.size(), &rec), "");
    EXPECT_EQ(field<double>(rec, "D"), 0.1);
    EXPECT_EQ(field<float>(rec, "F"), -1.0f);
    EXPECT_EQ(text_of(rec, "S"), "a \"b\" &amp; &lt;c");
    free_struct(rec_class, rec);
    const std::u16string other = u"<Rec D=\"1,5\" F=\"2.5e1\" S=\"\"/>";
    ASSERT_EQ(read(other, other.size(), &rec), "");
    EXPECT_EQ(field<double>(rec, "D"), 1.5);
    EXPECT_EQ(field<float>(rec, "F"), 25.0f);
    EXPECT_EQ(text_of(rec, "S"), "");
    free_struct(rec_class, rec);
}

// A source cut anywhere ends there: what the buffer holds beyond its length is never read.
TEST_F(Markup, ReadsNoFurtherThanTheSourceLength) {
    const std::u16string text = u"<!-- c --><Rec I=\"12\" S=\"ab\" />";
    const struct {
        const char16_t* prefix;  // the part of text that is read
        int32_t i;
        const char* s;
    } cases[] = {
        {u"<!-- c -", 0, ""},         {u"<!-- c --><Re", 0, ""},         {u"<!-- c --><Rec I=", 0, ""},
        {u"<!-- c --><Rec I=\"1", 1, ""}, {u"<!-- c --><Rec I=\"12", 12, ""}, {u"<!-- c --><Rec I=\"12\" S=\"a", 12, "a"},
        {u"<!-- c --><Rec I=\"12\" S", 12, ""}, {u"<", 0, ""}, {u"", 0, ""},
    };
    for (auto& c : cases) {
        const size_t n = std::char_traits<char16_t>::length(c.prefix);
        ASSERT_EQ(text.compare(0, n, c.prefix), 0);
        void* rec;
        ASSERT_EQ(read(text, n, &rec), "");
        EXPECT_EQ(field<int32_t>(rec, "I"), c.i) << n;
        EXPECT_EQ(text_of(rec, "S"), c.s) << n;
        free_struct(rec_class, rec);
    }
    void* rec;
    EXPECT_EQ(read(u"<Rec Nope=\"1\"/>", 14, &rec), "attribute 'Nope' not found in element 'Rec'");
    free_struct(rec_class, rec);
}

TEST_F(Markup, WriterSkipsDefaultsAndPointersThatAreNoObjects) {
    void* bare = object("CBare");
    EXPECT_EQ(written(bare), "<CBare />");
    void* link = object("CLink");
    set(link, "CLink", "Raw", reinterpret_cast<void*>(0x12345678));  // never read as an object
    set(link, "CLink", "Ghost", reinterpret_cast<void*>(0x12345678));  // a type name that names nothing
    EXPECT_EQ(written(link), "<CLink />");
    void* next = object("CLink");
    set(link, "CLink", "Next", next);
    EXPECT_EQ(written(link), "<CLink>|<Next />|</CLink>");
    EXPECT_EQ(written(nullptr), "");
}

TEST_F(Markup, WriterRefusesCyclesAndChainsDeeperThanTheLimit) {
    void* a = object("CLink");
    void* b = object("CLink");
    set(a, "CLink", "Next", b);
    set(b, "CLink", "Next", a);
    EXPECT_EQ(written(a), "Cannot serialize an object that contains itself");
    set(b, "CLink", "Next", b);
    EXPECT_EQ(written(b), "Cannot serialize an object that contains itself");

    void* head = object("CLink");
    void* tail = head;
    for (int i = 1; i < kMarkupMaxDepth; ++i) {
        void* n = object("CLink");
        set(tail, "CLink", "Next", n);
        tail = n;
    }
    std::string text = written(head);
    EXPECT_EQ(text.substr(0, 14), "<CLink>|<Next>");
    EXPECT_EQ(text.substr(text.size() - 16), "</Next>|</CLink>");
    set(tail, "CLink", "Next", object("CLink"));
    EXPECT_EQ(written(head), "Object tree too deep to serialize");
}

}  // namespace
