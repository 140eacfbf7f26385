#include "image/image_parser.h"

#include <cstdlib>
#include <cstring>

#include "image/assembler.h"
#include "types/datetime.h"
#include "base/name_hash.h"
#include "types/class_registry.h"

namespace qel {

namespace {

ProcRegistrar g_register_proc = nullptr;

bool is(const char* token, const char* word) { return std::strcmp(token, word) == 0; }

int32_t decimal(const char* s) { return static_cast<int32_t>(std::strtol(s, nullptr, 10)); }

// ---- manifest ----

bool parse_manifest(ParseState& ps) {
    LineReader& r = ps.reader;
    Manifest& m = ps.program.manifest;
    r.set_split(LineReader::kSplitDot | LineReader::kSplitComma | LineReader::kSplitSpace);
    while (!r.end_of_text()) {
        char* key = r.next();
        if (is(key, "[/MANIFEST]")) return true;
        WStr* target = is(key, "project:name")      ? &m.name
                       : is(key, "project:title")   ? &m.title
                       : is(key, "project:company") ? &m.company
                       : is(key, "project:version") ? &m.version
                                                    : nullptr;
        bool date = is(key, "project:date");
        if (!target && !date) continue;  // unknown keys are skipped token by token
        const char* value = r.next_quoted();
        if (target) {
            target->assign_narrow(value);
        } else {
            double d = 0;
            if (parse_iso8601(value, &d)) m.date = d;
        }
    }
    return true;
}

// ---- metadata ----

char* copy(const char* s) { return strdup(s); }

void add_member(ParseState& ps, CClass* c, const char* kind_text) {
    LineReader& r = ps.reader;
    const char* access = r.next();
    const char* code = r.next();
    const char* type_name = r.next();
    const char* name = r.next();
    auto* m = static_cast<CMember*>(std::calloc(1, sizeof(CMember)));
    m->access = static_cast<uint8_t>(decimal(access));
    m->type = static_cast<uint8_t>(code[0]);
    m->address = -1;
    if (CType* t = type_by_name(ps.program.types, type_name)) {
        m->kind = kMemberVar;
        m->info = t;
    } else if (CEnum* e = enum_by_name(ps.program.enums, type_name)) {
        m->kind = kMemberEnum;
        m->info = e;
    } else {
        m->kind = kMemberObject;
        m->info = class_by_name(ps.program.classes, type_name);
    }
    m->name = copy(name);
    if (is(kind_text, "1")) {
        const char* read = r.next();
        const char* write = r.next();
        const char* def = r.next();
        auto accessor = [](const char* n) -> CPropAttrib* {
            if (is(n, "0")) return nullptr;
            auto* a = static_cast<CPropAttrib*>(std::calloc(1, sizeof(CPropAttrib)));
            a->name = strdup(n);
            return a;
        };
        m->read = accessor(read);
        m->write = accessor(write);
        if (!is(def, "n")) {
            m->default_value = static_cast<int32_t*>(std::malloc(sizeof(int32_t)));
            *m->default_value = decimal(def);
        }
        if (!c->properties) c->properties = ptr_list_create();
        c->properties->add(m);
    } else {
        const char* len = r.next();
        m->array_length = is(len, "new") ? -1 : decimal(len);
        c->fields->add(m);
        if (m->type == kTypeString) {
            if (!c->ofields) c->ofields = ptr_list_create();
            c->ofields->add(m);
        }
    }
}

// A class or struct line; a base that names nothing declared so far is reported and dropped.
CClass* declare_class(ParseState& ps, const char* name, const char* base, bool is_struct, bool internal) {
    CClass* c = add_class(ps.program.classes, name, base, is_struct, internal);
    if (has_base(name, base) && !c->base_class)
        ps.report.note(10, std::string("Undefined base class <") + base + "> for <" + name + ">");
    return c;
}

bool parse_metadata(ParseState& ps) {
    LineReader& r = ps.reader;
    Program& prog = ps.program;
    r.set_split(LineReader::kSplitSpace);
    enum { kNone, kClassBlock, kEnumBlock } block = kNone;
    CClass* cls = nullptr;
    CEnum* en = nullptr;
    while (!r.end_of_text()) {
        const int line = ps.line();
        char* t = r.next();
        if (is(t, "[/METADATA]")) {
            std::string why;
            if (!layout_all(prog.classes, &why)) return ps.fail(line, why);
            return true;
        }
        if (is(t, "unit")) {
            prog.units.id_of(r.next());
        } else if (is(t, "class")) {
            const char* name = r.next();
            const char* base = r.next();
            const char* internal = r.next();
            const char* unit = r.next();
            cls = declare_class(ps, name, base, false, decimal(internal) != 0);
            cls->unit_id = static_cast<int16_t>(prog.units.id_of(unit));
            cls->size = 0;
            cls->methods = ptr_list_create();
            block = kClassBlock;
        } else if (is(t, "struct")) {
            const char* name = r.next();
            const char* base = r.next();
            const char* unit = r.next();
            cls = declare_class(ps, name, base, true, false);
            cls->unit_id = static_cast<int16_t>(prog.units.id_of(unit));
            block = kClassBlock;
        } else if (is(t, "enum")) {
            const char* name = r.next();
            const char* code = r.next();
            const char* unit = r.next();
            en = static_cast<CEnum*>(std::calloc(1, sizeof(CEnum)));
            en->name = copy(name);
            en->type = static_cast<uint8_t>(code[0]);
            en->unit_id = static_cast<int16_t>(prog.units.id_of(unit));
            en->members = ptr_list_create();
            prog.enums.add(en);
            block = kEnumBlock;
        } else if (is(t, "type")) {
            const char* code = r.next();
            const char* name = r.next();
            const char* base = r.next();
            const char* unit = r.next();
            auto* ty = static_cast<CType*>(std::calloc(1, sizeof(CType)));
            ty->short_name = static_cast<uint8_t>(code[0]);
            ty->size = static_cast<uint8_t>(size_of_code(code[0]));
            ty->unit_id = static_cast<int16_t>(prog.units.id_of(unit));
            ty->name = copy(name);
            ty->base_type = is(base, name) ? ty : type_by_name(prog.types, base);
            prog.types.add(ty);
            block = kNone;
        } else if (is(t, "proc")) {
            const char* name = r.next();
            const char* ret = r.next();
            const char* params = r.next();
            const char* word = r.next();
            bool late = is(word, "late");
            const char* library = late ? r.next() : word;
            const char* conv = r.next();
            int convention = is(conv, "stdcall") ? kStdCall : is(conv, "cdecl") ? kCdecl : -1;
            if (convention >= 0)
                (g_register_proc ? g_register_proc : register_proc)(prog.procs, library, name, ret[0],
                                                                   is(params, "n") ? "" : params,
                                                                   static_cast<uint8_t>(convention), late);
            block = kNone;
        } else if (block == kEnumBlock) {
            const char* value = r.next();
            auto* m = static_cast<CEnumMember*>(std::calloc(1, sizeof(CEnumMember)));
            m->name = copy(t);
            m->value = decimal(value);
            en->members->add(m);
        } else if (block == kClassBlock) {
            add_member(ps, cls, t);
            auto* last = cls->fields->count ? static_cast<CMember*>((*cls->fields)[cls->fields->count - 1]) : nullptr;
            if (last && (last->array_length < -1 || last->array_length > 0x3FFFFFF))
                return ps.fail(line, std::string("field '") + last->name + "' has an invalid array length");
        }
        // Anything else outside a block is ignored token by token.
    }
    return ps.fail(ps.reader.lineno, "metadata without [/METADATA]");
}

// ---- resources ----

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parse_resource(ParseState& ps) {
    LineReader& r = ps.reader;
    r.set_split(0);
    const int name_line = ps.line();
    const char* name = r.next();
    const int hex_line = ps.line();
    const char* hex = r.next();
    const int end_line = ps.line();
    const char* end = r.next();
    if (!is(end, "[/RESOURCE]")) return ps.fail(end_line, "resource block without [/RESOURCE]");
    size_t digits = std::strlen(hex);
    if (digits % 2) return ps.fail(hex_line, "resource data with an odd number of hexadecimal digits");
    auto* rec = static_cast<ResourceRec*>(std::calloc(1, sizeof(ResourceRec)));
    rec->name = copy(name);
    rec->size = static_cast<uint32_t>(digits / 2);
    rec->data = static_cast<uint8_t*>(std::malloc(rec->size ? rec->size : 1));
    ps.program.code.resources.add(rec);
    for (uint32_t i = 0; i < rec->size; ++i) {
        int hi = hex_digit(hex[2 * i]), lo = hex_digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return ps.fail(hex_line, "resource data with a character that is not hexadecimal");
        rec->data[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    (void)name_line;
    return true;
}

}  // namespace

void set_proc_registrar(ProcRegistrar registrar) { g_register_proc = registrar; }

bool parse_image(Program& prog, char* text, LoadReport& report) {
    ParseState ps{prog, LineReader{}, nullptr, report};
    prog.code.first = static_cast<Instruction*>(std::calloc(1, sizeof(Instruction)));
    ps.current = prog.code.first;
    LineReader& r = ps.reader;
    r.start(text);
    char* t = r.next();
    for (;;) {
        const int line = r.lineno;
        bool ok = true;
        if (is(t, "[MANIFEST]")) {
            ok = parse_manifest(ps);
        } else if (is(t, "[METADATA]")) {
            ok = parse_metadata(ps);
        } else if (is(t, "[SOURCE]")) {
            ok = assemble_source(ps);
        } else if (is(t, "[RESOURCE]")) {
            ok = parse_resource(ps);
        } else if (t[0] == 0) {
            break;
        } else {
            return ps.fail(line, std::string("unexpected text '") + t + "' between sections");
        }
        if (!ok) return false;
        if (r.end_of_text()) break;
        r.set_split(0);
        t = r.next();
    }
    ps.current->next = nullptr;
    bind_accessors(prog.classes);
    return resolve_operands(prog, report);
}

}  // namespace qel
