// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_map_create(Frame*) { raise_runtime_error("map_create is not implemented yet"); }
void bi_map_free(Frame*) { raise_runtime_error("map_free is not implemented yet"); }
void bi_map_clear(Frame*) { raise_runtime_error("map_clear is not implemented yet"); }
void bi_map_add_coord(Frame*) { raise_runtime_error("map_add_coord is not implemented yet"); }
void bi_map_add_coord_top(Frame*) { raise_runtime_error("map_add_coord_top is not implemented yet"); }
void bi_map_add_rectf_top(Frame*) { raise_runtime_error("map_add_rectf_top is not implemented yet"); }
void bi_map_add_rectf_top_ex(Frame*) { raise_runtime_error("map_add_rectf_top_ex is not implemented yet"); }
void bi_map_get_coord(Frame*) { raise_runtime_error("map_get_coord is not implemented yet"); }
void bi_map_get_data(Frame*) { raise_runtime_error("map_get_data is not implemented yet"); }
void bi_map_get_coord_with_data(Frame*) { raise_runtime_error("map_get_coord_with_data is not implemented yet"); }
void bi_map_remove(Frame*) { raise_runtime_error("map_remove is not implemented yet"); }
void bi_map_get_edge(Frame*) { raise_runtime_error("map_get_edge is not implemented yet"); }
void bi_map_add_rect(Frame*) { raise_runtime_error("map_add_rect is not implemented yet"); }
void bi_map_add_rect_top(Frame*) { raise_runtime_error("map_add_rect_top is not implemented yet"); }
void bi_map_add_rect_clip_top(Frame*) { raise_runtime_error("map_add_rect_clip_top is not implemented yet"); }
void bi_map_disable_inside(Frame*) { raise_runtime_error("map_disable_inside is not implemented yet"); }
void bi_map_remove_coord(Frame*) { raise_runtime_error("map_remove_coord is not implemented yet"); }
void bi_map_set_rect(Frame*) { raise_runtime_error("map_set_rect is not implemented yet"); }
void bi_map_find_overlap(Frame*) { raise_runtime_error("map_find_overlap is not implemented yet"); }

}  // namespace qel
