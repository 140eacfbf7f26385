// The standard-error form of a message box: "caption: text" (the text alone without a caption),
// CR LF turned into LF, one LF at the end, in UTF-8.
#pragma once
#include <string>

namespace qel::platform {
std::string box_text_for_stderr(const char16_t* caption, const char16_t* text);
std::string utf8_of(const char16_t* text, int n = -1);
}  // namespace qel::platform
