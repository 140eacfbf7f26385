// Strings: WStr, the UTF-16 printf, and the string and conversion built-ins as callstd calls them.
#include <functional>
#include <limits>

#include "base/wstr.h"
#include "builtin_harness.h"
#include "platform/ansi_name.h"
#include "stdlib/wformat.h"

using namespace qel;
using qeltest::Arg;
using qeltest::Mtd;
using qeltest::Ptr;

namespace {

// The text, or a note when the buffer breaks a rule: a non-null buffer keeps its 0 unit behind
// the text and holds the length; a null buffer has length and capacity 0.
std::u16string str(const WStr& s) {
    if (!s.buffer) return s.length || s.capacity || s.text()[0] ? u"<bad empty>" : u"";
    if (s.length > s.capacity || s.buffer[s.length] != 0) return u"<unterminated>";
    return std::u16string(s.buffer, s.length);
}

// The text and, after '#', the capacity; "-" for a null buffer.
std::u16string state(const WStr& s) {
    std::string n = std::to_string(s.capacity);
    return s.buffer ? str(s) + u"#" + std::u16string(n.begin(), n.end()) : str(s) + u"-";
}

WStr make(const char16_t* text) {
    WStr s{};
    return s.assign_wide(text), s;
}

// The state after one operation on fresh strings, which are freed.
std::u16string after(const char16_t* text, const char16_t* arg1, const char16_t* arg2,
                     const std::function<void(WStr&, WStr&, WStr&)>& op) {
    WStr s = make(text), a = make(arg1), b = make(arg2);
    op(s, a, b);
    const std::u16string out = state(s);
    for (WStr* w : {&s, &a, &b}) w->clear();
    return out;
}
std::u16string inserted(const char16_t* target, int index, const char16_t* src) {
    return after(target, src, u"", [&](WStr& s, WStr& a, WStr&) { s.insert(index, a); });
}
std::u16string replaced(const char16_t* text, const char16_t* pattern, const char16_t* by, bool case_sensitive) {
    return after(text, pattern, by, [&](WStr& s, WStr& p, WStr& r) { s.replace_all(p, r, case_sensitive); });
}
// How many of a.equals(b) and b.equals(a) hold.
int equal(const char16_t* a, const char16_t* b) {
    int n = 0;
    after(a, b, u"", [&](WStr& x, WStr& y, WStr&) { n = x.equals(y) + y.equals(x); });
    return n;
}

// One string taken through a sequence of operations: after each, text and exact capacity.
// Assignments fit exactly (and keep a larger buffer); growth at the end adds half as much again.
TEST(WStr, GrowthAndEveryOperationKeepsTheTerminator) {
    const char16_t unterminated[] = {u'x', u'y', u'z'};  // append_n must take exactly 2 of these
    WStr s{}, o{};
    const std::vector<std::pair<std::function<void()>, std::u16string>> steps = {
        {[&] { s.reserve(5); }, u"#5"}, {[&] { s.reserve(3); }, u"#5"}, {[&] { s.reserve(0); }, u"-"},
        {[&] { s.assign_wide(u"abc"); }, u"abc#3"}, {[&] { o.assign_wide(u"de"); s.append(o); }, u"abcde#12"},
        {[&] { s.append_wide(u"f"); }, u"abcdef#12"}, {[&] { s.append_n(unterminated, 2); }, u"abcdefxy#12"},
        {[&] { o.assign_wide(u"hi"); s.assign(o); }, u"hi#12"}, {[&] { s.reserve(20); }, u"hi#20"},
        {[&] { s.append_narrow("!?"); }, u"hi!?#4"},  // exact fit, also downwards
        {[&] { o.clear(); s.assign(o); }, u"-"}, {[&] { s.assign_wide(u""); }, u"#0"},
        {[&] { s.append_n(unterminated, 2); }, u"xy#2"}, {[&] { s.set_char(u'\u263A'); }, u"\u263A#1"},
        {[&] { s.assign_narrow("a\xE9"); }, u"a\u00E9#2"},  // one unit per byte
        {[&] { s.clear(); o.assign_wide(u"four"); s.assign(o); }, u"four#4"},
        {[&] { s.append(s); }, u"fourfour#14"}, {[&] { s.append_wide(s.buffer + 4); }, u"fourfourfour#14"},
        {[&] { s.clear(); }, u"-"},
    };
    for (size_t n = 0; n < steps.size(); ++n) EXPECT_EQ((steps[n].first(), state(s)), steps[n].second) << "step " << n;
    o.clear();
}

TEST(WStr, CopiesAreDeepBuffersAreHandedOverWholeAndHugeSizesFail) {
    WStr a = make(u"shared?"), b{};
    b.assign(a);
    a.buffer[0] = u'S';
    EXPECT_EQ(str(b), u"shared?");
    WChar* taken = a.detach();  // the caller gets the buffer; adopt takes one and frees the old
    EXPECT_EQ(state(a), u"-");
    b.adopt(taken, 7, 7);
    b.assign(b);  // from itself and from a piece of itself
    EXPECT_TRUE(b.buffer == taken && str(b) == u"Shared?");
    b.assign_wide(b.buffer + 2);
    b.append_wide(nullptr);  // null texts read as empty
    b.append_narrow(nullptr);
    EXPECT_EQ(state(b), u"ared?#5");
    // Sizes past the address space fail and change nothing.
    WChar* before = b.buffer;
    for (int n : {0x3FFFFFFF, 0x7FFFFFFF}) b.reserve(n);
    b.assign_wide(u"xyz", 0x80000000u);  // (n + 1) * 2 bytes would wrap to a tiny block
    b.append_units(u"xyz", 0xFFFFFFFFu);
    EXPECT_EQ(b.buffer, before);
    EXPECT_EQ(state(b), u"ared?#5");
    b.assign_wide(nullptr);
    EXPECT_EQ(state(b), u"#0");
    b.clear();
}

TEST(WStr, InsertReplaceAllAndEquals) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        // Index 0 and 1 both insert at the front, past length + 1 appends, a negative index does nothing.
        {inserted(u"abc", -1, u"XY"), u"abc#3"}, {inserted(u"abc", 0, u"XY"), u"XYabc#12"},
        {inserted(u"abc", 1, u"XY"), u"XYabc#12"}, {inserted(u"abc", 2, u"XY"), u"aXYbc#12"},
        {inserted(u"abc", 4, u"XY"), u"abcXY#12"}, {inserted(u"abc", 9, u"XY"), u"abcXY#12"},
        {inserted(u"", 1, u"XY"), u"XY#8"}, {inserted(u"abc", 2, u""), u"abc#3"},
        // Left to right, no overlaps, replaced text not searched again; only A-Z and a-z fold.
        {replaced(u"aXbxc", u"x", u"--", false), u"a--b--c#8"}, {replaced(u"aXbxc", u"x", u"--", true), u"aXb--c#8"},
        {replaced(u"aa", u"a", u"aa", true), u"aaaa#11"}, {replaced(u"aaa", u"aa", u"b", true), u"ba#9"},
        {replaced(u"abcabc", u"abc", u"", true), u"-"}, {replaced(u"ABCabc", u"bC", u".", false), u"A.a.#8"},
        {replaced(u"abc", u"", u"x", true), u"abc#3"}, {replaced(u"ab", u"abc", u"x", true), u"ab#2"},
        {replaced(u"head tail", u"head", u"H", true), u"H tail#9"},
        {replaced(u"head tail", u"tail", u"T", true), u"head T#8"},
        {replaced(u"\u00E9\u00C9", u"\u00E9", u"e", false), u"e\u00C9#9"},
    };
    for (size_t n = 0; n < std::size(cases); ++n) EXPECT_EQ(cases[n].first, cases[n].second) << "case " << n;
    EXPECT_EQ(equal(u"abc", u"abc"), 2);
    EXPECT_EQ(equal(u"abc", u"abd") + equal(u"ab", u"abc") + equal(u"A", u"a"), 0);
    WStr none{}, empty = make(u"");  // a null buffer and an empty buffer are the same text
    EXPECT_TRUE(none.equals(empty) && empty.equals(none));
    // Either string may be this very one; no match gives the same buffer back.
    WStr s = make(u"abc"), q = make(u"q");
    s.insert(2, s);
    EXPECT_EQ(str(s), u"aabcbc");
    WChar* before = s.buffer;
    s.replace_all(q, s, true);
    EXPECT_EQ(s.buffer, before);
    s.replace_all(s, q, true);
    EXPECT_EQ(str(s), u"q");
    s.replace_all(q, s, true);
    EXPECT_EQ(str(s), u"q");
    for (WStr* w : {&s, &q, &empty}) w->clear();
}

TEST(WStr, ConversionsToBytes) {
    WStr s = make(u"a\u00E9\u07FF\u0800\u20AC"), empty{}, ascii = make(u"Name_1");
    int bytes = 0, none = 0;
    char* texts[] = {s.to_utf8(&bytes), empty.to_utf8(&none), qel::platform::to_ansi(ascii)};
    EXPECT_EQ(bytes * 10 + none, 121);  // 1 + 2 + 2 + 3 + 3 and the terminator; empty: the terminator
    EXPECT_STREQ(texts[0], "a\xC3\xA9\xDF\xBF\xE0\xA0\x80\xE2\x82\xAC");
    EXPECT_EQ(std::string(texts[1]) + "|" + texts[2], "|Name_1");
    for (char* t : texts) std::free(t);
    // A character outside the BMP becomes a surrogate pair; an overlong form is four bad bytes.
    s.assign_utf8("\xC3\xBC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF|\xF0\x81\x80\x80");
    EXPECT_EQ(str(s), u"\u00FC\U0001F600\U0010FFFF|\uFFFD\uFFFD\uFFFD\uFFFD");
    s.clear();
    ascii.clear();
}

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
    struct Case { const char16_t* fmt; std::vector<FormatArg> args; std::u16string expected; uint32_t cap = 4096; };
    const std::vector<Case> cases = {
        {u"100%%|%d|%i|%u", {I(-5), I(7), I(-1)}, u"100%|-5|7|4294967295"},
        {u"%x|%X|%08X|%#x|%o|%p", {I(-1), I(255), I(255), I(255), I(8), I(0x1234)},
         u"ffffffff|FF|000000FF|0xff|10|00001234"},
        {u"%+d|% d|%5d|%-5d|%05d|%.3d", {I(5), I(5), I(42), I(42), I(-42), I(7)}, u"+5| 5|   42|42   |-0042|007"},
        {u"%I64d|%lld|%I64x|%I64d|%I32d|%ld", {L(INT64_MIN), L(12345678901LL), L(-1), I(-5), I(6), I(7)},
         u"-9223372036854775808|12345678901|ffffffffffffffff|-5|6|7"},
        {u"%d|%d|%d|%I64d|%f|%.1f", {L(0x100000005LL), D(3.99), D(-3.99), D(1e10), L(-3), I(0)},
         u"5|3|-3|10000000000|-3.000000|0.0"},  // numbers of one kind serve the others by value
        {u"%.2f|%5.2f|%-8.1f|%08.3f|%+.1f", {D(3.14159), D(3.14159), D(2.5), D(-3.14159), D(2.0)},
         u"3.14| 3.14|2.5     |-003.142|+2.0"},
        {u"%g|%g|%G|%.15g|%#g|%#.0f", {D(0.0001), D(1e-5), D(1e-5), D(1.0 / 3), D(1.0), D(3.0)},
         u"0.0001|1e-05|1E-05|0.333333333333333|1.00000|3."},
        {u"%f|%5.1f|%G|%+f|%-6e|", {D(inf), D(-inf), D(nan), D(inf), D(inf)}, u"inf| -inf|NAN|+inf|inf   |"},
        {u"[%s]|[%5s]|[%-4s]|[%.2s]|[%05s]|[%-05s]|[%.0s]", {S(u"ab"), S(u"ab"), S(u"ab"), S(u"abc"), S(u"ab"), S(u"ab"), S(u"ab")},
         u"[ab]|[   ab]|[ab  ]|[ab]|[000ab]|[ab   ]|[]"},
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
    for (size_t n = 0; n < cases.size(); ++n) EXPECT_EQ(run(cases[n].fmt, cases[n].args, cases[n].cap), cases[n].expected) << n;
    EXPECT_EQ(run(u"%.800g", {D(0.1)}).substr(0, 20), u"0.100000000000000005");
}

Ptr at(uintptr_t n) { return Ptr{reinterpret_cast<const void*>(n)}; }

class Strings : public qeltest::Builtins {};

TEST_F(Strings, EachBuiltinGivesItsResultInPlace) {
    Instruction header{}, long_header{}, null_method{};
    MethodRecord record{}, long_record{};
    char name[] = "Shape::Draw";
    std::string long_name(300, 'm');
    record.name = name;
    long_record.name = long_name.data();
    header.set_method(&record);
    long_header.set_method(&long_record);
    const int64_t method_words = static_cast<int64_t>((uint64_t{0x10} << 32) | reinterpret_cast<uintptr_t>(&header));
    const std::string conv = "Cannot convert ";

    struct Row { BuiltinFn fn; const char* name; std::vector<Arg> args; std::string expected; };
    const std::vector<Row> rows = {
        // Counts and indexes compare as unsigned with the length.
        {FN(LeftStr), {"abcdef", 3}, "s:abc"}, {FN(LeftStr), {"abcdef", 0}, "s:"},
        {FN(LeftStr), {"abcdef", -1}, "s:abcdef"}, {FN(RightStr), {"abcdef", 2}, "s:ef"},
        {FN(RightStr), {"abcdef", 0}, "s:"}, {FN(RightStr), {"abcdef", -1}, "s:abcdef"},
        {FN(MidStr), {"abcdef", 2, -3}, "s:"}, {FN(MidStr), {"abcdef", 0, 2}, "s:ab"},
        {FN(MidStr), {"abcdef", 3, 2}, "s:cd"}, {FN(MidStr), {"abcdef", 5, 10}, "s:ef"},
        {FN(MidStr), {"abcdef", 6, 1}, "s:f"}, {FN(MidStr), {"abcdef", 7, 1}, "s:"}, {FN(MidStr), {"abcdef", -1, 2}, "s:"},
        {FN(DeleteStr), {"abcdef", 2, 2}, "s:adef"}, {FN(DeleteStr), {"abcdef", 5, 10}, "s:abcd"},
        {FN(DeleteStr), {"abcdef", 1, 6}, "s:"}, {FN(DeleteStr), {"abcdef", 6, 1}, "s:abcde"},
        {FN(DeleteStr), {"abcdef", 0, 1}, "s:abcdef"}, {FN(DeleteStr), {"abcdef", 7, 1}, "s:abcdef"},
        {FN(DeleteStr), {"abcdef", 2, -1}, "s:abcdef"},
        {FN(PosStr), {"a:b", ":"}, "i:2"}, {FN(PosStr), {"", ""}, "i:1"}, {FN(PosStr), {"ab", "abc"}, "i:0"},
        {FN(PosStr), {"aab", "ab"}, "i:2"}, {FN(PosStr), {"xyzabc", "c"}, "i:6"}, {FN(PosStr), {"aBc", "b"}, "i:0"},
        // Rewrites: only the blanks of isspace and only A-Z, a-z count.
        {FN(Trim), {"  ab \t"}, "s:ab"}, {FN(Trim), {"\r\n\f\vab c\v"}, "s:ab c"},
        {FN(Trim), {"\u00A0x\u00A0"}, "s:\u00A0x\u00A0"},
        {FN(UpperCase), {"azAZ\u00E9-1"}, "s:AZAZ\u00E9-1"}, {FN(LowerCase), {"AZaz\u00C9-1"}, "s:azaz\u00C9-1"},
        {FN(ReplaceText), {"aXbxc", "x", "--"}, "s:a--b--c"}, {FN(ReplaceStr), {"aXbxc", "x", "--"}, "s:aXb--c"},
        {FN(QuotedStr), {"a\"b"}, "s:\"a\"\"b\""}, {FN(QuotedStr), {""}, "s:\"\""},
        {FN(UrlEncode), {"a b/\u00E9"}, "s:a%20b%2F%C3%A9"},
        {FN(UrlEncode), {"AZaz09-._~\u20AC\U0001F600"}, "s:AZaz09-._%7E%E2%82%AC%F0%9F%98%80"}, {FN(UrlEncode), {""}, "s:"},
        // Units, characters, booleans.
        {FN(Length), {"\u00E9\U0001F600"}, "i:3"}, {FN(Chr), {0x263A}, "s:\u263A"}, {FN(Chr), {0x10041}, "s:A"},
        {FN(Chr), {0}, "s:\\0"}, {FN(Asc), {"\u263Ax"}, "i:9786"}, {FN(Asc), {""}, "i:0"},
        {FN(StrToBool), {"TRUE"}, "b:true"}, {FN(StrToBool), {"true "}, "b:false"}, {FN(StrToBool), {7}, "i:7"},
        {FN(BoolToStr), {true}, "s:True"}, {FN(BoolToStr), {0}, "s:False"},
        {FN(UnsignedShort), {-1}, "i:65535"}, {FN(UnsignedShort), {0x12345}, "i:9029"},
        // Hexadecimal: padded to at most 16 digits; a value that is not an int stays.
        {FN(IntToHex), {255, 4}, "s:00FF"}, {FN(IntToHex), {255, -3}, "s:FF"}, {FN(IntToHex), {-1, 2}, "s:FFFFFFFF"},
        {FN(IntToHex), {0x1A2B, 9}, "s:000001A2B"}, {FN(IntToHex), {255, 10}, "s:00000000FF"},
        {FN(IntToHex), {1, 100}, "s:0000000000000001"}, {FN(IntToHex), {"x", 2}, "s:x"},
        // StrToInt: hexadecimal only with a lower-case x as second unit; decimal saturates.
        {FN(StrToInt), {"0x1F"}, "i:31"}, {FN(StrToInt), {"0X1F"}, "i:0"}, {FN(StrToInt), {"0xffffffff"}, "i:-1"},
        {FN(StrToInt), {"0x100000005"}, "i:-1"}, {FN(StrToInt), {"-0x10"}, "i:0"}, {FN(StrToInt), {"\t\n 42abc"}, "i:42"},
        {FN(StrToInt), {""}, "i:0"}, {FN(StrToInt), {"+8"}, "i:8"}, {FN(StrToInt), {"-2147483648"}, "i:-2147483648"},
        {FN(StrToInt), {"99999999999"}, "i:2147483647"}, {FN(StrToInt), {"-99999999999"}, "i:-2147483648"},
        {FN(StrToInt), {"18446744073709551626"}, "i:2147483647"},
        // Conversions of every kind.
        {FN(Int), {true}, "i:1"}, {FN(Int), {int64_t{0x100000007LL}}, "i:7"}, {FN(Int), {-3.9}, "i:-3"},
        {FN(Int), {2147483648.0}, "i:2147483647"}, {FN(Int), {" -12x"}, "i:-12"}, {FN(Int), {"0x10"}, "i:0"},
        {FN(Int), {at(0x1234)}, "i:4660"},
        {FN(Long), {at(0x80000000u)}, "l:-2147483648"}, {FN(Long), {-1e15 - 0.5}, "l:-1000000000000000"},
        {FN(Long), {1e19}, "l:9223372036854775807"}, {FN(Long), {-1e19}, "l:-9223372036854775808"},
        {FN(Int), {std::numeric_limits<double>::quiet_NaN()}, "i:0"}, {FN(Int), {-2147483649.0}, "i:-2147483648"}, {FN(Long), {"-9223372036854775808"}, "l:-9223372036854775808"},
        {FN(Long), {"99999999999999999999"}, "l:9223372036854775807"},
        {FN(Long), {Mtd{&header, 0x10}}, "l:" + std::to_string(method_words)},
        {FN(Float), {int64_t{(1LL << 53) + 1}}, "d:9007199254740992"}, {FN(Float), {" -2.5e3xyz"}, "d:-2500"},
        {FN(Float), {"+.5"}, "d:0.5"}, {FN(Float), {"--1"}, "d:0"},
        {FN(Float), {"1,5"}, "d:1"}, {FN(Float), {"1e400"}, "d:inf"}, {FN(Float), {"-123.4e400"}, "d:-inf"},
        {FN(Float), {"1e-400"}, "d:0"}, {FN(Float), {"Infinity"}, "d:inf"}, {FN(Float), {"nan"}, "d:nan"},
        {FN(Float), {"0.1000000000000000000000000000000000000000000000000000000000000000000001"}, "d:0.1"},
        {FN(Ptr), {5}, "p:5"}, {FN(Ptr), {int64_t{0x100000009LL}}, "p:9"}, {FN(Ptr), {"-2"}, "p:4294967294"},
        {FN(Ptr), {true}, "b:true"},
        {FN(String), {std::numeric_limits<int64_t>::min()}, "s:-9223372036854775808"}, {FN(String), {-7}, "s:-7"},
        {FN(String), {true}, "s:true"}, {FN(String), {at(0x80000000u)}, "s:-2147483648"},
        {FN(String), {Mtd{&header}}, "s:Shape::Draw"}, {FN(String), {Mtd{&long_header}}, "s:" + long_name},
        {FN(String), {Mtd{nullptr}}, "s:"},
        // Arguments of the wrong kind.
        {FN(LeftStr), {1, 1}, conv + "'int' to 'string'"}, {FN(LeftStr), {"a", "1"}, conv + "'string' to 'int'"},
        {FN(ReplaceStr), {"a", true, "b"}, conv + "'bool' to 'string'"}, {FN(Chr), {"A"}, conv + "'string' to 'int'"},
        {FN(Float), {at(0)}, conv + "'pointer' to 'double'"}, {FN(Float), {Mtd{&null_method}}, conv + "'method' to 'double'"},
        {FN(UnsignedShort), {int64_t{1}}, conv + "'long' to 'int'"},
        {FN(InsertStr), {at(0), 1, "x"}, "Null string reference"},
    };
    for (size_t n = 0; n < rows.size(); ++n)
        EXPECT_EQ(result(rows[n].fn, rows[n].args), rows[n].expected) << rows[n].name << ", row " << n;
}

TEST_F(Strings, InsertStrWritesThroughTheReference) {
    WStr* var = wstr_new();
    WStr* none = nullptr;  // a variable that holds no string yet gets one
    var->assign_utf8("abc");
    EXPECT_EQ(result(bi_InsertStr, {Ptr{&var}, 2, "XY"}), "<0 values>");
    EXPECT_EQ(result(bi_InsertStr, {Ptr{&none}, 1, "new"}), "<0 values>");
    EXPECT_EQ(utf8(*var) + "|" + (none ? utf8(*none) : "<null>"), "aXYbc|new");
    wstr_delete(var);
    wstr_delete(none);
}

TEST_F(Strings, FormatTakesItsValuesFromTheVariadicCount) {
    Instruction method{};
    const std::pair<std::vector<Arg>, std::string> cases[] = {  // the format, then the values
        {{"%s|%d|%.2f|%I64d|%x", "\u00E9t\u00E9", true, 2.25, int64_t{-9000000000LL}, at(0xBEEF)},
         "s:\u00E9t\u00E9|1|2.25|-9000000000|beef"},
        {{"%d", Mtd{&method}, 5}, "s:5"},  // a method value takes no argument
        {{"%14d", 5}, "s:             5"},  // exactly the estimate: 10 per int and the format
        {{"%15d", 5}, "s:              5"},  // past it: the result gets the room it needs
        {{"[%20s|%-12d]", "ab", 7}, "s:[                  ab|7           ]"},
        {{"%s", 3}, "s:"},  // a value of the wrong kind
    };
    for (const auto& [args, expected] : cases) {
        frame.variadic = static_cast<int16_t>(args.size() - 1);
        EXPECT_EQ(result(bi_Format, args), expected);
        EXPECT_EQ(frame.variadic, 0);
    }
    // The format must be a string; the values are consumed and the count reset either way.
    frame.variadic = 1;
    EXPECT_EQ(run(bi_Format, {7, 1}), "Cannot convert 'int' to 'string'");
    EXPECT_EQ(frame.variadic, 0);
    EXPECT_EQ(count(), 0);
    frame.variadic = 1;  // as many values as the stack holds: no format below them
    EXPECT_EQ(run(bi_Format, {"%d"}), "Stack underflow");
    EXPECT_EQ(frame.variadic, 0);
}

}  // namespace
