// Dates, times and number formatting: the clock, encoding and decoding, calendar arithmetic and
// the two pattern formatters. Results take the place of the arguments; string results are
// written into the slot of the first argument.
#include <cmath>
#include <cstdint>
#include <string>

#include "types/system_records.h"
#include "platform/platform.h"
#include "stdlib/builtin_support.h"
#include "stdlib/date_format.h"
#include "types/datetime.h"

namespace qel {

namespace {

void set_text(Value& slot, const std::u16string& text) {
    set_string(slot).assign_wide(text.data(), static_cast<uint32_t>(text.size()));
}

// A string result formatted from a DateTime with one of the locale's patterns.
void format_with(Frame* f, const WStr* pattern) {
    double d = pop_double(f->stack);
    Value& slot = push_slot(f->stack);
    std::u16string text;
    if (pattern) format_date_time(text, pattern->text(), pattern->length, d, system_format_settings());
    set_text(slot, text);
}

void write_u16(void* ref, int value) { *static_cast<uint16_t*>(ref) = static_cast<uint16_t>(value); }

}  // namespace

// ---- the local clock ----

void bi_Now(Runtime* rt, Frame* f) {
    platform::LocalTime t = platform::local_time();
    push_double(f->stack, encode_date(t.year, t.month, t.day) + encode_time(t.hour, t.minute, t.second, t.ms));
}

void bi_Date(Runtime* rt, Frame* f) {
    platform::LocalTime t = platform::local_time();
    push_double(f->stack, encode_date(t.year, t.month, t.day));
}

void bi_Time(Runtime* rt, Frame* f) {
    platform::LocalTime t = platform::local_time();
    push_double(f->stack, encode_time(t.hour, t.minute, t.second, t.ms));
}

// ---- encoding and decoding ----

void bi_DateOf(Runtime* rt, Frame* f) {
    double d = pop_double(f->stack);
    set_double(push_slot(f->stack), std::floor(d));
}

void bi_EncodeDate(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    int32_t day = pop_int(st);
    int32_t month = pop_int(st);
    int32_t year = pop_int(st);
    push_double(st, encode_date(year, month, day));
}

void bi_EncodeTime(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    int32_t ms = pop_int(st);
    int32_t second = pop_int(st);
    int32_t minute = pop_int(st);
    int32_t hour = pop_int(st);
    push_double(st, encode_time(hour, minute, second, ms));
}

// The three references receive 16-bit numbers; the bytes after them are left as they are.
void bi_DecodeDate(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    void* day_ref = pop_pointer(st);
    void* month_ref = pop_pointer(st);
    void* year_ref = pop_pointer(st);
    DateParts p = decode_date(pop_double(st));
    // Nothing is written unless every reference is there.
    for (void* ref : {year_ref, month_ref, day_ref}) check_reference(ref, "reference");
    write_u16(year_ref, p.year);
    write_u16(month_ref, p.month);
    write_u16(day_ref, p.day);
}

void bi_DaysPerMonth(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    int32_t month = pop_int(st);
    int32_t year = pop_int(st);
    push_int(st, days_in_month(year, month));
}

void bi_DayOfWeek(Runtime* rt, Frame* f) {
    double d = pop_double(f->stack);
    set_int(push_slot(f->stack), day_of_week(d));
}

void bi_DaysBetween(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    double b = pop_double(st);
    double a = pop_double(st);
    push_int(st, days_between(a, b));
}

namespace {
// The date or time part that a built-in reads from its one DateTime argument.
template <typename Part>
void date_part(Frame* f, Part part) {
    double d = pop_double(f->stack);
    push_int(f->stack, part(d));
}
}  // namespace

void bi_YearOf(Runtime* rt, Frame* f) { date_part(f, [](double d) { return decode_date(d).year; }); }
void bi_MonthOf(Runtime* rt, Frame* f) { date_part(f, [](double d) { return decode_date(d).month; }); }
void bi_DayOf(Runtime* rt, Frame* f) { date_part(f, [](double d) { return decode_date(d).day; }); }
void bi_HourOf(Runtime* rt, Frame* f) { date_part(f, [](double d) { return decode_time(d).hour; }); }
void bi_MinuteOf(Runtime* rt, Frame* f) { date_part(f, [](double d) { return decode_time(d).minute; }); }
void bi_SecondOf(Runtime* rt, Frame* f) { date_part(f, [](double d) { return decode_time(d).second; }); }

// ---- calendar arithmetic ----

namespace {
// (date, count) -> date moved by count steps.
void move_date(Frame* f, double (*step)(double date, int64_t count)) {
    int64_t count = pop_int(f->stack);
    double d = pop_double(f->stack);
    push_double(f->stack, step(d, count));
}
}  // namespace

void bi_IncYear(Runtime*, Frame* f) { move_date(f, [](double d, int64_t n) { return inc_month(d, n * 12); }); }
void bi_IncMonth(Runtime*, Frame* f) { move_date(f, [](double d, int64_t n) { return inc_month(d, n); }); }
void bi_IncDay(Runtime*, Frame* f) { move_date(f, [](double d, int64_t n) { return d + static_cast<double>(n); }); }
void bi_IncMinute(Runtime*, Frame* f) { move_date(f, [](double d, int64_t n) { return inc_minute(d, static_cast<int32_t>(n)); }); }

// ---- names and formatting ----

// An index outside 0 .. 6 gives the empty string.
void bi_ShortDayNames(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    int32_t index = pop_int(st);
    WStr& out = set_string(push_slot(st));
    const LocaleNames& names = locale_names();
    if (index >= 0 && index < 7 && names.short_days[index])
        out.assign(*names.short_days[index]);
    else
        out.clear();
}

void bi_DateToStr(Runtime* rt, Frame* f) { format_with(f, system_formats().ShortDateFormat); }
void bi_TimeToStr(Runtime* rt, Frame* f) { format_with(f, system_formats().LongTimeFormat); }
void bi_DateTimeToStr(Runtime* rt, Frame* f) { format_with(f, system_formats().ShortDateTimeFormat); }

void bi_FormatDateTime(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    double d = pop_double(st);
    WStr& fmt = top_string(st);
    std::u16string text;
    format_date_time(text, fmt.text(), fmt.length, d, system_format_settings());
    set_text(top_slot(st), text);
}

void bi_FormatFloat(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    double x = pop_double(st);
    WStr& fmt = top_string(st);
    std::u16string text;
    format_float(text, fmt.text(), fmt.length, x, system_format_settings());
    set_text(top_slot(st), text);
}

}  // namespace qel
