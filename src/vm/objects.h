// Script objects and structs: plain blocks laid out by their class. Creation, string fields,
// virtual dispatch and release.
#pragma once
#include <cstdint>

#include "base/runtime_error.h"
#include "types/descriptors.h"
#include "vm/runtime.h"

namespace qel {

// A zero-filled block of the class's size with its string fields created; no class pointer is
// written and no constructor runs. Null when the memory cannot be had.
void* allocate_instance(const CClass* c);
// Walk the class and its bases; create (or free) the WStr of every string field.
void create_string_fields(void* instance, const CClass* c);
void free_string_fields(void* instance, const CClass* c);
// Frees the string fields along the chain and the block; runs no destructor.
void free_struct(const CClass* c, void* block);

}  // namespace qel

namespace qel {

struct Runtime;
struct Frame;
struct Instruction;

// newobj and New: creates an object of class c and pushes it (structs are allocated, internal
// classes come from the native factory, script classes run their constructor).
void create_object(Runtime* rt, CClass* c, Frame* f);
// create: runs the base class's constructor on the frame's this.
void construct_in_place(Runtime* rt, CClass* c, Frame* f);
// object_free: destructors from the most derived class up, string fields, the block.
void release_object(Runtime* rt, void* obj, Frame* f);
// callvirt: the most derived method with that short-name hash, run on obj; nothing when none.
void dispatch_by_hash(Runtime* rt, uint32_t hash, void* obj, Frame* f);

// Releases every non-null element of the list as a script object (destructors run on the frame),
// then clears it. The list is emptied before the first release, so destructors that touch the
// list see it empty; an element listed twice is released once. When a destructor leaves an
// exception pending on the frame, the release stops and the unreleased elements stay listed.
void clear_objects(Runtime* rt, PtrList& list, Frame* f);
// Frees every element: as script objects when item_class is an object class; otherwise as heap
// blocks, releasing first the string fields of the record type item_class (when given).
void clear_items(Runtime* rt, PtrList& list, const CClass* item_class, Frame* f);

// The class of a script object: its first word, unchecked.
inline CClass* class_of(const void* obj) { return *static_cast<CClass* const*>(obj); }

// The class of what a script hands over as an object: null, a low address and a block whose first
// word is not a class of the program are refused with what + " a null object" or what +
// " an invalid object" ("Method call on", "Release of", ...).
[[noreturn]] void refuse_object(const void* obj, const char* what);
inline CClass* object_class(Runtime* rt, const void* obj, const char* what) {
    if (invalid_address(obj)) refuse_object(obj, what);
    CClass* c = class_of(obj);
    if (!rt->program.class_index.has(c)) refuse_object(obj, what);
    return c;
}

}  // namespace qel
