// Dates: the calendar against an independent table, time stamps, arithmetic, the ISO 8601 reader,
// the two pattern formatters with the settings they read, and the date built-ins.
#include <charconv>
#include <climits>
#include <limits>
#include <sstream>

#include "builtin_harness.h"
#include "stdlib/date_format.h"
#include "types/datetime.h"

using namespace qel;

namespace {

// Generated with Python's datetime and calendar modules (not with this runtime):
//   serial = date.toordinal() - date(1899, 12, 30).toordinal(); dow = isoweekday() % 7 (0 Sunday);
//   mdays = calendar.monthrange(y, m)[1]; the IncMonth result adds n months with divmod over
//   y * 12 + m - 1 + n and cuts the day to the new month's length; 0 0 0 outside years 1 .. 9999.
// Rows: month ends around the 4/100/400 rules and the ends of the range, day 0 and a few others.
struct CalendarRow { int y, m, d, serial, dow, mdays, n, iy, im, id; };

const CalendarRow kCalendar[] = {
    {1, 1, 1, -693593, 1, 31, 1, 1, 2, 1}, {1, 1, 31, -693563, 3, 31, -1, 0, 0, 0}, {1, 2, 28, -693535, 3, 28, -13, 0, 0, 0},
    {1, 3, 1, -693534, 4, 31, 25, 3, 4, 1}, {1, 12, 31, -693229, 1, 31, -30, 0, 0, 0}, {4, 2, 29, -692439, 0, 29, -13, 3, 1, 29},
    {4, 12, 31, -692133, 5, 31, -30, 2, 6, 30}, {100, 2, 28, -657376, 0, 28, 1199, 200, 1, 28}, {100, 3, 1, -657375, 1, 31, -2400, 0, 0, 0},
    {400, 2, 29, -547803, 2, 29, -2400, 200, 2, 28}, {400, 12, 31, -547497, 0, 31, -1, 400, 11, 30}, {401, 1, 1, -547496, 1, 31, 12, 402, 1, 1},
    {530, 6, 18, -500212, 0, 30, 11, 531, 5, 18}, {1435, 5, 11, -169706, 1, 31, 12, 1436, 5, 11}, {1600, 3, 31, -109481, 5, 31, 1199, 1700, 2, 28},
    {1700, 2, 28, -72988, 0, 28, 25, 1702, 3, 28}, {1700, 3, 1, -72987, 1, 31, 0, 1700, 3, 1}, {1752, 2, 29, -53995, 2, 29, 1, 1752, 3, 29},
    {1800, 12, 31, -36158, 3, 31, 1, 1801, 1, 31}, {1899, 12, 29, -1, 5, 31, 7, 1900, 7, 29}, {1899, 12, 30, 0, 6, 31, -30, 1897, 6, 30},
    {1899, 12, 31, 1, 0, 31, 1199, 1999, 11, 30}, {1900, 1, 1, 2, 1, 31, -2400, 1700, 1, 1}, {1900, 2, 28, 60, 3, 28, 1, 1900, 3, 28},
    {1900, 3, 1, 61, 4, 31, -1, 1900, 2, 1}, {1904, 12, 31, 1827, 6, 31, 25, 1907, 1, 31}, {1970, 1, 1, 25569, 4, 31, 25, 1972, 2, 1},
    {2000, 1, 31, 36556, 1, 31, -13, 1998, 12, 31}, {2000, 2, 29, 36585, 2, 29, 0, 2000, 2, 29}, {2000, 3, 1, 36586, 3, 31, 7, 2000, 10, 1},
    {2000, 12, 31, 36891, 0, 31, -2400, 1800, 12, 31}, {2001, 3, 31, 36981, 6, 31, -13, 2000, 2, 29}, {2023, 3, 31, 45016, 5, 31, 11, 2024, 2, 29},
    {2024, 2, 29, 45351, 4, 29, 25, 2026, 3, 29}, {2100, 2, 28, 73109, 0, 28, 12, 2101, 2, 28}, {2100, 3, 1, 73110, 1, 31, -13, 2099, 2, 1},
    {2400, 2, 29, 182682, 2, 29, 1199, 2500, 1, 29}, {2400, 12, 31, 182988, 0, 31, 1, 2401, 1, 31}, {3651, 12, 27, 639902, 3, 31, 1199, 3751, 11, 27},
    {5012, 7, 7, 1136824, 2, 31, -1, 5012, 6, 7}, {7915, 12, 9, 2197277, 4, 31, -13, 7914, 11, 9}, {9999, 2, 1, 2958132, 1, 28, 12, 0, 0, 0},
    {9999, 12, 1, 2958435, 3, 31, 7, 0, 0, 0}, {9999, 12, 31, 2958465, 5, 31, -30, 9997, 6, 30},
};

TEST(DateCalendar, MatchesIndependentTable) {
    for (const CalendarRow& r : kCalendar) {
        SCOPED_TRACE(testing::Message() << r.y << "-" << r.m << "-" << r.d);
        EXPECT_EQ(encode_date(r.y, r.m, r.d), r.serial);
        EXPECT_EQ(days_in_month(r.y, r.m), r.mdays);
        EXPECT_EQ(to_timestamp(r.serial).date, r.serial + kDateDelta);
        for (double t : {0.0, 0.25, 0.9999}) {  // any time of the day decodes to the same date
            DateParts p = decode_date(r.serial + t);
            EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, r.y * 10000 + r.m * 100 + r.d);
            EXPECT_EQ(p.day_of_week, r.dow + 1);
            EXPECT_EQ(day_of_week(r.serial + t), r.dow);
        }
        double expected = r.iy ? encode_date(r.iy, r.im, r.id) : 0.0;
        EXPECT_DOUBLE_EQ(inc_month(r.serial + 0.25, r.n), expected + 0.25) << "n = " << r.n;
    }
}

TEST(DateCalendar, InvalidPartsEncodeAsZero) {
    struct { int y, m, d; } bad[] = {{1900, 2, 29}, {2100, 2, 29}, {2001, 2, 29}, {0, 1, 1}, {10000, 1, 1},
                                    {2001, 13, 1}, {2001, 0, 1}, {2001, 4, 31}, {2001, 1, 0}, {2001, 1, 32}};
    for (auto& b : bad) EXPECT_EQ(encode_date(b.y, b.m, b.d), 0.0) << b.y << "-" << b.m << "-" << b.d;
    EXPECT_EQ(days_in_month(2001, 0) + days_in_month(2001, 13), 0);
    struct { int h, m, s, ms; double expected; } times[] = {
        {12, 0, 0, 0, 0.5}, {0, 0, 0, 1, 1 / kMsPerDay}, {23, 59, 59, 999, 86399999 / kMsPerDay}, {24, 0, 0, 0, 0},
        {0, 60, 0, 0, 0}, {0, 0, 60, 0, 0}, {0, 0, 0, 1000, 0}, {-1, 0, 0, 0, 0}, {0, 0, 0, -1, 0}};
    for (auto& t : times) EXPECT_DOUBLE_EQ(encode_time(t.h, t.m, t.s, t.ms), t.expected) << t.h << ":" << t.m;
}

TEST(DateTimeStamp, NegativeValuesAndValuesOutsideTheStamp) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double d : {nan, inf, -inf, 1e12, -1e12, -693594.0, -693594.5, -700000.0}) {
        DateParts p = decode_date(d);
        EXPECT_EQ(p.year | p.month | p.day | p.day_of_week, 0) << d;
        int w = day_of_week(d);
        EXPECT_TRUE(w >= 0 && w <= 6) << d;
    }
    // The week goes on before year 1: day -693594 is the day before a Monday. -1.25 is a quarter
    // past day -2: Thursday 28 December 1899 at 18:00.
    EXPECT_EQ(day_of_week(-693594) * 10 + day_of_week(-693600), 1);
    DateParts p = decode_date(-1.25);
    TimeParts t = decode_time(-1.25);
    EXPECT_EQ(int64_t{p.year * 10000 + p.month * 100 + p.day} * 10000 + t.hour * 100 + t.minute, 189912281800LL);
    EXPECT_EQ(day_of_week(-1.25), 4);
    DateParts far = decode_date(2146790000.0);  // the largest day that still decodes
    EXPECT_TRUE(far.year > 5000000 && far.month >= 1 && far.month <= 12);
}

TEST(DateIso8601, ReadsDatesTimesAndOffsets) {
    const double jan31 = encode_date(2024, 1, 31);
    struct { const char* text; double expected; } good[] = {
        {"2024-01-31", jan31}, {"2024-01-31T08:15", jan31 + encode_time(8, 15, 0, 0)},
        {"2024-01-31 08:15:07", jan31 + encode_time(8, 15, 7, 0)},
        {"2024-01-31T08:15:00.25Z", jan31 + encode_time(8, 15, 0, 250)},
        {"2024-01-31T08:15:00.250+02:00", jan31 + encode_time(8, 15, 0, 250)},
        {"2024-01-31T08:15:00-0530", jan31 + encode_time(8, 15, 0, 0)}, {"1899-12-28T18:00", -1.25},
        {"0001-01-01", -693593.0},
    };
    for (auto& g : good) {
        double d = 12345;
        EXPECT_TRUE(parse_iso8601(g.text, &d)) << g.text;
        EXPECT_DOUBLE_EQ(d, g.expected) << g.text;
    }
    const char* bad[] = {"", "2024", "2024-1-31", "2024-02-30", "1900-02-29", "0000-01-01", "2024-13-01",
                         "2024-01-31T24:00", "2024-01-31T08:60", "2024-01-31T08:15:61", "2024-01-31T08:15:00.",
                         "2024-01-31T08", "2024-01-31T08:15+25:00", "2024-01-31T08:15+01:60", "2024-01-31X",
                         "2024-01-31T08:15:00Zjunk"};
    for (const char* b : bad) {
        double untouched = 42;
        EXPECT_TRUE(!parse_iso8601(b, &untouched) && untouched == 42) << b;
    }
}

class DateBuiltins : public qeltest::Builtins {};

TEST_F(DateBuiltins, ResultsReplaceTheArguments) {
    const double v = encode_date(2023, 7, 4) + encode_time(21, 5, 9, 0);  // a Tuesday
    const double t = encode_time(7, 30, 0, 0);
    const auto d = [](double x) { char b[40]; return "d:" + std::string(b, std::to_chars(b, b + sizeof b, x).ptr); };
    const std::string conv = "Cannot convert ";
    struct Row { BuiltinFn fn; const char* name; std::vector<qeltest::Arg> args; std::string expected; } rows[] = {
        {FN(EncodeDate), {1900, 2, 29}, "d:0"}, {FN(EncodeTime), {18, 30, 15, 500}, d(encode_time(18, 30, 15, 500))},
        {FN(YearOf), {v}, "i:2023"}, {FN(MonthOf), {v}, "i:7"}, {FN(DayOf), {v}, "i:4"}, {FN(HourOf), {v}, "i:21"},
        {FN(MinuteOf), {v}, "i:5"}, {FN(SecondOf), {v}, "i:9"}, {FN(DayOfWeek), {v}, "i:2"},
        {FN(DateOf), {-3.5}, "d:-4"},
        {FN(IncMonth), {encode_date(2001, 1, 31) + t, 1}, d(encode_date(2001, 2, 28) + t)},
        {FN(IncYear), {encode_date(2000, 2, 29) + t, -3}, d(encode_date(1997, 2, 28) + t)},
        // Twelve times this count is 2^32 + 8 months: out of the years 1 .. 9999.
        {FN(IncYear), {encode_date(2000, 2, 29) + t, 357913942}, d(t)},
        {FN(IncDay), {10.5, -11}, "d:-0.5"}, {FN(IncMinute), {-1.25, 60}, d(-1.25 + 60 / 1440.0)},
        {FN(DaysBetween), {36586.0, 36587.5}, "i:1"},
        {FN(DaysBetween), {2100000000.0, -2100000000.0}, "i:2147483647"},  // more days than an int holds
        {FN(DaysPerMonth), {2024, 2}, "i:29"}, {FN(DaysPerMonth), {2024, INT32_MIN}, "i:0"},
        {FN(ShortDayNames), {0}, "s:Sun"}, {FN(ShortDayNames), {7}, "s:"}, {FN(ShortDayNames), {-1}, "s:"},
        {FN(YearOf), {"x"}, conv + "'string' to 'double'"}, {FN(IncMonth), {1.0, 2.0}, conv + "'double' to 'int'"},
        {FN(DecodeDate), {1.0, 0, 0, "y"}, conv + "'string' to 'pointer'"},
    };
    for (const Row& r : rows) EXPECT_EQ(result(r.fn, r.args), r.expected) << r.name << " row " << &r - rows;
}

// Settings made here, independent of the process's locale block ("-" is an unused entry).
struct Names {
    Names() {
        std::istringstream words(
            "- Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec - January February March April May June July August "
            "September October November December Sun Mon Tue Wed Thu Fri Sat Sunday Monday Tuesday Wednesday "
            "Thursday Friday Saturday AM PM");
        std::string word;
        for (int k = 0; k < 42 && words >> word; ++k) store[k].assign_narrow(word == "-" ? "" : word.c_str()), ptr[k] = &store[k];
    }
    ~Names() {
        for (auto& w : store) w.clear();
    }
    FormatSettings settings(char16_t date = u'/', char16_t time = u':', char16_t decimal = u'.', char16_t thousand = u',') const {
        return FormatSettings{date, time, decimal, thousand, ptr[40], ptr[41], ptr, ptr + 13, ptr + 26, ptr + 33};
    }
    WStr store[42]{};
    const WStr* ptr[42];
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
        {"s ss sss S|z zzz Z", kAfternoon, "9 09 009 9|045 045 045"}, {"yy yyyy", encode_date(33, 3, 3), "33 0033"},
        {"aa|aaa|aaaa|aaaaa|AAA|a A", kAfternoon, "|Tue|Tuesday||Tue|a A"},
        // quoted and plain text: either quote ends the text
        {"'yyyy' \"dd\"", kAfternoon, "yyyy dd"}, {"'it\"s' d", kAfternoon, "it9 d"},
        {"\"open", kAfternoon, "open"},         {"[x] #!\t{|}~", kAfternoon, "[x] #!\t{|}~"}, {"", kAfternoon, ""},
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
    names.store[40].assign_narrow("vorm.");
    names.store[41].assign_narrow("nachm.");
    struct { char16_t date, time; const char* fmt; double d; const char* expected; } cases[] = {
        {u'-', u'.', "d/m/yyyy h:nn:ss", kMidnight, "5-1-2024 0.07.03"},
        {0, 0, "d/m h:nn", kMidnight, "51 007"},  // no separator: nothing printed
        {u'/', u':', "h:nn AMPM", kMidnight, "12:07 vorm."}, {u'/', u':', "h:nn AMPM", kAfternoon, "1:05 nachm."},
        {u'/', u':', "h:nn AM/PM", kAfternoon, "1:05 PM"},
    };
    for (auto& c : cases) EXPECT_EQ(fdt(c.fmt, c.d, names.settings(c.date, c.time)), c.expected) << c.fmt;
    FormatSettings bare{u'/', u':', u'.', u',', nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(fdt("ddd|mmmm|AMPM|h:nn", kAfternoon, bare), "|||1:05");
    std::string fmt, expected;  // long patterns are not cut
    for (int k = 0; k < 200; ++k) fmt += "dddd yyyy ", expected += "Tuesday 2000 ";
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
        {"#,##0.00", 1234.56, "#1,235##1234.56"}, {"0.00E+00", 1234.5678, "1234.57E+1235"}, {"", 1, ""},
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
    const std::string big = ff("0", 1e300, fs), grouped = ff("0,0", 1e40, fs);
    EXPECT_EQ(big.substr(0, 17) + " " + std::to_string(big.size()), "10000000000000000 301");
    EXPECT_EQ(grouped.substr(0, 8) + " " + std::to_string(grouped.size()), "10,000,0 54");
    EXPECT_EQ(ff("0." + std::string(400, '0'), 0.5, fs), "0.5" + std::string(399, '0'));
}

}  // namespace
