// String lists: splitting and joining, name=value lines, sorting, the file encodings byte for
// byte, compressed files, and the strings_ built-ins with their ref arguments. The file built-ins
// run in the image tests, under each lane's file names and code pages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <unistd.h>

#include "builtin_harness.h"
#include "base/byte_buffer.h"
#include "image/container.h"
#include "stdlib/string_list.h"

using namespace qel;
using qeltest::Ptr;

namespace {

using Lines = std::vector<std::u16string>;
using Bytes = std::vector<uint8_t>;

std::u16string str(const WStr& w) { return std::u16string(w.text(), w.length); }

// A WStr that frees its text when the test ends.
struct Text {
    WStr w{};
    explicit Text(const std::u16string& s) { w.assign_wide(s.c_str(), static_cast<uint32_t>(s.size())); }
    ~Text() { w.clear(); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    operator const WStr&() const { return w; }  // NOLINT: passed where the list functions take a WStr
};

// A list that frees its lines when the test ends.
struct List {
    PtrList* list = ptr_list_create();
    explicit List(const Lines& lines = {}) {
        for (const auto& s : lines) string_list_add(list, s.c_str(), static_cast<uint32_t>(s.size()), nullptr);
    }
    ~List() { string_list_free(list); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    StrItem* item(int32_t i) const { return static_cast<StrItem*>(list->items[i]); }
    Lines lines() const {
        Lines out;
        for (int32_t i = 0; i < list->count; ++i) out.push_back(str(item(i)->text));
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
    std::u16string wide(const std::string& name) const {
        std::string f = file(name);
        return std::u16string(f.begin(), f.end());
    }
};

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(StringList, SplitsTextAtEveryKindOfBreakAndJoinsWithCrLf) {
    std::pair<std::u16string, Lines> cases[] = {
        {u"a\r\nb\r\n", {u"a", u"b"}}, {u"a\n\rb", {u"a", u"", u"b"}}, {u"", {}},
        {u"\n", {u""}},                {u"a\rb\nc", {u"a", u"b", u"c"}}, {u"\r\r\n", {u"", u""}},
    };
    for (const auto& [text, lines] : cases) {
        List l({u"old line", u"another"});  // the present lines are replaced
        string_list_set_text(l.list, text.data(), static_cast<uint32_t>(text.size()));
        EXPECT_EQ(l.lines(), lines) << "text of " << text.size() << " units";
    }
    std::pair<Lines, std::u16string> joins[] = {{{u"a", u"", u"c"}, u"a\r\n\r\nc"}, {{u"", u""}, u"\r\n"}, {{}, u""}};
    for (const auto& [lines, text] : joins) {
        List l(lines);
        Text out(u"previous text");
        string_list_text(l.list, out.w);
        EXPECT_EQ(str(out), text);
    }
}

TEST(StringList, SplitsAtASeparatorBehindThePresentLines) {
    std::tuple<Lines, std::u16string, std::u16string, Lines> cases[] = {
        {{u"old"}, u"x,,y,", u",", {u"old", u"x", u"", u"y"}},
        {{}, u"a::b", u"::", {u"a", u"b"}},
        {{}, u",", u",", {u""}},
        {{}, u"aXbxc", u"x", {u"aXb", u"c"}},  // case-sensitive
        {{}, u"ab", u"abc", {u"ab"}},
        {{u"old"}, u"", u",", {u"old"}},
        {{u"old"}, u"a\r\nb", u"\r\n", {u"a", u"b"}},  // exactly CR LF: the text replaces the lines
        {{u"old"}, u"a\nb", u"\n", {u"old", u"a", u"b"}},
        {{u"old"}, u"a,b", u"", {u"old", u"a,b"}},  // no separator: the whole text is one line
    };
    for (const auto& [before, text, separator, after] : cases) {
        List l(before);
        string_list_split(l.list, text.data(), static_cast<uint32_t>(text.size()), Text(separator));
        EXPECT_EQ(l.lines(), after) << "separator of " << separator.size() << " units";
    }
    List l({u"1", u"2", u"3", u"4"});  // appending grows the array as single adds would
    string_list_split(l.list, u"5,6,7,8,9", 9, Text(u","));
    EXPECT_EQ(l.list->count, 9);
    EXPECT_EQ(l.list->capacity, 12);
}

TEST(StringList, NameValueLines) {
    List l({u"keys=1", u"KEY=2", u"key", u"key=3", u"=4", u"key=5", u"empty="});
    std::tuple<std::u16string, int32_t, std::u16string> finds[] = {
        {u"key", 3, u"3"}, {u"keys", 0, u"1"},  {u"KEY", 1, u"2"},   {u"", -1, u""},
        {u"ke", -1, u""},  {u"key=3", -1, u""}, {u"empty", 6, u""}, {u"absent", -1, u""}};
    for (const auto& [name, index, value] : finds) {
        EXPECT_EQ(string_list_index_of_name(l.list, Text(name)), index);
        Text out(u"stale");
        string_list_value(l.list, Text(name), out.w);
        EXPECT_EQ(str(out), value);
    }
    std::tuple<Lines, std::u16string, std::u16string, Lines> sets[] = {
        {{u"a=1"}, u"a", u"", {u"a="}},
        {{}, u"a", u"", {u"a="}},
        {{u"b=2", u"a=1"}, u"a", u"xyz", {u"b=2", u"a=xyz"}},
        {{u"a=1=2"}, u"a", u"9", {u"a=9"}},
        {{u"ab=1"}, u"a", u"2", {u"ab=1", u"a=2"}},
        {{u"a=long old value"}, u"a", u"v", {u"a=v"}},
    };
    for (const auto& [before, name, value, after] : sets) {
        List s(before);
        for (int32_t i = 0; i < s.list->count; ++i) s.item(i)->object = &s;
        string_list_set_value(s.list, Text(name), Text(value));
        EXPECT_EQ(s.lines(), after);
        // A rewritten line keeps its object; an appended one has none.
        for (int32_t i = 0; i < s.list->count; ++i)
            EXPECT_EQ(s.item(i)->object, i < static_cast<int32_t>(before.size()) ? &s : nullptr);
    }
    List self({u"a=b"});  // the value may be the line itself
    string_list_set_value(self.list, Text(u"a"), self.item(0)->text);
    EXPECT_EQ(self.lines(), Lines{u"a=a=b"});
}

TEST(StringList, SortsByUnitsOrFoldedToLowerCase) {
    std::tuple<bool, bool, Lines> cases[] = {  // case-sensitive, descending, the order (folded keys when folded)
        {true, false, {u"", u"A", u"B", u"_", u"a", u"a", u"ab", u"b"}},
        {true, true, {u"b", u"ab", u"a", u"a", u"_", u"B", u"A", u""}},
        // Folding to lower case puts "_" (5F) before the letters (a is 61).
        {false, false, {u"", u"_", u"a", u"a", u"a", u"ab", u"b", u"b"}},
        {false, true, {u"b", u"b", u"ab", u"a", u"a", u"a", u"_", u""}},
    };
    for (const auto& [case_sensitive, descending, expected] : cases) {
        List l({u"b", u"B", u"a", u"A", u"_", u"ab", u"a", u""});
        string_list_sort(l.list, case_sensitive, descending);
        Lines got = l.lines();
        for (auto& s : got)
            for (auto& u : s)
                if (!case_sensitive && u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 32);
        EXPECT_EQ(got, expected) << case_sensitive << descending;
    }
    EXPECT_EQ(string_list_compare(Text(u"\uFFFF"), Text(u"a"), true), 1);  // units are unsigned
}

// Bytes as files hold them, with the lines they decode to (the Linux ANSI code page is UTF-8).
const std::pair<Bytes, Lines> kDecodings[] = {
    {{0xFF, 0xFE}, {}},
    {{0xFF, 0xFE, 0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0x42, 0x00}, {u"A", u"B"}},
    {{0xFF, 0xFE, 0x41, 0x00, 0x42}, {u"A"}},  // an odd last byte is ignored
    {{0xFF, 0xFE, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}, {u"\u00E9\U0001F600"}},
    {{0xEF, 0xBB, 0xBF, 0x61, 0xC3, 0xA9, 0x0A, 0x62}, {u"a\u00E9", u"b"}},
    {{0xEF, 0xBB, 0xBF}, {}},
    {{0x61, 0x0D, 0x0A}, {u"a"}},
    {{0xC3, 0xA9, 0x3D, 0x31}, {u"\u00E9=1"}},
    {{}, {}},
    {{0xFE, 0xFF, 0x00, 0x41}, {std::u16string(u"\uFFFD\uFFFD\0A", 4)}},  // big-endian marks are not recognised
};

TEST(StringList, LoadsEachEncodingFromFiles) {
    TempDir dir;
    int n = 0;
    for (const auto& [bytes, lines] : kDecodings) {
        std::string name = "in" + std::to_string(n++) + ".txt";
        write_bytes(dir.file(name), bytes);
        List l({u"stale"});
        EXPECT_TRUE(string_list_load_file(l.list, dir.wide(name).c_str())) << name;
        EXPECT_EQ(l.lines(), lines) << name;
    }
    // A missing file or a directory leaves the list alone and says so.
    List kept({u"kept"});
    for (const char* name : {"missing.txt", ""}) {
        EXPECT_FALSE(string_list_load_file(kept.list, dir.wide(name).c_str())) << name;
        EXPECT_EQ(kept.lines(), Lines{u"kept"});
    }
}

TEST(StringList, SavesEachEncodingByteForByte) {
    std::tuple<Lines, int32_t, bool, Bytes> cases[] = {
        {{u"A"}, 3, true, {0xFF, 0xFE, 0x41, 0x00}},
        {{u"A"}, 2, false, {0x41}},
        {{u"A"}, 2, true, {0xEF, 0xBB, 0xBF, 0x41}},
        {{u"A"}, 0, true, {0x41}},  // no mark for the ANSI code page
        {{u"A"}, 1, true, {}},      // unknown encodings leave an empty file
        {{}, 3, true, {0xFF, 0xFE}},
        {{}, 2, true, {0xEF, 0xBB, 0xBF}},
        {{u"a", u"\u00E9"}, 3, false, {0x61, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0xE9, 0x00}},
        // Every byte of a multi-byte code page is written, not one per unit.
        {{u"a", u"\u00E9"}, 0, false, {0x61, 0x0D, 0x0A, 0xC3, 0xA9}},
        {{u"\U0001F600"}, 2, false, {0xF0, 0x9F, 0x98, 0x80}},
    };
    TempDir dir;
    int n = 0;
    for (const auto& [lines, encoding, bom, bytes] : cases) {
        std::string name = "out" + std::to_string(n++) + ".txt";
        write_bytes(dir.file(name), Bytes(64, 'x'));  // an existing longer file is replaced
        List l(lines);
        EXPECT_TRUE(string_list_save_file(l.list, dir.wide(name).c_str(), encoding, bom)) << name;
        EXPECT_EQ(read_bytes(dir.file(name)), bytes) << name;
    }
    List l({u"A"});
    EXPECT_FALSE(string_list_save_file(l.list, dir.wide("no/such/dir.txt").c_str(), 2, false));
}

TEST(StringList, CompressedFilesHoldUtf8WithOneZeroByte) {
    TempDir dir;
    std::u16string path = dir.wide("lines.ql");
    List l({u"first", u"\u00E9t\u00E9", u"", u"last"});
    ASSERT_TRUE(string_list_save_compressed(l.list, path.c_str()));
    Bytes file = read_bytes(dir.file("lines.ql"));
    ASSERT_GE(file.size(), 6u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 2), "ql");
    ByteBuffer content;
    ASSERT_EQ(container_inflate_file(content, path.c_str()), kZOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(content.data), static_cast<size_t>(content.length)),
              std::string("first\r\n\xC3\xA9t\xC3\xA9\r\n\r\nlast") + '\0');
    List back({u"stale"});
    EXPECT_TRUE(string_list_load_compressed(back.list, path.c_str()));
    EXPECT_EQ(back.lines(), l.lines());
    // The zero byte ends the text.
    const uint8_t tail[] = {'a', 0, 'b'};
    ASSERT_EQ(container_deflate_to_file(tail, 3, path.c_str()), kZOk);
    EXPECT_TRUE(string_list_load_compressed(back.list, path.c_str()));
    EXPECT_EQ(back.lines(), Lines{u"a"});
    // Damaged or missing files leave an empty list.
    write_bytes(dir.file("plain.ql"), {'q', 'l', 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'});
    write_bytes(dir.file("truncated.ql"), Bytes(file.begin(), file.begin() + 6));
    for (const char* name : {"plain.ql", "truncated.ql", "missing.ql"}) {
        List damaged({u"stale"});
        EXPECT_FALSE(string_list_load_compressed(damaged.list, dir.wide(name).c_str())) << name;
        EXPECT_EQ(damaged.lines(), Lines{}) << name;
    }
}

// A string variable as scripts have them: a slot holding a WStr pointer.
struct StringVar {
    WStr* text = wstr_new();
    explicit StringVar(const std::u16string& s = u"") { text->assign_wide(s.c_str(), static_cast<uint32_t>(s.size())); }
    ~StringVar() { wstr_delete(text); }
    StringVar(const StringVar&) = delete;
    StringVar& operator=(const StringVar&) = delete;
    std::u16string value() const { return str(*text); }
    Ptr ref() { return Ptr{&text}; }
};

class StringListBuiltins : public qeltest::Builtins {};

TEST_F(StringListBuiltins, LinesObjectsAndLookups) {
    List l;
    const Ptr list{l.list};
    StringVar one(u"one"), two(u"two"), three(u"three"), upper(u"TWO"), out(u"stale");
    int object = 0;
    const Ptr obj{&object};
    EXPECT_EQ(result(bi_strings_add, {list, one.ref()}), "<0 values>");
    EXPECT_EQ(result(bi_strings_add_object, {list, three.ref(), obj}), "<0 values>");
    EXPECT_EQ(result(bi_strings_insert, {list, 1, two.ref()}), "<0 values>");
    EXPECT_EQ(l.lines(), (Lines{u"one", u"two", u"three"}));
    EXPECT_EQ(result(bi_strings_get, {list, 2, out.ref()}), "<0 values>");
    EXPECT_EQ(out.value(), u"three");
    EXPECT_EQ(pointer(bi_strings_get_object, {list, 2}), obj.p);
    EXPECT_EQ(pointer(bi_strings_get_object, {list, 0}), nullptr);
    EXPECT_EQ(run(bi_strings_set_object, {list, 0, obj}), "");
    EXPECT_EQ(result(bi_strings_indexof_object, {list, obj}), "i:0");
    EXPECT_EQ(result(bi_strings_indexof_object, {list, Ptr{&out}}), "i:-1");
    EXPECT_EQ(run(bi_strings_set, {list, 0, two.ref()}), "");
    EXPECT_EQ(result(bi_strings_indexof, {list, two.ref()}), "i:0");  // the first of the two equal lines
    EXPECT_EQ(result(bi_strings_indexof, {list, upper.ref()}), "i:-1");
    EXPECT_EQ(pointer(bi_strings_get_str_data, {list, 2}), &l.item(2)->text);  // the line's own text
    EXPECT_EQ(run(bi_strings_delete, {list, 0}), "");
    EXPECT_EQ(l.lines(), (Lines{u"two", u"three"}));
    EXPECT_EQ(run(bi_strings_clear, {list}), "");
    EXPECT_TRUE(l.list->count == 0 && l.list->items == nullptr);
    EXPECT_EQ(run(bi_strings_free, {Ptr{nullptr}}), "");
}

TEST_F(StringListBuiltins, IndexesOutsideTheListAreRefused) {
    List l({u"a=1", u"b=2"});
    const Ptr list{l.list};
    StringVar text(u"x"), out(u"untouched");
    for (int32_t i : {-1, 2, 1000000}) {
        std::string errors[] = {
            run(bi_strings_get, {list, i, out.ref()}),        run(bi_strings_set, {list, i, text.ref()}),
            run(bi_strings_get_object, {list, i}),            run(bi_strings_set_object, {list, i, Ptr{nullptr}}),
            run(bi_strings_get_str_data, {list, i}),          run(bi_strings_delete, {list, i}),
            run(bi_strings_name_from_index, {list, i, out.ref()}), run(bi_strings_value_from_index, {list, i, out.ref()}),
            run(bi_strings_insert, {list, i == 2 ? 3 : i, text.ref()}),
        };
        for (const std::string& e : errors) EXPECT_EQ(e, "List index out of bounds") << "index " << i;
        EXPECT_EQ(l.lines(), (Lines{u"a=1", u"b=2"}));
        EXPECT_EQ(out.value(), u"untouched");
    }
    EXPECT_EQ(run(bi_strings_add, {Ptr{nullptr}, text.ref()}), "Null list reference");
    EXPECT_EQ(run(bi_strings_add, {list, Ptr{nullptr}}), "Null string reference");
}

TEST_F(StringListBuiltins, NamesValuesTextAndSort) {
    List l;
    const Ptr list{l.list};
    StringVar name(u"a"), value(u"b=c"), out;
    EXPECT_EQ(run(bi_strings_values_set, {list, name.ref(), value.ref()}), "");
    EXPECT_EQ(l.lines(), Lines{u"a=b=c"});
    EXPECT_EQ(run(bi_strings_name_from_index, {list, 0, out.ref()}), "");
    EXPECT_EQ(out.value(), u"a");
    EXPECT_EQ(run(bi_strings_value_from_index, {list, 0, out.ref()}), "");
    EXPECT_EQ(out.value(), u"b=c");
    EXPECT_EQ(result(bi_strings_indexof_name, {list, name.ref()}), "i:0");
    // The output may be the very variable that names the line.
    EXPECT_EQ(run(bi_strings_values_get, {list, name.ref(), name.ref()}), "");
    EXPECT_EQ(name.value(), u"b=c");

    StringVar text(u"x\r\ny\nz"), csv(u"1;2;;3");
    EXPECT_EQ(run(bi_strings_set_text, {list, text.ref()}), "");
    EXPECT_EQ(l.lines(), (Lines{u"x", u"y", u"z"}));
    EXPECT_EQ(run(bi_strings_get_text, {list, out.ref()}), "");
    EXPECT_EQ(out.value(), u"x\r\ny\r\nz");
    EXPECT_EQ(run(bi_strings_set_text_with_lb, {list, csv.ref(), u";"}), "");
    EXPECT_EQ(l.lines(), (Lines{u"x", u"y", u"z", u"1", u"2", u"", u"3"}));
    EXPECT_EQ(run(bi_strings_sort, {list, true, 1}), "");
    EXPECT_EQ(l.lines(), (Lines{u"z", u"y", u"x", u"3", u"2", u"1", u""}));
    EXPECT_EQ(run(bi_strings_sort, {list, true, 0}), "");
    EXPECT_EQ(l.lines(), (Lines{u"", u"1", u"2", u"3", u"x", u"y", u"z"}));

    // A line's own text as the input of set_text (a variable holding the str data pointer) ...
    EXPECT_EQ(run(bi_strings_set_text, {list, text.ref()}), "");
    void* own = &l.item(1)->text;
    EXPECT_EQ(run(bi_strings_set_text, {list, Ptr{&own}}), "");
    EXPECT_EQ(l.lines(), Lines{u"y"});
    // ... and as the output of get_text.
    EXPECT_EQ(run(bi_strings_set_text, {list, text.ref()}), "");
    own = &l.item(0)->text;
    EXPECT_EQ(run(bi_strings_get_text, {list, Ptr{&own}}), "");
    EXPECT_EQ(l.lines(), (Lines{u"x\r\ny\r\nz", u"y", u"z"}));
}

TEST_F(StringListBuiltins, LoadFromStream) {
    List l({u"stale"});
    const auto& [bytes, lines] = kDecodings[1];  // UTF-16 with its mark
    const Ptr list{l.list}, data{bytes.data()};
    EXPECT_EQ(result(bi_strings_load_from_stream, {list, data, static_cast<int32_t>(bytes.size())}), "<0 values>");
    EXPECT_EQ(l.lines(), lines);
    EXPECT_EQ(run(bi_strings_load_from_stream, {list, Ptr{nullptr}, 0}), "");
    EXPECT_EQ(l.lines(), Lines{});
    EXPECT_EQ(run(bi_strings_load_from_stream, {list, Ptr{nullptr}, 4}), "Invalid stream data");
    EXPECT_EQ(run(bi_strings_load_from_stream, {list, data, -1}), "Invalid stream data");
}

}  // namespace
