// Calls into native code from script code: declared procedures (libproc), slots of native
// interfaces (callcvirt) and COM automation (comget, comset).
#pragma once

namespace qel {

struct Runtime;
struct Frame;
struct Instruction;

void native_libproc(Runtime* rt, Frame* f, Instruction* ins);
void native_callcvirt(Runtime* rt, Frame* f, Instruction* ins);
void native_com(Runtime* rt, Frame* f, Instruction* ins);

}  // namespace qel
