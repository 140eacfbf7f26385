// The section loop over the image text: manifest, metadata, resources and source blocks.
#pragma once
#include "host/runtime.h"
#include "image/line_reader.h"

namespace qel {

struct ParseState {
    Runtime& rt;
    LineReader reader;
    Instruction* current = nullptr;  // the trailing empty record of the chain
    LoadFailure& failure;

    bool fail(int line, std::string what);
    // The line of the next token to be read.
    int line() const { return reader.lineno + 1; }
};

// Parses the whole text (cut in place). False, with the reason, when the image is malformed.
bool parse_image(Runtime& rt, char* text, LoadFailure& failure);

// One source block, from the line after "[SOURCE]" through "[/SOURCE]".
bool assemble_source(ParseState& ps);
// After parsing: branch targets and call targets.
bool resolve_operands(Runtime& rt, LoadFailure& failure);

}  // namespace qel
