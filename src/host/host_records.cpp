#include "host/host_records.h"

#include <cstddef>

#include "formats/json_records.h"
#include "formats/markup_records.h"
#include "image/instruction.h"
#include "stdlib/map_records.h"
#include "types/class_registry.h"
#include "types/proc_records.h"
#include "types/system_records.h"
#include "vm/value.h"

namespace qel {

namespace {

#define F(T, member, code) \
    { #member, code, static_cast<int>(offsetof(T, member)) }
#define FN(name, T, member, code) \
    { name, code, static_cast<int>(offsetof(T, member)) }
#define ANY(name, code) \
    { name, code, -1 }

using enum RecordUse;
constexpr int kOverlay = 0;  // only the offsets are shared: the declaration overlays a larger record

const HostRecord kRecords[] = {
    {"CSystem", HostMade, sizeof(CSystem),
     {F(CSystem, ErrorReporting, 'b'), F(CSystem, ExeMode, 'b'), F(CSystem, DebugMode, 'b'), F(CSystem, IsLibrary, 'b'),
      F(CSystem, ProjectName, 's'), F(CSystem, ProjectTitle, 's'), F(CSystem, ProjectCompany, 's'),
      F(CSystem, ProjectVersion, 's'), F(CSystem, ProjectDate, 'd'), F(CSystem, ExeName, 's'), F(CSystem, FileName, 's'),
      F(CSystem, CmdLine, 's'), F(CSystem, CmdShow, 'i'), F(CSystem, LoadingTime, 'i'), F(CSystem, Date, 'd'),
      F(CSystem, Version, 's'), F(CSystem, Formats, 'p'), F(CSystem, Environment, 'p')}},
    {"CSystemFormats", HostMade, sizeof(CSystemFormats),
     {F(CSystemFormats, CurrencyFormat, 'e'), F(CSystemFormats, NegCurrencyFormat, 'e'),
      F(CSystemFormats, CurrencyDecimals, 'e'), F(CSystemFormats, ThousandSeparator, 'c'),
      F(CSystemFormats, DecimalSeparator, 'c'), F(CSystemFormats, TimeSeparator, 'c'),
      F(CSystemFormats, DateSeparator, 'c'), F(CSystemFormats, CurrencyString, 's'),
      F(CSystemFormats, ShortDateFormat, 's'), F(CSystemFormats, LongDateFormat, 's'),
      F(CSystemFormats, TimeAmString, 's'), F(CSystemFormats, TimePmString, 's'),
      F(CSystemFormats, ShortTimeFormat, 's'), F(CSystemFormats, LongTimeFormat, 's'),
      F(CSystemFormats, ShortDateTimeFormat, 's')}},
    {"CSystemEnvironment", HostMade, sizeof(CSystemEnvironment),
     {F(CSystemEnvironment, Is64Bit, 'b'), F(CSystemEnvironment, MajorVersion, 'i'),
      F(CSystemEnvironment, MinorVersion, 'i'), F(CSystemEnvironment, BuildNumber, 'i'),
      F(CSystemEnvironment, ServicePackMajor, 'i'), F(CSystemEnvironment, ServicePackMinor, 'i')}},
    // The host stores the system block's address in Global.System by name.
    {"Global", ByName, 0, {ANY("System", 'p')}},
    // Runtime errors fill FMessage and FStackTrace by name; the constructor fills FExceptionClass.
    {"Exception", ByName, 0, {ANY("FMessage", 's'), ANY("FStackTrace", 's'), ANY("FExceptionClass", 's')}},
    {"CClass", HostMade, sizeof(CClass),
     {FN("FClassInfo", CClass, class_info, 'p'), F(CClass, is_struct, 'b'), F(CClass, internal_class, 'b'),
      F(CClass, unit_id, 'm'), F(CClass, hash, 'i'), F(CClass, size, 'i'), F(CClass, name, 'p'),
      F(CClass, class_type, 'e'), F(CClass, base_class, 'p'), F(CClass, fields, 'p'), F(CClass, properties, 'p'),
      F(CClass, methods, 'p'), F(CClass, ofields, 'p'), F(CClass, constructor, 'p'), F(CClass, destructor, 'p')}},
    {"CMember", HostMade, sizeof(CMember),
     {F(CMember, access, 'e'), F(CMember, kind, 'e'), F(CMember, type, 'e'), F(CMember, info, 'p'),
      F(CMember, name, 'p'), F(CMember, read, 'p'), F(CMember, write, 'p'), F(CMember, default_value, 'p'),
      F(CMember, array_length, 'i'), F(CMember, address, 'i')}},
    {"CPropAttrib", HostMade, sizeof(CPropAttrib), {F(CPropAttrib, name, 'p'), F(CPropAttrib, type, 'e'), F(CPropAttrib, ptr, 'p')}},
    {"CType", HostMade, sizeof(CType),
     {F(CType, short_name, 'e'), F(CType, size, 'e'), F(CType, unit_id, 'm'), F(CType, name, 'p'),
      F(CType, base_type, 'p')}},
    {"CEnum", HostMade, sizeof(CEnum), {F(CEnum, unit_id, 'm'), F(CEnum, type, 'e'), F(CEnum, name, 'p'), F(CEnum, members, 'p')}},
    {"CEnumMember", HostMade, sizeof(CEnumMember), {F(CEnumMember, name, 'p'), F(CEnumMember, value, 'i')}},
    {"CMethodLine", HostMade, 8, {F(MethodLine, lineno, 'i'), FN("ptr", MethodLine, method, 'p')}},
    {"CMethod", HostMade, static_cast<int>(offsetof(MethodRecord, name)),
     {F(MethodRecord, type, 'e'), F(MethodRecord, access, 'e'), F(MethodRecord, modifier, 'e'),
      F(MethodRecord, var_counts, 'e'), F(MethodRecord, var_types, 'p')}},
    {"CMethodInfo", HostMade, static_cast<int>(sizeof(MethodRecord) - offsetof(MethodRecord, name)),
     {{"name", 'p', 0},
      {"hash", 'i', static_cast<int>(offsetof(MethodRecord, hash) - offsetof(MethodRecord, name))},
      {"name_hash", 'i', static_cast<int>(offsetof(MethodRecord, name_hash) - offsetof(MethodRecord, name))},
      {"line", 'p', static_cast<int>(offsetof(MethodRecord, line) - offsetof(MethodRecord, name))}}},
    {"CLibProc", HostMade, sizeof(CLibProc),
     {F(CLibProc, proc, 'p'), F(CLibProc, return_type, 'e'), F(CLibProc, type, 'e'), F(CLibProc, unicode, 'e'),
      F(CLibProc, late, 'e'), F(CLibProc, esp_size, 'i'), F(CLibProc, hash, 'i'), F(CLibProc, name, 'p'),
      F(CLibProc, param_count, 'i'), F(CLibProc, param_labels, 'p'), F(CLibProc, library, 'p')}},
    {"CLib", HostMade, sizeof(CLib), {F(CLib, hash, 'i'), F(CLib, name, 'p'), F(CLib, hInst, 'p')}},
    {"CMap", HostMade, sizeof(CMap),
     {F(CMap, Border, 'i'), F(CMap, Scaled, 'i'), F(CMap, ScaleX, 'f'), F(CMap, ScaleY, 'f'), F(CMap, Coords, 'p')}},
    {"CMapCoord", HostMade, sizeof(CMapCoord),
     {F(CMapCoord, X1, 'i'), F(CMapCoord, Y1, 'i'), F(CMapCoord, X2, 'i'), F(CMapCoord, Y2, 'i'), F(CMapCoord, Test, 'i'),
      F(CMapCoord, Tag, 'i'), F(CMapCoord, Data, 'p'), F(CMapCoord, IsEnabled, 'i')}},
    {"CMemStream", Shared, sizeof(CMemStream),
     {F(CMemStream, memory, 'p'), F(CMemStream, size, 'i'), F(CMemStream, pos, 'i'), F(CMemStream, capacity, 'i')}},
    {"PMethod", Shared, sizeof(PMethod), {F(PMethod, Method, 'p'), F(PMethod, Target, 'p')}},
    {"CMarkupParser", Shared, sizeof(CMarkupParser),
     {F(CMarkupParser, source, 'p'), F(CMarkupParser, character_handler, 't'),
      F(CMarkupParser, start_element_handler, 't'), F(CMarkupParser, end_element_handler, 't'),
      F(CMarkupParser, attribute_handler, 't'), F(CMarkupParser, resource_handler, 't'), F(CMarkupParser, rtti, 'b'),
      F(CMarkupParser, collection, 'b'), F(CMarkupParser, collection_notify, 'b'), F(CMarkupParser, xml_rules, 'b'),
      F(CMarkupParser, resource_split_char, 'c'), F(CMarkupParser, classes, 'p'), F(CMarkupParser, class_info, 'p'),
      F(CMarkupParser, obj, 'p'), F(CMarkupParser, container, 'p')}},
    {"CMarkupParserResourceHandlerArgs", HostMade, sizeof(CMarkupParserResourceHandlerArgs),
     {F(CMarkupParserResourceHandlerArgs, Attribute, 'p'), F(CMarkupParserResourceHandlerArgs, Resource, 'p'),
      F(CMarkupParserResourceHandlerArgs, Key, 'p'), F(CMarkupParserResourceHandlerArgs, Obj, 'p'),
      F(CMarkupParserResourceHandlerArgs, Member, 'p'), F(CMarkupParserResourceHandlerArgs, Result, 'p'),
      F(CMarkupParserResourceHandlerArgs, Handled, 'i')}},
    {"json_value", HostMade, sizeof(json_value),
     {F(json_value, parent, 'p'), F(json_value, type, 'i'), FN("integer", json_value, u.integer, 'l'),
      F(json_value, _reserved, 'p')}},
    {"json_value_double", HostMade, sizeof(json_value),
     {F(json_value, parent, 'p'), F(json_value, type, 'i'), FN("dbl", json_value, u.dbl, 'd'),
      F(json_value, _reserved, 'p')}},
    {"json_value_boolean", HostMade, kOverlay,
     {F(json_value, parent, 'p'), F(json_value, type, 'i'), FN("boolean", json_value, u.boolean, 'i')}},
    {"json_value_string", HostMade, kOverlay,
     {F(json_value, parent, 'p'), F(json_value, type, 'i'), FN("length", json_value, u.string.length, 'i'),
      FN("ptr", json_value, u.string.ptr, 'p')}},
    {"json_value_object", HostMade, kOverlay,
     {F(json_value, parent, 'p'), F(json_value, type, 'i'), FN("length", json_value, u.object.length, 'i'),
      FN("values", json_value, u.object.values, 'p')}},
    {"json_value_array", HostMade, kOverlay,
     {F(json_value, parent, 'p'), F(json_value, type, 'i'), FN("length", json_value, u.array.length, 'i'),
      FN("values", json_value, u.array.values, 'p')}},
    {"json_name", HostMade, sizeof(json_object_entry),
     {FN("name", json_object_entry, name, 'p'), FN("name_length", json_object_entry, name_length, 'i'),
      FN("value", json_object_entry, value, 'p')}},
    // An embedded struct is aligned by 4 in images, so the image's size (36) lacks the C record's
    // 4 bytes of tail padding; the fields lie at the same offsets.
    {"json_builder_value", HostMade, kOverlay,
     {F(json_builder_value, value, 'p'), F(json_builder_value, is_builder_value, 'i'),
      F(json_builder_value, additional_length_allocated, 'i'), F(json_builder_value, length_iterated, 'i')}},
    {"json_serialize_opts", Shared, sizeof(json_serialize_opts),
     {F(json_serialize_opts, mode, 'i'), F(json_serialize_opts, opts, 'i'), F(json_serialize_opts, indent_size, 'i')}},
};

#undef F
#undef FN
#undef ANY

std::string code_text(char code) { return code ? std::string("'") + code + "'" : "none"; }

// The declared fields of a class and its bases, in layout order (bases first).
std::vector<const CMember*> declared_fields(const CClass* c) {
    std::vector<const CMember*> out;
    if (c->base_class) out = declared_fields(c->base_class);
    for (int32_t i = 0; c->fields && i < c->fields->count; ++i) out.push_back(static_cast<const CMember*>((*c->fields)[i]));
    return out;
}

void check_by_name(const HostRecord& r, const CClass* c, std::vector<std::string>& out) {
    for (const HostField& want : r.fields) {
        const CMember* m = field_in_chain(c, want.name);
        if (m && (m->type != static_cast<uint8_t>(want.code) || m->array_length != 0))
            out.push_back(std::string("the image declares ") + r.name + "." + want.name + " as " +
                          code_text(static_cast<char>(m->type)) + "; the runtime uses " + code_text(want.code));
    }
}

// The declared fields, in order, must be the host's first fields: same name, type and offset.
void check_in_order(const HostRecord& r, const CClass* c, std::vector<std::string>& out) {
    const std::string prefix = std::string("the image declares ") + r.name;
    const std::vector<const CMember*> fields = declared_fields(c);
    for (size_t i = 0; i < fields.size(); ++i) {
        const CMember* m = fields[i];
        if (i >= r.fields.size()) {
            out.push_back(prefix + " with a field " + m->name + " the runtime does not have");
            return;
        }
        const HostField& want = r.fields[i];
        const bool overlay_struct = r.size == kOverlay && m->array_length == -1;
        if (std::string(m->name) != want.name) {
            out.push_back(prefix + " with " + m->name + " where the runtime has " + want.name);
            return;
        }
        if (m->type != static_cast<uint8_t>(want.code) || (m->array_length != 0 && !overlay_struct))
            out.push_back(prefix + "." + want.name + " as " + code_text(static_cast<char>(m->type)) +
                          (m->array_length ? " (an array or embedded struct)" : "") + "; the runtime uses " +
                          code_text(want.code));
        else if (m->address != want.offset)
            out.push_back(prefix + "." + want.name + " at offset " + std::to_string(m->address) + "; the runtime uses " +
                          std::to_string(want.offset));
    }
    if (r.use == Shared && fields.size() < r.fields.size())
        out.push_back(prefix + " without its field " + r.fields[fields.size()].name);
    else if (r.use == Shared && r.size != kOverlay && c->size != r.size)
        out.push_back(prefix + " with " + std::to_string(c->size) + " bytes; the runtime uses " + std::to_string(r.size));
}

}  // namespace

const std::vector<HostRecord>& host_records() {
    static const std::vector<HostRecord> records(std::begin(kRecords), std::end(kRecords));
    return records;
}

std::vector<std::string> host_record_mismatches(const Program& program) {
    std::vector<std::string> out;
    for (const HostRecord& r : kRecords)
        if (const CClass* c = class_by_name(program.classes, r.name)) {
            if (r.use == ByName) check_by_name(r, c, out);
            else check_in_order(r, c, out);
        }
    return out;
}

bool check_host_records(const Program& program, LoadReport& report) {
    std::vector<std::string> problems = host_record_mismatches(program);
    return problems.empty() || report.fail(0, problems.front());
}

}  // namespace qel
