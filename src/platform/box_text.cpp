#include "platform/box_text.h"

#include "base/utf.h"

namespace qel::platform {

std::string utf8_of(const char16_t* text, int n) {
    if (n < 0) {
        n = 0;
        while (text[n]) ++n;
    }
    int bytes = utf16_to_utf8(text, n, nullptr, 0);
    std::string s(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) utf16_to_utf8(text, n, s.data(), bytes);
    return s;
}

std::string box_text_for_stderr(const char16_t* caption, const char16_t* text) {
    std::string out;
    if (caption && caption[0]) {
        out = utf8_of(caption);
        out += ": ";
    }
    std::string body = utf8_of(text);
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') continue;
        out += body[i];
    }
    out += '\n';
    return out;
}

}  // namespace qel::platform
