// The image text reader: cuts tokens in place (writes NULs into the text) at the separators its
// flags select. Lines end with CR LF; the text ends with a NUL right after the last CR LF.
#pragma once
#include <cstring>
#include <cstdint>

namespace qel {

inline bool token_is(const char* token, const char* word) { return std::strcmp(token, word) == 0; }

struct LineReader {
    enum Flag : uint32_t {
        kSplitDot = 1,
        kSplitComma = 2,
        kSplitSpace = 4,
        kEndAtCR = 8,      // always set
        kQuoted = 16,      // the next token is a quoted value
        kEndOfLine = 32,   // output: the last token ended at a CR
        kEndOfText = 64,   // output: the character after the last CR LF is the NUL
        kEmptyQuote = 128, // output: the last quoted value was written ""
    };

    char* pos = nullptr;
    char* token = nullptr;  // start of the current token
    int lineno = 0;         // every CR consumed so far
    uint32_t flags = kEndAtCR;

    void start(char* text);
    // Reads the next token and returns it (never null; an empty token at the end of the text).
    char* next();
    // Reads a quoted value: the text between the opening quote and the quote that ends the line.
    char* next_quoted();

    void set_split(uint32_t split) { flags = (flags & ~(kSplitDot | kSplitComma | kSplitSpace)) | split; }
    bool end_of_line() const { return flags & kEndOfLine; }
    bool end_of_text() const { return flags & kEndOfText; }
    bool empty_quote() const { return flags & kEmptyQuote; }
    // Reads and drops tokens up to the end of the current line.
    void skip_line();
};

}  // namespace qel
