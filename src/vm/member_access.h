// Reading and writing fields and properties of an object given the member's name.
#pragma once
#include "base/wstr.h"
#include "types/descriptors.h"

namespace qel {

struct Runtime;
struct Frame;

// cls null: start at the object's own class. A member that is not found changes nothing; an object
// that is not one (or a cls that is not a class) is refused.
void set_field_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f);
void get_field_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f);
void set_property_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f);
void get_property_by_name(Runtime* rt, void* obj, const CClass* cls, const WStr& name, Frame* f);
// A published property of that name exists through the chain.
bool is_published(Runtime* rt, const void* obj, const char* name);

// Through the given property's own read (load) or write (store) accessor. False, with the stack
// untouched, when the property has no such accessor or it is bound to nothing.
bool load_property(Runtime* rt, void* obj, const CMember* property, Frame* f);
bool store_property(Runtime* rt, void* obj, const CMember* property, Frame* f);

// Finding a member: fields stop at a struct; properties need the accessor asked for.
CMember* find_field(const CClass* start, const char* name);
CMember* find_property(const CClass* start, const char* name, bool for_write);

}  // namespace qel
