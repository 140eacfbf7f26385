// JSON: a corpus over the grammar's corners, the ends of the number types, reads that stop at the
// given length, depth without native recursion, the builder's ownership rules and the serializer.
#include <cmath>
#include <cstdio>

#include "builtin_harness.h"
#include "formats/json_tree.h"
#include "stdlib/string_list.h"

using namespace qel;

namespace {

// A compact notation of a tree: {"k":v,...} [v,...] i<int> d<%.17g> "text" true false null, with
// units outside printable ASCII as \uXXXX. Checks the parent links and terminators on the way.
std::string dump(const json_value* v) {
    auto text = [](const WChar* s, uint32_t n) {
        EXPECT_EQ(s[n], 0) << "terminated";
        std::string out = "\"";
        char e[8];
        for (uint32_t i = 0; i < n; ++i)
            if (s[i] >= 0x20 && s[i] < 0x7F && s[i] != '"' && s[i] != '\\') out += static_cast<char>(s[i]);
            else std::snprintf(e, sizeof e, "\\u%04X", static_cast<unsigned>(s[i])), out += e;
        return out + "\"";
    };
    char num[40];
    switch (v->type) {
        case kJsonObject:
        case kJsonArray: {
            const bool object = v->type == kJsonObject;
            std::string out = object ? "{" : "[";
            for (uint32_t i = 0; i < v->u.array.length; ++i) {
                const json_value* child = object ? v->u.object.values[i].value : v->u.array.values[i];
                EXPECT_EQ(child->parent, v);
                if (i) out += ",";
                if (object) out += text(v->u.object.values[i].name, v->u.object.values[i].name_length) + ":";
                out += dump(child);
            }
            return out + (object ? "}" : "]");
        }
        case kJsonInteger: return "i" + std::to_string(v->u.integer);
        case kJsonDouble: std::snprintf(num, sizeof num, "d%.17g", v->u.dbl); return num;
        case kJsonString: return text(v->u.string.ptr, v->u.string.length);
        case kJsonBoolean: return v->u.boolean ? "true" : "false";
        case kJsonNull: return "null";
        default: return "?";
    }
}

// Parses UTF-16 text; "reject" for the 0 result.
std::string parsed(const WChar* text, uint32_t n) {
    json_value* v = json_parse(text, n);
    if (!v) return "reject";
    EXPECT_EQ(v->parent, nullptr);
    std::string d = dump(v);
    json_value_free(v);
    return d;
}

// The dump or "reject"; when cut is set, only that many units are the text (the buffer goes on).
struct Case { const char16_t* text; const char* tree; uint32_t cut = 0; };

// What the differential test (random and mutated documents against Python's json) does not
// reach: the ends of the number types, the fast path's rounding traps, texts no mutation makes,
// and reads that must stop at the given length.
const Case kCorpus[] = {
    {u"-0", "i0"}, {u"9223372036854775807", "i9223372036854775807"}, {u"-9223372036854775808", "i-9223372036854775808"},
    {u"9223372036854775808", "d9.2233720368547758e+18"}, {u"-9223372036854775809", "d-9.2233720368547758e+18"},
    {u"-0.0", "d-0"}, {u"1e400", "dinf"}, {u"-1e-400", "d-0"}, {u"1e99999999999999999999", "dinf"},
    {u"0.0000000001e-99999999999", "d0"}, {u"100000000000000000000e-330", "d9.9999999999999694e-311"},
    {u"0.001e311", "d1e+308"}, {u"1000e306", "dinf"}, {u"4.9e-324", "d4.9406564584124654e-324"},
    // one multiplication or division of exact doubles, where rounding first to 64 bits and then
    // to 53 would miss the nearest double
    {u"2632124327739494e14", "d2.6321243277394942e+29"}, {u"0.06701549516858437", "d0.067015495168584363"},
    {u"809683277.503362", "d809683277.50336206"}, {u"6559142704937828e-17", "d0.065591427049378273"},
    {u"9007199254740993", "i9007199254740993"}, {u"9007199254740993.0", "d9007199254740992"},
    {u"9007199254740995e0", "d9007199254740996"}, {u"123456789012345678e-20", "d0.0012345678901234567"},
    {u"0000", "reject"}, {u"1.", "reject"}, {u"1e+", "reject"}, {u"-", "reject"}, {u"-Infinity", "reject"},
    // every escape; u escapes kept as units, surrogates and zeros included
    {u"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\u0022\\u005C/\\u0008\\u000C\\u000A\\u000D\\u0009\""},
    {u"\"\\u00e9\\u00C9\\uD83D\\uDE00\\uDC00a\\u0000b\"", "\"\\u00E9\\u00C9\\uD83D\\uDE00\\uDC00a\\u0000b\""},
    {u"\"\\u12G4\"", "reject"}, {u"\"a\nb\"", "reject"}, {u"\"\\", "reject"},
    {u" [ 1 , \"x\" , [ ] , { } ] ", "[i1,\"x\",[],{}]"}, {u"{\"a\":{\"b\":[1,{}]},\"a\":null}", "{\"a\":{\"b\":[i1,{}]},\"a\":null}"},
    {u"{\"a\":1]", "reject"}, {u"[1]]", "reject"}, {u"\uFEFF1", "reject"}, {u"\u00A01", "reject"}, {u"/* c */1", "reject"},
    // the text ends at its length even where the buffer goes on with a valid continuation
    {u"[1]", "reject", 2}, {u"\"ab\"", "reject", 3}, {u"true", "reject", 3}, {u"\"\\u0041\"", "reject", 5},
    {u"1e5", "reject", 2}, {u"123", "i12", 2}, {u"{\"a\":1}", "reject", 6}, {u"nullx", "null", 4},
};

TEST(JsonParse, CorpusGivesEachTreeOrRejects) {
    for (const Case& c : kCorpus)
        EXPECT_EQ(parsed(c.text, c.cut ? c.cut : std::char_traits<WChar>::length(c.text)), c.tree)
            << testing::PrintToString(c.text) << " cut to " << c.cut;
    // A zero unit is content like any other: outside a string it is trailing garbage.
    EXPECT_EQ(parsed(u"1\0", 2), "reject");
    EXPECT_EQ(parsed(u"\"\0\"", 3), "reject");
    EXPECT_EQ(json_parse(nullptr, 3), nullptr);
}

std::u16string serialized(const json_value* v, json_serialize_opts opts) {
    uint32_t n = 0;
    WChar* t = json_serialize(v, opts, &n);
    if (!t) return u"(refused)";
    std::u16string s(t, n);
    EXPECT_EQ(t[n], 0);
    std::free(t);
    return s;
}

// Depth costs heap, not native stack (the image test also builds and frees 100,000 levels).
TEST(JsonDepth, HundredThousandLevelsParseAndSerialize) {
    constexpr uint32_t kDepth = 100000;
    const std::u16string open(kDepth, u'['), doc = open + std::u16string(kDepth, u']');
    EXPECT_EQ(json_parse(open.data(), kDepth), nullptr);
    json_value* v = json_parse(doc.data(), static_cast<uint32_t>(doc.size()));
    ASSERT_NE(v, nullptr);
    uint32_t depth = 1;
    for (const json_value* a = v; a->u.array.length == 1; a = a->u.array.values[0]) ++depth;
    EXPECT_EQ(depth, kDepth);
    const json_serialize_opts packed{kJsonPacked, 0, 0}, indented{kJsonMultiline, 0, 4};
    EXPECT_EQ(serialized(v, packed), doc);
    // Indented, the text would grow with the square of the depth: measured first and refused.
    EXPECT_EQ(serialized(v, indented), u"(refused)");
    json_value_free(v);
}

TEST(JsonBuilder, AttachesRootsOnlyAndNeverMakesACycle) {
    json_value *a = json_array_new(0), *o = json_object_new(2), *s = json_string_new(u"x", 1);
    EXPECT_TRUE(json_object_push(o, u"k", 1, json_integer_new(1)));
    EXPECT_TRUE(json_array_push(a, o));
    EXPECT_FALSE(json_array_push(a, o)) << "attached already";
    EXPECT_FALSE(json_object_push(o, u"up", 2, a)) << "an ancestor";
    EXPECT_FALSE(json_object_push(a, u"x", 1, s)) << "not an object";
    EXPECT_FALSE(json_array_push(nullptr, s));
    EXPECT_FALSE(json_array_push(a, nullptr));

    json_value* p = json_parse(u"[1,{\"b\":2}]", 11);
    ASSERT_TRUE(p);
    EXPECT_FALSE(json_array_push(p, s)) << "a parsed array has no room to grow";
    EXPECT_FALSE(json_array_push(a, p->u.array.values[1])) << "a parsed value inside its tree";
    EXPECT_TRUE(json_array_push(a, p));
    json_value_free(p);  // attached: the built tree owns it now
    json_value_free(o);
    EXPECT_TRUE(json_array_push(a, s));
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(json_array_push(a, json_integer_new(i)));
    EXPECT_EQ(a->u.array.length, 43u);
    EXPECT_EQ(dump(a).substr(0, 40), "[{\"k\":i1},[i1,{\"b\":i2}],\"x\",i0,i1,i2,i3,");
    json_value_free(a);
}

TEST(JsonSelect, FirstEntryWithExactlyThatName) {
    const std::u16string text = u"{\"a\":1,\"b\":{\"a\":2},\"a\":3,\"\u00e9\":4}";
    json_value* v = json_parse(text.data(), static_cast<uint32_t>(text.size()));
    auto select = [&](const json_value* in, const std::u16string& key) {
        const json_value* r = json_value_select(in, key.data(), static_cast<uint32_t>(key.size()));
        return r ? dump(r) : std::string("0");
    };
    const json_value* b = json_value_select(v, u"b", 1);
    EXPECT_EQ(select(v, u"a") + select(v, u"A") + select(v, u"\u00e9") + select(v, u"") + select(v, u"ab"), "i10i400");
    EXPECT_EQ(select(b, u"a") + select(b->u.object.values[0].value, u"a") + select(nullptr, u"a"), "i200");
    json_value_free(v);
}

const std::u16string kMixed = u"{\"a\":[1,2.5,\"x\"],\"b\":{},\"c\":[]}";

const struct { std::u16string json; json_serialize_opts opts; std::u16string text; } kSerialized[] = {
    {kMixed, {kJsonMultiline, 0, 4},
     u"{\n    \"a\": [\n        1,\n        2.5,\n        \"x\"\n    ],\n    \"b\": {},\n    \"c\": []\n}"},
    {kMixed, {kJsonMultiline, kJsonOptCrlf | kJsonOptUseTabs | kJsonOptNoSpaceAfterColon, 4},
     u"{\r\n\t\"a\":[\r\n\t\t1,\r\n\t\t2.5,\r\n\t\t\"x\"\r\n\t],\r\n\t\"b\":{},\r\n\t\"c\":[]\r\n}"},
    {kMixed, {kJsonSingleLine, 0, 4}, u"{ \"a\": [ 1, 2.5, \"x\" ], \"b\": {}, \"c\": [] }"},
    {kMixed, {kJsonSingleLine, kJsonOptPackBrackets | kJsonOptNoSpaceAfterComma, 0},
     u"{\"a\": [1,2.5,\"x\"],\"b\": {},\"c\": []}"},
    {kMixed, {kJsonPacked, 0, 4}, u"{\"a\":[1,2.5,\"x\"],\"b\":{},\"c\":[]}"},
    {u"[1]", {kJsonMultiline, 0, -3}, u"[\n1\n]"}, {u"[1]", {7, 0, 2}, u"[\n  1\n]"},
    {u"true", {kJsonMultiline, 0, 4}, u"true"},
    // numbers: %g with ".0" when it shows neither point nor exponent; infinities stay JSON
    {u"[2.0,0.5,1e20,-0.0,1e999,-1e999,123456789.0,1e-7,-9223372036854775808,0,1e300]", {kJsonPacked, 0, 0},
     u"[2.0,0.5,1e+20,-0.0,1e999,-1e999,1.23457e+08,1e-07,-9223372036854775808,0,1e+300]"},
    // the json-builder escapes; other control characters as \u00XX; the rest as it is
    {u"[\"\\\"\\\\/\\b\\f\\n\\r\\t\\u0001\\u001f\\u007f\u00e9\\ud800\"]", {kJsonPacked, 0, 0},
     u"[\"\\\"\\\\/\\b\\f\\n\\r\\t\\u0001\\u001f\u007f\u00e9\xd800\"]"},
};

TEST(JsonSerialize, ModesOptionsNumbersAndEscapes) {
    for (auto& c : kSerialized) {
        json_value* v = json_parse(c.json.data(), static_cast<uint32_t>(c.json.size()));
        ASSERT_TRUE(v) << testing::PrintToString(c.json);
        EXPECT_EQ(serialized(v, c.opts), c.text) << testing::PrintToString(c.json) << " mode " << c.opts.mode;
        json_value_free(v);
    }
    json_value* nan = json_double_new(std::nan(""));
    EXPECT_EQ(serialized(nan, {kJsonPacked, 0, 0}), u"null");
    json_value_free(nan);
}

using JsonBuiltins = qeltest::Builtins;
using qeltest::Ptr;

// A string argument is read no further than its own length, whatever length is given.
TEST_F(JsonBuiltins, ParseReadsAStringToItsLengthAtMost) {
    auto parsed_by_builtin = [&](const std::vector<qeltest::Arg>& args) {
        json_value* v = pointer<json_value>(bi_json_parse, args);
        std::string d = v ? dump(v) : "0";
        json_value_free(v);
        return d;
    };
    EXPECT_EQ(parsed_by_builtin({"[1]", 1000}) + parsed_by_builtin({"[1]", 2}) + parsed_by_builtin({"[1]", -1}) +
                  parsed_by_builtin({Ptr{nullptr}, 3}),
              "[i1]000");
}

TEST_F(JsonBuiltins, NewAndPushConvertEachKindOfValue) {
    EXPECT_EQ(pointer(bi_json_new, {3, 0}), nullptr);
    auto *o = pointer<json_value>(bi_json_new, {1, 0}), *a = pointer<json_value>(bi_json_new, {2, -5});
    ASSERT_TRUE(o && a);
    EXPECT_EQ(reinterpret_cast<json_builder_value*>(a)->is_builder_value, 1);
    for (const qeltest::Arg& v : std::vector<qeltest::Arg>{true, -1, int64_t{1} << 40, 0.5, "x", Ptr{o}, Ptr{nullptr},
                                                             qeltest::Mtd{nullptr}})
        EXPECT_EQ(pointer(bi_json_array_push, {Ptr{a}, v}), a);
    EXPECT_EQ(dump(a), "[true,i-1,i1099511627776,d0.5,\"x\",{},null,null]");
    EXPECT_EQ(pointer(bi_json_array_push, {Ptr{a}, Ptr{a}}), nullptr) << "a cycle";
    EXPECT_EQ(pointer(bi_json_array_push, {Ptr{o}, 1}), nullptr) << "an object is no array";
    // The name and a string value are copies: the script's strings may change afterwards.
    EXPECT_EQ(pointer(bi_json_object_push, {Ptr{o}, "name", "text"}), o);
    st->slots[1].text.assign_wide(u"NAME");
    st->slots[2].text.assign_wide(u"TEXT");
    EXPECT_EQ(dump(o), "{\"name\":\"text\"}");
    EXPECT_EQ(run(bi_json_object_push, {Ptr{o}, 5, 1}), "Cannot convert 'int' to 'string'");
    EXPECT_EQ(run(bi_json_builder_free, {Ptr{a}}), "");
}

TEST_F(JsonBuiltins, SerializeSetsTheStringListsLines) {
    json_value* v = json_parse(u"{\"a\":[1,2],\"b\":\"x\"}", 19);
    PtrList* list = ptr_list_create();
    string_list_add(list, u"old", 3, nullptr);
    json_serialize_opts two{kJsonMultiline, 0, 2};
    auto lines = [&](const void* value, const void* opts, PtrList* target) {
        EXPECT_EQ(run(bi_json_serialize, {Ptr{value}, Ptr{opts}, Ptr{target}}), "");
        EXPECT_EQ(count(), 0);
        WStr all{};
        string_list_text(list, all);
        std::string out = std::to_string(list->count) + ":" + utf8(all);
        all.clear();
        return out;
    };
    EXPECT_EQ(lines(nullptr, &two, list) + lines(v, &two, nullptr), "1:old1:old");
    EXPECT_EQ(lines(v, nullptr, list), "7:{\r\n    \"a\": [\r\n        1,\r\n        2\r\n    ],\r\n    \"b\": \"x\"\r\n}");
    json_value_free(v);
    string_list_free(list);
}

}  // namespace
