#include "types/system_records.h"

namespace qel {

namespace {
CSystemFormats g_formats;
CSystemEnvironment g_environment;
LocaleNames g_names;
}  // namespace

CSystemFormats& system_formats() { return g_formats; }
CSystemEnvironment& system_environment() { return g_environment; }
LocaleNames& locale_names() { return g_names; }

}  // namespace qel
