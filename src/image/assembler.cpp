// Source blocks: one Instruction per line through the opcode table, method headers into method
// records, and the resolution of branch operands as each method ends and of call operands as soon
// as their method is known.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/assembler.h"

#include "base/message_pieces.h"
#include "base/name_hash.h"
#include "base/utf.h"
#include "image/image_parser.h"
#include "image/opcodes.h"
#include "types/class_registry.h"

namespace qel {

namespace {

BuiltinResolver g_resolve_builtin = nullptr;
MethodPreparer g_prepare_method = nullptr;

// A failure's message put together out of line, so that the assembler's loop stays small.
template <typename... Pieces>
[[gnu::cold, gnu::noinline]] bool fail_with(ParseState& ps, int line, Pieces... pieces) {
    return ps.fail(line, message_of(pieces...));
}

// A 64-bit integer literal: decimal (signed) or, when the second character is 'x', hexadecimal.
bool parse_integer(const char* s, int64_t* out) {
    if (!*s) return false;
    // Short decimals, the most common operands, without the C library and in 32 bits.
    if (s[0] >= '0' && s[0] <= '9' && s[1] != 'x') {
        uint32_t v = 0;
        int n = 0;
        for (; n < 9 && s[n] >= '0' && s[n] <= '9'; ++n) v = v * 10 + static_cast<uint32_t>(s[n] - '0');
        if (!s[n]) {
            *out = v;
            return true;
        }
    }
    char* end = nullptr;
    errno = 0;
    if (s[0] && s[1] == 'x')
        *out = static_cast<int64_t>(std::strtoull(s, &end, 16));
    else
        *out = std::strtoll(s, &end, 10);
    return end && *end == 0 && errno == 0;
}

// Up to nine decimal digits (n of them), the usual variable index or count, read in place.
inline bool small_decimal(const char* s, uint32_t n, int32_t* out) {
    if (n - 1 >= 9) return false;
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t d = static_cast<uint32_t>(static_cast<unsigned char>(s[i])) - '0';
        if (d > 9) return false;
        v = v * 10 + d;
    }
    *out = static_cast<int32_t>(v);
    return true;
}

bool parse_int32(const char* s, int32_t* out) {
    int64_t v;
    if (!parse_integer(s, &v) || v < INT32_MIN || v > INT32_MAX) return false;
    *out = static_cast<int32_t>(v);
    return true;
}


// Where a short text of n bytes is kept among those met before (see ParseState).
uint32_t shared_slot(const char* text, uint32_t n) {
    uint32_t h = 2166136261u;
    for (uint32_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(text[i])) * 16777619u;
    return (h * 0x9E3779B1u) >> 24;  // the top byte: ParseState::kSharedTexts slots
}

// The text of an ldstr (n bytes of UTF-8) in the code store's arena: it is only ever read, and it
// lives as long as the instruction. ASCII text keeps its bytes, other text its UTF-16 units (n
// bytes never make more than n units). Equal short ASCII texts share one.
[[gnu::noinline]] Literal* literal(ParseState& ps, const char* text, uint32_t n) {
    CodeStore& code = ps.program.code;
    uint32_t ascii = 0;
    while (ascii < n && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    if (ascii == n) {
        Literal** shared = n <= ParseState::kShortText ? &ps.short_literals[shared_slot(text, n)] : nullptr;
        if (shared && *shared && (*shared)->length == n && std::memcmp((*shared)->bytes(), text, n) == 0) return *shared;
        auto* lit = static_cast<Literal*>(code.take(sizeof(Literal) + n + 1, alignof(Literal)));
        lit->length = n;
        lit->narrow = 1;
        std::memcpy(lit + 1, text, n);
        if (shared) *shared = lit;
        return lit;
    }
    auto* lit = static_cast<Literal*>(code.take(sizeof(Literal) + (n + 1) * sizeof(WChar), alignof(Literal)));
    auto* units = reinterpret_cast<WChar*>(lit + 1);
    lit->length = static_cast<uint32_t>(utf8_to_utf16(text, static_cast<int>(n), units, static_cast<int>(n)));
    return lit;
}

// "[a:1][m:2][p:04][r:i][v:pppibttp]" at fixed positions.
bool parse_header(ParseState& ps, const char* h, MethodRecord* m, int32_t* params) {
    size_t len = std::strlen(h);
    if (len < 25 || len - 25 > 32) return false;
    if (std::strncmp(h, "[a:", 3) || h[4] != ']' || std::strncmp(h + 5, "[m:", 3) || h[9] != ']' ||
        std::strncmp(h + 10, "[p:", 3) || h[15] != ']' || std::strncmp(h + 16, "[r:", 3) || h[20] != ']' ||
        std::strncmp(h + 21, "[v:", 3) || h[len - 1] != ']')
        return false;
    if (h[3] < '0' || h[3] > '9' || h[8] < '0' || h[8] > '9') return false;
    int hi = hex_digit(h[13]), lo = hex_digit(h[14]);
    if (hi < 0 || lo < 0) return false;
    m->access = static_cast<uint8_t>(h[3] - '0');
    m->modifier = static_cast<uint8_t>(h[8] - '0');
    m->type = static_cast<uint8_t>(h[19]);
    m->var_counts = static_cast<uint8_t>(len - 25);
    *params = hi * 16 + lo;
    if (*params > m->var_counts) return false;
    // Methods of the same variables share their list.
    const uint32_t n = m->var_counts;
    char*& shared = ps.var_types[shared_slot(h + 24, n)];
    if (shared && std::strncmp(shared, h + 24, n) == 0 && shared[n] == 0) {
        m->var_types = shared;
        return true;
    }
    m->var_types = shared = static_cast<char*>(ps.program.code.take(n + 1u, 1));
    std::memcpy(m->var_types, h + 24, n);
    m->var_types[n] = 0;
    return true;
}

// A method line: its full name (copied) and its header text (read in place).
[[gnu::noinline]] bool method_header(ParseState& ps, Instruction* ins, int line, char* name, const char* header) {
    Program& prog = ps.program;
    auto* m = static_cast<MethodRecord*>(prog.code.take(sizeof(MethodRecord)));
    int32_t params = 0;
    if (!header || !parse_header(ps, header, m, &params)) {
        return fail_with(ps, line, "method header '", header ? header : "",
                         "' does not have the form [a:N][m:N][p:XX][r:C][v:CODES] with at most 32 variables");
    }
    // The method is its line, the record after its opcode's.
    ins->params = static_cast<uint8_t>(params);
    ins[1].set_method(m);
    m->name = name;
    m->hash = name_hash(name);
    m->line = ins + 1;
    prog.code.add_method(m);
    if (const char* colon = std::strchr(name, ':')) {
        char class_name[128];
        size_t n = static_cast<size_t>(colon - name);
        if (n > 127) n = 127;
        std::memcpy(class_name, name, n);
        class_name[n] = 0;
        if (CClass* c = prog.class_index.by_name(class_name)) {
            const char* short_name = colon[1] == ':' ? colon + 2 : colon + 1;
            m->name_hash = name_hash(short_name);
            if (!c->methods) c->methods = ptr_list_create();
            c->methods->add(m);
        }
    }
    return true;
}

// The next token of this line, or "" when the line has ended (never a token of the next line),
// with its length. Out of line: the operands after the first are rare.
[[gnu::noinline]] const char* next_word(LineReader& r, uint32_t* length) {
    if (r.end_of_line()) {
        *length = 0;
        return "";
    }
    const char* t = r.next();
    *length = r.length;
    return t;
}

[[gnu::cold, gnu::noinline]] bool bad_operand(ParseState& ps, int line, const char* what, const char* token,
                                              const OpcodeEntry& e) {
    return fail_with(ps, line, what, " '", token, "' for ", e.mnemonic);
}

// The operand kinds of several tokens, after their first (t, of length bytes).
[[gnu::noinline]] bool read_names(ParseState& ps, Instruction* ins, const OpcodeEntry& e, int line, const char* t,
                                  uint32_t length) {
    LineReader& r = ps.reader;
    using K = OperandKind;
    switch (e.kind) {
        case K::Names: {
            char* name = ps.program.code.copy(t, length);
            const char* second = next_word(r, &length);
            if (e.number == kOp_method) return method_header(ps, ins, line, name, *second ? second : nullptr);
            ins->operand.first_name = name;
            if (*second) ps.program.code.keep_name(ins, ps.program.code.copy(second, length));
            return true;
        }
        case K::ComMember: {
            const char* count = next_word(r, &length);
            size_t n = std::strlen(t);
            auto* w = static_cast<char16_t*>(ps.program.code.take((n + 1) * sizeof(char16_t), alignof(char16_t)));
            for (size_t i = 0; i <= n; ++i) w[i] = static_cast<unsigned char>(t[i]);
            ins->object() = w;
            if (!parse_int32(count, &ins->operand.i)) return bad_operand(ps, line, "bad argument count", count, e);
            return true;
        }
        case K::Field: {
            if (!*t) return true;  // no operand: offset 0
            const char* field = next_word(r, &length);
            CClass* c = ps.program.class_index.by_name(t);
            if (!c) return bad_operand(ps, line, "unknown class", t, e);
            CMember* f = field_of(c, field);
            if (!f) return fail_with(ps, line, "class '", t, "' has no field '", field, "' for ", e.mnemonic);
            ins->operand.member = f;  // for the verifier; linking leaves its offset
            return true;
        }
        case K::Signature: {
            if (!*t) return true;
            const char* b = next_word(r, &length);
            const char* c = next_word(r, &length);
            const char* d = next_word(r, &length);
            ins->operand.i = static_cast<int32_t>(std::strtol(t, nullptr, 10));
            auto* sig = static_cast<VirtualCallSignature*>(ps.program.code.take(sizeof(VirtualCallSignature)));
            sig->convention = static_cast<int16_t>(std::strtol(b, nullptr, 10));
            sig->result = c[0];
            if (d[0] != 'n') {
                sig->labels = ps.program.code.copy(d);
                size_t n = std::strlen(d);
                sig->name_length = static_cast<uint8_t>(n > 255 ? 255 : n);
            }
            ins->object() = sig;
            return true;
        }
        default:
            return fail_with(ps, line, "opcode ", e.mnemonic, " has an unknown operand kind");
    }
}

// Reads the operand of the instruction by its kind. False with a reason on malformed operands.
[[gnu::always_inline]] inline bool read_operand(ParseState& ps, Instruction* ins, const OpcodeEntry& e, int line) {
    LineReader& r = ps.reader;
    const int op = e.number;
    using K = OperandKind;
    if (e.kind == K::None || op == kOp_ldntv) return true;
    if (op == kOp_ldstr) {
        const char* text = r.next_quoted();
        ins->operand.literal = literal(ps, text, r.empty_quote() ? 0 : r.length);
        return true;
    }
    if (op == kOp_lddbl) r.flags &= ~LineReader::kSplitDot;  // "0.5" is one token
    // Every other kind starts with one token.
    uint32_t length = 0;
    const char* t = "";
    if (!r.end_of_line()) {
        t = r.next();
        length = r.length;
    }
    switch (e.kind) {
        case K::Literal: {
            if (op == kOp_lddbl) {
                r.flags |= LineReader::kSplitDot;
                char* end = nullptr;
                ins->set_real(std::strtod(t, &end));
                if (!*t || *end) return bad_operand(ps, line, "bad real number", t, e);
                return true;
            }
            int64_t v;
            if (int32_t small; small_decimal(t, length, &small))
                v = small;
            else if (!parse_integer(t, &v))
                return bad_operand(ps, line, "bad integer", t, e);
            if (op == kOp_ldint)
                ins->operand.i = static_cast<int32_t>(static_cast<uint32_t>(v));
            else
                ins->set_wide(v);
            return true;
        }
        case K::Method: {
            // A method already read is bound now (the first of a NameHash stays the first); the
            // others once every method is known.
            CodeStore& code = ps.program.code;
            ins->operand.target = code.method(name_hash(t));
            if (!ins->operand.target) ps.calls.push_back({ins, code.copy(t, length)});
            return true;
        }
        case K::Hash:
            ps.program.code.keep_name(ins, ps.program.code.copy(t, length));
            ins->operand.u = name_hash(t);
            return true;
        case K::Variable:
        case K::Branch:
        case K::Count: {
            if (!small_decimal(t, length, &ins->operand.i) && !parse_int32(t, &ins->operand.i))
                return bad_operand(ps, line, "bad number", t, e);
            if (e.kind == K::Variable) {
                uint32_t index = op == kOp_inc || op == kOp_dec ? static_cast<uint8_t>(ins->operand.i) : ins->operand.u;
                if (index >= static_cast<uint32_t>(kMaxVariables))
                    return bad_operand(ps, line, "variable index out of range", t, e);
            }
            if (op == kOp_inc && ins->operand.i >= 0 && ins->operand.i <= 8) {
                // inc 0 .. inc 8 become inc_0 .. inc_8 (the operand stays).
                ins->opcode = static_cast<uint8_t>(kOp_inc_0 + ins->operand.i);
            }
            return true;
        }
        case K::TypeSize: {
            CClass* c = ps.program.class_index.by_name(t);
            ins->operand.i = c ? c->size : size_of_basic_type(t);
            ins->object() = c;
            ps.program.code.keep_name(ins, ps.program.code.copy(t, length));
            return true;
        }
        case K::Builtin: {
            BuiltinFn fn = g_resolve_builtin ? g_resolve_builtin(name_hash(t)) : nullptr;
            if (!fn) return bad_operand(ps, line, "unknown built-in", t, e);
            ins->operand.builtin = fn;
            return true;
        }
        default:
            return read_names(ps, ins, e, line, t, length);
    }
}

}  // namespace

void set_builtin_resolver(BuiltinResolver resolver) { g_resolve_builtin = resolver; }
void set_method_preparer(MethodPreparer preparer) { g_prepare_method = preparer; }

namespace {

constexpr OpcodeSet kBranches = opcode_set(kOp_cmp, kOp_jmp, kOp_cmpjmp, kOp_try, kOp_catch);

// A branch counts records from its method's header: when the method ends, its counts become the
// records they name, and the method is prepared for dispatch while its records are still fresh.
[[gnu::noinline]] bool finish_method(ParseState& ps) {
    const std::vector<Instruction*>& body = ps.body;
    for (auto [ins, line] : ps.branches) {
        const int32_t n = ins->operand.i;
        Instruction* target = n <= 0 ? body[0] : static_cast<uint32_t>(n) < body.size() ? body[n] : nullptr;
        if (!target)
            return fail_with(ps, line, "branch target ", n, " of ", opcode_mnemonic(ins->opcode), " lies beyond the end of ",
                             body[0]->method()->name);
        ins->operand.target = target;
    }
    ps.branches.clear();
    if (g_prepare_method && !body.empty()) g_prepare_method(body.data(), body.size());
    return true;
}

// Keeps an assembled record for the resolution of its method's branches and of the calls.
bool track(ParseState& ps, Instruction* ins, int32_t line) {
    const int op = ins->opcode;
    if (op == kOp_method) {
        if (!finish_method(ps)) return false;
        ps.body.clear();
    } else if (kBranches[op]) {
        if (ps.body.empty())
            return fail_with(ps, line, "branch target ", ins->operand.i, " of ", opcode_mnemonic(op), " is outside any method");
        ps.branches.push_back({ins, line});
    }
    if (op == kOp_method || !ps.body.empty()) ps.body.push_back(op == kOp_method ? ins + 1 : ins);
    return true;
}

}  // namespace

// The loop that every source line goes through is kept small (failures and the rare operand kinds
// are out of line) and starts a page of its own: qemu, which runs the Linux host in development
// and in the benchmarks, links its translated blocks directly only within a page, so a loop spread
// over pages pays a lookup at every jump between them (measured: 9% of the load of a large image).
[[gnu::aligned(4096)]] bool assemble_source(ParseState& ps) {
    LineReader& r = ps.reader;
    r.set_split(LineReader::kSplitDot | LineReader::kSplitComma | LineReader::kSplitSpace);
    ps.current->opcode = kOpNone;
    while (!r.end_of_text()) {
        const int line = ps.line();
        const char* mnemonic = r.next();
        if (mnemonic[0] == '[' && token_is(mnemonic, "[/SOURCE]")) return true;
        const OpcodeEntry* e = opcode_by_mnemonic(mnemonic, r.length);
        if (!e) return fail_with(ps, line, "unknown mnemonic '", mnemonic, "'");
        Instruction* ins = ps.current;
        if (kWideRecords[e->number]) ins = ps.current = ps.program.code.widen(ins);
        ins->opcode = static_cast<uint8_t>(e->number);
        const int32_t lineno = r.lineno;
        if (!read_operand(ps, ins, *e, line)) return false;
        ins->dispatch = ins->opcode;
        if (!r.end_of_line())
            return fail_with(ps, line, "unexpected operand '", r.next(), "' after ", e->mnemonic);
        if (ins->opcode == kOp_method)
            ins[1].lineno = lineno;
        else if (line != ps.last_line + 1 || lineno != usual_lineno(line, ins->opcode))
            ps.program.code.mark_line(ins, {lineno, line});
        ps.last_line = line;
        if (!track(ps, ins, line)) return false;
        ps.current = ps.program.code.new_instruction();
    }
    return ps.fail(ps.reader.lineno, "source block without [/SOURCE]");
}

bool resolve_operands(ParseState& ps) {
    // The empty record that ends the chain counts as one of the last method's records.
    if (!ps.body.empty()) ps.body.push_back(ps.current);
    if (!finish_method(ps)) return false;
    CodeStore& code = ps.program.code;
    // A call that names no method keeps the name for its error.
    for (auto [ins, name] : ps.calls)
        if (!(ins->operand.target = code.method(name))) code.keep_name(ins, name);
    return true;
}

}  // namespace qel
