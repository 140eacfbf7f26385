#include "host/system_block.h"

#include <cstdlib>
#include <initializer_list>

#include "platform/platform.h"

namespace qel {

namespace {
CSystemFormats& g_formats = system_formats();
CSystemEnvironment& g_environment = system_environment();
LocaleNames& g_names = locale_names();

constexpr int kLocaleBuffer = 255;

WStr* ensure(WStr*& s) {
    if (!s) s = wstr_new();
    return s;
}

void read_item(uint32_t item, WStr*& target) {
    char16_t buf[kLocaleBuffer];
    platform::locale_info(item, buf, kLocaleBuffer);
    ensure(target)->assign_wide(buf);
}

char16_t first_char(uint32_t item) {
    char16_t buf[kLocaleBuffer];
    platform::locale_info(item, buf, kLocaleBuffer);
    return buf[0];
}

int number(uint32_t item) {
    char16_t buf[kLocaleBuffer];
    platform::locale_info(item, buf, kLocaleBuffer);
    int n = 0;
    for (const char16_t* p = buf; *p >= u'0' && *p <= u'9'; ++p) n = n * 10 + (*p - u'0');
    return n;
}

void read_locale() {
    platform::use_user_default_locale();
    for (int m = 0; m < 12; ++m) {
        read_item(platform::kLocaleSMonthName1 + m, g_names.long_months[m + 1]);
        read_item(platform::kLocaleSAbbrevMonthName1 + m, g_names.short_months[m + 1]);
    }
    // Sunday first: item 7 is Sunday, then Monday .. Saturday.
    read_item(platform::kLocaleSDayName1 + 6, g_names.long_days[0]);
    read_item(platform::kLocaleSAbbrevDayName1 + 6, g_names.short_days[0]);
    for (int d = 0; d < 6; ++d) {
        read_item(platform::kLocaleSDayName1 + d, g_names.long_days[d + 1]);
        read_item(platform::kLocaleSAbbrevDayName1 + d, g_names.short_days[d + 1]);
    }
    CSystemFormats& f = g_formats;
    read_item(platform::kLocaleSCurrency, f.CurrencyString);
    read_item(platform::kLocaleS1159, f.TimeAmString);
    if (f.TimeAmString->empty()) f.TimeAmString->assign_narrow("am");
    read_item(platform::kLocaleS2359, f.TimePmString);
    if (f.TimePmString->empty()) f.TimePmString->assign_narrow("pm");
    f.TimeSeparator = first_char(platform::kLocaleSTime);
    f.DateSeparator = first_char(platform::kLocaleSDate);
    f.ThousandSeparator = first_char(platform::kLocaleSThousand);
    f.DecimalSeparator = first_char(platform::kLocaleSDecimal);
    f.CurrencyDecimals = static_cast<uint8_t>(number(platform::kLocaleICurrDigits));
    read_item(platform::kLocaleSLongDate, f.LongDateFormat);
    read_item(platform::kLocaleSShortDate, f.ShortDateFormat);
    f.CurrencyFormat = static_cast<uint8_t>(number(platform::kLocaleICurrency));
    f.NegCurrencyFormat = f.CurrencyFormat;

    // Time formats are composed from the clock settings.
    const char* hour = number(platform::kLocaleITLZero) ? "hh" : "h";
    const bool twelve = number(platform::kLocaleITime) == 0;
    const bool mark_first = number(platform::kLocaleITimeMarkPosn) != 0;
    const char* before = twelve && mark_first ? "AMPM " : "";
    const char* after = twelve && !mark_first ? " AMPM" : "";
    WStr* st = ensure(f.ShortTimeFormat);
    st->assign_narrow(before);
    st->append_narrow(hour);
    st->append_narrow(":mm");
    st->append_narrow(after);
    WStr* lt = ensure(f.LongTimeFormat);
    lt->assign_narrow(before);
    lt->append_narrow(hour);
    lt->append_narrow(":mm:ss");
    lt->append_narrow(after);
    WStr* sdt = ensure(f.ShortDateTimeFormat);
    sdt->assign(*f.ShortDateFormat);
    sdt->append_narrow(" ");
    sdt->append(*lt);
}

void read_environment() {
    if (g_environment.MajorVersion != 0) return;
    platform::OsVersion v = platform::os_version();
    g_environment.MajorVersion = v.major;
    g_environment.MinorVersion = v.minor;
    g_environment.BuildNumber = v.build;
    g_environment.ServicePackMajor = v.service_pack_major;
    g_environment.ServicePackMinor = v.service_pack_minor;
    g_environment.Is64Bit = platform::has_wow64_query();
}

void drop(WStr*& s) {
    wstr_delete(s);
    s = nullptr;
}
}  // namespace

void startup_locale_and_system() {
    read_locale();
    read_environment();
}

void release_locale_and_system() {
    CSystemFormats& f = g_formats;
    for (WStr** s : {&f.CurrencyString, &f.ShortDateFormat, &f.LongDateFormat, &f.TimeAmString, &f.TimePmString,
                     &f.ShortTimeFormat, &f.LongTimeFormat, &f.ShortDateTimeFormat})
        drop(*s);
    for (int i = 0; i < 13; ++i) {
        drop(g_names.long_months[i]);
        drop(g_names.short_months[i]);
    }
    for (int i = 0; i < 7; ++i) {
        drop(g_names.long_days[i]);
        drop(g_names.short_days[i]);
    }
}

}  // namespace qel
