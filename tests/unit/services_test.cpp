// Runtime services called as a script calls them: hash, random numbers, arithmetic and bits,
// colours, Direct2D geometry helpers and raw memory.
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <thread>
#include <vector>

#include "builtin_harness.h"
#include "platform/platform.h"
#include "base/name_hash.h"

using namespace qel;

namespace {

class Services : public qeltest::Builtins {
protected:
    // Runs a built-in on the arguments just pushed (the first parameter, so that a chain of pushes
    // can be written in the call) and expects one result of the given kind in their place.
    Payload result_of(Builtins&, BuiltinFn fn, uint32_t tag) {
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        Payload v = count() ? top().v : Payload{};
        EXPECT_EQ(count() ? top().tag : 0, tag);
        reset();
        return v;
    }
    int32_t int_of(Builtins& args, BuiltinFn fn) { return result_of(args, fn, kTagInt).i; }
    uint32_t bits_of(Builtins& args, BuiltinFn fn) { return result_of(args, fn, kTagInt).u; }
    double double_of(Builtins& args, BuiltinFn fn) { return result_of(args, fn, kTagDouble).d; }
    void* pointer_of(Builtins& args, BuiltinFn fn) { return result_of(args, fn, kTagPointer).p; }
    std::string error_of(Builtins&, BuiltinFn fn) {
        std::string e = call(fn);
        reset();
        return e;
    }
};

// The generator's first outputs after seeding with s, as the standard library's rand() gives them.
std::vector<int32_t> generator_outputs(uint32_t seed, int n) {
    std::vector<int32_t> out;
    for (int i = 0; i < n; ++i) {
        seed = seed * 214013u + 2531011u;
        out.push_back(static_cast<int32_t>((seed >> 16) & 0x7FFF));
    }
    return out;
}

TEST_F(Services, HashIsTheNameHashOverUtf16Units) {
    struct { std::u16string name; uint32_t hash; } cases[] = {
        {u"", 0},
        {u"Abs", 0x107173},
        {u"list_create", 0x20A214B9},
        // A unit above 0x7F is added zero-extended (the byte form would add 0xFFFFFFE9).
        {u"A\u00E9", (0x41u << 7) + 0xE9},
        {u"\u4E2D", 0x4E2D},
    };
    for (const auto& c : cases) EXPECT_EQ(bits_of(s(c.name), bi_Hash), c.hash) << c.hash;
    EXPECT_EQ(error_of(i(5), bi_Hash), "Cannot convert 'int' to 'string'");
}

TEST_F(Services, RandomStartsFromStateOneOnEveryThread) {
    for (int k = 0; k < 3; ++k) int_of(i(100), bi_Random);  // the main thread's generator moves on
    std::vector<int32_t> got;
    bool inRange = true;
    std::thread t([&] {
        // An empty range (n <= 0) gives 0 and does not advance the generator.
        for (int32_t n : {100, 0, -7, 100, 32768, 1}) got.push_back(int_of(i(n), bi_Random));
        for (int k = 0; k < 200; ++k) {
            int32_t r = int_of(i(7), bi_Random);
            inRange = inRange && r >= 1 && r <= 7;
        }
    });
    t.join();
    EXPECT_EQ(got, (std::vector<int32_t>{42, 0, 0, 68, generator_outputs(1, 3)[2] + 1, 1}));
    EXPECT_TRUE(inRange);
}

TEST_F(Services, RandomizeSeedsWithTheTimeInSeconds) {
    int32_t r = -1;
    uint32_t before = 0, after = 0;
    std::thread t([&] {
        before = static_cast<uint32_t>(std::time(nullptr));
        EXPECT_EQ(call(bi_Randomize), "");
        EXPECT_EQ(count(), 0);
        r = int_of(i(32768), bi_Random) - 1;
        after = static_cast<uint32_t>(std::time(nullptr));
    });
    t.join();
    EXPECT_TRUE(r == generator_outputs(before, 1)[0] || r == generator_outputs(after, 1)[0]) << r;
}

TEST_F(Services, IntFunctions) {
    const int32_t abs[][2] = {{-5, 5}, {0, 0}, {INT_MAX, INT_MAX}, {-INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}};
    for (const auto& c : abs) EXPECT_EQ(int_of(i(c[0]), bi_Abs), c[1]) << c[0];
    EXPECT_EQ(error_of(d(1.5), bi_Abs), "Cannot convert 'double' to 'int'");
    // BNot complements an int or a long, keeping the kind; a bool is refused.
    EXPECT_EQ(bits_of(i(0x0F0F0F0F), bi_BNot), 0xF0F0F0F0u);
    EXPECT_EQ(result_of(l(0x00000000FFFFFFFFLL), bi_BNot, kTagLong).l, static_cast<int64_t>(0xFFFFFFFF00000000ULL));
    EXPECT_EQ(error_of(b(true), bi_BNot), "Cannot convert 'bool' to 'int'");
}

TEST_F(Services, DoubleFunctionsTakeAnyNumberAndKeepOrder) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct { BuiltinFn fn; double x, expected; } cases[] = {
        {bi_fAbs, -2.5, 2.5}, {bi_Ceil, -1.5, -1.0}, {bi_Floor, -1.5, -2.0},
        {bi_Cos, 0.0, 1.0},   {bi_Sin, 0.0, 0.0},    {bi_Sqrt, 9.0, 3.0},
    };
    for (const auto& c : cases) EXPECT_EQ(double_of(d(c.x), c.fn), c.expected) << c.x;
    // An int or a long is taken as a double.
    EXPECT_EQ(double_of(i(-4), bi_fAbs), 4.0);
    EXPECT_EQ(double_of(l(-9), bi_Ceil), -9.0);
    // f_abs clears the sign bit, also of -0 and of a NaN.
    EXPECT_FALSE(std::signbit(double_of(d(-0.0), bi_fAbs)));
    double cleared = double_of(d(-nan), bi_fAbs);
    EXPECT_TRUE(std::isnan(cleared) && !std::signbit(cleared));
    EXPECT_EQ(error_of(s(u"1"), bi_Floor), "Cannot convert 'string' to 'double'");
    // Two-argument functions: x is pushed first; Max takes y only when it is greater.
    EXPECT_EQ(double_of(i(2).i(3), bi_Pow), 8.0);
    EXPECT_EQ(double_of(d(-3).i(-4), bi_Max), -3.0);
    EXPECT_EQ(double_of(d(-4).i(-3), bi_Max), -3.0);
    EXPECT_TRUE(std::isnan(double_of(d(nan).d(1), bi_Max)));
    EXPECT_EQ(double_of(d(1).d(nan), bi_Max), 1.0);
}

TEST_F(Services, NotLooksAtTheWholePayloadInPlace) {
    struct { uint32_t tag; uint64_t payload; bool expected; } cases[] = {
        {kTagBool, 1, false},       {kTagBool, 0, true},          {kTagInt, 0, true},
        {kTagInt, 0xFFFFFFFF, false}, {kTagPointer, 0, true},     {kTagPointer, 4, false},
        {kTagLong, 0, true},        {kTagLong, uint64_t{1} << 32, false},
        {kTagMethod, 0, true},      {kTagMethod, uint64_t{1} << 40, false},  // a target without a method
    };
    for (const auto& c : cases) {
        i(77);  // a slot below must stay untouched
        Value& v = push_slot(st);
        v.tag = c.tag;
        v.v.l = static_cast<int64_t>(c.payload);
        EXPECT_EQ(call(bi_Not), "");
        ASSERT_EQ(count(), 2);
        EXPECT_EQ(top_bool(), c.expected) << c.tag << " " << c.payload;
        EXPECT_EQ(st->slots[0].v.i, 77);
        reset();
    }
    EXPECT_EQ(error_of(d(0), bi_Not), "Cannot convert 'double' to 'bool'");
}

TEST_F(Services, ColourPackingChannelsAndHexColor) {
    struct { BuiltinFn fn; std::vector<int32_t> args; uint32_t expected; } cases[] = {
        {bi_RGB, {0x101, -1, 0x1FF}, 0xFFFF01},  // each channel is taken AND 255
        {bi_MakeARGB, {0x180, 0x1FF, 0, -2}, 0x80FF00FE},
        {bi_GetRValue, {0x00112233}, 0x33},
        {bi_GetGValue, {0x00112233}, 0x22},
        {bi_GetBValue, {-1}, 0xFF},  // bits 16-23 only, not the sign
        {bi_ColorToRGB, {0x00123456}, 0x00123456},
        // A negative colour is the system colour of its low byte.
        {bi_ColorToRGB, {static_cast<int32_t>(0x8000010F)}, platform::sys_color(15)},
    };
    for (const auto& c : cases) {
        for (int32_t a : c.args) i(a);
        EXPECT_EQ(bits_of(*this, c.fn), c.expected) << c.expected;
    }
    struct { std::u16string text; uint32_t expected; } hex[] = {
        {u"#102030", 0x302010}, {u"#80102030", 0x80102030}, {u"#abcdef", 0xEFCDAB}, {u"#123", 0}, {u"#1020304", 0},
        // Digits are read up to the first unit that is not one (after the swap for 7 units).
        {u"#1020ZZ", 0},        {u"#ZZ2030", 0x3020},         {u"#8010203G", 0x8010203},
    };
    for (const auto& c : hex) EXPECT_EQ(bits_of(s(c.text), bi_HexColor), c.expected) << c.expected;
    EXPECT_EQ(error_of(i(1).s(u"2").i(3), bi_RGB), "Cannot convert 'string' to 'int'");
}

TEST_F(Services, D2DColours) {
    const int shifts[4] = {16, 8, 0, 24};  // r, g, b, a: one full channel at a time
    for (int c = 0; c < 4; ++c) {
        float colour[4] = {-1, -1, -1, -1};
        i(static_cast<int32_t>(0xFFu << shifts[c])).p(colour);
        ASSERT_EQ(call(bi_ARGBToD2DColor), "");
        EXPECT_EQ(count(), 0);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(colour[k], k == c ? 1.0f : 0.0f) << c << " " << k;
    }
    for (uint32_t k = 0; k < 256; k += 5) {  // a round trip keeps every byte
        const uint32_t argb = k << 24 | (255 - k) << 16 | (k ^ 0x5A) << 8 | ((k * 7) & 255);
        float colour[4];
        i(static_cast<int32_t>(argb)).p(colour);
        ASSERT_EQ(call(bi_ARGBToD2DColor), "");
        EXPECT_EQ(bits_of(p(colour), bi_D2DColorToARGB), argb) << k;
    }
    struct { float r, g, b, a; uint32_t expected; } cases[] = {
        {0.5f, 0.0f, 1.0f, 1.0f, 0xFF7F00FF},                                     // 127.5 -> 127
        {1.5f, 0.0f, 0.0f, 1.0f, 0xFF7E0000},                                     // 382 -> low byte 0x7E
        {-0.2f, 0.0f, 0.0f, 0.0f, 0x00CD0000},                                    // -51 -> low byte 0xCD
        {std::numeric_limits<float>::quiet_NaN(), 1e30f, 0.0f, 1.0f, 0xFF000000},  // no integer: 0
    };
    for (const auto& c : cases) {
        float colour[4] = {c.r, c.g, c.b, c.a};
        EXPECT_EQ(bits_of(p(colour), bi_D2DColorToARGB), c.expected) << c.expected;
    }
    EXPECT_EQ(error_of(p(nullptr), bi_D2DColorToARGB), "Null pointer passed to D2DColorToARGB");
    EXPECT_EQ(error_of(i(0).p(nullptr), bi_ARGBToD2DColor), "Null pointer passed to ARGBToD2DColor");
    // A point is two floats packed into a long: x low, y high, each the float nearest the double.
    EXPECT_EQ(result_of(d(0.1).d(-2.0), bi_D2DPoint2F, kTagLong).l, static_cast<int64_t>(0xC00000003DCCCCCDull));
    EXPECT_EQ(result_of(d(0).d(1e300), bi_D2DPoint2F, kTagLong).l, int64_t{0x7F80000000000000});
}

// A RectF: left, top, width, height.
using RectF = std::array<float, 4>;

TEST_F(Services, ClipRectFIntersectsWholeNumberRectangles) {
    struct { RectF a, b; bool meet; RectF out; } cases[] = {
        {{0, 0, 10, 10}, {10, 0, 5, 5}, true, {10, 0, 0, 5}},  // touching along an edge
        {{0, 0, 100, 100}, {10, 20, 30, 40}, true, {10, 20, 30, 40}},
        {{10, 20, 30, 40}, {0, 0, 100, 100}, true, {10, 20, 30, 40}},
        {{0, 0, 10, 10}, {11, 0, 5, 5}, false, {0, 0, 0, 0}},
        {{0, 0, 10, 10}, {0, -6, 5, 5}, false, {0, 0, 0, 0}},
        {{0, 20, 10, 10}, {0, 0, 5, 5}, false, {0, 0, 0, 0}},
        {{-10, -10, 5, 5}, {-7, -20, 20, 20}, true, {-7, -10, 2, 5}},
        // Coordinates are truncated first: a is 0..10 x 0..10, b is 5..15 x 5..15.
        {{0.9f, 0.9f, 9.5f, 9.5f}, {5.7f, 5.2f, 10, 10}, true, {5, 5, 5, 5}},
        // Truncation makes rectangles that are 0.5 apart touch.
        {{0, 0, 10.5f, 10}, {10.9f, 0, 5, 5}, true, {10, 0, 0, 5}},
    };
    for (const auto& c : cases) {
        RectF out{-1, -1, -1, -1};
        p(&out).p(&c.a).p(&c.b);
        ASSERT_EQ(call(bi_ClipRectF), "");
        ASSERT_EQ(count(), 1);
        EXPECT_EQ(top_bool(), c.meet) << "case " << &c - cases;
        EXPECT_EQ(out, c.out) << "case " << &c - cases;
        reset();
    }
    // The result may go over either input, or nowhere.
    RectF a{0, 0, 10, 10}, b{5, 5, 10, 10};
    EXPECT_TRUE(result_of(p(&b).p(&a).p(&b), bi_ClipRectF, kTagBool).i);
    EXPECT_EQ(b, (RectF{5, 5, 5, 5}));
    EXPECT_TRUE(result_of(p(nullptr).p(&a).p(&a), bi_ClipRectF, kTagBool).i);
    EXPECT_EQ(error_of(p(nullptr).p(nullptr).p(&b), bi_ClipRectF), "Null pointer passed to ClipRectF");
}

TEST_F(Services, AllocationBuiltins) {
    auto* block = static_cast<unsigned char*>(pointer_of(i(16), bi_malloc));
    ASSERT_TRUE(block);
    // memset fills with the low byte of the value and returns the block.
    EXPECT_EQ(pointer_of(p(block).i(0x1AB).i(16), bi_memset), block);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(block[k], 0xAB) << k;
    auto* copy = static_cast<unsigned char*>(pointer_of(p(block).i(16), bi_memdup));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, block);
    EXPECT_EQ(std::memcmp(copy, block, 16), 0);
    void* empty = pointer_of(p(nullptr).i(0), bi_memdup);
    EXPECT_TRUE(empty);  // a copy of nothing is still a block
    auto* zeros = static_cast<int32_t*>(pointer_of(i(4).i(4), bi_calloc));
    ASSERT_TRUE(zeros);
    EXPECT_EQ(zeros[0] | zeros[1] | zeros[2] | zeros[3], 0);
    // Sizes that cannot be allocated give 0.
    EXPECT_EQ(pointer_of(i(-1), bi_malloc), nullptr);
    EXPECT_EQ(pointer_of(i(-1).i(4), bi_calloc), nullptr);
    EXPECT_EQ(pointer_of(i(0x40000000).i(16), bi_calloc), nullptr);  // the product overflows
    EXPECT_EQ(pointer_of(p(block).i(-1), bi_memdup), nullptr);
    void* blocks[] = {block, copy, empty, zeros, nullptr};
    for (void* q : blocks) {
        p(q);
        EXPECT_EQ(call(bi_free), "");
        EXPECT_EQ(count(), 0);
    }
}

TEST_F(Services, MemcpyMemsetAndMemcmp) {
    ASSERT_EQ(resolve_builtin(name_hash("memmove")), &bi_memcpy);  // the same entry point
    char forward[] = "0123456789", backward[] = "0123456789", dst[4] = "abc";
    EXPECT_EQ(pointer_of(p(forward + 2).p(forward).i(5), bi_memcpy), forward + 2);
    EXPECT_STREQ(forward, "0101234789");
    EXPECT_EQ(pointer_of(p(backward).p(backward + 3).i(7), bi_memcpy), backward);
    EXPECT_STREQ(backward, "3456789789");
    EXPECT_EQ(pointer_of(p(dst).p(nullptr).i(0), bi_memcpy), dst);
    EXPECT_EQ(pointer_of(p(nullptr).i(0).i(0), bi_memset), nullptr);
    const unsigned char a[] = {0x01, 0xFF, 0x00}, b2[] = {0x01, 0x00, 0x7F};
    struct { const void *x, *y; int32_t n, expected; } cmp[] = {
        {a, b2, 2, 1}, {b2, a, 3, -1}, {a, a, 3, 0}, {a, b2, 1, 0}, {nullptr, nullptr, 0, 0},
    };
    for (const auto& k : cmp) EXPECT_EQ(int_of(p(k.x).p(k.y).i(k.n), bi_memcmp), k.expected) << k.n;
    struct { BuiltinFn fn; const char* name; } checked[] = {{bi_memcpy, "memcpy"}, {bi_memset, "memset"},
                                                            {bi_memcmp, "memcmp"}};
    for (const auto& c : checked) {  // the middle argument is an int or a pointer
        EXPECT_EQ(error_of(p(dst).i(0).i(-1), c.fn), std::string("Negative size passed to ") + c.name);
        EXPECT_EQ(error_of(p(nullptr).i(0).i(2), c.fn), std::string("Null pointer passed to ") + c.name);
    }
    EXPECT_STREQ(dst, "abc");
}

TEST_F(Services, AddressStepsByWords) {
    const auto base = reinterpret_cast<void*>(uintptr_t{0x1000});
    struct { int32_t index; uintptr_t expected; } cases[] = {{3, 0x100C}, {-1, 0xFFC}, {-0x400, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(pointer_of(p(base).i(c.index), bi_address)), c.expected) << c.index;
    }
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pointer_of(i(8).i(1), bi_address)), uintptr_t{12});  // an int base
}

}  // namespace
