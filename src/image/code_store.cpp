#include <cstdlib>
#include <cstring>

#include "image/code_store.h"

#include "base/name_hash.h"
#include "base/runtime_error.h"
#include "image/opcodes.h"
#include "image/program.h"
#include "types/class_registry.h"

namespace qel {

void CodeStore::init() {
    first = nullptr;
    free_record = link_record = nullptr;
    methods = PtrList{};
    resources = PtrList{};
    index = nullptr;
    index_mask = 0;
    marks = RecordMap<SourcePlace>{};
    names = RecordMap<char*>{};
}

namespace {
// The hash mixed so that every bit reaches the low ones the mask keeps: related names (a class's
// methods) differ mostly in bits that a plain product leaves high.
uint32_t slot_of(uint32_t hash, uint32_t mask) {
    hash ^= hash >> 16;
    hash *= 0x7feb352du;
    hash ^= hash >> 15;
    hash *= 0x846ca68bu;
    hash ^= hash >> 16;
    return hash & mask;
}

void index_put(MethodRecord** index, uint32_t mask, MethodRecord* m) {
    uint32_t at = slot_of(m->hash, mask);
    while (index[at]) {
        if (index[at]->hash == m->hash) return;  // the first method with that hash stays
        at = (at + 1) & mask;
    }
    index[at] = m;
}
}  // namespace

void CodeStore::out_of_memory() { raise_runtime_error("Out of memory"); }

Instruction* CodeStore::new_record_block() {
    auto* block = static_cast<Instruction*>(records.take(kRecordsPerBlock * sizeof(Instruction), alignof(Instruction)));
    if (!block) out_of_memory();
    if (link_record) link_record->operand.target = block;  // the old block's last record leads here
    free_record = block + 1;
    link_record = block + kRecordsPerBlock - 1;
    return block;
}

Instruction* CodeStore::widen_into_new_block(Instruction* ins) {
    Instruction* block = new_record_block();  // links the old block's last record, never reached
    *ins = Instruction{};
    ins->operand.target = block;
    ++free_record;
    return block;
}

char* CodeStore::copy(const char* text) {
    char* p = arena.copy(text);
    if (!p) out_of_memory();
    return p;
}

void CodeStore::add_method(MethodRecord* m) {
    methods.add(m);
    const uint32_t count = static_cast<uint32_t>(methods.count);
    if (2 * count > index_mask + 1 || !index) {
        uint32_t size = 64;
        while (size < 2 * count) size *= 2;
        auto** grown = static_cast<MethodRecord**>(std::calloc(size, sizeof(MethodRecord*)));
        if (!grown) out_of_memory();
        for (uint32_t i = 0; index && i <= index_mask; ++i)
            if (index[i]) index_put(grown, size - 1, index[i]);
        std::free(index);
        index = grown;
        index_mask = size - 1;
    }
    index_put(index, index_mask, m);
}

Instruction* CodeStore::method(uint32_t hash) const {
    if (!index) return nullptr;
    for (uint32_t at = slot_of(hash, index_mask); index[at]; at = (at + 1) & index_mask)
        if (index[at]->hash == hash) return index[at]->line;
    return nullptr;
}

Instruction* CodeStore::method(const char* full_name) const { return method(name_hash(full_name)); }

template <typename V>
void RecordMap<V>::put(const Instruction* at, V value) {
    auto slot = [](const Instruction* r, uint32_t m) { return slot_of(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(r)), m); };
    if (2 * (count + 1) > mask + 1) {
        const uint32_t size = mask ? 2 * (mask + 1) : 64;
        auto* grown = static_cast<Entry*>(std::calloc(size, sizeof(Entry)));
        if (!grown) CodeStore::out_of_memory();
        for (uint32_t i = 0; mask && i <= mask; ++i) {
            if (!entries[i].at) continue;
            uint32_t k = slot(entries[i].at, size - 1);
            while (grown[k].at) k = (k + 1) & (size - 1);
            grown[k] = entries[i];
        }
        std::free(entries);
        entries = grown;
        mask = size - 1;
    }
    uint32_t k = slot(at, mask);
    while (entries[k].at && entries[k].at != at) k = (k + 1) & mask;
    if (!entries[k].at) ++count;
    entries[k] = Entry{at, value};
}

template <typename V>
const V* RecordMap<V>::find(const Instruction* at) const {
    if (!count) return nullptr;
    for (uint32_t k = slot_of(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at)), mask); entries[k].at; k = (k + 1) & mask)
        if (entries[k].at == at) return &entries[k].value;
    return nullptr;
}

template <typename V>
void RecordMap<V>::release() {
    std::free(entries);
    *this = RecordMap{};
}

template struct RecordMap<SourcePlace>;
template struct RecordMap<char*>;

SourcePlace CodeStore::place_of(const Instruction* at, const Instruction* header) const {
    const Instruction* r = first;
    SourcePlace p{0, 0};
    if (header) {  // a header is written with operands
        p = {header->lineno, header->lineno + 1};
        if (at == header) return p;
        r = body_of(header);
    }
    for (; r && !r->is_end(); r = following(r)) {
        if (r->opcode == kOp_method) {
            if (header) break;
            p = {r[1].lineno, r[1].lineno + 1};
            if (at == r + 1) return p;
        } else if (const SourcePlace* m = marks.find(r)) {
            p = *m;
        } else {
            p = {usual_lineno(p.line + 1, r->opcode), p.line + 1};
        }
        if (r == at) return p;
    }
    return SourcePlace{0, 0};
}

ResourceRec* CodeStore::resource(const char* name) const {
    for (int32_t i = 0; i < resources.count; ++i) {
        auto* r = static_cast<ResourceRec*>(resources[i]);
        if (std::strcmp(r->name, name) == 0) return r;
    }
    return nullptr;
}

void CodeStore::release() {
    // The whole chain, its names and literals live in the arenas.
    arena.release();
    records.release();
    first = nullptr;
    free_record = link_record = nullptr;
    for (int32_t i = 0; i < resources.count; ++i) {
        auto* r = static_cast<ResourceRec*>(resources[i]);
        std::free(r->name);
        std::free(r->data);
        std::free(r);
    }
    resources.clear();
    methods.clear();
    std::free(index);
    index = nullptr;
    index_mask = 0;
    marks.release();
    names.release();
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
