// The two pattern formatters: FormatDateTime letter by letter and FormatFloat section by section,
// with the settings they read, and the formatting built-ins as scripts call them.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "builtin_harness.h"
#include "stdlib/date_format.h"
#include "stdlib/datetime.h"

using namespace qel;

namespace {

std::u16string widen(const std::string& s) {
    std::u16string w;
    for (unsigned char c : s) w += static_cast<char16_t>(c);
    return w;
}

std::string narrow(const std::u16string& w) {
    std::string s;
    for (char16_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
}

// Settings made here, independent of the process's locale block.
class Names {
public:
    Names() {
        const char* shortMonths[] = {"", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const char* longMonths[] = {"",     "January", "February",  "March",   "April",    "May",     "June",
                                    "July", "August",  "September", "October", "November", "December"};
        const char* shortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        const char* longDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        for (int k = 0; k < 13; ++k) {
            set(shortMonthStore[k], shortMonths[k]);
            set(longMonthStore[k], longMonths[k]);
            shortMonthPtr[k] = &shortMonthStore[k];
            longMonthPtr[k] = &longMonthStore[k];
        }
        for (int k = 0; k < 7; ++k) {
            set(shortDayStore[k], shortDays[k]);
            set(longDayStore[k], longDays[k]);
            shortDayPtr[k] = &shortDayStore[k];
            longDayPtr[k] = &longDayStore[k];
        }
        set(am, "AM");
        set(pm, "PM");
    }
    ~Names() {
        for (auto& w : shortMonthStore) w.clear();
        for (auto& w : longMonthStore) w.clear();
        for (auto& w : shortDayStore) w.clear();
        for (auto& w : longDayStore) w.clear();
        am.clear();
        pm.clear();
    }
    static void set(WStr& w, const char* s) {
        w = WStr{};
        w.assignNarrow(s);
    }
    FormatSettings settings(char16_t date = u'/', char16_t time = u':', char16_t decimal = u'.',
                            char16_t thousand = u',') const {
        return FormatSettings{date, time, decimal, thousand, &am, &pm, shortMonthPtr, longMonthPtr, shortDayPtr,
                              longDayPtr};
    }

    WStr am{}, pm{};

private:
    WStr shortMonthStore[13]{}, longMonthStore[13]{}, shortDayStore[7]{}, longDayStore[7]{};
    const WStr* shortMonthPtr[13];
    const WStr* longMonthPtr[13];
    const WStr* shortDayPtr[7];
    const WStr* longDayPtr[7];
};

std::string fdt(const std::string& fmt, double d, const FormatSettings& fs) {
    std::u16string f = widen(fmt), out;
    format_date_time(out, f.data(), static_cast<uint32_t>(f.size()), d, fs);
    return narrow(out);
}

std::string ff(const std::string& fmt, double x, const FormatSettings& fs) {
    std::u16string f = widen(fmt), out;
    format_float(out, f.data(), static_cast<uint32_t>(f.size()), x, fs);
    return narrow(out);
}

// Tuesday 29 February 2000, 13:05:09.045
const double kAfternoon = encode_date(2000, 2, 29) + encode_time(13, 5, 9, 45);
// Friday 5 January 2024, 00:07:03.900
const double kMidnight = encode_date(2024, 1, 5) + encode_time(0, 7, 3, 900);

TEST(DateFormatDateTime, EveryLetterAndMarker) {
    Names names;
    FormatSettings fs = names.settings();
    struct { const char* fmt; double d; const char* expected; } cases[] = {
        {"yyyy-mm-dd hh:nn:ss.zzz", 36585.5, "2000-02-29 12:00:00.000"},
        {"yyyy-mm-dd hh:nn:ss.zzz", kAfternoon, "2000-02-29 13:05:09.045"},
        // days
        {"d", encode_date(2024, 1, 5), "5"},
        {"d", encode_date(2024, 1, 25), "25"},
        {"dd/mm/yyyy", kMidnight, "05/01/2024"},
        {"D/M/YY", kMidnight, "5/1/24"},
        {"ddd, dddd", kAfternoon, "Tue, Tuesday"},
        {"[ddddd]", kAfternoon, "[]"},
        {"Dd", kAfternoon, "2929"},
        // months and minutes
        {"m mm mmm mmmm mmmmm", kMidnight, "1 01 Jan January January"},
        {"h:m", kAfternoon, "13:5"},
        {"hh mm mm", kAfternoon, "13 05 02"},  // minutes once, then the month
        {"hh dd mm", kAfternoon, "13 29 02"},  // the day came between
        {"hh mmm mm", kAfternoon, "13 Feb 05"},  // a month name is no number
        {"n nn N", kMidnight, "7 07 7"},
        {"mm-dd hh:nn mm", kAfternoon, "02-29 13:05 02"},
        // hours
        {"h hh H", kMidnight, "0 00 0"},
        {"hhh", kAfternoon, "13"},
        {"h:mm AMPM", kAfternoon, "1:05 PM"},
        {"hh:nn AMPM", kAfternoon, "01:05 PM"},
        {"h:nn AMPM", kMidnight, "12:07 AM"},
        {"h AMPM", encode_time(12, 0, 0, 0), "12 PM"},
        {"h AMPM", encode_time(23, 59, 0, 0), "11 PM"},
        {"h AM/PM", kAfternoon, "1 PM"},
        {"h AM/PM", kMidnight, "12 AM"},
        {"h A/P", kAfternoon, "1 P"},
        {"hh:nn:ss A/P", kMidnight, "12:07:03 A"},
        {"AMPM h", kAfternoon, "PM 1"},  // a marker printed earlier
        {"h ampm", kAfternoon, "13 a5p2"},  // markers are upper case only; a lone a is text
        // seconds, milliseconds, years
        {"s ss sss S", kAfternoon, "9 09 009 9"},
        {"z zzz Z", kAfternoon, "045 045 045"},
        {"y yy yyy yyyy Y", kAfternoon, "00 00 2000 2000 00"},
        {"yy yyyy", encode_date(1999, 12, 31), "99 1999"},
        {"yyyy", encode_date(33, 3, 3), "0033"},
        // day names by a
        {"aa|aaa|aaaa|aaaaa", kAfternoon, "|Tue|Tuesday|"},
        {"AAA", kMidnight, "Fri"},
        {"a A", kAfternoon, "a A"},
        // quoted and plain text
        {"'yyyy' \"dd\"", kAfternoon, "yyyy dd"},
        {"'it\"s' d", kAfternoon, "it9 d"},  // either quote ends the text: s is seconds, ' opens
        {"\"open", kAfternoon, "open"},
        {"[x] #!", kAfternoon, "[x] #!"},
        {"\t{|}~", kAfternoon, "\t{|}~"},
        {"", kAfternoon, ""},
        // before year 1: all date parts are 0 and there is no day name
        {"yyyy-mm-dd ddd|", -693594.0, "0000-00-00 |"},
        // the time rounds to the millisecond; midnight belongs to the next day
        {"dd hh:nn:ss.zzz", encode_date(2024, 1, 5) + (86400000 - 0.3) / kMsPerDay, "06 00:00:00.000"},
        {"dd hh:nn:ss.zzz", -1.25, "28 18:00:00.000"},
    };
    for (auto& c : cases) EXPECT_EQ(fdt(c.fmt, c.d, fs), c.expected) << c.fmt;
}

TEST(DateFormatDateTime, SeparatorsAndMarkerTextsComeFromTheSettings) {
    Names names;
    Names::set(names.am, "vorm.");
    Names::set(names.pm, "nachm.");
    struct { char16_t date, time; const char* fmt; double d; const char* expected; } cases[] = {
        {u'-', u'.', "d/m/yyyy h:nn:ss", kMidnight, "5-1-2024 0.07.03"},
        {u'.', u'h', "dd/mm hh:nn", kAfternoon, "29.02 13h05"},
        {0, 0, "d/m h:nn", kMidnight, "51 007"},  // no separator: nothing printed
        {u'/', u':', "h:nn AMPM", kMidnight, "12:07 vorm."},
        {u'/', u':', "h:nn AMPM", kAfternoon, "1:05 nachm."},
        {u'/', u':', "h:nn AM/PM", kAfternoon, "1:05 PM"},
    };
    for (auto& c : cases) EXPECT_EQ(fdt(c.fmt, c.d, names.settings(c.date, c.time)), c.expected) << c.fmt;
}

TEST(DateFormatDateTime, MissingNamesPrintNothing) {
    FormatSettings bare{u'/', u':', u'.', u',', nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(fdt("ddd|mmmm|AMPM|h:nn", kAfternoon, bare), "|||1:05");
}

TEST(DateFormatDateTime, LongPatternsAreNotCut) {
    Names names;
    std::string fmt, expected;
    for (int k = 0; k < 200; ++k) {
        fmt += "dddd yyyy ";
        expected += "Tuesday 2000 ";
    }
    EXPECT_EQ(fdt(fmt, kAfternoon, names.settings()), expected);
}

TEST(DateFormatFloat, SectionsGroupingAndRounding) {
    Names names;
    FormatSettings fs = names.settings();
    struct { const char* fmt; double x; const char* expected; } cases[] = {
        {"0.00000", 0.123456, "0.12346"},
        {"0.00", 2.5, "2.50"},
        {"0", 2.7, "3"},
        {"000", 7, "007"},
        {"00.00", -2.5, "-2.50"},
        {"000.00", -2.5, "-02.50"},
        {"0.0", -2.26, "-2.3"},
        {"0.00", 9.999, "10.00"},
        {"0.00", 1.005, "1.00"},  // 1.005 is a little less in binary
        {"0.", 12.75, "13"},
        // grouping
        {"0,000.00", 1234567.891, "1,234,567.89"},
        {"0,000.00", 12.5, "0012.50"},
        {"0,0", 999, "999"},
        {"0,0", 1000, "1,000"},
        {"0,0", 1234567, "1,234,567"},
        {"0,0", -1234567, "-1,234,567"},
        {"0,0.0", 999.96, "1,000.0"},
        {"00000000,0.0", 12345.5, "000012,345.5"},
        {"000000,0", -1234, "-001,234"},
        {",", 1234.56, "1,235"},
        // text around and between sections, formatted again per section
        {"0.00 'EUR'", 2.5, "2.50 EUR"},
        {"Total: 0.00 (0.0)", 2.5, "Total: 2.50 (2.5)"},
        {"\"a'0\"", 3, "a3"},  // either quote ends the text
        {"#,##0.00", 1234.56, "#1,235##1234.56"},  // # is plain text
        {"0.00E+00", 1234.5678, "1234.57E+1235"},  // so is E
        {"x", 1, "x"},
        {"", 1, ""},
    };
    for (auto& c : cases) EXPECT_EQ(ff(c.fmt, c.x, fs), c.expected) << c.fmt << " " << c.x;
}

TEST(DateFormatFloat, NumbersPrintfCannotPad) {
    Names names;
    FormatSettings fs = names.settings();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ff("0.00", std::numeric_limits<double>::quiet_NaN(), fs), "NAN");
    EXPECT_EQ(ff("0,000.00", inf, fs), "INF");
    EXPECT_EQ(ff("[0.00]", -inf, fs), "[-INF]");
    std::string big = ff("0", 1e300, fs);
    EXPECT_EQ(big.size(), 301u);
    EXPECT_EQ(big.substr(0, 17), "10000000000000000");
    std::string grouped = ff("0,0", 1e40, fs);
    EXPECT_EQ(grouped.size(), 41u + 13u);
    EXPECT_EQ(grouped.substr(0, 8), "10,000,0");
    std::string fmt = "0." + std::string(400, '0');
    std::string small = ff(fmt, 0.5, fs);
    EXPECT_EQ(small, "0.5" + std::string(399, '0'));
}

TEST(DateFormatFloat, SeparatorsComeFromTheSettings) {
    Names names;
    struct { char16_t decimal, thousand; const char* fmt; double x; const char* expected; } cases[] = {
        {u',', u'.', "0,000.00", 1234567.891, "1.234.567,89"},
        {u',', u'.', "0.00", 2.5, "2,50"},
        {u',', u'.', "0,0.00", 12.5, "12,50"},  // grouped but too short for a group: still the decimal comma
        {u',', u'.', "0", 2.5, "2"},
        {u',', u' ', "0,0.0", -98765.43, "-98 765,4"},
        {u'.', 0, "0,0", 1234567, "1234567"},  // no thousand separator: no groups
        {0, u',', "0,0.00", 1234.5, "1,234.50"},  // no decimal separator: the point stays
        {0, u',', "0.00", 2.5, "2.50"},
    };
    for (auto& c : cases)
        EXPECT_EQ(ff(c.fmt, c.x, names.settings(u'/', u':', c.decimal, c.thousand)), c.expected) << c.fmt;
}

// ---- the built-ins, with the process's locale block (the en-US table of this host) ----

class DateFormatBuiltins : public qeltest::Builtins {};

TEST_F(DateFormatBuiltins, LocaleFormatsReplaceTheArgument) {
    struct { qel::BuiltinFn fn; double d; const char* expected; } cases[] = {
        {bi_DateToStr, kAfternoon, "2/29/2000"},
        {bi_TimeToStr, kAfternoon, "1:05:09 PM"},
        {bi_TimeToStr, kMidnight, "12:07:03 AM"},
        {bi_DateTimeToStr, kAfternoon, "2/29/2000 1:05:09 PM"},
    };
    for (auto& c : cases) {
        reset();
        d(c.d);
        ASSERT_EQ(call(c.fn), "");
        EXPECT_EQ(count(), 1);
        EXPECT_EQ(top_string(), c.expected);
    }
    reset();
    i(0);  // an int is a whole day
    ASSERT_EQ(call(bi_DateToStr), "");
    EXPECT_EQ(top_string(), "12/30/1899");
}

TEST_F(DateFormatBuiltins, PatternsReplaceTheirFormatSlot) {
    s(u"dddd d mmmm yyyy, hh:nn"); d(kAfternoon);
    ASSERT_EQ(call(bi_FormatDateTime), "");
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(top_string(), "Tuesday 29 February 2000, 13:05");
    reset();
    s(u"0,000.00"); d(1234567.891);
    ASSERT_EQ(call(bi_FormatFloat), "");
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(top_string(), "1,234,567.89");
    reset();
    s(u"0.0"); i(3);
    ASSERT_EQ(call(bi_FormatFloat), "");
    EXPECT_EQ(top_string(), "3.0");
    reset();
    // the result may be much longer than the pattern, or shorter
    s(u"mmmm"); d(kAfternoon);
    ASSERT_EQ(call(bi_FormatDateTime), "");
    EXPECT_EQ(top_string(), "February");
    reset();
    s(u"'long text' 0"); d(1);
    ASSERT_EQ(call(bi_FormatFloat), "");
    EXPECT_EQ(top_string(), "long text 1");
    reset();
    i(1); d(1);
    EXPECT_EQ(call(bi_FormatFloat), "Cannot convert 'int' to 'string'");
    reset();
    s(u"0"); s(u"1");
    EXPECT_EQ(call(bi_FormatFloat), "Cannot convert 'string' to 'double'");
}

}  // namespace
