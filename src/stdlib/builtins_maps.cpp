// Coordinate map built-ins: the map first, arguments popped last first.
#include "stdlib/builtin_support.h"
#include "stdlib/maps.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

CMap* pop_map(ValueStack* s) { return static_cast<CMap*>(pop_pointer(s)); }

// Rectangles come as pointers to four ints or four floats; the copy is taken at once.
MapRect pop_rect(ValueStack* s) {
    auto* r = static_cast<const MapRect*>(pop_pointer(s));
    check_reference(r, "rectangle");
    return *r;
}

MapRectF pop_rectf(ValueStack* s) {
    auto* r = static_cast<const MapRectF*>(pop_pointer(s));
    check_reference(r, "rectangle");
    return *r;
}

void add_coord(Frame* f, bool front) {
    void* data = pop_pointer(f->stack);
    MapRect r{};
    r.bottom = pop_int(f->stack);
    r.right = pop_int(f->stack);
    r.top = pop_int(f->stack);
    r.left = pop_int(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_add(map, r, data, front));
}

}  // namespace

void bi_map_create(Runtime* rt, Frame* f) { push_pointer(f->stack, map_create()); }

void bi_map_free(Runtime* rt, Frame* f) { map_free(static_cast<CMap*>(pop_optional(f->stack, "map"))); }

void bi_map_clear(Runtime* rt, Frame* f) { map_clear(pop_map(f->stack)); }

void bi_map_add_coord(Runtime* rt, Frame* f) { add_coord(f, false); }

void bi_map_add_coord_top(Runtime* rt, Frame* f) { add_coord(f, true); }

void bi_map_add_rectf_top(Runtime* rt, Frame* f) {
    void* data = pop_pointer(f->stack);
    MapRectF r = pop_rectf(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_add_rectf(map, r, data));
}

void bi_map_add_rectf_top_ex(Runtime* rt, Frame* f) {
    void* data = pop_pointer(f->stack);
    MapRectF clip = pop_rectf(f->stack);
    MapRectF r = pop_rectf(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_add_rectf_clipped(map, r, clip, data));
}

void bi_map_get_coord(Runtime* rt, Frame* f) {
    int32_t y = pop_int(f->stack);
    int32_t x = pop_int(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_point_query(map, x, y));
}

void bi_map_get_data(Runtime* rt, Frame* f) {
    int32_t y = pop_int(f->stack);
    int32_t x = pop_int(f->stack);
    CMap* map = pop_map(f->stack);
    CMapCoord* c = map_point_query(map, x, y);
    push_pointer(f->stack, c ? c->Data : nullptr);
}

void bi_map_get_coord_with_data(Runtime* rt, Frame* f) {
    void* data = pop_pointer(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_find_data(map, data));
}

void bi_map_remove(Runtime* rt, Frame* f) {
    void* data = pop_pointer(f->stack);
    map_remove_data(pop_map(f->stack), data);
}

void bi_map_get_edge(Runtime* rt, Frame* f) {
    int32_t y = pop_int(f->stack);
    int32_t x = pop_int(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_edge_query(map, x, y));
}

void bi_map_add_rect(Runtime* rt, Frame* f) {
    void* data = pop_pointer(f->stack);
    MapRect r = pop_rect(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_add(map, r, data, false));
}

void bi_map_add_rect_top(Runtime* rt, Frame* f) {
    void* data = pop_pointer(f->stack);
    MapRect r = pop_rect(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_add(map, r, data, true));
}

void bi_map_add_rect_clip_top(Runtime* rt, Frame* f) {
    void* data = pop_pointer(f->stack);
    MapRect clip = pop_rect(f->stack);
    MapRect r = pop_rect(f->stack);
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_add_clipped(map, r, clip, data));
}

void bi_map_disable_inside(Runtime* rt, Frame* f) {
    MapRect r = pop_rect(f->stack);
    map_disable_inside(pop_map(f->stack), r);
}

void bi_map_remove_coord(Runtime* rt, Frame* f) {
    auto* entry = static_cast<CMapCoord*>(pop_pointer(f->stack));
    map_remove_entry(pop_map(f->stack), entry);
}

void bi_map_set_rect(Runtime* rt, Frame* f) {
    MapRect r = pop_rect(f->stack);
    void* data = pop_pointer(f->stack);
    map_set_rect(pop_map(f->stack), data, r);
}

void bi_map_find_overlap(Runtime* rt, Frame* f) {
    MapRectF r = pop_rectf(f->stack);
    auto* except = static_cast<const CMapCoord*>(pop_pointer(f->stack));
    CMap* map = pop_map(f->stack);
    push_pointer(f->stack, map_find_overlap(map, except, r));
}

}  // namespace qel
