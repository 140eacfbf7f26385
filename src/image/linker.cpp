#include "image/linker.h"

#include <cstdlib>
#include <string>

#include "host/error_report.h"
#include "host/runtime.h"
#include "image/opcodes.h"
#include "types/class_registry.h"

namespace qel {

bool check_constructors(Runtime& rt, const char** missing) {
    for (int32_t i = 0; i < rt.classes.count; ++i) {
        auto* c = static_cast<CClass*>(rt.classes[i]);
        if (c->internal_class || c->is_struct) continue;
        std::string name = std::string(c->name) + "::" + c->name;
        c->constructor = rt.code.method(name.c_str());
        if (!c->constructor) {
            WStr text{};
            text.assignNarrow("Class constructor not found! <");
            text.appendNarrow(c->name);
            text.appendNarrow(">");
            show_runtime_error_box(text);
            text.clear();
            *missing = c->name;
            return false;
        }
        std::string dtor = std::string(c->name) + "::~" + c->name;
        c->destructor = rt.code.method(dtor.c_str());
    }
    return true;
}

bool check_object_layouts(Runtime& rt, std::string* why) {
    for (int32_t i = 0; i < rt.classes.count; ++i) {
        auto* c = static_cast<CClass*>(rt.classes[i]);
        if (c->internal_class || c->is_struct) continue;
        for (const CClass* k = c; k; k = k->base_class) {
            if (!k->fields) continue;
            for (int32_t n = 0; n < k->fields->count; ++n) {
                auto* f = static_cast<CMember*>((*k->fields)[n]);
                bool classPointer = f->address == 0 && f->type == kTypePointer && f->array_length == 0;
                if (f->address >= 0 && f->address < 4 && !classPointer) {
                    *why = std::string("class <") + c->name + "> has its field " + f->name +
                           " where its objects keep their class (derive it from object)";
                    return false;
                }
            }
        }
    }
    return true;
}

void link_image(Runtime& rt) {
    for (Instruction* ins = rt.code.first; ins; ins = ins->next) {
        switch (ins->opcode) {
            case kOp_libproc:
                ins->object = rt.procs.find(ins->operand.u);
                if (ins->object) {
                    std::free(ins->name);
                    ins->name = nullptr;
                }
                break;
            case kOp_newobj:
            case kOp_create:
            case kOp_throw:
            case kOp_ldcls:
                ins->object = class_by_hash(rt.classes, ins->operand.u);
                if (!ins->object) report_error(kErrorLoading, "Undefined class <%s>", ins->name ? ins->name : "");
                break;
            default:
                break;
        }
    }
}

}  // namespace qel
