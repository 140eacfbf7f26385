// The assembler: one Instruction per source line through the opcode table, method headers into
// method records; branch operands resolved as each method ends, call operands as soon as their
// method has been read (at the latest once the whole image is).
#pragma once
#include <cstddef>
#include <cstdint>

#include "image/instruction.h"
#include "image/load_report.h"

namespace qel {

struct ParseState;
struct Program;

// The catalogue of built-ins lives above the image layer: the host installs its lookup here
// before anything is loaded. Returns the entry point of a name's NameHash, or null.
using BuiltinResolver = BuiltinFn (*)(uint32_t hash);
void set_builtin_resolver(BuiltinResolver resolver);

// What a method's records go through once its branches are resolved (its header first): the
// interpreter's preparation for dispatch, installed by the host. Without one, every record runs
// as its own opcode.
using MethodPreparer = void (*)(Instruction* const* body, size_t count);
void set_method_preparer(MethodPreparer preparer);

// One source block, from the line after "[SOURCE]" through "[/SOURCE]".
bool assemble_source(ParseState& ps);

// After the last source block: the last method's branches, then call names become method headers.
bool resolve_operands(ParseState& ps);

}  // namespace qel
