#include "image/opcodes.h"

#include <array>
#include <cstring>

namespace qel {

namespace {
constexpr uint8_t length_of(const char* s) {
    uint8_t n = 0;
    while (s[n]) ++n;
    return n;
}
}  // namespace

constexpr OpcodeEntry kOpcodeTable[kOpcodeCount] = {
#define OP(num, name, kind) {num, #name, OperandKind::kind, length_of(#name)},
#include "image/opcodes.def"
#undef OP
};

namespace {
constexpr const OpcodeEntry* kOpcodes = kOpcodeTable;

constexpr bool numbered_in_order() {
    for (int i = 0; i < kOpcodeCount; ++i)
        if (kOpcodes[i].number != i + 1) return false;
    return true;
}
static_assert(numbered_in_order(), "opcodes.def must list the numbers 1, 2, 3 ... in order");

// Open addressing over a key made of the length and four characters (the first, third, fourth and
// last): the families of typed loads and stores differ in those. Slot -> table index + 1 (0 is
// empty); a found entry is then compared in full.
constexpr int kSlotBits = 9;
constexpr uint32_t kSlots = 1u << kSlotBits;
static_assert(kSlots >= 2 * kOpcodeCount);

constexpr uint32_t slot_of(const char* s, uint32_t n) {
    const auto at = [&](uint32_t i) { return i < n ? static_cast<uint32_t>(static_cast<unsigned char>(s[i])) : 0u; };
    const uint32_t key = (at(0) | at(2) << 8 | at(3) << 16 | at(n - 1) << 24) ^ n;
    return (key * 2654435761u) >> (32 - kSlotBits);
}

constexpr std::array<uint8_t, kSlots> build_index() {
    std::array<uint8_t, kSlots> slots{};
    for (int i = 0; i < kOpcodeCount; ++i) {
        uint32_t at = slot_of(kOpcodes[i].mnemonic, kOpcodes[i].length);
        while (slots[at]) at = (at + 1) % kSlots;
        slots[at] = static_cast<uint8_t>(i + 1);
    }
    return slots;
}
constexpr auto kIndex = build_index();
}  // namespace

namespace {
uint32_t word_at(const char* s) {
    uint32_t w;
    std::memcpy(&w, s, 4);
    return w;
}

// The n bytes of a and b are equal; both hold at least n bytes.
bool same_text(const char* a, const char* b, uint32_t n) {
    if (n < 4) {
        for (uint32_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    // Words at the start and the end cover 4 to 8 bytes, with one in the middle up to 12.
    if (word_at(a) != word_at(b) || word_at(a + n - 4) != word_at(b + n - 4)) return false;
    for (uint32_t i = 4; i + 4 < n; i += 4)
        if (word_at(a + i) != word_at(b + i)) return false;
    return true;
}
}  // namespace

const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic, uint32_t length) {
    if (length == 0) return nullptr;
    for (uint32_t at = slot_of(mnemonic, length); kIndex[at]; at = (at + 1) % kSlots) {
        const OpcodeEntry& e = kOpcodes[kIndex[at] - 1];
        if (e.length == length && same_text(e.mnemonic, mnemonic, length)) return &e;
    }
    return nullptr;
}

const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic) {
    return opcode_by_mnemonic(mnemonic, static_cast<uint32_t>(std::strlen(mnemonic)));
}

}  // namespace qel
