// The end of loading: constructors of every class, and the class and procedure operands of
// the instruction chain bound to their descriptors.
#pragma once
#include <string>

namespace qel {

struct Runtime;

// Every script class needs "C::C"; "C::~C" is optional. False (after a box naming the class,
// shown whatever ErrorReporting says) when a constructor is missing.
bool check_constructors(Runtime& rt, const char** missing);

// Every script object begins with its class pointer: a script class whose fields (its own or its
// bases') lie in the first word, other than a pointer field at 0, cannot be created safely.
bool check_object_layouts(Runtime& rt, std::string* why);

// libproc to its procedure; newobj, create, throw and ldcls to their class ("Undefined class <%s>"
// is reported for a name that matches no class).
void link_image(Runtime& rt);

}  // namespace qel
