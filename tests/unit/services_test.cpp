// Runtime services called as a script calls them: hash, random numbers, arithmetic and bits,
// colours, Direct2D geometry helpers and raw memory.
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <ostream>
#include <thread>
#include <vector>

#include "builtin_harness.h"
#include "platform/platform.h"
#include "stdlib/name_hash.h"

using namespace qel;

namespace {

class Services : public qeltest::Builtins {
public:
    // Argument pushes that chain (the fixture's own are reachable only without chaining).
    Services& i(int32_t v) { Builtins::i(v); return *this; }
    Services& l(int64_t v) { Builtins::l(v); return *this; }
    Services& d(double v) { Builtins::d(v); return *this; }
    Services& b(bool v) { Builtins::b(v); return *this; }
    Services& p(const void* v) { Builtins::p(v); return *this; }
    Services& s(const std::u16string& v) { Builtins::s(v); return *this; }

protected:
    // Runs a built-in on the given arguments (pushed by the caller) and expects one result.
    int32_t int_of(BuiltinFn fn) {
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        int32_t v = top_int();
        reset();
        return v;
    }
    double double_of(BuiltinFn fn) {
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        double v = top_double();
        reset();
        return v;
    }
    void* pointer_of(BuiltinFn fn) {
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        void* v = top_pointer();
        reset();
        return v;
    }
    std::string error_of(BuiltinFn fn) {
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
    struct Case {
        std::u16string name;
        uint32_t hash;
    } cases[] = {
        {u"", 0},
        {u"Abs", 0x107173},
        {u"trace", 0x4E5871EC},
        {u"Format", 0xFE5B732A},
        {u"list_create", 0x20A214B9},
        // A unit above 0x7F is added zero-extended (the byte form would add 0xFFFFFFE9).
        {u"\u00E9", 0xE9},
        {u"A\u00E9", (0x41u << 7) + 0xE9},
        {u"\u4E2D", 0x4E2D},
    };
    for (const auto& c : cases) {
        s(c.name);
        EXPECT_EQ(static_cast<uint32_t>(int_of(bi_Hash)), c.hash) << c.hash;
    }
    i(5);
    EXPECT_EQ(error_of(bi_Hash), "Cannot convert 'int' to 'string'");
}

TEST_F(Services, RandomStartsFromStateOneOnEveryThread) {
    // The main thread's generator moves on; a new thread still starts at 42, 68, 35, 1, 70.
    for (int k = 0; k < 3; ++k) {
        i(100);
        int_of(bi_Random);
    }
    std::vector<int32_t> first;
    std::thread t([&] {
        for (int k = 0; k < 5; ++k) {
            i(100);
            first.push_back(int_of(bi_Random));
        }
    });
    t.join();
    EXPECT_EQ(first, (std::vector<int32_t>{42, 68, 35, 1, 70}));
}

TEST_F(Services, RandomRangeAndEmptyRanges) {
    std::vector<int32_t> got;
    std::thread t([&] {
        i(32768);
        got.push_back(int_of(bi_Random));  // r + 1
        // n <= 0 gives 0 and does not advance the generator.
        i(0);
        got.push_back(int_of(bi_Random));
        i(-7);
        got.push_back(int_of(bi_Random));
        i(32768);
        got.push_back(int_of(bi_Random));
        i(1);
        got.push_back(int_of(bi_Random));
        bool inRange = true;
        for (int k = 0; k < 500; ++k) {
            i(7);
            int32_t r = int_of(bi_Random);
            inRange = inRange && r >= 1 && r <= 7;
        }
        got.push_back(inRange);
    });
    t.join();
    std::vector<int32_t> expected = generator_outputs(1, 2);
    EXPECT_EQ(got, (std::vector<int32_t>{expected[0] + 1, 0, 0, expected[1] + 1, 1, 1}));
}

TEST_F(Services, RandomizeSeedsWithTheTimeInSeconds) {
    int32_t r = -1;
    uint32_t before = 0, after = 0;
    std::thread t([&] {
        before = static_cast<uint32_t>(std::time(nullptr));
        EXPECT_EQ(call(bi_Randomize), "");
        EXPECT_EQ(count(), 0);
        i(32768);
        r = int_of(bi_Random) - 1;
        after = static_cast<uint32_t>(std::time(nullptr));
    });
    t.join();
    EXPECT_TRUE(r == generator_outputs(before, 1)[0] || r == generator_outputs(after, 1)[0]) << r;
}

TEST_F(Services, AbsKeepsTheMostNegativeInt) {
    const int32_t cases[][2] = {{5, 5}, {-5, 5}, {0, 0}, {INT_MAX, INT_MAX}, {-INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}};
    for (const auto& c : cases) {
        i(c[0]);
        EXPECT_EQ(int_of(bi_Abs), c[1]) << c[0];
    }
    d(1.5);
    EXPECT_EQ(error_of(bi_Abs), "Cannot convert 'double' to 'int'");
}

TEST_F(Services, DoubleFunctionsTakeAnyNumberAndKeepOrder) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        BuiltinFn fn;
        double x, expected;
    } cases[] = {
        {bi_fAbs, -2.5, 2.5}, {bi_Ceil, -1.5, -1.0}, {bi_Floor, -1.5, -2.0},
        {bi_Cos, 0.0, 1.0},   {bi_Sin, 0.0, 0.0},    {bi_Sqrt, 9.0, 3.0},
    };
    for (const auto& c : cases) {
        d(c.x);
        EXPECT_EQ(double_of(c.fn), c.expected) << c.x;
    }
    // An int or a long is taken as a double.
    i(-4);
    EXPECT_EQ(double_of(bi_fAbs), 4.0);
    l(-9);
    EXPECT_EQ(double_of(bi_Ceil), -9.0);
    // fAbs clears the sign bit, also of -0 and of a NaN.
    d(-0.0);
    EXPECT_FALSE(std::signbit(double_of(bi_fAbs)));
    d(-nan);
    double cleared = double_of(bi_fAbs);
    EXPECT_TRUE(std::isnan(cleared));
    EXPECT_FALSE(std::signbit(cleared));
    d(-1.0);
    EXPECT_TRUE(std::isnan(double_of(bi_Sqrt)));
    s(u"1");
    EXPECT_EQ(error_of(bi_Floor), "Cannot convert 'string' to 'double'");
    // Two-argument functions: x is pushed first.
    i(2).i(3);
    EXPECT_EQ(double_of(bi_Pow), 8.0);
    d(2).d(1);
    EXPECT_EQ(double_of(bi_Max), 2.0);
    d(-3).i(-4);
    EXPECT_EQ(double_of(bi_Max), -3.0);
    // y wins only when it is greater: a NaN x stays, a NaN y does not win.
    d(nan).d(1);
    EXPECT_TRUE(std::isnan(double_of(bi_Max)));
    d(1).d(nan);
    EXPECT_EQ(double_of(bi_Max), 1.0);
}

TEST_F(Services, NotLooksAtTheWholePayloadInPlace) {
    struct Case {
        uint32_t tag;
        uint64_t payload;
        bool expected;
    } cases[] = {
        {kTagBool, 1, false},          {kTagBool, 0, true},
        {kTagInt, 0, true},            {kTagInt, 0xFFFFFFFF, false},
        {kTagPointer, 0, true},        {kTagPointer, 4, false},
        {kTagLong, 0, true},           {kTagLong, uint64_t{1} << 32, false},
        {kTagLong, 1, false},          {kTagMethod, 0, true},
        {kTagMethod, uint64_t{1} << 40, false},  // a target without a method
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
    d(0);
    EXPECT_EQ(error_of(bi_Not), "Cannot convert 'double' to 'bool'");
    s(u"");
    EXPECT_EQ(error_of(bi_Not), "Cannot convert 'string' to 'bool'");
}

TEST_F(Services, BNotComplementsIntsAndLongsKeepingTheKind) {
    i(0);
    EXPECT_EQ(int_of(bi_BNot), -1);
    i(0x0F0F0F0F);
    EXPECT_EQ(int_of(bi_BNot), static_cast<int32_t>(0xF0F0F0F0));
    l(0x00000000FFFFFFFFLL);
    ASSERT_EQ(call(bi_BNot), "");
    EXPECT_EQ(top().tag, kTagLong);
    EXPECT_EQ(top().v.l, static_cast<int64_t>(0xFFFFFFFF00000000ULL));
    reset();
    b(true);
    EXPECT_EQ(error_of(bi_BNot), "Cannot convert 'bool' to 'int'");
    p(nullptr);
    EXPECT_EQ(error_of(bi_BNot), "Cannot convert 'pointer' to 'int'");
}

TEST_F(Services, ColourPackingAndChannels) {
    struct Case {
        BuiltinFn fn;
        std::vector<int32_t> args;
        uint32_t expected;
    } cases[] = {
        {bi_RGB, {1, 2, 3}, 0x030201},
        {bi_RGB, {0x101, -1, 0x1FF}, 0xFFFF01},  // each channel is taken AND 255
        {bi_MakeARGB, {255, 1, 2, 3}, 0xFF010203},
        {bi_MakeARGB, {0x180, 0x1FF, 0, -2}, 0x80FF00FE},
        {bi_GetRValue, {0x00112233}, 0x33},
        {bi_GetGValue, {0x00112233}, 0x22},
        {bi_GetBValue, {0x00112233}, 0x11},
        {bi_GetRValue, {-1}, 0xFF},
        {bi_GetBValue, {-1}, 0xFF},  // bits 16-23 only, not the sign
        {bi_ColorToRGB, {0x00123456}, 0x00123456},
        {bi_ColorToRGB, {0}, 0},
    };
    for (const auto& c : cases) {
        for (int32_t a : c.args) i(a);
        EXPECT_EQ(static_cast<uint32_t>(int_of(c.fn)), c.expected) << c.expected;
    }
    // A negative colour is the system colour of its low byte.
    i(static_cast<int32_t>(0x80000005));
    EXPECT_EQ(static_cast<uint32_t>(int_of(bi_ColorToRGB)), platform::sys_color(5));
    i(static_cast<int32_t>(0x8000010F));
    EXPECT_EQ(static_cast<uint32_t>(int_of(bi_ColorToRGB)), platform::sys_color(15));
    i(1).s(u"2").i(3);
    EXPECT_EQ(error_of(bi_RGB), "Cannot convert 'string' to 'int'");
}

TEST_F(Services, HexColor) {
    struct Case {
        std::u16string text;
        uint32_t expected;
    } cases[] = {
        {u"#102030", 0x302010},   {u"#80102030", 0x80102030}, {u"#123", 0},        {u"", 0},
        {u"#abcdef", 0xEFCDAB},   {u"#FFFFFFFF", 0xFFFFFFFF}, {u"#1020304", 0},    {u"#10203", 0},
        // Digits are read up to the first unit that is not one (after the swap for 7 units).
        {u"#1020ZZ", 0},          {u"#ZZ2030", 0x3020},     {u"#8010203G", 0x8010203},
    };
    for (const auto& c : cases) {
        s(c.text);
        EXPECT_EQ(static_cast<uint32_t>(int_of(bi_HexColor)), c.expected) << c.expected;
    }
    i(0x102030);
    EXPECT_EQ(error_of(bi_HexColor), "Cannot convert 'int' to 'string'");
}

TEST_F(Services, D2DColoursRoundTripEveryByte) {
    for (uint32_t k = 0; k < 256; ++k) {
        const uint32_t argb = k << 24 | (255 - k) << 16 | (k ^ 0x5A) << 8 | ((k * 7) & 255);
        float colour[4] = {-1, -1, -1, -1};
        i(static_cast<int32_t>(argb)).p(colour);
        ASSERT_EQ(call(bi_ARGBToD2DColor), "");
        EXPECT_EQ(count(), 0);
        EXPECT_EQ(colour[0], static_cast<float>(255 - k) / 255.0f);
        EXPECT_EQ(colour[1], static_cast<float>(k ^ 0x5A) / 255.0f);
        EXPECT_EQ(colour[2], static_cast<float>((k * 7) & 255) / 255.0f);
        EXPECT_EQ(colour[3], static_cast<float>(k) / 255.0f);
        p(colour);
        EXPECT_EQ(static_cast<uint32_t>(int_of(bi_D2DColorToARGB)), argb) << k;
    }
}

TEST_F(Services, D2DColorToARGBTruncatesEachChannelToAByte) {
    struct Case {
        float r, g, b, a;
        uint32_t expected;
    } cases[] = {
        {0.5f, 0.0f, 1.0f, 1.0f, 0xFF7F00FF},                                     // 127.5 -> 127
        {1.5f, 0.0f, 0.0f, 1.0f, 0xFF7E0000},                                     // 382 -> low byte 0x7E
        {-0.2f, 0.0f, 0.0f, 0.0f, 0x00CD0000},                                    // -51 -> low byte 0xCD
        {std::numeric_limits<float>::quiet_NaN(), 1e30f, 0.0f, 1.0f, 0xFF000000},  // no integer: 0
    };
    for (const auto& c : cases) {
        float colour[4] = {c.r, c.g, c.b, c.a};
        p(colour);
        EXPECT_EQ(static_cast<uint32_t>(int_of(bi_D2DColorToARGB)), c.expected) << c.expected;
    }
    p(nullptr);
    EXPECT_EQ(error_of(bi_D2DColorToARGB), "Null pointer passed to D2DColorToARGB");
    i(0).p(nullptr);
    EXPECT_EQ(error_of(bi_ARGBToD2DColor), "Null pointer passed to ARGBToD2DColor");
}

TEST_F(Services, D2DPoint2FPacksTwoFloats) {
    struct Case {
        double x, y;
        uint32_t low, high;
    } cases[] = {
        {1.5, -2.0, 0x3FC00000, 0xC0000000},
        {0.1, 0.0, 0x3DCCCCCD, 0},  // the nearest float, not the double's bits
        {0.0, 1e300, 0, 0x7F800000},
    };
    for (const auto& c : cases) {
        d(c.x).d(c.y);
        ASSERT_EQ(call(bi_D2DPoint2F), "");
        ASSERT_EQ(count(), 1);
        EXPECT_EQ(top().tag, kTagLong);
        const auto bits = static_cast<uint64_t>(top().v.l);
        EXPECT_EQ(static_cast<uint32_t>(bits), c.low);
        EXPECT_EQ(static_cast<uint32_t>(bits >> 32), c.high);
        reset();
    }
}

struct RectF {
    float left, top, width, height;
};
bool operator==(const RectF& a, const RectF& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}
std::ostream& operator<<(std::ostream& o, const RectF& r) {
    return o << "(" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << ")";
}

TEST_F(Services, ClipRectFIntersectsWholeNumberRectangles) {
    struct Case {
        RectF a, b;
        bool meet;
        RectF out;
    } cases[] = {
        {{0, 0, 10, 10}, {10, 0, 5, 5}, true, {10, 0, 0, 5}},  // touching along an edge
        {{0, 0, 10, 10}, {5, 5, 10, 10}, true, {5, 5, 5, 5}},
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
        EXPECT_EQ(top_bool(), c.meet) << c.a << " " << c.b;
        EXPECT_EQ(out, c.out) << c.a << " " << c.b;
        reset();
    }
}

TEST_F(Services, ClipRectFOutMayBeAnInputOrNull) {
    RectF a{0, 0, 10, 10}, b{5, 5, 10, 10};
    p(&a).p(&a).p(&b);
    ASSERT_EQ(call(bi_ClipRectF), "");
    EXPECT_TRUE(top_bool());
    EXPECT_EQ(a, (RectF{5, 5, 5, 5}));
    reset();
    RectF b2{5, 5, 10, 10}, a2{0, 0, 10, 10};
    p(&b2).p(&a2).p(&b2);
    ASSERT_EQ(call(bi_ClipRectF), "");
    EXPECT_EQ(b2, (RectF{5, 5, 5, 5}));
    reset();
    p(nullptr).p(&a2).p(&b);
    ASSERT_EQ(call(bi_ClipRectF), "");
    EXPECT_TRUE(top_bool());
    reset();
    p(nullptr).p(nullptr).p(&b);
    EXPECT_EQ(error_of(bi_ClipRectF), "Null pointer passed to ClipRectF");
}

TEST_F(Services, AllocationBuiltins) {
    i(16);
    auto* block = static_cast<unsigned char*>(pointer_of(bi_malloc));
    ASSERT_TRUE(block);
    // memset fills with the low byte of the value and returns the block.
    p(block).i(0x1AB).i(16);
    EXPECT_EQ(pointer_of(bi_memset), block);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(block[k], 0xAB) << k;
    p(block).i(0).i(0);
    EXPECT_EQ(pointer_of(bi_memset), block);
    EXPECT_EQ(block[0], 0xAB);

    p(block).i(16);
    auto* copy = static_cast<unsigned char*>(pointer_of(bi_memdup));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, block);
    EXPECT_EQ(std::memcmp(copy, block, 16), 0);
    p(nullptr).i(0);
    void* empty = pointer_of(bi_memdup);
    EXPECT_TRUE(empty);  // a copy of nothing is still a block

    i(4).i(4);
    auto* zeros = static_cast<int32_t*>(pointer_of(bi_calloc));
    ASSERT_TRUE(zeros);
    EXPECT_EQ(zeros[0] | zeros[1] | zeros[2] | zeros[3], 0);

    // Sizes that cannot be allocated give 0.
    i(-1);
    EXPECT_EQ(pointer_of(bi_malloc), nullptr);
    i(-1).i(4);
    EXPECT_EQ(pointer_of(bi_calloc), nullptr);
    i(0x40000000).i(16);
    EXPECT_EQ(pointer_of(bi_calloc), nullptr);  // the product overflows
    p(block).i(-1);
    EXPECT_EQ(pointer_of(bi_memdup), nullptr);

    for (void* q : {static_cast<void*>(block), static_cast<void*>(copy), empty, static_cast<void*>(zeros)}) {
        p(q);
        EXPECT_EQ(call(bi_free), "");
        EXPECT_EQ(count(), 0);
    }
    p(nullptr);
    EXPECT_EQ(call(bi_free), "");
}

TEST_F(Services, MemcpyAndMemmoveAllowOverlap) {
    // memmove is the same entry point as memcpy.
    ASSERT_EQ(resolve_builtin(name_hash("memmove")), &bi_memcpy);
    char forward[] = "0123456789";
    p(forward + 2).p(forward).i(5);
    EXPECT_EQ(pointer_of(bi_memcpy), forward + 2);
    EXPECT_STREQ(forward, "0101234789");
    char backward[] = "0123456789";
    p(backward).p(backward + 3).i(7);
    EXPECT_EQ(pointer_of(bi_memcpy), backward);
    EXPECT_STREQ(backward, "3456789789");
    char dst[4] = "abc";
    p(dst).p(nullptr).i(0);
    EXPECT_EQ(pointer_of(bi_memcpy), dst);
    p(dst).p("xyz").i(-1);
    EXPECT_EQ(error_of(bi_memcpy), "Negative size passed to memcpy");
    p(nullptr).p("xyz").i(2);
    EXPECT_EQ(error_of(bi_memcpy), "Null pointer passed to memcpy");
    p(dst).i(0).i(-5);
    EXPECT_EQ(error_of(bi_memset), "Negative size passed to memset");
    p(nullptr).i(0).i(5);
    EXPECT_EQ(error_of(bi_memset), "Null pointer passed to memset");
    EXPECT_STREQ(dst, "abc");
}

TEST_F(Services, MemcmpComparesUnsignedBytes) {
    const unsigned char a[] = {0x01, 0xFF, 0x00}, b[] = {0x01, 0x00, 0x7F}, c[] = {0x01, 0xFF, 0x00};
    struct Case {
        const void *x, *y;
        int32_t n, expected;
    } cases[] = {
        {a, b, 2, 1}, {b, a, 2, -1}, {a, c, 3, 0}, {a, b, 1, 0}, {a, b, 0, 0}, {nullptr, nullptr, 0, 0},
        {a, b, 3, 1},  // decided at the first difference
    };
    for (const auto& k : cases) {
        p(k.x).p(k.y).i(k.n);
        EXPECT_EQ(int_of(bi_memcmp), k.expected) << k.n;
    }
    p(a).p(b).i(-1);
    EXPECT_EQ(error_of(bi_memcmp), "Negative size passed to memcmp");
    p(a).p(nullptr).i(1);
    EXPECT_EQ(error_of(bi_memcmp), "Null pointer passed to memcmp");
}

TEST_F(Services, AddressStepsByWords) {
    const auto base = reinterpret_cast<void*>(uintptr_t{0x1000});
    struct Case {
        int32_t index;
        uintptr_t expected;
    } cases[] = {{0, 0x1000}, {3, 0x100C}, {-1, 0xFFC}, {-0x400, 0}};
    for (const auto& c : cases) {
        p(base).i(c.index);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(pointer_of(bi_address)), c.expected) << c.index;
    }
    // An int is taken as the base as well.
    i(8).i(1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pointer_of(bi_address)), uintptr_t{12});
}

}  // namespace
