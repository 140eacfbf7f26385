#include "platform/ansi_name.h"

#include "platform/platform.h"

namespace qel::platform {

char* to_ansi(const WStr& s) {
    int n = from_utf16(kCodePageAnsi, s.text(), static_cast<int>(s.length) + 1, nullptr, 0);
    if (n <= 0) n = 1;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(n)));
    if (!out) return nullptr;
    if (from_utf16(kCodePageAnsi, s.text(), static_cast<int>(s.length) + 1, out, n) <= 0) out[0] = 0;
    out[n - 1] = 0;
    return out;
}

}  // namespace qel::platform
