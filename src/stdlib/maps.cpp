#include "stdlib/maps.h"

#include <cmath>
#include <cstdlib>

#include "base/runtime_error.h"

namespace qel {

namespace {

PtrList& entries(const CMap* map) {
    check_reference(map, "map");
    if (!map->Coords) raise_runtime_error("Invalid map");
    return *map->Coords;
}

CMapCoord* entry_at(const PtrList& list, int32_t i) { return static_cast<CMapCoord*>(list[i]); }

CMapCoord* insert_entry(CMap* map, const MapRect& r, void* data, bool front) {
    PtrList& list = entries(map);
    auto* c = static_cast<CMapCoord*>(std::calloc(1, sizeof(CMapCoord)));
    if (!c) raise_runtime_error("Out of memory");
    c->X1 = r.left;
    c->Y1 = r.top;
    c->X2 = r.right;
    c->Y2 = r.bottom;
    c->Data = data;
    c->IsEnabled = 1;
    try {
        if (front)
            list.insert_at(0, c);
        else
            list.add(c);
    } catch (...) {
        std::free(c);
        throw;
    }
    return c;
}

// Query points are divided by the scale factors in single precision when the map is scaled.
void scale_point(const CMap* map, int32_t& x, int32_t& y) {
    if (!map->Scaled) return;
    x = float_to_int_trunc(static_cast<float>(static_cast<float>(x) / map->ScaleX));
    y = float_to_int_trunc(static_cast<float>(static_cast<float>(y) / map->ScaleY));
}

bool near(int64_t v, int64_t edge, int64_t t) { return v >= edge - t && v <= edge + t; }

}  // namespace

int32_t float_to_int_trunc(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

CMap* map_create() {
    auto* map = static_cast<CMap*>(std::calloc(1, sizeof(CMap)));
    if (!map) raise_runtime_error("Out of memory");
    map->Coords = ptr_list_create();
    if (!map->Coords) {
        std::free(map);
        raise_runtime_error("Out of memory");
    }
    map->Border = 1;
    map->Scaled = 0;
    map->ScaleX = 1.0f;
    map->ScaleY = 1.0f;
    return map;
}

void map_clear(CMap* map) {
    PtrList& list = entries(map);
    for (int32_t i = 0; i < list.count; ++i) std::free(list[i]);
    list.clear();
}

void map_free(CMap* map) {
    if (!map) return;
    if (map->Coords) {
        map_clear(map);
        ptr_list_destroy(map->Coords);
    }
    std::free(map);
}

CMapCoord* map_add(CMap* map, const MapRect& r, void* data, bool front) { return insert_entry(map, r, data, front); }

CMapCoord* map_add_clipped(CMap* map, const MapRect& r, const MapRect& clip, void* data) {
    MapRect out{r.left > clip.left ? r.left : clip.left, r.top > clip.top ? r.top : clip.top,
                r.right < clip.right ? r.right : clip.right, r.bottom < clip.bottom ? r.bottom : clip.bottom};
    if (out.left > out.right || out.top > out.bottom) {
        entries(map);  // a null map is still an error
        return nullptr;
    }
    return insert_entry(map, out, data, true);
}

CMapCoord* map_add_rectf(CMap* map, const MapRectF& r, void* data) {
    float right = static_cast<float>(r.x + r.width);
    float bottom = static_cast<float>(r.y + r.height);
    MapRect out{float_to_int_trunc(r.x), float_to_int_trunc(r.y), float_to_int_trunc(right),
                float_to_int_trunc(bottom)};
    return insert_entry(map, out, data, true);
}

CMapCoord* map_add_rectf_clipped(CMap* map, const MapRectF& r, const MapRectF& clip, void* data) {
    entries(map);
    float r_right = static_cast<float>(r.x + r.width), r_bottom = static_cast<float>(r.y + r.height);
    float c_right = static_cast<float>(clip.x + clip.width), c_bottom = static_cast<float>(clip.y + clip.height);
    // Written so that a NaN anywhere means "they do not meet".
    if (!(r.x <= c_right && clip.x <= r_right && r.y <= c_bottom && clip.y <= r_bottom)) return nullptr;
    MapRect a{float_to_int_trunc(std::floor(r.x)), float_to_int_trunc(std::floor(r.y)),
              float_to_int_trunc(std::ceil(r_right)), float_to_int_trunc(std::ceil(r_bottom))};
    MapRect b{float_to_int_trunc(std::floor(clip.x)), float_to_int_trunc(std::floor(clip.y)),
              float_to_int_trunc(std::ceil(c_right)), float_to_int_trunc(std::ceil(c_bottom))};
    return map_add_clipped(map, a, b, data);
}

CMapCoord* map_point_query(CMap* map, int32_t x, int32_t y) {
    PtrList& list = entries(map);
    scale_point(map, x, y);
    for (int32_t i = 0; i < list.count; ++i) {
        CMapCoord* c = entry_at(list, i);
        if (c->IsEnabled && c->X1 <= x && x < c->X2 && c->Y1 <= y && y < c->Y2) {
            c->Test = kMapNone;
            return c;
        }
    }
    return nullptr;
}

CMapCoord* map_edge_query(CMap* map, int32_t x, int32_t y) {
    PtrList& list = entries(map);
    scale_point(map, x, y);
    const int64_t t = map->Border;
    for (int32_t i = 0; i < list.count; ++i) {
        CMapCoord* c = entry_at(list, i);
        if (!c->IsEnabled) continue;
        if (c->Y1 <= y && y <= c->Y2) {
            if (near(x, c->X1, t)) {
                c->Test = kMapLeft;
                return c;
            }
            if (near(x, c->X2, t)) {
                c->Test = kMapRight;
                return c;
            }
        }
        if (c->X1 <= x && x <= c->X2) {
            if (near(y, c->Y1, t)) {
                c->Test = kMapTop;
                return c;
            }
            if (near(y, c->Y2, t)) {
                c->Test = kMapBottom;
                return c;
            }
        }
    }
    return nullptr;
}

CMapCoord* map_find_data(const CMap* map, const void* data) {
    const PtrList& list = entries(map);
    for (int32_t i = 0; i < list.count; ++i)
        if (entry_at(list, i)->Data == data) return entry_at(list, i);
    return nullptr;
}

bool map_remove_data(CMap* map, const void* data) {
    CMapCoord* c = map_find_data(map, data);
    return c && map_remove_entry(map, c);
}

bool map_remove_entry(CMap* map, CMapCoord* entry) {
    PtrList& list = entries(map);
    if (!entry || list.remove(entry) < 0) return false;
    std::free(entry);
    return true;
}

void map_disable_inside(CMap* map, const MapRect& r) {
    PtrList& list = entries(map);
    for (int32_t i = 0; i < list.count; ++i) {
        CMapCoord* c = entry_at(list, i);
        if (c->IsEnabled && c->X1 >= r.left && c->Y1 >= r.top && c->X2 <= r.right && c->Y2 <= r.bottom)
            c->IsEnabled = 0;
    }
}

bool map_set_rect(CMap* map, const void* data, const MapRect& r) {
    CMapCoord* c = map_find_data(map, data);
    if (!c) return false;
    c->X1 = r.left;
    c->Y1 = r.top;
    c->X2 = r.right;
    c->Y2 = r.bottom;
    return true;
}

CMapCoord* map_find_overlap(const CMap* map, const CMapCoord* except, const MapRectF& r) {
    const PtrList& list = entries(map);
    const double left = r.x, top = r.y;
    const double right = static_cast<float>(r.x + r.width), bottom = static_cast<float>(r.y + r.height);
    for (int32_t i = 0; i < list.count; ++i) {
        CMapCoord* c = entry_at(list, i);
        if (c == except) continue;
        if (c->X1 < right && left < c->X2 && c->Y1 < bottom && top < c->Y2) return c;
    }
    return nullptr;
}

}  // namespace qel
