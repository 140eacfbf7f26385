// The section loop over the image text: manifest, metadata, resources and source blocks.
#pragma once
#include <string>

#include "image/line_reader.h"
#include "image/load_report.h"
#include "image/program.h"

namespace qel {

struct ParseState {
    Program& program;
    LineReader reader;
    Instruction* current = nullptr;  // the trailing empty record of the chain
    LoadReport& report;

    bool fail(int at_line, std::string what) { return report.fail(at_line, std::move(what)); }
    // The line of the next token to be read.
    int line() const { return reader.lineno + 1; }
};

// Parses the whole text (cut in place) into the program: sections, layout, accessors, and the
// branch and call operands. False, with the reason in the report, when the image is malformed.
bool parse_image(Program& program, char* text, LoadReport& report);

}  // namespace qel
