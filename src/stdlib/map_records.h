// Records of coordinate maps and memory streams, shared with scripts by layout (CMap, CMapCoord,
// CMemStream).
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/ptr_list.h"

namespace qel {

enum MapTest : int32_t { kMapLeft = 0, kMapTop = 1, kMapRight = 2, kMapBottom = 3, kMapNone = 4 };

struct CMap {
    int32_t Border;
    int32_t Scaled;
    float ScaleX;
    float ScaleY;
    PtrList* Coords;
};
static_assert(offsetof(CMap, Border) == 0 && offsetof(CMap, Scaled) == 4 && offsetof(CMap, ScaleX) == 8 &&
              offsetof(CMap, ScaleY) == 12 && offsetof(CMap, Coords) == 16 && sizeof(CMap) == 20);

struct CMapCoord {
    int32_t X1, Y1, X2, Y2;
    int32_t Test;
    int32_t Tag;
    void* Data;
    int32_t IsEnabled;
};
static_assert(offsetof(CMapCoord, X1) == 0 && offsetof(CMapCoord, Y1) == 4 && offsetof(CMapCoord, X2) == 8 &&
              offsetof(CMapCoord, Y2) == 12 && offsetof(CMapCoord, Test) == 16 && offsetof(CMapCoord, Tag) == 20 &&
              offsetof(CMapCoord, Data) == 24 && offsetof(CMapCoord, IsEnabled) == 28 && sizeof(CMapCoord) == 32);

struct CMemStream {
    uint8_t* memory;
    int32_t size;
    int32_t pos;
    int32_t capacity;
};
static_assert(offsetof(CMemStream, memory) == 0 && offsetof(CMemStream, size) == 4 && offsetof(CMemStream, pos) == 8 &&
              offsetof(CMemStream, capacity) == 12 && sizeof(CMemStream) == 16);

}  // namespace qel
