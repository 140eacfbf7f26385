#include "native/native_bridge.h"

#include "image/instruction.h"
#include "image/opcodes.h"
#include "base/wstr.h"
#include "base/runtime_error.h"

namespace qel {

namespace {
[[noreturn]] void unsupported(const Instruction* ins, const char* what) {
    WStr m{};
    m.append_narrow(opcode_mnemonic(ins->opcode));
    if (ins->name) {
        m.append_narrow(" ");
        m.append_narrow(ins->name);
    }
    m.append_narrow(": ");
    m.append_narrow(what);
    m.append_narrow(" are not supported by this runtime build");
    raise_runtime_error(m);
}
}  // namespace

void native_libproc(Runtime*, Frame*, Instruction* ins) { unsupported(ins, "native procedure calls"); }
void native_callcvirt(Runtime*, Frame*, Instruction* ins) { unsupported(ins, "native interface calls"); }
void native_com(Runtime*, Frame*, Instruction* ins) { unsupported(ins, "COM automation calls"); }

}  // namespace qel
