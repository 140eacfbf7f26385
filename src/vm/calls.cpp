// Frames and calls: the one routine behind every script call, and the entry from native code.
#include <cstdlib>
#include <cstring>

#include "vm/runtime.h"
#include "vm/objects.h"
#include "vm/exceptions.h"
#include "vm/frame_ops.h"
#include "vm/interpreter.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

void init_bare_frame(Frame& f, ValueStack* stack) {
    std::memset(&f, 0, offsetof(Frame, vars));
    f.try_depth = -1;
    f.stack = stack;
    f.stack_base = static_cast<int16_t>(stack->count);
}

void run_top_level(Runtime* rt, Instruction* method, void* self, ValueStack* st) {
    const int params = method->param_count();
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
        // Ints and pointers that arrive as such (the words a callback passes) are moved directly.
        const char* codes = f.var_codes;
        for (int i = params - 1; i >= 0; --i) {
            const Value& v = st->slots[st->count - 1];
            if ((codes[i] == 'i' && v.tag == kTagInt) || (codes[i] == 'p' && (v.tag == kTagPointer || v.tag == kTagInt))) {
                f.vars[i] = v.v.u;
                --st->count;
            } else {
                pop_stack_to_variable(&f, i);
            }
        }
    } catch (const qel_exception& e) {
        report_unhandled(rt, e.object, false, method, &f);
        discard_frame(f);
        st->count = base;
        return;
    }
    ++st->depth;
    interpret(rt, &f, method + 1);
    release_caught(rt, &f);
    leave_frame(f);
    --st->depth;
}

}  // namespace qel
