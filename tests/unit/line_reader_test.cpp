#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/line_reader.h"

using qel::LineReader;

namespace {

struct Read {
    std::string token;
    int lineno;
    bool eol;
};

std::vector<Read> read_all(std::string text, uint32_t split, int count) {
    text.push_back('\0');
    LineReader r;
    r.start(text.data());
    r.set_split(split);
    std::vector<Read> out;
    for (int i = 0; i < count; ++i) {
        std::string t = r.next();
        out.push_back(Read{t, r.lineno, r.end_of_line()});
    }
    return out;
}

TEST(LineReader, CutsAtTheSelectedSeparatorsOnly) {
    auto r = read_all("ldpint CSystemEnvironment.MajorVersion\r\n", LineReader::kSplitSpace | LineReader::kSplitDot, 3);
    EXPECT_EQ(r[0].token, "ldpint");
    EXPECT_EQ(r[1].token, "CSystemEnvironment");
    EXPECT_EQ(r[2].token, "MajorVersion");
    EXPECT_TRUE(r[2].eol);

    auto whole = read_all("a b.c,d\r\n", 0, 1);
    EXPECT_EQ(whole[0].token, "a b.c,d");

    auto commas = read_all("2.0.i.n,x y\r\n", LineReader::kSplitComma | LineReader::kSplitDot, 5);
    EXPECT_EQ(commas[3].token, "n");
    EXPECT_EQ(commas[4].token, "x y");
}

TEST(LineReader, SeparatorsAreNotMergedSoDoubleSpacesGiveEmptyTokens) {
    auto r = read_all("a  b\r\n", LineReader::kSplitSpace, 3);
    EXPECT_EQ(r[0].token, "a");
    EXPECT_EQ(r[1].token, "");
    EXPECT_EQ(r[2].token, "b");
}

TEST(LineReader, CountsEveryCarriageReturnConsumed) {
    auto r = read_all("ret\r\njmp 4\r\n", LineReader::kSplitSpace, 3);
    // A token that ends its line has consumed the CR: its line number is the 1-based line.
    EXPECT_EQ(r[0].lineno, 1);
    // A mnemonic followed by an operand has not: one less than its line.
    EXPECT_EQ(r[1].lineno, 1);
    EXPECT_EQ(r[2].lineno, 2);
    EXPECT_TRUE(r[2].eol);
}

TEST(LineReader, LoneLineFeedIsNotALineEnd) {
    auto r = read_all("a\nb\r\n", LineReader::kSplitSpace, 1);
    EXPECT_EQ(r[0].token, "a\nb");
    EXPECT_EQ(r[0].lineno, 1);
}

TEST(LineReader, EndOfTextIsTheNulAfterTheLastLine) {
    std::string text = "a\r\nb\r\n";
    text.push_back('\0');
    LineReader r;
    r.start(text.data());
    r.set_split(LineReader::kSplitSpace);
    r.next();
    EXPECT_FALSE(r.end_of_text());
    r.next();
    EXPECT_TRUE(r.end_of_text());
    // Reading on at the end yields empty tokens and never runs past the text.
    EXPECT_STREQ(r.next(), "");
    EXPECT_STREQ(r.next(), "");
}

TEST(LineReader, QuotedValuesIgnoreSeparatorsAndEndAtTheClosingQuote) {
    std::string text = "project:title \"My App, v1.0\"\r\nnext\r\n";
    text.push_back('\0');
    LineReader r;
    r.start(text.data());
    r.set_split(LineReader::kSplitSpace | LineReader::kSplitDot | LineReader::kSplitComma);
    EXPECT_STREQ(r.next(), "project:title");
    EXPECT_STREQ(r.next_quoted(), "My App, v1.0");
    EXPECT_TRUE(r.end_of_line());
    EXPECT_FALSE(r.empty_quote());
    EXPECT_STREQ(r.next(), "next");
    EXPECT_EQ(r.lineno, 2);
}

TEST(LineReader, EmptyQuoteSetsItsFlagAndSkipsTheLineEnd) {
    std::string text = "k \"\"\r\nafter\r\n";
    text.push_back('\0');
    LineReader r;
    r.start(text.data());
    r.set_split(LineReader::kSplitSpace);
    r.next();
    EXPECT_STREQ(r.next_quoted(), "");
    EXPECT_TRUE(r.empty_quote());
    EXPECT_STREQ(r.next(), "after");
    EXPECT_EQ(r.lineno, 2);  // the skipped CR is counted like every other
}

TEST(LineReader, BackslashIsAnOrdinaryCharacterInQuotes) {
    std::string text = "\"C:\\dir\\x\"\r\n";
    text.push_back('\0');
    LineReader r;
    r.start(text.data());
    EXPECT_STREQ(r.next_quoted(), "C:\\dir\\x");
}

}  // namespace
