#include "image/opcodes.h"

namespace qel {

const OpcodeEntry* opcode_by_mnemonic(const char* mnemonic) {
    return opcode_by_mnemonic(mnemonic, static_cast<uint32_t>(std::strlen(mnemonic)));
}

}  // namespace qel
