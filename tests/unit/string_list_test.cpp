// String lists through the strings_ built-ins with their ref arguments (addresses of string
// variables): text, name=value lines, sorting, objects, file encodings byte for byte, compression.
#include <deque>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "builtin_harness.h"
#include "image/container.h"
#include "stdlib/string_list.h"

using namespace qel;
using qeltest::Ptr;

namespace {

using Lines = std::vector<std::u16string>;
using Bytes = std::vector<uint8_t>;

std::u16string str(const WStr& w) { return std::u16string(w.text(), w.length); }

class StringLists : public qeltest::Builtins {
protected:
    void TearDown() override {
        for (PtrList* l : lists) string_list_free(l);
        for (WStr* w : vars) wstr_delete(w);
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    Ptr list(const Lines& lines = {}) {  // freed with the test
        PtrList* l = lists.emplace_back(ptr_list_create());
        for (const auto& s : lines) string_list_add(l, s.c_str(), static_cast<uint32_t>(s.size()), nullptr);
        return Ptr{l};
    }
    static PtrList* of(Ptr l) { return static_cast<PtrList*>(const_cast<void*>(l.p)); }
    static StrItem* item(Ptr l, int32_t i) { return static_cast<StrItem*>(of(l)->items[i]); }
    static Lines lines(Ptr l) {
        Lines out;
        for (int32_t i = 0; i < of(l)->count; ++i) out.push_back(str(item(l, i)->text));
        return out;
    }
    Ptr ref(const std::u16string& s) {  // a string variable holding the text; value reads it back
        WStr*& w = vars.emplace_back(wstr_new());
        w->assign_wide(s.c_str(), static_cast<uint32_t>(s.size()));
        return Ptr{&w};
    }
    static std::u16string value(Ptr ref) { return str(**static_cast<WStr* const*>(ref.p)); }
    Ptr file(const std::string& name) {  // a file of the test's directory, named by a ref
        char tmpl[] = "/tmp/qel-strings-XXXXXX";
        if (dir.empty()) dir = ::mkdtemp(tmpl);
        const std::string f = dir + "/" + name;
        return ref(std::u16string(f.begin(), f.end()));
    }
    Bytes bytes(const std::string& name) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void write(const std::string& name, const Bytes& b) {
        file(name);
        std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }

    std::vector<PtrList*> lists;
    std::deque<WStr*> vars;  // stable addresses: the refs point into it
    std::string dir;
};

TEST_F(StringLists, SplitsAtEveryKindOfBreakOrASeparatorAndJoinsWithCrLf) {
    std::pair<std::u16string, Lines> texts[] = {
        {u"a\r\nb\r\n", {u"a", u"b"}}, {u"a\n\rb", {u"a", u"", u"b"}}, {u"", {}},
        {u"\n", {u""}},                {u"a\rb\nc", {u"a", u"b", u"c"}}, {u"\r\r\n", {u"", u""}},
    };
    for (const auto& [text, expected] : texts) {
        Ptr l = list({u"old line", u"another"});  // the present lines are replaced
        EXPECT_EQ(run(bi_strings_set_text, {l, ref(text)}), "");
        EXPECT_EQ(lines(l), expected) << "text of " << text.size() << " units";
    }
    std::tuple<Lines, std::u16string, std::u16string, Lines> splits[] = {
        {{u"old"}, u"x,,y,", u",", {u"old", u"x", u"", u"y"}}, {{}, u"a::b", u"::", {u"a", u"b"}},
        {{}, u",", u",", {u""}}, {{}, u"aXbxc", u"x", {u"aXb", u"c"}},  // case-sensitive
        {{}, u"ab", u"abc", {u"ab"}}, {{u"old"}, u"", u",", {u"old"}},
        // Exactly CR LF: the text replaces the lines; no separator: the whole text is one line.
        {{u"old"}, u"a\r\nb", u"\r\n", {u"a", u"b"}}, {{u"old"}, u"a\nb", u"\n", {u"old", u"a", u"b"}},
        {{u"old"}, u"a,b", u"", {u"old", u"a,b"}}};
    for (const auto& [before, text, separator, after] : splits) {
        Ptr l = list(before);
        EXPECT_EQ(run(bi_strings_set_text_with_lb, {l, ref(text), separator}), "");
        EXPECT_EQ(lines(l), after) << "separator of " << separator.size() << " units";
    }
    Ptr l = list({u"1", u"2", u"3", u"4"});  // appending grows the array as single adds would
    EXPECT_EQ(run(bi_strings_set_text_with_lb, {l, ref(u"5,6,7,8,9"), u","}), "");
    EXPECT_EQ(of(l)->count * 100 + of(l)->capacity, 912);
    // The text may be one of the list's own lines (a variable holding the str data pointer), and
    // so may the output of get_text, which joins the lines with CR LF (as the JSON and files images
    // read them).
    EXPECT_EQ(run(bi_strings_set_text, {l, ref(u"x\r\ny\nz")}), "");
    void* own = &item(l, 1)->text;
    EXPECT_EQ(run(bi_strings_set_text, {l, Ptr{&own}}), "");
    EXPECT_EQ(lines(l), Lines{u"y"});
    EXPECT_EQ(run(bi_strings_set_text, {l, ref(u"x\r\ny\nz")}), "");
    own = &item(l, 0)->text;
    EXPECT_EQ(run(bi_strings_get_text, {l, Ptr{&own}}), "");
    EXPECT_EQ(lines(l), (Lines{u"x\r\ny\r\nz", u"y", u"z"}));
}

TEST_F(StringLists, NameValueLines) {
    Ptr l = list({u"keys=1", u"KEY=2", u"key", u"key=3", u"=4", u"key=5", u"empty="});
    std::tuple<std::u16string, int32_t, std::u16string> finds[] = {
        {u"key", 3, u"3"}, {u"keys", 0, u"1"},  {u"KEY", 1, u"2"},   {u"", -1, u""},
        {u"ke", -1, u""},  {u"key=3", -1, u""}, {u"empty", 6, u""}, {u"absent", -1, u""}};
    for (const auto& [name, index, expected] : finds) {
        EXPECT_EQ(result(bi_strings_indexof_name, {l, ref(name)}), "i:" + std::to_string(index));
        Ptr out = ref(u"stale");
        EXPECT_EQ(run(bi_strings_values_get, {l, ref(name), out}), "");
        EXPECT_EQ(value(out), expected);
    }
    std::tuple<Lines, std::u16string, std::u16string, Lines> sets[] = {
        {{u"a=1"}, u"a", u"", {u"a="}}, {{}, u"a", u"", {u"a="}}, {{u"b=2", u"a=1"}, u"a", u"xyz", {u"b=2", u"a=xyz"}},
        {{u"a=1=2"}, u"a", u"9", {u"a=9"}}, {{u"ab=1"}, u"a", u"2", {u"ab=1", u"a=2"}},
        {{u"a=long old value"}, u"a", u"v", {u"a=v"}},
    };
    for (const auto& [before, name, val, after] : sets) {
        Ptr s = list(before);
        for (int32_t i = 0; i < of(s)->count; ++i) item(s, i)->object = this;
        EXPECT_EQ(run(bi_strings_values_set, {s, ref(name), ref(val)}), "");
        EXPECT_EQ(lines(s), after);
        // A rewritten line keeps its object; an appended one has none.
        for (int32_t i = 0; i < of(s)->count; ++i)
            EXPECT_EQ(item(s, i)->object, i < static_cast<int32_t>(before.size()) ? this : nullptr);
    }
    // The value may be the line itself; the output may be the very variable that names the line.
    Ptr self = list({u"a=b"});
    void* own = &item(self, 0)->text;
    EXPECT_EQ(run(bi_strings_values_set, {self, ref(u"a"), Ptr{&own}}), "");
    EXPECT_EQ(lines(self), Lines{u"a=a=b"});
    Ptr name = ref(u"a");
    EXPECT_EQ(run(bi_strings_values_get, {self, name, name}), "");
    EXPECT_EQ(value(name), u"a=b");
    Ptr out = ref(u"");
    EXPECT_EQ(run(bi_strings_name_from_index, {self, 0, out}), "");
    EXPECT_EQ(value(out), u"a");
    EXPECT_EQ(run(bi_strings_value_from_index, {self, 0, out}), "");
    EXPECT_EQ(value(out), u"a=b");
}

TEST_F(StringLists, SortsByUnitsOrFoldedToLowerCase) {
    // Case-sensitive, descending, the order (folded when folded): folding puts "_" (5F) before the
    // letters (a is 61); any non-zero count descends.
    std::tuple<bool, int32_t, Lines> cases[] = {
        {true, 0, {u"", u"A", u"B", u"_", u"a", u"a", u"ab", u"b"}}, {true, 1, {u"b", u"ab", u"a", u"a", u"_", u"B", u"A", u""}},
        {false, 0, {u"", u"_", u"a", u"a", u"a", u"ab", u"b", u"b"}}, {false, -7, {u"b", u"b", u"ab", u"a", u"a", u"a", u"_", u""}}};
    for (const auto& [case_sensitive, descending, expected] : cases) {
        Ptr l = list({u"b", u"B", u"a", u"A", u"_", u"ab", u"a", u""});
        EXPECT_EQ(run(bi_strings_sort, {l, case_sensitive, descending}), "");
        Lines got = lines(l);
        for (auto& s : got)
            for (auto& u : s)
                if (!case_sensitive && u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 32);
        EXPECT_EQ(got, expected) << case_sensitive << descending;
    }
    Ptr units = list({u"a", u"\uFFFF", u"b"});  // units compare unsigned
    EXPECT_EQ(run(bi_strings_sort, {units, true, 0}), "");
    EXPECT_EQ(lines(units), (Lines{u"a", u"b", u"\uFFFF"}));
}

TEST_F(StringLists, LinesObjectsAndLookups) {
    Ptr l = list();
    int object = 0;
    const Ptr obj{&object};
    EXPECT_EQ(result(bi_strings_add, {l, ref(u"one")}), "<0 values>");
    EXPECT_EQ(result(bi_strings_add_object, {l, ref(u"three"), obj}), "<0 values>");
    EXPECT_EQ(result(bi_strings_insert, {l, 1, ref(u"two")}), "<0 values>");
    EXPECT_EQ(lines(l), (Lines{u"one", u"two", u"three"}));
    Ptr out = ref(u"stale");
    EXPECT_EQ(result(bi_strings_get, {l, 2, out}), "<0 values>");
    EXPECT_EQ(value(out), u"three");
    EXPECT_EQ(pointer(bi_strings_get_object, {l, 2}), obj.p);
    EXPECT_EQ(pointer(bi_strings_get_object, {l, 0}), nullptr);
    EXPECT_EQ(run(bi_strings_set_object, {l, 0, obj}), "");
    EXPECT_EQ(result(bi_strings_indexof_object, {l, obj}) + result(bi_strings_indexof_object, {l, Ptr{this}}), "i:0i:-1");
    EXPECT_EQ(run(bi_strings_set, {l, 0, ref(u"two")}), "");
    EXPECT_EQ(result(bi_strings_indexof, {l, ref(u"two")}), "i:0");  // the first of the two equal lines
    for (const char16_t* absent : {u"TWO", u"thrXX"}) EXPECT_EQ(result(bi_strings_indexof, {l, ref(absent)}), "i:-1");
    EXPECT_EQ(pointer(bi_strings_get_str_data, {l, 2}), &item(l, 2)->text);  // the line's own text
    EXPECT_EQ(run(bi_strings_delete, {l, 0}), "");
    EXPECT_EQ(lines(l), (Lines{u"two", u"three"}));
    // Every index outside the list is refused, and nothing changes.
    for (int32_t i : {-1, 2}) {
        std::string errors[] = {
            run(bi_strings_get, {l, i, out}),               run(bi_strings_set, {l, i, out}),
            run(bi_strings_get_object, {l, i}),             run(bi_strings_set_object, {l, i, Ptr{nullptr}}),
            run(bi_strings_get_str_data, {l, i}),           run(bi_strings_delete, {l, i}),
            run(bi_strings_name_from_index, {l, i, out}),   run(bi_strings_value_from_index, {l, i, out}),
            run(bi_strings_insert, {l, i == 2 ? 3 : i, out}),
        };
        for (const std::string& e : errors) EXPECT_EQ(e, "List index out of bounds") << "index " << i;
        EXPECT_EQ(lines(l), (Lines{u"two", u"three"}));
    }
    EXPECT_EQ(run(bi_strings_add, {Ptr{nullptr}, out}), "Null list reference");
    EXPECT_EQ(run(bi_strings_add, {l, Ptr{nullptr}}), "Null string reference");
    EXPECT_EQ(run(bi_strings_clear, {l}), "");
    EXPECT_TRUE(of(l)->count == 0 && of(l)->items == nullptr);
    EXPECT_EQ(run(bi_strings_free, {Ptr{nullptr}}), "");
}

// Bytes as files hold them, with the lines they decode to (the Linux ANSI code page is UTF-8).
const std::pair<Bytes, Lines> kDecodings[] = {
    {{0xFF, 0xFE}, {}}, {{0xFF, 0xFE, 0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0x42, 0x00}, {u"A", u"B"}},
    {{0xFF, 0xFE, 0x41, 0x00, 0x42}, {u"A"}},  // an odd last byte is ignored
    {{0xFF, 0xFE, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}, {u"\u00E9\U0001F600"}},
    {{0xEF, 0xBB, 0xBF, 0x61, 0xC3, 0xA9, 0x0A, 0x62}, {u"a\u00E9", u"b"}}, {{0xEF, 0xBB, 0xBF}, {}},
    {{0x61, 0x0D, 0x0A}, {u"a"}}, {{0xC3, 0xA9, 0x3D, 0x31}, {u"\u00E9=1"}}, {{}, {}},
    {{0xFE, 0xFF, 0x00, 0x41}, {std::u16string(u"\uFFFD\uFFFD\0A", 4)}},  // big-endian marks are not recognised
};

TEST_F(StringLists, LoadsEachEncodingFromFilesAndStreams) {
    int n = 0;
    for (const auto& [data, expected] : kDecodings) {
        std::string name = "in" + std::to_string(n++) + ".txt";
        write(name, data);
        Ptr l = list({u"stale"});
        EXPECT_EQ(result(bi_strings_load_from_file, {l, file(name)}), "b:true") << name;
        EXPECT_EQ(lines(l), expected) << name;
        Ptr s = list({u"stale"});
        EXPECT_EQ(result(bi_strings_load_from_stream, {s, Ptr{data.data()}, int32_t(data.size())}), "<0 values>");
        EXPECT_EQ(lines(s), expected) << name;
    }
    // A missing file or a directory leaves the list alone and says so; bad stream data is refused.
    Ptr kept = list({u"kept"});
    for (const char* name : {"missing.txt", ""}) EXPECT_EQ(result(bi_strings_load_from_file, {kept, file(name)}), "b:false");
    EXPECT_EQ(run(bi_strings_load_from_stream, {kept, Ptr{nullptr}, 4}), "Invalid stream data");
    EXPECT_EQ(run(bi_strings_load_from_stream, {kept, Ptr{this}, -1}), "Invalid stream data");
    EXPECT_EQ(lines(kept), Lines{u"kept"});
}

TEST_F(StringLists, SavesEachEncodingByteForByte) {
    std::tuple<Lines, int32_t, bool, Bytes> cases[] = {
        {{u"A"}, 3, true, {0xFF, 0xFE, 0x41, 0x00}}, {{u"A"}, 2, false, {0x41}},
        {{u"A"}, 2, true, {0xEF, 0xBB, 0xBF, 0x41}}, {{u"A"}, 0, true, {0x41}},  // no mark for the ANSI code page
        {{u"A"}, 1, true, {}},  // unknown encodings leave an empty file
        {{}, 3, true, {0xFF, 0xFE}},
        {{u"a", u"\u00E9\u0100"}, 3, false, {0x61, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0xE9, 0x00, 0x00, 0x01}},
        // Every byte of a multi-byte code page is written, not one per unit.
        {{u"a", u"\u00E9"}, 0, false, {0x61, 0x0D, 0x0A, 0xC3, 0xA9}},
        {{u"\U0001F600"}, 2, false, {0xF0, 0x9F, 0x98, 0x80}},
    };
    int n = 0;
    for (const auto& [before, encoding, bom, expected] : cases) {
        std::string name = "out" + std::to_string(n++) + ".txt";
        write(name, Bytes(64, 'x'));  // an existing longer file is replaced
        EXPECT_EQ(result(bi_strings_save_to_file, {list(before), file(name), encoding, bom}), "b:true") << name;
        EXPECT_EQ(bytes(name), expected) << name;
    }
    EXPECT_EQ(result(bi_strings_save_to_file, {list({u"A"}), file("no/such/dir.txt"), 2, false}), "b:false");
}

TEST_F(StringLists, CompressedFilesHoldUtf8WithOneZeroByte) {
    Ptr l = list({u"first", u"\u00E9t\u00E9", u"", u"last"}), back = list({u"stale"});
    EXPECT_EQ(result(bi_strings_save_compressed_to_file, {l, file("lines.ql")}), "<0 values>");
    Bytes packed = bytes("lines.ql");
    ASSERT_GE(packed.size(), 6u);
    EXPECT_EQ(std::string(packed.begin(), packed.begin() + 2), "ql");
    ByteBuffer content;
    ASSERT_EQ(container_inflate_buffer(content, packed.data(), int32_t(packed.size())), kZOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(content.data), static_cast<size_t>(content.length)),
              std::string("first\r\n\xC3\xA9t\xC3\xA9\r\n\r\nlast") + '\0');
    EXPECT_EQ(run(bi_strings_load_compressed_from_file, {back, file("lines.ql")}), "");
    EXPECT_EQ(lines(back), lines(l));
    // The zero byte ends the text; damaged or missing files leave an empty list.
    const uint8_t tail[] = {'a', 0, 'b'};
    ASSERT_EQ(container_deflate_to_file(tail, 3, value(file("tail.ql")).c_str()), kZOk);
    write("plain.ql", {'q', 'l', 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'});
    write("truncated.ql", Bytes(packed.begin(), packed.begin() + 6));
    for (auto [name, expected] : {std::pair<const char*, Lines>{"tail.ql", {u"a"}}, {"plain.ql", {}}, {"truncated.ql", {}},
                                  {"missing.ql", {}}}) {
        Ptr damaged = list({u"stale"});
        EXPECT_EQ(run(bi_strings_load_compressed_from_file, {damaged, file(name)}), "");
        EXPECT_EQ(lines(damaged), expected) << name;
    }
}

}  // namespace
