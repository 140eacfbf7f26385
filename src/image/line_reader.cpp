#include "image/line_reader.h"

namespace qel {

void LineReader::start(char* text) {
    pos = token = text;
    lineno = 0;
    flags = kEndAtCR;
    if (!*text) flags |= kEndOfText;
}

namespace {
// At a CR: cut, skip CR and LF, count the line, note the end of the text.
inline void end_line(LineReader& r, char* p) {
    *p++ = 0;
    if (*p == '\n') ++p;
    ++r.lineno;
    r.flags |= LineReader::kEndOfLine;
    if (!*p) r.flags |= LineReader::kEndOfText;
    r.pos = p;
}
}  // namespace

namespace {
// For each combination of the three split flags, the characters that end a token: the NUL, the
// CR, and the separators the flags select.
struct StopTables {
    bool stop[8][256];
    StopTables() : stop{} {
        for (int split = 0; split < 8; ++split) {
            bool* t = stop[split];
            t[0] = t[static_cast<unsigned char>('\r')] = true;
            if (split & LineReader::kSplitDot) t[static_cast<unsigned char>('.')] = true;
            if (split & LineReader::kSplitComma) t[static_cast<unsigned char>(',')] = true;
            if (split & LineReader::kSplitSpace) t[static_cast<unsigned char>(' ')] = true;
        }
    }
};
const StopTables kStops;
}  // namespace

char* LineReader::next() {
    if (flags & kQuoted) return next_quoted();
    flags &= ~kEndOfLine;
    char* p = pos;
    token = p;
    const bool* stop = kStops.stop[flags & (kSplitDot | kSplitComma | kSplitSpace)];
    while (!stop[static_cast<unsigned char>(*p)]) ++p;
    if (*p == 0) {  // end of the text without a line end: the token runs to here
        flags |= kEndOfText | kEndOfLine;
        pos = p;
    } else if (*p == '\r') {
        end_line(*this, p);
    } else {
        *p = 0;
        pos = p + 1;
    }
    return token;
}

char* LineReader::next_quoted() {
    flags &= ~(kEndOfLine | kEmptyQuote | kQuoted);
    char* p = pos;
    token = p;
    for (;; ++p) {
        char c = *p;
        if (c == 0) {
            flags |= kEndOfText | kEndOfLine;
            pos = p;
            return token;
        }
        if (c == '\r') {  // a value without its closing quote ends with the line
            end_line(*this, p);
            return token;
        }
        if (c != '"') continue;
        if (p[1] == '\r') {  // the closing quote at the end of the line
            *p = 0;
            end_line(*this, p + 1);
            return token;
        }
        if (p[1] == '"') {  // "" : an empty value; the quotes and the line end are skipped
            *p = 0;
            flags |= kEmptyQuote;
            p += 2;
            if (*p == '\r') {
                end_line(*this, p);
            } else {
                pos = p;
            }
            return token;
        }
        token = p + 1;  // an opening quote: the value starts after it
    }
}

void LineReader::skip_line() {
    while (!end_of_line() && !end_of_text()) next();
}

}  // namespace qel
