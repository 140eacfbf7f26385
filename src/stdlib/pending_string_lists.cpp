// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_strings_add(Frame*) { raise_runtime_error("strings_add is not implemented yet"); }
void bi_strings_add_object(Frame*) { raise_runtime_error("strings_add_object is not implemented yet"); }
void bi_strings_insert(Frame*) { raise_runtime_error("strings_insert is not implemented yet"); }
void bi_strings_get(Frame*) { raise_runtime_error("strings_get is not implemented yet"); }
void bi_strings_set(Frame*) { raise_runtime_error("strings_set is not implemented yet"); }
void bi_strings_get_object(Frame*) { raise_runtime_error("strings_get_object is not implemented yet"); }
void bi_strings_set_object(Frame*) { raise_runtime_error("strings_set_object is not implemented yet"); }
void bi_strings_get_str_data(Frame*) { raise_runtime_error("strings_get_str_data is not implemented yet"); }
void bi_strings_delete(Frame*) { raise_runtime_error("strings_delete is not implemented yet"); }
void bi_strings_clear(Frame*) { raise_runtime_error("strings_clear is not implemented yet"); }
void bi_strings_free(Frame*) { raise_runtime_error("strings_free is not implemented yet"); }
void bi_strings_indexof(Frame*) { raise_runtime_error("strings_indexof is not implemented yet"); }
void bi_strings_indexof_object(Frame*) { raise_runtime_error("strings_indexof_object is not implemented yet"); }
void bi_strings_indexof_name(Frame*) { raise_runtime_error("strings_indexof_name is not implemented yet"); }
void bi_strings_values_get(Frame*) { raise_runtime_error("strings_values_get is not implemented yet"); }
void bi_strings_values_set(Frame*) { raise_runtime_error("strings_values_set is not implemented yet"); }
void bi_strings_name_from_index(Frame*) { raise_runtime_error("strings_name_from_index is not implemented yet"); }
void bi_strings_value_from_index(Frame*) { raise_runtime_error("strings_value_from_index is not implemented yet"); }
void bi_strings_get_text(Frame*) { raise_runtime_error("strings_get_text is not implemented yet"); }
void bi_strings_set_text(Frame*) { raise_runtime_error("strings_set_text is not implemented yet"); }
void bi_strings_set_text_with_lb(Frame*) { raise_runtime_error("strings_set_text_with_lb is not implemented yet"); }
void bi_strings_sort(Frame*) { raise_runtime_error("strings_sort is not implemented yet"); }
void bi_strings_load_from_file(Frame*) { raise_runtime_error("strings_load_from_file is not implemented yet"); }
void bi_strings_load_from_stream(Frame*) { raise_runtime_error("strings_load_from_stream is not implemented yet"); }
void bi_strings_save_to_file(Frame*) { raise_runtime_error("strings_save_to_file is not implemented yet"); }
void bi_strings_load_compressed_from_file(Frame*) { raise_runtime_error("strings_load_compressed_from_file is not implemented yet"); }
void bi_strings_save_compressed_to_file(Frame*) { raise_runtime_error("strings_save_compressed_to_file is not implemented yet"); }

}  // namespace qel
