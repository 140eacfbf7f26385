// The markup parser's control record and the resource handler's arguments, shared with scripts
// by layout (CMarkupParser, CMarkupParserResourceHandlerArgs).
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/ptr_list.h"
#include "base/wstr.h"
#include "types/descriptors.h"
#include "vm/value.h"

namespace qel {

struct alignas(8) CMarkupParser {
    WStr* source;
    alignas(8) PMethod character_handler;
    PMethod start_element_handler;
    PMethod end_element_handler;
    PMethod attribute_handler;
    PMethod resource_handler;
    bool rtti;
    bool collection;
    bool collection_notify;
    bool xml_rules;
    char16_t resource_split_char;
    PtrList* classes;
    CClass* class_info;
    void* obj;
    void* container;
};
static_assert(offsetof(CMarkupParser, source) == 0 && offsetof(CMarkupParser, character_handler) == 8 &&
              offsetof(CMarkupParser, start_element_handler) == 16 && offsetof(CMarkupParser, end_element_handler) == 24 &&
              offsetof(CMarkupParser, attribute_handler) == 32 && offsetof(CMarkupParser, resource_handler) == 40 &&
              offsetof(CMarkupParser, rtti) == 48 && offsetof(CMarkupParser, collection) == 49 &&
              offsetof(CMarkupParser, collection_notify) == 50 && offsetof(CMarkupParser, xml_rules) == 51 &&
              offsetof(CMarkupParser, resource_split_char) == 52 && offsetof(CMarkupParser, classes) == 56 &&
              offsetof(CMarkupParser, class_info) == 60 && offsetof(CMarkupParser, obj) == 64 &&
              offsetof(CMarkupParser, container) == 68 && sizeof(CMarkupParser) == 72);

struct CMarkupParserResourceHandlerArgs {
    WStr* Attribute;
    WStr* Resource;
    WStr* Key;
    void* Obj;
    CMember* Member;
    WStr* Result;
    int32_t Handled;
};
static_assert(offsetof(CMarkupParserResourceHandlerArgs, Attribute) == 0 &&
              offsetof(CMarkupParserResourceHandlerArgs, Resource) == 4 &&
              offsetof(CMarkupParserResourceHandlerArgs, Key) == 8 && offsetof(CMarkupParserResourceHandlerArgs, Obj) == 12 &&
              offsetof(CMarkupParserResourceHandlerArgs, Member) == 16 &&
              offsetof(CMarkupParserResourceHandlerArgs, Result) == 20 &&
              offsetof(CMarkupParserResourceHandlerArgs, Handled) == 24 && sizeof(CMarkupParserResourceHandlerArgs) == 28);

}  // namespace qel
