// The section loop over the image text: manifest, metadata, resources and source blocks.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "image/line_reader.h"
#include "image/load_report.h"
#include "image/program.h"

namespace qel {

struct ParseState {
    Program& program;
    LineReader reader;
    Instruction* current = nullptr;  // the trailing empty record of the chain
    LoadReport& report;
    // The records of the method being assembled (its header first) and its branches, settled when
    // the method ends; the calls of methods not read yet, bound once every method is known.
    std::vector<Instruction*> body;
    std::vector<std::pair<Instruction*, int32_t>> branches;  // with their lines
    std::vector<std::pair<Instruction*, char*>> calls;  // with the name each was written with
    int32_t last_line = 0;  // the line of the last record assembled
    // Short texts met before, by a hash of their bytes (the last of each hash): equal short
    // literals and variable type lists share one copy, as they are only ever read.
    static constexpr uint32_t kSharedTexts = 256;  // a byte's worth
    static constexpr uint32_t kShortText = 32;
    Literal* short_literals[kSharedTexts] = {};
    char* var_types[kSharedTexts] = {};

    bool fail(int at_line, std::string what) { return report.fail(at_line, std::move(what)); }
    // The line of the next token to be read.
    int line() const { return reader.lineno + 1; }
};

// Parses the whole text (cut in place) into the program: sections, layout, accessors, and the
// branch and call operands. False, with the reason in the report, when the image is malformed.
bool parse_image(Program& program, char* text, LoadReport& report);
// The same for a text read while it is inflated.
struct StreamedText;
bool parse_image(Program& program, StreamedText& text, LoadReport& report);

// What a `proc` line hands on: the registration that loads the library and binds the entry point
// (installed by the host; without one a declaration is only recorded). Null when the declaration
// is not registered.
using ProcRegistrar = CLibProc* (*)(ProcRegistry& reg, const char* library, const char* name, char return_type,
                                    const char* param_types, uint8_t convention, bool late);
void set_proc_registrar(ProcRegistrar registrar);

}  // namespace qel
