// The verifier: what it refuses (and where), what it only notes, and that well-formed code passes.
#include <gtest/gtest.h>

#include "host/host_records.h"
#include "image/verifier.h"
#include "test_support.h"

using namespace qel;

namespace {

// One method body; the header is on line 14 of the image text, so the body starts on line 15.
std::string image(const std::string& vars, const std::string& body) {
    return "[METADATA]\n"
           "struct Global [none] System\n"
           "struct Rec [none] System\n0 1 s string S 0\n0 1 i int I 0\n0 1 e byte B 0\n0 1 e byte Last 0\n"
           "class object [none] 0 System\n0 1 p pointer FClassInfo 0\n"
           "class Native object 1 System\n0 1 i int N 0\n"
           "[/METADATA]\n[SOURCE]\n"
           "method F.[a:1][m:0][p:00][r:v][v:" + vars + "]\n" + body + "[/SOURCE]\n";
}

// Whether the first problem refuses the load, its line (0: no problem at all), part of its message.
struct Case { const char *vars, *body; bool refused; int line; const char* what; };

const Case kCases[] = {
    // well-formed: nothing to say
    {"is", "ldint 1\nstvint 0\nldstr \"a\"\nstvstr 1\nldref 1\nempty\nret\n", false, 0, ""},
    {"p", "newstruct Rec\nstvptr 0\nldint 7\nldvptr 0\nstpint Rec.I\nldvptr 0\nldpstr Rec.S\nempty\nret\n", false, 0, ""},
    {"", "ldint 1\nreturn\n", false, 0, ""}, {"", "@top:\njmp @top\n", false, 0, ""},
    // variables
    {"ii", "ldvint 2\nempty\nret\n", true, 15, "variable 2 of F, which has 2 variables"},
    {"s", "ldint 1\nstvint 0\nret\n", true, 16, "would overwrite the string"},
    {"s", "inc 0\nret\n", true, 15, "would overwrite the string"},
    {"s", "exc 0\nret\n", true, 15, "would overwrite the string"},
    {"i", "ldvstr 0\nempty\nret\n", true, 15, "which is not a string"},
    {"i", "ldstr \"x\"\nstvstr 0\nret\n", true, 16, "which is not a string"},
    {"i", "ldvdbl 0\nempty\nret\n", false, 15, "declared 'i'"},
    // fields
    {"p", "ldvptr 0\nldpint Rec.S\nempty\nret\n", false, 16, "declared 's'"},
    {"p", "ldint 1\nldvptr 0\nstpint Rec.S\nret\n", true, 17, "would overwrite the string in field S"},
    {"p", "ldvptr 0\nldpstr Rec.I\nempty\nret\n", true, 16, "field I, which is not a string"},
    {"p", "ldvptr 0\nnewstr Rec.I\nempty\nret\n", true, 16, "field I, which is not a string"},
    {"p", "ldint 1\nldvptr 0\nstpint Rec.Last\nret\n", true, 17, "past the end of Rec"},
    {"p", "ldint 1\nldvptr 0\nstpint Rec.B\nret\n", false, 17, "declared 'e'"},
    {"p", "ldint 1\nldvptr 0\nstpint\nret\n", true, 17, "without its Class.Field operand"},
    {"p", "ldvptr 0\nldpint\nempty\nret\n", false, 16, "reads offset 0"},
    {"p", "ldvptr 0\nldpref\nempty\nret\n", true, 16, "would give the address of offset 0"},
    // method ends, branches, types
    {"", "ldint 1\nempty\n", true, 16, "can run past its end"},
    {"", "ldint 1\ncallstd Int\n", true, 16, "can run past its end"},
    {"", "jmp 0\n", true, 15, "jumps to the header of F"},
    {"p", "ldvptr 0\nldpint Native.N\nempty\nret\n", true, 16, "field N, which has no place"},
    {"", "newstruct Nothing\nempty\nret\n", true, 15, "'Nothing', which is not a declared type"},
    {"", "sizeof double\nempty\nret\n", false, 0, ""},
};

TEST(Verifier, RefusesWhatWouldCorruptAndNotesThePunning) {
    for (const Case& c : kCases) {
        auto l = qeltest::parse(image(c.vars, c.body));
        ASSERT_TRUE(l.ok) << c.body << l.report.what;
        std::vector<VerifyProblem> problems = verify_program(l.rt->program);
        if (c.line == 0) {
            EXPECT_TRUE(problems.empty()) << c.body << problems.front().what;
            continue;
        }
        ASSERT_FALSE(problems.empty()) << c.body;
        const VerifyProblem& p = problems.front();
        EXPECT_TRUE(p.refused == c.refused && p.line == c.line && p.what.find(c.what) != std::string::npos)
            << c.body << " -> " << p.refused << " " << p.line << " " << p.what;
    }
}

// Loading stops at the first refusal; qelasm verify lists them all.
TEST(Verifier, EveryProblemIsListedInChainOrder) {
    auto l = qeltest::parse(image("s", "ldint 1\nstvint 0\nldvint 5\nempty\n"));
    ASSERT_TRUE(l.ok);
    std::vector<VerifyProblem> problems = verify_program(l.rt->program);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(std::to_string(problems[0].line) + " " + std::to_string(problems[1].line) + " " + std::to_string(problems[2].line), "16 17 18");
    LoadReport report;
    EXPECT_TRUE(!verify_for_load(l.rt->program, report) && report.line == 16) << report.line;
}

// The records the host shares with images: a declaration must match field for field; records the
// host makes may be declared in part.
TEST(HostRecords, DeclarationsThatDifferAreNamed) {
    const std::pair<const char*, const char*> kCases[] = {
        {"struct Global [none] System\n0 1 e byte System 0\n", "Global.System as 'e'; the runtime uses 'p'"},
        {"struct CSystem [none] System\n0 1 i int ErrorReporting 0\n", "CSystem.ErrorReporting as 'i'; the runtime uses 'b'"},
        {"struct CSystem [none] System\n0 1 b bool ExeMode 0\n", "CSystem with ExeMode where the runtime has ErrorReporting"},
        {"struct CMemStream [none] System\n0 1 p pointer memory 0\n0 1 i int size 0\n", "CMemStream without its field pos"},
        {"struct CPropAttrib [none] Rtti\n0 1 p pointer name 0\n0 1 t method type 0\n", "CPropAttrib.type as 't'"},
        {"struct CSystem [none] System\n0 1 b bool ErrorReporting 0\n", nullptr},  // the first fields only
    };
    for (const auto& [metadata, problem] : kCases) {
        const bool global = std::string(metadata).find("Global") != std::string::npos;
        auto l = qeltest::parse(std::string("[METADATA]\n") + (global ? "" : "struct Global [none] System\n") + metadata + "[/METADATA]\n");
        ASSERT_TRUE(l.ok) << metadata << l.report.what;
        std::vector<std::string> found = host_record_mismatches(l.rt->program);
        if (!problem) {
            EXPECT_TRUE(found.empty()) << metadata << found.front();
            continue;
        }
        EXPECT_TRUE(!found.empty() && found.front().find(problem) != std::string::npos) << metadata;
    }
}

}  // namespace
