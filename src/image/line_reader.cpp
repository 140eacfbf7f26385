#include "image/line_reader.h"

namespace qel {

void LineReader::start(char* text) {
    pos = token = text;
    length = 0;
    lineno = 0;
    flags = kEndAtCR;
    if (!*text) {
        if (text == limit)
            refill_lines();
        else
            flags |= kEndOfText;
    }
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
            break;
        }
        if (c == '\r') {  // a value without its closing quote ends with the line
            end_line(p);
            break;
        }
        if (c != '"') continue;
        if (p[1] == '\r') {  // the closing quote at the end of the line
            *p = 0;
            end_line(p + 1);
            break;
        }
        if (p[1] == '"') {  // "" : an empty value; the quotes and the line end are skipped
            *p = 0;
            flags |= kEmptyQuote;
            char* after = p + 2;
            if (*after == '\r') {
                end_line(after);
            } else {
                pos = after;
            }
            break;
        }
        token = p + 1;  // an opening quote: the value starts after it
    }
    length = static_cast<uint32_t>(p - token);
    return token;
}

void LineReader::refill_lines() {
    pos = refill(refill_context, &limit);
    if (!*pos) flags |= kEndOfText;
}

void LineReader::skip_line() {
    while (!end_of_line() && !end_of_text()) next();
}

}  // namespace qel
