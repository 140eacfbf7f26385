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
    m.appendNarrow("native class ");
    m.appendNarrow(name);
    m.appendNarrow(" is not supported by this runtime build");
    raise_runtime_error(m);
}

void native_member(Runtime*, Frame*, void*, Instruction* ins) {
    WStr m{};
    m.appendNarrow(opcode_mnemonic(ins->opcode));
    m.appendNarrow(": native class members are not supported by this runtime build");
    raise_runtime_error(m);
}

}  // namespace qel
