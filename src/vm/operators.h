// Binary operators: the left operand is the Value under the top, the right one the top; the
// result replaces the left operand and the count drops by one. These are the complete rules;
// the interpreter inlines the int-int cases.
#pragma once
#include "vm/value.h"

namespace qel {

void op_add(ValueStack* s);
void op_sub(ValueStack* s);
void op_mul(ValueStack* s);
void op_div(ValueStack* s);
void op_rem(ValueStack* s);
void op_shl(ValueStack* s);
void op_shr(ValueStack* s);
void op_bor(ValueStack* s);
void op_bxor(ValueStack* s);
void op_band(ValueStack* s);
// beq, bne, bgt, blt, bge, ble by opcode number.
void op_compare(ValueStack* s, int opcode);

}  // namespace qel
