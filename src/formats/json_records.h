// The JSON value tree as scripts walk it: UTF-16 strings and keys, 8-byte payload at offset 8.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qel {

enum JsonType : int32_t {
    kJsonNone = 0, kJsonObject = 1, kJsonArray = 2, kJsonInteger = 3,
    kJsonDouble = 4, kJsonString = 5, kJsonBoolean = 6, kJsonNull = 7,
};

struct json_value;

struct json_object_entry {  // "json_name" to scripts
    char16_t* name;
    uint32_t name_length;
    json_value* value;
};
static_assert(offsetof(json_object_entry, name) == 0 && offsetof(json_object_entry, name_length) == 4 &&
              offsetof(json_object_entry, value) == 8 && sizeof(json_object_entry) == 12);

struct json_value {
    json_value* parent;
    int32_t type;
    union alignas(8) {
        int32_t boolean;
        int64_t integer;
        double dbl;
        struct {
            uint32_t length;
            char16_t* ptr;
        } string;
        struct {
            uint32_t length;
            json_object_entry* values;
        } object;
        struct {
            uint32_t length;
            json_value** values;
        } array;
    } u;
    union {
        json_value* next_alloc;
        void* object_mem;
    } _reserved;
};
static_assert(offsetof(json_value, parent) == 0 && offsetof(json_value, type) == 4 && offsetof(json_value, u) == 8 &&
              offsetof(json_value, u.string.ptr) == 12 && offsetof(json_value, _reserved) == 16 && sizeof(json_value) == 24);

struct json_builder_value {
    json_value value;
    int32_t is_builder_value;
    uint32_t additional_length_allocated;
    uint32_t length_iterated;
};
static_assert(offsetof(json_builder_value, is_builder_value) == 24 &&
              offsetof(json_builder_value, additional_length_allocated) == 28 &&
              offsetof(json_builder_value, length_iterated) == 32);

struct json_serialize_opts {
    int32_t mode;
    int32_t opts;
    int32_t indent_size;
};
static_assert(offsetof(json_serialize_opts, mode) == 0 && offsetof(json_serialize_opts, opts) == 4 &&
              offsetof(json_serialize_opts, indent_size) == 8 && sizeof(json_serialize_opts) == 12);

}  // namespace qel
