// JSON value trees over UTF-16: the parser, the builder, selection, release and serialization.
//
// Ownership. A parsed tree lives in one arena (a chain of large blocks) that the root owns; every
// parsed value's internal word points at that arena. Builder values are separate heap blocks whose
// internal word points at a tag of their own. Freeing a value that is attached to a parent does
// nothing (its tree owns it); freeing a root frees the whole tree, whichever way it was made, and a
// parsed root attached to a builder tree goes with that tree. Nothing here recurses on the native
// stack: trees of any depth are parsed, serialized and freed with explicit stacks.
#pragma once
#include <cstdint>

#include "base/wstr.h"
#include "formats/json_records.h"

namespace qel {

// Parses n units of UTF-16 text. Null when the text is not one valid JSON value (with white space
// around it) or memory runs out. Numbers: an integer literal that fits in 64 bits is an Integer,
// "-0" included (0); any other integer, and every number with a fraction or exponent, is a Double
// rounded to nearest, overflowing to an infinity and underflowing to a zero or a denormal.
json_value* json_parse(const WChar* text, uint32_t n);

// Frees the tree of a root (parsed or built). A value with a parent, or null, is left alone.
void json_value_free(json_value* value);

// The value of the first entry whose name equals key unit for unit; null when value is not an
// Object or has no such entry.
json_value* json_value_select(const json_value* object, const WChar* key, uint32_t n);

// Builder values; null when memory runs out. room is a reservation hint (below 0 counts as 0).
json_value* json_object_new(int32_t room);
json_value* json_array_new(int32_t room);
json_value* json_integer_new(int64_t value);
json_value* json_double_new(double value);
json_value* json_boolean_new(bool value);
json_value* json_string_new(const WChar* text, uint32_t n);
json_value* json_null_new();

// Appends value to a builder Array or Object (with a copy of the name). False, with nothing
// changed, when the container is not a builder container of that type, when value is null or
// already has a parent, when value is the container or one of its ancestors, or memory runs out.
bool json_array_push(json_value* array, json_value* value);
bool json_object_push(json_value* object, const WChar* name, uint32_t n, json_value* value);

// Serialization modes and option bits of json_serialize_opts.
enum JsonSerializeMode : int32_t { kJsonMultiline = 0, kJsonSingleLine = 1, kJsonPacked = 2 };
enum JsonSerializeOpt : int32_t {
    kJsonOptCrlf = 1 << 1,
    kJsonOptPackBrackets = 1 << 2,
    kJsonOptNoSpaceAfterComma = 1 << 3,
    kJsonOptNoSpaceAfterColon = 1 << 4,
    kJsonOptUseTabs = 1 << 5,
};

// The longest text the serializer makes, in units; a longer one is refused before any is written.
constexpr uint64_t kJsonMaxSerialized = 1u << 28;

// The serialized text of value as a new heap buffer of *n units plus a terminator (free with
// std::free). Null when the text would be longer than kJsonMaxSerialized or memory runs out.
WChar* json_serialize(const json_value* value, const json_serialize_opts& opts, uint32_t* n);

// The text of one double as the serializer writes it ("%g", "." as the separator, ".0" added when
// the text has neither "." nor "e"; infinities as 1e999 and -1e999, NaN as null). Returns the
// number of characters written to out (room for 32).
int json_format_double(double d, char* out);

}  // namespace qel
