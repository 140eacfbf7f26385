// The dispatch loop: one activation per method invocation. Frame, stack and current instruction
// live in locals; dispatch is a computed goto over the opcode table's labels.
#include "vm/interpreter.h"

#include <cstdlib>
#include <cstring>

#include "vm/runtime.h"
#include "image/instruction.h"
#include "image/opcodes.h"
#include "base/name_hash.h"
#include "vm/objects.h"
#include "vm/exceptions.h"
#include "vm/frame_ops.h"
#include "vm/hooks.h"
#include "vm/operators.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

constexpr uint32_t kCrlfHash = name_hash("crlf");

[[noreturn]] void bad_object(const void* p) {
    raise_runtime_error(p ? "Method call on an invalid object" : "Method call on a null object");
}
[[noreturn]] void bad_field_access(const void* p) {
    raise_runtime_error(p ? "Field access at an invalid address" : "Field access on a null object");
}
[[noreturn]] void method_not_found(const Instruction* ins) {
    WStr m{};
    m.assign_narrow("Method not found: ");
    m.append_narrow(ins->name ? ins->name : "");
    raise_runtime_error(m);
}
[[noreturn]] void not_a_string_variable() { raise_runtime_error("Variable is not a string"); }

template <typename T>
inline T& var_as(uint64_t* vars, int32_t i) {
    return *reinterpret_cast<T*>(&vars[i]);
}

template <typename T>
inline T& field_at(void* obj, int32_t offset) {
    return *reinterpret_cast<T*>(static_cast<char*>(obj) + offset);
}

inline void* pop_object_address(ValueStack* st) {
    void* p = pop_pointer(st);
    if (invalid_address(p)) bad_field_access(p);
    return p;
}

// Does any frame up the caller chain have an active handler?
bool handler_up_the_chain(const Frame* f) {
    for (const Frame* c = f->caller; c; c = c->caller)
        if (c->try_depth >= 0) return true;
    return false;
}

void fill_trace(Runtime* rt, Frame* f, Instruction* at, void* exception) {
    if (WStr* trace = exception_trace(rt, exception))
        g_vm_hooks.stack_trace(rt, f, at, exception_message(rt, exception), *trace);
}

void catch_object(Frame* f, void* obj) {
    if (!obj) return;
    if (!f->caught) {
        f->caught = static_cast<CaughtList*>(std::calloc(1, sizeof(CaughtList)));
        if (!f->caught) raise_runtime_error("Out of memory");
    }
    if (f->caught->count >= kCaughtObjects) raise_runtime_error("Too many caught exceptions in one method");
    f->caught->objects[f->caught->count++] = obj;
}

}  // namespace

namespace {

enum FusedKind { kFuseCompareBranchVK, kFuseCompareBranchVV, kFuseArithVK, kFuseArithVV, kFuseArithVKStore, kFuseArithVVStore };

bool is_compare(int op) { return op >= kOp_beq && op <= kOp_ble; }
bool is_arith(int op) { return op == kOp_add || op == kOp_sub || op == kOp_mul; }
int compare_index(int op) { return op - kOp_beq; }  // beq bne bgt blt bge ble
int negated_compare(int op) {
    switch (op) {
        case kOp_beq: return kOp_bne;
        case kOp_bne: return kOp_beq;
        case kOp_bgt: return kOp_ble;
        case kOp_blt: return kOp_bge;
        case kOp_bge: return kOp_blt;
        default: return kOp_bgt;  // ble
    }
}
int arith_index(int op) { return op == kOp_add ? 0 : op == kOp_sub ? 1 : 2; }

// Recognises the runs the interpreter executes as one step: ldvint A, then ldint K or ldvint B,
// then a comparison followed by cmp/cmpjmp, or add/sub/mul optionally followed by stvint C.
// Returns the fused label, or null.
const void* fuse(Instruction* i, const void* const* compare_v_k, const void* const* compare_v_v,
                 const void* const* arith) {
    Instruction* second = i->next;
    Instruction* third = second ? second->next : nullptr;
    if (!third || (second->opcode != kOp_ldint && second->opcode != kOp_ldvint)) return nullptr;
    const bool constant = second->opcode == kOp_ldint;
    FusedOperands& fo = i->fused;
    fo.a = i->operand.i;
    fo.b = second->operand.i;
    Instruction* fourth = third->next;
    if (is_compare(third->opcode) && fourth && (fourth->opcode == kOp_cmp || fourth->opcode == kOp_cmpjmp)) {
        // Normalised to "jump when the comparison holds": cmp jumps when it fails.
        int op = fourth->opcode == kOp_cmp ? negated_compare(third->opcode) : third->opcode;
        fo.target = fourth->operand.target;
        fo.after = fourth->next;
        return (constant ? compare_v_k : compare_v_v)[compare_index(op)];
    }
    if (!is_arith(third->opcode)) return nullptr;
    const int kind = arith_index(third->opcode);
    if (fourth && fourth->opcode == kOp_stvint) {
        fo.c = fourth->operand.i;
        fo.after = fourth->next;
        return arith[(constant ? 6 : 9) + kind];
    }
    fo.after = fourth;
    return arith[(constant ? 0 : 3) + kind];
}

}  // namespace

// One activation: with method set it first builds the method's frame (moving the arguments the
// caller pushed), runs it, and leaves it; otherwise it runs on the given frame.
static void activation(Runtime* rt, Frame* f, Instruction* ins, Instruction* method, void* self, Frame* caller,
                       int variadic) {
    static const void* const kLabels[kOpcodeCount + 1] = {
        &&L_none,
#define OP(num, name, kind) &&L_##name,
#include "image/opcodes.def"
#undef OP
    };
    static const void* const kCompareVK[6] = {&&F_cvk_eq, &&F_cvk_ne, &&F_cvk_gt, &&F_cvk_lt, &&F_cvk_ge, &&F_cvk_le};
    static const void* const kCompareVV[6] = {&&F_cvv_eq, &&F_cvv_ne, &&F_cvv_gt, &&F_cvv_lt, &&F_cvv_ge, &&F_cvv_le};
    static const void* const kArith[12] = {&&F_avk_add, &&F_avk_sub, &&F_avk_mul, &&F_avv_add, &&F_avv_sub, &&F_avv_mul,
                                           &&F_avks_add, &&F_avks_sub, &&F_avks_mul, &&F_avvs_add, &&F_avvs_sub, &&F_avvs_mul};
    if (variadic < 0) {  // preparation: the dispatch target of every instruction
        for (Instruction* i = ins; i; i = i->next) i->label = kLabels[i->opcode];
        for (Instruction* i = ins; i; i = i->next)
            if (i->opcode == kOp_ldvint)
                if (const void* fused = fuse(i, kCompareVK, kCompareVV, kArith)) i->label = fused;
        return;
    }

    Frame own;
    if (method) {
        ValueStack* cst = caller->stack;
        const int params = method->operand.i;
        const int base = cst->count - params;
        if (base < 0) stack_underflow();
        if (cst->depth >= kMaxCallDepth) stack_overflow();
        enter_frame(own, method, self, cst, caller, base);
        try {
            const char* codes = own.var_codes;
            for (int i = params - 1; i >= 0; --i) {
                Value& v = cst->slots[cst->count - 1];
                if (codes[i] == 'i' && v.tag == kTagInt) {
                    own.vars[i] = v.v.u;
                    --cst->count;
                } else if (codes[i] == 'p' && v.tag == kTagPointer) {
                    own.vars[i] = v.v.u;
                    --cst->count;
                } else {
                    pop_stack_to_variable(&own, i);
                }
            }
        } catch (...) {
            discard_frame(own);  // a conversion error while moving arguments belongs to the caller
            throw;
        }
        if (variadic) {
            cst->count = base + params + variadic;
            caller->variadic = 0;
        }
        ++cst->depth;
        f = &own;
    }
    ValueStack* const st = f->stack;
    Value* const slots = st->slots;
    uint64_t* const vars = f->vars;

#define DISPATCH() goto* ins->label
#define NEXT()           \
    do {                 \
        ins = ins->next; \
        DISPATCH();      \
    } while (0)
#define PUSH() push_slot(st)
#define TOP() slots[st->count - 1]
#define NEED(n)                                            \
    do {                                                   \
        if (__builtin_expect(st->count < (n), 0)) stack_underflow(); \
    } while (0)
#define AFTER_CALL()                    \
    do {                                \
        if (f->pending) goto propagate; \
        NEXT();                         \
    } while (0)

    for (;;) {
        try {
            DISPATCH();

        L_none:  // the empty record behind a source block, or the end of the chain
            if (!ins->next) goto done;
            NEXT();

        // ---- arithmetic: int with int inline, everything else through the operator tables ----
        L_add:
            NEED(2);
            if (TOP().tag == kTagInt && slots[st->count - 2].tag == kTagInt) {
                slots[st->count - 2].v.u += TOP().v.u;
                --st->count;
            } else {
                op_add(st);
            }
            NEXT();
        L_sub:
            NEED(2);
            if (TOP().tag == kTagInt && slots[st->count - 2].tag == kTagInt) {
                slots[st->count - 2].v.u -= TOP().v.u;
                --st->count;
            } else {
                op_sub(st);
            }
            NEXT();
        L_mul:
            NEED(2);
            if (TOP().tag == kTagInt && slots[st->count - 2].tag == kTagInt) {
                slots[st->count - 2].v.u *= TOP().v.u;
                --st->count;
            } else {
                op_mul(st);
            }
            NEXT();
        L_div:
            op_div(st);
            NEXT();
        L_rem:
            op_rem(st);
            NEXT();
        L_shl:
            op_shl(st);
            NEXT();
        L_shr:
            op_shr(st);
            NEXT();
        L_bor:
            op_bor(st);
            NEXT();
        L_bxor:
            op_bxor(st);
            NEXT();
        L_band:
            op_band(st);
            NEXT();

        L_inc:
            ++var_as<int32_t>(vars, static_cast<uint8_t>(ins->operand.i));
            NEXT();
        L_dec:
            --var_as<int32_t>(vars, static_cast<uint8_t>(ins->operand.i));
            NEXT();
        L_inc_0: ++var_as<int32_t>(vars, 0); NEXT();
        L_inc_1: ++var_as<int32_t>(vars, 1); NEXT();
        L_inc_2: ++var_as<int32_t>(vars, 2); NEXT();
        L_inc_3: ++var_as<int32_t>(vars, 3); NEXT();
        L_inc_4: ++var_as<int32_t>(vars, 4); NEXT();
        L_inc_5: ++var_as<int32_t>(vars, 5); NEXT();
        L_inc_6: ++var_as<int32_t>(vars, 6); NEXT();
        L_inc_7: ++var_as<int32_t>(vars, 7); NEXT();
        L_inc_8: ++var_as<int32_t>(vars, 8); NEXT();
        L_inc_9: ++var_as<int32_t>(vars, 9); NEXT();

        // ---- comparisons ----
#define INT_COMPARE(label, op)                                                              \
    label:                                                                                  \
        NEED(2);                                                                            \
        {                                                                                   \
            Value& l = slots[st->count - 2];                                                \
            Value& r = TOP();                                                               \
            if (l.tag == kTagInt && r.tag == kTagInt) {                                     \
                l.v.i = l.v.i op r.v.i;                                                     \
                l.tag = kTagBool;                                                           \
                --st->count;                                                                \
            } else {                                                                        \
                op_compare(st, ins->opcode);                                                \
            }                                                                               \
        }                                                                                   \
        NEXT();
            INT_COMPARE(L_beq, ==)
            INT_COMPARE(L_bne, !=)
            INT_COMPARE(L_bgt, >)
            INT_COMPARE(L_blt, <)
            INT_COMPARE(L_bge, >=)
            INT_COMPARE(L_ble, <=)
#undef INT_COMPARE

        L_or: {
            bool r = pop_bool(st);
            bool l = pop_bool(st);
            push_bool(st, l || r);
            NEXT();
        }
        L_and: {
            bool r = pop_bool(st);
            bool l = pop_bool(st);
            push_bool(st, l && r);
            NEXT();
        }

        // ---- branches ----
        L_cmp: {
            NEED(1);
            Value& v = slots[--st->count];
            bool c = v.tag == kTagBool ? v.v.i != 0 : value_truth(v);
            ins = c ? ins->next : ins->operand.target;
            DISPATCH();
        }
        L_cmpjmp: {
            NEED(1);
            Value& v = slots[--st->count];
            bool c = v.tag == kTagBool ? v.v.i != 0 : value_truth(v);
            ins = c ? ins->operand.target : ins->next;
            DISPATCH();
        }
        L_jmp:
            ins = ins->operand.target;
            DISPATCH();

        // ---- field loads and stores ----
        L_ldpint: {
            void* o = pop_object_address(st);
            push_int(st, field_at<int32_t>(o, ins->operand.i));
            NEXT();
        }
        L_ldpntv: {
            void* o = pop_object_address(st);
            push_int(st, field_at<int32_t>(o, ins->operand.i));
            NEXT();
        }
        L_ldplng: {
            void* o = pop_object_address(st);
            push_long(st, field_at<int64_t>(o, ins->operand.i));
            NEXT();
        }
        L_ldpptr: {
            void* o = pop_object_address(st);
            push_pointer(st, field_at<void*>(o, ins->operand.i));
            NEXT();
        }
        L_ldpchr: {
            void* o = pop_object_address(st);
            push_int(st, field_at<uint16_t>(o, ins->operand.i));
            NEXT();
        }
        L_ldpbyt: {
            void* o = pop_object_address(st);
            push_int(st, field_at<int8_t>(o, ins->operand.i));
            NEXT();
        }
        L_ldpshrt: {
            void* o = pop_object_address(st);
            push_int(st, field_at<int16_t>(o, ins->operand.i));
            NEXT();
        }
        L_ldpdbl: {
            void* o = pop_object_address(st);
            push_double(st, field_at<double>(o, ins->operand.i));
            NEXT();
        }
        L_ldpflt: {
            void* o = pop_object_address(st);
            push_double(st, field_at<float>(o, ins->operand.i));
            NEXT();
        }
        L_ldpbln: {
            void* o = pop_object_address(st);
            push_bool(st, field_at<uint8_t>(o, ins->operand.i) != 0);
            NEXT();
        }
        L_ldpstr: {
            void* o = pop_object_address(st);
            const WStr* s = field_at<WStr*>(o, ins->operand.i);
            if (s) push_string(st, *s);
            else push_string(st, kEmptyText);
            NEXT();
        }
        L_ldpmtd: {
            void* o = pop_object_address(st);
            const PMethod& m = field_at<PMethod>(o, ins->operand.i);
            push_method(st, m.Method, m.Target);
            NEXT();
        }
        L_ldpref: {
            void* o = pop_pointer(st);
            push_pointer(st, static_cast<char*>(o) + ins->operand.i);
            NEXT();
        }
        L_stpint: {
            void* o = pop_object_address(st);
            field_at<int32_t>(o, ins->operand.i) = pop_int(st);
            NEXT();
        }
        L_stpntv: {
            void* o = pop_object_address(st);
            field_at<int32_t>(o, ins->operand.i) = pop_int(st);
            NEXT();
        }
        L_stplng: {
            void* o = pop_object_address(st);
            field_at<int64_t>(o, ins->operand.i) = pop_long(st);
            NEXT();
        }
        L_stpptr: {
            void* o = pop_object_address(st);
            field_at<void*>(o, ins->operand.i) = pop_pointer(st);
            NEXT();
        }
        L_stpchr:
        L_stpshrt: {
            void* o = pop_object_address(st);
            field_at<uint16_t>(o, ins->operand.i) = static_cast<uint16_t>(pop_int(st));
            NEXT();
        }
        L_stpbyt: {
            void* o = pop_object_address(st);
            field_at<uint8_t>(o, ins->operand.i) = static_cast<uint8_t>(pop_int(st));
            NEXT();
        }
        L_stpdbl: {
            void* o = pop_object_address(st);
            field_at<double>(o, ins->operand.i) = pop_double(st);
            NEXT();
        }
        L_stpflt: {
            void* o = pop_object_address(st);
            field_at<float>(o, ins->operand.i) = static_cast<float>(pop_double(st));
            NEXT();
        }
        L_stpbln: {
            void* o = pop_object_address(st);
            field_at<uint8_t>(o, ins->operand.i) = pop_bool(st) ? 1 : 0;
            NEXT();
        }
        L_stpstr: {
            void* o = pop_object_address(st);
            WStr& text = pop_string(st);
            WStr*& field = field_at<WStr*>(o, ins->operand.i);
            if (!field) field = wstr_new();
            field->swap(text);
            NEXT();
        }
        L_stpmtd: {
            void* o = pop_object_address(st);
            field_at<PMethod>(o, ins->operand.i) = pop_method(st);
            NEXT();
        }
        L_newstr: {
            void* o = top_slot(st).v.p;
            if (invalid_address(o)) bad_field_access(o);
            field_at<WStr*>(o, ins->operand.i) = wstr_new();
            NEXT();
        }
        L_freestr: {
            void* o = top_slot(st).v.p;
            if (invalid_address(o)) bad_field_access(o);
            WStr*& field = field_at<WStr*>(o, ins->operand.i);
            wstr_delete(field);
            field = nullptr;  // a later store must not reach the freed string
            NEXT();
        }

        // ---- variable loads and stores ----
        L_ldvint:
        L_ldvntv: {
            Value& v = PUSH();
            v.tag = kTagInt;
            v.v.i = var_as<int32_t>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvlng: {
            Value& v = PUSH();
            v.tag = kTagLong;
            v.v.l = var_as<int64_t>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvptr: {
            Value& v = PUSH();
            v.tag = kTagPointer;
            v.v.p = var_as<void*>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvchr: {
            Value& v = PUSH();
            v.tag = kTagInt;
            v.v.i = var_as<uint16_t>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvshrt: {
            Value& v = PUSH();
            v.tag = kTagInt;
            v.v.i = var_as<int16_t>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvbyt: {
            Value& v = PUSH();
            v.tag = kTagInt;
            v.v.i = var_as<int8_t>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvdbl: {
            Value& v = PUSH();
            v.tag = kTagDouble;
            v.v.d = var_as<double>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvflt: {
            Value& v = PUSH();
            v.tag = kTagDouble;
            v.v.d = var_as<float>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvbln: {
            Value& v = PUSH();
            v.tag = kTagBool;
            v.v.i = var_as<uint8_t>(vars, ins->operand.i);
            NEXT();
        }
        L_ldvstr: {
            if (ins->operand.i >= f->var_count || f->var_codes[ins->operand.i] != 's') not_a_string_variable();
            push_string(st, *var_as<WStr*>(vars, ins->operand.i));
            NEXT();
        }
        L_ldvmtd: {
            const PMethod& m = var_as<PMethod>(vars, ins->operand.i);
            push_method(st, m.Method, m.Target);
            NEXT();
        }
        L_stvint:
        L_stvntv: {
            NEED(1);
            Value& v = slots[st->count - 1];
            if (v.tag == kTagInt) {
                var_as<int32_t>(vars, ins->operand.i) = v.v.i;
                --st->count;
            } else {
                var_as<int32_t>(vars, ins->operand.i) = pop_int(st);
            }
            NEXT();
        }
        L_stvlng:
            var_as<int64_t>(vars, ins->operand.i) = pop_long(st);
            NEXT();
        L_stvptr:
            var_as<void*>(vars, ins->operand.i) = pop_pointer(st);
            NEXT();
        L_stvchr:
        L_stvshrt:
            var_as<uint16_t>(vars, ins->operand.i) = static_cast<uint16_t>(pop_int(st));
            NEXT();
        L_stvbyt:
            var_as<uint8_t>(vars, ins->operand.i) = static_cast<uint8_t>(pop_int(st));
            NEXT();
        L_stvdbl:
            var_as<double>(vars, ins->operand.i) = pop_double(st);
            NEXT();
        L_stvflt:
            var_as<float>(vars, ins->operand.i) = static_cast<float>(pop_double(st));
            NEXT();
        L_stvbln:
            var_as<uint8_t>(vars, ins->operand.i) = pop_bool(st) ? 1 : 0;
            NEXT();
        L_stvstr: {
            if (ins->operand.i >= f->var_count || f->var_codes[ins->operand.i] != 's') not_a_string_variable();
            // The popped slot's text is dead: move it instead of copying.
            var_as<WStr*>(vars, ins->operand.i)->swap(pop_string(st));
            NEXT();
        }
        L_stvmtd:
            var_as<PMethod>(vars, ins->operand.i) = pop_method(st);
            NEXT();
        L_ldref:
            push_pointer(st, &vars[ins->operand.i]);
            NEXT();

        // ---- constants ----
        L_ldint:
        L_sizeof: {
            Value& v = PUSH();
            v.tag = kTagInt;
            v.v.i = ins->operand.i;
            NEXT();
        }
        L_ldlong:
            push_long(st, ins->operand.l);
            NEXT();
        L_lddbl:
            push_double(st, ins->operand.d);
            NEXT();
        L_ldstr:
            push_string(st, *ins->literal());
            NEXT();
        L_ldcnst:
            if (ins->operand.u == kCrlfHash) push_string(st, u"\r\n");
            NEXT();
        L_ldcls:
            push_pointer(st, ins->cls());
            NEXT();
        L_ldthis:
            push_pointer(st, f->self);
            NEXT();
        L_ldglb:
            push_pointer(st, rt->global_object);
            NEXT();
        L_empty:
            NEED(1);
            --st->count;
            NEXT();

        // ---- parameters ----
        L_ldparam: {
            Value& top = top_slot(st);
            if (top.tag != kTagInt && top.tag != kTagBool) conversion_error(top.tag, "int");
            int32_t at = (f->method ? f->method->operand.i : 0) + f->stack_base + top.v.i;
            if (at < 0 || at >= kStackSlots) raise_runtime_error("Parameter index out of range");
            if (&slots[at] != &top) copy_value(top, slots[at]);
            NEXT();
        }
        L_ldtype: {
            Value& top = top_slot(st);
            if (top.tag != kTagInt && top.tag != kTagBool) conversion_error(top.tag, "int");
            int32_t at = (f->method ? f->method->operand.i : 0) + f->stack_base + top.v.i;
            if (at < 0 || at >= kStackSlots) raise_runtime_error("Parameter index out of range");
            static const char kCodes[13] = {'b', 'e', 'c', 'm', 'p', 'i', 'f', 'd', 's', 'l', 'p', 'p', 't'};
            uint32_t tag = slots[at].tag;
            top.tag = kTagInt;
            top.v.i = tag < 13 ? kCodes[tag] : 0;
            NEXT();
        }
        L_params: {
            int32_t n = ins->operand.i;
            if (n < 0 || n > st->count) stack_underflow();
            if (st->count >= kStackSlots) stack_overflow();
            // Move the n values up by one slot; the slot above the top comes down in their place.
            for (int32_t k = st->count - 1; k >= st->count - n; --k) {
                Value tmp = slots[k + 1];
                slots[k + 1] = slots[k];
                slots[k] = tmp;
            }
            st->count -= n;
            push_pointer(st, &ins->operand);
            f->variadic = static_cast<int16_t>(n);
            NEXT();
        }
        L_stparams:
            f->variadic = static_cast<int16_t>(ins->operand.i);
            NEXT();

        // ---- calls ----
        L_call: {
            void* self = pop_pointer(st);
            if (invalid_address(self)) bad_object(self);
            if (!ins->operand.target) method_not_found(ins);
            run_method(rt, ins->operand.target, self, f);
            AFTER_CALL();
        }
        L_callmtd:
            if (!ins->operand.target) method_not_found(ins);
            run_method(rt, ins->operand.target, nullptr, f, f->variadic);
            AFTER_CALL();
        L_callvirt: {
            void* self = pop_pointer(st);
            if (invalid_address(self)) bad_object(self);
            dispatch_by_hash(rt, ins->operand.u, self, f);
            AFTER_CALL();
        }
        L_callstd:
            ins->builtin()(rt, f);
            AFTER_CALL();
        L_libproc:
            g_vm_hooks.libproc(rt, f, ins);
            NEXT();
        L_callcvirt:
            g_vm_hooks.callcvirt(rt, f, ins);
            NEXT();
        L_comget:
        L_comset:
            g_vm_hooks.com(rt, f, ins);
            NEXT();
        L_callreal:
        L_ldnpp:
        L_stnpp:
        L_ldfld:
        L_stfld: {
            void* object = pop_pointer(st);
            g_vm_hooks.native_member(rt, f, object, ins);
            NEXT();
        }
        L_ldmtd: {
            void* self = pop_pointer(st);
            push_method(st, ins->operand.target, self);
            NEXT();
        }

        // ---- objects ----
        L_newstruct: {
            void* block = std::calloc(1, ins->operand.i > 0 ? static_cast<size_t>(ins->operand.i) : 1);
            push_pointer(st, block);
            NEXT();
        }
        L_newobj:
            create_object(rt, ins->cls(), f);
            AFTER_CALL();
        L_create:
            construct_in_place(rt, ins->cls(), f);
            AFTER_CALL();

        // ---- no action ----
        L_bnot:
        L_ldntv:
        L_ldprp:
        L_stprp:
        L_stevent:
        L_newarr:
        L_method:
            NEXT();

        // ---- fused runs (see fuse): int variables need no checks beyond room on the stack ----
#define ROOM_FOR_TWO()                                                                   \
    if (__builtin_expect(st->count > kStackSlots - 2, 0)) goto* kLabels[ins->opcode];
#define COMPARE_BRANCH(label, op, second)                                                \
    label: {                                                                             \
        ROOM_FOR_TWO();                                                                  \
        const FusedOperands& fo = ins->fused;                                            \
        ins = var_as<int32_t>(vars, fo.a) op(second) ? fo.target : fo.after;             \
        DISPATCH();                                                                      \
    }
            COMPARE_BRANCH(F_cvk_eq, ==, fo.b)
            COMPARE_BRANCH(F_cvk_ne, !=, fo.b)
            COMPARE_BRANCH(F_cvk_gt, >, fo.b)
            COMPARE_BRANCH(F_cvk_lt, <, fo.b)
            COMPARE_BRANCH(F_cvk_ge, >=, fo.b)
            COMPARE_BRANCH(F_cvk_le, <=, fo.b)
            COMPARE_BRANCH(F_cvv_eq, ==, var_as<int32_t>(vars, fo.b))
            COMPARE_BRANCH(F_cvv_ne, !=, var_as<int32_t>(vars, fo.b))
            COMPARE_BRANCH(F_cvv_gt, >, var_as<int32_t>(vars, fo.b))
            COMPARE_BRANCH(F_cvv_lt, <, var_as<int32_t>(vars, fo.b))
            COMPARE_BRANCH(F_cvv_ge, >=, var_as<int32_t>(vars, fo.b))
            COMPARE_BRANCH(F_cvv_le, <=, var_as<int32_t>(vars, fo.b))
#undef COMPARE_BRANCH
#define ARITH_PUSH(label, op, second)                                                    \
    label: {                                                                             \
        ROOM_FOR_TWO();                                                                  \
        const FusedOperands& fo = ins->fused;                                            \
        Value& v = slots[st->count++];                                                   \
        v.tag = kTagInt;                                                                 \
        v.v.u = var_as<uint32_t>(vars, fo.a) op static_cast<uint32_t>(second);           \
        ins = fo.after;                                                                  \
        DISPATCH();                                                                      \
    }
#define ARITH_STORE(label, op, second)                                                   \
    label: {                                                                             \
        ROOM_FOR_TWO();                                                                  \
        const FusedOperands& fo = ins->fused;                                            \
        var_as<uint32_t>(vars, fo.c) = var_as<uint32_t>(vars, fo.a) op static_cast<uint32_t>(second); \
        ins = fo.after;                                                                  \
        DISPATCH();                                                                      \
    }
            ARITH_PUSH(F_avk_add, +, fo.b)
            ARITH_PUSH(F_avk_sub, -, fo.b)
            ARITH_PUSH(F_avk_mul, *, fo.b)
            ARITH_PUSH(F_avv_add, +, var_as<int32_t>(vars, fo.b))
            ARITH_PUSH(F_avv_sub, -, var_as<int32_t>(vars, fo.b))
            ARITH_PUSH(F_avv_mul, *, var_as<int32_t>(vars, fo.b))
            ARITH_STORE(F_avks_add, +, fo.b)
            ARITH_STORE(F_avks_sub, -, fo.b)
            ARITH_STORE(F_avks_mul, *, fo.b)
            ARITH_STORE(F_avvs_add, +, var_as<int32_t>(vars, fo.b))
            ARITH_STORE(F_avvs_sub, -, var_as<int32_t>(vars, fo.b))
            ARITH_STORE(F_avvs_mul, *, var_as<int32_t>(vars, fo.b))
#undef ARITH_PUSH
#undef ARITH_STORE
#undef ROOM_FOR_TWO

        // ---- endings ----
        L_ret:
        L_abort:
            goto done;
        L_return:
            ++f->stack_base;
            f->returned = 1;
            goto done;

        // ---- exceptions ----
        L_try:
            if (f->try_depth >= kTryLevels - 1) raise_runtime_error("Too many nested try blocks");
            f->handlers[++f->try_depth] = ins->operand.target;
            NEXT();
        L_catch:
            if (f->try_depth >= 0) --f->try_depth;
            ins = ins->operand.target;
            DISPATCH();
        L_exc: {
            void* obj = f->pending;
            var_as<void*>(vars, ins->operand.i) = obj;
            f->pending = nullptr;
            catch_object(f, obj);
            NEXT();
        }
        L_delexc: {
            if (!f->caught || f->caught->count == 0) raise_runtime_error("No caught exception to delete");
            void* obj = f->caught->objects[--f->caught->count];
            release_object(rt, obj, f);
            NEXT();
        }
        L_throw: {
            create_object(rt, ins->cls(), f);
            if (f->pending) goto propagate;
            void* obj = pop_pointer(st);
            f->pending = obj;
            fill_trace(rt, f, ins, obj);
            goto propagate;
        }

        propagate:
            // The frame's pending exception goes to its innermost handler, else to the caller.
            if (f->try_depth >= 0) {
                ins = f->handlers[f->try_depth--];
                DISPATCH();
            }
            if (f->caller) {
                f->caller->pending = f->pending;
                f->pending = nullptr;
                goto done;
            }
            {
                void* obj = f->pending;
                f->pending = nullptr;
                report_unhandled(rt, obj, true, ins, f);
            }
            goto done;
        } catch (const qel_exception& e) {
            // A runtime error raised by the instruction at ins.
            if (f->try_depth >= 0) {
                f->pending = e.object;
                ins = f->handlers[f->try_depth--];
                continue;
            }
            if (handler_up_the_chain(f)) {
                if (e.object) fill_trace(rt, f, ins, e.object);
                f->caller->pending = e.object;
                goto done;
            }
            report_unhandled(rt, e.object, false, ins, f);
            goto done;
        }
    }
done:
    if (f == &own) {
        release_caught(rt, f);
        leave_frame(own);
        --st->depth;
    }
#undef DISPATCH
#undef NEXT
#undef PUSH
#undef TOP
#undef NEED
#undef AFTER_CALL
}

void prepare_dispatch(Instruction* first) { activation(nullptr, nullptr, first, nullptr, nullptr, nullptr, -1); }

void interpret(Runtime* rt, Frame* f, Instruction* first) { activation(rt, f, first, nullptr, nullptr, nullptr, 0); }

void run_method(Runtime* rt, Instruction* method, void* self, Frame* caller, int variadic) {
    activation(rt, nullptr, method->next, method, self, caller, variadic);
}

}  // namespace qel
