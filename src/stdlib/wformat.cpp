#include "stdlib/wformat.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qel {

namespace {

// Widths and precisions beyond this cannot fit any buffer we format into.
constexpr int32_t kMaxField = 0x3FFFFFFF;

struct Field {
    bool left = false, plus = false, blank = false, alt = false, zero = false;
    int32_t width = 0;
    int32_t precision = -1;  // -1: none given
    enum Size { kPlain, kShort, kWide64 } size = kPlain;
    char conv = 0;
};

// The output: writes stop at cap units and report false from then on.
struct Sink {
    WChar* out;
    uint32_t cap;
    uint32_t n = 0;

    bool short_of_room = false;  // a write did not fit: a larger output would succeed

    uint32_t room() const { return cap - n; }
    bool has_room(uint64_t k) {
        if (k <= room()) return true;
        short_of_room = true;
        return false;
    }
    bool put(WChar c) {
        if (!has_room(1)) return false;
        out[n++] = c;
        return true;
    }
    bool fill(WChar c, uint32_t k) {
        if (!has_room(k)) return false;
        for (uint32_t i = 0; i < k; ++i) out[n++] = c;
        return true;
    }
    bool units(const WChar* s, uint32_t k) {
        if (!has_room(k)) return false;
        std::memcpy(out + n, s, k * sizeof(WChar));
        n += k;
        return true;
    }
    // Copies s up to its terminator or max units, whichever comes first.
    bool units_until_nul(const WChar* s, uint32_t max) { return units(s, wlen_max(s, max)); }
    bool ascii(const char* s, uint32_t k) {
        if (!has_room(k)) return false;
        for (uint32_t i = 0; i < k; ++i) out[n++] = static_cast<unsigned char>(s[i]);
        return true;
    }
};

// Places a body of k units in the field: blanks (or zeros) before it, or blanks after it.
template <typename Body>
bool padded(Sink& sink, const Field& field, uint32_t k, WChar pad, Body body) {
    uint32_t width = field.width > 0 ? static_cast<uint32_t>(field.width) : 0;
    uint32_t fill = width > k ? width - k : 0;
    if (!field.left && !sink.fill(pad, fill)) return false;
    if (!body()) return false;
    return !field.left || sink.fill(u' ', fill);
}

bool is_digit(WChar c) { return c >= u'0' && c <= u'9'; }

int32_t read_number(const WChar*& p) {
    int32_t v = 0;
    for (; is_digit(*p); ++p) v = v > kMaxField / 10 ? kMaxField : v * 10 + (*p - u'0');
    return v > kMaxField ? kMaxField : v;
}

class Args {
public:
    Args(const FormatArg* args, uint32_t count) : args_(args), count_(count) {}
    const FormatArg* next() { return used_ < count_ ? &args_[used_++] : nullptr; }

private:
    const FormatArg* args_;
    uint32_t count_;
    uint32_t used_ = 0;
};

// An integer argument of 32 bits; false for text.
bool int32_of(const FormatArg& a, int32_t& v) {
    switch (a.kind) {
        case FormatArg::kInt: v = a.i; return true;
        case FormatArg::kLong: v = static_cast<int32_t>(a.l); return true;
        case FormatArg::kDouble: v = truncate_to_int32(a.d); return true;
        default: return false;
    }
}

bool int64_of(const FormatArg& a, int64_t& v) {
    switch (a.kind) {
        case FormatArg::kInt: v = a.i; return true;
        case FormatArg::kLong: v = a.l; return true;
        case FormatArg::kDouble: v = truncate_to_int64(a.d); return true;
        default: return false;
    }
}

bool double_of(const FormatArg& a, double& v) {
    switch (a.kind) {
        case FormatArg::kInt: v = a.i; return true;
        case FormatArg::kLong: v = static_cast<double>(a.l); return true;
        case FormatArg::kDouble: v = a.d; return true;
        default: return false;
    }
}

// A width or precision given as '*': the next argument as an int.
bool star(Args& args, int32_t& v) {
    const FormatArg* a = args.next();
    if (!a || !int32_of(*a, v)) return false;
    return true;
}

// The narrow printf pattern for one numeric conversion: flags, width, precision, size, letter.
void narrow_pattern(const Field& field, char conv, char* out) {
    char* p = out;
    *p++ = '%';
    if (field.left) *p++ = '-';
    if (field.plus) *p++ = '+';
    if (field.blank) *p++ = ' ';
    if (field.alt) *p++ = '#';
    if (field.zero) *p++ = '0';
    p += std::snprintf(p, 12, "%d", static_cast<int>(field.width));
    if (field.precision >= 0) p += std::snprintf(p, 13, ".%d", static_cast<int>(field.precision));
    if (field.size == Field::kShort) *p++ = 'h';
    if (field.size == Field::kWide64) {
        *p++ = 'l';
        *p++ = 'l';
    }
    *p++ = conv;
    *p = 0;
}

// Prints one value with the C library and copies the ASCII text out. The runtime never changes
// the C locale, but should anything do so, a decimal comma is still written as a point.
template <typename T>
bool print_narrow(Sink& sink, const char* pattern, T value) {
    int need = std::snprintf(nullptr, 0, pattern, value);
    if (need < 0 || !sink.has_room(static_cast<uint32_t>(need))) return false;
    char small[128];
    char* text = need < static_cast<int>(sizeof small) ? small : static_cast<char*>(std::malloc(need + 1u));
    if (!text) return false;
    int got = std::snprintf(text, static_cast<size_t>(need) + 1, pattern, value);
    for (int k = 0; k < got; ++k)
        if (text[k] == ',') text[k] = '.';
    bool ok = got == need && sink.ascii(text, static_cast<uint32_t>(got));
    if (text != small) std::free(text);
    return ok;
}

// A field at least as wide as its width or precision cannot fit a smaller room: refused before
// the C library is asked to print it.
bool field_fits(Sink& sink, const Field& field) {
    return sink.has_room(static_cast<uint32_t>(field.width)) &&
           (field.precision < 0 || sink.has_room(static_cast<uint32_t>(field.precision)));
}

bool format_integer(Sink& sink, Field field, const FormatArg& arg) {
    if (!field_fits(sink, field)) return false;
    char conv = field.conv;
    if (conv == 'p') {  // an address: eight upper-case hexadecimal digits
        conv = 'X';
        if (field.precision < 0) field.precision = 8;
        field.size = Field::kPlain;
    }
    if (conv == 'i') conv = 'd';
    char pattern[48];
    narrow_pattern(field, conv, pattern);
    if (field.size == Field::kWide64) {
        int64_t v;
        if (!int64_of(arg, v)) return false;
        if (conv == 'd') return print_narrow(sink, pattern, static_cast<long long>(v));
        return print_narrow(sink, pattern, static_cast<unsigned long long>(v));
    }
    int32_t v;
    if (!int32_of(arg, v)) return false;
    if (conv == 'd') return print_narrow(sink, pattern, static_cast<int>(v));
    return print_narrow(sink, pattern, static_cast<unsigned>(v));
}

bool format_double(Sink& sink, Field field, const FormatArg& arg) {
    double v;
    if (!double_of(arg, v)) return false;
    bool upper = field.conv == 'E' || field.conv == 'F' || field.conv == 'G';
    if (!std::isfinite(v)) {  // spelled here so that every build prints the same
        char text[8];
        char* p = text;
        if (std::isinf(v) && v < 0)
            *p++ = '-';
        else if (field.plus)
            *p++ = '+';
        else if (field.blank)
            *p++ = ' ';
        const char* word = std::isnan(v) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
        for (const char* w = word; *w; ++w) *p++ = *w;
        uint32_t k = static_cast<uint32_t>(p - text);
        return padded(sink, field, k, u' ', [&] { return sink.ascii(text, k); });
    }
    field.size = Field::kPlain;
    // %g drops trailing zeros: past the ~770 significant digits a double can have, more precision
    // changes nothing, so it is capped rather than refused.
    constexpr int32_t kMostSignificant = 1100;
    bool general = field.conv == 'g' || field.conv == 'G';
    if (general && !field.alt && field.precision > kMostSignificant) field.precision = kMostSignificant;
    if (!field_fits(sink, field)) return false;
    char pattern[48];
    narrow_pattern(field, field.conv == 'F' ? 'f' : field.conv, pattern);
    return print_narrow(sink, pattern, v);
}

bool format_text(Sink& sink, const Field& field, const FormatArg& arg) {
    if (arg.kind != FormatArg::kText) return false;
    const WChar* s = arg.text ? arg.text : kEmptyText;
    const uint32_t most = field.precision >= 0 ? static_cast<uint32_t>(field.precision) : UINT32_MAX;
    if (field.width <= 0) return sink.units_until_nul(s, most);  // one pass: no padding to size
    const uint32_t k = wlen_max(s, most);
    return padded(sink, field, k, field.zero ? u'0' : u' ', [&] { return sink.units(s, k); });
}

bool format_unit(Sink& sink, const Field& field, const FormatArg& arg) {
    int32_t v;
    if (!int32_of(arg, v)) return false;
    WChar unit = static_cast<WChar>(v & 0xFFFF);
    return padded(sink, field, 1, field.zero ? u'0' : u' ', [&] { return sink.put(unit); });
}

// Reads flags, width, precision and size after a '%'; p is left on the conversion letter.
bool read_field(const WChar*& p, Args& args, Field& field) {
    for (;; ++p) {
        if (*p == u'-') field.left = true;
        else if (*p == u'+') field.plus = true;
        else if (*p == u' ') field.blank = true;
        else if (*p == u'#') field.alt = true;
        else if (*p == u'0') field.zero = true;
        else break;
    }
    if (*p == u'*') {
        ++p;
        int32_t w;
        if (!star(args, w)) return false;
        if (w < 0) {
            field.left = true;
            w = w < -kMaxField ? kMaxField : -w;
        }
        field.width = w > kMaxField ? kMaxField : w;
    } else {
        field.width = read_number(p);
    }
    if (*p == u'.') {
        ++p;
        if (*p == u'*') {
            ++p;
            int32_t prec;
            if (!star(args, prec)) return false;
            field.precision = prec < 0 ? -1 : (prec > kMaxField ? kMaxField : prec);
        } else {
            field.precision = read_number(p);
        }
    }
    if (*p == u'h') {
        field.size = Field::kShort;
        ++p;
    } else if (*p == u'l') {
        ++p;
        if (*p == u'l') {
            field.size = Field::kWide64;
            ++p;
        }
    } else if (*p == u'L' || *p == u'w') {
        ++p;
    } else if (*p == u'I') {
        ++p;
        if (p[0] == u'6' && p[1] == u'4') {
            field.size = Field::kWide64;
            p += 2;
        } else if (p[0] == u'3' && p[1] == u'2') {
            p += 2;
        }
    }
    field.conv = *p < 0x80 ? static_cast<char>(*p) : 0;
    return true;
}

int wformat_run(Sink& sink, const WChar* fmt, const FormatArg* args, uint32_t count);

}  // namespace

int32_t truncate_to_int32(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483648.0) return INT32_MAX;
    if (d <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(d);
}

int64_t truncate_to_int64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775808.0) return INT64_MAX;
    if (d < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(d);
}

int wformat(WChar* out, uint32_t cap, const WChar* fmt, const FormatArg* args, uint32_t count) {
    Sink sink{out, cap};
    const int failed = wformat_run(sink, fmt, args, count);
    if (failed >= 0) return failed;
    return sink.short_of_room ? kFormatNoRoom : -1;
}

namespace {
int wformat_run(Sink& sink, const WChar* fmt, const FormatArg* args, uint32_t count) {
    WChar* const out = sink.out;
    Args next(args, count);
    const WChar* p = fmt ? fmt : kEmptyText;
    while (*p) {
        if (*p != u'%') {
            if (!sink.put(*p++)) return -1;
            continue;
        }
        ++p;
        Field field;
        if (!read_field(p, next, field)) return -1;
        if (field.conv == '%') {
            if (!sink.put(u'%')) return -1;
            ++p;
            continue;
        }
        bool ok;
        const FormatArg* arg = nullptr;
        switch (field.conv) {
            case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': case 'p':
            case 'f': case 'F': case 'e': case 'E': case 'g': case 'G':
            case 's': case 'S': case 'c': case 'C':
                arg = next.next();
                break;
            default:
                return -1;  // an unknown conversion, or the text ends inside one
        }
        if (!arg) return -1;
        switch (field.conv) {
            case 'f': case 'F': case 'e': case 'E': case 'g': case 'G':
                ok = format_double(sink, field, *arg);
                break;
            case 's': case 'S':
                ok = format_text(sink, field, *arg);
                break;
            case 'c': case 'C':
                ok = format_unit(sink, field, *arg);
                break;
            default:
                ok = format_integer(sink, field, *arg);
                break;
        }
        if (!ok) return -1;
        ++p;
    }
    out[sink.n] = 0;
    return static_cast<int>(sink.n);
}
}  // namespace

int wformat_into(WStr& s, uint32_t room, const WChar* fmt, const FormatArg& arg) {
    s.reserve(static_cast<int>(room));
    if (!s.buffer) {
        s.clear();
        return -1;
    }
    int n = wformat(s.buffer, s.capacity, fmt, &arg, 1);
    if (n < 0) {
        s.clear();
        return -1;
    }
    s.length = static_cast<uint32_t>(n);
    return n;
}

}  // namespace qel
