#include <cstdlib>
#include <cstring>

#include "image/code_store.h"

#include "base/name_hash.h"
#include "image/opcodes.h"
#include "image/program.h"
#include "types/class_registry.h"

namespace qel {

void CodeStore::init() {
    first = nullptr;
    methods = PtrList{};
    resources = PtrList{};
}

Instruction* CodeStore::method(uint32_t hash) const {
    for (int32_t i = 0; i < methods.count; ++i) {
        auto* m = static_cast<MethodRecord*>(methods[i]);
        if (m->hash == hash) return m->line;
    }
    return nullptr;
}

Instruction* CodeStore::method(const char* full_name) const { return method(name_hash(full_name)); }

ResourceRec* CodeStore::resource(const char* name) const {
    for (int32_t i = 0; i < resources.count; ++i) {
        auto* r = static_cast<ResourceRec*>(resources[i]);
        if (std::strcmp(r->name, name) == 0) return r;
    }
    return nullptr;
}

void CodeStore::release() {
    for (Instruction* ins = first; ins;) {
        switch (ins->opcode) {
            case kOp_ldstr:
                wstr_delete(static_cast<WStr*>(ins->object));
                break;
            case kOp_comget:
            case kOp_comset:
                std::free(ins->object);
                break;
            case kOp_method:
                if (MethodRecord* m = ins->method()) {
                    std::free(m->var_types);
                    std::free(m);
                }
                break;
            default:
                break;
        }
        std::free(ins->name);
        std::free(ins->name2);
        Instruction* next = ins->next;
        std::free(ins);
        ins = next;
    }
    first = nullptr;
    for (int32_t i = 0; i < resources.count; ++i) {
        auto* r = static_cast<ResourceRec*>(resources[i]);
        std::free(r->name);
        std::free(r->data);
        std::free(r);
    }
    resources.clear();
    methods.clear();
}

int32_t UnitList::id_of(const char* name) {
    for (int32_t i = 0; i < records.count; ++i) {
        auto* u = static_cast<UnitRecord*>(records[i]);
        if (std::strcmp(u->name, name) == 0) return u->id;
    }
    auto* u = static_cast<UnitRecord*>(std::malloc(sizeof(UnitRecord)));
    u->id = ++last_id;
    u->name = strdup(name);
    records.add(u);
    return u->id;
}

const char* UnitList::name_of(int32_t id) const {
    for (int32_t i = 0; i < records.count; ++i) {
        auto* u = static_cast<UnitRecord*>(records[i]);
        if (u->id == id) return u->name;
    }
    return nullptr;
}

void UnitList::release() {
    for (int32_t i = 0; i < records.count; ++i) {
        auto* u = static_cast<UnitRecord*>(records[i]);
        std::free(u->name);
        std::free(u);
    }
    records.clear();
    last_id = 0;
}

void Program::init() {
    manifest = Manifest{};
    units = UnitList{0, PtrList{}};
    classes = PtrList{};
    class_index = ClassIndex{};
    code.init();
    procs.init();
    enums = PtrList{};
    types = PtrList{};
}

void Program::release() {
    units.release();
    class_index.release();
    release_classes(classes);
    release_enums(enums);
    release_types(types);
    code.release();
    procs.release();
    for (WStr* s : {&manifest.name, &manifest.title, &manifest.company, &manifest.version}) s->clear();
}

}  // namespace qel
