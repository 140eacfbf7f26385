// Opcode numbers, operand kinds and the table built from opcodes.def.
#pragma once
#include <cstdint>

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

// The entries in number order: entry n - 1 is opcode n.
extern const OpcodeEntry kOpcodeTable[kOpcodeCount];

// The entry of a mnemonic of length bytes (the text need not end after them), or null.
const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic, uint32_t length);
const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic);
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
