// Names given to lookups at run time travel in the system ANSI code page, as the descriptors
// hold their names.
#pragma once
#include <cstdlib>

#include "base/runtime_error.h"
#include "base/wstr.h"

namespace qel::platform {

// The text as a new malloc'ed byte string in the ANSI code page; null when memory runs out.
char* to_ansi(const WStr& s);

// A name converted for the length of a lookup.
struct AnsiName {
    char* text;
    explicit AnsiName(const WStr& name) : text(to_ansi(name)) {
        if (!text) raise_runtime_error("Out of memory");
    }
    ~AnsiName() { std::free(text); }
    AnsiName(const AnsiName&) = delete;
    AnsiName& operator=(const AnsiName&) = delete;
};

}  // namespace qel::platform
