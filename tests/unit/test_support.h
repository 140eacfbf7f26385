// Helpers shared by the unit tests: images built from authoring text held in the test.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "host/lifecycle.h"
#include "image/load_report.h"
#include "vm/runtime.h"

namespace qeltest {

// Authoring text -> image text (CR LF lines, NUL at the end). Includes are relative to tests/images.
std::string image_text(const std::string& authoring);

struct Loaded {
    std::unique_ptr<qel::Runtime> rt;
    bool ok = false;
    std::string text;  // the image text (cut in place by the parser)
    qel::LoadReport report;
    std::vector<std::string> notes;  // the numbered reports that let the load go on: "10 text"
};

// Parses only (sections, metadata, source, layout, accessors): no checks, linking or start.
Loaded parse(const std::string& authoring);
Loaded parse_raw(const std::string& text);

// Builds the image text and runs the load steps after the fetch.
Loaded load(const std::string& authoring);
// Loads raw image text exactly as given (it gets its terminating NUL here).
Loaded load_raw(const std::string& text);

qel::CClass* find_class(qel::Runtime& rt, const char* name);

// An ldstr's text as UTF-8, marked with how it is kept: "b:" as bytes, "u:" as UTF-16 units.
std::string literal_text(const qel::Literal* lit);

}  // namespace qeltest
