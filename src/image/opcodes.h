// Opcode numbers and the opcode table the Runtime builds from opcodes.def.
#pragma once
#include <cstdint>

#include "stdlib/ptr_list.h"

namespace qel {

enum Opcode : int32_t {
    kOpNone = 0,
#define OP(num, name, kind) kOp_##name = num,
#include "image/opcodes.def"
#undef OP
    kOpcodeCount = 132,
};

struct OpcodeEntry {
    uint8_t number;
    const char* mnemonic;
    uint8_t kind;
};

// Fills the table (a PtrList of OpcodeEntry*) in table order.
void opcode_table_init(PtrList& table);
void opcode_table_release(PtrList& table);
const OpcodeEntry* opcode_by_mnemonic(const PtrList& table, const char* mnemonic);
const OpcodeEntry* opcode_by_number(const PtrList& table, int number);
// The mnemonic of a number from the static list ("" for an unknown number).
const char* opcode_mnemonic(int number);

}  // namespace qel
