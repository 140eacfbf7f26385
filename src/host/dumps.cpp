// The texts of error reports: instruction report, frame dump, value texts.
#include <cinttypes>
#include <cstdio>

#include "host/error_report.h"
#include "vm/runtime.h"
#include "image/instruction.h"
#include "image/opcodes.h"
#include "vm/frame.h"
#include "types/type_codes.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {
constexpr const char* kSeparator = "________________________________________________________\r\n";

void append_int(WStr& out, int64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%" PRId64, v);
    out.append_narrow(buf);
}

void append_double(WStr& out, double d, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, d);
    out.append_narrow(buf);
}

void append_quoted(WStr& out, const WStr& text) {
    out.append_narrow("\"");
    out.append(text);
    out.append_narrow("\"");
}

const char* method_name(const Frame* f) {
    return f && f->method && f->method->method() ? f->method->method()->name : "";
}
}  // namespace

void value_text(const Value& v, WStr& out) {
    out.append_narrow("(");
    out.append_narrow(type_name_of_tag(v.tag));
    out.append_narrow(") ");
    switch (v.tag) {
        case kTagBool: out.append_narrow(v.v.i ? "true" : "false"); break;
        case kTagInt:
        case kTagPointer:
        case kTagDispatch:
        case kTagUnknown: append_int(out, v.v.i); break;
        case kTagDouble: append_double(out, v.v.d, 15); break;
        case kTagLong: append_int(out, v.v.l); break;
        case kTagString: append_quoted(out, v.text); break;
        default: break;
    }
}

void variable_text(const Frame* f, int index, WStr& out) {
    const char code = f->var_codes[index];
    const void* slot = &f->vars[index];
    out.append_narrow("(");
    out.append_narrow(type_name_of_code(code));
    out.append_narrow(") ");
    const TypeInfo* t = type_info(code);
    switch (t ? t->cell : Cell::None) {
        case Cell::Bool: out.append_narrow(*static_cast<const uint8_t*>(slot) ? "true" : "false"); break;
        case Cell::Char: append_int(out, *static_cast<const uint16_t*>(slot)); break;
        case Cell::Byte: append_int(out, *static_cast<const int8_t*>(slot)); break;
        case Cell::Short: append_int(out, *static_cast<const int16_t*>(slot)); break;
        case Cell::Int:
        case Cell::Pointer: append_int(out, *static_cast<const int32_t*>(slot)); break;
        case Cell::Double: append_double(out, *static_cast<const double*>(slot), 15); break;
        case Cell::Float: append_double(out, *static_cast<const float*>(slot), 10); break;
        case Cell::Long: append_int(out, *static_cast<const int64_t*>(slot)); break;
        case Cell::String: {
            const WStr* text = *static_cast<WStr* const*>(slot);
            append_quoted(out, text ? *text : WStr{});
            break;
        }
        case Cell::Method:
        case Cell::None: break;
    }
}

void frame_dump(const Frame* f, WStr& out, bool with_stack) {
    out.append_narrow("\r\n{");
    out.append_narrow(method_name(f));
    out.append_narrow("} Local - {");
    append_int(out, f->var_count);
    out.append_narrow("} item(s);\r\n");
    const int params = f->method ? f->method->param_count() : 0;
    for (int i = 0; i < f->var_count; ++i) {
        out.append_narrow(i < params ? "{a:" : "{v:");
        append_int(out, i < params ? i : i - params);
        out.append_narrow("} : ");
        variable_text(f, i, out);
        out.append_narrow("\r\n");
    }
    const ValueStack* st = f->stack;
    out.append_narrow(kSeparator);
    out.append_narrow("\r\nStack Values - Stack Entry Index {");
    append_int(out, f->stack_base);
    out.append_narrow("} - {");
    append_int(out, st->count);
    out.append_narrow("} item(s);\r\n");
    if (with_stack) {
        for (int i = 0; i < st->count; ++i) {
            out.append_narrow("{");
            append_int(out, i);
            out.append_narrow("} : ");
            value_text(st->slots[i], out);
            out.append_narrow("\r\n");
        }
    }
    out.append_narrow(kSeparator);
    out.append_narrow("\r\nCall Stack;\r\n");
    for (const Frame* c = f; c; c = c->caller) {
        if (!c->method) continue;
        out.append_narrow("{");
        out.append_narrow(method_name(c));
        out.append_narrow("}\r\n");
    }
}

void instruction_report(Runtime* rt, const Frame* f, const Instruction* at, WStr& out) {
    const int header_line = f->method ? f->method->lineno : 0;
    const OpcodeEntry* op = at ? opcode_by_number(at->opcode) : nullptr;
    out.append_narrow(kSeparator);
    out.append_narrow("Line Number       (");
    append_int(out, header_line);
    out.append_narrow(")\r\nMethod Name       (");
    out.append_narrow(method_name(f));
    out.append_narrow(")\r\nMethod Line       (");
    append_int(out, at && rt ? rt->program.code.place_of(at, f->method).lineno - header_line : 0);
    out.append_narrow(")\r\nOp Codes          (");
    out.append_narrow(op ? op->mnemonic : "");
    out.append_narrow(")\r\n");
    out.append_narrow(kSeparator);
    frame_dump(f, out, true);
}

void fatal_report(Runtime* rt, const WStr& message, const Instruction* at, const Frame* f) {
    if (!rt->system.ErrorReporting) return;
    WStr text{};
    instruction_report(rt, f, at, text);
    text.append_narrow("\r\nException Message;\r\n");
    text.append(message);
    text.append_narrow("\r\n");
    report_error_wide(kErrorFatal, text);
    text.clear();
}

void stack_trace_text(Runtime* rt, const Frame* f, const Instruction* at, const WStr* message, WStr& out) {
    WStr text{};
    instruction_report(rt, f, at, text);
    text.append_narrow("\r\nException Message;\r\n");
    if (message) text.append(*message);
    out.assign(text);
    text.clear();
}

}  // namespace qel
