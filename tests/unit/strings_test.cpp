// The string and conversion built-ins, called the way callstd calls them: arguments pushed in
// order, the result read from the first argument's slot.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "builtin_harness.h"
#include "image/instruction.h"

using namespace qel;

namespace {

class Strings : public qeltest::Builtins {
protected:
    using Push = std::function<void()>;

    // Runs fn on freshly pushed arguments and expects exactly one result and no error.
    void run(BuiltinFn fn, const Push& push, const std::string& what) {
        reset();
        push();
        ASSERT_EQ(call(fn), "") << what;
        ASSERT_EQ(count(), 1) << what;
    }

    // Runs a built-in that leaves nothing on the stack.
    void run_void(BuiltinFn fn, const Push& push) {
        reset();
        push();
        ASSERT_EQ(call(fn), "");
        EXPECT_EQ(count(), 0);
    }

    // A string result keeps its 0 unit right behind the text.
    void expect_terminated(const std::string& what) {
        const WStr& t = top().text;
        if (top().tag == kTagString && t.buffer) EXPECT_EQ(t.buffer[t.length], 0) << what;
    }
};

// Cuts and removals: s, then the int arguments, give the expected text.
TEST_F(Strings, CutsCompareIndexAndCountAsTheEdgeRulesSay) {
    struct Case {
        BuiltinFn fn;
        const char* name;
        const char* s;
        std::vector<int32_t> ints;
        const char* expected;
    };
    const Case cases[] = {
        {bi_LeftStr, "LeftStr", "abcdef", {3}, "abc"},
        {bi_LeftStr, "LeftStr", "abcdef", {0}, ""},
        {bi_LeftStr, "LeftStr", "abcdef", {-1}, "abcdef"},
        {bi_LeftStr, "LeftStr", "abcdef", {10}, "abcdef"},
        {bi_LeftStr, "LeftStr", "abcdef", {6}, "abcdef"},
        {bi_LeftStr, "LeftStr", "", {3}, ""},
        {bi_LeftStr, "LeftStr", "\u00E9t\u00E9", {2}, "\u00E9t"},
        {bi_RightStr, "RightStr", "abcdef", {2}, "ef"},
        {bi_RightStr, "RightStr", "abcdef", {0}, ""},
        {bi_RightStr, "RightStr", "abcdef", {-1}, "abcdef"},
        {bi_RightStr, "RightStr", "abcdef", {10}, "abcdef"},
        {bi_RightStr, "RightStr", "abcdef", {5}, "bcdef"},
        {bi_MidStr, "MidStr", "abcdef", {0, 2}, "ab"},
        {bi_MidStr, "MidStr", "abcdef", {1, 2}, "ab"},
        {bi_MidStr, "MidStr", "abcdef", {3, 2}, "cd"},
        {bi_MidStr, "MidStr", "abcdef", {5, 10}, "ef"},
        {bi_MidStr, "MidStr", "abcdef", {6, 1}, "f"},
        {bi_MidStr, "MidStr", "abcdef", {7, 1}, ""},
        {bi_MidStr, "MidStr", "abcdef", {-1, 2}, ""},
        {bi_MidStr, "MidStr", "abcdef", {2, 0}, ""},
        {bi_MidStr, "MidStr", "abcdef", {2, -3}, ""},
        {bi_MidStr, "MidStr", "", {1, 1}, ""},
        {bi_DeleteStr, "DeleteStr", "abcdef", {2, 2}, "adef"},
        {bi_DeleteStr, "DeleteStr", "abcdef", {5, 10}, "abcd"},
        {bi_DeleteStr, "DeleteStr", "abcdef", {5, 2}, "abcd"},
        {bi_DeleteStr, "DeleteStr", "abcdef", {0, 1}, "abcdef"},
        {bi_DeleteStr, "DeleteStr", "abcdef", {-1, 2}, "abcdef"},
        {bi_DeleteStr, "DeleteStr", "abcdef", {7, 1}, "abcdef"},
        {bi_DeleteStr, "DeleteStr", "abcdef", {2, 0}, "abcdef"},
        {bi_DeleteStr, "DeleteStr", "abcdef", {1, 6}, ""},
        {bi_DeleteStr, "DeleteStr", "abcdef", {1, 99}, ""},
        {bi_DeleteStr, "DeleteStr", "abcdef", {6, 1}, "abcde"},
        {bi_DeleteStr, "DeleteStr", "", {1, 1}, ""},
    };
    for (const Case& c : cases) {
        std::string what = std::string(c.name) + " '" + c.s + "'";
        for (int32_t v : c.ints) what += " " + std::to_string(v);
        run(c.fn, [&] { s8(c.s); for (int32_t v : c.ints) i(v); }, what);
        EXPECT_EQ(top_string(), c.expected) << what;
        expect_terminated(what);
    }
}

TEST_F(Strings, CutsWorkInTheSlotsOwnBuffer) {
    s8("abcdef");
    WChar* buffer = top().text.buffer;
    i(4);
    ASSERT_EQ(call(bi_LeftStr), "");
    EXPECT_EQ(top().text.buffer, buffer);
    i(2);
    ASSERT_EQ(call(bi_RightStr), "");
    EXPECT_EQ(top().text.buffer, buffer);
    EXPECT_EQ(top_string(), "cd");
    i(0);
    ASSERT_EQ(call(bi_LeftStr), "");
    EXPECT_EQ(top().text.buffer, nullptr);  // cut to nothing: the buffer is freed

    reset();
    s(u" \t\r\n\f\v ");
    ASSERT_EQ(call(bi_Trim), "");
    EXPECT_EQ(top_string(), "");
    EXPECT_EQ(top().text.buffer, nullptr);
}

TEST_F(Strings, PosStrFindsTheFirstOccurrence) {
    struct Case {
        const char* s;
        const char* sub;
        int32_t expected;
    };
    const Case cases[] = {
        {"a:b", ":", 2},  {"abc", "x", 0},       {"abc", "", 1},     {"", "", 1},
        {"", "a", 0},     {"abcabc", "ca", 3},   {"ab", "abc", 0},   {"aab", "ab", 2},
        {"abc", "abc", 1}, {"xyzabc", "c", 6},   {"aBc", "b", 0},    {"\u00E9\u263A!", "!", 3},
    };
    for (const Case& c : cases) {
        run(bi_PosStr, [&] { s8(c.s); s8(c.sub); }, std::string(c.s) + " / " + c.sub);
        EXPECT_EQ(top_int(), c.expected) << c.s << " / " << c.sub;
    }
}

TEST_F(Strings, RewritesInPlace) {
    struct Case {
        BuiltinFn fn;
        const char* name;
        std::vector<std::string> args;
        const char* expected;
    };
    const Case cases[] = {
        {bi_Trim, "Trim", {"  ab \t"}, "ab"},
        {bi_Trim, "Trim", {"\r\n\f\vab c\v"}, "ab c"},
        {bi_Trim, "Trim", {"ab"}, "ab"},
        {bi_Trim, "Trim", {""}, ""},
        {bi_Trim, "Trim", {"\u00A0x\u00A0"}, "\u00A0x\u00A0"},  // no-break space is not a blank
        {bi_UpperCase, "UpperCase", {"abcXYZ\u00E9-1"}, "ABCXYZ\u00E9-1"},
        {bi_LowerCase, "LowerCase", {"ABCxyz\u00C9-1"}, "abcxyz\u00C9-1"},
        {bi_UpperCase, "UpperCase", {""}, ""},
        {bi_ReplaceText, "ReplaceText", {"aXbxc", "x", "--"}, "a--b--c"},
        {bi_ReplaceStr, "ReplaceStr", {"aXbxc", "x", "--"}, "aXb--c"},
        {bi_ReplaceStr, "ReplaceStr", {"aa", "a", "aa"}, "aaaa"},
        {bi_ReplaceStr, "ReplaceStr", {"a.b.c", ".", ""}, "abc"},
        {bi_ReplaceStr, "ReplaceStr", {"abc", "", "x"}, "abc"},
        {bi_ReplaceText, "ReplaceText", {"Caf\u00E9 CAFE", "cafe", "tea"}, "Caf\u00E9 tea"},
        {bi_QuotedStr, "QuotedStr", {"a\"b"}, "\"a\"\"b\""},
        {bi_QuotedStr, "QuotedStr", {""}, "\"\""},
        {bi_QuotedStr, "QuotedStr", {"\""}, "\"\"\"\""},
        {bi_QuotedStr, "QuotedStr", {"\"x\"y"}, "\"\"\"x\"\"y\""},
        {bi_QuotedStr, "QuotedStr", {"\u263A"}, "\"\u263A\""},
        {bi_UrlEncode, "UrlEncode", {"a b/\u00E9"}, "a%20b%2F%C3%A9"},
        {bi_UrlEncode, "UrlEncode", {"AZaz09-._~"}, "AZaz09-._%7E"},
        {bi_UrlEncode, "UrlEncode", {"\u20AC\U0001F600"}, "%E2%82%AC%F0%9F%98%80"},
        {bi_UrlEncode, "UrlEncode", {""}, ""},
    };
    for (const Case& c : cases) {
        std::string what = std::string(c.name) + " '" + c.args[0] + "'";
        run(c.fn, [&] { for (const std::string& a : c.args) s8(a); }, what);
        EXPECT_EQ(top_string(), c.expected) << what;
        expect_terminated(what);
    }
    // QuotedStr of a, quote, b: six units exactly.
    run(bi_QuotedStr, [&] { s(u"a\"b"); }, "QuotedStr units");
    EXPECT_EQ(top().text.length, 6u);
}

TEST_F(Strings, CharactersLengthsAndBooleans) {
    struct Case {
        BuiltinFn fn;
        const char* name;
        Push push;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
        {bi_Length, "Length 5", [&] { s8("hello"); }, [&] { EXPECT_EQ(top_int(), 5); }},
        {bi_Length, "Length empty", [&] { s8(""); }, [&] { EXPECT_EQ(top_int(), 0); }},
        {bi_Length, "Length of units", [&] { s8("\u00E9\U0001F600"); }, [&] { EXPECT_EQ(top_int(), 3); }},
        {bi_Chr, "Chr 65", [&] { i(65); }, [&] { EXPECT_EQ(top_string(), "A"); }},
        {bi_Chr, "Chr smiley", [&] { i(0x263A); }, [&] { EXPECT_EQ(top_string(), "\u263A"); }},
        {bi_Chr, "Chr low 16 bits", [&] { i(0x10041); }, [&] { EXPECT_EQ(top_string(), "A"); }},
        {bi_Chr, "Chr 0", [&] { i(0); }, [&] { EXPECT_EQ(top().text.length, 1u); }},
        {bi_Asc, "Asc A", [&] { s8("AB"); }, [&] { EXPECT_EQ(top_int(), 65); }},
        {bi_Asc, "Asc empty", [&] { s8(""); }, [&] { EXPECT_EQ(top_int(), 0); }},
        {bi_Asc, "Asc smiley", [&] { s8("\u263Ax"); }, [&] { EXPECT_EQ(top_int(), 0x263A); }},
        {bi_StrToBool, "StrToBool TRUE", [&] { s8("TRUE"); }, [&] { EXPECT_TRUE(top_bool()); }},
        {bi_StrToBool, "StrToBool True", [&] { s8("True"); }, [&] { EXPECT_TRUE(top_bool()); }},
        {bi_StrToBool, "StrToBool yes", [&] { s8("yes"); }, [&] { EXPECT_FALSE(top_bool()); }},
        {bi_StrToBool, "StrToBool padded", [&] { s8("true "); }, [&] { EXPECT_FALSE(top_bool()); }},
        {bi_StrToBool, "StrToBool empty", [&] { s8(""); }, [&] { EXPECT_FALSE(top_bool()); }},
        {bi_StrToBool, "StrToBool of an int", [&] { i(7); }, [&] { EXPECT_EQ(top_int(), 7); }},
        {bi_BoolToStr, "BoolToStr true", [&] { b(true); }, [&] { EXPECT_EQ(top_string(), "True"); }},
        {bi_BoolToStr, "BoolToStr 0", [&] { i(0); }, [&] { EXPECT_EQ(top_string(), "False"); }},
        {bi_BoolToStr, "BoolToStr text", [&] { s8("x"); }, [&] { EXPECT_EQ(top_string(), "True"); }},
        {bi_UnsignedShort, "UnsignedShort 0x1234", [&] { i(0x1234); }, [&] { EXPECT_EQ(top_int(), 0x1234); }},
        {bi_UnsignedShort, "UnsignedShort -1", [&] { i(-1); }, [&] { EXPECT_EQ(top_int(), 65535); }},
        {bi_UnsignedShort, "UnsignedShort 0x12345", [&] { i(0x12345); }, [&] { EXPECT_EQ(top_int(), 0x2345); }},
    };
    for (const Case& c : cases) {
        run(c.fn, c.push, c.name);
        SCOPED_TRACE(c.name);
        c.check();
    }
}

TEST_F(Strings, IntToHexAndStrToInt) {
    struct Hex {
        int32_t value;
        int32_t digits;
        const char* expected;
    };
    const Hex hex[] = {
        {255, 4, "00FF"}, {255, 0, "FF"},   {-1, 2, "FFFFFFFF"}, {255, -3, "FF"},
        {0, 0, "0"},      {0, 1, "0"},      {0x1A2B, 9, "000001A2B"}, {255, 12, "0000000000FF"},
        {1, 100, "0000000000000001"},  // more than 16 digits pads to 16
        {INT32_MIN, 4, "80000000"},
    };
    for (const Hex& c : hex) {
        run(bi_IntToHex, [&] { i(c.value); i(c.digits); }, "IntToHex " + std::to_string(c.value));
        EXPECT_EQ(top_string(), c.expected) << c.value << " " << c.digits;
        EXPECT_EQ(top().text.length, std::strlen(c.expected));
    }
    // A value that is not an int is left as it is.
    run(bi_IntToHex, [&] { s8("x"); i(2); }, "IntToHex of text");
    EXPECT_EQ(top_string(), "x");
    run(bi_IntToHex, [&] { d(2.5); i(2); }, "IntToHex of a double");
    EXPECT_EQ(top_double(), 2.5);

    struct Parse {
        const char* s;
        int32_t expected;
    };
    const Parse parses[] = {
        {"0x1F", 31},       {" 42abc", 42},       {"abc", 0},           {"", 0},
        {"-17", -17},       {"+8", 8},            {"\t\n 7", 7},        {"1x5", 1},
        {"0xffffffff", -1}, {"0x80000000", INT32_MIN}, {"0x1FFFFFFFF", -1}, {"0x", 0},
        {"0X1F", 0},  // only a lower-case x as the second unit selects hexadecimal
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
        {"00000000000000000000012", 12},
    };
    for (const Parse& c : parses) {
        run(bi_StrToInt, [&] { s8(c.s); }, std::string("StrToInt ") + c.s);
        EXPECT_EQ(top_int(), c.expected) << c.s;
    }
    // IntToHex and StrToInt read each other back.
    for (int32_t v : {0, 1, -1, 0x7FFFFFFF, INT32_MIN, 0xABCDEF}) {
        run(bi_IntToHex, [&] { i(v); i(8); }, "round trip");
        std::string text = "0x" + top_string();
        run(bi_StrToInt, [&] { s8(text); }, "round trip back");
        EXPECT_EQ(top_int(), v) << text;
    }
}

TEST_F(Strings, InsertStrWritesThroughTheReference) {
    struct Case {
        const char* target;
        int32_t index;
        const char* sub;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", 0, "XY", "XYabc"}, {"abc", 1, "XY", "XYabc"}, {"abc", 2, "XY", "aXYbc"},
        {"abc", 4, "XY", "abcXY"}, {"abc", 50, "XY", "abcXY"}, {"abc", -1, "XY", "abc"},
        {"", 1, "\u00E9", "\u00E9"}, {"abc", 2, "", "abc"},
    };
    for (const Case& c : cases) {
        WStr* var = wstr_new();
        var->assignUtf8(c.target);
        run_void(bi_InsertStr, [&] { p(&var); i(c.index); s8(c.sub); });
        EXPECT_EQ(utf8(*var), c.expected) << c.target << " at " << c.index;
        wstr_delete(var);
    }
    // A variable that holds no string yet gets one.
    WStr* none = nullptr;
    run_void(bi_InsertStr, [&] { p(&none); i(1); s8("new"); });
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(utf8(*none), "new");
    wstr_delete(none);
}

TEST_F(Strings, FormatTakesItsValuesFromTheVariadicCount) {
    struct Case {
        const char* what;
        Push push;  // the format and then the values
        int16_t n;
        const char* expected;
        uint32_t capacity;  // the estimate: 10 per int, 40 per double, 20 per long, text lengths, format
    };
    Instruction method{};
    const std::vector<Case> cases = {
        {"two ints", [&] { s8("Left=%i, Top=%i"); i(3); i(4); }, 2, "Left=3, Top=4", 35},
        {"every kind",
         [&] { s8("%s|%d|%.2f|%I64d|%x"); s8("\u00E9t\u00E9"); b(true); d(2.25); l(-9000000000LL); p(
             reinterpret_cast<void*>(0xBEEF)); },
         5, "\u00E9t\u00E9|1|2.25|-9000000000|beef", 102},
        {"a method value takes no argument", [&] { s8("%d"); push_method(st, &method, nullptr); i(5); }, 2, "5", 12},
        {"no values", [&] { s8("100%%"); }, 0, "100%", 5},
        {"exactly the estimate", [&] { s8("%14d"); i(5); }, 1, "             5", 14},
        {"past the estimate", [&] { s8("%15d"); i(5); }, 1, "", 0},
        {"a value of the wrong kind", [&] { s8("%s"); i(3); }, 1, "", 0},
        {"a missing value", [&] { s8("%d %d"); i(3); }, 1, "", 0},
        {"empty format", [&] { s8(""); }, 0, "", 0},
    };
    for (const Case& c : cases) {
        reset();
        c.push();
        frame.variadic = c.n;
        ASSERT_EQ(call(bi_Format), "") << c.what;
        EXPECT_EQ(count(), 1) << c.what;
        EXPECT_EQ(frame.variadic, 0) << c.what;
        EXPECT_EQ(top_string(), c.expected) << c.what;
        EXPECT_EQ(top().text.capacity, c.capacity) << c.what;
        expect_terminated(c.what);
    }
}

TEST_F(Strings, FormatFailures) {
    // The format must be a string; the values are consumed and the count reset either way.
    i(7);
    i(1);
    frame.variadic = 1;
    EXPECT_EQ(call(bi_Format), "Cannot convert 'int' to 'string'");
    EXPECT_EQ(frame.variadic, 0);
    EXPECT_EQ(count(), 0);

    reset();
    s8("%d");
    frame.variadic = 3;  // more values than the stack holds
    EXPECT_EQ(call(bi_Format), "Stack underflow");
    EXPECT_EQ(frame.variadic, 0);
}

TEST_F(Strings, ConversionsToNumbers) {
    const double inf = std::numeric_limits<double>::infinity();
    struct IntCase {
        const char* what;
        Push push;
        int32_t expected;
    };
    const std::vector<IntCase> ints = {
        {"bool", [&] { b(true); }, 1},
        {"int", [&] { i(-9); }, -9},
        {"long", [&] { l(0x100000007LL); }, 7},
        {"double", [&] { d(-3.9); }, -3},
        {"large double", [&] { d(1e12); }, INT32_MAX},
        {"NaN", [&] { d(std::nan("")); }, 0},
        {"string", [&] { s8(" -12x"); }, -12},
        {"string past int", [&] { s8("3000000000"); }, INT32_MAX},
        {"hex string", [&] { s8("0x10"); }, 0},  // Int reads decimal only
        {"pointer", [&] { p(reinterpret_cast<void*>(0x1234)); }, 0x1234},
    };
    for (const IntCase& c : ints) {
        run(bi_Int, c.push, c.what);
        EXPECT_EQ(top_int(), c.expected) << "Int of " << c.what;
    }

    struct LongCase {
        const char* what;
        Push push;
        int64_t expected;
    };
    const std::vector<LongCase> longs = {
        {"bool", [&] { b(true); }, 1},
        {"int", [&] { i(-5); }, -5},
        {"pointer", [&] { p(reinterpret_cast<void*>(0x80000000u)); }, -2147483648LL},  // sign-extended
        {"double", [&] { d(-1e15 - 0.5); }, -1000000000000000LL},
        {"large double", [&] { d(1e19); }, INT64_MAX},
        {"string", [&] { s8("12345678901"); }, 12345678901LL},
        {"smallest string", [&] { s8("-9223372036854775808"); }, INT64_MIN},
        {"string past long", [&] { s8("99999999999999999999"); }, INT64_MAX},
        {"long", [&] { l(INT64_MIN + 1); }, INT64_MIN + 1},
    };
    for (const LongCase& c : longs) {
        run(bi_Long, c.push, c.what);
        EXPECT_EQ(top().tag, kTagLong) << c.what;
        EXPECT_EQ(top().v.l, c.expected) << "Long of " << c.what;
    }
    // A method value keeps both of its words.
    Instruction method{};
    run(bi_Long, [&] { push_method(st, &method, reinterpret_cast<void*>(0x10)); }, "method");
    EXPECT_EQ(top().v.l, static_cast<int64_t>((uint64_t{0x10} << 32) | reinterpret_cast<uintptr_t>(&method)));

    struct FloatCase {
        const char* what;
        Push push;
        double expected;
    };
    const std::vector<FloatCase> floats = {
        {"bool", [&] { b(true); }, 1.0},
        {"int", [&] { i(-3); }, -3.0},
        {"long", [&] { l((1LL << 53) + 1); }, 9007199254740992.0},  // the nearest double
        {"double", [&] { d(0.25); }, 0.25},
        {"decimal", [&] { s8("1.5"); }, 1.5},
        {"exponent and junk", [&] { s8(" -2.5e3xyz"); }, -2500.0},
        {"plus and point", [&] { s8("+.5"); }, 0.5},
        {"no number", [&] { s8("abc"); }, 0.0},
        {"two signs", [&] { s8("--1"); }, 0.0},
        {"comma is no decimal point", [&] { s8("1,5"); }, 1.0},
        {"too large", [&] { s8("1e400"); }, inf},
        {"too large, negative", [&] { s8("-123.4e400"); }, -inf},
        {"too small", [&] { s8("1e-400"); }, 0.0},
        {"infinity", [&] { s8("Infinity"); }, inf},
        {"long digits", [&] { s8("0.1000000000000000000000000000000000000000000000000000000000000000000001"); }, 0.1},
    };
    for (const FloatCase& c : floats) {
        run(bi_Float, c.push, c.what);
        EXPECT_EQ(top_double(), c.expected) << "Float of " << c.what;
    }
    run(bi_Float, [&] { s8("nan"); }, "nan");
    EXPECT_TRUE(std::isnan(top_double()));

    struct PtrCase {
        const char* what;
        Push push;
        uint32_t tag;
        uint32_t expected;
    };
    const std::vector<PtrCase> ptrs = {
        {"int", [&] { i(5); }, kTagPointer, 5},
        {"long", [&] { l(0x100000009LL); }, kTagPointer, 9},
        {"string", [&] { s8("4096"); }, kTagPointer, 4096},
        {"negative string", [&] { s8("-2"); }, kTagPointer, 0xFFFFFFFEu},
        {"pointer", [&] { p(reinterpret_cast<void*>(0x44)); }, kTagPointer, 0x44},
        {"bool stays", [&] { b(true); }, kTagBool, 1},
    };
    for (const PtrCase& c : ptrs) {
        run(bi_Ptr, c.push, c.what);
        EXPECT_EQ(top().tag, c.tag) << "Ptr of " << c.what;
        EXPECT_EQ(top().v.u, c.expected) << "Ptr of " << c.what;
    }
    run(bi_Ptr, [&] { d(1.5); }, "double stays");
    EXPECT_EQ(top_double(), 1.5);
}

TEST_F(Strings, ConversionToText) {
    Instruction header{};
    MethodRecord record{};
    char name[] = "Shape::Draw";
    record.name = name;
    header.object = &record;
    std::string long_name(300, 'm');
    MethodRecord long_record{};
    long_record.name = long_name.data();
    Instruction long_header{};
    long_header.object = &long_record;

    struct Case {
        const char* what;
        Push push;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"double 0.1", [&] { d(0.1); }, "0.1"},
        {"double 1e20", [&] { d(1e20); }, "1e+20"},
        {"a third", [&] { d(1.0 / 3); }, "0.333333333333333"},
        {"negative zero", [&] { d(-0.0); }, "-0"},
        {"largest double", [&] { d(1.7976931348623157e308); }, "1.79769313486232e+308"},
        {"infinity", [&] { d(-std::numeric_limits<double>::infinity()); }, "-inf"},
        {"long -5", [&] { l(-5); }, "-5"},
        {"smallest long", [&] { l(INT64_MIN); }, "-9223372036854775808"},
        {"int", [&] { i(-7); }, "-7"},
        {"bool", [&] { b(true); }, "true"},
        {"bool false", [&] { b(false); }, "false"},
        {"pointer", [&] { p(reinterpret_cast<void*>(0x80000000u)); }, "-2147483648"},
        {"string", [&] { s8("as is"); }, "as is"},
        {"method", [&] { push_method(st, &header, nullptr); }, "Shape::Draw"},
        {"long method name", [&] { push_method(st, &long_header, nullptr); }, long_name},
        {"null method", [&] { push_method(st, nullptr, nullptr); }, ""},
    };
    for (const Case& c : cases) {
        run(bi_String, c.push, c.what);
        EXPECT_EQ(top_string(), c.expected) << "String of " << c.what;
        expect_terminated(c.what);
    }
    // A number's text is written into the slot's own buffer, reserved at 32 units.
    run(bi_String, [&] { i(12); }, "room");
    EXPECT_EQ(top().text.capacity, 32u);
}

// Arguments of the wrong kind raise the conversion failure, and bad references fail cleanly.
TEST_F(Strings, WrongKindsAreConversionFailures) {
    Instruction method{};
    struct Case {
        BuiltinFn fn;
        const char* what;
        Push push;
        const char* message;
    };
    const std::vector<Case> cases = {
        {bi_LeftStr, "LeftStr of an int", [&] { i(1); i(1); }, "Cannot convert 'int' to 'string'"},
        {bi_LeftStr, "LeftStr count text", [&] { s8("a"); s8("1"); }, "Cannot convert 'string' to 'int'"},
        {bi_MidStr, "MidStr index double", [&] { s8("a"); d(1); i(1); }, "Cannot convert 'double' to 'int'"},
        {bi_PosStr, "PosStr sub int", [&] { s8("a"); i(1); }, "Cannot convert 'int' to 'string'"},
        {bi_Trim, "Trim of a long", [&] { l(1); }, "Cannot convert 'long' to 'string'"},
        {bi_ReplaceStr, "ReplaceStr pattern", [&] { s8("a"); b(true); s8("b"); }, "Cannot convert 'bool' to 'string'"},
        {bi_QuotedStr, "QuotedStr of a pointer", [&] { p(nullptr); }, "Cannot convert 'pointer' to 'string'"},
        {bi_Asc, "Asc of an int", [&] { i(65); }, "Cannot convert 'int' to 'string'"},
        {bi_StrToInt, "StrToInt of a double", [&] { d(1); }, "Cannot convert 'double' to 'string'"},
        {bi_Chr, "Chr of a string", [&] { s8("A"); }, "Cannot convert 'string' to 'int'"},
        {bi_Length, "Length of an int", [&] { i(5); }, "Cannot convert 'int' to 'string'"},
        {bi_UrlEncode, "UrlEncode of an int", [&] { i(5); }, "Cannot convert 'int' to 'string'"},
        {bi_Float, "Float of a pointer", [&] { p(nullptr); }, "Cannot convert 'pointer' to 'double'"},
        {bi_Float, "Float of a method", [&] { push_method(st, &method, nullptr); }, "Cannot convert 'method' to 'double'"},
        {bi_UnsignedShort, "UnsignedShort of a long", [&] { l(1); }, "Cannot convert 'long' to 'int'"},
        {bi_InsertStr, "InsertStr through null", [&] { p(nullptr); i(1); s8("x"); }, "Null string reference"},
        {bi_InsertStr, "InsertStr index text", [&] { p(nullptr); s8("1"); s8("x"); }, "Cannot convert 'string' to 'int'"},
    };
    for (const Case& c : cases) {
        reset();
        c.push();
        EXPECT_EQ(call(c.fn), c.message) << c.what;
    }
}

}  // namespace
