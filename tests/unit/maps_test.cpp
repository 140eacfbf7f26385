// Coordinate maps through their built-ins: queries, insertion order, clipping and maintenance.

#include "builtin_harness.h"
#include "stdlib/maps.h"

using namespace qel;
using qeltest::Arg;
using qeltest::Ptr;

namespace {

Ptr tag(uintptr_t n) { return Ptr{reinterpret_cast<void*>(n)}; }

class Maps : public qeltest::Builtins {
protected:
    void SetUp() override {
        Builtins::SetUp();
        map = pointer<CMap>(bi_map_create);
    }
    void TearDown() override { EXPECT_EQ(run(bi_map_free, {Ptr{map}}), ""); }

    // A built-in on the map and the arguments after it: "" or its error.
    std::string act(BuiltinFn fn, std::vector<Arg> args = {}) {
        args.insert(args.begin(), Ptr{map});
        std::string r = result(fn, args);
        return r == "<0 values>" ? "" : r;
    }
    CMapCoord* get(BuiltinFn fn, std::vector<Arg> args) {
        args.insert(args.begin(), Ptr{map});
        return pointer<CMapCoord>(fn, args);
    }
    std::vector<uintptr_t> data_front_to_back() {
        std::vector<uintptr_t> out;
        for (int32_t i = 0; i < map->Coords->count; ++i)
            out.push_back(reinterpret_cast<uintptr_t>(static_cast<CMapCoord*>((*map->Coords)[i])->Data));
        return out;
    }
    static std::vector<int> rect(const CMapCoord* c) { return {c->X1, c->Y1, c->X2, c->Y2}; }

    CMap* map = nullptr;
};

TEST_F(Maps, DefaultsAndInsertionOrder) {
    EXPECT_EQ((std::vector<float>{float(map->Border), float(map->Scaled), map->ScaleX, map->ScaleY}),
              (std::vector<float>{1, 0, 1, 1}));
    CMapCoord* c = get(bi_map_add_coord, {1, 2, 3, 4, tag(1)});
    EXPECT_EQ((std::vector<int>{c->X1, c->Y1, c->X2, c->Y2, c->Tag, c->IsEnabled}), (std::vector<int>{1, 2, 3, 4, 0, 1}));
    int r[4] = {0, 0, 1, 1};
    float rf[4] = {0, 0, 1, 1};
    get(bi_map_add_coord, {0, 0, 1, 1, tag(2)});
    get(bi_map_add_coord_top, {0, 0, 1, 1, tag(3)});
    get(bi_map_add_rect, {Ptr{r}, tag(4)});
    get(bi_map_add_rect_top, {Ptr{r}, tag(5)});
    get(bi_map_add_rectf_top, {Ptr{rf}, tag(6)});
    EXPECT_EQ(data_front_to_back(), (std::vector<uintptr_t>{6, 5, 3, 1, 2, 4}));
}

TEST_F(Maps, PointQueryIsHalfOpenFrontMostAndSkipsDisabledEntries) {
    get(bi_map_add_coord, {0, 0, 10, 10, tag(1)});
    get(bi_map_add_coord, {5, 5, 20, 20, tag(2)});      // behind 1
    get(bi_map_add_coord_top, {8, 8, 12, 12, tag(3)});  // in front of both
    struct Case { int x, y; uintptr_t data; } cases[] = {  // data 0: nothing found
        {0, 0, 1},  {9, 9, 3},  {7, 7, 1},  {10, 10, 3}, {12, 12, 2}, {19, 19, 2},
                 {20, 5, 0}, {5, 20, 0}, {-1, 0, 0}, {0, -1, 0},  {10, 0, 0},  {4, 12, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(get(bi_map_get_data, {c.x, c.y}), tag(c.data).p) << c.x << "," << c.y;
        CMapCoord* found = get(bi_map_get_coord, {c.x, c.y});
        EXPECT_EQ(found ? found->Data : nullptr, tag(c.data).p) << c.x << "," << c.y;
        if (found) EXPECT_EQ(found->Test, kMapNone);
    }
    CMapCoord* front = get(bi_map_get_edge, {8, 10});
    EXPECT_EQ(front->Data, tag(3).p);
    front->IsEnabled = 0;  // skipped by both queries, still found by its data
    EXPECT_EQ(get(bi_map_get_data, {9, 9}), tag(1).p);
    EXPECT_EQ(get(bi_map_get_edge, {8, 10})->Data, tag(1).p);
    EXPECT_TRUE(get(bi_map_get_coord_with_data, {tag(3)}) == front && get(bi_map_get_coord_with_data, {tag(4)}) == nullptr);
}

TEST_F(Maps, EdgeQueryIsInclusiveWithinTheBorder) {
    CMapCoord* c = get(bi_map_add_coord, {10, 10, 20, 20, tag(1)});
    struct Case { int border, x, y, test; } cases[] = {  // test -1: nothing found
        {1, 21, 15, kMapRight}, {1, 19, 15, kMapRight}, {1, 22, 15, -1},      {1, 9, 15, kMapLeft},
        {1, 11, 15, kMapLeft},  {1, 8, 15, -1},        {1, 12, 15, -1},       {1, 15, 9, kMapTop},
        {1, 15, 21, kMapBottom}, {1, 15, 22, -1},      {1, 10, 10, kMapLeft}, {1, 21, 21, -1},
        {1, 15, 15, -1},        {3, 13, 15, kMapLeft}, {3, 14, 15, -1},      {0, 10, 15, kMapLeft}, {0, 11, 15, -1},
    };
    for (const Case& k : cases) {
        map->Border = k.border;
        c->Test = 99;
        EXPECT_EQ(get(bi_map_get_edge, {k.x, k.y}), k.test < 0 ? nullptr : c) << k.border << " " << k.x << "," << k.y;
        EXPECT_EQ(c->Test, k.test < 0 ? 99 : k.test) << k.border << " " << k.x << "," << k.y;
    }
    map->Border = 1;  // the right edge: outside for the point query, an edge hit
    EXPECT_EQ(get(bi_map_get_coord, {20, 15}), nullptr);
}

TEST_F(Maps, ScaledQueriesDivideAndTruncateTowardZero) {
    get(bi_map_add_coord, {-2, 0, 10, 10, tag(1)});
    map->Scaled = 1, map->ScaleX = 3.0f, map->ScaleY = 0.5f;
    struct Case { BuiltinFn fn; int x, y; bool hit; } cases[] = {
        {bi_map_get_coord, 29, 4, true},  {bi_map_get_coord, 30, 4, false},  // 9.67 -> 9 inside, 10 outside
        {bi_map_get_coord, 29, 5, false}, {bi_map_get_coord, -8, 0, true},   // y 10 outside; -2.67 -> -2
        {bi_map_get_coord, -9, 0, false}, {bi_map_get_edge, 60, 4, false},  // 20 is not near the edge 10
        {bi_map_get_edge, 30, 4, true},
    };
    for (const Case& c : cases) EXPECT_EQ(get(c.fn, {c.x, c.y}) != nullptr, c.hit) << c.x << "," << c.y;
    map->ScaleX = 0.0f;  // an infinite quotient finds nothing; 0 / 0 is NaN, taken as 0
    EXPECT_EQ(get(bi_map_get_coord, {5, 4}), nullptr);
    EXPECT_NE(get(bi_map_get_coord, {0, 4}), nullptr);
    map->Scaled = 0;
    EXPECT_NE(get(bi_map_get_coord, {5, 4}), nullptr);
}

TEST_F(Maps, RectanglesAreAddedAtTheFrontTruncatedOrClipped) {
    // map_add_rect_clip_top takes the rectangles as ints; an empty result: nothing added.
    struct Case { BuiltinFn fn; float r[4], clip[4]; std::vector<int> added; } cases[] = {
        {bi_map_add_rectf_top, {1.9f, 2.5f, 3.3f, 4.4f}, {}, {1, 2, 5, 6}},
        {bi_map_add_rectf_top, {-1.5f, -0.5f, 1, 3}, {}, {-1, 0, 0, 2}},
        {bi_map_add_rectf_top, {3e9f, -3e9f, 1, 1}, {}, {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}},
        {bi_map_add_rectf_top_ex, {10.5f, 0, 5, 5}, {0, 0, 12, 12}, {10, 0, 12, 5}},
        {bi_map_add_rectf_top_ex, {0.2f, 0.7f, 3.1f, 2.2f}, {-5, -5, 50, 50}, {0, 0, 4, 3}},
        {bi_map_add_rectf_top_ex, {0, 0, 5, 5}, {5, 0, 5, 5}, {5, 0, 5, 5}},  // touching edges meet
        {bi_map_add_rectf_top_ex, {0, 0, 4, 4}, {5, 0, 5, 5}, {}},
        {bi_map_add_rectf_top_ex, {0, 0, 5, 5}, {0, 5.5f, 5, 5}, {}},
        {bi_map_add_rect_clip_top, {0, 0, 10, 10}, {5, -5, 20, 8}, {5, 0, 10, 8}},
        {bi_map_add_rect_clip_top, {0, 0, 10, 10}, {10, 0, 20, 10}, {10, 0, 10, 10}},
        {bi_map_add_rect_clip_top, {0, 0, 10, 10}, {11, 0, 20, 10}, {}},
        {bi_map_add_rect_clip_top, {0, 0, 10, 10}, {0, 11, 10, 20}, {}},
    };
    for (const Case& c : cases) {
        int before = map->Coords->count;
        int r[4], clip[4];
        for (int k = 0; k < 4; ++k) r[k] = int(c.r[k]), clip[k] = int(c.clip[k]);
        CMapCoord* e = c.fn == bi_map_add_rectf_top      ? get(c.fn, {Ptr{c.r}, tag(1)})
                       : c.fn == bi_map_add_rectf_top_ex ? get(c.fn, {Ptr{c.r}, Ptr{c.clip}, tag(1)})
                                                         : get(c.fn, {Ptr{r}, Ptr{clip}, tag(1)});
        EXPECT_EQ(map->Coords->count, before + (c.added.empty() ? 0 : 1)) << &c - cases;
        EXPECT_EQ(e ? rect(e) : std::vector<int>{}, c.added) << &c - cases;
        if (e) EXPECT_EQ(map->Coords->get(0), e);
    }
}

TEST_F(Maps, RemovingDisablingAndMovingEntries) {
    for (uintptr_t d : {1, 2, 2, 3}) get(bi_map_add_coord, {0, 0, 1, 1, tag(d)});
    CMapCoord* second2 = static_cast<CMapCoord*>(map->Coords->get(2));
    EXPECT_EQ(act(bi_map_remove, {tag(2)}) + act(bi_map_remove, {tag(42)}), "");  // the first one only
    EXPECT_EQ(data_front_to_back(), (std::vector<uintptr_t>{1, 2, 3}));
    CMapCoord foreign{};  // an entry of another map is neither removed nor freed
    EXPECT_EQ(act(bi_map_remove_coord, {Ptr{&foreign}}) + act(bi_map_remove_coord, {Ptr{nullptr}}), "");
    EXPECT_EQ(act(bi_map_remove_coord, {Ptr{second2}}), "");
    EXPECT_EQ(data_front_to_back(), (std::vector<uintptr_t>{1, 3}));
    EXPECT_EQ(act(bi_map_clear), "");
    EXPECT_EQ(map->Coords->count, 0);

    // Entries inside {0, 0, 10, 10}, edges included, are disabled.
    struct Entry { int x1, y1, x2, y2, enabled_after; } entries[] = {
        {2, 2, 8, 8, 0}, {0, 0, 10, 10, 0}, {-1, 2, 8, 8, 1}, {2, -1, 8, 8, 1}, {2, 2, 11, 8, 1}, {2, 2, 8, 11, 1}, {20, 20, 30, 30, 1}};
    std::vector<CMapCoord*> added;
    for (const Entry& e : entries) added.push_back(get(bi_map_add_coord, {e.x1, e.y1, e.x2, e.y2, tag(added.size() + 1)}));
    int area[4] = {0, 0, 10, 10}, moved[4] = {100, 100, 110, 120};
    EXPECT_EQ(act(bi_map_disable_inside, {Ptr{area}}), "");
    for (size_t k = 0; k < added.size(); ++k) EXPECT_EQ(added[k]->IsEnabled, entries[k].enabled_after) << k;
    EXPECT_EQ(act(bi_map_set_rect, {tag(7), Ptr{moved}}) + act(bi_map_set_rect, {tag(99), Ptr{moved}}), "");
    EXPECT_EQ(rect(added[6]), (std::vector<int>{100, 100, 110, 120}));
    EXPECT_EQ(rect(added[5]), (std::vector<int>{2, 2, 8, 11}));  // no entry with data 99: nothing moved
}

TEST_F(Maps, FindOverlapSkipsTheGivenEntryAndNeighbours) {
    CMapCoord* a = get(bi_map_add_coord, {0, 0, 10, 10, tag(1)});
    CMapCoord* b = get(bi_map_add_coord, {20, 0, 30, 10, tag(2)});
    struct Case { const CMapCoord* except; float r[4]; const CMapCoord* found; } cases[] = {
        {a, {0, 0, 10, 10}, nullptr}, {nullptr, {0, 0, 10, 10}, a}, {a, {5, 5, 20, 2}, b},
        {nullptr, {10, 0, 10, 10}, nullptr},  // shares edges only
        {nullptr, {9.5f, 9.5f, 1, 1}, a}, {b, {29.9f, 0, 5, 1}, nullptr}, {a, {29.9f, 0, 5, 1}, b},
    };
    for (const Case& c : cases) EXPECT_EQ(get(bi_map_find_overlap, {Ptr{c.except}, Ptr{c.r}}), c.found) << &c - cases;
}

TEST_F(Maps, BadArgumentsAreClearErrors) {
    EXPECT_EQ(act(bi_map_add_rect, {Ptr{nullptr}, tag(1)}), "Null rectangle");
    EXPECT_EQ(act(bi_map_add_rectf_top, {Ptr{nullptr}, tag(1)}), "Null rectangle");
    EXPECT_EQ(run(bi_map_get_coord, {Ptr{nullptr}, 1, 1}), "Null map");
    EXPECT_EQ(run(bi_map_free, {Ptr{nullptr}}), "");  // freeing nothing is fine
}

}  // namespace
