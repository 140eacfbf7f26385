// Object markup: the writer that turns an object, its published members, its child objects and
// its collection items into lines of a string list, and the reader that builds object trees from
// that text through the class registry and member access by name.
#pragma once
#include <cstdint>

#include "base/ptr_list.h"
#include "formats/markup_records.h"
#include "types/descriptors.h"

namespace qel {

struct Runtime;
struct Frame;

// Appends the markup of obj under its alias (from aliases, a string list of tag names whose
// objects are ClassDescs, may be null) or its class name. False when a script getter left an
// exception pending on f; the lines written so far stay. A cycle of child objects, or a chain of
// them deeper than kMarkupMaxDepth, raises a runtime error.
bool markup_write(Runtime* rt, Frame* f, void* obj, const PtrList* aliases, PtrList* target);

constexpr int kMarkupMaxDepth = 1000;

// Parses p->source (a copy of it: the source string is left as it was) and builds what it
// describes. False when a handler, constructor or accessor left an exception pending on f.
// Unresolvable names raise the runtime errors of the format.
bool markup_read(Runtime* rt, Frame* f, CMarkupParser* p);

// A class is a collection when it is or derives from CCollection. Its items are the PtrList held
// by the first field of the class CList in its chain (null when there is none).
bool is_collection(const CClass* c);
PtrList* collection_items(void* obj, const CClass* c);

}  // namespace qel
