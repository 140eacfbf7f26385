// Coordinate maps: rectangles with an attached pointer, front to back, answering which rectangle
// lies under a point and which rectangle edge lies near it (hit-testing of the user interface).
#pragma once
#include <cstdint>

#include "stdlib/map_records.h"

namespace qel {

// An integer rectangle as scripts pass it: left, top, right, bottom.
struct MapRect {
    int32_t left, top, right, bottom;
};
static_assert(sizeof(MapRect) == 16);

// A float rectangle as scripts pass it: x, y, width, height (right = x + width).
struct MapRectF {
    float x, y, width, height;
};
static_assert(sizeof(MapRectF) == 16);

// A new map: Border 1, not scaled, scale 1.0, no entries. Raises "Out of memory" on failure.
CMap* map_create();
// Frees every entry and empties the list.
void map_clear(CMap* map);
// map_clear, then the list and the map itself; null is ignored.
void map_free(CMap* map);

// Appends (front = false) or inserts at the front a new entry with a copy of r.
CMapCoord* map_add(CMap* map, const MapRect& r, void* data, bool front);
// Inserts at the front the intersection of r and clip; null and nothing added when they do not
// meet (rectangles that only touch along an edge meet).
CMapCoord* map_add_clipped(CMap* map, const MapRect& r, const MapRect& clip, void* data);
// Inserts at the front {x, y, x + width, y + height}, each truncated to an int.
CMapCoord* map_add_rectf(CMap* map, const MapRectF& r, void* data);
// Inserts at the front the intersection of r and clip, each rounded outwards (left and top down,
// right and bottom up); null and nothing added when r and clip do not meet (touching meets).
CMapCoord* map_add_rectf_clipped(CMap* map, const MapRectF& r, const MapRectF& clip, void* data);

// The point query: the front-most enabled entry with X1 <= x < X2 and Y1 <= y < Y2 (after
// scaling), its Test set to None; null when none.
CMapCoord* map_point_query(CMap* map, int32_t x, int32_t y);
// The edge query: the front-most enabled entry with an edge within Border of the point (all
// bounds inclusive), its Test set to the edge found; null when none.
CMapCoord* map_edge_query(CMap* map, int32_t x, int32_t y);

// The first entry whose Data equals data, enabled or not; null when none.
CMapCoord* map_find_data(const CMap* map, const void* data);
// Removes and frees the first entry with that Data; false when there is none.
bool map_remove_data(CMap* map, const void* data);
// Removes and frees the entry when the map holds it; false (and nothing freed) otherwise.
bool map_remove_entry(CMap* map, CMapCoord* entry);
// IsEnabled := 0 for every enabled entry lying wholly inside r (edges included).
void map_disable_inside(CMap* map, const MapRect& r);
// Overwrites the rectangle of the first entry with that Data; false when there is none.
bool map_set_rect(CMap* map, const void* data, const MapRect& r);
// The first entry other than except whose rectangle shares area with r; null when none.
// Rectangles are half-open like the point query's, so neighbours sharing an edge do not overlap.
CMapCoord* map_find_overlap(const CMap* map, const CMapCoord* except, const MapRectF& r);

// A float converted to int by truncation, saturating at the int range; NaN gives 0.
int32_t float_to_int_trunc(double v);

}  // namespace qel
