// The UTF-16 printf: conversions, flags, widths and precisions, argument kinds, and the room limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "stdlib/wformat.h"

using namespace qel;

namespace {

FormatArg I(int32_t v) { return FormatArg::of_int(v); }
FormatArg L(int64_t v) { return FormatArg::of_long(v); }
FormatArg D(double v) { return FormatArg::of_double(v); }
FormatArg S(const char16_t* v) { return FormatArg::of_text(v); }

// Formats with room for cap units; "<fail>" when the formatter refuses.
std::u16string run(const char16_t* fmt, const std::vector<FormatArg>& args, uint32_t cap = 4096) {
    std::vector<WChar> out(cap + 1, 0x5A5A);
    int n = wformat(out.data(), cap, fmt, args.data(), static_cast<uint32_t>(args.size()));
    if (n < 0) return u"<fail>";
    if (static_cast<uint32_t>(n) > cap || out[n] != 0) return u"<unterminated>";
    return std::u16string(out.data(), static_cast<size_t>(n));
}

TEST(WFormat, ConversionsFlagsWidthsPrecisionsAndRoom) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::u16string fail = u"<fail>";
    struct Case {
        const char16_t* fmt;
        std::vector<FormatArg> args;
        std::u16string expected;
        uint32_t cap = 4096;
    };
    const std::vector<Case> cases = {
        {u"100%%|%d|%i|%u", {I(-5), I(7), I(-1)}, u"100%|-5|7|4294967295"},
        {u"%x|%X|%08X|%#x|%o|%p", {I(-1), I(255), I(255), I(255), I(8), I(0x1234)},
         u"ffffffff|FF|000000FF|0xff|10|00001234"},
        {u"%+d|% d|%5d|%-5d|%05d|%.3d", {I(5), I(5), I(42), I(42), I(-42), I(7)}, u"+5| 5|   42|42   |-0042|007"},
        {u"%hd|%hu|%hx", {I(70000), I(-1), I(0x12345)}, u"4464|65535|2345"},
        {u"%I64d|%lld|%I64x|%I64d|%I32d|%ld", {L(INT64_MIN), L(12345678901LL), L(-1), I(-5), I(6), I(7)},
         u"-9223372036854775808|12345678901|ffffffffffffffff|-5|6|7"},
        {u"%d|%d|%d|%I64d|%f|%.1f", {L(0x100000005LL), D(3.99), D(-3.99), D(1e10), L(-3), I(0)},
         u"5|3|-3|10000000000|-3.000000|0.0"},  // numbers of one kind serve the others by value
        {u"%.2f|%5.2f|%-8.1f|%08.3f|%+.1f", {D(3.14159), D(3.14159), D(2.5), D(-3.14159), D(2.0)},
         u"3.14| 3.14|2.5     |-003.142|+2.0"},
        {u"%e|%E|%e|%.2e", {D(1e20), D(1e-5), D(1e100), D(12345.678)},
         u"1.000000e+20|1.000000E-05|1.000000e+100|1.23e+04"},
        {u"%g|%g|%G|%.15g|%#g|%#.0f", {D(0.0001), D(1e-5), D(1e-5), D(1.0 / 3), D(1.0), D(3.0)},
         u"0.0001|1e-05|1E-05|0.333333333333333|1.00000|3."},
        {u"%f|%5.1f|%G|%+f|%-6e|", {D(inf), D(-inf), D(nan), D(inf), D(inf)}, u"inf| -inf|NAN|+inf|inf   |"},
        {u"[%s]|[%5s]|[%-4s]|[%.2s]|[%05s]", {S(u"ab"), S(u"ab"), S(u"ab"), S(u"abc"), S(u"ab")},
         u"[ab]|[   ab]|[ab  ]|[ab]|[000ab]"},
        {u"[%s]|[%3s]|%S|%ls|%hs", {S(u""), S(nullptr), S(u"a"), S(u"b"), S(u"c")}, u"[]|[   ]|a|b|c"},
        {u"%c%c%3c|%-3c|%c", {I('A'), I(0x263A), I('z'), I('q'), I(0x1263A)}, u"A\u263A  z|q  |\u263A"},
        {u"\u00E9%s\U0001F600", {S(u"\u00FC")}, u"\u00E9\u00FC\U0001F600"},
        {u"%*d|%-*d|%*d|%.*f|%.*f", {I(5), I(42), I(4), I(7), I(-4), I(7), I(2), D(3.14159), I(-1), D(1.5)},
         u"   42|7   |7   |3.14|1.500000"},
        {u"%d and %d", {I(1), I(2), I(3)}, u"1 and 2"},  // arguments left over are ignored
        // Refused: missing arguments, kinds that cannot serve, unknown or unfinished conversions.
        {u"%d %d", {I(1)}, fail}, {u"%*d", {I(5)}, fail}, {u"%s", {I(3)}, fail}, {u"%d", {S(u"3")}, fail},
        {u"%f", {S(u"3")}, fail}, {u"%c", {S(u"x")}, fail}, {u"%*d", {S(u"x"), I(1)}, fail},
        {u"%y", {I(1)}, fail}, {u"%n", {I(1)}, fail}, {u"%\u00E9", {I(1)}, fail}, {u"50%", {}, fail},
        {u"%-", {}, fail}, {u"%I64", {L(1)}, fail},
        // The output must fit the room; huge fields are refused before anything is printed.
        {u"abcdef", {}, u"abcdef", 6}, {u"abcdef", {}, fail, 5}, {u"", {}, u"", 0},
        {u"%s", {S(u"0123456789")}, u"0123456789", 10}, {u"%s", {S(u"0123456789")}, fail, 9},
        {u"%10d", {I(1)}, u"         1", 10}, {u"%10d", {I(1)}, fail, 9}, {u"%-10s|", {S(u"a")}, fail, 10},
        {u"%.15g", {D(-1.0 / 3)}, u"-0.333333333333333", 18}, {u"%.15g", {D(-1.0 / 3)}, fail, 17},
        {u"%c", {I('x')}, fail, 0}, {u"%1000000000d", {I(1)}, fail, 100}, {u"%99999999999999d", {I(1)}, fail, 100},
        {u"%.1000000000f", {D(1.0)}, fail, 100},
        // Long numbers go through a larger scratch buffer than short ones.
        {u"%.300f", {D(1.0)}, u"1." + std::u16string(300, u'0')}, {u"%.300f", {D(1.0)}, fail, 301},
        // %g keeps no trailing zeros, so a precision past a double's exact digits prints the same;
        // with # the zeros stay, too many for the room.
        {u"%.5000g", {D(0.1)}, run(u"%.800g", {D(0.1)})}, {u"%#.5000g", {D(0.1)}, fail},
    };
    for (size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        EXPECT_EQ(run(c.fmt, c.args, c.cap), c.expected) << "case " << n;
    }
    EXPECT_EQ(run(u"%.800g", {D(0.1)}).substr(0, 20), u"0.100000000000000005");
}

TEST(WFormat, FormatIntoReusesTheStringBuffer) {
    WStr s{};
    EXPECT_EQ(wformat_into(s, 32, u"%i", I(-123)), 4);
    EXPECT_EQ(std::u16string(s.text(), s.length), u"-123");
    WChar* buffer = s.buffer;
    EXPECT_EQ(wformat_into(s, 8, u"%X", I(255)), 2);  // a larger buffer stays
    EXPECT_EQ(s.buffer, buffer);
    EXPECT_EQ(s.capacity, 32u);
    EXPECT_EQ(std::u16string(s.text(), s.length), u"FF");
    EXPECT_EQ(wformat_into(s, 32, u"%s", I(1)), -1);  // a failure leaves the empty string
    EXPECT_EQ(s.buffer, nullptr);
    EXPECT_EQ(s.length, 0u);
}

TEST(WFormat, DoublesTruncateTowardZeroAndSaturate) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int32_t> cases32[] = {
        {3.9, 3}, {-3.9, -3}, {-0.5, 0}, {2147483647.9, INT32_MAX}, {2147483648.0, INT32_MAX},
        {-1e300, INT32_MIN}, {nan, 0}, {-2147483648.9, INT32_MIN}, {-2147483649.0, INT32_MIN}};
    for (auto [d, v] : cases32) EXPECT_EQ(truncate_to_int32(d), v) << d;
    const std::pair<double, int64_t> cases64[] = {
        {-3.9, -3}, {1e15 + 0.5, 1000000000000000LL}, {9.3e18, INT64_MAX}, {-9223372036854775808.0, INT64_MIN},
        {-1e19, INT64_MIN}, {inf, INT64_MAX}, {nan, 0}};
    for (auto [d, v] : cases64) EXPECT_EQ(truncate_to_int64(d), v) << d;
}

}  // namespace
