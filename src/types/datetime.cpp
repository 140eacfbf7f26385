#include "types/datetime.h"

#include <climits>
#include <cmath>

namespace qel {

namespace {
constexpr int kMonthDays[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// The whole days a stamp can carry: its date must stay a signed 32-bit number, with room for the
// carry of a time that rounds up to midnight.
constexpr double kFirstDay = static_cast<double>(INT32_MIN) - kDateDelta;
constexpr double kLastDay = static_cast<double>(INT32_MAX) - kDateDelta - 1;
}  // namespace

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return kMonthDays[is_leap_year(year) ? 1 : 0][month];
}

bool is_valid_date(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month);
}

double encode_date(int year, int month, int day) {
    if (!is_valid_date(year, month, day)) return 0;
    int day_of_year = day;
    for (int m = 1; m < month; ++m) day_of_year += days_in_month(year, m);
    int y = year - 1;
    return static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + day_of_year - kDateDelta);
}

double encode_time(int hour, int minute, int second, int ms) {
    if (hour < 0 || minute < 0 || second < 0 || ms < 0 || hour >= 24 || minute >= 60 || second >= 60 || ms >= 1000)
        return 0;
    return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / kMsPerDay;
}

TimeStamp to_timestamp(double d) {
    double whole = std::floor(d);
    // Also false for NaN.
    if (!(whole >= kFirstDay && whole <= kLastDay)) return TimeStamp{0, 0};
    TimeStamp ts;
    ts.date = static_cast<int32_t>(whole) + kDateDelta;
    ts.time = static_cast<int32_t>(std::floor(std::fabs(d - whole) * kMsPerDay + 0.5));
    if (ts.time >= 86400000) {  // 23:59:59.9995 and later is the next midnight
        ts.date += 1;
        ts.time = 0;
    }
    return ts;
}

DateParts decode_date(double d) {
    DateParts p{0, 0, 0, 0};
    int32_t D = to_timestamp(d).date;
    if (D < 1) return p;
    p.day_of_week = D % 7 + 1;
    D -= 1;
    int year = 1;
    if (D >= 146097) {
        year += (D / 146097) * 400;
        D %= 146097;
    }
    int q = D / 36524;
    D %= 36524;
    if (q == 4) {
        q = 3;
        D += 36524;
    }
    year += q * 100;
    q = D / 1461;
    D %= 1461;
    year += q * 4;
    q = D / 365;
    D %= 365;
    if (q == 4) {
        q = 3;
        D += 365;
    }
    year += q;
    int month = 1;
    while (month < 12 && D >= days_in_month(year, month)) {
        D -= days_in_month(year, month);
        ++month;
    }
    p.year = year;
    p.month = month;
    p.day = D + 1;
    return p;
}

TimeParts decode_time(double d) {
    int32_t t = to_timestamp(d).time;
    int32_t minutes = t / 60000, rest = t % 60000;
    return TimeParts{minutes / 60, minutes % 60, rest / 1000, rest % 1000};
}

int day_of_week(double d) {
    int r = to_timestamp(d).date % 7;
    return r < 0 ? r + 7 : r;
}

int32_t days_between(double a, double b) {
    TimeStamp ta = to_timestamp(a), tb = to_timestamp(b);
    int64_t ma = ta.date * kMsPerDay64 + ta.time;
    int64_t mb = tb.date * kMsPerDay64 + tb.time;
    int64_t days = (ma > mb ? ma - mb : mb - ma) / kMsPerDay64;
    return days > INT32_MAX ? INT32_MAX : static_cast<int32_t>(days);
}

double inc_month(double d, int64_t months) {
    DateParts p = decode_date(d);
    int64_t year = p.year + months / 12;
    int64_t month = p.month + (months - (months / 12) * 12);
    if (month < 1 || month > 12) {
        if (months < 0) {
            year -= 1;
            month += 12;
        } else {
            year += 1;
            month -= 12;
        }
    }
    double date = 0;
    if (year >= 1 && year <= 9999 && month >= 1 && month <= 12) {
        int y = static_cast<int>(year), m = static_cast<int>(month);
        int last = days_in_month(y, m);
        date = encode_date(y, m, p.day < last ? p.day : last);
    }
    return date + (d - std::floor(d));
}

double inc_minute(double d, int32_t minutes) { return (d * 1440 + minutes) / 1440; }

namespace {
bool digits(const char*& p, int n, int* out) {
    int v = 0;
    for (int i = 0; i < n; ++i, ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
    }
    *out = v;
    return true;
}
}  // namespace

bool parse_iso8601(const char* text, double* out) {
    const char* p = text;
    int year, month, day, hour = 0, minute = 0, second = 0, ms = 0;
    if (!digits(p, 4, &year) || *p++ != '-' || !digits(p, 2, &month) || *p++ != '-' || !digits(p, 2, &day))
        return false;
    if (*p == 'T' || *p == ' ') {
        ++p;
        if (!digits(p, 2, &hour) || *p++ != ':' || !digits(p, 2, &minute)) return false;
        if (*p == ':') {
            ++p;
            if (!digits(p, 2, &second)) return false;
            if (*p == '.') {
                ++p;
                if (*p < '0' || *p > '9') return false;
                int scale = 100;
                for (; *p >= '0' && *p <= '9'; ++p, scale /= 10) ms += (*p - '0') * scale;
            }
        }
        if (*p == 'Z') {
            ++p;
        } else if (*p == '+' || *p == '-') {
            ++p;
            int oh, om = 0;
            if (!digits(p, 2, &oh)) return false;
            if (*p == ':') ++p;
            if (*p && !digits(p, 2, &om)) return false;
            if (oh > 23 || om > 59) return false;
        }
    }
    if (*p) return false;
    if (!is_valid_date(year, month, day)) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
    // Days before day 0 are negative whole parts; the time of day is still added.
    *out = encode_date(year, month, day) + encode_time(hour, minute, second, ms);
    return true;
}

}  // namespace qel
