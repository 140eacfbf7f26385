// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_EnumInfo(Frame*) { raise_runtime_error("EnumInfo is not implemented yet"); }
void bi_enum_value(Frame*) { raise_runtime_error("enum_value is not implemented yet"); }
void bi_class_search_field(Frame*) { raise_runtime_error("class_search_field is not implemented yet"); }
void bi_class_search_prop(Frame*) { raise_runtime_error("class_search_prop is not implemented yet"); }
void bi_class_calc_size(Frame*) { raise_runtime_error("class_calc_size is not implemented yet"); }
void bi_class_finalize(Frame*) { raise_runtime_error("class_finalize is not implemented yet"); }
void bi_LoadRes(Frame*) { raise_runtime_error("LoadRes is not implemented yet"); }
void bi_CreateRes(Frame*) { raise_runtime_error("CreateRes is not implemented yet"); }
void bi_system_initialize(Frame*) { raise_runtime_error("system_initialize is not implemented yet"); }

}  // namespace qel
