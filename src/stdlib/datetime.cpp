#include "stdlib/datetime.h"

#include <cmath>

namespace qel {

namespace {
constexpr int kMonthDays[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
}

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return kMonthDays[is_leap_year(year) ? 1 : 0][month];
}

double encode_date(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return 0;
    int dayOfYear = day;
    for (int m = 1; m < month; ++m) dayOfYear += days_in_month(year, m);
    int y = year - 1;
    return static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + dayOfYear - kDateDelta);
}

double encode_time(int hour, int minute, int second, int ms) {
    if (hour < 0 || minute < 0 || second < 0 || ms < 0 || hour >= 24 || minute >= 60 || second >= 60 || ms >= 1000)
        return 0;
    return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / kMsPerDay;
}

TimeStamp to_timestamp(double d) {
    double whole = std::floor(d);
    TimeStamp ts;
    ts.date = static_cast<int32_t>(whole) + kDateDelta;
    ts.time = static_cast<int32_t>(std::floor(std::fabs(d - whole) * kMsPerDay + 0.5));
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
    while (D >= days_in_month(year, month)) {
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
    if (!digits(p, 4, &year) || *p++ != '-' || !digits(p, 2, &month) || *p++ != '-' || !digits(p, 2, &day)) return false;
    if (*p == 'T' || *p == ' ') {
        ++p;
        if (!digits(p, 2, &hour) || *p++ != ':' || !digits(p, 2, &minute)) return false;
        if (*p == ':') {
            ++p;
            if (!digits(p, 2, &second)) return false;
            if (*p == '.') {
                ++p;
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
        }
    }
    if (*p) return false;
    double date = encode_date(year, month, day);
    if (date == 0 && !(year == 1899 && month == 12 && day == 30)) return false;
    double time = encode_time(hour, minute, second, ms);
    *out = date >= 0 ? date + time : date - time;
    return true;
}

}  // namespace qel
