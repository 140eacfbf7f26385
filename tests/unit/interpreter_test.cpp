// The interpreter: operator and conversion tables, inline paths, fused runs, struct fields, calls,
// bad targets, typed pops and stores. Operands are kind:payload (i:5 int, l:-5 long, d:0.5 double,
// b:1 bool, p:16 pointer, s:abc string, m:1,2 method, u:13 a tag no Value has).
#include <cstdlib>
#include <cstring>

#include <algorithm>

#include "builtin_harness.h"
#include "image/code_store.h"
#include "image/opcodes.h"
#include "vm/operators.h"

using namespace qel;

namespace {

class Ops : public qeltest::Builtins {
protected:
    void push_value(const std::string& v) {
        Value& slot = push_slot(st);
        const char kind = v[0];
        const std::string body = v.substr(2);
        slot.tag = kind == 'i' ? kTagInt : kind == 'l' ? kTagLong : kind == 'd' ? kTagDouble : kind == 'b' ? kTagBool
                 : kind == 'p' ? kTagPointer : kind == 's' ? kTagString : kind == 'm' ? kTagMethod
                               : static_cast<uint32_t>(std::atoi(body.c_str()));
        slot.v.l = 0;
        switch (kind) {
            case 'i': case 'b': case 'p': slot.v.u = static_cast<uint32_t>(std::strtoll(body.c_str(), nullptr, 0)); break;
            case 'l': slot.v.l = std::strtoll(body.c_str(), nullptr, 0); break;
            case 'd': slot.v.d = std::strtod(body.c_str(), nullptr); break;
            case 's': slot.text.assign_narrow(body.c_str()); break;
            case 'm':
                slot.v.m.Method = reinterpret_cast<Instruction*>(std::atoi(body.c_str()));
                slot.v.m.Target = reinterpret_cast<void*>(std::atoi(body.c_str() + body.find(',') + 1));
                break;
        }
    }

    // Runs f on a stack holding the values: what it returns, or the runtime error's message.
    template <typename F>
    std::string on(std::initializer_list<std::string> values, F f) {
        st->count = 0;
        for (const std::string& v : values) push_value(v);
        std::string out;
        const std::string error = caught([&] { out = f(); });
        return error.empty() ? out : error;
    }

    // A binary operator on (l, r): the one value left, or the error.
    std::string binary(const std::string& op, const std::string& l, const std::string& r) {
        static const std::pair<std::string, void (*)(ValueStack*)> kArith[] = {
            {"add", op_add}, {"sub", op_sub}, {"mul", op_mul}, {"div", op_div}, {"rem", op_rem},
            {"shl", op_shl}, {"shr", op_shr}, {"bor", op_bor}, {"bxor", op_bxor}, {"band", op_band}};
        return on({l, r}, [&] {
            auto f = std::find_if(std::begin(kArith), std::end(kArith), [&](const auto& a) { return a.first == op; });
            if (f != std::end(kArith)) f->second(st);
            else op_compare(st, opcode_by_mnemonic(op.c_str())->number);
            return count() == 1 ? text(top()) : "<" + std::to_string(count()) + " values>";
        });
    }

    // A typed pop of the value, as text.
    std::string pop(const std::string& kind, const std::string& v) {
        return on({v}, [&]() -> std::string {
            if (kind == "bool") return std::to_string(pop_bool(st));
            if (kind == "int") return std::to_string(pop_int(st));
            if (kind == "long") return std::to_string(pop_long(st));
            if (kind == "double") return std::to_string(pop_double(st));
            if (kind == "pointer") return std::to_string(reinterpret_cast<uintptr_t>(pop_pointer(st)));
            if (kind == "method") return std::to_string(pop_method(st).Target == nullptr);
            if (kind == "string") return std::to_string(pop_string(st).length);
            return std::to_string(pop_native_int(st) != 0);
        });
    }
};

#define CONV "Cannot convert "
struct Case { const char *op, *l, *r, *result; };

const Case kCases[] = {
    // add: int with int stays int and wraps; a long widens; a double wins; pointer sums.
    {"add", "i:2", "i:3", "i:5"}, {"add", "i:2147483647", "i:1", "i:-2147483648"}, {"add", "i:-1", "l:5", "l:4"},
    {"add", "l:1", "d:0.5", "d:1.5"}, {"add", "i:16", "p:4096", "p:4112"}, {"add", "p:4096", "i:4", "p:4100"},
    {"add", "s:ab", "s:cd", "s:abcd"},
    // Errors name the right operand's type first, the left one's second.
    {"add", "i:1", "s:x", CONV "'string' to 'int'"}, {"add", "s:x", "i:1", CONV "'int' to 'string'"},
    {"add", "l:1", "p:1", CONV "'pointer' to 'long'"}, {"add", "p:1", "p:1", CONV "'pointer' to 'pointer'"},
    {"add", "b:1", "i:1", CONV "'int' to 'bool'"},
    // sub: pointer difference, string comparison as unsigned units.
    {"sub", "p:4112", "p:4096", "i:16"}, {"sub", "s:abc", "s:abd", "i:-1"}, {"sub", "s:abc", "s:abc", "i:0"},
    {"sub", "s:b", "s:abc", "i:1"}, {"sub", "p:8", "i:4", CONV "'int' to 'pointer'"},
    {"sub", "i:-2147483648", "i:1", "i:2147483647"}, {"mul", "i:65536", "i:65536", "i:0"},
    {"mul", "i:3", "l:-4", "l:-12"}, {"mul", "s:a", "s:b", CONV "'string' to 'string'"},
    // div: int when exact, double otherwise; zero divisors of every kind fail.
    {"div", "i:7", "i:2", "d:3.5"}, {"div", "i:-8", "i:2", "i:-4"}, {"div", "i:8", "l:2", "i:4"},
    {"div", "l:9", "i:3", "l:3"}, {"div", "l:9", "l:2", "d:4.5"}, {"div", "i:1", "d:4", "d:0.25"},
    {"div", "i:1", "i:0", "Division by zero."}, {"div", "d:1", "d:0", "Division by zero."},
    {"div", "d:1", "d:-0.0", "Division by zero."}, {"div", "i:1", "l:0", "Division by zero."},
    {"div", "i:-2147483648", "i:-1", "i:-2147483648"},  // wraps instead of faulting
    {"div", "l:-9223372036854775808", "l:-1", "l:-9223372036854775808"},
    // rem: the sign of the left operand; a long makes a long.
    {"rem", "i:7", "i:-2", "i:1"}, {"rem", "i:-7", "i:2", "i:-1"}, {"rem", "i:7", "l:4", "l:3"},
    {"rem", "i:-2147483648", "i:-1", "i:0"}, {"rem", "i:7", "i:0", "Division by zero."},
    {"rem", "d:7", "i:2", CONV "'int' to 'double'"},
    // shifts: 5 bits of the count for ints, 8 for longs.
    {"shl", "i:1", "i:33", "i:2"}, {"shr", "i:-16", "i:2", "i:-4"}, {"shl", "i:-1", "l:36", "l:-16"},
    {"shl", "l:1", "i:40", "l:1099511627776"}, {"shl", "l:1", "i:64", "l:0"}, {"shr", "l:-8", "i:200", "l:-1"},
    {"shl", "l:1", "i:259", "l:8"},  // the low 8 bits of the count
    {"shl", "l:1", "i:321", "l:0"},  // 65: past the 64 bits
    {"band", "i:240", "i:60", "i:48"}, {"bxor", "i:-1", "l:4294967296", "l:-4294967297"},
    {"bor", "i:1", "d:1", CONV "'double' to 'int'"},
    // Equality accepts its pairs only.
    {"beq", "i:5", "i:5", "b:true"}, {"beq", "i:5", "b:1", "b:false"}, {"beq", "i:1", "b:1", "b:true"},
    {"beq", "i:0", "p:0", "b:true"}, {"beq", "p:16", "i:16", "b:true"}, {"beq", "i:-1", "l:-1", "b:true"},
    {"beq", "i:-1", "l:4294967295", "b:false"}, {"beq", "i:1", "d:1", "b:true"}, {"beq", "b:0", "i:0", "b:true"},
    {"beq", "m:1,2", "m:1,2", "b:true"}, {"beq", "m:1,2", "m:1,3", "b:false"}, {"beq", "d:nan", "d:nan", "b:false"},
    {"bne", "d:nan", "d:nan", "b:true"}, {"bne", "s:ab", "s:abc", "b:true"}, {"beq", "s:ab", "s:ab", "b:true"},
    {"beq", "p:1", "s:x", CONV "'string' to 'pointer'"}, {"beq", "b:1", "p:1", CONV "'pointer' to 'bool'"},
    {"beq", "l:1", "b:1", CONV "'bool' to 'long'"},
    // Ordering accepts numbers only; a NaN makes every ordering false.
    {"bgt", "i:-1", "i:1", "b:false"}, {"bgt", "l:4294967296", "i:1", "b:true"}, {"bgt", "i:2", "d:1.5", "b:true"},
    {"ble", "d:nan", "i:1", "b:false"}, {"bge", "d:nan", "i:1", "b:false"}, {"bge", "i:1", "d:nan", "b:false"},
    {"bge", "l:2", "i:2", "b:true"}, {"blt", "i:1", "i:2", "b:true"},
    {"bgt", "s:a", "s:b", CONV "'string' to 'string'"},
};

TEST_F(Ops, BinaryOperatorsFollowTheTypeTables) {
    for (const Case& c : kCases) EXPECT_EQ(binary(c.op, c.l, c.r), c.result) << c.op << " " << c.l << " " << c.r;
}

TEST_F(Ops, InstructionsOnIntsTakeTheirInlinePaths) {
    struct { const char *vars, *body, *expected; } rows[] = {
        {"", "ldint 7\nldint -3\nadd", "i:4"},      {"", "ldint 7\nldint 10\nsub", "i:-3"},
        {"", "ldint -7\nldint 6\nmul", "i:-42"},    {"", "ldint -9\nldint 3\ndiv", "i:-3"},
        {"", "ldint -7\nldint 3\nrem", "i:-1"},     {"", "ldint -3\nldint 33\nshl", "i:-6"},
        {"", "ldint -16\nldint 2\nshr", "i:-4"},    {"", "ldint 12\nldint 10\nband", "i:8"},
        {"", "ldint 12\nldint 10\nbor", "i:14"},    {"", "ldint 12\nldint 10\nbxor", "i:6"},
        {"", "ldint 5\nldint 5\nbeq", "b:true"},    {"", "ldint 5\nldint 5\nbne", "b:false"},
        {"", "ldint 5\nldint 5\nbgt", "b:false"},   {"", "ldint 5\nldint 5\nblt", "b:false"},
        {"", "ldint 5\nldint 5\nbge", "b:true"},    {"", "ldint 5\nldint 5\nble", "b:true"},
        {"", "ldint 3\nldint 5\nbgt", "b:false"},   {"", "ldint 3\nldint 5\nblt", "b:true"},
        {"", "ldint 0\nldint 1\nor", "b:true"},     {"", "ldint 0\nldint 1\nand", "b:false"},
        // cmp jumps when the value is false, cmpjmp when it is true; crlf is CR LF.
        {"", "ldint 0\ncmp @j\nldint 1\nreturn\n@j:\nldint 2", "i:2"},
        {"", "ldint 1\ncmp @j\nldint 1\nreturn\n@j:\nldint 2", "i:1"},
        {"", "ldint 0\ncmpjmp @j\nldint 1\nreturn\n@j:\nldint 2", "i:1"},
        {"", "ldint 1\ncmpjmp @j\nldint 1\nreturn\n@j:\nldint 2", "i:2"},
        {"", "ldcnst crlf\nldstr \"x\"\nadd", "s:\r\nx"},
        // inc twice and dec once; typed variables convert by width on the way in and out
        {"i", "ldint 6\nstvint 0\ninc 0\ninc 0\ndec 0\nldvint 0", "i:7"},
        {"e", "ldint 255\nstvbyt 0\nldvbyt 0", "i:-1"},           {"m", "ldint 32768\nstvshrt 0\nldvshrt 0", "i:-32768"},
        {"c", "ldint -1\nstvchr 0\nldvchr 0", "i:65535"},         {"b", "ldint 2\nstvbln 0\nldvbln 0", "b:true"},
        {"f", "lddbl 0.1\nstvflt 0\nldvflt 0", "d:0.10000000149011612"},
        {"l", "ldlong -5000000000\nstvlng 0\nldvlng 0", "l:-5000000000"},
        {"d", "lddbl 0.25\nstvdbl 0\nldvdbl 0", "d:0.25"},       {"p", "ldint 3\ncallstd Ptr\nstvptr 0\nldvptr 0", "p:3"},
    };
    for (const auto& r : rows) EXPECT_EQ(eval(r.vars, r.body), r.expected) << r.body;
}

// Runs the interpreter fuses into one step give the results of their instructions one by one: an
// int variable compared with a constant or a variable and a branch (cmp jumps when the comparison
// fails, cmpjmp when it holds), and add, sub or mul of an int variable and a constant or a
// variable, pushed or stored.
TEST_F(Ops, FusedRunsGiveTheResultsOfTheirInstructions) {
    const char* ops[] = {"beq", "bne", "bgt", "blt", "bge", "ble"};
    const int pairs[][2] = {{3, 5}, {5, 5}, {7, 5}, {-1, 2}, {2147483647, 3}, {-5, -4}};
    for (const auto& [a, b] : pairs) {
        const std::string head = "ldint " + std::to_string(a) + "\nstvint 0\nldint " + std::to_string(b) + "\nstvint 1\nldvint 0\n";
        const bool holds[] = {a == b, a != b, a > b, a < b, a >= b, a <= b};
        for (int k = 0; k < 6; ++k) {
            for (const char* branch : {"cmp", "cmpjmp"}) {
                const bool jumps = (std::string(branch) == "cmpjmp") == holds[k];
                EXPECT_EQ(eval("ii", head + "ldvint 1\n" + ops[k] + "\n" + branch + " @j\nldint 0\nreturn\n@j:\nldint 1"),
                          jumps ? "i:1" : "i:0") << a << " " << ops[k] << " " << b << " " << branch;
            }
            const bool holds5[] = {a == 5, a != 5, a > 5, a < 5, a >= 5, a <= 5};
            EXPECT_EQ(eval("ii", head + "ldint 5\n" + ops[k] + "\ncmpjmp @j\nldint 0\nreturn\n@j:\nldint 1"),
                      holds5[k] ? "i:1" : "i:0") << a << " " << ops[k] << " 5";
        }
        const uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
        const std::pair<const char*, uint32_t> arith[] = {{"add", ua + ub}, {"sub", ua - ub}, {"mul", ua * ub}};
        for (auto [op, r] : arith) {
            const std::string want = "i:" + std::to_string(static_cast<int32_t>(r));
            EXPECT_EQ(eval("iii", head + "ldvint 1\n" + op), want) << a << " " << op << " " << b;
            EXPECT_EQ(eval("iii", head + "ldvint 1\n" + op + "\nstvint 2\nldvint 2"), want) << a << " " << op << " " << b;
        }
        const std::string three = "i:" + std::to_string(static_cast<int32_t>(ua + 3u));
        EXPECT_EQ(eval("iii", head + "ldint 3\nadd"), three);
        EXPECT_EQ(eval("iii", head + "ldint 3\nadd\nstvint 2\nldvint 2"), three);
    }
    // Doubles fuse too: a variable with a constant or a variable, pushed or stored, and the top with
    // a constant; an int top takes the instructions one by one.
    const std::pair<const char*, const char*> doubles[] = {
        {"ldvdbl 0\nlddbl 1.0\nadd", "d:3.5"}, {"ldvdbl 0\nlddbl 1.0\nsub", "d:1.5"}, {"ldvdbl 0\nlddbl 2.0\nmul", "d:5"},
        {"ldvdbl 0\nldvdbl 1\nmul", "d:3.75"}, {"ldvdbl 0\nlddbl 0.5\nmul\nstvdbl 2\nldvdbl 2", "d:1.25"},
        {"ldvdbl 0\nldvdbl 1\nadd\nstvdbl 2\nldvdbl 2", "d:4"}, {"ldvdbl 1\nldvdbl 0\nsub\nstvdbl 2\nldvdbl 2", "d:-1"},
        {"ldvdbl 1\nlddbl 1.5\nadd", "d:3"}, {"ldint 2\nlddbl 1.0\nsub", "d:1"},
    };
    for (auto [body, want] : doubles)
        EXPECT_EQ(eval("ddd", std::string("lddbl 2.5\nstvdbl 0\nlddbl 1.5\nstvdbl 1\n") + body), want) << body;
    // A branch into the middle of a run runs the instructions one by one; so does a run without
    // room on the stack for its result, where the overflow is raised and not written past the stack.
    EXPECT_EQ(eval("i", "ldint 4\nstvint 0\njmp @in\nldvint 0\n@in:\nldint 1\nldint 1\nbeq\ncmpjmp @j\nldint 0\nreturn\n@j:\nldint 1"), "i:1");
    EXPECT_EQ(eval("i", "ldint 4\nstvint 0\nldint 7\njmp @in\nldvint 0\n@in:\nldint 1\nadd"), "i:8");
    EXPECT_EQ(eval("", "callmtd Fill", "method Fill.[a:1][m:0][p:00][r:v][v:i]\n@fill:\nldvint 0\nldint 1\nadd\njmp @fill\n"),
              "s:Stack overflow");
}

// The records of an image are kept in blocks: code runs on across the link at a block's end, in
// every place the link can fall in a loop with fused runs, a string append, branches and a call
// (whose header may be the last record of a block).
TEST_F(Ops, CodeRunsOnAcrossTheBlocksOfRecords) {
    const std::string loop = "ldint 0\nstvint 0\nldint 0\nstvint 1\nldstr \"\"\nstvstr 2\n@loop:\nldvint 1\nldvint 0\nadd\n"
                             "stvint 1\nldvstr 2\nldstr \"x\"\nadd\nstvstr 2\ninc 0\nldvint 0\nldint 5\nblt\ncmpjmp @loop\n"
                             "callmtd U\nldvint 1\nadd\nldvstr 2\ncallstd Length\nadd";
    const std::string callee = "method U.[a:1][m:0][p:00][r:i][v:]\nldint 100\nreturn\n";
    ASSERT_EQ(eval("iis", loop, callee), "i:115");
    // Where T's first record lies in the first block: fillers (a jmp to the next record each) move
    // the loop, and then U's header, over the block's end one record at a time.
    const int before = static_cast<int>(image.rt->program.code.method("T") - image.rt->program.code.first) + 2;
    const int room = static_cast<int>(CodeStore::kRecordsPerBlock) - 1 - before;
    for (int shift = 0; shift < 33; ++shift) {
        std::string filler;
        for (int k = 0; k < room - shift; ++k) filler += "jmp @f" + std::to_string(k) + "\n@f" + std::to_string(k) + ":\n";
        EXPECT_EQ(eval("iis", filler + loop, callee), "i:115") << shift;
    }
}

// Structs: newstruct leaves string fields null until newstr; New and newobj of a struct create
// them. Field loads and stores convert by their width.
TEST_F(Ops, StructFieldsConvertByTheirWidth) {
    declarations = "[METADATA]\nstruct Rec [none] Test\n0 1 e byte b 0\n0 1 c char c 0\n0 1 m short m 0\n"
                   "0 1 l long l 0\n0 1 f float f 0\n0 1 b bool flag 0\n0 1 s string s 0\n0 1 i int tail 0\n"
                   "0 1 d double d 0\n0 1 p pointer p 0\n[/METADATA]\n";
    struct { const char *value, *cell, *field, *expected; } fields[] = {
        {"ldint 255", "byt", "b", "i:-1"},         {"ldint -1", "chr", "c", "i:65535"},
        {"ldint 32768", "shrt", "m", "i:-32768"},  {"ldlong 4294967296", "lng", "l", "l:4294967296"},
        {"lddbl 0.1", "flt", "f", "d:0.10000000149011612"}, {"ldstr \"non-empty is true\"", "bln", "flag", "b:true"},
        {"ldstr \"text\"", "str", "s", "s:text"}, {"ldint 7", "int", "tail", "i:7"}, {"ldint 7", "ntv", "tail", "i:7"},
        {"lddbl 0.25", "dbl", "d", "d:0.25"},      {"ldint 9\ncallstd Ptr", "ptr", "p", "p:9"},
    };
    for (const auto& f : fields)
        EXPECT_EQ(eval("p", std::string("newobj Rec\nstvptr 0\n") + f.value + "\nldvptr 0\nstp" + f.cell + " Rec." + f.field +
                                "\nldvptr 0\nldp" + f.cell + " Rec." + f.field),
                  f.expected) << f.cell;
    struct { const char *body, *expected; } rows[] = {
        {"ldcls Rec\ncallstd New\nldpptr Rec.s\nldint 0\nbne", "b:true"},
        {"newstruct Rec\nldpptr Rec.s", "p:0"}, {"newstruct Rec\nldpstr Rec.s", "s:"},
        {"newstruct Rec\nnewstr Rec.s\nstvptr 0\nldstr \"held\"\nldvptr 0\nstpstr Rec.s\nldvptr 0\nldpstr Rec.s", "s:held"},
        {"newobj Rec\nfreestr Rec.s\nldpptr Rec.s", "p:0"},
        {"sizeof Rec", "i:48"}, {"sizeof char", "i:2"}, {"ldint 0\nldpref Rec.l", "p:8"},
    };
    for (const auto& r : rows) EXPECT_EQ(eval("p", r.body), r.expected) << r.body;
}

// Calls pass arguments converted to the declared codes; return hands one value back in place of
// the arguments; ret leaves the caller's stack as it was. params N hands N extra values to a
// procedure: ldparam reads them and ldtype tells their kinds, past the callee's own pushes; the
// caller's stack then holds only the result.
TEST_F(Ops, CallsArgumentsResultsAndExtraValues) {
    const std::string methods =
        "method Show.[a:1][m:0][p:06][r:s][v:isdmcb]\nldstr \"%d %s %g %d %d %s\"\nldvint 0\nldvstr 1\nldvdbl 2\n"
        "ldvshrt 3\nldvchr 4\nldvbln 5\ncallstd String\nstparams 6\ncallstd Format\nreturn\n"
        "method Junk.[a:1][m:0][p:01][r:v][v:i]\nldint 99\nldint 98\nret\n"
        "method Answer.[a:1][m:0][p:00][r:i][v:]\nldint 1\nldint 42\nreturn\n"
        "method Extras.[a:1][m:0][p:02][r:s][v:ip]\nldint 7\nldint 8\nempty\nempty\nldstr \"%d %d %d %d %s %d %d\"\n"
        "ldint 1\nldparam\nldint 0\nldtype\nldint 2\nldtype\nldint 3\nldtype\nldint 3\nldparam\nldint 0\nldparam\n"
        "ldvptr 1\nldpint\nstparams 7\ncallstd Format\nreturn\n";
    struct { const char *body, *expected; } rows[] = {
        {"ldint 1\nldstr \"a\"\nldint 5\nldint 2\ndiv\nldint 65535\nldint 65535\nldint 7\ncallmtd Show",
         "s:1 a 2.5 -1 65535 true"},
        {"ldint 5\nldint 6\ncallmtd Junk", "i:5"}, {"callmtd Answer", "i:42"},
        {"ldstr \"below \"\nldint 0\nldint 10\nldint 20\nlddbl 0.5\nldstr \"x\"\nparams 4\ncallmtd Extras\nadd",
         "s:below 20 105 100 115 x 10 4"},
        // A conversion error while moving arguments is raised in the caller.
        {"lddbl 1.5\ncallmtd Junk", "s:Cannot convert 'double' to 'int'"},
    };
    for (const auto& r : rows) EXPECT_EQ(eval("", r.body, methods), r.expected) << r.body;
}

// Calls on null or invalid objects, missing methods and classes, and a delexc without a caught
// exception are runtime errors.
TEST_F(Ops, BadTargetsAreRuntimeErrors) {
    struct { const char *body, *expected; } rows[] = {
        {"delexc", "No caught exception to delete"}, {"ldint 0\ncall T", "Method call on a null object"},
        {"callmtd NoSuchMethod", "Method not found: NoSuchMethod"}, {"newobj CNowhere", "Class info not found!"},
        {"ldint 0\nldpstr Exception.FMessage", "Field access on a null object"},
        {"ldint 0\ncallvirt Free", "Method call on a null object"},
        {"ldint 5\nldpstr Exception.FMessage", "Field access at an invalid address"},
        {"ldint 8\ncallvirt Free", "Method call on an invalid object"},
    };
    for (const auto& r : rows) EXPECT_EQ(eval("", r.body), std::string("s:") + r.expected) << r.body;
}

TEST_F(Ops, TypedPopsConvertOrRaise) {
    struct { const char *kind, *value, *result; } pops[] = {
        {"bool", "s:", "0"}, {"bool", "s:0", "1"}, {"bool", "l:4294967296", "1"}, {"bool", "d:nan", "1"},
        {"bool", "d:-0.0", "0"}, {"bool", "m:0,1", "1"}, {"bool", "u:13", CONV "'undefined type' to 'bool'"},
        {"int", "d:1.5", CONV "'double' to 'int'"}, {"int", "b:1", "1"}, {"int", "l:1", CONV "'long' to 'int'"},
        {"int", "p:1", CONV "'pointer' to 'int'"}, {"long", "s:", CONV "'string' to 'long'"}, {"long", "i:-3", "-3"},
        {"double", "p:1", CONV "'pointer' to 'double'"}, {"pointer", "i:0", "0"},
        {"pointer", "l:3", CONV "'long' to 'pointer'"}, {"method", "i:0", "1"},
        {"method", "i:1", CONV "'int' to 'method'"}, {"string", "i:1", CONV "'int' to 'string'"},
        {"native", "s:abc", "1"},
    };
    for (const auto& p : pops) EXPECT_EQ(pop(p.kind, p.value), p.result) << p.kind << " " << p.value;
    EXPECT_EQ(on({}, [&] { return std::to_string(pop_int(st)); }), "Stack underflow");
}

TEST_F(Ops, StoringIntoVariablesFollowsTheirCodes) {
    Frame f{};
    const char codes[] = "icemlfdbt";
    f.stack = st, f.var_codes = codes, f.var_count = 9;
    struct Store { int index; const char *value, *error; uint64_t bits; };  // bits: the slot after a store
    const double three = 3.0;
    uint64_t threeBits;
    std::memcpy(&threeBits, &three, sizeof threeBits);
    const Store kStores[] = {
        {0, "d:2", CONV "'double' to 'int'", 0}, {6, "i:3", "", threeBits}, {4, "s:x", CONV "'string' to 'long'", 0},
        {8, "i:0", "", 0}, {8, "i:1", CONV "'int' to 'method'", 0}, {1, "i:131071", "", 0xFFFF},  // low 16 bits
        {2, "i:511", "", 0xFF}, {7, "s:", "", 0}, {7, "s:no", "", 1},  // low 8 bits; an empty string is false
    };
    for (const Store& s : kStores) {
        f.vars[s.index] = 0;
        EXPECT_EQ(on({s.value}, [&] { return pop_stack_to_variable(&f, s.index), std::string(); }), s.error) << s.index;
        if (!*s.error) EXPECT_EQ(f.vars[s.index], s.bits) << s.index << " " << s.value;
    }
    const char bogus[] = "x";
    f.var_codes = bogus;
    EXPECT_EQ(on({"i:1"}, [&] { return pop_stack_to_variable(&f, 0), std::string(); }), "Stack Error : pop_stack_to_variable");
}

}  // namespace
