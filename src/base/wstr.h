// WStr: the runtime's one text type. Three words {buffer, length, capacity}; a null buffer is the
// empty string, so a zero-filled WStr is valid. Buffers come from the C heap (malloc/realloc),
// assignments fit exactly and growth at the end is geometric, copies are deep. Scripts and native code read this layout directly.
#pragma once
#include <cstdint>

namespace qel {

using WChar = char16_t;

struct WStr {
    WChar* buffer;
    uint32_t length;
    uint32_t capacity;

    // The text, or a shared constant empty text when there is no buffer.
    const WChar* text() const;
    bool empty() const { return length == 0; }

    void clear();
    // Room for n units (n < 1 clears). Length and text stay.
    void reserve(int n);
    void assign(const WStr& other);
    void assign_wide(const WChar* s);
    void assign_wide(const WChar* s, uint32_t n);  // n units, not necessarily terminated
    void assign_narrow(const char* s);
    void assign_utf8(const char* s, int n = -1);
    void set_char(WChar c);
    void append(const WStr& other);
    void append_wide(const WChar* s);
    void append_n(const WChar* s, int n);  // n units of s (callers keep a 0 unit after them)
    void append_units(const WChar* s, uint32_t n);  // n units, terminator written here
    void append_narrow(const char* s);
    // n bytes of s, a unit each (Latin-1): in place of the text, keeping its room as assign does;
    // after the text, growing as append does.
    void assign_latin1(const char* s, uint32_t n);
    void append_latin1(const char* s, uint32_t n);
    bool equals(const WStr& other) const;
    void insert(int index, const WStr& src);
    void replace_all(const WStr& pattern, const WStr& replacement, bool case_sensitive);
    // Exchanges the two strings' buffers (nothing is copied).
    void swap(WStr& other);
    // Hands the buffer over to the caller; the WStr becomes empty.
    WChar* detach();
    // Takes ownership of a heap buffer holding n units and a terminator, capacity cap.
    void adopt(WChar* buf, uint32_t n, uint32_t cap);

    // Converts to a new malloc'ed UTF-8 string; *bytes receives the size including the terminator.
    char* to_utf8(int* bytes = nullptr) const;
};
static_assert(sizeof(WStr) == 12 && alignof(WStr) == 4);

WStr* wstr_new();             // zero-filled, on the C heap
void wstr_delete(WStr* s);    // frees buffer and record; null is ignored

// Number of units before the terminator.
uint32_t wlen(const WChar* s);
// The same, but at most max units are looked at (four at a step where the text is aligned).
uint32_t wlen_max(const WChar* s, uint32_t max);
// Unsigned unit comparison up to the first difference or terminator: -1, 0 or 1.
int wcompare(const WChar* a, const WChar* b);

extern const WChar kEmptyText[1];

// The value of a hexadecimal digit of either case (a byte or a UTF-16 unit), or -1.
constexpr int hex_digit(uint32_t c) {
    return c >= '0' && c <= '9' ? static_cast<int>(c - '0')
           : c >= 'a' && c <= 'f' ? static_cast<int>(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? static_cast<int>(c - 'A' + 10)
                                  : -1;
}

}  // namespace qel
