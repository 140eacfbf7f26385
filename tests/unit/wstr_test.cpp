// WStr: exact-fit growth, the terminator, ownership, insert positions and replace_all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/wstr.h"
#include "platform/ansi_name.h"

using namespace qel;

namespace {

// The text, or a note when the buffer breaks a rule: a non-null buffer keeps its 0 unit behind
// the text and holds the length; a null buffer has length and capacity 0.
std::u16string str(const WStr& s) {
    if (!s.buffer) return s.length || s.capacity || s.text()[0] ? u"<bad empty>" : u"";
    if (s.length > s.capacity || s.buffer[s.length] != 0) return u"<unterminated>";
    return std::u16string(s.buffer, s.length);
}

// The text and, after '#', the capacity; "-" for a null buffer.
std::u16string state(const WStr& s) {
    std::string n = std::to_string(s.capacity);
    return s.buffer ? str(s) + u"#" + std::u16string(n.begin(), n.end()) : str(s) + u"-";
}

WStr make(const char16_t* text) {
    WStr s{};
    s.assign_wide(text);
    return s;
}

// The state after one operation on fresh strings, which are freed.
std::u16string after(const char16_t* text, const char16_t* arg1, const char16_t* arg2,
                     const std::function<void(WStr&, WStr&, WStr&)>& op) {
    WStr s = make(text), a = make(arg1), b = make(arg2);
    op(s, a, b);
    std::u16string out = state(s);
    for (WStr* w : {&s, &a, &b}) w->clear();
    return out;
}
std::u16string inserted(const char16_t* target, int index, const char16_t* src) {
    return after(target, src, u"", [&](WStr& s, WStr& a, WStr&) { s.insert(index, a); });
}
std::u16string replaced(const char16_t* text, const char16_t* pattern, const char16_t* by, bool case_sensitive) {
    return after(text, pattern, by, [&](WStr& s, WStr& p, WStr& r) { s.replace_all(p, r, case_sensitive); });
}
// How many of a.equals(b) and b.equals(a) hold.
int equal(const char16_t* a, const char16_t* b) {
    int n = 0;
    after(a, b, u"", [&](WStr& x, WStr& y, WStr&) { n = x.equals(y) + y.equals(x); });
    return n;
}

// One string taken through a sequence of operations: after each, text and exact capacity.
// Assignments fit exactly (and keep a larger buffer); growth at the end adds half as much again.
TEST(WStr, GrowthAndEveryOperationKeepsTheTerminator) {
    const char16_t unterminated[] = {u'x', u'y', u'z'};  // append_n must take exactly 2 of these
    WStr s{}, o{};
    const std::vector<std::pair<std::function<void()>, std::u16string>> steps = {
        {[&] { s.reserve(5); }, u"#5"}, {[&] { s.reserve(3); }, u"#5"}, {[&] { s.reserve(0); }, u"-"},
        {[&] { s.assign_wide(u"abc"); }, u"abc#3"}, {[&] { o.assign_wide(u"de"); s.append(o); }, u"abcde#12"},
        {[&] { s.append_wide(u"f"); }, u"abcdef#12"}, {[&] { s.append_n(unterminated, 2); }, u"abcdefxy#12"},
        {[&] { o.assign_wide(u"hi"); s.assign(o); }, u"hi#12"}, {[&] { s.reserve(20); }, u"hi#20"},
        {[&] { s.append_narrow("!?"); }, u"hi!?#4"},  // exact fit, also downwards
        {[&] { o.clear(); s.assign(o); }, u"-"}, {[&] { s.assign_wide(u""); }, u"#0"},
        {[&] { s.append_n(unterminated, 2); }, u"xy#2"}, {[&] { s.set_char(u'\u263A'); }, u"\u263A#1"},
        {[&] { s.assign_narrow("a\xE9"); }, u"a\u00E9#2"},  // one unit per byte
        {[&] { s.clear(); o.assign_wide(u"four"); s.assign(o); }, u"four#4"},
        {[&] { s.append(s); }, u"fourfour#14"}, {[&] { s.append_wide(s.buffer + 4); }, u"fourfourfour#14"},
        {[&] { s.clear(); }, u"-"},
    };
    for (size_t n = 0; n < steps.size(); ++n) {
        steps[n].first();
        EXPECT_EQ(state(s), steps[n].second) << "step " << n;
    }
    o.clear();
}

TEST(WStr, CopiesAreDeepBuffersAreHandedOverWholeAndHugeSizesFail) {
    WStr a = make(u"shared?"), b{};
    b.assign(a);
    a.buffer[0] = u'S';
    EXPECT_EQ(str(b), u"shared?");
    WChar* taken = a.detach();  // the caller gets the buffer; adopt takes one and frees the old
    EXPECT_EQ(state(a), u"-");
    b.adopt(taken, 7, 7);
    EXPECT_EQ(b.buffer, taken);
    b.assign(b);  // from itself and from a piece of itself
    EXPECT_EQ(str(b), u"Shared?");
    b.assign_wide(b.buffer + 2);
    b.append_wide(nullptr);  // null texts read as empty
    b.append_narrow(nullptr);
    EXPECT_EQ(state(b), u"ared?#5");
    b.assign_wide(nullptr);
    EXPECT_EQ(state(b), u"#0");
    b.clear();
    WStr* h = wstr_new();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(state(*h), u"-");
    h->assign_wide(u"heap");
    wstr_delete(h);
    wstr_delete(nullptr);
    // Sizes past the address space fail and change nothing.
    WStr s = make(u"abc");
    WChar* before = s.buffer;
    for (int n : {0x3FFFFFFF, 0x7FFFFFFF}) s.reserve(n);
    s.assign_wide(u"xyz", 0x80000000u);  // (n + 1) * 2 bytes would wrap to a tiny block
    s.append_units(u"xyz", 0xFFFFFFFFu);
    EXPECT_EQ(s.buffer, before);
    EXPECT_EQ(state(s), u"abc#3");
    s.clear();
}

TEST(WStr, InsertReplaceAllAndEquals) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        // Index 0 and 1 both insert at the front, past length + 1 appends, a negative index does nothing.
        {inserted(u"abc", -1, u"XY"), u"abc#3"}, {inserted(u"abc", 0, u"XY"), u"XYabc#12"},
        {inserted(u"abc", 1, u"XY"), u"XYabc#12"}, {inserted(u"abc", 2, u"XY"), u"aXYbc#12"},
        {inserted(u"abc", 4, u"XY"), u"abcXY#12"}, {inserted(u"abc", 9, u"XY"), u"abcXY#12"},
        {inserted(u"", 1, u"XY"), u"XY#8"}, {inserted(u"abc", 2, u""), u"abc#3"},
        // Left to right, no overlaps, replaced text not searched again; only A-Z and a-z fold.
        {replaced(u"aXbxc", u"x", u"--", false), u"a--b--c#8"}, {replaced(u"aXbxc", u"x", u"--", true), u"aXb--c#8"},
        {replaced(u"aa", u"a", u"aa", true), u"aaaa#11"}, {replaced(u"aaa", u"aa", u"b", true), u"ba#9"},
        {replaced(u"abcabc", u"abc", u"", true), u"-"}, {replaced(u"ABCabc", u"bC", u".", false), u"A.a.#8"},
        {replaced(u"abc", u"", u"x", true), u"abc#3"}, {replaced(u"ab", u"abc", u"x", true), u"ab#2"},
        {replaced(u"head tail", u"head", u"H", true), u"H tail#9"},
        {replaced(u"head tail", u"tail", u"T", true), u"head T#8"},
        {replaced(u"\u00E9\u00C9", u"\u00E9", u"e", false), u"e\u00C9#9"},
    };
    for (size_t n = 0; n < std::size(cases); ++n) EXPECT_EQ(cases[n].first, cases[n].second) << "case " << n;
    EXPECT_EQ(equal(u"abc", u"abc"), 2);
    EXPECT_EQ(equal(u"abc", u"abd") + equal(u"ab", u"abc") + equal(u"A", u"a"), 0);
    WStr none{}, empty = make(u"");  // a null buffer and an empty buffer are the same text
    EXPECT_TRUE(none.equals(empty) && empty.equals(none));
    empty.clear();
    // Either string may be this very one; no match gives the same buffer back.
    WStr s = make(u"abc"), q = make(u"q");
    s.insert(2, s);
    EXPECT_EQ(str(s), u"aabcbc");
    WChar* before = s.buffer;
    s.replace_all(q, s, true);
    EXPECT_EQ(s.buffer, before);
    s.replace_all(s, q, true);
    EXPECT_EQ(str(s), u"q");
    s.replace_all(q, s, true);
    EXPECT_EQ(str(s), u"q");
    s.clear();
    q.clear();
}

TEST(WStr, ConversionsToBytes) {
    WStr s = make(u"a\u00E9\u20AC"), empty{}, ascii = make(u"Name_1");
    int bytes = 0, none = 0;
    char* texts[] = {s.to_utf8(&bytes), empty.to_utf8(&none), qel::platform::to_ansi(ascii)};
    EXPECT_EQ(bytes, 7);  // 1 + 2 + 3 and the terminator
    EXPECT_EQ(none, 1);
    EXPECT_STREQ(texts[0], "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_STREQ(texts[1], "");
    EXPECT_STREQ(texts[2], "Name_1");
    for (char* t : texts) std::free(t);
    s.assign_utf8("\xC3\xBC\xF0\x9F\x98\x80");  // u-umlaut and a character outside the BMP
    EXPECT_EQ(str(s), u"\u00FC\U0001F600");
    s.clear();
    ascii.clear();
}

}  // namespace
