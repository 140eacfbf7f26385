// DateTime values: days since 30 December 1899 as a double, the fraction being the time of day.
#pragma once
#include <cstdint>

namespace qel {

struct TimeStamp {
    int32_t date;  // days, 1 January of year 1 = 1
    int32_t time;  // milliseconds since midnight
};

constexpr int32_t kDateDelta = 693594;  // TimeStamp date of day 0 (30 December 1899)
constexpr double kMsPerDay = 86400000.0;

bool is_leap_year(int year);
int days_in_month(int year, int month);  // 0 for a month outside 1 .. 12

// 0 for invalid parts.
double encode_date(int year, int month, int day);
double encode_time(int hour, int minute, int second, int ms);

TimeStamp to_timestamp(double d);

struct DateParts {
    int year, month, day, day_of_week;  // day_of_week 1 = Sunday; all 0 before year 1
};
DateParts decode_date(double d);

struct TimeParts {
    int hour, minute, second, ms;
};
TimeParts decode_time(double d);

// Reads an ISO 8601 date-time ("2024-01-31T08:15:00.250+02:00"; time, fraction and offset
// optional). The wall-clock time is kept as written; the offset is checked but not applied.
bool parse_iso8601(const char* text, double* out);

}  // namespace qel
