// The blocks that scripts read as Global.System: CSystem (one per Runtime), and the process-wide
// CSystemFormats (locale settings) and CSystemEnvironment (operating-system version) blocks, with
// the month and day name tables that date formatting uses.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/wstr.h"

namespace qel {

struct CSystemFormats {
    uint8_t CurrencyFormat;
    uint8_t NegCurrencyFormat;
    uint8_t CurrencyDecimals;
    char16_t ThousandSeparator;
    char16_t DecimalSeparator;
    char16_t TimeSeparator;
    char16_t DateSeparator;
    WStr* CurrencyString;
    WStr* ShortDateFormat;
    WStr* LongDateFormat;
    WStr* TimeAmString;
    WStr* TimePmString;
    WStr* ShortTimeFormat;
    WStr* LongTimeFormat;
    WStr* ShortDateTimeFormat;
};
static_assert(offsetof(CSystemFormats, CurrencyFormat) == 0 && offsetof(CSystemFormats, NegCurrencyFormat) == 1 &&
              offsetof(CSystemFormats, CurrencyDecimals) == 2 && offsetof(CSystemFormats, ThousandSeparator) == 4 &&
              offsetof(CSystemFormats, DecimalSeparator) == 6 && offsetof(CSystemFormats, TimeSeparator) == 8 &&
              offsetof(CSystemFormats, DateSeparator) == 10 && offsetof(CSystemFormats, CurrencyString) == 12 &&
              offsetof(CSystemFormats, ShortDateFormat) == 16 && offsetof(CSystemFormats, LongDateFormat) == 20 &&
              offsetof(CSystemFormats, TimeAmString) == 24 && offsetof(CSystemFormats, TimePmString) == 28 &&
              offsetof(CSystemFormats, ShortTimeFormat) == 32 && offsetof(CSystemFormats, LongTimeFormat) == 36 &&
              offsetof(CSystemFormats, ShortDateTimeFormat) == 40 && sizeof(CSystemFormats) == 44);

struct CSystemEnvironment {
    bool Is64Bit;
    int32_t MajorVersion;
    int32_t MinorVersion;
    int32_t BuildNumber;
    int32_t ServicePackMajor;
    int32_t ServicePackMinor;
};
static_assert(offsetof(CSystemEnvironment, Is64Bit) == 0 && offsetof(CSystemEnvironment, MajorVersion) == 4 &&
              offsetof(CSystemEnvironment, MinorVersion) == 8 && offsetof(CSystemEnvironment, BuildNumber) == 12 &&
              offsetof(CSystemEnvironment, ServicePackMajor) == 16 &&
              offsetof(CSystemEnvironment, ServicePackMinor) == 20 && sizeof(CSystemEnvironment) == 24);

struct alignas(8) CSystem {
    bool ErrorReporting;
    bool ExeMode;
    bool DebugMode;
    bool IsLibrary;
    WStr* ProjectName;
    WStr* ProjectTitle;
    WStr* ProjectCompany;
    WStr* ProjectVersion;
    alignas(8) double ProjectDate;
    WStr* ExeName;
    WStr* FileName;
    WStr* CmdLine;
    int32_t CmdShow;
    int32_t LoadingTime;
    alignas(8) double Date;
    WStr* Version;
    CSystemFormats* Formats;
    CSystemEnvironment* Environment;
};
static_assert(offsetof(CSystem, ErrorReporting) == 0 && offsetof(CSystem, ExeMode) == 1 &&
              offsetof(CSystem, DebugMode) == 2 && offsetof(CSystem, IsLibrary) == 3 &&
              offsetof(CSystem, ProjectName) == 4 && offsetof(CSystem, ProjectTitle) == 8 &&
              offsetof(CSystem, ProjectCompany) == 12 && offsetof(CSystem, ProjectVersion) == 16 &&
              offsetof(CSystem, ProjectDate) == 24 && offsetof(CSystem, ExeName) == 32 &&
              offsetof(CSystem, FileName) == 36 && offsetof(CSystem, CmdLine) == 40 && offsetof(CSystem, CmdShow) == 44 &&
              offsetof(CSystem, LoadingTime) == 48 && offsetof(CSystem, Date) == 56 && offsetof(CSystem, Version) == 64 &&
              offsetof(CSystem, Formats) == 68 && offsetof(CSystem, Environment) == 72 && sizeof(CSystem) == 80);

// Month names indexed 1 .. 12 (index 0 unused), day names indexed 0 (Sunday) .. 6.
struct LocaleNames {
    WStr* long_months[13];
    WStr* short_months[13];
    WStr* long_days[7];
    WStr* short_days[7];
};

// The process-wide blocks; the host fills them at start-up and frees their strings at the end.
CSystemFormats& system_formats();
CSystemEnvironment& system_environment();
LocaleNames& locale_names();

}  // namespace qel
