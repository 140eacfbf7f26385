// WStr: exact-fit growth, the terminator, ownership, insert positions and replaceAll.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "stdlib/wstr.h"

using namespace qel;

namespace {

std::u16string str(const WStr& s) { return std::u16string(s.text(), s.length); }

WStr make(const char16_t* text) {
    WStr s{};
    s.assignWide(text);
    return s;
}

// Every non-null buffer ends its text with a 0 unit and holds at least length units.
void expect_sound(const WStr& s, const std::string& where) {
    if (!s.buffer) {
        EXPECT_EQ(s.length, 0u) << where;
        EXPECT_EQ(s.capacity, 0u) << where;
        EXPECT_NE(s.text(), nullptr) << where;
        EXPECT_EQ(s.text()[0], 0) << where;
        return;
    }
    EXPECT_LE(s.length, s.capacity) << where;
    EXPECT_EQ(s.buffer[s.length], 0) << where;
}

struct Step {
    const char* what;
    std::function<void(WStr&)> op;
    std::u16string text;
    uint32_t capacity;
    bool null_buffer;
};

// One string taken through a sequence of operations; after each the text, the exact capacity
// and whether the buffer is null are as listed.
TEST(WStr, GrowthIsExactAndEveryOperationKeepsTheTerminator) {
    const char16_t unterminated[] = {u'x', u'y', u'z'};  // appendN must take exactly 2 of these
    const std::vector<Step> steps = {
        {"zero-filled", [](WStr&) {}, u"", 0, true},
        {"reserve 5 on empty", [](WStr& s) { s.reserve(5); }, u"", 5, false},
        {"reserve below capacity", [](WStr& s) { s.reserve(3); }, u"", 5, false},
        {"reserve 0 clears", [](WStr& s) { s.reserve(0); }, u"", 0, true},
        {"assignWide", [](WStr& s) { s.assignWide(u"abc"); }, u"abc", 3, false},
        {"append grows to the sum", [](WStr& s) { WStr o = make(u"de"); s.append(o); o.clear(); }, u"abcde", 5, false},
        {"appendWide one more", [](WStr& s) { s.appendWide(u"f"); }, u"abcdef", 6, false},
        {"append empty", [](WStr& s) { WStr o{}; s.append(o); }, u"abcdef", 6, false},
        {"appendN two units", [&](WStr& s) { s.appendN(unterminated, 2); }, u"abcdefxy", 8, false},
        {"appendN nothing", [&](WStr& s) { s.appendN(unterminated, 0); }, u"abcdefxy", 8, false},
        {"assign shorter keeps capacity", [](WStr& s) { WStr o = make(u"hi"); s.assign(o); o.clear(); }, u"hi", 8,
         false},
        {"reserve more keeps the text", [](WStr& s) { s.reserve(20); }, u"hi", 20, false},
        {"appendNarrow shrinks to fit", [](WStr& s) { s.appendNarrow("!?"); }, u"hi!?", 4, false},
        {"assign empty clears", [](WStr& s) { WStr o{}; s.assign(o); }, u"", 0, true},
        {"assignWide empty keeps a buffer", [](WStr& s) { s.assignWide(u""); }, u"", 0, false},
        {"appendN on empty takes n units", [&](WStr& s) { s.appendN(unterminated, 2); }, u"xy", 2, false},
        {"setChar", [](WStr& s) { s.setChar(u'\u263A'); }, u"\u263A", 1, false},
        {"assignNarrow one unit per byte", [](WStr& s) { s.assignNarrow("a\xE9"); }, u"a\u00E9", 2, false},
        {"appendNarrow on empty", [](WStr& s) { s.clear(); s.appendNarrow("ok"); }, u"ok", 2, false},
        {"assign exactly the length", [](WStr& s) { s.clear(); WStr o = make(u"four"); s.assign(o); o.clear(); },
         u"four", 4, false},
        {"self append doubles", [](WStr& s) { s.append(s); }, u"fourfour", 8, false},
        {"appendWide of own text", [](WStr& s) { s.appendWide(s.buffer + 4); }, u"fourfourfour", 12, false},
        {"clear", [](WStr& s) { s.clear(); }, u"", 0, true},
    };
    WStr s{};
    for (const Step& step : steps) {
        step.op(s);
        EXPECT_EQ(str(s), step.text) << step.what;
        EXPECT_EQ(s.capacity, step.capacity) << step.what;
        EXPECT_EQ(s.buffer == nullptr, step.null_buffer) << step.what;
        expect_sound(s, step.what);
    }
    s.clear();
}

TEST(WStr, CopiesAreDeepAndBuffersAreHandedOverWhole) {
    WStr a = make(u"shared?");
    WStr b{};
    b.assign(a);
    ASSERT_NE(a.buffer, b.buffer);
    a.buffer[0] = u'S';
    EXPECT_EQ(str(b), u"shared?");

    // detach gives the caller the buffer; adopt takes one and frees the old one.
    WChar* taken = a.detach();
    EXPECT_EQ(a.buffer, nullptr);
    EXPECT_EQ(a.length, 0u);
    EXPECT_EQ(std::u16string(taken), u"Shared?");
    b.adopt(taken, 7, 7);
    EXPECT_EQ(b.buffer, taken);
    EXPECT_EQ(str(b), u"Shared?");

    // A string may be assigned from itself and from a piece of itself.
    b.assign(b);
    EXPECT_EQ(str(b), u"Shared?");
    b.assignWide(b.buffer + 2);
    EXPECT_EQ(str(b), u"ared?");
    EXPECT_EQ(b.capacity, 5u);
    expect_sound(b, "assignWide from itself");

    // wstr_new is zero-filled and wstr_delete frees buffer and record (null ignored).
    WStr* h = wstr_new();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->buffer, nullptr);
    h->assignWide(u"heap");
    wstr_delete(h);
    wstr_delete(nullptr);

    // Null texts read as empty rather than crashing.
    b.appendWide(nullptr);
    b.appendNarrow(nullptr);
    EXPECT_EQ(str(b), u"ared?");
    b.assignWide(nullptr);
    EXPECT_EQ(str(b), u"");
    b.clear();
}

TEST(WStr, SizesPastTheAddressSpaceFailAndChangeNothing) {
    WStr s = make(u"abc");
    WChar* before = s.buffer;
    for (int n : {0x3FFFFFFF, 0x7FFFFFFF}) {
        s.reserve(n);
        EXPECT_EQ(s.buffer, before) << n;
        EXPECT_EQ(s.capacity, 3u) << n;
        EXPECT_EQ(str(s), u"abc") << n;
    }
    // (n + 1) * 2 bytes would wrap a 32-bit size to a tiny block.
    s.assignWide(u"xyz", 0x80000000u);
    EXPECT_EQ(str(s), u"abc");
    s.appendUnits(u"xyz", 0xFFFFFFFFu);
    EXPECT_EQ(str(s), u"abc");
    s.clear();
}

TEST(WStr, EqualsComparesLengthAndUnits) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        bool equal;
    };
    const Case cases[] = {
        {u"abc", u"abc", true},  {u"abc", u"abd", false}, {u"ab", u"abc", false},
        {u"", u"", true},        {u"A", u"a", false},     {u"\u00E9", u"\u00E9", true},
    };
    for (const Case& c : cases) {
        WStr a = make(c.a), b = make(c.b);
        EXPECT_EQ(a.equals(b), c.equal) << std::string(c.a, c.a + wlen(c.a));
        EXPECT_EQ(b.equals(a), c.equal);
        a.clear();
        b.clear();
    }
    // A null buffer and a non-null empty buffer are the same empty string.
    WStr none{}, empty = make(u"");
    ASSERT_NE(empty.buffer, nullptr);
    EXPECT_TRUE(none.equals(empty));
    EXPECT_TRUE(empty.equals(none));
    empty.clear();
}

TEST(WStr, InsertPositions) {
    struct Case {
        const char16_t* target;
        int index;
        const char16_t* src;
        const char16_t* expected;
        uint32_t capacity;
    };
    const Case cases[] = {
        {u"abc", -1, u"XY", u"abc", 3},    // negative: nothing
        {u"abc", 0, u"XY", u"XYabc", 5},   // 0 and 1 both insert at the front
        {u"abc", 1, u"XY", u"XYabc", 5},
        {u"abc", 2, u"XY", u"aXYbc", 5},
        {u"abc", 3, u"XY", u"abXYc", 5},
        {u"abc", 4, u"XY", u"abcXY", 5},   // length + 1 appends
        {u"abc", 9, u"XY", u"abcXY", 5},   // beyond that: appended as well
        {u"", 1, u"XY", u"XY", 2},
        {u"abc", 2, u"", u"abc", 3},       // nothing to insert
        {u"", 1, u"", u"", 0},
    };
    for (const Case& c : cases) {
        WStr t = make(c.target), src = make(c.src);
        t.insert(c.index, src);
        std::string what = "insert at " + std::to_string(c.index);
        EXPECT_EQ(str(t), c.expected) << what;
        EXPECT_EQ(t.capacity, c.capacity) << what;
        expect_sound(t, what);
        t.clear();
        src.clear();
    }
    WStr self = make(u"abc");
    self.insert(2, self);
    EXPECT_EQ(str(self), u"aabcbc");
    self.clear();
}

TEST(WStr, ReplaceAll) {
    struct Case {
        const char16_t* s;
        const char16_t* pattern;
        const char16_t* replacement;
        bool case_sensitive;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"aXbxc", u"x", u"--", false, u"a--b--c"},
        {u"aXbxc", u"x", u"--", true, u"aXb--c"},
        {u"aa", u"a", u"aa", true, u"aaaa"},        // replaced text is not searched again
        {u"aaa", u"aa", u"b", true, u"ba"},          // left to right, no overlaps
        {u"abcabc", u"abc", u"", true, u""},         // everything replaced by nothing
        {u"xabcx", u"abc", u"", true, u"xx"},
        {u"ABCabc", u"bC", u".", false, u"A.a."},
        {u"abc", u"", u"x", true, u"abc"},           // empty pattern: unchanged
        {u"", u"a", u"b", true, u""},
        {u"ab", u"abc", u"x", true, u"ab"},          // pattern longer than the text
        {u"head tail", u"head", u"H", true, u"H tail"},
        {u"head tail", u"tail", u"T", true, u"head T"},
        // Case folding is the default locale's: only A-Z and a-z.
        {u"\u00E9\u00C9", u"\u00E9", u"e", false, u"e\u00C9"},
        {u"\u00DCber \u00DC", u"\u00DC", u"U", true, u"Uber U"},
    };
    for (const Case& c : cases) {
        WStr s = make(c.s), pattern = make(c.pattern), replacement = make(c.replacement);
        s.replaceAll(pattern, replacement, c.case_sensitive);
        std::u16string what(c.s);
        EXPECT_EQ(str(s), c.expected) << std::string(what.begin(), what.end());
        expect_sound(s, "replaceAll");
        s.clear();
        pattern.clear();
        replacement.clear();
    }

    // No match gives the same buffer back untouched; the built result is exact-fit.
    WStr s = make(u"xyz"), q = make(u"q"), r = make(u"rr");
    WChar* before = s.buffer;
    s.replaceAll(q, r, true);
    EXPECT_EQ(s.buffer, before);
    EXPECT_EQ(s.capacity, 3u);
    WStr y = make(u"y");
    s.replaceAll(y, r, true);
    EXPECT_EQ(str(s), u"xrrz");
    EXPECT_EQ(s.capacity, 4u);

    // The pattern or the replacement may be the string itself.
    s.replaceAll(s, q, true);
    EXPECT_EQ(str(s), u"q");
    s.replaceAll(q, s, true);
    EXPECT_EQ(str(s), u"q");
    for (WStr* w : {&s, &q, &r, &y}) w->clear();
}

TEST(WStr, ConversionsToBytes) {
    WStr s = make(u"a\u00E9\u20AC");
    int bytes = 0;
    char* utf8 = s.toUtf8(&bytes);
    ASSERT_NE(utf8, nullptr);
    EXPECT_EQ(bytes, 7);  // 1 + 2 + 3 and the terminator
    EXPECT_STREQ(utf8, "a\xC3\xA9\xE2\x82\xAC");
    std::free(utf8);

    WStr empty{};
    utf8 = empty.toUtf8(&bytes);
    EXPECT_EQ(bytes, 1);
    EXPECT_STREQ(utf8, "");
    std::free(utf8);

    WStr ascii = make(u"Name_1");
    char* ansi = ascii.toAnsi();
    EXPECT_STREQ(ansi, "Name_1");
    std::free(ansi);

    s.assignUtf8("\xC3\xBC\xF0\x9F\x98\x80");  // u-umlaut and a character outside the BMP
    EXPECT_EQ(str(s), u"\u00FC\U0001F600");
    EXPECT_EQ(s.length, 3u);
    s.clear();
    ascii.clear();
}

}  // namespace
