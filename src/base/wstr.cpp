#include "base/wstr.h"

#include <cstdlib>
#include <cstring>

#include "base/utf.h"

namespace qel {

const WChar kEmptyText[1] = {0};

namespace {

// The most units a buffer may hold: (n + 1) * 2 bytes stays far from the end of a 32-bit size,
// and the sum of two lengths cannot wrap.
constexpr uint32_t kMaxUnits = 0x3FFFFFFE;

// Reallocates the buffer to hold n units plus the terminator; capacity becomes n.
// On failure nothing changes and false is returned.
bool realloc_units(WStr& s, uint32_t n) {
    if (n > kMaxUnits) return false;
    auto* p = static_cast<WChar*>(std::realloc(s.buffer, (static_cast<size_t>(n) + 1) * sizeof(WChar)));
    if (!p) return false;
    if (!s.buffer) p[0] = 0;
    s.buffer = p;
    s.capacity = n;
    return true;
}

bool ensure(WStr& s, uint32_t n) { return s.capacity >= n && s.buffer ? true : realloc_units(s, n); }

// Room for n units when a string grows at its end: a half more than before, so that building a
// string piece by piece costs linear time.
bool grow(WStr& s, uint32_t n) {
    if (s.capacity >= n && s.buffer) return true;
    uint64_t more = static_cast<uint64_t>(s.capacity) + s.capacity / 2 + 8;
    return realloc_units(s, static_cast<uint32_t>(more > n ? (more < kMaxUnits ? more : kMaxUnits) : n));
}

// Room for n units when the old text is about to be overwritten: a new block without copying the
// old one. On failure nothing changes.
bool ensure_discarding(WStr& s, uint32_t n) {
    if (s.capacity >= n && s.buffer) return true;
    if (n > kMaxUnits) return false;
    // A buffer that is refilled with ever longer texts (a stack slot, a variable assigned in a
    // loop) grows by half again; a first buffer fits exactly.
    if (s.buffer) {
        uint64_t more = static_cast<uint64_t>(s.capacity) + s.capacity / 2;
        if (more > n) n = static_cast<uint32_t>(more < kMaxUnits ? more : kMaxUnits);
    }
    auto* p = static_cast<WChar*>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(WChar)));
    if (!p) return false;
    std::free(s.buffer);
    p[0] = 0;
    s.buffer = p;
    s.capacity = n;
    s.length = 0;
    return true;
}

WChar lower_unit(WChar c) { return (c >= u'A' && c <= u'Z') ? static_cast<WChar>(c + 32) : c; }

bool inside(const WStr& s, const WChar* p) { return s.buffer && p >= s.buffer && p <= s.buffer + s.capacity; }

}  // namespace

uint32_t wlen(const WChar* s) {
    uint32_t n = 0;
    while (s[n]) ++n;
    return n;
}

uint32_t wlen_max(const WChar* s, uint32_t max) {
    uint32_t k = 0;
    if ((reinterpret_cast<uintptr_t>(s) & 3) == 0) {
        // Eight units a step: a word holds two, and (x - 0x00010001) & ~x & 0x80008000 is not 0
        // exactly when one of them is 0.
        const auto* w = reinterpret_cast<const uint32_t*>(s);
        constexpr uint32_t kOnes = 0x00010001u, kHighs = 0x80008000u;
        auto zero_in = [](uint32_t x) { return (x - kOnes) & ~x; };
        for (; k + 8 <= max; k += 8) {
            const uint32_t* p = w + k / 2;
            if ((zero_in(p[0]) | zero_in(p[1]) | zero_in(p[2]) | zero_in(p[3])) & kHighs) break;
        }
    }
    while (k < max && s[k]) ++k;
    return k;
}

int wcompare(const WChar* a, const WChar* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (!*a) return 0;
    }
}

const WChar* WStr::text() const { return buffer ? buffer : kEmptyText; }

void WStr::clear() {
    std::free(buffer);
    buffer = nullptr;
    length = capacity = 0;
}

void WStr::reserve(int n) {
    if (n < 1) {
        clear();
        return;
    }
    if (capacity < static_cast<uint32_t>(n) || !buffer) realloc_units(*this, static_cast<uint32_t>(n));
}

void WStr::assign(const WStr& other) {
    if (&other == this) return;
    if (other.length == 0) {
        clear();
        return;
    }
    if (!ensure_discarding(*this, other.length)) return;
    std::memcpy(buffer, other.buffer, (static_cast<size_t>(other.length) + 1) * sizeof(WChar));
    length = other.length;
}

void WStr::swap(WStr& other) {
    WStr t = *this;
    *this = other;
    other = t;
}

void WStr::assign_wide(const WChar* s) {
    if (!s) s = kEmptyText;
    assign_wide(s, wlen(s));
}

void WStr::assign_wide(const WChar* s, uint32_t n) {
    if (!s) {
        s = kEmptyText;
        n = 0;
    }
    if (inside(*this, s)) {  // the source lives in our own buffer: move it to the front first
        std::memmove(buffer, s, n * sizeof(WChar));
        buffer[n] = 0;
        if (realloc_units(*this, n)) length = n;
        return;
    }
    if (!realloc_units(*this, n)) return;
    std::memcpy(buffer, s, n * sizeof(WChar));
    buffer[n] = 0;
    length = n;
}

void WStr::assign_narrow(const char* s) {
    if (!s) s = "";
    uint32_t n = static_cast<uint32_t>(std::strlen(s));
    if (!realloc_units(*this, n)) return;
    // The C runtime's narrow-to-wide conversion in the default locale: one unit per byte.
    for (uint32_t i = 0; i <= n; ++i) buffer[i] = static_cast<unsigned char>(s[i]);
    length = n;
}

void WStr::assign_utf8(const char* s, int n) {
    if (n < 0) n = static_cast<int>(std::strlen(s));
    if (n == 0) {
        clear();
        return;
    }
    int units = utf8_to_utf16(s, n, nullptr, 0);
    if (units <= 0 || !ensure(*this, static_cast<uint32_t>(units))) {
        clear();
        return;
    }
    units = utf8_to_utf16(s, n, buffer, units);
    buffer[units] = 0;
    length = static_cast<uint32_t>(units);
}

void WStr::set_char(WChar c) {
    if (!realloc_units(*this, 1)) return;
    buffer[0] = c;
    buffer[1] = 0;
    length = 1;
}

void WStr::append(const WStr& other) {
    uint32_t n = other.length;
    if (n == 0) return;
    if (length == 0) {
        assign(other);
        return;
    }
    if (!grow(*this, length + n)) return;
    std::memcpy(buffer + length, other.buffer, n * sizeof(WChar));  // other.buffer re-read after growth
    length += n;
    buffer[length] = 0;
}

void WStr::append_wide(const WChar* s) {
    if (!s) return;
    uint32_t n = wlen(s);
    if (n == 0) return;
    if (length == 0) {
        assign_wide(s, n);
        return;
    }
    append_units(s, n);
}

void WStr::append_n(const WChar* s, int n) {
    if (n <= 0 || !s) return;
    if (length == 0) {  // exactly the n units, whether or not a terminator follows them
        assign_wide(s, static_cast<uint32_t>(n));
        return;
    }
    append_units(s, static_cast<uint32_t>(n));
}

void WStr::append_units(const WChar* s, uint32_t n) {
    if (n == 0 || !s || n > kMaxUnits) return;
    if (inside(*this, s)) {  // appending a piece of ourselves: keep a copy across the reallocation
        auto* tmp = static_cast<WChar*>(std::malloc(n * sizeof(WChar)));
        if (!tmp) return;
        std::memcpy(tmp, s, n * sizeof(WChar));
        if (grow(*this, length + n)) {
            std::memcpy(buffer + length, tmp, n * sizeof(WChar));
            length += n;
            buffer[length] = 0;
        }
        std::free(tmp);
        return;
    }
    if (!grow(*this, length + n)) return;
    std::memcpy(buffer + length, s, n * sizeof(WChar));
    length += n;
    buffer[length] = 0;
}

void WStr::append_narrow(const char* s) {
    if (!s) return;
    uint32_t n = static_cast<uint32_t>(std::strlen(s));
    if (!realloc_units(*this, length + n)) return;
    for (uint32_t i = 0; i <= n; ++i) buffer[length + i] = static_cast<unsigned char>(s[i]);
    length += n;
    capacity = length;
}

void WStr::assign_latin1(const char* s, uint32_t n) {
    if (n == 0) {
        clear();
        return;
    }
    if (!ensure_discarding(*this, n)) return;
    for (uint32_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(s[i]);
    buffer[n] = 0;
    length = n;
}

void WStr::append_latin1(const char* s, uint32_t n) {
    if (n == 0) return;
    if (length == 0) {
        assign_latin1(s, n);
        return;
    }
    if (n > kMaxUnits || !grow(*this, length + n)) return;
    for (uint32_t i = 0; i < n; ++i) buffer[length + i] = static_cast<unsigned char>(s[i]);
    length += n;
    buffer[length] = 0;
}

bool WStr::equals(const WStr& other) const {
    if (length != other.length) return false;
    const WChar* a = text();
    const WChar* b = other.text();
    for (uint32_t i = 0; i < length; ++i) {
        if (a[i] != b[i]) return false;
        if (!a[i]) return true;
    }
    return true;
}

void WStr::insert(int index, const WStr& src) {
    if (index < 0 || src.length == 0) return;
    WStr copy{};
    const WStr* from = &src;
    if (&src == this) {
        copy.assign(src);
        from = &copy;
    }
    uint32_t n = from->length;
    if (!grow(*this, length + n)) {
        copy.clear();
        return;
    }
    uint32_t p = index >= 1 ? static_cast<uint32_t>(index - 1) : 0;
    if (p > length) p = length;  // beyond the end: append
    std::memmove(buffer + p + n, buffer + p, (static_cast<size_t>(length - p) + 1) * sizeof(WChar));
    std::memcpy(buffer + p, from->buffer, n * sizeof(WChar));
    length += n;
    copy.clear();
}

WChar* WStr::detach() {
    WChar* b = buffer;
    buffer = nullptr;
    length = capacity = 0;
    return b;
}

void WStr::adopt(WChar* buf, uint32_t n, uint32_t cap) {
    std::free(buffer);
    buffer = buf;
    length = n;
    capacity = cap;
}

void WStr::replace_all(const WStr& pattern, const WStr& replacement, bool case_sensitive) {
    if (length == 0 || pattern.length == 0) return;
    // Copy the pattern and the replacement first: either may be this very string.
    WStr pat{}, rep{};
    pat.assign(pattern);
    rep.assign(replacement);
    if (!pat.buffer) return;
    const uint32_t src_len = length, pat_len = pat.length;
    const uint32_t src_cap = capacity;
    WChar* source = detach();

    WChar* lowered = nullptr;
    if (!case_sensitive) {
        lowered = static_cast<WChar*>(std::malloc((static_cast<size_t>(src_len) + 1) * sizeof(WChar)));
        if (!lowered) {
            adopt(source, src_len, src_cap);
            pat.clear();
            rep.clear();
            return;
        }
        for (uint32_t i = 0; i <= src_len; ++i) lowered[i] = lower_unit(source[i]);
        for (uint32_t i = 0; i < pat_len; ++i) pat.buffer[i] = lower_unit(pat.buffer[i]);
    }
    const WChar* hay = case_sensitive ? source : lowered;
    bool found = false;
    uint32_t segment = 0, cursor = 0;
    while (cursor + pat_len <= src_len) {
        uint32_t m = cursor;
        bool hit = false;
        for (; m + pat_len <= src_len; ++m) {
            if (hay[m] == pat.buffer[0] && std::memcmp(hay + m, pat.buffer, pat_len * sizeof(WChar)) == 0) {
                hit = true;
                break;
            }
        }
        if (!hit) break;
        found = true;
        append_units(source + segment, m - segment);
        append(rep);
        cursor = segment = m + pat_len;
    }
    if (!found) {
        adopt(source, src_len, src_cap);
    } else {
        append_units(source + segment, src_len - segment);
        std::free(source);
    }
    std::free(lowered);
    pat.clear();
    rep.clear();
}

char* WStr::to_utf8(int* bytes) const {
    int n = utf16_to_utf8(text(), static_cast<int>(length) + 1, nullptr, 0);
    if (n <= 0) n = 1;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(n)));
    if (!out) return nullptr;
    if (utf16_to_utf8(text(), static_cast<int>(length) + 1, out, n) <= 0) {
        out[0] = 0;
        n = 1;
    }
    out[n - 1] = 0;
    if (bytes) *bytes = n;
    return out;
}

WStr* wstr_new() { return static_cast<WStr*>(std::calloc(1, sizeof(WStr))); }

void wstr_delete(WStr* s) {
    if (!s) return;
    std::free(s->buffer);
    std::free(s);
}

}  // namespace qel
