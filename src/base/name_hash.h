// The 32-bit name hash that every lookup of classes, methods, built-ins, procedures and hash-list
// keys compares: rotate left by 7, add the next byte as a signed 8-bit value (or the next UTF-16
// unit, zero-extended).
#pragma once
#include <cstdint>

namespace qel {

constexpr uint32_t name_hash_step(uint32_t h, uint32_t unit) { return ((h << 7) | (h >> 25)) + unit; }

constexpr uint32_t name_hash(const char* s) {
    uint32_t h = 0;
    for (; *s; ++s) h = name_hash_step(h, static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*s))));
    return h;
}

constexpr uint32_t name_hash(const char* s, int n) {
    uint32_t h = 0;
    for (int i = 0; i < n; ++i) h = name_hash_step(h, static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(s[i]))));
    return h;
}

constexpr uint32_t name_hash(const char16_t* s, uint32_t n) {
    uint32_t h = 0;
    for (uint32_t i = 0; i < n; ++i) h = name_hash_step(h, s[i]);
    return h;
}

static_assert(name_hash("") == 0);
static_assert(name_hash("Abs") == 0x107173);
static_assert(name_hash("Chr") == 0x10F472);
static_assert(name_hash("Format") == 0xFE5B732A);
static_assert(name_hash("list_create") == 0x20A214B9);
static_assert(name_hash("object_free") == 0x67A85E7C);
static_assert(name_hash("trace") == 0x4E5871EC);

}  // namespace qel
