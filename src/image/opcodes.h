// Opcode numbers, operand kinds and the table built from opcodes.def.
#pragma once
#include <cstdint>
#include <cstring>

namespace qel {

// How the assembler reads an opcode's operand and what it keeps of it (see opcodes.def).
enum class OperandKind : uint8_t {
    None, Method, Names, Literal, Hash, Variable, Branch, ComMember, Count, Field, TypeSize, Signature, Builtin,
};

enum Opcode : int32_t {
    kOpNone = 0,  // the empty record behind a source block; no mnemonic
#define OP(num, name, kind) kOp_##name = num,
#include "image/opcodes.def"
#undef OP
};

constexpr int kOpcodeCount = 0
#define OP(num, name, kind) +1
#include "image/opcodes.def"
#undef OP
    ;
// Numbers run 1 .. kOpcodeCount without gaps, so they index the table directly.
static_assert(kOp_throw == kOpcodeCount);

struct OpcodeEntry {
    uint8_t number;
    const char* mnemonic;
    OperandKind kind;
    uint8_t length;  // of the mnemonic
};

namespace opcode_detail {
constexpr uint8_t length_of(const char* s) {
    uint8_t n = 0;
    while (s[n]) ++n;
    return n;
}
}  // namespace opcode_detail

// The entries in number order: entry n - 1 is opcode n.
inline constexpr OpcodeEntry kOpcodeTable[kOpcodeCount] = {
#define OP(num, name, kind) {num, #name, OperandKind::kind, opcode_detail::length_of(#name)},
#include "image/opcodes.def"
#undef OP
};

namespace opcode_detail {
constexpr bool numbered_in_order() {
    for (int i = 0; i < kOpcodeCount; ++i)
        if (kOpcodeTable[i].number != i + 1) return false;
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

struct MnemonicIndex {
    uint8_t slots[kSlots];
};
constexpr MnemonicIndex build_index() {
    MnemonicIndex index{};
    for (int i = 0; i < kOpcodeCount; ++i) {
        uint32_t at = slot_of(kOpcodeTable[i].mnemonic, kOpcodeTable[i].length);
        while (index.slots[at]) at = (at + 1) % kSlots;
        index.slots[at] = static_cast<uint8_t>(i + 1);
    }
    return index;
}
inline constexpr MnemonicIndex kIndex = build_index();

inline uint32_t word_at(const char* s) {
    uint32_t w;
    std::memcpy(&w, s, 4);
    return w;
}

// The n bytes of a and b are equal; both hold at least n bytes.
inline bool same_text(const char* a, const char* b, uint32_t n) {
    if (n < 4) {
        for (uint32_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    // Words at the start and the end cover 4 to 8 bytes, with the one after the first up to 12.
    if (word_at(a) != word_at(b) || word_at(a + n - 4) != word_at(b + n - 4)) return false;
    return n <= 8 || (word_at(a + 4) == word_at(b + 4) && (n <= 12 || std::memcmp(a + 8, b + 8, n - 12) == 0));
}
}  // namespace opcode_detail

// The entry of a mnemonic of length bytes (the text need not end after them), or null.
[[gnu::always_inline]] inline const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic, uint32_t length) {
    using namespace opcode_detail;
    if (length == 0) return nullptr;
    for (uint32_t at = slot_of(mnemonic, length); kIndex.slots[at]; at = (at + 1) % kSlots) {
        const OpcodeEntry& e = kOpcodeTable[kIndex.slots[at] - 1];
        if (e.length == length && same_text(e.mnemonic, mnemonic, length)) return &e;
    }
    return nullptr;
}
const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic);
// A table by opcode number (0 .. kOpcodeCount) that marks the listed opcodes: a cheap test before
// a switch over a few of them.
struct OpcodeSet {
    bool has[kOpcodeCount + 1];
    constexpr bool operator[](int op) const { return op >= 0 && op <= kOpcodeCount && has[op]; }
};
template <typename... Ops>
constexpr OpcodeSet opcode_set(Ops... ops) {
    OpcodeSet s{};
    ((s.has[ops] = true), ...);
    return s;
}

// The opcodes of the table's entries for which keep(entry) holds, and the listed ones.
template <typename Keep, typename... Ops>
constexpr OpcodeSet opcodes_where(Keep keep, Ops... ops) {
    OpcodeSet s = opcode_set(ops...);
    for (const OpcodeEntry& e : kOpcodeTable)
        if (keep(e)) s.has[e.number] = true;
    return s;
}

// The opcodes whose records take a second record, their object slot: for a name, a class,
// a procedure or a signature resolved once, or an ldlong's or lddbl's 64 bits; and the method
// header, whose second record is the method's line.
inline constexpr OpcodeSet kWideRecords = opcodes_where(
    [](const OpcodeEntry& e) {
        using K = OperandKind;
        return e.kind == K::TypeSize || e.kind == K::ComMember || e.kind == K::Signature || e.kind == K::Names;
    },
    kOp_ldlong, kOp_lddbl, kOp_libproc, kOp_newobj, kOp_create, kOp_throw, kOp_ldcls);

// The entry of a number, or null outside 1 .. kOpcodeCount.
inline const OpcodeEntry* opcode_by_number(int number) {
    return number >= 1 && number <= kOpcodeCount ? &kOpcodeTable[number - 1] : nullptr;
}
// The mnemonic of a number ("" for an unknown number).
inline const char* opcode_mnemonic(int number) {
    const OpcodeEntry* e = opcode_by_number(number);
    return e ? e->mnemonic : "";
}

}  // namespace qel
