// The image text reader: cuts tokens in place (writes NULs into the text) at the separators its
// flags select. Lines end with CR LF; the text ends with a NUL right after the last CR LF.
#pragma once
#include <cstring>
#include <cstdint>

namespace qel {

inline bool token_is(const char* token, const char* word) { return std::strcmp(token, word) == 0; }

namespace line_reader_detail {
// For each combination of the three split flags, the characters that end a token: the NUL, the
// CR, and the separators the flags select.
struct StopTables {
    bool stop[8][256];
};
constexpr StopTables build_stop_tables() {
    StopTables t{};
    for (int split = 0; split < 8; ++split) {
        bool* s = t.stop[split];
        s[0] = s[static_cast<unsigned char>('\r')] = true;
        if (split & 1) s[static_cast<unsigned char>('.')] = true;
        if (split & 2) s[static_cast<unsigned char>(',')] = true;
        if (split & 4) s[static_cast<unsigned char>(' ')] = true;
    }
    return t;
}
inline constexpr StopTables kStops = build_stop_tables();
}  // namespace line_reader_detail

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

    // Where the text read so far stops (a NUL stands there) when more text follows: reaching it at
    // the start of a line asks refill for the next lines. Null when the text is all there.
    using Refill = char* (*)(void* context, char** limit);
    Refill refill = nullptr;
    void* refill_context = nullptr;
    char* limit = nullptr;

    char* pos = nullptr;
    char* token = nullptr;  // start of the current token
    uint32_t length = 0;    // bytes of the current token, without the NUL written after it
    int lineno = 0;         // every CR consumed so far
    uint32_t flags = kEndAtCR;

    void start(char* text);
    // Reads the next token and returns it (never null; an empty token at the end of the text).
    char* next() {
        if (flags & kQuoted) return next_quoted();
        flags &= ~kEndOfLine;
        char* p = pos;
        token = p;
        const bool* stop = line_reader_detail::kStops.stop[flags & (kSplitDot | kSplitComma | kSplitSpace)];
        while (!stop[static_cast<unsigned char>(*p)]) ++p;
        length = static_cast<uint32_t>(p - token);
        if (*p == 0) {  // end of the text without a line end: the token runs to here
            flags |= kEndOfText | kEndOfLine;
            pos = p;
        } else if (*p == '\r') {
            end_line(p);
        } else {
            *p = 0;
            pos = p + 1;
        }
        return token;
    }
    // Reads a quoted value: the text between the opening quote and the quote that ends the line.
    char* next_quoted();

    void set_split(uint32_t split) { flags = (flags & ~(kSplitDot | kSplitComma | kSplitSpace)) | split; }
    bool end_of_line() const { return flags & kEndOfLine; }
    bool end_of_text() const { return flags & kEndOfText; }
    bool empty_quote() const { return flags & kEmptyQuote; }
    // Reads and drops tokens up to the end of the current line.
    void skip_line();

private:
    // At a CR: cut, skip CR and LF, count the line, note the end of the text.
    void end_line(char* p) {
        *p++ = 0;
        if (*p == '\n') ++p;
        ++lineno;
        flags |= kEndOfLine;
        pos = p;
        if (!*p) {
            if (p == limit) {
                refill_lines();
                return;
            }
            flags |= kEndOfText;
        }
    }
    // Continues with the next lines of the text at pos.
    void refill_lines();
};

}  // namespace qel
