// Frame construction and leave, inlined into the interpreter's call path.
#pragma once
#include <cstdlib>

#include "vm/runtime.h"
#include "image/instruction.h"
#include "vm/objects.h"
#include "vm/frame.h"
#include "vm/stack_ops.h"

namespace qel {

inline void enter_frame(Frame& f, Instruction* method, void* self, ValueStack* stack, Frame* caller, int base) {
    MethodRecord* m = method->method();
    f.returned = 0;
    f.variadic = 0;
    f.var_count = m->var_counts;
    f.try_depth = -1;
    f.stack_base = static_cast<int16_t>(base);
    f.var_codes = m->var_types;
    f.self = self;
    f.pending = nullptr;
    f.caught = nullptr;
    f.method = method;
    f.stack = stack;
    f.caller = caller;
    const char* codes = m->var_types;
    for (int i = 0, n = m->var_counts; i < n; ++i)
        f.vars[i] = codes[i] == 's' ? static_cast<uint64_t>(reinterpret_cast<uintptr_t>(wstr_new())) : 0;
}

inline void discard_frame(Frame& f) {
    const char* codes = f.var_codes;
    for (int i = 0, n = f.var_count; i < n; ++i)
        if (codes[i] == 's') wstr_delete(reinterpret_cast<WStr*>(static_cast<uintptr_t>(f.vars[i])));
    if (f.caught) {
        std::free(f.caught);
        f.caught = nullptr;
    }
}

inline void leave_frame(Frame& f) {
    discard_frame(f);
    ValueStack* st = f.stack;
    if (st->count > f.stack_base) {
        if (f.returned) {
            Value& result = st->slots[st->count - 1];
            Value& to = st->slots[f.stack_base - 1];
            if (&to != &result) {
                to.tag = result.tag;
                to.v = result.v;
                if (result.tag == kTagString) to.text.swap(result.text);  // the result's slot is dropped
            }
        }
        st->count = f.stack_base;
    }
}

inline void release_caught(Runtime* rt, Frame* f) {
    CaughtList* list = f->caught;
    if (!list) return;
    while (list->count > 0) {
        void* obj = list->objects[--list->count];
        release_object(rt, obj, f);
    }
}

}  // namespace qel
