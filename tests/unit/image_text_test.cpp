// Image text: the line reader, the manifest, the metadata grammar's line checks, and malformed texts.
#include <unistd.h>

#include <cstring>

#include "builtin_harness.h"
#include "image/container.h"
#include "image/image_parser.h"
#include "image/opcodes.h"
#include "image/streamed_text.h"
#include "image/instruction.h"
#include "image/line_reader.h"
#include "types/class_registry.h"
#include "types/datetime.h"

using namespace qel;
using qel::LineReader;
using qeltest::find_class;

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

std::string text_of(const WStr* s) { return qeltest::Builtins::utf8(*s); }

TEST(Manifest, KnownKeysFillTheSystemBlock) {
    const std::string keys[] = {"project:name \"Demo App\"\nproject:title \"\"\nproject:company \"ACME, Inc.\"\n"
                                "project:unknown some words here\nproject:version \"1.2.3\"\n"
                                "project:date \"2024-01-31T08:15:00.250+02:00\"\n",
                                "project:name \"x\"\n"};
    for (const std::string& k : keys) {
        auto l = qeltest::load_raw(crlf("[MANIFEST]\n" + k + "[/MANIFEST]\n" + kGlobal));
        ASSERT_TRUE(l.ok) << l.report.what;
        CSystem& s = l.rt->system;
        EXPECT_EQ(text_of(s.ProjectName) + "|" + text_of(s.ProjectTitle) + "|" + text_of(s.ProjectCompany) + "|" +
                      text_of(s.ProjectVersion), k.size() > 20 ? "Demo App||ACME, Inc.|1.2.3" : "x|||");
        EXPECT_DOUBLE_EQ(s.ProjectDate, k.size() > 20 ? encode_date(2024, 1, 31) + encode_time(8, 15, 0, 250) : 0.0);  // or none
    }
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
        EXPECT_TRUE(!l.ok && l.report.line == 3) << line << ": " << l.report.line << " " << l.report.what;
    }
    for (const char* member : {"0 1 i int A", "0 1 i int A 0 0", "1 0 i int P A 0", "0 1 z int A 0"}) {
        auto l = qeltest::parse_raw(crlf(std::string("[METADATA]\nstruct Global [none] System\n") + member + "\n[/METADATA]\n"));
        EXPECT_TRUE(!l.ok && l.report.line == 3) << member << ": " << l.report.line << " " << l.report.what;
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
    };
    for (const auto& c : cases) {
        auto l = qeltest::parse_raw(crlf(c.text));
        EXPECT_TRUE(!l.ok && l.report.line == c.line && l.report.what.find(c.what) != std::string::npos)
            << c.what << ": " << l.report.line << " " << l.report.what;
    }
}

TEST(Loader, ImagesThatCannotStart) {
    // An object keeps its class in its first word: only a plain pointer field may lie there.
    auto l = qeltest::load_raw(crlf("[METADATA]\nstruct Global [none] System\nclass Bad [none] 0 System\n"
                                    "0 1 p pointer FList 2\n[/METADATA]\n[SOURCE]\n"
                                    "method Bad::Bad.[a:1][m:0][p:00][r:v][v:]\nret\n[/SOURCE]\n"));
    const std::string expected = "class <Bad> has its field FList where its objects";
    EXPECT_TRUE(!l.ok && l.report.what.find(expected) != std::string::npos) << l.report.what;
}

// What parsing leaves: every record's line, opcode and names, the literals, and the resources.
std::string parsed(const Program& prog) {
    std::string out;
    for (const Instruction* i = prog.code.first; i; i = after(i)) {
        const char* name = i->opcode == kOp_method ? i[1].method()->name : i->opcode == kOp_call ? i->operand.target->method()->name : nullptr;
        out += std::to_string(prog.code.place_of(i, nullptr).lineno) + " " + opcode_mnemonic(i->opcode) + (name ? std::string(" ") + name : "");
        if (i->opcode == kOp_ldstr) out += " \"" + qeltest::literal_text(i->literal()) + "\"";
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

// An image file is checked whole: its text must end with a NUL byte, and a container cut short
// fails with its zlib status whatever the parser found on the way (the notes its text made do not
// go out).
TEST(Loader, ImageFilesAreCheckedWhole) {
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
