// The two pattern formatters: FormatDateTime for DateTime values and FormatFloat for numbers.
// Both read their separators and names from a FormatSettings, normally the process-wide locale
// block filled at start-up.
#pragma once
#include <cstdint>
#include <string>

#include "base/wstr.h"

namespace qel {

struct FormatSettings {
    WChar date_separator;      // 0: none is printed
    WChar time_separator;      // 0: none is printed
    WChar decimal_separator;   // 0: '.'
    WChar thousand_separator;  // 0: numbers are not grouped
    const WStr* am_string;
    const WStr* pm_string;
    const WStr* const* short_month_names;  // 13 entries, 1 .. 12 used
    const WStr* const* long_month_names;
    const WStr* const* short_day_names;  // 7 entries, 0 = Sunday
    const WStr* const* long_day_names;
};

// The settings of the locale block and name tables of this process.
FormatSettings system_format_settings();

// Pattern letters: d m y h n s z (any case), a/A day names, the markers AMPM, AM/PM and A/P,
// / and : for the separators, quoted text. The result is appended to out.
void format_date_time(std::u16string& out, const WChar* fmt, uint32_t length, double d, const FormatSettings& fs);

// Number sections made of 0 , and . print x with printf's %0W.Df; ',' groups thousands.
// Everything else (quoted text without its quotes, # and E too) is copied. Appends to out.
void format_float(std::u16string& out, const WChar* fmt, uint32_t length, double x, const FormatSettings& fs);

}  // namespace qel
