// The assembler: operand kinds and the malformed source lines that fail the load.
#include "image/instruction.h"
#include "image/opcodes.h"
#include "builtin_harness.h"
#include "base/name_hash.h"

using namespace qel;

namespace {

std::string source(const std::string& body) {
    return "[METADATA]\nstruct Global [none] System\nstruct Point [none] System\n0 1 i int x 0\n0 1 d double y 0\n"
           "class object [none] 0 System\n0 1 p pointer FClassInfo 0\n[/METADATA]\n[SOURCE]\n" + body + "[/SOURCE]\n";
}

// The n-th instruction after the header of the method with that full name.
Instruction* at(Runtime& rt, const char* method, int n) {
    Instruction* i = rt.program.code.method(method);
    for (int k = 0; i && k < n; ++k) i = k == 0 ? body_of(i) : following(i);
    return i;
}

// An instruction as "opcode operand" with its names, its text literal or its signature.
std::string describe(const Instruction* i, const CodeStore& code) {
    const OperandKind kind = opcode_by_number(i->opcode)->kind;
    const bool named = kind == OperandKind::Method || kind == OperandKind::Hash || kind == OperandKind::TypeSize;
    const bool names = kind == OperandKind::Names;
    std::string s = std::string(opcode_mnemonic(i->opcode));
    const bool field = kind == OperandKind::Field;  // its field until linked
    if (i->opcode != kOp_ldstr)  // its operand is its text
        s += " " + (named ? std::to_string(i->operand.u) : names ? "0" : i->opcode == kOp_ldlong ? std::to_string(i->wide())
                    : field ? std::to_string(i->field() ? i->field()->address : 0) : std::to_string(i->operand.i));
    const char* name = kind == OperandKind::Method && i->operand.target ? i->operand.target->method()->name : code.name_of(i);
    if (named && name) s += std::string(" ") + name;
    if (names && i->operand.first_name)
        s += std::string(" ") + i->operand.first_name + (name ? std::string(".") + name : "");
    if (i->opcode == kOp_ldstr) s += " \"" + qeltest::literal_text(i->literal()) + "\"";
    if (i->opcode == kOp_comget) s += std::string(" ") + static_cast<char>(i->com_name()[0]);
    if (i->opcode == kOp_callcvirt)
        s = std::string("callcvirt ") + std::to_string(i->operand.i) + "." + std::to_string(i->signature()->convention) +
            "." + static_cast<char>(i->signature()->result) + "." + (i->signature()->labels ? i->signature()->labels : "-") +
            "/" + std::to_string(i->signature()->name_length);
    return s;
}

TEST(Assembler, OperandKinds) {
    const std::pair<const char*, std::string> cases[] = {
        {"inc 3", "inc_3 3"}, {"inc 9", "inc 9"}, {"ldint 0x10", "ldint 16"}, {"ldint -5", "ldint -5"},
        {"ldint 0xFFFFFFFF", "ldint -1"}, {"ldlong 0x100000000", "ldlong 4294967296"}, {"ldstr \"\"", "ldstr \"b:\""}, {"ldstr \"a b\"", "ldstr \"b:a b\""},
        {"ldstr \"h\xC3\xA9!\"", "ldstr \"u:h\xC3\xA9!\""}, {"stevent 0", "stevent 0 0"}, {"ldpdbl", "ldpdbl 0"}, {"ldpdbl Point.y", "ldpdbl 8"},
        {"sizeof Point", "sizeof 16 Point"}, {"sizeof char", "sizeof 2 char"}, {"newstruct Nothing", "newstruct 0 Nothing"},
        {"callvirt Draw", "callvirt " + std::to_string(name_hash("Draw")) + " Draw"}, {"callcvirt 4.0.v.f", "callcvirt 4.0.v.f/1"},
        {"callcvirt 2.2.i.n", "callcvirt 2.2.i.-/0"}, {"comget Fields.2", "comget 2 F"},
        {"ldnpp PString.Length", "ldnpp 0 PString.Length"},
    };
    std::string body = "method F.[a:1][m:0][p:00][r:v][v:]\n";
    for (const auto& c : cases) body += std::string(c.first) + "\n";
    auto l = qeltest::parse(source(body + "lddbl 0.5\nret\n"));
    ASSERT_TRUE(l.ok) << l.report.what;
    int n = 1;
    for (const auto& c : cases) EXPECT_EQ(describe(at(*l.rt, "F", n++), l.rt->program.code), c.second) << c.first;
    EXPECT_EQ(at(*l.rt, "F", n)->real(), 0.5);
}

// The source starts on line 9 of the image text (line 10 is the first method header).
// Records keep no line: each is placed after the one before it, and those that break the usual
// rule (an operand left out, "inc N" read as inc_N) are marked aside. Walks from the header and
// from the chain's start place them alike.
TEST(Assembler, RecordsArePlacedOnTheirLines) {
    // Each record's line count and line, counted from the header's line.
    const std::pair<const char*, std::pair<int, int>> cases[] = {
        {"ldvint 0", {0, 1}}, {"ldvint 1", {1, 2}}, {"add", {3, 3}}, {"inc 3", {3, 4}}, {"inc_3", {5, 5}},
        {"ldpdbl", {6, 6}}, {"ldpdbl Point.y", {6, 7}}, {"ret", {8, 8}},
    };
    std::string body = "method F.[a:1][m:0][p:00][r:v][v:idii]\n";
    for (const auto& c : cases) body += std::string(c.first) + "\n";
    auto l = qeltest::parse(source(body));
    ASSERT_TRUE(l.ok) << l.report.what;
    const CodeStore& code = l.rt->program.code;
    const Instruction* header = code.method("F");
    const SourcePlace h = code.place_of(header, nullptr);
    EXPECT_EQ(h.line, header->lineno + 1);
    int n = 1;
    for (const auto& c : cases) {
        const Instruction* i = at(*l.rt, "F", n++);
        const SourcePlace p = code.place_of(i, header), q = code.place_of(i, nullptr);
        EXPECT_EQ(std::make_pair(p.lineno - h.line, p.line - h.line), c.second) << c.first;
        EXPECT_TRUE(p.lineno == q.lineno && p.line == q.line) << c.first;
    }
}

// Short literals and variable lists met before are shared, equal ones only: 300 texts meet in the
// table's 256 slots, and each method comes right after its twin (M300 after M0, ...).
TEST(Assembler, EqualShortTextsShareOneCopy) {
    auto vars = [](int k) {
        std::string v;
        for (int n = k % 300 + 1; n; n /= 4) v += "idsp"[n % 4];
        return v;
    };
    std::string body;
    for (int k = 0; k < 300; ++k)
        for (int m : {k, k + 300})
            body += "method M" + std::to_string(m) + ".[a:1][m:0][p:00][r:v][v:" + vars(k) + "]\nldstr \"" +
                    std::to_string(k) + "\"\nret\n";
    auto l = qeltest::parse(source(body));
    ASSERT_TRUE(l.ok) << l.report.what;
    for (int k = 0; k < 300; ++k) {
        const std::string m = "M" + std::to_string(k), twin = "M" + std::to_string(k + 300);
        const Instruction *ldstr = at(*l.rt, m.c_str(), 1), *twin_ldstr = at(*l.rt, twin.c_str(), 1);
        const MethodRecord *record = l.rt->program.code.method(m.c_str())->method(),
                           *twin_record = l.rt->program.code.method(twin.c_str())->method();
        EXPECT_EQ(qeltest::literal_text(ldstr->literal()), "b:" + std::to_string(k)) << k;
        EXPECT_EQ(record->var_types, vars(k)) << k;
        EXPECT_TRUE(ldstr->literal() == twin_ldstr->literal() && record->var_types == twin_record->var_types) << k;
    }
}

TEST(Assembler, MalformedLinesFailTheLoadNamingTheLine) {
    const std::string f = "method F.[a:1][m:0][p:00][r:v][v:]\n";
    struct { std::string body; int line; const char* what; } cases[] = {
        {f + "ldpint Point.z\nret\n", 11, "has no field 'z'"},
        {f + "stpint Nowhere.x\nret\n", 11, "unknown class 'Nowhere'"},
        {"method F.[a:1][m:0][p:00][r:v]\nret\n", 10, "does not have the form"},
        {"method F.[a:1][m:0][p:02][r:v][v:i]\nret\n", 10, "does not have the form"},
        {"method F.[a:1][m:0][p:00][r:v][v:iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii]\nret\n", 10, "at most 32"},
        {f + "jmp 4\nret\n", 11, "beyond the end of F"},
        {f + "jmp 2\nmethod G.[a:1][m:0][p:00][r:v][v:]\nret\n", 11, "beyond the end of F"},
        {f + "callstd NoSuchBuiltin\nret\n", 11, "unknown built-in"},
        {f + "ldvint 32\nret\n", 11, "variable index out of range"},
        {f + "ldvint\nret\n", 11, "bad number ''"},  // an operand is never taken from the next line
        {f + "ldint 12x\nret\n", 11, "bad integer"},
        {f + "lddbl 1.5x\nret\n", 11, "bad real number"}, {f + "ldint 1\njmp 4294967297\nret\n", 12, "bad number"},
        {f + "ret now\n", 11, "unexpected operand"}, {f + "ret\n[METADATA]\n", 12, "unknown mnemonic '[METADATA]'"},
    };
    for (const auto& c : cases) {
        auto l = qeltest::parse(source(c.body));
        EXPECT_TRUE(!l.ok && l.report.line == c.line && l.report.what.find(c.what) != std::string::npos)
            << c.what << ": " << l.report.line << " " << l.report.what;
    }
}

}  // namespace
