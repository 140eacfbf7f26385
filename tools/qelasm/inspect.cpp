#include "qelasm/inspect.h"

#include <cstdio>
#include <memory>

#include "host/host_records.h"
#include "image/image_parser.h"
#include "image/verifier.h"
#include "qelasm/authoring.h"
#include "types/class_registry.h"
#include "vm/runtime.h"

namespace qelasm {

namespace {

struct Parsed {
    std::unique_ptr<qel::Runtime> rt;
    qel::LoadReport report;
    std::string text;
    bool ok = false;
};

// The image's program as loading builds it, without linking or running anything.
bool parse_file(const std::string& path, Parsed& p, std::string* error) {
    if (!read_image(path, &p.text, error)) return false;
    if (p.text.empty() || p.text.back() != '\0') p.text.push_back('\0');
    p.rt = std::make_unique<qel::Runtime>();
    p.ok = qel::parse_image(p.rt->program, p.text.data(), p.report);
    return true;
}

const char* unit_name(const qel::Program& prog, int id) {
    const char* n = prog.units.name_of(id);
    return n ? n : "?";
}

void print_class(const qel::Program& prog, const qel::CClass* c) {
    std::printf("%s %s", c->is_struct ? "struct" : c->internal_class ? "native class" : "class", c->name ? c->name : "");
    if (c->base_class) std::printf(" : %s", c->base_class->name);
    std::printf("  (%d bytes, unit %s)\n", c->size, unit_name(prog, c->unit_id));
    for (int32_t i = 0; c->fields && i < c->fields->count; ++i) {
        auto* f = static_cast<const qel::CMember*>((*c->fields)[i]);
        const int element = qel::size_of_code(static_cast<char>(f->type));
        int size = f->array_length > 0 ? element * f->array_length : element;
        if (f->array_length == -1 && f->kind == qel::kMemberObject && f->info)
            size = static_cast<const qel::CClass*>(f->info)->size;
        std::printf("  %+6d %5d  %c %s", f->address, size, f->type, f->name);
        if (f->array_length > 0) std::printf("[%d]", f->array_length);
        if (f->array_length == -1) std::printf(" (embedded)");
        std::printf("\n");
    }
    for (int32_t i = 0; c->properties && i < c->properties->count; ++i) {
        auto* p = static_cast<const qel::CMember*>((*c->properties)[i]);
        std::printf("  property %c %s read %s write %s\n", p->type, p->name, p->read ? p->read->name : "-",
                    p->write ? p->write->name : "-");
    }
}

// Loads the image for verify and inspect; false (after saying why) when it cannot be read or
// its load is refused.
bool load_for_report(const std::string& path, Parsed& p) {
    std::string error;
    if (!parse_file(path, p, &error)) {
        std::fprintf(stderr, "qelasm: %s\n", error.c_str());
        return false;
    }
    if (!p.ok) {
        std::printf("%s:%d: refused: %s\n", path.c_str(), p.report.line, p.report.what.c_str());
        return false;
    }
    return true;
}

}  // namespace

int verify(const std::string& path) {
    Parsed p;
    if (!load_for_report(path, p)) return 1;
    int refused = 0;
    for (const qel::VerifyProblem& v : qel::verify_program(p.rt->program)) {
        std::printf("%s:%d: %s: %s\n", path.c_str(), v.line, v.refused ? "refused" : "note", v.what.c_str());
        refused += v.refused;
    }
    for (const std::string& m : qel::host_record_mismatches(p.rt->program)) {
        std::printf("%s: refused: %s\n", path.c_str(), m.c_str());
        ++refused;
    }
    return refused ? 1 : 0;
}

int inspect(const std::string& path) {
    Parsed p;
    if (!load_for_report(path, p)) return 1;
    const qel::Program& prog = p.rt->program;
    for (int32_t i = 0; i < prog.classes.count; ++i) print_class(prog, static_cast<const qel::CClass*>(prog.classes[i]));
    for (int32_t i = 0; i < prog.code.methods.count; ++i) {
        auto* m = static_cast<const qel::MethodRecord*>(prog.code.methods[i]);
        std::printf("method %s  [a:%d][m:%d][p:%02X][r:%c][v:%s]  line %d\n", m->name, m->access, m->modifier,
                    m->line->param_count(), m->type ? m->type : '?', m->var_types, m->line->lineno);
    }
    for (int32_t i = 0; i < prog.procs.procs.count; ++i) {
        auto* pr = static_cast<const qel::CLibProc*>(prog.procs.procs[i]);
        std::printf("proc %s %c(%s) %s %s%s\n", pr->name, pr->return_type, pr->param_labels,
                    pr->library ? pr->library->name : "asm", pr->type == qel::kCdecl ? "cdecl" : "stdcall",
                    pr->late ? " late" : "");
    }
    return 0;
}

}  // namespace qelasm
