// The line reader: tokens cut at the selected separators, line numbers counted at each consumed
// carriage return, quoted values, and the end of the text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/line_reader.h"

using qel::LineReader;

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
        {"ret\r\njmp 4\r\n", space, "ttt", "ret@1$ jmp@1 4@2$|end "},
        {"a\nb\r\n", space, "t", "a\nb@1$|end "},
        // At the end of the text: empty tokens, never past the text.
        {"a\r\nb", space, "ttt", "a@1$ b@1$|end @1$|end "},
        // Quoted values ignore separators and end at the closing quote or the line end; "" is an
        // empty value whose line end is skipped; a backslash is an ordinary character.
        {"project:title \"My App, v1.0\"\r\nnext\r\n", space | dot | comma, "tqt",
         "project:title@0 My App, v1.0@1$ next@2$|end "},
        {"k \"\"\r\nafter\r\n", space, "tqt", "k@0 @1$! after@2$|end "},
        {"\"C:\\dir\\x\"\r\n", 0, "q", "C:\\dir\\x@1$|end "},
        {"\"open\r\nnext\r\n", 0, "qt", "open@1$ next@2$|end "},
    };
    for (const auto& c : cases) EXPECT_EQ(read(c.text, c.split, c.how), c.expected) << c.text;
}

}  // namespace
