// printf-style formatting over UTF-16, the same in every build: each conversion (flags, width,
// precision, size, letter) is read here and the digits of each number come from the C library's
// narrow snprintf.
//
// Conversions: %d %i %u %o %x %X %c %p (integers), %f %F %e %E %g %G (doubles), %s (text), %%.
// Flags - + blank # 0, a width and a precision (digits or *), size prefixes h l ll L w I I32 I64.
// Each conversion takes the next argument and converts it by value: an integer conversion takes
// an int, a long (its low 32 bits, all 64 with ll or I64) or a double (truncated toward zero);
// a double conversion takes any number; %s takes text only. %c writes one UTF-16 unit (the low
// 16 bits of the int); the 0 flag pads %s and %c with '0' units, as the Windows runtime does.
// Infinities and NaNs print as inf, -inf and nan (upper case for %E %F %G).
#pragma once
#include <cstdint>

#include "base/wstr.h"

namespace qel {

struct FormatArg {
    enum Kind : uint8_t { kInt, kLong, kDouble, kText };
    Kind kind;
    union {
        int32_t i;
        int64_t l;
        double d;
        const WChar* text;  // 0-terminated
    };

    static FormatArg of_int(int32_t v) { FormatArg a{}; a.kind = kInt; a.i = v; return a; }
    static FormatArg of_long(int64_t v) { FormatArg a{}; a.kind = kLong; a.l = v; return a; }
    static FormatArg of_double(double v) { FormatArg a{}; a.kind = kDouble; a.d = v; return a; }
    static FormatArg of_text(const WChar* v) { FormatArg a{}; a.kind = kText; a.text = v; return a; }
};

// A double truncated toward zero, saturated at the ends of the range; NaN gives 0.
int32_t truncate_to_int32(double d);
int64_t truncate_to_int64(double d);

// Formats the 0-terminated fmt with args into out (not null), which has room for cap units and a
// terminator. Returns the number of units written (out is then terminated); kFormatNoRoom when
// the result would not fit in cap units (a larger output would do); or -1 when a conversion is
// not one of the above, an argument is missing, or an argument's kind cannot serve its
// conversion (text for a number or the reverse). Arguments left over are ignored.
constexpr int kFormatNoRoom = -2;
int wformat(WChar* out, uint32_t cap, const WChar* fmt, const FormatArg* args, uint32_t count);

// Formats one argument into s's own buffer after reserving room for room units; s becomes empty
// when formatting fails. Returns the number of units written, or -1.
int wformat_into(WStr& s, uint32_t room, const WChar* fmt, const FormatArg& arg);

}  // namespace qel
