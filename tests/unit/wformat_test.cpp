// The UTF-16 printf: conversions, flags, widths and precisions, argument kinds, and the room limit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "stdlib/wformat.h"

using namespace qel;

namespace {

FormatArg I(int32_t v) { return FormatArg::of_int(v); }
FormatArg L(int64_t v) { return FormatArg::of_long(v); }
FormatArg D(double v) { return FormatArg::of_double(v); }
FormatArg S(const char16_t* v) { return FormatArg::of_text(v); }

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// Formats with room for cap units; "<fail>" when the formatter refuses.
std::u16string run(const char16_t* fmt, const std::vector<FormatArg>& args, uint32_t cap = 4096) {
    std::vector<WChar> out(cap + 1, 0x5A5A);
    int n = wformat(out.data(), cap, fmt, args.data(), static_cast<uint32_t>(args.size()));
    if (n < 0) return u"<fail>";
    EXPECT_EQ(out[n], 0) << "terminator after " << n << " units";
    return std::u16string(out.data(), static_cast<size_t>(n));
}

struct Case {
    const char16_t* fmt;
    std::vector<FormatArg> args;
    const char16_t* expected;
};

TEST(WFormat, ConversionsFlagsWidthsAndPrecisions) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {u"plain text", {}, u"plain text"},
        {u"100%%", {}, u"100%"},
        {u"Left=%i, Top=%i", {I(3), I(4)}, u"Left=3, Top=4"},
        // integers
        {u"%d|%i|%u", {I(-5), I(7), I(-1)}, u"-5|7|4294967295"},
        {u"%x|%X|%08X|%#x|%o", {I(-1), I(255), I(255), I(255), I(8)}, u"ffffffff|FF|000000FF|0xff|10"},
        {u"%+d|% d|%+d|%5d|%-5d|%05d", {I(5), I(5), I(-5), I(42), I(42), I(-42)}, u"+5| 5|-5|   42|42   |-0042"},
        {u"%.3d|%8.3d", {I(7), I(-7)}, u"007|    -007"},
        {u"%hd|%hu|%hx", {I(70000), I(-1), I(0x12345)}, u"4464|65535|2345"},
        {u"%I64d|%lld|%I64x", {L(INT64_MIN), L(12345678901LL), L(-1)},
         u"-9223372036854775808|12345678901|ffffffffffffffff"},
        {u"%I64d|%I32d|%ld", {I(-5), I(6), I(7)}, u"-5|6|7"},
        {u"%d", {L(0x100000005LL)}, u"5"},                  // a long for %d: its low 32 bits
        {u"%d|%d|%I64d", {D(3.99), D(-3.99), D(1e10)}, u"3|-3|10000000000"},
        {u"%p", {I(0x1234)}, u"00001234"},
        // doubles
        {u"%f|%.2f|%5.2f|%-8.1f|", {D(3.14159), D(3.14159), D(3.14159), D(2.5)}, u"3.141590|3.14| 3.14|2.5     |"},
        {u"%08.3f|%08.3f|%+.1f", {D(3.14159), D(-3.14159), D(2.0)}, u"0003.142|-003.142|+2.0"},
        {u"%e|%E|%e|%.2e", {D(1e20), D(1e-5), D(1e100), D(12345.678)},
         u"1.000000e+20|1.000000E-05|1.000000e+100|1.23e+04"},
        {u"%g|%g|%G|%.15g|%.15g|%.15g", {D(0.0001), D(1e-5), D(1e-5), D(0.1), D(1e20), D(1.0 / 3)},
         u"0.0001|1e-05|1E-05|0.1|1e+20|0.333333333333333"},
        {u"%#g|%#.0f", {D(1.0), D(3.0)}, u"1.00000|3."},
        {u"%f|%f|%.1f", {I(2), L(-3), I(0)}, u"2.000000|-3.000000|0.0"},
        {u"%f|%5.1f|%G|%+f|%-6e|", {D(inf), D(-inf), D(nan), D(inf), D(inf)}, u"inf| -inf|NAN|+inf|inf   |"},
        // text and units
        {u"[%s]|[%5s]|[%-8s]|[%.2s]|[%05s]", {S(u"ab"), S(u"ab"), S(u"ab"), S(u"abc"), S(u"ab")},
         u"[ab]|[   ab]|[ab      ]|[ab]|[000ab]"},
        {u"[%s]|[%3s]", {S(u""), S(nullptr)}, u"[]|[   ]"},
        {u"%c%c%3c|%-3c|", {I('A'), I(0x263A), I('z'), I('q')}, u"A\u263A  z|q  |"},
        {u"%c", {I(0x1263A)}, u"\u263A"},                 // the low 16 bits
        {u"\u00E9%s\u2713\U0001F600", {S(u"\u00FC")}, u"\u00E9\u00FC\u2713\U0001F600"},
        {u"%S|%ls|%hs", {S(u"a"), S(u"b"), S(u"c")}, u"a|b|c"},
        // widths and precisions from the arguments
        {u"%*d|%-*d|%*d|", {I(5), I(42), I(4), I(7), I(-4), I(7)}, u"   42|7   |7   |"},
        {u"%.*f|%.*f", {I(2), D(3.14159), I(-1), D(1.5)}, u"3.14|1.500000"},
        {u"%d and %d", {I(1), I(2), I(3)}, u"1 and 2"},    // arguments left over are ignored
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.fmt, c.args), c.expected) << narrow(c.fmt);
}

TEST(WFormat, RefusesWhatItCannotFormat) {
    const std::vector<Case> cases = {
        {u"%d", {}, nullptr},               // missing argument
        {u"%d %d", {I(1)}, nullptr},
        {u"%*d", {I(5)}, nullptr},          // the width took the only argument
        {u"%s", {I(3)}, nullptr},           // a number is no text
        {u"%d", {S(u"3")}, nullptr},        // and text is no number
        {u"%f", {S(u"3")}, nullptr},
        {u"%c", {S(u"x")}, nullptr},
        {u"%*d", {S(u"x"), I(1)}, nullptr},
        {u"%y", {I(1)}, nullptr},           // unknown conversions, %n among them
        {u"%n", {I(1)}, nullptr},
        {u"%\u00E9", {I(1)}, nullptr},
        {u"50%", {}, nullptr},              // the text ends inside a conversion
        {u"%-", {}, nullptr},
        {u"%I64", {L(1)}, nullptr},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.fmt, c.args), u"<fail>") << narrow(c.fmt);
}

TEST(WFormat, OutputMustFitTheRoom) {
    struct Fit {
        const char16_t* fmt;
        std::vector<FormatArg> args;
        uint32_t cap;
        bool fits;
    };
    const std::vector<Fit> cases = {
        {u"abcdef", {}, 6, true},
        {u"abcdef", {}, 5, false},
        {u"", {}, 0, true},
        {u"%s", {S(u"0123456789")}, 10, true},
        {u"%s", {S(u"0123456789")}, 9, false},
        {u"%10d", {I(1)}, 10, true},
        {u"%10d", {I(1)}, 9, false},
        {u"%-10s|", {S(u"a")}, 10, false},
        {u"%.15g", {D(-1.0 / 3)}, 18, true},
        {u"%.15g", {D(-1.0 / 3)}, 17, false},
        {u"%c", {I('x')}, 0, false},
        {u"%1000000000d", {I(1)}, 100, false},    // refused without printing a huge field
        {u"%99999999999999d", {I(1)}, 100, false},
        {u"%.1000000000f", {D(1.0)}, 100, false},
    };
    for (const Fit& c : cases) {
        std::u16string got = run(c.fmt, c.args, c.cap);
        EXPECT_EQ(got != u"<fail>", c.fits) << narrow(c.fmt) << " in " << c.cap;
        if (c.fits) EXPECT_LE(got.size(), c.cap);
    }

    // %g keeps no trailing zeros, so a precision past a double's exact digits prints the same.
    std::u16string exact = run(u"%.5000g", {D(0.1)});
    EXPECT_EQ(exact.substr(0, 20), u"0.100000000000000005");
    EXPECT_EQ(exact, run(u"%.800g", {D(0.1)}));
    EXPECT_EQ(run(u"%#.5000g", {D(0.1)}), u"<fail>");  // with # the zeros stay: too long

    // Long numbers go through a larger scratch buffer than short ones.
    std::u16string expected = u"1." + std::u16string(300, u'0');
    EXPECT_EQ(run(u"%.300f", {D(1.0)}), expected);
    EXPECT_EQ(run(u"%.300f", {D(1.0)}, 301), u"<fail>");
}

TEST(WFormat, FormatIntoReusesTheStringBuffer) {
    WStr s{};
    EXPECT_EQ(wformat_into(s, 32, u"%i", I(-123)), 4);
    EXPECT_EQ(std::u16string(s.text(), s.length), u"-123");
    EXPECT_EQ(s.capacity, 32u);
    WChar* buffer = s.buffer;
    EXPECT_EQ(wformat_into(s, 8, u"%X", I(255)), 2);  // a larger buffer stays
    EXPECT_EQ(s.buffer, buffer);
    EXPECT_EQ(s.capacity, 32u);
    EXPECT_EQ(std::u16string(s.text(), s.length), u"FF");
    EXPECT_EQ(wformat_into(s, 32, u"%s", I(1)), -1);  // a failure leaves the empty string
    EXPECT_EQ(s.buffer, nullptr);
    EXPECT_EQ(s.length, 0u);
    s.clear();
}

TEST(WFormat, DoublesTruncateTowardZeroAndSaturate) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case32 {
        double d;
        int32_t expected;
    };
    const Case32 cases32[] = {
        {3.9, 3},           {-3.9, -3},         {0.0, 0},           {-0.5, 0},
        {2147483647.9, INT32_MAX}, {2147483648.0, INT32_MAX}, {1e300, INT32_MAX},
        {-2147483648.9, INT32_MIN}, {-2147483649.0, INT32_MIN}, {-1e300, INT32_MIN}, {nan, 0},
    };
    for (const Case32& c : cases32) EXPECT_EQ(truncate_to_int32(c.d), c.expected) << c.d;
    struct Case64 {
        double d;
        int64_t expected;
    };
    const Case64 cases64[] = {
        {-3.9, -3}, {1e15 + 0.5, 1000000000000000LL}, {9.3e18, INT64_MAX}, {-9223372036854775808.0, INT64_MIN},
        {-1e19, INT64_MIN}, {std::numeric_limits<double>::infinity(), INT64_MAX}, {nan, 0},
    };
    for (const Case64& c : cases64) EXPECT_EQ(truncate_to_int64(c.d), c.expected) << c.d;
}

}  // namespace
