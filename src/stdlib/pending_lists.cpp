// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_list_create(Frame*) { raise_runtime_error("list_create is not implemented yet"); }
void bi_list_free(Frame*) { raise_runtime_error("list_free is not implemented yet"); }
void bi_list_clear(Frame*) { raise_runtime_error("list_clear is not implemented yet"); }
void bi_list_clear_objects(Frame*) { raise_runtime_error("list_clear_objects is not implemented yet"); }
void bi_list_clear_items(Frame*) { raise_runtime_error("list_clear_items is not implemented yet"); }
void bi_list_add(Frame*) { raise_runtime_error("list_add is not implemented yet"); }
void bi_list_insert(Frame*) { raise_runtime_error("list_insert is not implemented yet"); }
void bi_list_set(Frame*) { raise_runtime_error("list_set is not implemented yet"); }
void bi_list_get(Frame*) { raise_runtime_error("list_get is not implemented yet"); }
void bi_list_indexof(Frame*) { raise_runtime_error("list_indexof is not implemented yet"); }
void bi_list_remove(Frame*) { raise_runtime_error("list_remove is not implemented yet"); }
void bi_list_delete(Frame*) { raise_runtime_error("list_delete is not implemented yet"); }
void bi_list_exchange(Frame*) { raise_runtime_error("list_exchange is not implemented yet"); }
void bi_list_clone(Frame*) { raise_runtime_error("list_clone is not implemented yet"); }
void bi_list_sort(Frame*) { raise_runtime_error("list_sort is not implemented yet"); }
void bi_hash_list_add(Frame*) { raise_runtime_error("hash_list_add is not implemented yet"); }
void bi_hash_list_remove(Frame*) { raise_runtime_error("hash_list_remove is not implemented yet"); }
void bi_hash_list_indexof(Frame*) { raise_runtime_error("hash_list_indexof is not implemented yet"); }
void bi_SetAdd(Frame*) { raise_runtime_error("SetAdd is not implemented yet"); }
void bi_SetRemove(Frame*) { raise_runtime_error("SetRemove is not implemented yet"); }
void bi_SetContains(Frame*) { raise_runtime_error("SetContains is not implemented yet"); }

}  // namespace qel
