// Frames and calls: the one routine behind every script call, and the entry from native code.
#include <cstdlib>
#include <cstring>

#include "host/runtime.h"
#include "types/objects.h"
#include "vm/exceptions.h"
#include "vm/interpreter.h"
#include "vm/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

void init_bare_frame(Frame& f, ValueStack* stack) {
    std::memset(&f, 0, offsetof(Frame, vars));
    f.try_depth = -1;
    f.stack = stack;
    f.stack_base = static_cast<int16_t>(stack->count);
}

void enter_frame(Frame& f, Instruction* method, void* self, ValueStack* stack, Frame* caller, int base) {
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

namespace {
void free_variables(Frame& f) {
    const char* codes = f.var_codes;
    for (int i = 0, n = f.var_count; i < n; ++i)
        if (codes[i] == 's') wstr_delete(reinterpret_cast<WStr*>(static_cast<uintptr_t>(f.vars[i])));
    std::free(f.caught);
    f.caught = nullptr;
}
}  // namespace

void leave_frame(Frame& f) {
    free_variables(f);
    ValueStack* st = f.stack;
    if (st->count > f.stack_base) {
        if (f.returned) {
            Value& result = st->slots[st->count - 1];
            Value& to = st->slots[f.stack_base - 1];
            if (&to != &result) copy_value(to, result);
        }
        st->count = f.stack_base;
    }
}

void release_caught(Runtime* rt, Frame* f) {
    CaughtList* list = f->caught;
    if (!list) return;
    while (list->count > 0) {
        void* obj = list->objects[--list->count];
        release_object(rt, obj, f);
    }
}

void run_method(Runtime* rt, Instruction* method, void* self, Frame* caller, int variadic) {
    ValueStack* st = caller->stack;
    const int params = method->operand.i;
    const int base = st->count - params;
    if (base < 0) stack_underflow();
    if (st->depth >= kMaxCallDepth) stack_overflow();
    Frame f;
    enter_frame(f, method, self, st, caller, base);
    try {
        for (int i = params - 1; i >= 0; --i) pop_stack_to_variable(&f, i);
    } catch (...) {
        free_variables(f);  // a conversion error while moving arguments belongs to the caller
        throw;
    }
    if (variadic) {
        st->count = base + params + variadic;
        caller->variadic = 0;
    }
    ++st->depth;
    interpret(rt, &f, method->next);
    release_caught(rt, &f);
    leave_frame(f);
    --st->depth;
}

void run_top_level(Runtime* rt, Instruction* method, void* self, ValueStack* st) {
    const int params = method->operand.i;
    int base = st->count - params;
    Frame f;
    if (base < 0 || st->depth >= kMaxCallDepth) {
        init_bare_frame(f, st);
        try {
            if (base < 0) stack_underflow();
            stack_overflow();
        } catch (const qel_exception& e) {
            report_unhandled(rt, e.object, false, method, &f);
        }
        return;
    }
    enter_frame(f, method, self, st, nullptr, base);
    try {
        for (int i = params - 1; i >= 0; --i) pop_stack_to_variable(&f, i);
    } catch (const qel_exception& e) {
        report_unhandled(rt, e.object, false, method, &f);
        free_variables(f);
        st->count = base;
        return;
    }
    ++st->depth;
    interpret(rt, &f, method->next);
    release_caught(rt, &f);
    leave_frame(f);
    --st->depth;
}

}  // namespace qel
