// Coordinate maps through their built-ins: point and edge queries, insertion order, float
// rectangles with clipping, and the maintenance operations.
#include <cstdint>
#include <string>
#include <vector>

#include "builtin_harness.h"
#include "stdlib/maps.h"

using namespace qel;

namespace {

void* tag(uintptr_t n) { return reinterpret_cast<void*>(n); }

class Maps : public qeltest::Builtins {
protected:
    void SetUp() override {
        Builtins::SetUp();
        EXPECT_EQ(call(bi_map_create), "");
        map = static_cast<CMap*>(top_pointer());
        reset();
    }
    void TearDown() override {
        reset();
        p(map);
        EXPECT_EQ(call(bi_map_free), "");
        EXPECT_EQ(count(), 0);
    }

    CMapCoord* add(BuiltinFn fn, int x1, int y1, int x2, int y2, uintptr_t data) {
        reset();
        p(map); i(x1); i(y1); i(x2); i(y2); p(tag(data));
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        auto* c = static_cast<CMapCoord*>(top_pointer());
        reset();
        return c;
    }
    // Runs a built-in taking (map, x, y) and returning a pointer.
    void* query(BuiltinFn fn, int x, int y) {
        reset();
        p(map); i(x); i(y);
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        void* r = top_pointer();
        reset();
        return r;
    }
    // Runs a built-in over the map and pushed arguments; returns the pointer result.
    template <typename Push>
    void* run(BuiltinFn fn, Push push) {
        reset();
        p(map);
        push();
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        void* r = top_pointer();
        reset();
        return r;
    }
    template <typename Push>
    void run_void(BuiltinFn fn, Push push) {
        reset();
        p(map);
        push();
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 0);
    }
    std::vector<uintptr_t> data_front_to_back() {
        std::vector<uintptr_t> out;
        for (int32_t i = 0; i < map->Coords->count; ++i)
            out.push_back(reinterpret_cast<uintptr_t>(static_cast<CMapCoord*>((*map->Coords)[i])->Data));
        return out;
    }

    CMap* map = nullptr;
};

TEST_F(Maps, MapsAndEntriesStartWithTheirDefaults) {
    EXPECT_EQ(map->Border, 1);
    EXPECT_EQ(map->Scaled, 0);
    EXPECT_EQ(map->ScaleX, 1.0f);
    EXPECT_EQ(map->ScaleY, 1.0f);
    ASSERT_NE(map->Coords, nullptr);
    EXPECT_EQ(map->Coords->count, 0);
    CMapCoord* c = add(bi_map_add_coord, 1, 2, 3, 4, 77);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ((std::vector<int>{c->X1, c->Y1, c->X2, c->Y2, c->Tag, c->IsEnabled}), (std::vector<int>{1, 2, 3, 4, 0, 1}));
    EXPECT_EQ(c->Data, tag(77));
}

TEST_F(Maps, InsertionOrder) {
    add(bi_map_add_coord, 0, 0, 1, 1, 1);
    add(bi_map_add_coord, 0, 0, 1, 1, 2);
    add(bi_map_add_coord_top, 0, 0, 1, 1, 3);
    int rect[4] = {0, 0, 1, 1};
    run(bi_map_add_rect, [&] { p(rect); p(tag(4)); });
    run(bi_map_add_rect_top, [&] { p(rect); p(tag(5)); });
    float rf[4] = {0, 0, 1, 1};
    run(bi_map_add_rectf_top, [&] { p(rf); p(tag(6)); });
    EXPECT_EQ(data_front_to_back(), (std::vector<uintptr_t>{6, 5, 3, 1, 2, 4}));
}

TEST_F(Maps, PointQueryIsRightAndBottomExclusiveAndFrontMostWins) {
    add(bi_map_add_coord, 0, 0, 10, 10, 1);      // A
    add(bi_map_add_coord, 5, 5, 20, 20, 2);      // B, behind A
    add(bi_map_add_coord_top, 8, 8, 12, 12, 3);  // T, in front of both
    struct Case {
        int x, y;
        uintptr_t data;  // 0: nothing found
    } cases[] = {
        {0, 0, 1},   {9, 9, 3},   {7, 7, 1},   {10, 10, 3}, {15, 15, 2}, {12, 12, 2}, {19, 19, 2},
        {20, 5, 0},  {5, 20, 0},  {19, 20, 0}, {-1, 0, 0},  {0, -1, 0},  {10, 0, 0},  {4, 12, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("point " + std::to_string(c.x) + "," + std::to_string(c.y));
        auto* found = static_cast<CMapCoord*>(query(bi_map_get_coord, c.x, c.y));
        EXPECT_EQ(query(bi_map_get_data, c.x, c.y), tag(c.data));
        if (!c.data) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->Data, tag(c.data));
        EXPECT_EQ(found->Test, kMapNone);
    }
}

TEST_F(Maps, EdgeQueryIsInclusiveWithinTheBorder) {
    CMapCoord* c = add(bi_map_add_coord, 10, 10, 20, 20, 1);
    struct Case {
        int border, x, y;
        int test;  // -1: nothing found
    } cases[] = {
        {1, 20, 15, kMapRight}, {1, 21, 15, kMapRight}, {1, 19, 15, kMapRight}, {1, 22, 15, -1},
        {1, 9, 15, kMapLeft},   {1, 11, 15, kMapLeft},  {1, 8, 15, -1},         {1, 12, 15, -1},
        {1, 15, 9, kMapTop},    {1, 15, 11, kMapTop},   {1, 15, 19, kMapBottom}, {1, 15, 21, kMapBottom},
        {1, 15, 22, -1},        {1, 10, 10, kMapLeft},  {1, 20, 20, kMapRight}, {1, 21, 21, -1},
        {1, 9, 9, -1},          {1, 15, 15, -1},        {3, 13, 15, kMapLeft},  {3, 14, 15, -1},
        {3, 15, 7, kMapTop},    {0, 10, 15, kMapLeft},  {0, 11, 15, -1},        {0, 15, 20, kMapBottom},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("border " + std::to_string(k.border) + " point " + std::to_string(k.x) + "," +
                     std::to_string(k.y));
        map->Border = k.border;
        c->Test = 99;
        void* found = query(bi_map_get_edge, k.x, k.y);
        if (k.test < 0) {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(c->Test, 99);
        } else {
            EXPECT_EQ(found, c);
            EXPECT_EQ(c->Test, k.test);
        }
    }
    // The right edge is outside for the point query but an edge hit.
    map->Border = 1;
    EXPECT_EQ(query(bi_map_get_coord, 20, 15), nullptr);
    EXPECT_EQ(query(bi_map_get_edge, 20, 15), c);
}

TEST_F(Maps, DisabledEntriesAreSkippedByQueriesButFoundByData) {
    CMapCoord* front = add(bi_map_add_coord, 0, 0, 10, 10, 1);
    CMapCoord* back = add(bi_map_add_coord, 0, 0, 10, 10, 2);
    front->IsEnabled = 0;
    EXPECT_EQ(query(bi_map_get_coord, 5, 5), back);
    EXPECT_EQ(query(bi_map_get_edge, 0, 5), back);
    back->IsEnabled = 0;
    EXPECT_EQ(query(bi_map_get_coord, 5, 5), nullptr);
    EXPECT_EQ(query(bi_map_get_edge, 0, 5), nullptr);
    EXPECT_EQ(run(bi_map_get_coord_with_data, [&] { p(tag(1)); }), front);
    EXPECT_EQ(run(bi_map_get_coord_with_data, [&] { p(tag(2)); }), back);
    EXPECT_EQ(run(bi_map_get_coord_with_data, [&] { p(tag(3)); }), nullptr);
}

TEST_F(Maps, ScaledQueriesDivideAndTruncateTowardZero) {
    add(bi_map_add_coord, -2, 0, 10, 10, 1);
    map->Scaled = 1;
    map->ScaleX = 3.0f;
    map->ScaleY = 0.5f;
    struct Case {
        int x, y;
        bool hit;
    } cases[] = {
        {29, 4, true},    // 9.67 -> 9, 8
        {30, 4, false},   // 10 is outside
        {29, 5, false},   // y 10 is outside
        {-8, 0, true},    // -2.67 -> -2, not -3
        {-9, 0, false},   // -3
        {0, -1, false},   // -2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("point " + std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(query(bi_map_get_coord, c.x, c.y) != nullptr, c.hit);
    }
    // The edge query scales too: 60 / 3 = 20 is not near, 30 / 3 = 10 is the right edge.
    EXPECT_EQ(query(bi_map_get_edge, 60, 4), nullptr);
    EXPECT_NE(query(bi_map_get_edge, 30, 4), nullptr);
    // A zero scale gives an infinite quotient: no entry, no failure.
    map->ScaleX = 0.0f;
    EXPECT_EQ(query(bi_map_get_coord, 5, 4), nullptr);
    EXPECT_NE(query(bi_map_get_coord, 0, 4), nullptr);  // 0 / 0 is NaN, taken as 0
    map->Scaled = 0;
    EXPECT_NE(query(bi_map_get_coord, 5, 4), nullptr);
}

TEST_F(Maps, FloatRectangles) {
    struct Case {
        float r[4];
        int x1, y1, x2, y2;
    } cases[] = {
        {{1.9f, 2.5f, 3.3f, 4.4f}, 1, 2, 5, 6},
        {{-1.5f, -0.5f, 1.0f, 3.0f}, -1, 0, 0, 2},
        {{0, 0, 0, 0}, 0, 0, 0, 0},
        {{3e9f, -3e9f, 1, 1}, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN},
    };
    for (const Case& c : cases) {
        auto* e = static_cast<CMapCoord*>(run(bi_map_add_rectf_top, [&] { p(c.r); p(tag(1)); }));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ((std::vector<int>{e->X1, e->Y1, e->X2, e->Y2}), (std::vector<int>{c.x1, c.y1, c.x2, c.y2}));
        EXPECT_EQ(map->Coords->get(0), e);
    }
}

TEST_F(Maps, ClippedFloatRectangles) {
    struct Case {
        float r[4], clip[4];
        bool added;
        int x1, y1, x2, y2;
    } cases[] = {
        {{10.5f, 0, 5, 5}, {0, 0, 12, 12}, true, 10, 0, 12, 5},
        {{0.2f, 0.7f, 3.1f, 2.2f}, {-5, -5, 50, 50}, true, 0, 0, 4, 3},
        {{0, 0, 5, 5}, {5, 0, 5, 5}, true, 5, 0, 5, 5},   // touching on the right edge
        {{0, 0, 5, 5}, {0, 5, 5, 5}, true, 0, 5, 5, 5},   // touching at the bottom
        {{0, 0, 4, 4}, {5, 0, 5, 5}, false, 0, 0, 0, 0},
        {{0, 0, 5, 5}, {0, 5.5f, 5, 5}, false, 0, 0, 0, 0},
        {{6, 6, 2, 2}, {0, 0, 5, 5}, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int before = map->Coords->count;
        auto* e = static_cast<CMapCoord*>(run(bi_map_add_rectf_top_ex, [&] { p(c.r); p(c.clip); p(tag(9)); }));
        if (!c.added) {
            EXPECT_EQ(e, nullptr);
            EXPECT_EQ(map->Coords->count, before);
            continue;
        }
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(map->Coords->count, before + 1);
        EXPECT_EQ(map->Coords->get(0), e);
        EXPECT_EQ((std::vector<int>{e->X1, e->Y1, e->X2, e->Y2}), (std::vector<int>{c.x1, c.y1, c.x2, c.y2}));
    }
}

TEST_F(Maps, ClippedIntegerRectangles) {
    struct Case {
        int r[4], clip[4];
        bool added;
        int x1, y1, x2, y2;
    } cases[] = {
        {{0, 0, 10, 10}, {5, -5, 20, 8}, true, 5, 0, 10, 8},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, true, 10, 0, 10, 10},
        {{0, 0, 10, 10}, {11, 0, 20, 10}, false, 0, 0, 0, 0},
        {{0, 0, 10, 10}, {0, 11, 10, 20}, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int before = map->Coords->count;
        auto* e = static_cast<CMapCoord*>(run(bi_map_add_rect_clip_top, [&] { p(c.r); p(c.clip); p(tag(9)); }));
        if (!c.added) {
            EXPECT_EQ(e, nullptr);
            EXPECT_EQ(map->Coords->count, before);
            continue;
        }
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(map->Coords->get(0), e);
        EXPECT_EQ((std::vector<int>{e->X1, e->Y1, e->X2, e->Y2}), (std::vector<int>{c.x1, c.y1, c.x2, c.y2}));
    }
}

TEST_F(Maps, RemovingEntries) {
    add(bi_map_add_coord, 0, 0, 1, 1, 1);
    CMapCoord* first2 = add(bi_map_add_coord, 0, 0, 1, 1, 2);
    CMapCoord* second2 = add(bi_map_add_coord, 0, 0, 1, 1, 2);
    add(bi_map_add_coord, 0, 0, 1, 1, 3);
    run_void(bi_map_remove, [&] { p(tag(2)); });
    EXPECT_EQ(data_front_to_back(), (std::vector<uintptr_t>{1, 2, 3}));
    EXPECT_EQ(map->Coords->get(1), second2);
    EXPECT_NE(map->Coords->get(1), first2);
    run_void(bi_map_remove, [&] { p(tag(42)); });  // absent: nothing happens
    EXPECT_EQ(map->Coords->count, 3);

    // An entry of another map is neither removed nor freed.
    CMapCoord foreign{};
    run_void(bi_map_remove_coord, [&] { p(&foreign); });
    run_void(bi_map_remove_coord, [&] { p(nullptr); });
    EXPECT_EQ(map->Coords->count, 3);
    run_void(bi_map_remove_coord, [&] { p(second2); });
    EXPECT_EQ(data_front_to_back(), (std::vector<uintptr_t>{1, 3}));

    run_void(bi_map_clear, [] {});
    EXPECT_EQ(map->Coords->count, 0);
    EXPECT_EQ(query(bi_map_get_coord, 0, 0), nullptr);
}

TEST_F(Maps, DisableInsideAndSetRect) {
    CMapCoord* inside = add(bi_map_add_coord, 2, 2, 8, 8, 1);
    CMapCoord* same = add(bi_map_add_coord, 0, 0, 10, 10, 2);
    CMapCoord* crossing = add(bi_map_add_coord, 5, 5, 15, 15, 3);
    CMapCoord* outside = add(bi_map_add_coord, 20, 20, 30, 30, 4);
    int area[4] = {0, 0, 10, 10};
    run_void(bi_map_disable_inside, [&] { p(area); });
    EXPECT_EQ(inside->IsEnabled, 0);
    EXPECT_EQ(same->IsEnabled, 0);  // edges included
    EXPECT_EQ(crossing->IsEnabled, 1);
    EXPECT_EQ(outside->IsEnabled, 1);
    EXPECT_EQ(query(bi_map_get_coord, 6, 6), crossing);

    int moved[4] = {100, 100, 110, 120};
    run_void(bi_map_set_rect, [&] { p(tag(4)); p(moved); });
    EXPECT_EQ((std::vector<int>{outside->X1, outside->Y1, outside->X2, outside->Y2}),
              (std::vector<int>{100, 100, 110, 120}));
    EXPECT_EQ(query(bi_map_get_coord, 105, 115), outside);
    run_void(bi_map_set_rect, [&] { p(tag(99)); p(moved); });  // no such data: nothing changes
    EXPECT_EQ(crossing->X1, 5);
}

TEST_F(Maps, FindOverlapSkipsTheGivenEntryAndNeighbours) {
    CMapCoord* a = add(bi_map_add_coord, 0, 0, 10, 10, 1);
    CMapCoord* b = add(bi_map_add_coord, 20, 0, 30, 10, 2);
    struct Case {
        const CMapCoord* except;
        float r[4];
        const CMapCoord* found;
    } cases[] = {
        {a, {0, 0, 10, 10}, nullptr},        // only a itself is there
        {nullptr, {0, 0, 10, 10}, a},
        {a, {5, 5, 20, 2}, b},               // reaches into b
        {nullptr, {10, 0, 10, 10}, nullptr}, // shares edges with both, overlaps neither
        {nullptr, {9.5f, 9.5f, 1, 1}, a},
        {b, {29.9f, 0, 5, 1}, nullptr},
        {a, {29.9f, 0, 5, 1}, b},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(bi_map_find_overlap, [&] { p(c.except); p(c.r); }), c.found);
    }
}

TEST_F(Maps, BadArgumentsAreClearErrors) {
    struct Case {
        BuiltinFn fn;
        std::vector<const void*> pointers;  // after the map argument
        std::string error;
    } cases[] = {
        {bi_map_add_rect, {nullptr, nullptr}, "Null rectangle"},
        {bi_map_add_rectf_top, {nullptr, nullptr}, "Null rectangle"},
        {bi_map_disable_inside, {nullptr}, "Null rectangle"},
    };
    for (const Case& c : cases) {
        reset();
        p(map);
        for (const void* q : c.pointers) p(q);
        EXPECT_EQ(call(c.fn), c.error);
    }
    reset();
    p(nullptr); i(1); i(1);
    EXPECT_EQ(call(bi_map_get_coord), "Null map");
    reset();
    p(nullptr);
    EXPECT_EQ(call(bi_map_clear), "Null map");
    reset();
    p(nullptr);
    EXPECT_EQ(call(bi_map_free), "");  // freeing nothing is fine
    reset();
    s(u"map"); i(1); i(1);
    EXPECT_EQ(call(bi_map_get_coord), "Cannot convert 'string' to 'pointer'");
    reset();
    p(map); s(u"1"); i(1);
    EXPECT_EQ(call(bi_map_get_coord), "Cannot convert 'string' to 'int'");
}

}  // namespace
