// Runtime services as a script calls them: hash, random numbers, arithmetic and bits, colours,
// Direct2D helpers and raw memory.
#include <array>
#include <climits>
#include <cstring>
#include <ctime>
#include <limits>
#include <thread>

#include "builtin_harness.h"
#include "base/name_hash.h"
#include "platform/platform.h"

using namespace qel;
using qeltest::Arg;
using qeltest::Ptr;

namespace {

class Services : public qeltest::Builtins {};

// The generator's first outputs after seeding with s, as the standard library's rand() gives them.
int32_t generator_output(uint32_t seed, int n) {
    for (int i = 0; i < n; ++i) seed = seed * 214013u + 2531011u;
    return static_cast<int32_t>((seed >> 16) & 0x7FFF);
}

TEST_F(Services, ValueFunctions) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::string conv = "Cannot convert ";
    const auto bits = [](uint32_t u) { return "i:" + std::to_string(static_cast<int32_t>(u)); };
    const Ptr base{reinterpret_cast<const void*>(0x1000)};
    struct Row { BuiltinFn fn; const char* name; std::vector<Arg> args; std::string expected; } rows[] = {
        // The name hash over UTF-16 units: a unit above 0x7F is added zero-extended.
        {FN(Hash), {u""}, "i:0"}, {FN(Hash), {u"list_create"}, bits(0x20A214B9)},
        {FN(Hash), {u"A\u00E9"}, bits((0x41u << 7) + 0xE9)}, {FN(Hash), {5}, conv + "'int' to 'string'"},
        {FN(Abs), {-5}, "i:5"}, {FN(Abs), {INT_MIN}, bits(0x80000000u)}, {FN(Abs), {1.5}, conv + "'double' to 'int'"},
        // BNot complements an int or a long, keeping the kind; a bool is refused.
        {FN(BNot), {0x0F0F0F0F}, bits(0xF0F0F0F0u)}, {FN(BNot), {int64_t{0xFFFFFFFFLL}}, "l:-4294967296"},
        {FN(BNot), {true}, conv + "'bool' to 'int'"},
        // Doubles from any number; f_abs clears the sign bit, also of -0 and of a NaN.
        {FN(fAbs), {-2.5}, "d:2.5"}, {FN(fAbs), {-4}, "d:4"}, {FN(fAbs), {-0.0}, "d:0"}, {FN(fAbs), {-nan}, "d:nan"},
        {FN(Ceil), {int64_t{-9}}, "d:-9"}, {FN(Ceil), {-1.5}, "d:-1"}, {FN(Floor), {-1.5}, "d:-2"},
        {FN(Cos), {0.0}, "d:1"}, {FN(Sin), {0.0}, "d:0"}, {FN(Sqrt), {9.0}, "d:3"},
        {FN(Floor), {"1"}, conv + "'string' to 'double'"},
        // Two arguments: x pushed first; Max takes y only when it is greater.
        {FN(Pow), {2, 3}, "d:8"}, {FN(Max), {-3.0, -4}, "d:-3"}, {FN(Max), {-4.0, -3}, "d:-3"},
        {FN(Max), {nan, 1.0}, "d:nan"}, {FN(Max), {1.0, nan}, "d:1"},
        // Colours: each channel AND 255; a negative colour is the system colour of its low byte.
        {FN(RGB), {0x101, -1, 0x1FF}, bits(0xFFFF01)}, {FN(MakeARGB), {0x180, 0x1FF, 0, -2}, bits(0x80FF00FE)},
        {FN(GetRValue), {0x00112233}, "i:51"}, {FN(GetGValue), {0x00112233}, "i:34"}, {FN(GetBValue), {0x00112233}, "i:17"},
        {FN(GetBValue), {-1}, "i:255"}, {FN(ColorToRGB), {0x00123456}, bits(0x00123456)},
        {FN(ColorToRGB), {static_cast<int32_t>(0x8000010F)}, bits(platform::sys_color(15))},
        {FN(RGB), {1, "2", 3}, conv + "'string' to 'int'"},
        // "#RRGGBB" swaps the red and blue pairs; digits are read up to the first that is not one.
        {FN(HexColor), {u"#102030"}, bits(0x302010)}, {FN(HexColor), {u"#80102030"}, bits(0x80102030)},
        {FN(HexColor), {u"#abcdef"}, bits(0xEFCDAB)}, {FN(HexColor), {u"#123"}, "i:0"}, {FN(HexColor), {u"#1020304"}, "i:0"},
        {FN(HexColor), {u"#ZZ2030"}, bits(0x3020)}, {FN(HexColor), {u"#8010203G"}, bits(0x8010203)},
        // A point is two floats packed into a long: x low, y high, each the float nearest the double.
        {FN(D2DPoint2F), {0.1, -2.0}, "l:" + std::to_string(static_cast<int64_t>(0xC00000003DCCCCCDull))},
        {FN(D2DPoint2F), {0.0, 1e300}, "l:" + std::to_string(int64_t{0x7F80000000000000})},
        // address steps by words from a pointer or an int.
        {FN(address), {base, 3}, "p:4108"}, {FN(address), {base, -1}, "p:4092"}, {FN(address), {8, 1}, "p:12"},
    };
    for (const Row& r : rows) EXPECT_EQ(result(r.fn, r.args), r.expected) << r.name << " row " << &r - rows;
}

// The generator starts from state 1 on every thread; an empty range (n <= 0) gives 0 and does not
// advance it; Randomize seeds it with the time in seconds.
TEST_F(Services, RandomNumbers) {
    for (int k = 0; k < 3; ++k) run(bi_Random, {100});  // the main thread's generator moves on
    std::vector<std::string> got;
    bool in_range = true;
    uint32_t before = 0, after = 0;
    int32_t seeded = -1;
    std::thread t([&] {
        for (int32_t n : {100, 0, -7, 100, 32768, 1}) got.push_back(result(bi_Random, {n}));
        for (int k = 0; k < 200; ++k) {
            const std::string r = result(bi_Random, {7});
            in_range = in_range && r.size() == 3 && r >= "i:1" && r <= "i:7";
        }
        before = static_cast<uint32_t>(std::time(nullptr));
        EXPECT_EQ(result(bi_Randomize), "<0 values>");
        seeded = (run(bi_Random, {32768}), top().v.i - 1);
        after = static_cast<uint32_t>(std::time(nullptr));
    });
    t.join();
    EXPECT_EQ(got, (std::vector<std::string>{"i:42", "i:0", "i:0", "i:68", "i:" + std::to_string(generator_output(1, 3) + 1), "i:1"}));
    EXPECT_TRUE(in_range);
    EXPECT_TRUE(seeded == generator_output(before, 1) || seeded == generator_output(after, 1)) << seeded;
}

TEST_F(Services, NotLooksAtTheWholePayloadInPlace) {
    struct { uint32_t tag; uint64_t payload; bool expected; } cases[] = {
        {kTagBool, 1, false},         {kTagInt, 0, true},       {kTagInt, 0xFFFFFFFF, false},
        {kTagPointer, 0, true},       {kTagLong, 0, true},      {kTagLong, uint64_t{1} << 32, false},
        {kTagMethod, 0, true},        {kTagMethod, uint64_t{1} << 40, false},  // a target without a method
    };
    for (const auto& c : cases) {
        reset();
        push(77);  // a slot below that must stay untouched
        Value& v = push_slot(st);
        v.tag = c.tag, v.v.l = static_cast<int64_t>(c.payload);
        EXPECT_EQ(call(bi_Not), "");
        ASSERT_EQ(count(), 2);
        EXPECT_EQ(text(top()) + text(st->slots[0]), c.expected ? "b:truei:77" : "b:falsei:77") << c.tag << " " << c.payload;
    }
    EXPECT_EQ(result(bi_Not, {0.0}), "Cannot convert 'double' to 'bool'");
}

TEST_F(Services, D2DColours) {
    float rgba[4] = {-1, -1, -1, -1};  // r, g, b, a from 0 to 1
    EXPECT_EQ(result(bi_ARGBToD2DColor, {static_cast<int32_t>(0x33FF0066u), Ptr{rgba}}), "<0 values>");
    EXPECT_EQ((std::vector<float>(rgba, rgba + 4)), (std::vector<float>{1.0f, 0.0f, 0.4f, 0.2f}));
    for (uint32_t k = 0; k < 256; k += 5) {  // a round trip keeps every byte
        const uint32_t argb = k << 24 | (255 - k) << 16 | (k ^ 0x5A) << 8 | ((k * 7) & 255);
        float colour[4];
        ASSERT_EQ(run(bi_ARGBToD2DColor, {static_cast<int32_t>(argb), Ptr{colour}}), "");
        EXPECT_EQ(result(bi_D2DColorToARGB, {Ptr{colour}}), "i:" + std::to_string(static_cast<int32_t>(argb))) << k;
    }
    struct { float r, g, b, a; uint32_t expected; } cases[] = {
        {0.5f, 0.0f, 1.0f, 1.0f, 0xFF7F00FF},  // 127.5 -> 127
        {1.5f, 0.0f, 0.0f, 1.0f, 0xFF7E0000},  // 382 -> low byte 0x7E
        {-0.2f, 0.0f, 0.0f, 0.0f, 0x00CD0000},  // -51 -> low byte 0xCD
        {std::numeric_limits<float>::quiet_NaN(), 1e30f, 0.0f, 1.0f, 0xFF000000},  // no integer: 0
    };
    for (const auto& c : cases) {
        float colour[4] = {c.r, c.g, c.b, c.a};
        EXPECT_EQ(result(bi_D2DColorToARGB, {Ptr{colour}}), "i:" + std::to_string(static_cast<int32_t>(c.expected)));
    }
    EXPECT_EQ(result(bi_D2DColorToARGB, {Ptr{nullptr}}), "Null pointer passed to D2DColorToARGB");
    EXPECT_EQ(result(bi_ARGBToD2DColor, {0, Ptr{nullptr}}), "Null pointer passed to ARGBToD2DColor");
}

// A RectF: left, top, width, height.
using RectF = std::array<float, 4>;

TEST_F(Services, ClipRectFIntersectsWholeNumberRectangles) {
    struct { RectF a, b; bool meet; RectF out; } cases[] = {
        {{0, 0, 10, 10}, {10, 0, 5, 5}, true, {10, 0, 0, 5}},  // touching along an edge
        {{0, 0, 100, 100}, {10, 20, 30, 40}, true, {10, 20, 30, 40}},
        {{0, 0, 10, 10}, {11, 0, 5, 5}, false, {0, 0, 0, 0}}, {{0, 0, 10, 10}, {0, -6, 5, 5}, false, {0, 0, 0, 0}},
        {{-10, -10, 5, 5}, {-7, -20, 20, 20}, true, {-7, -10, 2, 5}},
        // Coordinates are truncated first: a is 0..10 x 0..10, b is 5..15 x 5..15.
        {{0.9f, 0.9f, 9.5f, 9.5f}, {5.7f, 5.2f, 10, 10}, true, {5, 5, 5, 5}},
        // Truncation makes rectangles that are 0.5 apart touch.
        {{0, 0, 10.5f, 10}, {10.9f, 0, 5, 5}, true, {10, 0, 0, 5}},
    };
    for (const auto& c : cases) {
        RectF out{-1, -1, -1, -1};
        EXPECT_EQ(result(bi_ClipRectF, {Ptr{&out}, Ptr{&c.a}, Ptr{&c.b}}), c.meet ? "b:true" : "b:false");
        EXPECT_EQ(out, c.out) << "case " << &c - cases;
    }
    // The result may go over either input, or nowhere.
    RectF a{0, 0, 10, 10}, b{5, 5, 10, 10};
    EXPECT_EQ(result(bi_ClipRectF, {Ptr{&b}, Ptr{&a}, Ptr{&b}}), "b:true");
    EXPECT_EQ(b, (RectF{5, 5, 5, 5}));
    EXPECT_EQ(result(bi_ClipRectF, {Ptr{nullptr}, Ptr{&a}, Ptr{&a}}), "b:true");
    EXPECT_EQ(result(bi_ClipRectF, {Ptr{nullptr}, Ptr{nullptr}, Ptr{&b}}), "Null pointer passed to ClipRectF");
}

TEST_F(Services, RawMemory) {
    auto* block = pointer<unsigned char>(bi_malloc, {16});
    ASSERT_TRUE(block);
    // memset fills with the low byte of the value and returns the block.
    EXPECT_EQ(pointer(bi_memset, {Ptr{block}, 0x1AB, 16}), block);
    EXPECT_EQ(std::string(block, block + 16), std::string(16, '\xAB'));
    auto* copy = pointer<unsigned char>(bi_memdup, {Ptr{block}, 16});
    ASSERT_TRUE(copy && copy != block);
    EXPECT_EQ(std::memcmp(copy, block, 16), 0);
    void* empty = pointer(bi_memdup, {Ptr{nullptr}, 0});
    EXPECT_TRUE(empty);  // a copy of nothing is still a block
    auto* zeros = pointer<int32_t>(bi_calloc, {4, 4});
    ASSERT_TRUE(zeros && (zeros[0] | zeros[1] | zeros[2] | zeros[3]) == 0);
    // Sizes that cannot be allocated give 0.
    for (auto [fn, args] : {std::pair<BuiltinFn, std::vector<Arg>>{bi_malloc, {-1}}, {bi_calloc, {-1, 4}},
                            {bi_calloc, {0x40000000, 16}}, {bi_memdup, {Ptr{block}, -1}}})
        EXPECT_EQ(result(fn, args), "p:0");
    // memcpy and memmove are one entry point; overlapping blocks are allowed.
    ASSERT_EQ(resolve_builtin(name_hash("memmove")), &bi_memcpy);
    char forward[] = "0123456789", backward[] = "0123456789", dst[4] = "abc";
    EXPECT_EQ(pointer(bi_memcpy, {Ptr{forward + 2}, Ptr{forward}, 5}), forward + 2);
    EXPECT_EQ(pointer(bi_memcpy, {Ptr{backward}, Ptr{backward + 3}, 7}), backward);
    EXPECT_EQ(std::string(forward) + "|" + backward, "0101234789|3456789789");
    EXPECT_EQ(pointer(bi_memcpy, {Ptr{dst}, Ptr{nullptr}, 0}), dst);
    const unsigned char a[] = {0x01, 0xFF, 0x00}, b2[] = {0x01, 0x00, 0x7F};
    struct { const void *x, *y; int32_t n; const char* expected; } cmp[] = {
        {a, b2, 2, "i:1"}, {b2, a, 3, "i:-1"}, {a, a, 3, "i:0"}, {a, b2, 1, "i:0"}, {nullptr, nullptr, 0, "i:0"}};
    for (const auto& k : cmp) EXPECT_EQ(result(bi_memcmp, {Ptr{k.x}, Ptr{k.y}, k.n}), k.expected) << k.n;
    for (auto [fn, name] : {std::pair<BuiltinFn, const char*>{bi_memcpy, "memcpy"}, {bi_memset, "memset"}, {bi_memcmp, "memcmp"}}) {
        EXPECT_EQ(run(fn, {Ptr{dst}, 0, -1}), std::string("Negative size passed to ") + name);
        EXPECT_EQ(run(fn, {Ptr{nullptr}, 0, 2}), std::string("Null pointer passed to ") + name);
    }
    EXPECT_STREQ(dst, "abc");
    for (const void* q : {static_cast<void*>(block), static_cast<void*>(copy), empty, static_cast<void*>(zeros), static_cast<void*>(nullptr)})
        EXPECT_EQ(result(bi_free, {Ptr{q}}), "<0 values>");
}

}  // namespace
