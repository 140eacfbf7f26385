// Authoring text -> image text. Authoring text is image text with conveniences: LF or CR LF line
// ends, blank lines and ';' comment lines dropped, leading and trailing blanks trimmed,
// #include "path" (relative to the including file), and in source blocks labels "@name:" that
// branch operands ("@name" after cmp, jmp, cmpjmp, try, catch) refer to.
#pragma once
#include <string>
#include <vector>

namespace qelasm {

// Builds the image text of the files in order: CR LF after every line and a NUL at the end.
// On failure returns false and sets error to "file:line: what".
// When deps is given it receives every file read, includes included.
bool build_image_text(const std::vector<std::string>& files, std::string* out, std::string* error,
                      std::vector<std::string>* deps = nullptr);

// The same over text held in memory (named for messages; includes are relative to base_dir).
bool build_image_text_from(const std::string& text, const std::string& name, const std::string& base_dir,
                           std::string* out, std::string* error);

// Deflates the text into a "ql" container file.
bool write_image(const std::string& text, const std::string& path, std::string* error);
// Reads a container file and inflates it.
bool read_image(const std::string& path, std::string* text, std::string* error);
// Writes host + container + trailer, so that the host runs the image when started without arguments.
bool bundle(const std::string& host, const std::string& image, const std::string& out, std::string* error);

}  // namespace qelasm
