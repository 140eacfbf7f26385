#include "image/verifier.h"

#include <array>
#include <unordered_map>

#include "base/message_pieces.h"
#include "image/opcodes.h"
#include "types/descriptors.h"

namespace qel {

namespace {

// The typed families run in this suffix order: int lng ntv ptr chr byt shrt dbl flt bln str mtd.
constexpr char kSuffixCodes[12] = {'i', 'l', 'n', 'p', 'c', 'e', 'm', 'd', 'f', 'b', 's', 't'};
static_assert(kOp_ldvmtd - kOp_ldvint == 11 && kOp_stvmtd - kOp_stvint == 11 && kOp_ldpmtd - kOp_ldpint == 11 &&
              kOp_stpmtd - kOp_stpint == 11);

// What the verifier needs of each opcode, by number: which check applies, the type code a typed
// load or store works with (or 0), whether it stores, and whether it changes its variable.
enum class Check : uint8_t { None, IncN, Variable, Field, Branch, TypeSize };
struct Family {
    Check check;
    char code;
    bool store;
    bool changes;
};
constexpr std::array<Family, kOpcodeCount + 1> build_families() {
    std::array<Family, kOpcodeCount + 1> t{};
    for (int first : {kOp_ldvint, kOp_stvint, kOp_ldpint, kOp_stpint})
        for (int k = 0; k < 12; ++k) {
            const bool store = first == kOp_stvint || first == kOp_stpint;
            t[first + k] = {Check::None, kSuffixCodes[k], store, store};
        }
    for (int op = 1; op <= kOpcodeCount; ++op) {
        switch (kOpcodeTable[op - 1].kind) {
            case OperandKind::Variable: t[op].check = Check::Variable; break;
            case OperandKind::Field: t[op].check = Check::Field; break;
            case OperandKind::Branch: t[op].check = Check::Branch; break;
            case OperandKind::TypeSize: t[op].check = Check::TypeSize; break;
            default: break;
        }
    }
    for (int op = kOp_inc_0; op <= kOp_inc_9; ++op) t[op].check = Check::IncN;
    for (int op : {kOp_inc, kOp_dec, kOp_exc}) t[op].changes = true;
    for (int op = kOp_inc_0; op <= kOp_inc_9; ++op) t[op].changes = true;
    return t;
}
constexpr auto kFamilies = build_families();

const Family& family_of(int op) {
    static constexpr Family kNone{};
    return op >= 0 && op <= kOpcodeCount ? kFamilies[op] : kNone;
}

// Codes that hold the same bits the same way.
bool same_kind(char a, char b) {
    auto norm = [](char c) { return c == 'n' ? 'i' : c == 'm' ? 'c' : c; };
    return norm(a) == norm(b);
}

class Verifier {
public:
    explicit Verifier(std::vector<VerifyProblem>& out) : out_(out) {}

    void run(const Program& program) {
        code_ = &program.code;
        for (int32_t i = 0; i < program.classes.count; ++i) {
            auto* c = static_cast<const CClass*>(program.classes[i]);
            for (int32_t k = 0; c->fields && k < c->fields->count; ++k) owners_[static_cast<const CMember*>((*c->fields)[k])] = c;
        }
        for (const Instruction* ins = program.code.first; ins; ins = after(ins)) {
            if (ins->opcode == kOp_method) {
                end_method();
                header_ = ins + 1;  // the method's line
                last_ = nullptr;
            } else if (ins->opcode != kOpNone) {
                if (header_ && family_of(ins->opcode).check != Check::None) instruction(ins);
                last_ = ins;
            }
        }
        end_method();
    }

private:
    int source_line(const Instruction* ins) const { return code_->place_of(ins, header_).line; }
    // A problem's text is put together out of line from its pieces (texts, numbers and type
    // codes), so that the walk over every record stays small.
    template <typename... Pieces>
    [[gnu::cold, gnu::noinline]] void problem(bool refused, const Instruction* ins, Pieces... pieces) {
        out_.push_back({source_line(ins), refused, message_of(pieces...)});
    }
    template <typename... Pieces>
    void refuse(const Instruction* ins, Pieces... pieces) { problem(true, ins, pieces...); }
    template <typename... Pieces>
    void note(const Instruction* ins, Pieces... pieces) { problem(false, ins, pieces...); }

    static const char* mnemonic(const Instruction* ins) { return opcode_mnemonic(ins->opcode); }
    const char* method_name() const { return header_->method()->name; }

    // The last instruction of a body must not fall through into whatever follows it.
    void end_method() {
        if (header_ && !(last_ && ends_flow(last_->opcode)))
            refuse(last_ ? last_ : header_, "method ", method_name(), " can run past its end (it does not end with ret)");
        header_ = nullptr;
    }

    static bool ends_flow(int op) {
        return op == kOp_ret || op == kOp_return || op == kOp_abort || op == kOp_jmp || op == kOp_catch || op == kOp_throw;
    }

    [[gnu::always_inline]] void instruction(const Instruction* ins) {
        switch (family_of(ins->opcode).check) {
            case Check::IncN: variable(ins, ins->opcode - kOp_inc_0); break;
            case Check::Variable:
                variable(ins, ins->opcode == kOp_inc || ins->opcode == kOp_dec ? static_cast<uint8_t>(ins->operand.i)
                                                                                 : ins->operand.i);
                break;
            case Check::Field: field(ins); break;
            case Check::Branch:
                if (ins->operand.target == header_)
                    refuse(ins, mnemonic(ins), " jumps to the header of ", method_name(), " (a count of 0 or less)");
                break;
            case Check::TypeSize:
                if (!ins->cls()) {
                    const char* name = code_->name_of(ins);
                    if (!type_info_by_name(name ? name : ""))
                        refuse(ins, mnemonic(ins), " of '", name ? name : "", "', which is not a declared type");
                }
                break;
            case Check::None: break;
        }
    }

    [[gnu::always_inline]] void variable(const Instruction* ins, int32_t index) {
        const MethodRecord* m = header_->method();
        if (index < 0 || index >= m->var_counts) {
            refuse(ins, mnemonic(ins), " uses variable ", index, " of ", method_name(), ", which has ",
                   int32_t{m->var_counts}, " variables");
            return;
        }
        const char code = m->var_types[index];
        const bool is_string = code == kTypeString;
        const Family& family = family_of(ins->opcode);
        const char wanted = family.code;
        const int op = ins->opcode;
        const bool changes = family.changes;
        if (wanted == kTypeString && !is_string) {
            refuse(ins, mnemonic(ins), " on variable ", index, " of ", method_name(), ", which is not a string");
        } else if (is_string && changes && wanted != kTypeString) {
            refuse(ins, mnemonic(ins), " would overwrite the string variable ", index, " of ", method_name());
        } else if (wanted && !same_kind(wanted, code)) {
            note(ins, mnemonic(ins), " on variable ", index, " of ", method_name(), ", declared '", code, "'");
        } else if (op == kOp_exc && code != kTypePointer) {
            note(ins, "exc into variable ", index, " of ", method_name(), ", declared '", code, "'");
        }
    }

    void field(const Instruction* ins) {
        const int op = ins->opcode;
        const bool string_op = op == kOp_newstr || op == kOp_freestr || op == kOp_ldpstr || op == kOp_stpstr;
        const char wanted = string_op ? static_cast<char>(kTypeString) : family_of(op).code;
        const bool store = family_of(op).store || op == kOp_newstr || op == kOp_freestr;
        const CMember* f = ins->field();
        if (!f) {
            if (op == kOp_ldpref)  // the address of offset 0: an object's class word, written through later
                refuse(ins, mnemonic(ins), " without its Class.Field operand would give the address of offset 0");
            else if (store || wanted == kTypeString)
                refuse(ins, mnemonic(ins), " without its Class.Field operand would use offset 0 as ",
                       wanted == kTypeString ? "a string" : "its field");
            else if (wanted) note(ins, mnemonic(ins), " without an operand reads offset 0");
            return;
        }
        if (f->address < 0) {  // a field of an internal class: its objects are native, it has no place
            refuse(ins, mnemonic(ins), " on field ", f->name, ", which has no place (its class is internal)");
            return;
        }
        if (!wanted) return;  // ldpref: an address
        const bool is_string = f->type == kTypeString && f->array_length == 0;
        if (wanted == kTypeString && !is_string) {
            refuse(ins, mnemonic(ins), " on field ", f->name, ", which is not a string");
            return;
        }
        if (is_string && store && wanted != kTypeString) {
            refuse(ins, mnemonic(ins), " would overwrite the string in field ", f->name);
            return;
        }
        const int width = size_of_code(wanted);
        const int room = field_room(f);
        const CClass* owner = owners_.count(f) ? owners_.at(f) : nullptr;
        if (store && width > room && owner && f->address + width > owner->size) {
            refuse(ins, mnemonic(ins), " writes ", int32_t{width}, " bytes into field ", f->name, " of ", int32_t{room},
                   ", past the end of ", owner->name);
        } else if (!same_kind(wanted, static_cast<char>(f->type)) || width > room) {
            note(ins, mnemonic(ins), " on field ", f->name, ", declared '", static_cast<char>(f->type), "'");
        }
    }

    // The bytes a field takes: its type's size, times its elements for an inline array, or the
    // size of the struct it embeds.
    static int field_room(const CMember* f) {
        if (f->array_length == -1) {
            const CClass* inner = nullptr;
            if (f->kind == kMemberObject) inner = static_cast<const CClass*>(f->info);
            return inner ? inner->size : 0;
        }
        return size_of_code(static_cast<char>(f->type)) * (f->array_length > 0 ? f->array_length : 1);
    }

    std::vector<VerifyProblem>& out_;
    std::unordered_map<const CMember*, const CClass*> owners_;  // the class that declares each field
    const Instruction* header_ = nullptr;
    const CodeStore* code_ = nullptr;
    const Instruction* last_ = nullptr;
};

}  // namespace

// The walk over every record starts a page, as the assembler's loop does (see assemble_source).
[[gnu::aligned(4096)]] std::vector<VerifyProblem> verify_program(const Program& program) {
    std::vector<VerifyProblem> problems;
    Verifier(problems).run(program);
    return problems;
}

bool verify_for_load(const Program& program, LoadReport& report) {
    for (const VerifyProblem& p : verify_program(program))
        if (p.refused) return report.fail(p.line, p.what);
    return true;
}

}  // namespace qel
