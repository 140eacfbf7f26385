#include "image/image_parser.h"

#include <cstdlib>
#include <cstring>

#include "image/assembler.h"
#include "image/streamed_text.h"
#include "base/runtime_error.h"
#include "types/datetime.h"
#include "base/name_hash.h"
#include "types/class_registry.h"

namespace qel {

namespace {

ProcRegistrar g_register_proc = nullptr;

int32_t decimal(const char* s) { return static_cast<int32_t>(std::strtol(s, nullptr, 10)); }

// ---- manifest ----

bool parse_manifest(ParseState& ps) {
    LineReader& r = ps.reader;
    Manifest& m = ps.program.manifest;
    r.set_split(LineReader::kSplitDot | LineReader::kSplitComma | LineReader::kSplitSpace);
    while (!r.end_of_text()) {
        char* key = r.next();
        if (token_is(key, "[/MANIFEST]")) return true;
        WStr* target = token_is(key, "project:name")      ? &m.name
                       : token_is(key, "project:title")   ? &m.title
                       : token_is(key, "project:company") ? &m.company
                       : token_is(key, "project:version") ? &m.version
                                                    : nullptr;
        bool date = token_is(key, "project:date");
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

// The tokens after a line's first one, up to the end of the line.
struct Fields {
    const char* at[8];
    int count = 0;
    bool too_many = false;
};

Fields rest_of_line(LineReader& r) {
    Fields f;
    while (!r.end_of_line() && !r.end_of_text()) {
        const char* t = r.next();
        if (f.count < 8) f.at[f.count++] = t;
        else f.too_many = true;
    }
    return f;
}

bool known_type_code(const char* code) { return code[0] && !code[1] && type_info(code[0]); }

// A member line: a field (kind, access, code, type name, name, array length) or a property
// (kind 1, access, code, type name, name, reader, writer, default).
bool add_member(ParseState& ps, int line, CClass* c, const char* kind_text, const Fields& f) {
    const bool property = token_is(kind_text, "1");
    if (f.count != (property ? 7 : 5) || f.too_many)
        return ps.fail(line, std::string(property ? "a property" : "a field") + " line needs " + (property ? "8" : "6") +
                                 " fields separated by single spaces");
    const char* code = f.at[1];
    if (!known_type_code(code)) return ps.fail(line, std::string("member '") + f.at[3] + "' has no known type code: '" + code + "'");
    const char* type_name = f.at[2];
    auto* m = static_cast<CMember*>(std::calloc(1, sizeof(CMember)));
    m->access = static_cast<uint8_t>(decimal(f.at[0]));
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
    m->name = copy(f.at[3]);
    if (property) {
        auto accessor = [](const char* n) -> CPropAttrib* {
            if (token_is(n, "0")) return nullptr;
            auto* a = static_cast<CPropAttrib*>(std::calloc(1, sizeof(CPropAttrib)));
            a->name = strdup(n);
            return a;
        };
        m->read = accessor(f.at[4]);
        m->write = accessor(f.at[5]);
        if (!token_is(f.at[6], "n")) {
            m->default_value = static_cast<int32_t*>(std::malloc(sizeof(int32_t)));
            *m->default_value = decimal(f.at[6]);
        }
        if (!c->properties) c->properties = ptr_list_create();
        c->properties->add(m);
        return true;
    }
    m->array_length = token_is(f.at[4], "new") ? -1 : decimal(f.at[4]);
    c->fields->add(m);
    if (m->type == kTypeString) {
        if (!c->ofields) c->ofields = ptr_list_create();
        c->ofields->add(m);
    }
    if (m->array_length < -1 || m->array_length > 0x3FFFFFF)
        return ps.fail(line, std::string("field '") + m->name + "' has an invalid array length");
    return true;
}

// A class or struct line; a base that names nothing declared so far is reported and dropped.
CClass* declare_class(ParseState& ps, const char* name, const char* base, bool is_struct, bool internal) {
    CClass* c = add_class(ps.program.classes, name, base, is_struct, internal);
    if (has_base(name, base) && !c->base_class)
        ps.report.note(10, std::string("Undefined base class <") + base + "> for <" + name + ">");
    return c;
}

// Every metadata line has exactly its fields, separated by single spaces: a field too few or too
// many would shift every later line.
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
        if (token_is(t, "[/METADATA]")) {
            std::string why;
            if (!layout_all(prog.classes, &why)) return ps.fail(line, why);
            prog.class_index.build(prog.classes);  // the source blocks look classes up by name
            return true;
        }
        const Fields f = rest_of_line(r);
        auto fields = [&](int n, const char* what) {
            if (f.count == n && !f.too_many) return true;
            return ps.fail(line, std::string("a ") + what + " line needs " + std::to_string(n) +
                                     " fields after its keyword, separated by single spaces");
        };
        if (token_is(t, "unit")) {
            if (!fields(1, "unit")) return false;
            prog.units.id_of(f.at[0]);
        } else if (token_is(t, "class")) {
            if (!fields(4, "class")) return false;
            cls = declare_class(ps, f.at[0], f.at[1], false, decimal(f.at[2]) != 0);
            cls->unit_id = static_cast<int16_t>(prog.units.id_of(f.at[3]));
            cls->size = 0;
            cls->methods = ptr_list_create();
            block = kClassBlock;
        } else if (token_is(t, "struct")) {
            if (!fields(3, "struct")) return false;
            cls = declare_class(ps, f.at[0], f.at[1], true, false);
            cls->unit_id = static_cast<int16_t>(prog.units.id_of(f.at[2]));
            block = kClassBlock;
        } else if (token_is(t, "enum")) {
            if (!fields(3, "enum")) return false;
            en = static_cast<CEnum*>(std::calloc(1, sizeof(CEnum)));
            en->name = copy(f.at[0]);
            en->type = static_cast<uint8_t>(f.at[1][0]);
            en->unit_id = static_cast<int16_t>(prog.units.id_of(f.at[2]));
            en->members = ptr_list_create();
            prog.enums.add(en);
            block = kEnumBlock;
        } else if (token_is(t, "type")) {
            if (!fields(4, "type")) return false;
            if (!known_type_code(f.at[0]))
                return ps.fail(line, std::string("type '") + f.at[1] + "' has no known type code: '" + f.at[0] + "'");
            const char* name = f.at[1];
            auto* ty = static_cast<CType*>(std::calloc(1, sizeof(CType)));
            ty->short_name = static_cast<uint8_t>(f.at[0][0]);
            ty->size = static_cast<uint8_t>(size_of_code(f.at[0][0]));
            ty->unit_id = static_cast<int16_t>(prog.units.id_of(f.at[3]));
            ty->name = copy(name);
            ty->base_type = token_is(f.at[2], name) ? ty : type_by_name(prog.types, f.at[2]);
            prog.types.add(ty);
            block = kNone;
        } else if (token_is(t, "proc")) {
            const bool late = f.count == 6 && token_is(f.at[3], "late");
            if (!fields(late ? 6 : 5, "proc")) return false;
            const char* library = f.at[late ? 4 : 3];
            const char* conv = f.at[late ? 5 : 4];
            int convention = token_is(conv, "stdcall") ? kStdCall : token_is(conv, "cdecl") ? kCdecl : -1;
            if (convention >= 0)
                (g_register_proc ? g_register_proc : register_proc)(prog.procs, library, f.at[0], f.at[1][0],
                                                                   token_is(f.at[2], "n") ? "" : f.at[2],
                                                                   static_cast<uint8_t>(convention), late);
            block = kNone;
        } else if (block == kEnumBlock) {
            if (!fields(1, "enum member")) return false;
            auto* m = static_cast<CEnumMember*>(std::calloc(1, sizeof(CEnumMember)));
            m->name = copy(t);
            m->value = decimal(f.at[0]);
            en->members->add(m);
        } else if (block == kClassBlock) {
            if (!add_member(ps, line, cls, t, f)) return false;
        }
        // Any other line outside a block is ignored.
    }
    return ps.fail(ps.reader.lineno, "metadata without [/METADATA]");
}

// ---- resources ----


// The name and the data are taken out of their lines as soon as they are read: the text of a line
// need not outlast the reading of the next one.
bool parse_resource(ParseState& ps) {
    LineReader& r = ps.reader;
    r.set_split(0);
    char* name = copy(r.next());
    const int hex_line = ps.line();
    const char* hex = r.next();
    const size_t digits = r.length;
    const uint32_t size = static_cast<uint32_t>(digits / 2);
    auto* data = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    bool hexadecimal = true;
    for (uint32_t i = 0; data && i < size && hexadecimal; ++i) {
        int hi = hex_digit(hex[2 * i]), lo = hex_digit(hex[2 * i + 1]);
        hexadecimal = hi >= 0 && lo >= 0;
        if (hexadecimal) data[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    const int end_line = ps.line();
    const char* end = r.next();
    const bool closed = token_is(end, "[/RESOURCE]");
    if (!closed || digits % 2 || !data || !name) {
        std::free(name);
        std::free(data);
        if (!closed) return ps.fail(end_line, "resource block without [/RESOURCE]");
        if (digits % 2) return ps.fail(hex_line, "resource data with an odd number of hexadecimal digits");
        raise_runtime_error("Out of memory");
    }
    auto* rec = static_cast<ResourceRec*>(std::calloc(1, sizeof(ResourceRec)));
    rec->name = name;
    rec->size = size;
    rec->data = data;
    ps.program.code.resources.add(rec);
    if (!hexadecimal) return ps.fail(hex_line, "resource data with a character that is not hexadecimal");
    return true;
}

}  // namespace

void set_proc_registrar(ProcRegistrar registrar) { g_register_proc = registrar; }

namespace {
// The section loop, from the reader's first token to the end of the text.
bool parse_sections(ParseState& ps) {
    Program& prog = ps.program;
    LineReader& r = ps.reader;
    char* t = r.next();
    for (;;) {
        const int line = r.lineno;
        bool ok = true;
        if (token_is(t, "[MANIFEST]")) {
            ok = parse_manifest(ps);
        } else if (token_is(t, "[METADATA]")) {
            ok = parse_metadata(ps);
        } else if (token_is(t, "[SOURCE]")) {
            ok = assemble_source(ps);
        } else if (token_is(t, "[RESOURCE]")) {
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
    bind_accessors(prog.classes);
    prog.class_index.build(prog.classes);
    return resolve_operands(ps);
}
}  // namespace

bool parse_image(Program& prog, char* text, LoadReport& report) {
    ParseState ps{prog, LineReader{}, nullptr, report, {}, {}, {}};
    prog.code.first = ps.current = prog.code.new_instruction();
    ps.reader.start(text);
    return parse_sections(ps);
}

bool parse_image(Program& prog, StreamedText& text, LoadReport& report) {
    ParseState ps{prog, LineReader{}, nullptr, report, {}, {}, {}};
    prog.code.first = ps.current = prog.code.new_instruction();
    text.start(ps.reader);
    return parse_sections(ps);
}

}  // namespace qel
