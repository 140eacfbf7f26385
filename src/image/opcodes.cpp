#include "image/opcodes.h"

#include <array>
#include <cstring>

#include "base/name_hash.h"

namespace qel {

constexpr OpcodeEntry kOpcodeTable[kOpcodeCount] = {
#define OP(num, name, kind) {num, #name, OperandKind::kind},
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

// Open addressing over the mnemonics' NameHashes: slot -> table index + 1 (0 is empty).
constexpr int kSlots = 512;
static_assert(kSlots >= 2 * kOpcodeCount);

constexpr std::array<uint8_t, kSlots> build_index() {
    std::array<uint8_t, kSlots> slots{};
    for (int i = 0; i < kOpcodeCount; ++i) {
        uint32_t at = name_hash(kOpcodes[i].mnemonic) % kSlots;
        while (slots[at]) at = (at + 1) % kSlots;
        slots[at] = static_cast<uint8_t>(i + 1);
    }
    return slots;
}
constexpr auto kIndex = build_index();
}  // namespace

const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic) {
    for (uint32_t at = name_hash(mnemonic) % kSlots; kIndex[at]; at = (at + 1) % kSlots) {
        const OpcodeEntry& e = kOpcodes[kIndex[at] - 1];
        if (std::strcmp(e.mnemonic, mnemonic) == 0) return &e;
    }
    return nullptr;
}


}  // namespace qel
