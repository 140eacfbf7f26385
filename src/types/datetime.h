// DateTime values: days since 30 December 1899 as a double, the fraction being the time of day.
// The whole part is floor(d) and the fraction d - floor(d) for every value, negative ones too:
// -1.25 is 28 December 1899, 18:00.
#pragma once
#include <cstdint>

namespace qel {

struct TimeStamp {
    int32_t date;  // days, 1 January of year 1 = 1
    int32_t time;  // milliseconds since midnight, 0 .. 86 399 999
};

constexpr int32_t kDateDelta = 693594;  // TimeStamp date of day 0 (30 December 1899)
constexpr double kMsPerDay = 86400000.0;
constexpr int64_t kMsPerDay64 = 86400000;

bool is_leap_year(int year);
int days_in_month(int year, int month);  // 0 for a month outside 1 .. 12
bool is_valid_date(int year, int month, int day);  // year 1 .. 9999, a day of that month

// 0 for invalid parts.
double encode_date(int year, int month, int day);
double encode_time(int hour, int minute, int second, int ms);

// The time is rounded to the millisecond; a time that rounds up to midnight belongs to the next
// day. A value that is not a number, or whose day lies outside the signed 32-bit range of the
// stamp, gives {0, 0} (which decodes as "before year 1").
TimeStamp to_timestamp(double d);

struct DateParts {
    int year, month, day, day_of_week;  // day_of_week 1 = Sunday; all 0 before year 1
};
DateParts decode_date(double d);

struct TimeParts {
    int hour, minute, second, ms;
};
TimeParts decode_time(double d);

// 0 Sunday .. 6 Saturday, for every stamp (the week goes on before year 1).
int day_of_week(double d);

// Whole days between two instants, truncated, from their stamps in milliseconds (64-bit);
// saturates at INT32_MAX.
int32_t days_between(double a, double b);

// The same day n months later (earlier for n < 0), cut to the month's last day, at the same time
// of day. A year outside 1 .. 9999 gives day 0 with the time of day.
double inc_month(double d, int64_t months);

// n minutes later (earlier for n < 0).
double inc_minute(double d, int32_t minutes);

// Reads an ISO 8601 date-time ("2024-01-31T08:15:00.250+02:00"; time, fraction and offset
// optional). The wall-clock time is kept as written; the offset is checked but not applied.
// Out-of-range parts (month 13, hour 24 ...) are rejected.
bool parse_iso8601(const char* text, double* out);

}  // namespace qel
