// The string and conversion built-ins, called the way callstd calls them: arguments pushed in
// order, the result read from the first argument's slot.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "builtin_harness.h"

using namespace qel;
using qeltest::Arg;
using qeltest::Mtd;
using qeltest::Ptr;

namespace {

Ptr at(uintptr_t n) { return Ptr{reinterpret_cast<const void*>(n)}; }

class Strings : public qeltest::Builtins {};

#define FN(name) bi_##name, #name

TEST_F(Strings, EachBuiltinGivesItsResultInPlace) {
    Instruction header{}, long_header{}, null_method{};
    MethodRecord record{}, long_record{};
    char name[] = "Shape::Draw";
    std::string long_name(300, 'm');
    record.name = name;
    long_record.name = long_name.data();
    header.object = &record;
    long_header.object = &long_record;
    const int64_t method_words = static_cast<int64_t>((uint64_t{0x10} << 32) | reinterpret_cast<uintptr_t>(&header));
    const std::string conv = "Cannot convert ";

    struct Row {
        BuiltinFn fn;
        const char* name;
        std::vector<Arg> args;
        std::string expected;
    };
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
        {FN(Long), {1e19}, "l:9223372036854775807"}, {FN(Long), {"-9223372036854775808"}, "l:-9223372036854775808"},
        {FN(Long), {"99999999999999999999"}, "l:9223372036854775807"},
        {FN(Long), {Mtd{&header, 0x10}}, "l:" + std::to_string(method_words)},
        {FN(Float), {int64_t{(1LL << 53) + 1}}, "d:9007199254740992"}, {FN(Float), {" -2.5e3xyz"}, "d:-2500"},
        {FN(Float), {"+.5"}, "d:0.5"}, {FN(Float), {"--1"}, "d:0"},
        {FN(Float), {"1,5"}, "d:1"}, {FN(Float), {"1e400"}, "d:inf"}, {FN(Float), {"-123.4e400"}, "d:-inf"},
        {FN(Float), {"1e-400"}, "d:0"}, {FN(Float), {"Infinity"}, "d:inf"}, {FN(Float), {"nan"}, "d:nan"},
        {FN(Float), {"0.1000000000000000000000000000000000000000000000000000000000000000000001"}, "d:0.1"},
        {FN(Ptr), {5}, "p:5"}, {FN(Ptr), {int64_t{0x100000009LL}}, "p:9"}, {FN(Ptr), {"-2"}, "p:4294967294"},
        {FN(Ptr), {true}, "b:true"},
        {FN(String), {0.1}, "s:0.1"}, {FN(String), {1e20}, "s:1e+20"}, {FN(String), {1.0 / 3}, "s:0.333333333333333"},
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

TEST_F(Strings, ResultsStayInTheSlotsOwnBuffer) {
    push("abcdef");
    WChar* buffer = top().text.buffer;
    push(4);
    ASSERT_EQ(call(bi_LeftStr), "");
    push(2);
    ASSERT_EQ(call(bi_RightStr), "");
    EXPECT_EQ(top().text.buffer, buffer);
    EXPECT_EQ(text(top()), "s:cd");
    push(0);
    ASSERT_EQ(call(bi_LeftStr), "");
    EXPECT_EQ(top().text.buffer, nullptr);  // cut to nothing: the buffer is freed
    ASSERT_EQ(run(bi_Trim, {" \t\r\n\f\v "}), "");
    EXPECT_EQ(top().text.buffer, nullptr);
    ASSERT_EQ(run(bi_String, {12}), "");
    EXPECT_EQ(top().text.capacity, 32u);  // numbers are printed into 32 reserved units
}

TEST_F(Strings, InsertStrWritesThroughTheReference) {
    WStr* var = wstr_new();
    var->assign_utf8("abc");
    EXPECT_EQ(result(bi_InsertStr, {Ptr{&var}, 2, "XY"}), "<0 values>");
    EXPECT_EQ(utf8(*var), "aXYbc");
    wstr_delete(var);
    WStr* none = nullptr;  // a variable that holds no string yet gets one
    EXPECT_EQ(result(bi_InsertStr, {Ptr{&none}, 1, "new"}), "<0 values>");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(utf8(*none), "new");
    wstr_delete(none);
}

TEST_F(Strings, FormatTakesItsValuesFromTheVariadicCount) {
    Instruction method{};
    struct Case {
        std::vector<Arg> args;  // the format, then the values
        std::string expected;
        uint32_t capacity;  // the estimate: 10 per int, 40 per double, 20 per long, text lengths, format
    };
    const std::vector<Case> cases = {
        {{"Left=%i, Top=%i", 3, 4}, "s:Left=3, Top=4", 35},
        {{"%s|%d|%.2f|%I64d|%x", "\u00E9t\u00E9", true, 2.25, int64_t{-9000000000LL}, at(0xBEEF)},
         "s:\u00E9t\u00E9|1|2.25|-9000000000|beef", 102},
        {{"%d", Mtd{&method}, 5}, "s:5", 12},  // a method value takes no argument
        {{"%14d", 5}, "s:             5", 14},  // exactly the estimate
        {{"%15d", 5}, "s:", 0},                 // past it
        {{"%s", 3}, "s:", 0},                   // a value of the wrong kind
    };
    for (const Case& c : cases) {
        frame.variadic = static_cast<int16_t>(c.args.size() - 1);
        EXPECT_EQ(result(bi_Format, c.args), c.expected);
        EXPECT_EQ(frame.variadic, 0);
        EXPECT_EQ(top().text.capacity, c.capacity) << c.expected;
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
