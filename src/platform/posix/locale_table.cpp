// What an en-US Windows locale reports, for the locale queries of the Linux host.
#include <cstring>

#include "platform/platform.h"

namespace qel::platform {

namespace {
struct Item {
    uint32_t id;
    const char* value;
};

constexpr Item kEnUs[] = {
    {kLocaleSDecimal, "."},
    {kLocaleSThousand, ","},
    {kLocaleSCurrency, "$"},
    {kLocaleICurrDigits, "2"},
    {kLocaleICurrency, "0"},
    {kLocaleSDate, "/"},
    {kLocaleSTime, ":"},
    {kLocaleSShortDate, "M/d/yyyy"},
    {kLocaleSLongDate, "dddd, MMMM d, yyyy"},
    {kLocaleITime, "0"},
    {kLocaleITLZero, "0"},
    {kLocaleS1159, "AM"},
    {kLocaleS2359, "PM"},
    {kLocaleITimeMarkPosn, "0"},
    {kLocaleSDayName1 + 0, "Monday"},
    {kLocaleSDayName1 + 1, "Tuesday"},
    {kLocaleSDayName1 + 2, "Wednesday"},
    {kLocaleSDayName1 + 3, "Thursday"},
    {kLocaleSDayName1 + 4, "Friday"},
    {kLocaleSDayName1 + 5, "Saturday"},
    {kLocaleSDayName1 + 6, "Sunday"},
    {kLocaleSAbbrevDayName1 + 0, "Mon"},
    {kLocaleSAbbrevDayName1 + 1, "Tue"},
    {kLocaleSAbbrevDayName1 + 2, "Wed"},
    {kLocaleSAbbrevDayName1 + 3, "Thu"},
    {kLocaleSAbbrevDayName1 + 4, "Fri"},
    {kLocaleSAbbrevDayName1 + 5, "Sat"},
    {kLocaleSAbbrevDayName1 + 6, "Sun"},
    {kLocaleSMonthName1 + 0, "January"},
    {kLocaleSMonthName1 + 1, "February"},
    {kLocaleSMonthName1 + 2, "March"},
    {kLocaleSMonthName1 + 3, "April"},
    {kLocaleSMonthName1 + 4, "May"},
    {kLocaleSMonthName1 + 5, "June"},
    {kLocaleSMonthName1 + 6, "July"},
    {kLocaleSMonthName1 + 7, "August"},
    {kLocaleSMonthName1 + 8, "September"},
    {kLocaleSMonthName1 + 9, "October"},
    {kLocaleSMonthName1 + 10, "November"},
    {kLocaleSMonthName1 + 11, "December"},
    {kLocaleSAbbrevMonthName1 + 0, "Jan"},
    {kLocaleSAbbrevMonthName1 + 1, "Feb"},
    {kLocaleSAbbrevMonthName1 + 2, "Mar"},
    {kLocaleSAbbrevMonthName1 + 3, "Apr"},
    {kLocaleSAbbrevMonthName1 + 4, "May"},
    {kLocaleSAbbrevMonthName1 + 5, "Jun"},
    {kLocaleSAbbrevMonthName1 + 6, "Jul"},
    {kLocaleSAbbrevMonthName1 + 7, "Aug"},
    {kLocaleSAbbrevMonthName1 + 8, "Sep"},
    {kLocaleSAbbrevMonthName1 + 9, "Oct"},
    {kLocaleSAbbrevMonthName1 + 10, "Nov"},
    {kLocaleSAbbrevMonthName1 + 11, "Dec"},
};
}  // namespace

void use_user_default_locale() {}

int locale_info(uint32_t item, char16_t* out, int cap) {
    if (cap <= 0) return 0;
    out[0] = 0;
    for (const Item& it : kEnUs) {
        if (it.id != item) continue;
        int n = 0;
        for (; it.value[n] && n < cap - 1; ++n) out[n] = static_cast<unsigned char>(it.value[n]);
        out[n] = 0;
        return n;
    }
    return 0;
}

}  // namespace qel::platform
