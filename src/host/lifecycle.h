// The Runtime's life: construction, loading (fetch, parse, check, link, global object, unit
// initialisers) and teardown. The Runtime record itself is the interpreter's (vm/runtime.h).
#pragma once
#include "image/load_report.h"
#include "vm/runtime.h"

namespace qel {

// Installs what the lower layers reach the higher ones through (done by the first Runtime).
void install_layer_hooks();

// Loads the image at path (empty: the host's own image). False, with the reason in the report,
// when it cannot run.
bool load_image(Runtime& rt, const char16_t* path, LoadReport& report);
// The steps after the fetch: parse the image text (cut in place; it must end with a NUL), check,
// link, create the global object and run the unit initialisers.
bool load_image_text(Runtime& rt, char* text, LoadReport& report);

// The loading report's notes go to the error reporter.
void notify_load_problem(int number, const std::string& text);

}  // namespace qel
