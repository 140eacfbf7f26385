// The string and conversion built-ins, called the way callstd calls them: arguments pushed in
// order, the result read from the first argument's slot.
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "builtin_harness.h"
#include "image/instruction.h"

using namespace qel;

namespace {

struct Ptr {
    uint32_t bits;
};
struct Mtd {
    Instruction* header;
    uintptr_t target = 0;
};
using Arg = std::variant<int32_t, int64_t, double, bool, std::string, Ptr, Mtd>;

class Strings : public qeltest::Builtins {
protected:
    void push(const Arg& a) {
        std::visit([&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int32_t>) i(v);
            else if constexpr (std::is_same_v<T, int64_t>) l(v);
            else if constexpr (std::is_same_v<T, double>) d(v);
            else if constexpr (std::is_same_v<T, bool>) b(v);
            else if constexpr (std::is_same_v<T, std::string>) s8(v);
            else if constexpr (std::is_same_v<T, Ptr>) p(reinterpret_cast<void*>(uintptr_t{v.bits}));
            else push_method(st, v.header, reinterpret_cast<void*>(v.target));
        }, a);
    }

    // The units up to the length in UTF-8, a 0 unit as \0; a missing terminator is reported.
    static std::string units(const WStr& w) {
        static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
        if (w.buffer && w.buffer[w.length] != 0) return "<unterminated>";
        std::string out;
        for (uint32_t k = 0; k < w.length; ++k) {
            uint32_t c = w.buffer[k];
            if (c >= 0xD800 && c < 0xDC00 && k + 1 < w.length)
                c = 0x10000 + ((c - 0xD800) << 10) + (w.buffer[++k] - 0xDC00);
            if (c == 0) {
                out += "\\0";
                continue;
            }
            int n = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
            out += static_cast<char>(kLead[n] | (c >> (6 * n)));
            while (n-- > 0) out += static_cast<char>(0x80 | ((c >> (6 * n)) & 63));
        }
        return out;
    }

    // Calls fn on the pushed args: the one Value left, as kind and text ("s:ab", "i:3", "d:0.5",
    // "b:true", "l:-5", "p:16"), or the runtime error's message.
    std::string result(BuiltinFn fn, const std::vector<Arg>& args, int16_t variadic = 0) {
        reset();
        for (const Arg& a : args) push(a);
        frame.variadic = variadic;
        std::string error = call(fn);
        if (!error.empty()) return error;
        if (count() != 1) return "<" + std::to_string(count()) + " values>";
        const Value& v = top();
        char t[40];
        switch (v.tag) {
            case kTagInt: return "i:" + std::to_string(v.v.i);
            case kTagLong: return "l:" + std::to_string(v.v.l);
            case kTagBool: return v.v.i ? "b:true" : "b:false";
            case kTagPointer: return "p:" + std::to_string(v.v.u);
            case kTagDouble: return "d:" + std::string(t, std::to_chars(t, t + sizeof t, v.v.d).ptr);
            case kTagString: return "s:" + units(v.text);
            default: return "<tag " + std::to_string(v.tag) + ">";
        }
    }
};

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
        {FN(LeftStr), {"abcdef", -1}, "s:abcdef"}, {FN(LeftStr), {"abcdef", 10}, "s:abcdef"},
        {FN(RightStr), {"abcdef", 2}, "s:ef"}, {FN(RightStr), {"abcdef", 0}, "s:"},
        {FN(RightStr), {"abcdef", -1}, "s:abcdef"}, {FN(MidStr), {"abcdef", 2, -3}, "s:"},
        {FN(MidStr), {"abcdef", 0, 2}, "s:ab"}, {FN(MidStr), {"abcdef", 3, 2}, "s:cd"},
        {FN(MidStr), {"abcdef", 5, 10}, "s:ef"}, {FN(MidStr), {"abcdef", 6, 1}, "s:f"},
        {FN(MidStr), {"abcdef", 7, 1}, "s:"}, {FN(MidStr), {"abcdef", -1, 2}, "s:"},
        {FN(DeleteStr), {"abcdef", 2, 2}, "s:adef"}, {FN(DeleteStr), {"abcdef", 5, 10}, "s:abcd"},
        {FN(DeleteStr), {"abcdef", 5, 2}, "s:abcd"}, {FN(DeleteStr), {"abcdef", 1, 6}, "s:"},
        {FN(DeleteStr), {"abcdef", 6, 1}, "s:abcde"}, {FN(DeleteStr), {"abcdef", 0, 1}, "s:abcdef"},
        {FN(DeleteStr), {"abcdef", -1, 2}, "s:abcdef"}, {FN(DeleteStr), {"abcdef", 7, 1}, "s:abcdef"},
        {FN(DeleteStr), {"abcdef", 2, -1}, "s:abcdef"},
        {FN(PosStr), {"a:b", ":"}, "i:2"}, {FN(PosStr), {"", ""}, "i:1"}, {FN(PosStr), {"ab", "abc"}, "i:0"},
        {FN(PosStr), {"aab", "ab"}, "i:2"}, {FN(PosStr), {"xyzabc", "c"}, "i:6"}, {FN(PosStr), {"aBc", "b"}, "i:0"},
        // Rewrites: only the blanks of isspace and only A-Z, a-z count.
        {FN(Trim), {"  ab \t"}, "s:ab"}, {FN(Trim), {"\r\n\f\vab c\v"}, "s:ab c"},
        {FN(Trim), {"\u00A0x\u00A0"}, "s:\u00A0x\u00A0"},
        {FN(UpperCase), {"abcXYZ\u00E9-1"}, "s:ABCXYZ\u00E9-1"},
        {FN(LowerCase), {"ABCxyz\u00C9-1"}, "s:abcxyz\u00C9-1"},
        {FN(ReplaceText), {"aXbxc", "x", "--"}, "s:a--b--c"}, {FN(ReplaceStr), {"aXbxc", "x", "--"}, "s:aXb--c"},
        {FN(QuotedStr), {"a\"b"}, "s:\"a\"\"b\""}, {FN(QuotedStr), {""}, "s:\"\""},
        {FN(QuotedStr), {"\"x\"y"}, "s:\"\"\"x\"\"y\""},
        {FN(UrlEncode), {"a b/\u00E9"}, "s:a%20b%2F%C3%A9"},
        {FN(UrlEncode), {"AZaz09-._~\u20AC\U0001F600"}, "s:AZaz09-._%7E%E2%82%AC%F0%9F%98%80"},
        {FN(UrlEncode), {""}, "s:"},
        // Units, characters, booleans.
        {FN(Length), {"\u00E9\U0001F600"}, "i:3"},
        {FN(Chr), {0x263A}, "s:\u263A"}, {FN(Chr), {0x10041}, "s:A"}, {FN(Chr), {0}, "s:\\0"},
        {FN(Asc), {"\u263Ax"}, "i:9786"}, {FN(Asc), {""}, "i:0"},
        {FN(StrToBool), {"TRUE"}, "b:true"}, {FN(StrToBool), {"tree"}, "b:false"},
        {FN(StrToBool), {"true "}, "b:false"}, {FN(StrToBool), {7}, "i:7"},
        {FN(BoolToStr), {true}, "s:True"}, {FN(BoolToStr), {0}, "s:False"},
        {FN(UnsignedShort), {-1}, "i:65535"}, {FN(UnsignedShort), {0x12345}, "i:9029"},
        // Hexadecimal: padded to at most 16 digits; a value that is not an int stays.
        {FN(IntToHex), {255, 4}, "s:00FF"}, {FN(IntToHex), {255, 0}, "s:FF"}, {FN(IntToHex), {255, -3}, "s:FF"},
        {FN(IntToHex), {-1, 2}, "s:FFFFFFFF"}, {FN(IntToHex), {0x1A2B, 9}, "s:000001A2B"},
        {FN(IntToHex), {255, 12}, "s:0000000000FF"}, {FN(IntToHex), {1, 100}, "s:0000000000000001"},
        {FN(IntToHex), {"x", 2}, "s:x"}, {FN(IntToHex), {2.5, 2}, "d:2.5"},
        // StrToInt: hexadecimal only with a lower-case x as second unit; decimal saturates.
        {FN(StrToInt), {"0x1F"}, "i:31"}, {FN(StrToInt), {"0X1F"}, "i:0"}, {FN(StrToInt), {"0xffffffff"}, "i:-1"},
        {FN(StrToInt), {"0x100000005"}, "i:-1"}, {FN(StrToInt), {"\t\n 42abc"}, "i:42"},
        {FN(StrToInt), {""}, "i:0"}, {FN(StrToInt), {"-17"}, "i:-17"}, {FN(StrToInt), {"+8"}, "i:8"},
        {FN(StrToInt), {"2147483647"}, "i:2147483647"}, {FN(StrToInt), {"-2147483648"}, "i:-2147483648"},
        {FN(StrToInt), {"99999999999"}, "i:2147483647"}, {FN(StrToInt), {"-99999999999"}, "i:-2147483648"},
        {FN(StrToInt), {"00000000000000000000012"}, "i:12"},
        // Conversions of every kind.
        {FN(Int), {true}, "i:1"}, {FN(Int), {-9}, "i:-9"}, {FN(Int), {int64_t{0x100000007LL}}, "i:7"},
        {FN(Int), {-3.9}, "i:-3"}, {FN(Int), {1e12}, "i:2147483647"}, {FN(Int), {" -12x"}, "i:-12"},
        {FN(Int), {"3000000000"}, "i:2147483647"}, {FN(Int), {"0x10"}, "i:0"}, {FN(Int), {Ptr{0x1234}}, "i:4660"},
        {FN(Long), {-5}, "l:-5"}, {FN(Long), {Ptr{0x80000000u}}, "l:-2147483648"},
        {FN(Long), {-1e15 - 0.5}, "l:-1000000000000000"}, {FN(Long), {1e19}, "l:9223372036854775807"},
        {FN(Long), {"12345678901"}, "l:12345678901"},
        {FN(Long), {"-9223372036854775808"}, "l:-9223372036854775808"},
        {FN(Long), {"99999999999999999999"}, "l:9223372036854775807"},
        {FN(Long), {Mtd{&header, 0x10}}, "l:" + std::to_string(method_words)},
        {FN(Float), {int64_t{(1LL << 53) + 1}}, "d:9007199254740992"}, {FN(Float), {" -2.5e3xyz"}, "d:-2500"},
        {FN(Float), {"+.5"}, "d:0.5"}, {FN(Float), {"--1"}, "d:0"}, {FN(Float), {"1,5"}, "d:1"},
        {FN(Float), {"1e400"}, "d:inf"}, {FN(Float), {"-123.4e400"}, "d:-inf"}, {FN(Float), {"1e-400"}, "d:0"},
        {FN(Float), {"Infinity"}, "d:inf"}, {FN(Float), {"nan"}, "d:nan"},
        {FN(Float), {"0.1000000000000000000000000000000000000000000000000000000000000000000001"}, "d:0.1"},
        {FN(Ptr), {5}, "p:5"}, {FN(Ptr), {int64_t{0x100000009LL}}, "p:9"}, {FN(Ptr), {"-2"}, "p:4294967294"},
        {FN(Ptr), {true}, "b:true"}, {FN(Ptr), {1.5}, "d:1.5"},
        {FN(String), {0.1}, "s:0.1"}, {FN(String), {1e20}, "s:1e+20"}, {FN(String), {1.0 / 3}, "s:0.333333333333333"},
        {FN(String), {std::numeric_limits<int64_t>::min()}, "s:-9223372036854775808"}, {FN(String), {-7}, "s:-7"},
        {FN(String), {true}, "s:true"}, {FN(String), {Ptr{0x80000000u}}, "s:-2147483648"},
        {FN(String), {Mtd{&header}}, "s:Shape::Draw"}, {FN(String), {Mtd{&long_header}}, "s:" + long_name},
        {FN(String), {Mtd{nullptr}}, "s:"},
        // Arguments of the wrong kind.
        {FN(LeftStr), {1, 1}, conv + "'int' to 'string'"}, {FN(LeftStr), {"a", "1"}, conv + "'string' to 'int'"},
        {FN(PosStr), {"a", 1}, conv + "'int' to 'string'"},
        {FN(ReplaceStr), {"a", true, "b"}, conv + "'bool' to 'string'"},
        {FN(Asc), {65}, conv + "'int' to 'string'"}, {FN(StrToInt), {1.0}, conv + "'double' to 'string'"},
        {FN(Chr), {"A"}, conv + "'string' to 'int'"}, {FN(Length), {5}, conv + "'int' to 'string'"},
        {FN(UrlEncode), {5}, conv + "'int' to 'string'"}, {FN(Float), {Ptr{0}}, conv + "'pointer' to 'double'"},
        {FN(Float), {Mtd{&null_method}}, conv + "'method' to 'double'"},
        {FN(UnsignedShort), {int64_t{1}}, conv + "'long' to 'int'"},
        {FN(InsertStr), {Ptr{0}, 1, "x"}, "Null string reference"},
        {FN(InsertStr), {Ptr{0}, "1", "x"}, conv + "'string' to 'int'"},
    };
    for (size_t n = 0; n < rows.size(); ++n)
        EXPECT_EQ(result(rows[n].fn, rows[n].args), rows[n].expected) << rows[n].name << ", row " << n;
}

TEST_F(Strings, ResultsStayInTheSlotsOwnBuffer) {
    s8("abcdef");
    WChar* buffer = top().text.buffer;
    i(4);
    ASSERT_EQ(call(bi_LeftStr), "");
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
    EXPECT_EQ(top().text.buffer, nullptr);
    reset();
    i(12);
    ASSERT_EQ(call(bi_String), "");
    EXPECT_EQ(top().text.capacity, 32u);  // numbers are printed into 32 reserved units
}

TEST_F(Strings, InsertStrWritesThroughTheReference) {
    WStr* var = wstr_new();
    var->assign_utf8("abc");
    EXPECT_EQ(result(bi_InsertStr, {Ptr{reinterpret_cast<uintptr_t>(&var)}, 2, "XY"}), "<0 values>");
    EXPECT_EQ(utf8(*var), "aXYbc");
    wstr_delete(var);
    WStr* none = nullptr;  // a variable that holds no string yet gets one
    EXPECT_EQ(result(bi_InsertStr, {Ptr{reinterpret_cast<uintptr_t>(&none)}, 1, "new"}), "<0 values>");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(utf8(*none), "new");
    wstr_delete(none);
}

TEST_F(Strings, FormatTakesItsValuesFromTheVariadicCount) {
    Instruction method{};
    struct Case {
        std::vector<Arg> args;  // the format, then the values
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{"Left=%i, Top=%i", 3, 4}, "s:Left=3, Top=4"},
        {{"%s|%d|%.2f|%I64d|%x", "\u00E9t\u00E9", true, 2.25, int64_t{-9000000000LL}, Ptr{0xBEEF}},
         "s:\u00E9t\u00E9|1|2.25|-9000000000|beef"},
        {{"%d", Mtd{&method}, 5}, "s:5"},  // a method value takes no argument
        {{"100%%"}, "s:100%"},
        {{"%14d", 5}, "s:             5"},  // exactly the estimate: 10 per int and the format
        {{"%15d", 5}, "s:              5"},  // past it: the result gets the room it needs
        {{"[%20s|%-12d]", "ab", 7}, "s:[                  ab|7           ]"},
        {{"%s", 3}, "s:"},  // a value of the wrong kind
    };
    for (const Case& c : cases) {
        EXPECT_EQ(result(bi_Format, c.args, static_cast<int16_t>(c.args.size() - 1)), c.expected);
        EXPECT_EQ(frame.variadic, 0);
    }
    // The format must be a string; the values are consumed and the count reset either way.
    reset();
    i(7).i(1);
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

}  // namespace
