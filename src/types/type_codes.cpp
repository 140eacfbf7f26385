#include "types/type_codes.h"

#include <array>
#include <cstring>

namespace qel {

namespace {
constexpr TypeInfo kTypes[] = {
    {kTypeBool, "bool", 1, Cell::Bool, 1},        {kTypeChar, "char", 2, Cell::Char, 1},
    {kTypeDouble, "double", 8, Cell::Double, 2},  {kTypeByte, "byte", 1, Cell::Byte, 1},
    {kTypeFloat, "float", 4, Cell::Float, 1},     {kTypeInt, "int", 4, Cell::Int, 1},
    {kTypeLong, "long", 8, Cell::Long, 2},        {kTypeShort, "short", 2, Cell::Short, 1},
    {kTypeNative, "native", 4, Cell::Int, 1},     {kTypePointer, "pointer", 4, Cell::Pointer, 1},
    {kTypeString, "string", 4, Cell::String, 1},  {kTypeMethod, "method", 8, Cell::Method, 2},
    {kTypeVoid, "void", 4, Cell::None, 1},
};

constexpr std::array<int8_t, 128> build_index() {
    std::array<int8_t, 128> index{};
    for (auto& i : index) i = -1;
    for (int i = 0; i < static_cast<int>(sizeof kTypes / sizeof kTypes[0]); ++i) index[kTypes[i].code] = static_cast<int8_t>(i);
    return index;
}
constexpr auto kIndex = build_index();
}  // namespace

const TypeInfo* type_info(char code) {
    auto c = static_cast<unsigned char>(code);
    return c < 128 && kIndex[c] >= 0 ? &kTypes[kIndex[c]] : nullptr;
}

const TypeInfo* type_info_by_name(const char* name) {
    for (const TypeInfo& t : kTypes)
        if (std::strcmp(t.name, name) == 0) return &t;
    return nullptr;
}

const char* type_name_of_code(char code) {
    const TypeInfo* t = type_info(code);
    return t && t->cell != Cell::None ? t->name : "undefined type";
}

}  // namespace qel
