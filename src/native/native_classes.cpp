#include "native/native_classes.h"

#include <cstdlib>
#include <cstring>

#include "image/instruction.h"
#include "image/opcodes.h"
#include "base/wstr.h"
#include "vm/frame.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

void* native_object_create(Runtime*, const char* name, Frame*) {
    WStr m{};
    m.append_narrow("native class ");
    m.append_narrow(name);
    m.append_narrow(" is not supported by this runtime build");
    raise_runtime_error(m);
}

void native_member(Runtime*, Frame*, void*, Instruction* ins) {
    WStr m{};
    m.append_narrow(opcode_mnemonic(ins->opcode));
    m.append_narrow(": native class members are not supported by this runtime build");
    raise_runtime_error(m);
}

}  // namespace qel
