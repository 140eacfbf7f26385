// The end of loading: constructors of every class, and the class and procedure operands of the
// instruction chain bound to their descriptors.
#pragma once
#include "image/load_report.h"
#include "image/program.h"

namespace qel {

// Every script class needs "C::C"; "C::~C" is optional. A missing constructor fails the load
// with the box "Class constructor not found! <C>", shown whatever ErrorReporting says.
bool check_constructors(Program& program, LoadReport& report);

// Every script object begins with its class pointer: a script class whose fields (its own or its
// bases') lie in the first word, other than a pointer field at 0, cannot be created safely.
bool check_object_layouts(Program& program, LoadReport& report);

// libproc to its procedure; newobj, create, throw and ldcls to their class ("Undefined class <%s>"
// is reported, error 11, for a name that matches no class; the load goes on).
void link_image(Program& program, LoadReport& report);

}  // namespace qel
