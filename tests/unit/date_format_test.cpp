// The two pattern formatters: FormatDateTime letter by letter and FormatFloat section by section,
// with the settings they read, and the formatting built-ins as scripts call them.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>

#include "builtin_harness.h"
#include "stdlib/date_format.h"
#include "types/datetime.h"

using namespace qel;

namespace {

// Settings made here, independent of the process's locale block ("-" is an unused entry).
class Names {
public:
    Names() {
        std::istringstream words(
            "- Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec - January February March April May June July August "
            "September October November December Sun Mon Tue Wed Thu Fri Sat Sunday Monday Tuesday Wednesday "
            "Thursday Friday Saturday AM PM");
        std::string word;
        for (int k = 0; k < kCount && words >> word; ++k) {
            store_[k].assign_narrow(word == "-" ? "" : word.c_str());
            ptr_[k] = &store_[k];
        }
    }
    ~Names() {
        for (auto& w : store_) w.clear();
    }
    void set_markers(const char* am, const char* pm) {
        store_[40].assign_narrow(am);
        store_[41].assign_narrow(pm);
    }
    FormatSettings settings(char16_t date = u'/', char16_t time = u':', char16_t decimal = u'.',
                            char16_t thousand = u',') const {
        return FormatSettings{date, time, decimal, thousand, ptr_[40], ptr_[41], ptr_, ptr_ + 13, ptr_ + 26, ptr_ + 33};
    }

private:
    static constexpr int kCount = 42;
    WStr store_[kCount]{};
    const WStr* ptr_[kCount];
};

// Runs one of the formatters (ASCII patterns and results).
template <auto Formatter>
std::string run(const std::string& pattern, double value, const FormatSettings& fs) {
    std::u16string f(pattern.begin(), pattern.end()), out;
    Formatter(out, f.data(), static_cast<uint32_t>(f.size()), value, fs);
    std::string s;
    for (char16_t c : out) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
}
constexpr auto fdt = run<format_date_time>;
constexpr auto ff = run<format_float>;

// Tuesday 29 February 2000, 13:05:09.045
const double kAfternoon = encode_date(2000, 2, 29) + encode_time(13, 5, 9, 45);
// Friday 5 January 2024, 00:07:03.900
const double kMidnight = encode_date(2024, 1, 5) + encode_time(0, 7, 3, 900);

TEST(DateFormatDateTime, EveryLetterAndMarker) {
    Names names;
    FormatSettings fs = names.settings();
    struct { const char* fmt; double d; const char* expected; } cases[] = {
        {"yyyy-mm-dd hh:nn:ss.zzz", kAfternoon, "2000-02-29 13:05:09.045"},
        {"d|dd|ddd|dddd|ddddd|Dd", kAfternoon, "29|29|Tue|Tuesday||2929"},
        {"dd/mm/yyyy D/M/YY", kMidnight, "05/01/2024 5/1/24"},
        {"m mm mmm mmmm mmmmm", kMidnight, "1 01 Jan January January"},
        // m and mm after an hour are minutes, once; a day or a month name in between ends that
        {"h:m", kAfternoon, "13:5"},            {"hh mm mm", kAfternoon, "13 05 02"},
        {"hh dd mm", kAfternoon, "13 29 02"},   {"hh mmm mm", kAfternoon, "13 Feb 05"},
        {"n nn N", kMidnight, "7 07 7"},        {"h hh H hhh", kMidnight, "0 00 0 00"},
        // a marker anywhere makes a 12-hour clock; markers are upper case only, a lone a is text
        {"hh:nn AMPM", kAfternoon, "01:05 PM"}, {"h:nn AMPM", kMidnight, "12:07 AM"},
        {"h AM/PM", kAfternoon, "1 PM"},        {"h AMPM", encode_time(12, 0, 0, 0), "12 PM"},
        {"AMPM h", kAfternoon, "PM 1"},         {"hh:nn:ss A/P", kMidnight, "12:07:03 A"},
        {"h ampm", kAfternoon, "13 a5p2"},      {"y yy yyy yyyy Y", kAfternoon, "00 00 2000 2000 00"},
        {"s ss sss S|z zzz Z", kAfternoon, "9 09 009 9|045 045 045"},
        {"yy yyyy", encode_date(33, 3, 3), "33 0033"},
        {"aa|aaa|aaaa|aaaaa|AAA|a A", kAfternoon, "|Tue|Tuesday||Tue|a A"},
        // quoted and plain text: either quote ends the text
        {"'yyyy' \"dd\"", kAfternoon, "yyyy dd"}, {"'it\"s' d", kAfternoon, "it9 d"},
        {"\"open", kAfternoon, "open"},         {"[x] #!\t{|}~", kAfternoon, "[x] #!\t{|}~"},
        {"", kAfternoon, ""},
        // before year 1: all date parts are 0 and there is no day name
        {"yyyy-mm-dd ddd|", -693594.0, "0000-00-00 |"},
        // the time rounds to the millisecond; midnight belongs to the next day
        {"dd hh:nn:ss.zzz", encode_date(2024, 1, 5) + (86400000 - 0.3) / kMsPerDay, "06 00:00:00.000"},
        {"dd hh:nn:ss.zzz", -1.25, "28 18:00:00.000"},
    };
    for (auto& c : cases) EXPECT_EQ(fdt(c.fmt, c.d, fs), c.expected) << c.fmt;
}

TEST(DateFormatDateTime, SettingsGiveSeparatorsNamesAndMarkers) {
    Names names;
    names.set_markers("vorm.", "nachm.");
    struct { char16_t date, time; const char* fmt; double d; const char* expected; } cases[] = {
        {u'-', u'.', "d/m/yyyy h:nn:ss", kMidnight, "5-1-2024 0.07.03"},
        {0, 0, "d/m h:nn", kMidnight, "51 007"},  // no separator: nothing printed
        {u'/', u':', "h:nn AMPM", kMidnight, "12:07 vorm."},
        {u'/', u':', "h:nn AMPM", kAfternoon, "1:05 nachm."},
        {u'/', u':', "h:nn AM/PM", kAfternoon, "1:05 PM"},
    };
    for (auto& c : cases) EXPECT_EQ(fdt(c.fmt, c.d, names.settings(c.date, c.time)), c.expected) << c.fmt;
    FormatSettings bare{u'/', u':', u'.', u',', nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(fdt("ddd|mmmm|AMPM|h:nn", kAfternoon, bare), "|||1:05");
    std::string fmt, expected;  // long patterns are not cut
    for (int k = 0; k < 200; ++k) {
        fmt += "dddd yyyy ";
        expected += "Tuesday 2000 ";
    }
    EXPECT_EQ(fdt(fmt, kAfternoon, names.settings()), expected);
}

TEST(DateFormatFloat, SectionsGroupingRoundingAndSeparators) {
    Names names;
    struct { const char* fmt; double x; const char* expected; char16_t decimal = u'.', thousand = u','; } cases[] = {
        {"0.00000", 0.123456, "0.12346"},      {"000.00", -2.5, "-02.50"},
        {"0.00", 9.999, "10.00"},               {"0.00", 1.005, "1.00"},  // 1.005 is a little less in binary
        {"0.", 12.75, "13"},                    {"0,000.00", 1234567.891, "1,234,567.89"},
        {"0,0", 999, "999"},                    {"0,000.00", 12.5, "0012.50"},  // leading zeros are not grouped
        {"0,0", -1234567, "-1,234,567"},        {"0,0.0", 999.96, "1,000.0"},
        {"00000000,0.0", 12345.5, "000012,345.5"}, {",", 1234.56, "1,235"},
        // text around and between sections, formatted again per section; # and E are text too
        {"Total: 0.00 (0.0) 'EUR'", 2.5, "Total: 2.50 (2.5) EUR"},
        {"\"a'0\"", 3, "a3"},  // either quote ends the text
        {"#,##0.00", 1234.56, "#1,235##1234.56"},
        {"0.00E+00", 1234.5678, "1234.57E+1235"}, {"", 1, ""},
        // separators from the settings
        {"0,000.00", 1234567.891, "1.234.567,89", u',', u'.'},
        {"0,0.00", 12.5, "12,50", u',', u'.'},  // grouped but too short for a group: still the comma
        {"0,0.0", -98765.43, "-98 765,4", u',', u' '},
        {"0,0", 1234567, "1234567", u'.', 0},         // no thousand separator: no groups
        {"0,0.00", 1234.5, "1,234.50", 0, u','},      // no decimal separator: the point stays
        // numbers printf cannot pad
        {"0.00", std::numeric_limits<double>::quiet_NaN(), "NAN"},
        {"0,000.00", std::numeric_limits<double>::infinity(), "INF"},
        {"[0.00]", -std::numeric_limits<double>::infinity(), "[-INF]"},
    };
    for (auto& c : cases)
        EXPECT_EQ(ff(c.fmt, c.x, names.settings(u'/', u':', c.decimal, c.thousand)), c.expected) << c.fmt << " " << c.x;
    // Results longer than any buffer of a fixed size.
    FormatSettings fs = names.settings();
    std::string big = ff("0", 1e300, fs);
    EXPECT_EQ(big.size(), 301u);
    EXPECT_EQ(big.substr(0, 17), "10000000000000000");
    std::string grouped = ff("0,0", 1e40, fs);
    EXPECT_EQ(grouped.size(), 41u + 13u);
    EXPECT_EQ(grouped.substr(0, 8), "10,000,0");
    EXPECT_EQ(ff("0." + std::string(400, '0'), 0.5, fs), "0.5" + std::string(399, '0'));
}

// ---- the built-ins, with the process's locale block (the en-US table of this host) ----

class DateFormatBuiltins : public qeltest::Builtins {};

TEST_F(DateFormatBuiltins, ResultsReplaceTheArguments) {
    struct { BuiltinFn fn; std::vector<qeltest::Arg> args; const char* expected; } cases[] = {
        {bi_DateToStr, {kAfternoon}, "s:2/29/2000"},
        {bi_DateToStr, {0}, "s:12/30/1899"},  // an int is a whole day
        {bi_TimeToStr, {kAfternoon}, "s:1:05:09 PM"},
        {bi_TimeToStr, {kMidnight}, "s:12:07:03 AM"},
        {bi_DateTimeToStr, {kAfternoon}, "s:2/29/2000 1:05:09 PM"},
        {bi_FormatDateTime, {u"dddd d mmmm yyyy, hh:nn", kAfternoon}, "s:Tuesday 29 February 2000, 13:05"},
        {bi_FormatFloat, {u"0,000.00", 1234567.891}, "s:1,234,567.89"},
        {bi_FormatFloat, {u"'long text' 0.0", 3}, "s:long text 3.0"},
        {bi_FormatFloat, {1, 1.0}, "Cannot convert 'int' to 'string'"},
        {bi_FormatFloat, {u"0", u"1"}, "Cannot convert 'string' to 'double'"},
        {bi_FormatDateTime, {5, 1.0}, "Cannot convert 'int' to 'string'"},
    };
    for (auto& c : cases) EXPECT_EQ(result(c.fn, c.args), c.expected);
}

}  // namespace
