// Image text: the line reader, the manifest, metadata and resource grammar, and malformed texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "image/container.h"
#include "image/image_parser.h"
#include "image/opcodes.h"
#include "image/streamed_text.h"
#include "image/instruction.h"
#include "image/line_reader.h"
#include "test_support.h"
#include "types/class_registry.h"
#include "types/datetime.h"

using namespace qel;
using qel::LineReader;
using qeltest::find_class;
using qeltest::find_field;

namespace {

// Reads the text with the separators; 'q' in how reads a quoted value, any other letter a token.
// Each read is "token@line" with "$" when it ended its line and "!" when it was an empty quote.
std::string read(std::string text, uint32_t split, const std::string& how) {
    text.push_back('\0');
    LineReader r;
    r.start(text.data());
    r.set_split(split);
    std::string out;
    for (char c : how) {
        out += c == 'q' ? r.next_quoted() : r.next();
        out += "@" + std::to_string(r.lineno) + (r.end_of_line() ? "$" : "") + (c == 'q' && r.empty_quote() ? "!" : "");
        out += r.end_of_text() ? "|end " : " ";
    }
    return out;
}

TEST(LineReader, TokensLinesQuotesAndTheEnd) {
    const uint32_t space = LineReader::kSplitSpace, dot = LineReader::kSplitDot, comma = LineReader::kSplitComma;
    struct { const char* text; uint32_t split; const char* how; const char* expected; } cases[] = {
        // Only the selected separators cut; they are not merged, so two spaces give an empty token.
        {"ldpint CSystemEnvironment.MajorVersion\r\n", space | dot, "ttt",
         "ldpint@0 CSystemEnvironment@0 MajorVersion@1$|end "},
        {"a b.c,d\r\n", 0, "t", "a b.c,d@1$|end "},
        {"2.0.i.n,x y\r\n", comma | dot, "ttttt", "2@0 0@0 i@0 n@0 x y@1$|end "},
        {"a  b\r\n", space, "ttt", "a@0 @0 b@1$|end "},
        // A token that ends its line has consumed the CR; a lone LF is no line end; an LF after
        // the CR belongs to it.
        {"ret\r\njmp 4\r\n", space, "ttt", "ret@1$ jmp@1 4@2$|end "}, {"a\nb\r\n", space, "t", "a\nb@1$|end "},
        // At the end of the text: empty tokens, never past the text.
        {"a\r\nb", space, "ttt", "a@1$ b@1$|end @1$|end "},
        // Quoted values ignore separators and end at the closing quote or the line end; "" is an
        // empty value whose line end is skipped; a backslash is an ordinary character.
        {"project:title \"My App, v1.0\"\r\nnext\r\n", space | dot | comma, "tqt",
         "project:title@0 My App, v1.0@1$ next@2$|end "},
        {"k \"\"\r\nafter\r\n", space, "tqt", "k@0 @1$! after@2$|end "},
        {"\"C:\\dir\\x\"\r\n", 0, "q", "C:\\dir\\x@1$|end "}, {"\"open\r\nnext\r\n", 0, "qt", "open@1$ next@2$|end "},
    };
    for (const auto& c : cases) EXPECT_EQ(read(c.text, c.split, c.how), c.expected) << c.text;
}

// Image text from lines written with LF.
std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

const char* kGlobal = "[METADATA]\nstruct Global [none] System\n[/METADATA]\n";

std::string text_of(const WStr* s) {
    std::string out;
    for (uint32_t i = 0; i < s->length; ++i) out += static_cast<char>(s->text()[i]);
    return out;
}

TEST(Manifest, KnownKeysFillTheSystemBlock) {
    const std::string keys[] = {"project:name \"Demo App\"\nproject:title \"\"\nproject:company \"ACME, Inc.\"\n"
                                "project:unknown some words here\nproject:version \"1.2.3\"\n"
                                "project:date \"2024-01-31T08:15:00.250+02:00\"\n",
                                "project:name \"x\"\n"};
    for (const std::string& k : keys) {
        auto l = qeltest::load_raw(crlf("[MANIFEST]\n" + k + "[/MANIFEST]\n" + kGlobal));
        ASSERT_TRUE(l.ok) << l.failure().what;
        CSystem& s = l.rt->system;
        EXPECT_EQ(text_of(s.ProjectName) + "|" + text_of(s.ProjectTitle) + "|" + text_of(s.ProjectCompany) + "|" +
                      text_of(s.ProjectVersion), k.size() > 20 ? "Demo App||ACME, Inc.|1.2.3" : "x|||");
        EXPECT_DOUBLE_EQ(s.ProjectDate, k.size() > 20 ? encode_date(2024, 1, 31) + encode_time(8, 15, 0, 250) : 0.0);  // or none
    }
}

TEST(Metadata, TypesEnumsAndUnits) {
    auto l = qeltest::parse_raw(crlf("[METADATA]\ntype v void void System\ntype i int int System\ntype i DWORD int Windef\n"
                                     "type i HANDLE nothing Windef\nenum Colour i Graphics\nRed 1\nGreen -2\n"
                                     "class Shape [none] 0 Controls\nstruct Global [none] System\n[/METADATA]\n"));
    ASSERT_TRUE(l.ok) << l.failure().what;
    Runtime& rt = *l.rt;
    CType *v = type_by_name(rt.program.types, "void"), *i = type_by_name(rt.program.types, "int"),
          *dw = type_by_name(rt.program.types, "DWORD");
    ASSERT_TRUE(v && i && dw);
    EXPECT_TRUE(v->base_type == v && dw->base_type == i);
    EXPECT_EQ(dw->size * 1000 + dw->short_name, 4000 + 'i');
    EXPECT_EQ(type_by_name(rt.program.types, "HANDLE")->base_type, nullptr);
    // Units get ids in the order of first mention, also from class lines.
    EXPECT_EQ(rt.program.units.id_of("Windef") * 100 + rt.program.units.id_of("Graphics") * 10 + dw->unit_id, 232);
    EXPECT_EQ(find_class(rt, "Shape")->unit_id, 4);
    CEnum* e = enum_by_name(rt.program.enums, "Colour");
    ASSERT_TRUE(e && e->members->count == 2);
    auto* green = static_cast<CEnumMember*>((*e->members)[1]);
    EXPECT_EQ(green->name + std::to_string(green->value), "Green-2");
}

// A member as "access kind type array info:<name> [read/write/default]" with the accessor kinds.
std::string describe(const CMember* m) {
    if (!m) return "<none>";
    const char* info = !m->info                     ? "-"
                       : m->kind == kMemberObject   ? static_cast<CClass*>(m->info)->name
                       : m->kind == kMemberEnum     ? static_cast<CEnum*>(m->info)->name
                                                    : static_cast<CType*>(m->info)->name;
    std::string s = std::to_string(m->access) + " " + std::to_string(m->kind) + " " + static_cast<char>(m->type) + " " +
                    std::to_string(m->array_length) + " " + info;
    auto accessor = [](const CPropAttrib* a) {
        return a ? std::to_string(a->type) + (a->ptr ? "+" : "0") : std::string("none");
    };
    if (m->read || m->write || m->default_value)
        s += " " + accessor(m->read) + "/" + accessor(m->write) + "/" + (m->default_value ? std::to_string(*m->default_value) : "n");
    return s;
}

TEST(Metadata, ClassesStructsAndMembers) {
    auto l = qeltest::parse_raw(crlf("[METADATA]\ntype i int int System\nenum Mode e System\nOn 1\nclass object [none] 0 System\n"
                                     "0 1 p CClass FClassInfo 0\nclass PChar object 1 System\nstruct tagRECT [none] Windef\n"
                                     "0 1 i int left 0\nclass CItem object 0 Controls\n0 2 s string FText 0\n0 1 e Mode FMode 0\n"
                                     "0 1 p tagRECT rcItem new\n0 1 c char cFileName 260\n0 1 p Unknown FOther 0\n0 1 i int FCount 0\n"
                                     "1 0 s string Text FText SetText n\n1 3 i int Count FCount 0 7\nstruct Global [none] System\n"
                                     "[/METADATA]\n"));
    ASSERT_TRUE(l.ok) << l.failure().what;
    Runtime& rt = *l.rt;
    CClass *object = find_class(rt, "object"), *pchar = find_class(rt, "PChar"), *item = find_class(rt, "CItem");
    ASSERT_TRUE(object && pchar && item);
    EXPECT_EQ(object->base_class, nullptr);
    EXPECT_TRUE(pchar->internal_class && pchar->size == 0 && pchar->base_class == object);
    EXPECT_TRUE(!item->is_struct && find_class(rt, "tagRECT")->is_struct);
    // access, kind (var, enum, object), type, array length, type info; properties with their
    // accessors (type none/field/method, bound or not) and default. string and char are not declared
    // types here, so their members are of the object kind with no info.
    const std::pair<const char*, const char*> members[] = {
        {"FText", "2 2 s 0 -"},   {"FMode", "1 1 e 0 Mode"},        {"rcItem", "1 2 p -1 tagRECT"},
        {"cFileName", "1 2 c 260 -"}, {"FOther", "1 2 p 0 -"},  {"FCount", "1 0 i 0 int"},
    };
    for (auto [name, expected] : members) EXPECT_EQ(describe(field_of(item, name)), expected) << name;
    // SetText is neither a field nor a method: a method accessor bound to nothing.
    EXPECT_EQ(describe(property_of(item, "Text")), "0 2 s 0 - 1+/20/n");
    EXPECT_EQ(describe(property_of(item, "Count")), "3 0 i 0 int 1+/none/7");
    EXPECT_EQ(property_of(item, "Count")->address, -1);
    ASSERT_TRUE(item->ofields && item->ofields->count == 1);
    EXPECT_EQ((*item->ofields)[0], field_of(item, "FText"));
    // Every descriptor is an object of class CClass, when the image has one.
    EXPECT_EQ(item->class_info, nullptr);
}

// Procedures with their libraries (an unknown convention drops the line); resources are named hex
// blocks.
TEST(Metadata, ProcsAndResources) {
    auto l = qeltest::parse_raw(crlf("[METADATA]\nproc getpid i n libc.so.6 stdcall\nproc SetProcessDPIAware i n late user32.dll stdcall\n"
                                     "proc qsort v ppldip libc.so.6 cdecl\nproc Nothing i n libc.so.6 fastcall\nstruct Global [none] System\n"
                                     "[/METADATA]\n[RESOURCE]\nIcon Main.png\nEFbbBF\n[/RESOURCE]\n[RESOURCE]\nempty\n\n[/RESOURCE]\n"));
    ASSERT_TRUE(l.ok) << l.failure().what;
    ProcRegistry& reg = l.rt->program.procs;
    ASSERT_EQ(reg.procs.count, 3);
    std::string procs;
    for (int32_t i = 0; i < 3; ++i) {
        auto* p = static_cast<CLibProc*>(reg.procs[i]);
        procs += std::string(p->name) + "(" + p->param_labels + ")" + static_cast<char>(p->return_type) + " " +
                 p->library->name + " " + std::to_string(p->type) + std::to_string(p->late) + " " + std::to_string(p->esp_size) + "|";
    }
    // cdecl sizes: four bytes a word, long and double take two
    EXPECT_EQ(procs, "getpid()i libc.so.6 00 0|SetProcessDPIAware()i user32.dll 01 0|qsort(ppldip)v libc.so.6 10 32|");
    EXPECT_EQ(reg.libs.count, 2);
    ResourceRec* r = l.rt->program.code.resource("Icon Main.png");
    ASSERT_TRUE(r && r->size == 3u);
    EXPECT_EQ(r->data[0] << 16 | r->data[1] << 8 | r->data[2], 0xEFBBBF);
    EXPECT_EQ(l.rt->program.code.resource("icon Main.png"), nullptr);  // names are case-sensitive
    EXPECT_EQ(l.rt->program.code.resource("empty")->size, 0u);
}

// Every metadata line has exactly its fields: one too few or too many (two spaces make an empty
// field) fails the load at that line instead of shifting the lines after it.
TEST(Metadata, ALineWithAFieldTooFewOrTooManyFailsAtItsLine) {
    const char* kBad[] = {
        "type i  DWORD int Windef", "type i DWORD int", "unit", "unit A B", "class C object 0", "struct S [none]",
        "enum E i", "proc F i n kernel32.dll", "proc F i n late kernel32.dll stdcall x", "type x DWORD int Windef",
    };
    for (const char* line : kBad) {
        auto l = qeltest::parse_raw(crlf(std::string("[METADATA]\nunit System\n") + line + "\nstruct Global [none] System\n[/METADATA]\n"));
        EXPECT_TRUE(!l.ok && l.failure().line == 3) << line << ": " << l.failure().line << " " << l.failure().what;
    }
    for (const char* member : {"0 1 i int A", "0 1 i int A 0 0", "1 0 i int P A 0", "0 1 z int A 0"}) {
        auto l = qeltest::parse_raw(crlf(std::string("[METADATA]\nstruct Global [none] System\n") + member + "\n[/METADATA]\n"));
        EXPECT_TRUE(!l.ok && l.failure().line == 3) << member << ": " << l.failure().line << " " << l.failure().what;
    }
}

TEST(Loader, MalformedTextFailsTheLoadNamingTheLine) {
    const std::string global = "[METADATA]\nstruct Global [none] System\n";
    struct { std::string text; int line; const char* what; } cases[] = {
        {global + "[/METADATA]\nstray\n", 4, "unexpected text 'stray'"},
        {global + "struct S [none] System\n0 1 p Nowhere r new\n[/METADATA]\n", 5, "embedded member 'r'"},
        {global + "[/METADATA]\n[RESOURCE]\nr\nABC\n[/RESOURCE]\n", 6, "odd number"},
        {global + "[/METADATA]\n[RESOURCE]\nr\nzz\n[/RESOURCE]\n", 6, "not hexadecimal"},
        {global + "[/METADATA]\n[RESOURCE]\nr\nAB\n", 7, "[/RESOURCE]"}, {global, 2, "without [/METADATA]"},
        {global + "struct S [none] System\n0 1 i int a -2\n[/METADATA]\n", 4, "invalid array length"},
        {global + "[/METADATA]\n[SOURCE]\nmethod F.[a:1][m:0][p:00][r:v][v:]\nfrob 1\n[/SOURCE]\n", 6,
         "unknown mnemonic 'frob'"},
    };
    for (const auto& c : cases) {
        auto l = qeltest::parse_raw(crlf(c.text));
        EXPECT_TRUE(!l.ok && l.failure().line == c.line && l.failure().what.find(c.what) != std::string::npos)
            << c.what << ": " << l.failure().line << " " << l.failure().what;
    }
}

TEST(Loader, ImagesThatCannotStart) {
    const std::string global = "[METADATA]\nstruct Global [none] System\nclass Bad [none] 0 System\n";
    const std::string ctor = "[SOURCE]\nmethod Bad::Bad.[a:1][m:0][p:00][r:v][v:]\nret\n[/SOURCE]\n";
    struct { std::string text; const char* what; } cases[] = {
        {"[METADATA]\nstruct S [none] System\n[/METADATA]\n", "the image declares no Global struct"},
        {global + "[/METADATA]\n", "Class constructor not found! <Bad>"},
        // An object keeps its class in its first word: only a plain pointer field may lie there.
        {global + "0 1 p pointer FList 2\n[/METADATA]\n" + ctor, "class <Bad> has its field FList where its objects"},
    };
    for (const auto& c : cases) {
        auto l = qeltest::load_raw(crlf(c.text));
        EXPECT_TRUE(!l.ok && l.failure().what.find(c.what) != std::string::npos) << c.what << ": " << l.failure().what;
    }
}

TEST(Loader, AnImageTextWithoutItsNulByteIsRefused) {
    char path[] = "/tmp/qel-image-XXXXXX";
    ::close(::mkstemp(path));
    const std::u16string wide(path, path + std::strlen(path));
    for (bool nul : {false, true}) {
        std::string text = crlf(kGlobal) + (nul ? std::string(1, '\0') : "");
        ASSERT_EQ(container_deflate_to_file(reinterpret_cast<const uint8_t*>(text.data()), int32_t(text.size()), wide.c_str()), kZOk);
        Runtime rt;
        LoadReport report;
        EXPECT_EQ(load_image(rt, wide.c_str(), report), nul) << report.what;
        EXPECT_EQ(report.what, nul ? "" : "the image text does not end with a NUL byte");
    }
    ::unlink(path);
}

// What parsing leaves: every record's line, opcode and names, the literals, and the resources.
std::string parsed(const Program& prog) {
    std::string out;
    for (const Instruction* i = prog.code.first; i; i = i->next) {
        out += std::to_string(i->lineno) + " " + opcode_mnemonic(i->opcode) + (i->name ? std::string(" ") + i->name : "");
        if (i->opcode == kOp_ldstr) out += " \"" + text_of(i->literal()) + "\"";
        out += "\n";
    }
    for (int32_t k = 0; k < prog.code.resources.count; ++k) {
        auto* r = static_cast<ResourceRec*>(prog.code.resources[k]);
        out += std::string(r->name) + ":" + std::string(reinterpret_cast<char*>(r->data), r->size) + "\n";
    }
    return out;
}

// A container read while it is inflated: blocks of any size (down to one byte, which puts every
// line end, CR LF pairs among them, across a block boundary and makes every line longer than a
// block) give what the whole text gives.
TEST(Loader, AStreamedTextParsesLikeTheWholeText) {
    std::string hex, abc;
    for (int k = 0; k < 40; ++k) hex += "414243", abc += "ABC";
    std::string text = crlf(std::string(kGlobal) + "[RESOURCE]\nblob\n" + hex + "\n[/RESOURCE]\n[SOURCE]\n" +
                            "method F.[a:1][m:0][p:00][r:v][v:s]\nldstr \"caf\xC3\xA9 au lait\"\nstvstr 0\nldstr \"\"\n" +
                            "jmp 1\nmethod G.[a:1][m:0][p:00][r:v][v:]\ncall F\nret\n[/SOURCE]\n");
    text.push_back('\0');
    std::string whole_text = text;
    Runtime whole;
    LoadReport whole_report;
    ASSERT_TRUE(parse_image(whole.program, whole_text.data(), whole_report)) << whole_report.what;
    const std::string expected = parsed(whole.program);
    ASSERT_NE(expected.find("blob:" + abc + "\n"), std::string::npos) << expected;
    for (int32_t block : {1, 2, 3, 7, 64, 1 << 16}) {
        ByteBuffer packed;
        ASSERT_EQ(container_deflate_buffer(packed, reinterpret_cast<const uint8_t*>(text.data()), int32_t(text.size())), kZOk);
        StreamedText streamed;
        streamed.block = block;
        ASSERT_TRUE(streamed.open(packed.data, packed.length));
        Runtime rt;
        LoadReport report;
        EXPECT_TRUE(parse_image(rt.program, streamed, report)) << block << ": " << report.what;
        EXPECT_EQ(streamed.finish(), kZOk) << block;
        EXPECT_EQ(parsed(rt.program), expected) << block;
    }
}

// The container is checked to its end whatever the parser found on the way: a damaged one fails
// with its zlib status, and the notes its text made do not go out.
TEST(Loader, AStreamedContainerCutShortFailsAsAContainer) {
    char path[] = "/tmp/qel-image-XXXXXX";
    ::close(::mkstemp(path));
    const std::u16string wide(path, path + std::strlen(path));
    const std::string orphan = "[METADATA]\nstruct Global [none] System\nstruct Orphan Missing System\n[/METADATA]\n";
    for (const std::string& body : {orphan, orphan + "garbage\n"}) {
        std::string text = crlf(body);
        text.push_back('\0');
        ByteBuffer packed;
        ASSERT_EQ(container_deflate_buffer(packed, reinterpret_cast<const uint8_t*>(text.data()), int32_t(text.size())), kZOk);
        FILE* f = std::fopen(path, "wb");
        ASSERT_TRUE(f);
        std::fwrite(packed.data, 1, size_t(packed.length - 8), f);  // the end of the stream and its checksum cut off
        std::fclose(f);
        Runtime rt;
        std::vector<std::string> notes;
        static std::vector<std::string>* seen;
        seen = &notes;
        LoadReport report;
        report.notify = [](int number, const std::string& what) { seen->push_back(std::to_string(number) + " " + what); };
        EXPECT_FALSE(load_image(rt, wide.c_str(), report));
        EXPECT_EQ(report.what, "'" + std::string(path) + "' is not a valid image container (zlib status -3)");
        EXPECT_EQ(notes, std::vector<std::string>{});
    }
    ::unlink(path);
}

TEST(Loader, AnEmptyTokenBetweenSectionsEndsParsing) {
    auto l = qeltest::parse_raw(crlf(std::string(kGlobal) + "\n[METADATA]\nstruct Later [none] System\n[/METADATA]\n"));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(find_class(*l.rt, "Later"), nullptr);
}

}  // namespace
