// String lists: splitting and joining, name=value lines, sorting, the file encodings byte for
// byte, compressed files, and the strings_ built-ins with their ref arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "builtin_harness.h"
#include "image/byte_buffer.h"
#include "image/container.h"
#include "stdlib/string_list.h"

using namespace qel;

namespace {

using Lines = std::vector<std::u16string>;
using Bytes = std::vector<uint8_t>;

WStr make(const std::u16string& s) {
    WStr w{};
    w.assignWide(s.c_str(), static_cast<uint32_t>(s.size()));
    return w;
}

std::u16string str(const WStr& w) { return std::u16string(w.text(), w.length); }

// A list that frees its lines when the test ends.
struct List {
    PtrList* list = ptr_list_create();
    List() = default;
    explicit List(const Lines& lines) {
        for (const auto& s : lines) string_list_add(list, s.c_str(), static_cast<uint32_t>(s.size()), nullptr);
    }
    ~List() { string_list_free(list); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;

    Lines lines() const {
        Lines out;
        for (int32_t i = 0; i < list->count; ++i) out.push_back(str(static_cast<StrItem*>(list->items[i])->text));
        return out;
    }
};

// A fresh directory for the files of one test.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/qel-strings-XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

std::u16string wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(StringList, SplitsTextAtEveryKindOfBreak) {
    struct Case {
        std::u16string text;
        Lines lines;
    } cases[] = {
        {u"a\r\nb\r\n", {u"a", u"b"}},
        {u"a\n\rb", {u"a", u"", u"b"}},
        {u"", {}},
        {u"\n", {u""}},
        {u"a\rb\nc", {u"a", u"b", u"c"}},
        {u"a\r\n\r\nb", {u"a", u"", u"b"}},
        {u"a\r", {u"a"}},
        {u"\r\n\r\n", {u"", u""}},
        {u"\r\r\n", {u"", u""}},
        {u"no break", {u"no break"}},
    };
    for (const Case& c : cases) {
        List l({u"old line", u"another"});  // the present lines are replaced
        string_list_set_text(l.list, c.text.data(), static_cast<uint32_t>(c.text.size()));
        EXPECT_EQ(l.lines(), c.lines) << "text of " << c.text.size() << " units";
        if (c.lines.empty()) {
            EXPECT_EQ(l.list->items, nullptr);
        }
    }
}

TEST(StringList, SplitsAtASeparatorBehindThePresentLines) {
    struct Case {
        Lines before;
        std::u16string text, separator;
        Lines after;
    } cases[] = {
        {{u"old"}, u"x,,y,", u",", {u"old", u"x", u"", u"y"}},
        {{}, u"a::b", u"::", {u"a", u"b"}},
        {{}, u",", u",", {u""}},
        {{}, u"aXbxc", u"x", {u"aXb", u"c"}},  // case-sensitive
        {{}, u"ab", u"abc", {u"ab"}},
        {{}, u"a,b", u";", {u"a,b"}},
        {{u"old"}, u"", u",", {u"old"}},
        {{u"old"}, u"a\r\nb", u"\r\n", {u"a", u"b"}},  // exactly CR LF: the text replaces the lines
        {{u"old"}, u"a\nb", u"\n", {u"old", u"a", u"b"}},
        {{u"old"}, u"a,b", u"", {u"old", u"a,b"}},  // no separator: the whole text is one line
    };
    for (const Case& c : cases) {
        List l(c.before);
        WStr sep = make(c.separator);
        string_list_split(l.list, c.text.data(), static_cast<uint32_t>(c.text.size()), sep);
        EXPECT_EQ(l.lines(), c.after) << "separator of " << c.separator.size() << " units";
        sep.clear();
    }
    // Appending grows the array as single adds would.
    List l({u"1", u"2", u"3", u"4"});
    WStr comma = make(u",");
    string_list_split(l.list, u"5,6,7,8,9", 9, comma);
    EXPECT_EQ(l.list->count, 9);
    EXPECT_EQ(l.list->capacity, 12);
    comma.clear();
}

TEST(StringList, JoinsWithCrLfBetweenLines) {
    struct Case {
        Lines lines;
        std::u16string text;
    } cases[] = {
        {{u"a", u"b"}, u"a\r\nb"}, {{}, u""}, {{u""}, u""}, {{u"", u""}, u"\r\n"}, {{u"a", u"", u"c"}, u"a\r\n\r\nc"},
    };
    for (const Case& c : cases) {
        List l(c.lines);
        WStr out = make(u"previous text");
        string_list_text(l.list, out);
        EXPECT_EQ(str(out), c.text);
        if (c.lines.empty()) {
            EXPECT_EQ(out.buffer, nullptr);
        }
        out.clear();
    }
}

TEST(StringList, FindsLinesByNameAndReadsTheirValues) {
    List l({u"keys=1", u"KEY=2", u"key", u"key=3", u"=4", u"key=5", u"empty="});
    struct Case {
        std::u16string name;
        int32_t index;
        std::u16string value;
    } cases[] = {
        {u"key", 3, u"3"},  {u"keys", 0, u"1"}, {u"KEY", 1, u"2"},  {u"", -1, u""},
        {u"ke", -1, u""},   {u"key=3", -1, u""}, {u"empty", 6, u""}, {u"absent", -1, u""},
    };
    for (const Case& c : cases) {
        WStr name = make(c.name);
        EXPECT_EQ(string_list_index_of_name(l.list, name), c.index) << str(name).size();
        WStr out = make(u"stale");
        string_list_value(l.list, name, out);
        EXPECT_EQ(str(out), c.value);
        out.clear();
        name.clear();
    }
    List empty;
    WStr key = make(u"key");
    EXPECT_EQ(string_list_index_of_name(empty.list, key), -1);
    key.clear();
}

TEST(StringList, SetsValuesInPlaceOrAppendsTheirLines) {
    struct Case {
        Lines before;
        std::u16string name, value;
        Lines after;
    } cases[] = {
        {{u"a=1"}, u"a", u"", {u"a="}},
        {{}, u"a", u"", {u"a="}},
        {{u"b=2", u"a=1"}, u"a", u"xyz", {u"b=2", u"a=xyz"}},
        {{u"a=1=2"}, u"a", u"9", {u"a=9"}},
        {{u"ab=1"}, u"a", u"2", {u"ab=1", u"a=2"}},
        {{u"a=long old value"}, u"a", u"v", {u"a=v"}},
        {{u"a"}, u"a", u"1", {u"a", u"a=1"}},
    };
    for (const Case& c : cases) {
        List l(c.before);
        for (int32_t i = 0; i < l.list->count; ++i) static_cast<StrItem*>(l.list->items[i])->object = &l;
        WStr name = make(c.name), value = make(c.value);
        string_list_set_value(l.list, name, value);
        EXPECT_EQ(l.lines(), c.after);
        // A rewritten line keeps its object; an appended one has none.
        for (int32_t i = 0; i < l.list->count; ++i)
            EXPECT_EQ(static_cast<StrItem*>(l.list->items[i])->object, i < static_cast<int32_t>(c.before.size()) ? &l : nullptr);
        name.clear();
        value.clear();
    }
    // The value may be the line itself.
    List self({u"a=b"});
    WStr name = make(u"a");
    string_list_set_value(self.list, name, static_cast<StrItem*>(self.list->items[0])->text);
    EXPECT_EQ(self.lines(), (Lines{u"a=a=b"}));
    name.clear();
}

TEST(StringList, SortsByUnitsOrFoldedToLowerCase) {
    const Lines input = {u"b", u"B", u"a", u"A", u"_", u"ab", u"a", u""};
    struct Case {
        bool case_sensitive, descending;
        Lines expected;  // for the folded order: the folded keys
    } cases[] = {
        {true, false, {u"", u"A", u"B", u"_", u"a", u"a", u"ab", u"b"}},
        {true, true, {u"b", u"ab", u"a", u"a", u"_", u"B", u"A", u""}},
        // Folding to lower case puts "_" (5F) before the letters (a is 61).
        {false, false, {u"", u"_", u"a", u"a", u"a", u"ab", u"b", u"b"}},
        {false, true, {u"b", u"b", u"ab", u"a", u"a", u"a", u"_", u""}},
    };
    for (const Case& c : cases) {
        List l(input);
        string_list_sort(l.list, c.case_sensitive, c.descending);
        Lines got = l.lines();
        if (!c.case_sensitive)
            for (auto& s : got)
                for (auto& u : s)
                    if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 32);
        EXPECT_EQ(got, c.expected) << c.case_sensitive << c.descending;
    }
    struct Order {
        std::u16string a, b;
        bool case_sensitive;
        int expected;
    } orders[] = {{u"ab", u"abc", true, -1}, {u"abc", u"ab", true, 1}, {u"ABC", u"abc", false, 0},
                  {u"ABC", u"abc", true, -1}, {u"\uFFFF", u"a", true, 1},  {u"x", u"x", true, 0}};
    for (const Order& o : orders) {
        WStr a = make(o.a), b = make(o.b);
        EXPECT_EQ(string_list_compare(a, b, o.case_sensitive), o.expected);
        a.clear();
        b.clear();
    }
}

// Bytes as files hold them, with the lines they decode to (the Linux ANSI code page is UTF-8).
struct Decoding {
    Bytes bytes;
    Lines lines;
};
const Decoding kDecodings[] = {
    {{0xFF, 0xFE}, {}},
    {{0xFF, 0xFE, 0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0x42, 0x00}, {u"A", u"B"}},
    {{0xFF, 0xFE, 0x41, 0x00, 0x42}, {u"A"}},  // an odd last byte is ignored
    {{0xFF, 0xFE, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}, {u"\u00E9\U0001F600"}},
    {{0xEF, 0xBB, 0xBF, 0x61, 0xC3, 0xA9, 0x0A, 0x62}, {u"a\u00E9", u"b"}},
    {{0xEF, 0xBB, 0xBF}, {}},
    {{0x61, 0x0D, 0x0A}, {u"a"}},
    {{0xC3, 0xA9, 0x3D, 0x31}, {u"\u00E9=1"}},
    {{0xFE, 0xFF, 0x00, 0x41}, {std::u16string(u"\uFFFD\uFFFD\0A", 4)}},  // big-endian marks are not recognised
};

TEST(StringList, DecodesEachEncodingFromBytesFilesAndStreams) {
    TempDir dir;
    int n = 0;
    for (const Decoding& c : kDecodings) {
        SCOPED_TRACE("decoding " + std::to_string(n));
        List direct({u"stale"});
        EXPECT_TRUE(string_list_decode(direct.list, c.bytes.data(), static_cast<int32_t>(c.bytes.size())));
        EXPECT_EQ(direct.lines(), c.lines);

        std::string path = dir.file("in" + std::to_string(n++) + ".txt");
        write_bytes(path, c.bytes);
        List loaded({u"stale"});
        EXPECT_TRUE(string_list_load_file(loaded.list, wide(path).c_str()));
        EXPECT_EQ(loaded.lines(), c.lines);
    }
    // An empty file empties the list; a missing one leaves it alone and says so.
    std::string empty = dir.file("empty.txt");
    write_bytes(empty, {});
    List l({u"stale"});
    EXPECT_TRUE(string_list_load_file(l.list, wide(empty).c_str()));
    EXPECT_EQ(l.lines(), Lines{});
    List kept({u"kept"});
    EXPECT_FALSE(string_list_load_file(kept.list, wide(dir.file("missing.txt")).c_str()));
    EXPECT_EQ(kept.lines(), Lines{u"kept"});
    EXPECT_FALSE(string_list_load_file(kept.list, wide(dir.path).c_str()));  // a directory cannot be read
    EXPECT_EQ(kept.lines(), Lines{u"kept"});
}

TEST(StringList, SavesEachEncodingByteForByte) {
    struct Case {
        Lines lines;
        int32_t encoding;
        bool bom;
        Bytes bytes;
    } cases[] = {
        {{u"A"}, 3, true, {0xFF, 0xFE, 0x41, 0x00}},
        {{u"A"}, 3, false, {0x41, 0x00}},
        {{u"A"}, 2, false, {0x41}},
        {{u"A"}, 2, true, {0xEF, 0xBB, 0xBF, 0x41}},
        {{u"A"}, 0, true, {0x41}},  // no mark for the ANSI code page
        {{u"A"}, 1, true, {}},      // unknown encodings leave an empty file
        {{u"A"}, 7, false, {}},
        {{}, 3, true, {0xFF, 0xFE}},
        {{}, 2, true, {0xEF, 0xBB, 0xBF}},
        {{}, 0, false, {}},
        {{u"a", u"\u00E9"}, 3, false, {0x61, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0xE9, 0x00}},
        {{u"a", u"\u00E9"}, 2, false, {0x61, 0x0D, 0x0A, 0xC3, 0xA9}},
        // Every byte of a multi-byte code page is written, not one per unit.
        {{u"a", u"\u00E9"}, 0, false, {0x61, 0x0D, 0x0A, 0xC3, 0xA9}},
        {{u"\U0001F600"}, 2, false, {0xF0, 0x9F, 0x98, 0x80}},
        {{u"\U0001F600"}, 3, false, {0x3D, 0xD8, 0x00, 0xDE}},
    };
    TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(n));
        std::string path = dir.file("out" + std::to_string(n++) + ".txt");
        write_bytes(path, Bytes(64, 'x'));  // an existing longer file is replaced
        List l(c.lines);
        EXPECT_TRUE(string_list_save_file(l.list, wide(path).c_str(), c.encoding, c.bom));
        EXPECT_EQ(read_bytes(path), c.bytes);
        // What was saved with a known encoding loads back as the same lines.
        if (c.encoding == 0 || c.encoding == 2 || c.encoding == 3) {
            List back({u"stale"});
            if (c.encoding == 3 && !c.bom) continue;  // without its mark UTF-16 reads as ANSI
            EXPECT_TRUE(string_list_load_file(back.list, wide(path).c_str()));
            EXPECT_EQ(back.lines(), c.lines);
        }
    }
    List l({u"A"});
    EXPECT_FALSE(string_list_save_file(l.list, wide(dir.file("no/such/dir.txt")).c_str(), 2, false));
}

TEST(StringList, CompressedFilesHoldUtf8WithOneZeroByte) {
    TempDir dir;
    std::u16string path = wide(dir.file("lines.ql"));
    List l({u"first", u"\u00E9t\u00E9", u"", u"last"});
    ASSERT_TRUE(string_list_save_compressed(l.list, path.c_str()));
    Bytes file = read_bytes(dir.file("lines.ql"));
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[0], 'q');
    EXPECT_EQ(file[1], 'l');
    ByteBuffer content;
    ASSERT_EQ(container_inflate_file(content, path.c_str()), kZOk);
    std::string expected = "first\r\n\xC3\xA9t\xC3\xA9\r\n\r\nlast";
    expected.push_back('\0');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(content.data), static_cast<size_t>(content.length)), expected);

    List back({u"stale"});
    EXPECT_TRUE(string_list_load_compressed(back.list, path.c_str()));
    EXPECT_EQ(back.lines(), l.lines());

    // The zero byte ends the text; an empty list makes a container of that byte alone.
    const uint8_t tail[] = {'a', 0, 'b'};
    ASSERT_EQ(container_deflate_to_file(tail, 3, path.c_str()), kZOk);
    EXPECT_TRUE(string_list_load_compressed(back.list, path.c_str()));
    EXPECT_EQ(back.lines(), Lines{u"a"});
    List empty;
    ASSERT_TRUE(string_list_save_compressed(empty.list, path.c_str()));
    ASSERT_EQ(container_inflate_file(content, path.c_str()), kZOk);
    EXPECT_EQ(content.length, 1);
    EXPECT_TRUE(string_list_load_compressed(back.list, path.c_str()));
    EXPECT_EQ(back.lines(), Lines{});

    // Unreadable or damaged files leave an empty list.
    struct Bad {
        const char* what;
        Bytes bytes;
    } bad[] = {{"not deflated", {'q', 'l', 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'}}, {"truncated", Bytes(file.begin(), file.begin() + 6)},
               {"empty", {}}};
    for (const Bad& b : bad) {
        write_bytes(dir.file("bad.ql"), b.bytes);
        List damaged({u"stale"});
        EXPECT_FALSE(string_list_load_compressed(damaged.list, wide(dir.file("bad.ql")).c_str())) << b.what;
        EXPECT_EQ(damaged.lines(), Lines{}) << b.what;
    }
    List missing({u"stale"});
    EXPECT_FALSE(string_list_load_compressed(missing.list, wide(dir.file("missing.ql")).c_str()));
    EXPECT_EQ(missing.lines(), Lines{});
}

// A string variable as scripts have them: a slot holding a WStr pointer.
struct StringVar {
    WStr* text = nullptr;
    explicit StringVar(const std::u16string& s = u"") {
        text = wstr_new();
        text->assignWide(s.c_str(), static_cast<uint32_t>(s.size()));
    }
    ~StringVar() { wstr_delete(text); }
    StringVar(const StringVar&) = delete;
    StringVar& operator=(const StringVar&) = delete;
    std::u16string value() const { return text ? str(*text) : u""; }
    void* ref() { return &text; }
};

class StringListBuiltins : public qeltest::Builtins {
protected:
    void arg(int32_t v) { qel::push_int(st, v); }
    void arg(bool v) { qel::push_bool(st, v); }
    void arg(const void* v) { qel::push_pointer(st, v); }
    void arg(const char16_t* v) { qel::push_string(st, v); }
    template <typename... A>
    std::string run(BuiltinFn fn, A... a) {
        reset();
        (arg(a), ...);
        return call(fn);
    }
};

TEST_F(StringListBuiltins, LinesObjectsAndLookups) {
    List l;
    PtrList* list = l.list;
    StringVar one(u"one"), two(u"two"), three(u"three"), out(u"stale");
    int object = 0;
    ASSERT_EQ(run(bi_strings_add, list, one.ref()), "");
    EXPECT_EQ(count(), 0);
    ASSERT_EQ(run(bi_strings_add_object, list, three.ref(), static_cast<const void*>(&object)), "");
    ASSERT_EQ(run(bi_strings_insert, list, 1, two.ref()), "");
    EXPECT_EQ(l.lines(), (Lines{u"one", u"two", u"three"}));

    ASSERT_EQ(run(bi_strings_get, list, 2, out.ref()), "");
    EXPECT_EQ(out.value(), u"three");
    EXPECT_EQ(count(), 0);
    ASSERT_EQ(run(bi_strings_get_object, list, 2), "");
    EXPECT_EQ(top_pointer(), &object);
    ASSERT_EQ(run(bi_strings_get_object, list, 0), "");
    EXPECT_EQ(top_pointer(), nullptr);
    ASSERT_EQ(run(bi_strings_set_object, list, 0, static_cast<const void*>(&object)), "");
    ASSERT_EQ(run(bi_strings_indexof_object, list, static_cast<const void*>(&object)), "");
    EXPECT_EQ(top_int(), 0);
    ASSERT_EQ(run(bi_strings_indexof_object, list, static_cast<const void*>(&out)), "");
    EXPECT_EQ(top_int(), -1);
    ASSERT_EQ(run(bi_strings_set, list, 0, two.ref()), "");
    ASSERT_EQ(run(bi_strings_indexof, list, two.ref()), "");
    EXPECT_EQ(top_int(), 0);  // the first of the two equal lines
    StringVar upper(u"TWO");
    ASSERT_EQ(run(bi_strings_indexof, list, upper.ref()), "");
    EXPECT_EQ(top_int(), -1);

    // The str data pointer is the line's own text.
    ASSERT_EQ(run(bi_strings_get_str_data, list, 2), "");
    auto* data = static_cast<WStr*>(top_pointer());
    EXPECT_EQ(data, &static_cast<StrItem*>(list->items[2])->text);
    EXPECT_EQ(str(*data), u"three");

    ASSERT_EQ(run(bi_strings_delete, list, 0), "");
    EXPECT_EQ(l.lines(), (Lines{u"two", u"three"}));
    ASSERT_EQ(run(bi_strings_clear, list), "");
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->items, nullptr);
    EXPECT_EQ(run(bi_strings_free, static_cast<const void*>(nullptr)), "");
}

TEST_F(StringListBuiltins, IndexesOutsideTheListAreRefused) {
    List l({u"a=1", u"b=2"});
    PtrList* list = l.list;
    StringVar text(u"x"), out(u"untouched");
    struct Case {
        const char* what;
        std::function<std::string(int32_t)> run;
    } cases[] = {
        {"get", [&](int32_t i) { return run(bi_strings_get, list, i, out.ref()); }},
        {"set", [&](int32_t i) { return run(bi_strings_set, list, i, text.ref()); }},
        {"get_object", [&](int32_t i) { return run(bi_strings_get_object, list, i); }},
        {"set_object", [&](int32_t i) { return run(bi_strings_set_object, list, i, static_cast<const void*>(&l)); }},
        {"get_str_data", [&](int32_t i) { return run(bi_strings_get_str_data, list, i); }},
        {"delete", [&](int32_t i) { return run(bi_strings_delete, list, i); }},
        {"name_from_index", [&](int32_t i) { return run(bi_strings_name_from_index, list, i, out.ref()); }},
        {"value_from_index", [&](int32_t i) { return run(bi_strings_value_from_index, list, i, out.ref()); }},
    };
    for (const Case& c : cases) {
        for (int32_t index : {-1, 2, 1000000}) {
            EXPECT_EQ(c.run(index), "List index out of bounds") << c.what << " " << index;
            EXPECT_EQ(l.lines(), (Lines{u"a=1", u"b=2"})) << c.what;
            EXPECT_EQ(out.value(), u"untouched") << c.what;
        }
    }
    EXPECT_EQ(run(bi_strings_insert, list, 3, text.ref()), "List index out of bounds");
    EXPECT_EQ(run(bi_strings_insert, list, -1, text.ref()), "List index out of bounds");
    ASSERT_EQ(run(bi_strings_insert, list, 2, text.ref()), "");  // at count: appends
    EXPECT_EQ(l.lines(), (Lines{u"a=1", u"b=2", u"x"}));
    EXPECT_EQ(run(bi_strings_add, static_cast<const void*>(nullptr), text.ref()), "Null list reference");
    EXPECT_EQ(run(bi_strings_add, list, static_cast<const void*>(nullptr)), "Null string reference");
}

TEST_F(StringListBuiltins, NamesValuesAndText) {
    List l;
    PtrList* list = l.list;
    StringVar name(u"a"), value(u"b=c"), out;
    ASSERT_EQ(run(bi_strings_values_set, list, name.ref(), value.ref()), "");
    EXPECT_EQ(l.lines(), Lines{u"a=b=c"});
    ASSERT_EQ(run(bi_strings_name_from_index, list, 0, out.ref()), "");
    EXPECT_EQ(out.value(), u"a");
    ASSERT_EQ(run(bi_strings_value_from_index, list, 0, out.ref()), "");
    EXPECT_EQ(out.value(), u"b=c");
    ASSERT_EQ(run(bi_strings_indexof_name, list, name.ref()), "");
    EXPECT_EQ(top_int(), 0);
    // The output may be the very variable that names the line.
    ASSERT_EQ(run(bi_strings_values_get, list, name.ref(), name.ref()), "");
    EXPECT_EQ(name.value(), u"b=c");
    ASSERT_EQ(run(bi_strings_values_get, list, name.ref(), out.ref()), "");
    EXPECT_EQ(out.value(), u"");  // no line named "b=c": emptied

    StringVar text(u"x\r\ny\nz");
    ASSERT_EQ(run(bi_strings_set_text, list, text.ref()), "");
    EXPECT_EQ(l.lines(), (Lines{u"x", u"y", u"z"}));
    ASSERT_EQ(run(bi_strings_get_text, list, out.ref()), "");
    EXPECT_EQ(out.value(), u"x\r\ny\r\nz");
    StringVar csv(u"1;2;;3");
    ASSERT_EQ(run(bi_strings_set_text_with_lb, list, csv.ref(), u";"), "");
    EXPECT_EQ(l.lines(), (Lines{u"x", u"y", u"z", u"1", u"2", u"", u"3"}));
    ASSERT_EQ(run(bi_strings_sort, list, true, 1), "");
    EXPECT_EQ(l.lines(), (Lines{u"z", u"y", u"x", u"3", u"2", u"1", u""}));

    // A line's own text as the input of set_text (a variable holding the str data pointer).
    ASSERT_EQ(run(bi_strings_set_text, list, text.ref()), "");
    void* own = &static_cast<StrItem*>(list->items[1])->text;
    ASSERT_EQ(run(bi_strings_set_text, list, static_cast<const void*>(&own)), "");
    EXPECT_EQ(l.lines(), Lines{u"y"});
    // ... and as the output of get_text.
    ASSERT_EQ(run(bi_strings_set_text, list, text.ref()), "");
    own = &static_cast<StrItem*>(list->items[0])->text;
    ASSERT_EQ(run(bi_strings_get_text, list, static_cast<const void*>(&own)), "");
    EXPECT_EQ(l.lines(), (Lines{u"x\r\ny\r\nz", u"y", u"z"}));
}

TEST_F(StringListBuiltins, StreamsAndFiles) {
    List l({u"stale"});
    PtrList* list = l.list;
    const Decoding& utf16 = kDecodings[1];
    ASSERT_EQ(run(bi_strings_load_from_stream, list, static_cast<const void*>(utf16.bytes.data()),
                  static_cast<int32_t>(utf16.bytes.size())),
              "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(l.lines(), utf16.lines);
    ASSERT_EQ(run(bi_strings_load_from_stream, list, static_cast<const void*>(nullptr), 0), "");
    EXPECT_EQ(l.lines(), Lines{});
    EXPECT_EQ(run(bi_strings_load_from_stream, list, static_cast<const void*>(nullptr), 4), "Invalid stream data");
    EXPECT_EQ(run(bi_strings_load_from_stream, list, static_cast<const void*>(utf16.bytes.data()), -1),
              "Invalid stream data");

    TempDir dir;
    StringVar path;  // a file name beyond ASCII
    path.text->assignUtf8(dir.file("\xC3\xA9t\xC3\xA9.txt").c_str());
    StringVar text(u"k=v\r\n\u00E9");
    ASSERT_EQ(run(bi_strings_set_text, list, text.ref()), "");
    ASSERT_EQ(run(bi_strings_save_to_file, list, path.ref(), 3, true), "");
    EXPECT_TRUE(top_bool());
    EXPECT_EQ(read_bytes(dir.file("\xC3\xA9t\xC3\xA9.txt")), (Bytes{0xFF, 0xFE, 'k', 0, '=', 0, 'v', 0, 0x0D, 0, 0x0A, 0, 0xE9, 0}));
    List back;
    ASSERT_EQ(run(bi_strings_load_from_file, back.list, path.ref()), "");
    EXPECT_TRUE(top_bool());
    EXPECT_EQ(back.lines(), (Lines{u"k=v", u"\u00E9"}));
    StringVar missing;
    missing.text->assignUtf8(dir.file("missing.txt").c_str());
    ASSERT_EQ(run(bi_strings_load_from_file, back.list, missing.ref()), "");
    EXPECT_FALSE(top_bool());
    EXPECT_EQ(back.lines(), (Lines{u"k=v", u"\u00E9"}));

    ASSERT_EQ(run(bi_strings_save_compressed_to_file, list, path.ref()), "");
    EXPECT_EQ(count(), 0);
    ASSERT_EQ(run(bi_strings_load_compressed_from_file, back.list, path.ref()), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(back.lines(), (Lines{u"k=v", u"\u00E9"}));
}

}  // namespace
