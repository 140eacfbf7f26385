// Calls into native code from script code: declared procedures (libproc), slots of native
// interfaces (callcvirt), calls through an address with a signature given at run time, and COM
// automation (comget, comset).
#pragma once

namespace qel {

struct Runtime;
struct Frame;
struct Instruction;
struct ValueStack;

void native_libproc(Runtime* rt, Frame* f, Instruction* ins);
void native_callcvirt(Runtime* rt, Frame* f, Instruction* ins);
void native_com(Runtime* rt, Frame* f, Instruction* ins);

// Pops the convention (int), the parameter codes (string), the result code (int) and the address
// (pointer), then the arguments, and calls the address like a declared procedure.
void native_call_address(ValueStack* stack);

}  // namespace qel
