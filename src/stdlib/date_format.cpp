#include "stdlib/date_format.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "types/system_records.h"
#include "types/datetime.h"

namespace qel {

FormatSettings system_format_settings() {
    const CSystemFormats& f = system_formats();
    const LocaleNames& n = locale_names();
    return FormatSettings{f.DateSeparator, f.TimeSeparator, f.DecimalSeparator, f.ThousandSeparator,
                          f.TimeAmString,  f.TimePmString,  n.short_months,     n.long_months,
                          n.short_days,    n.long_days};
}

namespace {

// Longer runs of a numeric letter pad to this many digits.
constexpr int kMaxPad = 9;

void append_ascii(std::u16string& out, const char* s) {
    for (; *s; ++s) out += static_cast<WChar>(static_cast<unsigned char>(*s));
}

void append_wstr(std::u16string& out, const WStr* s) {
    if (s) out.append(s->text(), s->length);
}

// A name of a table, or nothing for an index outside it or a missing entry.
void append_name(std::u16string& out, const WStr* const* table, int index, int size) {
    if (table && index >= 0 && index < size) append_wstr(out, table[index]);
}

// The number zero-padded to width digits; widths below 2 print the digits it has.
void append_number(std::u16string& out, int value, int width) {
    char buf[32];
    if (width > kMaxPad) width = kMaxPad;
    std::snprintf(buf, sizeof buf, "%0*d", width < 1 ? 1 : width, value);
    append_ascii(out, buf);
}

bool starts_with(const WChar* p, const WChar* end, const char* s) {
    for (; *s; ++s, ++p)
        if (p >= end || *p != static_cast<WChar>(*s)) return false;
    return true;
}

bool has_marker_from(const WChar* p, const WChar* end) {
    for (; p < end; ++p)
        if (starts_with(p, end, "AMPM") || starts_with(p, end, "AM/PM") || starts_with(p, end, "A/P")) return true;
    return false;
}

WChar lower_letter(WChar c) { return c >= u'A' && c <= u'Z' ? static_cast<WChar>(c + 32) : c; }

// The date and time parts of one value, decoded on first use.
class Parts {
public:
    explicit Parts(double d) : d_(d) {}
    const DateParts& date() {
        if (!have_date_) {
            date_ = decode_date(d_);
            have_date_ = true;
        }
        return date_;
    }
    const TimeParts& time() {
        if (!have_time_) {
            time_ = decode_time(d_);
            have_time_ = true;
        }
        return time_;
    }

private:
    double d_;
    bool have_date_ = false, have_time_ = false;
    DateParts date_{};
    TimeParts time_{};
};

}  // namespace

void format_date_time(std::u16string& out, const WChar* fmt, uint32_t length, double d, const FormatSettings& fs) {
    Parts parts(d);
    const WChar* p = fmt;
    const WChar* end = fmt + length;
    bool last_was_hour = false;  // the last number printed was an hour: m and mm print minutes
    bool marker_printed = false;
    while (p < end) {
        WChar c = *p;
        if (c < u'"' || c > u'z') {
            out += c;
            ++p;
            continue;
        }
        if (c == u'"' || c == u'\'') {
            // Either quote character ends the text.
            for (++p; p < end && *p != u'"' && *p != u'\''; ++p) out += *p;
            if (p < end) ++p;
            continue;
        }
        if (c == u'/' || c == u':') {
            WChar sep = c == u'/' ? fs.date_separator : fs.time_separator;
            if (sep) out += sep;
            ++p;
            continue;
        }
        int run = 1;
        while (p + run < end && p[run] == c) ++run;
        switch (lower_letter(c)) {
            case u'd':
                if (run <= 2) {
                    append_number(out, parts.date().day, run);
                    last_was_hour = false;
                } else if (run <= 4) {
                    append_name(out, run == 3 ? fs.short_day_names : fs.long_day_names, parts.date().day_of_week - 1,
                                7);
                }
                break;
            case u'm':
                if (run <= 2) {
                    append_number(out, last_was_hour ? parts.time().minute : parts.date().month, run);
                    last_was_hour = false;
                } else {
                    append_name(out, run == 3 ? fs.short_month_names : fs.long_month_names, parts.date().month, 13);
                }
                break;
            case u'n':
                append_number(out, parts.time().minute, run);
                last_was_hour = false;
                break;
            case u'h': {
                int hour = parts.time().hour;
                if (marker_printed || has_marker_from(p + run, end)) {
                    hour %= 12;
                    if (hour == 0) hour = 12;
                }
                append_number(out, hour, run < 2 ? run : 2);
                last_was_hour = true;
                break;
            }
            case u's':
                append_number(out, parts.time().second, run);
                last_was_hour = false;
                break;
            case u'z':
                append_number(out, parts.time().ms, 3);
                last_was_hour = false;
                break;
            case u'y': {
                int year = parts.date().year;
                if (run <= 2)
                    append_number(out, year % 100, 2);
                else
                    append_number(out, year, 4);
                last_was_hour = false;
                break;
            }
            case u'a':
                if (run == 1) {
                    bool pm = parts.time().hour >= 12;
                    if (starts_with(p, end, "AM/PM")) {
                        append_ascii(out, pm ? "PM" : "AM");
                        run = 5;
                    } else if (starts_with(p, end, "AMPM")) {
                        append_wstr(out, pm ? fs.pm_string : fs.am_string);
                        run = 4;
                    } else if (starts_with(p, end, "A/P")) {
                        append_ascii(out, pm ? "P" : "A");
                        run = 3;
                    } else {
                        out += c;  // a lone a or A is plain text
                        break;
                    }
                    marker_printed = true;
                } else if (run == 3 || run == 4) {
                    append_name(out, run == 3 ? fs.short_day_names : fs.long_day_names, parts.date().day_of_week - 1,
                                7);
                }
                break;
            default:
                out += c;
                run = 1;
                break;
        }
        p += run;
    }
}

namespace {

// printf's %0W.Df of x; a second pass with an exact buffer for long results.
std::string printf_fixed(int width, int decimals, double x) {
    char small[64];
    int n = std::snprintf(small, sizeof small, "%0*.*f", width, decimals, x);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::snprintf(buf.data(), buf.size(), "%0*.*f", width, decimals, x);
    return std::string(buf.data(), static_cast<size_t>(n));
}

void append_section(std::u16string& out, double x, int int_digits, int decimals, bool grouped,
                    const FormatSettings& fs) {
    if (std::isnan(x)) {
        append_ascii(out, "NAN");
        return;
    }
    if (std::isinf(x)) {
        append_ascii(out, x < 0 ? "-INF" : "INF");
        return;
    }
    int width = decimals > 0 ? int_digits + 1 + decimals : int_digits;
    std::string text = printf_fixed(width, decimals, x);
    const WChar point = fs.decimal_separator ? fs.decimal_separator : u'.';
    size_t i = 0;
    if (grouped) {
        // The sign, then leading zeros (never grouped), then the integer digits in threes.
        if (i < text.size() && text[i] == '-') out += static_cast<WChar>(text[i++]);
        size_t digits_end = text.find('.', i);
        if (digits_end == std::string::npos) digits_end = text.size();
        for (; i < digits_end && text[i] == '0'; ++i) out += u'0';
        size_t remaining = digits_end - i;
        for (; i < digits_end; ++i) {
            out += static_cast<WChar>(text[i]);
            size_t left = digits_end - i - 1;
            if (remaining >= 4 && left > 0 && left % 3 == 0 && fs.thousand_separator) out += fs.thousand_separator;
        }
    }
    for (; i < text.size(); ++i) out += text[i] == '.' ? point : static_cast<WChar>(text[i]);
}

bool in_number_section(WChar c) { return c == u'0' || c == u',' || c == u'.'; }

}  // namespace

void format_float(std::u16string& out, const WChar* fmt, uint32_t length, double x, const FormatSettings& fs) {
    const WChar* p = fmt;
    const WChar* end = fmt + length;
    while (p < end) {
        WChar c = *p;
        if (c == u'"' || c == u'\'') {
            for (++p; p < end && *p != u'"' && *p != u'\''; ++p) out += *p;
            if (p < end) ++p;
            continue;
        }
        if (!in_number_section(c)) {
            out += c;
            ++p;
            continue;
        }
        int int_digits = 0, decimals = 0;
        bool grouped = false, after_point = false;
        for (; p < end && in_number_section(*p); ++p) {
            if (*p == u'0')
                ++(after_point ? decimals : int_digits);
            else if (*p == u',')
                grouped = true;
            else
                after_point = true;
        }
        append_section(out, x, int_digits, decimals, grouped, fs);
    }
}

}  // namespace qel
