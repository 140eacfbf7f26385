// The start-up step that fills the process-wide blocks scripts read through Global.System: the
// locale settings with the month and day names, and the operating-system version.
#pragma once
#include "types/system_records.h"

namespace qel {

// Reads the user's default locale into the formats block and the name tables (again on every
// call), and the operating-system version once per process.
void startup_locale_and_system();
// Frees the strings of the formats block and the name tables.
void release_locale_and_system();

}  // namespace qel
