// UTF-8 <-> UTF-16 conversion of our own, with the conventions of the Windows converters:
// n < 0 takes the input up to and including its terminator; a null output asks for the size.
// Ill-formed input becomes U+FFFD.
#pragma once

namespace qel {
int utf8_to_utf16(const char* in, int n, char16_t* out, int cap);
int utf16_to_utf8(const char16_t* in, int n, char* out, int cap);
}  // namespace qel
