#include "image/opcodes.h"

#include <cstring>

namespace qel {

namespace {
const OpcodeEntry kOpcodes[] = {
#define OP(num, name, kind) {num, #name, kind},
#include "image/opcodes.def"
#undef OP
};
static_assert(sizeof kOpcodes / sizeof kOpcodes[0] == 131);
}  // namespace

void opcode_table_init(PtrList& table) {
    table = PtrList{};
    table.setCapacity(131);
    for (const OpcodeEntry& e : kOpcodes) table.add(const_cast<OpcodeEntry*>(&e));
}

void opcode_table_release(PtrList& table) { table.clear(); }

const OpcodeEntry* opcode_by_mnemonic(const PtrList& table, const char* mnemonic) {
    for (int32_t i = 0; i < table.count; ++i) {
        auto* e = static_cast<const OpcodeEntry*>(table[i]);
        if (e->mnemonic[0] == mnemonic[0] && std::strcmp(e->mnemonic, mnemonic) == 0) return e;
    }
    return nullptr;
}

const OpcodeEntry* opcode_by_number(const PtrList& table, int number) {
    for (int32_t i = 0; i < table.count; ++i) {
        auto* e = static_cast<const OpcodeEntry*>(table[i]);
        if (e->number == number) return e;
    }
    return nullptr;
}

const char* opcode_mnemonic(int number) {
    return number >= 1 && number <= 131 ? kOpcodes[number - 1].mnemonic : "";
}

}  // namespace qel
