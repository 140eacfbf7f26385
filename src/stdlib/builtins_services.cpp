// Runtime services for scripts: the name hash, the random generator, arithmetic and bit helpers,
// colour and geometry helpers for the drawing code, and raw memory on the C heap.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "stdlib/builtin_support.h"
#include "base/name_hash.h"

namespace qel {

// ---- hash and random numbers ------------------------------------------------------------------

namespace {
// The generator of the standard library: one state word per thread, starting at 1.
thread_local uint32_t t_random_state = 1;

int32_t random_next() {
    t_random_state = t_random_state * 214013u + 2531011u;
    return static_cast<int32_t>((t_random_state >> 16) & 0x7FFF);
}
}  // namespace

void bi_Hash(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    WStr& s = top_string(f->stack);
    set_int(v, static_cast<int32_t>(name_hash(s.text(), s.length)));
}

// 1 .. n for n >= 1. A range of no numbers (n <= 0) gives 0 and leaves the generator as it was.
void bi_Random(Runtime* rt, Frame* f) {
    const int32_t n = pop_int(f->stack);
    push_int(f->stack, n > 0 ? 1 + random_next() % n : 0);
}

void bi_Randomize(Runtime*, Frame*) { t_random_state = static_cast<uint32_t>(std::time(nullptr)); }

// ---- arithmetic and bits ----------------------------------------------------------------------

void bi_Abs(Runtime* rt, Frame* f) {
    const int32_t v = pop_int(f->stack);
    // Negated in unsigned arithmetic: the most negative int stays as it is.
    push_int(f->stack, v < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v);
}

void bi_fAbs(Runtime* rt, Frame* f) {
    const double x = pop_double(f->stack);
    push_double(f->stack, std::bit_cast<double>(std::bit_cast<uint64_t>(x) & ~(uint64_t{1} << 63)));
}

namespace {
template <double (*Fn)(double)>
void unary_double(Frame* f) {
    const double x = pop_double(f->stack);
    push_double(f->stack, Fn(x));
}
double ceil_of(double x) { return std::ceil(x); }
double floor_of(double x) { return std::floor(x); }
double cos_of(double x) { return std::cos(x); }
double sin_of(double x) { return std::sin(x); }
double sqrt_of(double x) { return std::sqrt(x); }
}  // namespace

void bi_Ceil(Runtime* rt, Frame* f) { unary_double<ceil_of>(f); }
void bi_Floor(Runtime* rt, Frame* f) { unary_double<floor_of>(f); }
void bi_Cos(Runtime* rt, Frame* f) { unary_double<cos_of>(f); }
void bi_Sin(Runtime* rt, Frame* f) { unary_double<sin_of>(f); }
void bi_Sqrt(Runtime* rt, Frame* f) { unary_double<sqrt_of>(f); }

void bi_Pow(Runtime* rt, Frame* f) {
    const double y = pop_double(f->stack);
    const double x = pop_double(f->stack);
    push_double(f->stack, std::pow(x, y));
}

void bi_Max(Runtime* rt, Frame* f) {
    const double y = pop_double(f->stack);
    const double x = pop_double(f->stack);
    push_double(f->stack, y > x ? y : x);
}

void bi_Not(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    switch (v.tag) {
        case kTagBool:
        case kTagInt:
        case kTagPointer: set_bool(v, v.v.u == 0); break;
        case kTagLong:
        case kTagMethod: set_bool(v, v.v.l == 0); break;
        default: conversion_error(v.tag, "bool");
    }
}

// The complement of an int or a long, keeping the kind. A bool is refused: its complement would
// be a bool that is neither true nor false.
void bi_BNot(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    switch (v.tag) {
        case kTagInt: v.v.u = ~v.v.u; break;
        case kTagLong: v.v.l = ~v.v.l; break;
        default: conversion_error(v.tag, "int");
    }
}

// ---- colours ----------------------------------------------------------------------------------

namespace {
int32_t pack_bytes(uint32_t high, uint32_t b2, uint32_t b1, uint32_t low) {
    return static_cast<int32_t>((high & 255) << 24 | (b2 & 255) << 16 | (b1 & 255) << 8 | (low & 255));
}


// Base-16 reading of the digits as the C library reads them: up to the first unit that is not
// a hexadecimal digit.
uint32_t read_hex(const char16_t* digits, int n) {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) {
        const int d = hex_digit(digits[i]);
        if (d < 0) break;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return value;
}

// Null and the addresses no system maps (the lowest and highest 64 KB) are refused.
void check_pointer(const void* p, const char* builtin) {
    if (invalid_address(p))
        raise_runtime_error((std::string(p ? "Invalid pointer passed to " : "Null pointer passed to ") + builtin).c_str());
}

// A float to a byte as a truncating x86 conversion does: the low byte of the truncated integer,
// 0 when the value has no 32-bit integer (NaN, infinities, out of range).
uint32_t truncated_byte(double x) {
    if (!(x > -2147483649.0 && x < 2147483648.0)) return 0;
    return static_cast<uint32_t>(static_cast<int32_t>(x)) & 255;
}
}  // namespace

void bi_RGB(Runtime* rt, Frame* f) {
    const int32_t b = pop_int(f->stack);
    const int32_t g = pop_int(f->stack);
    const int32_t r = pop_int(f->stack);
    push_int(f->stack, pack_bytes(0, static_cast<uint32_t>(b), static_cast<uint32_t>(g), static_cast<uint32_t>(r)));
}

void bi_MakeARGB(Runtime* rt, Frame* f) {
    const int32_t b = pop_int(f->stack);
    const int32_t g = pop_int(f->stack);
    const int32_t r = pop_int(f->stack);
    const int32_t a = pop_int(f->stack);
    push_int(f->stack, pack_bytes(static_cast<uint32_t>(a), static_cast<uint32_t>(r), static_cast<uint32_t>(g),
                                  static_cast<uint32_t>(b)));
}

void bi_ColorToRGB(Runtime* rt, Frame* f) {
    const int32_t c = pop_int(f->stack);
    push_int(f->stack, c < 0 ? static_cast<int32_t>(platform::sys_color(c & 255)) : c);
}

void bi_GetRValue(Runtime* rt, Frame* f) { push_int(f->stack, pop_int(f->stack) & 255); }
void bi_GetGValue(Runtime* rt, Frame* f) { push_int(f->stack, (pop_int(f->stack) >> 8) & 255); }
void bi_GetBValue(Runtime* rt, Frame* f) { push_int(f->stack, (pop_int(f->stack) >> 16) & 255); }

// "#RRGGBB" gives 0x00BBGGRR (the digit pairs of red and blue trade places); "#AARRGGBB" is read
// as it stands; any other length gives 0.
void bi_HexColor(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    const WStr& s = top_string(f->stack);
    uint32_t color = 0;
    if (s.length == 7) {
        const char16_t* t = s.text();
        const char16_t swapped[6] = {t[5], t[6], t[3], t[4], t[1], t[2]};
        color = read_hex(swapped, 6);
    } else if (s.length == 9) {
        color = read_hex(s.text() + 1, 8);
    }
    set_int(v, static_cast<int32_t>(color));
}

// A D2D colour is four floats r, g, b, a from 0 to 1.
void bi_ARGBToD2DColor(Runtime* rt, Frame* f) {
    auto* dst = static_cast<float*>(pop_pointer(f->stack));
    const auto argb = static_cast<uint32_t>(pop_int(f->stack));
    check_pointer(dst, "ARGBToD2DColor");
    const float channels[4] = {static_cast<float>((argb >> 16) & 255) / 255.0f,
                               static_cast<float>((argb >> 8) & 255) / 255.0f, static_cast<float>(argb & 255) / 255.0f,
                               static_cast<float>(argb >> 24) / 255.0f};
    std::memcpy(dst, channels, sizeof channels);
}

void bi_D2DColorToARGB(Runtime* rt, Frame* f) {
    const auto* src = static_cast<const float*>(pop_pointer(f->stack));
    check_pointer(src, "D2DColorToARGB");
    float c[4];
    std::memcpy(c, src, sizeof c);
    // The products are exact in double, so a colour made by ARGBToD2DColor comes back unchanged.
    const uint32_t r = truncated_byte(c[0] * 255.0), g = truncated_byte(c[1] * 255.0),
                   b = truncated_byte(c[2] * 255.0), a = truncated_byte(c[3] * 255.0);
    push_int(f->stack, pack_bytes(a, r, g, b));
}

// ---- geometry ---------------------------------------------------------------------------------

void bi_D2DPoint2F(Runtime* rt, Frame* f) {
    const float y = static_cast<float>(pop_double(f->stack));
    const float x = static_cast<float>(pop_double(f->stack));
    const uint64_t bits = uint64_t{std::bit_cast<uint32_t>(y)} << 32 | std::bit_cast<uint32_t>(x);
    push_long(f->stack, static_cast<int64_t>(bits));
}

namespace {
// A RectF {left, top, width, height} as whole-number edges.
struct Edges {
    double left, top, right, bottom;
};

Edges edges_of(const void* rect) {
    float r[4];
    std::memcpy(r, rect, sizeof r);
    const double left = r[0], top = r[1];
    return {std::trunc(left), std::trunc(top), std::trunc(left + r[2]), std::trunc(top + r[3])};
}
}  // namespace

// The intersection of the rectangles a and b into out (which may be one of them, or null).
// Rectangles that only touch along an edge meet, with a width or height of 0.
void bi_ClipRectF(Runtime* rt, Frame* f) {
    const void* b = pop_pointer(f->stack);
    const void* a = pop_pointer(f->stack);
    void* out = pop_pointer(f->stack);
    check_pointer(a, "ClipRectF");
    check_pointer(b, "ClipRectF");
    const Edges ea = edges_of(a), eb = edges_of(b);
    float result[4] = {0, 0, 0, 0};
    const bool meet = !(ea.right < eb.left || ea.left > eb.right || ea.bottom < eb.top || ea.top > eb.bottom);
    if (meet) {
        const double left = std::max(ea.left, eb.left), top = std::max(ea.top, eb.top);
        result[0] = static_cast<float>(left);
        result[1] = static_cast<float>(top);
        result[2] = static_cast<float>(std::min(ea.right, eb.right) - left);
        result[3] = static_cast<float>(std::min(ea.bottom, eb.bottom) - top);
    }
    if (out) std::memcpy(out, result, sizeof result);
    push_bool(f->stack, meet);
}

// ---- memory -----------------------------------------------------------------------------------
// Plain C heap blocks, so that scripts, native code and the runtime can free each other's.
// A negative size cannot be allocated (the result is 0); a negative count of bytes to copy,
// fill or compare, or a null address with bytes to touch, is a runtime error.

namespace {
size_t byte_count(int32_t n, const char* builtin) {
    if (n < 0) raise_runtime_error((std::string("Negative size passed to ") + builtin).c_str());
    return static_cast<size_t>(n);
}
}  // namespace

void bi_malloc(Runtime* rt, Frame* f) {
    const int32_t size = pop_int(f->stack);
    push_pointer(f->stack, size < 0 ? nullptr : std::malloc(static_cast<size_t>(size)));
}

void bi_calloc(Runtime* rt, Frame* f) {
    const int32_t size = pop_int(f->stack);
    const int32_t count = pop_int(f->stack);
    void* p = count < 0 || size < 0 ? nullptr : std::calloc(static_cast<size_t>(count), static_cast<size_t>(size));
    push_pointer(f->stack, p);
}

void bi_free(Runtime* rt, Frame* f) {
    void* p = pop_pointer(f->stack);
    if (p) check_pointer(p, "free");
    std::free(p);
}

// memcpy and memmove: overlapping blocks are allowed for both.
void bi_memcpy(Runtime* rt, Frame* f) {
    const size_t n = byte_count(pop_int(f->stack), "memcpy");
    const void* src = pop_pointer(f->stack);
    void* dst = pop_pointer(f->stack);
    if (n) {
        check_pointer(dst, "memcpy");
        check_pointer(src, "memcpy");
        std::memmove(dst, src, n);
    }
    push_pointer(f->stack, dst);
}

void bi_memset(Runtime* rt, Frame* f) {
    const size_t n = byte_count(pop_int(f->stack), "memset");
    const int32_t value = pop_int(f->stack);
    void* p = pop_pointer(f->stack);
    if (n) {
        check_pointer(p, "memset");
        std::memset(p, value & 255, n);
    }
    push_pointer(f->stack, p);
}

void bi_memcmp(Runtime* rt, Frame* f) {
    const size_t n = byte_count(pop_int(f->stack), "memcmp");
    const void* b = pop_pointer(f->stack);
    const void* a = pop_pointer(f->stack);
    int result = 0;
    if (n) {
        check_pointer(a, "memcmp");
        check_pointer(b, "memcmp");
        result = std::memcmp(a, b, n);
    }
    push_int(f->stack, result < 0 ? -1 : result > 0 ? 1 : 0);
}

void bi_memdup(Runtime* rt, Frame* f) {
    const int32_t n = pop_int(f->stack);
    const void* p = pop_pointer(f->stack);
    if (n > 0) check_pointer(p, "memdup");
    // At least one byte, so that a copy of nothing is still a block and not the failure value.
    void* copy = n < 0 ? nullptr : std::malloc(n > 0 ? static_cast<size_t>(n) : 1);
    if (copy && n > 0) std::memcpy(copy, p, static_cast<size_t>(n));
    push_pointer(f->stack, copy);
}

void bi_address(Runtime* rt, Frame* f) {
    const auto index = static_cast<uint32_t>(pop_int(f->stack));
    const auto base = reinterpret_cast<uintptr_t>(pop_pointer(f->stack));
    push_pointer(f->stack, reinterpret_cast<void*>(base + static_cast<uintptr_t>(4u * index)));
}

}  // namespace qel
