// The authoring conveniences of qelasm: line ends, comments, includes and labels.
#include <gtest/gtest.h>

#include "qelasm/authoring.h"

namespace {

bool build(const std::string& src, std::string* out, std::string* error) {
    return qelasm::build_image_text_from(src, "t.qsrc", QEL_SOURCE_DIR "/tests/images", out, error);
}

TEST(Qelasm, LinesAreTrimmedJoinedWithCrLfAndEndWithNul) {
    std::string out, error;
    ASSERT_TRUE(build("; comment\n\n  [METADATA]  \r\n\t; indented comment\nunit  A\n[/METADATA]", &out, &error));
    EXPECT_EQ(out, std::string("[METADATA]\r\nunit  A\r\n[/METADATA]\r\n") + '\0');
}

TEST(Qelasm, LabelsBecomeInstructionCountsFromTheHeader) {
    std::string out, error;
    ASSERT_TRUE(build("[SOURCE]\n"
                      "method F.[a:1][m:0][p:00][r:i][v:i]\n"
                      "@top:\n"
                      "ldint 1\n"
                      "cmp @end\n"
                      "jmp @top\n"
                      "@end:\n"
                      "ret\n"
                      "method G.[a:1][m:0][p:00][r:v][v:]\n"
                      "try @end\n"
                      "@end:\n"
                      "ret\n"
                      "[/SOURCE]\n",
                      &out, &error))
        << error;
    EXPECT_NE(out.find("cmp 4\r\njmp 1\r\nret"), std::string::npos) << out;
    EXPECT_NE(out.find("try 2\r\nret"), std::string::npos) << out;
    EXPECT_EQ(out.find('@'), std::string::npos);
}

TEST(Qelasm, ErrorsNameTheFileAndLine) {
    std::string out, error;
    EXPECT_FALSE(build("[SOURCE]\nmethod F.[a:1][m:0][p:00][r:v][v:]\njmp @nowhere\nret\n[/SOURCE]\n", &out, &error));
    EXPECT_EQ(error, "t.qsrc:3: undefined label '@nowhere'");
    EXPECT_FALSE(build("[SOURCE]\nmethod F.[a:1][m:0][p:00][r:v][v:]\n@a:\n@a:\nret\n[/SOURCE]\n", &out, &error));
    EXPECT_EQ(error, "t.qsrc:4: label '@a' defined twice in this method");
    EXPECT_FALSE(build("\n#include \"no/such/file.qsrc\"\n", &out, &error));
    EXPECT_NE(error.find("t.qsrc:2: cannot read included file"), std::string::npos) << error;
}

TEST(Qelasm, IncludesAreSplicedRelativeToTheIncludingFile) {
    std::string out, error;
    ASSERT_TRUE(build("#include \"prelude/prelude.qsrc\"\n", &out, &error)) << error;
    EXPECT_NE(out.find("class object [none] 0 System\r\n"), std::string::npos);
    EXPECT_NE(out.find("class CClass object 0 Rtti\r\n"), std::string::npos);
}

}  // namespace
