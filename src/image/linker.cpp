#include "image/linker.h"

#include <cstdlib>
#include <string>

#include "image/opcodes.h"
#include "types/class_registry.h"

namespace qel {

bool check_constructors(Program& prog, LoadReport& report) {
    for (int32_t i = 0; i < prog.classes.count; ++i) {
        auto* c = static_cast<CClass*>(prog.classes[i]);
        if (c->internal_class || c->is_struct) continue;
        std::string name = std::string(c->name) + "::" + c->name;
        c->constructor = prog.code.method(name.c_str());
        if (!c->constructor) return report.fail_boxed(std::string("Class constructor not found! <") + c->name + ">");
        std::string dtor = std::string(c->name) + "::~" + c->name;
        c->destructor = prog.code.method(dtor.c_str());
    }
    return true;
}

bool check_object_layouts(Program& prog, LoadReport& report) {
    for (int32_t i = 0; i < prog.classes.count; ++i) {
        auto* c = static_cast<CClass*>(prog.classes[i]);
        if (c->internal_class || c->is_struct) continue;
        for (const CClass* k = c; k; k = k->base_class) {
            if (!k->fields) continue;
            for (int32_t n = 0; n < k->fields->count; ++n) {
                auto* f = static_cast<CMember*>((*k->fields)[n]);
                bool class_pointer = f->address == 0 && f->type == kTypePointer && f->array_length == 0;
                if (f->address >= 0 && f->address < 4 && !class_pointer)
                    return report.fail(0, std::string("class <") + c->name + "> has its field " + f->name +
                                              " where its objects keep their class (derive it from object)");
            }
        }
    }
    return true;
}

namespace {
constexpr auto kIsField = [](const OpcodeEntry& e) { return e.kind == OperandKind::Field; };
constexpr OpcodeSet kFieldOps = opcodes_where(kIsField);
constexpr OpcodeSet kLinked = opcodes_where(kIsField, kOp_libproc, kOp_newobj, kOp_create, kOp_throw, kOp_ldcls);
}  // namespace

void link_image(Program& prog, LoadReport& report) {
    for (Instruction* ins = prog.code.first; ins; ins = after(ins)) {
        if (!kLinked[ins->opcode]) continue;
        if (kFieldOps[ins->opcode]) {  // the field the verifier looked at becomes its offset
            const CMember* f = ins->operand.member;
            ins->operand.i = f ? f->address : 0;
            continue;
        }
        switch (ins->opcode) {
            case kOp_libproc:
                ins->object() = prog.procs.find(ins->operand.u);
                break;
            case kOp_newobj:
            case kOp_create:
            case kOp_throw:
            case kOp_ldcls:
                ins->object() = class_by_hash(prog.classes, ins->operand.u);
                if (!ins->object()) {
                    const char* name = prog.code.name_of(ins);
                    report.note(11, std::string("Undefined class <") + (name ? name : "") + ">");
                }
                break;
            default:
                break;
        }
    }
}

}  // namespace qel
