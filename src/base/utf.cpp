#include "base/utf.h"

#include <cstdint>
#include <cstring>

namespace qel {

namespace {
int units_to_end(const char16_t* s) {
    int n = 0;
    while (s[n]) ++n;
    return n + 1;
}
}  // namespace

int utf8_to_utf16(const char* in, int n, char16_t* out, int cap) {
    if (n < 0) n = static_cast<int>(std::strlen(in)) + 1;
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    int i = 0, o = 0;
    auto put = [&](char16_t u) -> bool {
        if (out) {
            if (o >= cap) return false;
            out[o] = u;
        }
        ++o;
        return true;
    };
    while (i < n) {
        uint32_t c = s[i];
        if (c < 0x80) {  // ASCII, most text: a unit per byte
            if (out) {
                if (o >= cap) return 0;
                out[o] = static_cast<char16_t>(c);
            }
            ++o;
            ++i;
            continue;
        }
        const int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t cp = 0xFFFD;
        int used = 1;
        if (extra > 0) {
            uint32_t v = c & (0x3F >> extra);
            bool ok = true;
            for (int k = 1; k <= extra; ++k) {
                if (i + k >= n || (s[i + k] & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                v = (v << 6) | (s[i + k] & 0x3F);
            }
            static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
            if (ok && v >= kMin[extra] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
                used = extra + 1;
            }
        }
        i += used;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            if (!put(static_cast<char16_t>(0xD800 + (cp >> 10))) || !put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF))))
                return 0;
        } else if (!put(static_cast<char16_t>(cp))) {
            return 0;
        }
    }
    return o;
}

int utf16_to_utf8(const char16_t* in, int n, char* out, int cap) {
    if (n < 0) n = units_to_end(in);
    int o = 0;
    auto put = [&](uint32_t b) -> bool {
        if (out) {
            if (o >= cap) return false;
            out[o] = static_cast<char>(b);
        }
        ++o;
        return true;
    };
    for (int i = 0; i < n; ++i) {
        uint32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        bool ok;
        if (c < 0x80) {
            ok = put(c);
        } else if (c < 0x800) {
            ok = put(0xC0 | (c >> 6)) && put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            ok = put(0xE0 | (c >> 12)) && put(0x80 | ((c >> 6) & 0x3F)) && put(0x80 | (c & 0x3F));
        } else {
            ok = put(0xF0 | (c >> 18)) && put(0x80 | ((c >> 12) & 0x3F)) && put(0x80 | ((c >> 6) & 0x3F)) &&
                 put(0x80 | (c & 0x3F));
        }
        if (!ok) return 0;
    }
    return o;
}

}  // namespace qel
