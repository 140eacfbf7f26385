// The built-in native pointer classes (PInt, PChar, PString, ...): their objects are raw
// memory blocks, and the class named in an instruction decides how a member reads them.
#pragma once

namespace qel {

struct Runtime;
struct Frame;
struct Instruction;

// newobj of an internal class: pops the argument and returns the new block (null for an unknown
// class name or when memory runs out).
void* native_object_create(Runtime* rt, const char* class_name, Frame* f);

// callreal, ldnpp, stnpp, ldfld, stfld on a native object: the object was popped already.
void native_member(Runtime* rt, Frame* f, void* object, Instruction* ins);

}  // namespace qel
