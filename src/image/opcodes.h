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
};

// The entry of a mnemonic (found by its NameHash, then compared), or null.
const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic);
// The entry of a number, or null outside 1 .. kOpcodeCount.
const OpcodeEntry* opcode_by_number(int number);
// The mnemonic of a number ("" for an unknown number).
const char* opcode_mnemonic(int number);

}  // namespace qel
