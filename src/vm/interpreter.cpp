// The dispatch loop: one activation per method invocation. Frame, stack and current instruction
// live in locals; every instruction jumps to the label its dispatch byte names (token threading).
#include "vm/interpreter.h"

#include <cstdlib>
#include <cstring>

#include "base/name_hash.h"
#include "base/runtime_error.h"
#include "image/instruction.h"
#include "image/opcodes.h"
#include "vm/exceptions.h"
#include "vm/frame_ops.h"
#include "vm/hooks.h"
#include "vm/objects.h"
#include "vm/operators.h"
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
[[noreturn]] void method_not_found(const Runtime* rt, const Instruction* ins) {
    WStr m{};
    m.assign_narrow("Method not found: ");
    const char* name = rt->program.code.name_of(ins);
    m.append_narrow(name ? name : "");
    raise_runtime_error(m);
}
[[noreturn]] void not_a_string_variable() { raise_runtime_error("Variable is not a string"); }
[[noreturn]] void past_the_end(const Frame* f) {
    WStr m{};
    m.assign_narrow("Execution ran past the end of method ");
    m.append_narrow(f->method && f->method->method() ? f->method->method()->name : "?");
    raise_runtime_error(m);
}

// An ldstr's text as a string value, and appended to a string.
inline void set_literal(Value& v, const Literal* lit) {
    v.tag = kTagString;
    if (lit->narrow) {
        v.text.assign_latin1(lit->bytes(), lit->length);
    } else {
        const WStr view{const_cast<WChar*>(lit->units()), lit->length, lit->length};
        v.text.assign(view);
    }
}
inline void append_literal(WStr& s, const Literal* lit) {
    if (lit->narrow) {
        s.append_latin1(lit->bytes(), lit->length);
    } else {
        const WStr view{const_cast<WChar*>(lit->units()), lit->length, lit->length};
        s.append(view);
    }
}

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

inline void* top_object_address(ValueStack* st) {
    void* p = top_slot(st).v.p;
    if (invalid_address(p)) bad_field_access(p);
    return p;
}

inline bool is_string_variable(const Frame* f, int32_t i) { return i < f->var_count && f->var_codes[i] == kTypeString; }

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

// ---- leaving a frame with an exception ----------------------------------------------------------

// The frame's pending exception goes to its innermost handler (returned), else to the caller, else
// it is reported as unhandled; without a handler the activation ends (null).
Instruction* propagate_pending(Runtime* rt, Frame* f, Instruction* at) {
    if (f->try_depth >= 0) return f->handlers[f->try_depth--];
    void* exception = f->pending;
    f->pending = nullptr;
    if (f->caller) f->caller->pending = exception;
    else report_unhandled(rt, exception, true, at, f);
    return nullptr;
}

bool handler_up_the_chain(const Frame* f) {
    for (const Frame* c = f->caller; c; c = c->caller)
        if (c->try_depth >= 0) return true;
    return false;
}

// A runtime error raised by the instruction at `at`: the frame's own handler (returned), else a
// caller's handler, else an unhandled report; without a handler here the activation ends (null).
Instruction* catch_runtime_error(Runtime* rt, Frame* f, Instruction* at, void* error) {
    if (f->try_depth >= 0) {
        f->pending = error;
        return f->handlers[f->try_depth--];
    }
    if (handler_up_the_chain(f)) {
        if (error) fill_trace(rt, f, at, error);
        f->caller->pending = error;
    } else {
        report_unhandled(rt, error, false, at, f);
    }
    return nullptr;
}

// ---- entering a called method -----------------------------------------------------------------

struct CallSite {
    Instruction* method;  // the callee's header
    void* self;
    Frame* caller;
    int variadic;         // values the caller keeps above the arguments (params, stparams)
};

// Builds the callee's frame on top of the arguments the caller pushed and moves them into its
// variables. A conversion error while moving them belongs to the caller.
__attribute__((always_inline)) inline void enter_call(Frame& own, const CallSite& call) {
    ValueStack* cst = call.caller->stack;
    const int params = call.method->param_count();
    const int base = cst->count - params;
    if (base < 0) stack_underflow();
    if (cst->depth >= kMaxCallDepth) stack_overflow();
    enter_frame(own, call.method, call.self, cst, call.caller, base);
    try {
        const char* codes = own.var_codes;
        for (int i = params - 1; i >= 0; --i) {
            Value& v = cst->slots[cst->count - 1];
            if ((codes[i] == kTypeInt && v.tag == kTagInt) || (codes[i] == kTypePointer && v.tag == kTagPointer)) {
                own.vars[i] = v.v.u;
                --cst->count;
            } else {
                pop_stack_to_variable(&own, i);
            }
        }
    } catch (...) {
        discard_frame(own);
        throw;
    }
    if (call.variadic) {
        cst->count = base + params + call.variadic;
        call.caller->variadic = 0;
    }
    ++cst->depth;
}

// ---- runs executed as one step ----------------------------------------------------------------

// The int operators a fused run may end with, in the order of their run forms.
constexpr int kFusedOps[8] = {kOp_add, kOp_sub, kOp_mul, kOp_band, kOp_bor, kOp_bxor, kOp_shl, kOp_shr};

int fused_op_index(int op) {
    for (int k = 0; k < 8; ++k)
        if (kFusedOps[k] == op) return k;
    return -1;
}

// What a record's dispatch byte names: its opcode, or one of the run forms numbered after the
// opcodes, in the order of the activation's label table.
enum RunForm : int {
    kFormCompareVK = kOpcodeCount + 1,  // variable against constant, then branch: eq ne gt lt ge le
    kFormCompareVV = kFormCompareVK + 6,  // variable against variable, then branch
    kFormArithVK = kFormCompareVV + 6,    // variable op constant, pushed (by kFusedOps)
    kFormArithVV = kFormArithVK + 8,      // variable op variable, pushed
    kFormArithVKS = kFormArithVV + 8,     // variable op constant, stored into a variable
    kFormArithVVS = kFormArithVKS + 8,    // variable op variable, stored into a variable
    kFormConstOp = kFormArithVVS + 8,     // the top of the stack op constant
    kFormDouble = kFormConstOp + 8,       // doubles: variable op constant or variable, pushed or
                                          // stored, then the top op a constant (add sub mul each)
    kFormAppend = kFormDouble + 15,       // a string variable extended by a literal, by a string
                                          // variable; then a string variable moved onto the stack
    kFormCount = kFormAppend + 3,
};
static_assert(kFormCount <= 256, "a dispatch byte names every form");

bool is_compare(int op) { return op >= kOp_beq && op <= kOp_ble; }
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

// What dispatch preparation knows of the method it is in.
struct MethodFacts {
    const Instruction* header = nullptr;
    bool has_try = false;     // a handler of the method could see its variables after an error
    uint32_t referenced = 0;  // variables whose address ldref hands out (bit per variable)
};

MethodFacts facts_of(Instruction* const* body, size_t count) {
    MethodFacts m;
    m.header = body[0];
    for (size_t k = 1; k < count; ++k) {
        const Instruction* i = body[k];
        if (i->opcode == kOp_try) m.has_try = true;
        if (i->opcode == kOp_ldref && i->operand.i >= 0 && i->operand.i < 32) m.referenced |= 1u << i->operand.i;
    }
    return m;
}

// Instructions a moved string variable may wait across before it is stored again: they neither
// read nor write it, nor branch, nor show the frame's variables.
bool leaves_variable_alone(const Instruction* i, int32_t var) {
    const OpcodeEntry* e = opcode_by_number(i->opcode);
    if (!e) return false;
    if (e->kind == OperandKind::Variable) {
        const bool load = i->opcode >= kOp_ldvint && i->opcode <= kOp_ldvmtd;
        const bool store = i->opcode >= kOp_stvint && i->opcode <= kOp_stvmtd;
        return (load || store) && i->operand.i != var;
    }
    switch (i->opcode) {
        case kOp_ldint: case kOp_ldlong: case kOp_lddbl: case kOp_ldstr: case kOp_ldcnst: case kOp_ldthis:
        case kOp_ldglb: case kOp_stparams: case kOp_empty: case kOp_add: case kOp_sub: case kOp_mul:
        case kOp_band: case kOp_bor: case kOp_bxor: case kOp_shl: case kOp_shr:
            return true;
        case kOp_callstd:  // trace shows the variables
            return i->builtin() != g_vm_hooks.trace;
        default:
            return false;
    }
}

bool string_variable(const Instruction* header, int32_t i) {
    const MethodRecord* m = header ? header->method() : nullptr;
    return m && i >= 0 && i < m->var_counts && m->var_types[i] == kTypeString;
}

// Recognises the runs the interpreter executes as one step, starting at i:
//  - ldvint A; ldint K or ldvint B; a comparison; cmp or cmpjmp;
//  - ldvint A; ldint K or ldvint B; an int operator; optionally stvint C;
//  - ldint K; an int operator (on the value below);
//  - ldvstr A; ldstr K or ldvstr B; add; stvstr A (the string grows in place).
// Returns the run form, or 0. Every instruction of a run keeps its own dispatch, so a branch
// into the middle of a run executes it one instruction at a time.
int fuse(Instruction* i, const MethodFacts& facts) {
    const Instruction* header = facts.header;
    // A run lies within one block of records: a link (or the end), having no opcode, stops the
    // look ahead there, and no run takes it in.
    auto step = [](Instruction* r) { return r->opcode ? r + record_width(r->opcode) : r; };
    Instruction* second = step(i);
    Instruction* third = step(second);
    Instruction* fourth = step(third);
    // A run's length counts records (object slots too): the instruction after it is at its end.
    auto ends_at = [i](const Instruction* end) { i->run_length = static_cast<uint8_t>(end - i); };
    if (i->opcode == kOp_ldint) {
        const int k = fused_op_index(second->opcode);
        if (k < 0) return 0;
        ends_at(third);
        return kFormConstOp + k;
    }
    const int dk = second->opcode >= kOp_add && second->opcode <= kOp_sub
                       ? (second->opcode == kOp_add ? 0 : second->opcode == kOp_mul ? 2 : 1)
                       : -1;
    if (i->opcode == kOp_lddbl) {
        if (dk < 0) return 0;
        ends_at(third);
        return kFormDouble + 12 + dk;
    }
    if (i->opcode == kOp_ldvdbl) {
        if (second->opcode != kOp_lddbl && second->opcode != kOp_ldvdbl) return 0;
        const int k = third->opcode == kOp_add ? 0 : third->opcode == kOp_sub ? 1 : third->opcode == kOp_mul ? 2 : -1;
        if (k < 0) return 0;
        const bool constant = second->opcode == kOp_lddbl;
        if (fourth->opcode == kOp_stvdbl) {
            i->run_c = static_cast<uint8_t>(fourth->operand.i);
            ends_at(step(fourth));
            return kFormDouble + (constant ? 6 : 9) + k;
        }
        ends_at(fourth);
        return kFormDouble + (constant ? 0 : 3) + k;
    }
    if (i->opcode == kOp_ldvstr) {
        const bool literal = second->opcode == kOp_ldstr;
        const bool variable = second->opcode == kOp_ldvstr && string_variable(header, second->operand.i);
        const int32_t a = i->operand.i;
        if (!string_variable(header, a)) return 0;
        if ((literal || variable) && third->opcode == kOp_add && fourth->opcode == kOp_stvstr &&
            fourth->operand.i == a) {
            ends_at(step(fourth));
            return kFormAppend + (literal ? 0 : 1);
        }
        // The variable is stored again before anything else looks at it (s := UpperCase(s),
        // s := Format("%s..", s, ...)): its text moves onto the stack instead of being copied.
        if (facts.has_try || (facts.referenced >> a) & 1) return 0;
        int steps = 0;
        for (const Instruction* k = second; steps < 16; k = following(k), ++steps) {
            if (k->opcode == kOp_stvstr && k->operand.i == a) return kFormAppend + 2;
            if (!leaves_variable_alone(k, a)) return 0;
        }
        return 0;
    }
    if (i->opcode != kOp_ldvint || (second->opcode != kOp_ldint && second->opcode != kOp_ldvint)) return 0;
    const bool constant = second->opcode == kOp_ldint;
    // run.a is the variable; the second variable or the constant is read from the second record
    if (is_compare(third->opcode) && (fourth->opcode == kOp_cmp || fourth->opcode == kOp_cmpjmp)) {
        // Normalised to "jump when the comparison holds": cmp jumps when it fails.
        int op = fourth->opcode == kOp_cmp ? negated_compare(third->opcode) : third->opcode;
        ends_at(step(fourth));
        return (constant ? kFormCompareVK : kFormCompareVV) + compare_index(op);
    }
    const int k = fused_op_index(third->opcode);
    if (k < 0) return 0;
    if (fourth->opcode == kOp_stvint) {
        i->run_c = static_cast<uint8_t>(fourth->operand.i);
        ends_at(step(fourth));
        return (constant ? kFormArithVKS : kFormArithVVS) + k;
    }
    ends_at(fourth);
    return (constant ? kFormArithVK : kFormArithVV) + k;
}

}  // namespace

// The typed cells of the load and store families: suffix, type in memory, tag pushed, payload
// member, and the pop a store uses. Doubles move as their 64 bits.
#define QEL_TYPED_CELLS(X)                    \
    X(int, int32_t, kTagInt, i, pop_int)      \
    X(ntv, int32_t, kTagInt, i, pop_int)      \
    X(lng, int64_t, kTagLong, l, pop_long)    \
    X(ptr, void*, kTagPointer, p, pop_pointer) \
    X(chr, uint16_t, kTagInt, i, pop_int)     \
    X(shrt, int16_t, kTagInt, i, pop_int)     \
    X(byt, int8_t, kTagInt, i, pop_int)       \
    X(dbl, int64_t, kTagDouble, l, pop_double_bits) \
    X(flt, float, kTagDouble, d, pop_double)  \
    X(bln, uint8_t, kTagBool, i, pop_bool)

// One activation runs one method invocation: with a call site it first builds the callee's frame
// (see enter_call), runs it and leaves it; without one it runs on the given frame.
static void activation(Runtime* rt, Frame* f, Instruction* ins, const CallSite* call) {
#define OPS_OF(form) &&form##_add, &&form##_sub, &&form##_mul, &&form##_band, &&form##_bor, &&form##_bxor, &&form##_shl, &&form##_shr
    // By dispatch byte: the opcodes, then the run forms.
    static const void* const kLabels[kFormCount] = {
        &&L_none,
#define OP(num, name, kind) &&L_##name,
#include "image/opcodes.def"
#undef OP
        &&F_cvk_eq, &&F_cvk_ne, &&F_cvk_gt, &&F_cvk_lt, &&F_cvk_ge, &&F_cvk_le,
        &&F_cvv_eq, &&F_cvv_ne, &&F_cvv_gt, &&F_cvv_lt, &&F_cvv_ge, &&F_cvv_le,
        OPS_OF(F_avk), OPS_OF(F_avv), OPS_OF(F_avks), OPS_OF(F_avvs), OPS_OF(F_k),
        &&F_dvk_add,  &&F_dvk_sub,  &&F_dvk_mul,  &&F_dvv_add,  &&F_dvv_sub,  &&F_dvv_mul,  &&F_dvks_add, &&F_dvks_sub,
        &&F_dvks_mul, &&F_dvvs_add, &&F_dvvs_sub, &&F_dvvs_mul, &&F_dk_add,   &&F_dk_sub,   &&F_dk_mul,
        &&F_append_k, &&F_append_v, &&F_ldvstr_move,
    };
#undef OPS_OF

    Frame own;
    if (call) {
        enter_call(own, *call);
        f = &own;
    }
    ValueStack* const st = f->stack;
    Value* const slots = st->slots;
    uint64_t* const vars = f->vars;

#define DISPATCH() goto* kLabels[ins->dispatch]
#define NEXT()           \
    do {                 \
        ++ins;           \
        DISPATCH();      \
    } while (0)
// Past an instruction with an object slot (see kWideRecords).
#define NEXT_WIDE()      \
    do {                 \
        ins += 2;        \
        DISPATCH();      \
    } while (0)
#define PUSH() push_slot(st)
#define TOP() slots[st->count - 1]
#define NEED(n)                                                      \
    do {                                                             \
        if (__builtin_expect(st->count < (n), 0)) stack_underflow(); \
    } while (0)
#define AFTER_CALL()                    \
    do {                                \
        if (f->pending) goto propagate; \
        NEXT();                         \
    } while (0)
#define AFTER_WIDE_CALL()               \
    do {                                \
        if (f->pending) goto propagate; \
        NEXT_WIDE();                    \
    } while (0)

    for (;;) {
        try {
            DISPATCH();

        L_none:  // a link to the next block of records, or the end of the chain, which ends the run
            if (!ins->operand.target) goto done;
            ins = ins->operand.target;
            DISPATCH();
        L_method:  // a header is never executed: the previous method has no closing ret
            past_the_end(f);

        // ---- arithmetic and bits: int with int and double with double inline, everything else
        // through the operator tables
// Int with int inline; doubles too where the operator has a double form.
#define BINARY(label, iexpr, doubles, dop, slow)                                  \
    label:                                                                        \
        NEED(2);                                                                  \
        {                                                                         \
            Value& l = slots[st->count - 2];                                      \
            const Value& r = TOP();                                               \
            if (l.tag == kTagInt && r.tag == kTagInt) {                           \
                l.v.u = (iexpr);                                                  \
                --st->count;                                                      \
            } else if (doubles && l.tag == kTagDouble && r.tag == kTagDouble) {   \
                l.v.d = l.v.d dop r.v.d;                                          \
                --st->count;                                                      \
            } else {                                                              \
                slow(st);                                                         \
            }                                                                     \
        }                                                                         \
        NEXT();
            BINARY(L_add, l.v.u + r.v.u, true, +, op_add)
            BINARY(L_sub, l.v.u - r.v.u, true, -, op_sub)
            BINARY(L_mul, l.v.u * r.v.u, true, *, op_mul)
            BINARY(L_bor, l.v.u | r.v.u, false, +, op_bor)
            BINARY(L_bxor, l.v.u ^ r.v.u, false, +, op_bxor)
            BINARY(L_band, l.v.u & r.v.u, false, +, op_band)
            BINARY(L_shl, l.v.u << (r.v.u & 31), false, +, op_shl)
            BINARY(L_shr, static_cast<uint32_t>(l.v.i >> (r.v.u & 31)), false, +, op_shr)
#undef BINARY
        L_div:
            NEED(2);
            if (slots[st->count - 2].tag == kTagDouble && TOP().tag == kTagDouble && TOP().v.d != 0.0) {
                slots[st->count - 2].v.d /= TOP().v.d;
                --st->count;
            } else {
                op_div(st);
            }
            NEXT();
        L_rem:
            op_rem(st);
            NEXT();
        L_bnot:  // no action: scripts negate with the Not and BNot built-ins
            NEXT();

        L_inc:
            ++var_as<int32_t>(vars, static_cast<uint8_t>(ins->operand.i));
            NEXT();
        L_dec:
            --var_as<int32_t>(vars, static_cast<uint8_t>(ins->operand.i));
            NEXT();
#define INC_N(n)                       \
    L_inc_##n:                         \
        ++var_as<int32_t>(vars, n);    \
        NEXT();
            INC_N(0) INC_N(1) INC_N(2) INC_N(3) INC_N(4) INC_N(5) INC_N(6) INC_N(7) INC_N(8) INC_N(9)
#undef INC_N

        // ---- comparisons and logic
#define INT_COMPARE(label, op)                          \
    label:                                              \
        NEED(2);                                        \
        {                                               \
            Value& l = slots[st->count - 2];            \
            const Value& r = TOP();                     \
            if (l.tag == kTagInt && r.tag == kTagInt) { \
                l.v.i = l.v.i op r.v.i;                 \
                l.tag = kTagBool;                       \
                --st->count;                            \
            } else if (l.tag == kTagDouble && r.tag == kTagDouble) { \
                l.v.i = l.v.d op r.v.d;                 \
                l.tag = kTagBool;                       \
                --st->count;                            \
            } else {                                    \
                op_compare(st, ins->opcode);            \
            }                                           \
        }                                               \
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

        // ---- branches
        L_cmp: {
            NEED(1);
            Value& v = slots[--st->count];
            bool c = v.tag == kTagBool ? v.v.i != 0 : value_truth(v);
            ins = c ? ins + 1 : ins->operand.target;
            DISPATCH();
        }
        L_cmpjmp: {
            NEED(1);
            Value& v = slots[--st->count];
            bool c = v.tag == kTagBool ? v.v.i != 0 : value_truth(v);
            ins = c ? ins->operand.target : ins + 1;
            DISPATCH();
        }
        L_jmp:
            ins = ins->operand.target;
            DISPATCH();

        // ---- typed loads and stores of variables and fields, one family per macro
#define LOAD_VARIABLE(sfx, T, tag_, member, pop) \
    L_ldv##sfx: {                                \
        Value& v = PUSH();                       \
        v.tag = tag_;                            \
        v.v.member = var_as<T>(vars, ins->operand.i); \
        NEXT();                                  \
    }
#define STORE_VARIABLE(sfx, T, tag_, member, pop)                      \
    L_stv##sfx:                                                        \
        var_as<T>(vars, ins->operand.i) = static_cast<T>(pop(st));     \
        NEXT();
#define LOAD_FIELD(sfx, T, tag_, member, pop)                 \
    L_ldp##sfx: {                                             \
        void* o = pop_object_address(st);                     \
        Value& v = PUSH();                                    \
        v.tag = tag_;                                         \
        v.v.member = field_at<T>(o, ins->operand.i);          \
        NEXT();                                               \
    }
#define STORE_FIELD(sfx, T, tag_, member, pop)                        \
    L_stp##sfx: {                                                     \
        void* o = pop_object_address(st);                             \
        field_at<T>(o, ins->operand.i) = static_cast<T>(pop(st));     \
        NEXT();                                                       \
    }
            QEL_TYPED_CELLS(LOAD_VARIABLE)
            QEL_TYPED_CELLS(STORE_VARIABLE)
            QEL_TYPED_CELLS(LOAD_FIELD)
            QEL_TYPED_CELLS(STORE_FIELD)
#undef LOAD_VARIABLE
#undef STORE_VARIABLE
#undef LOAD_FIELD
#undef STORE_FIELD

        L_ldvstr:
            if (!is_string_variable(f, ins->operand.i)) not_a_string_variable();
            push_string(st, *var_as<WStr*>(vars, ins->operand.i));
            NEXT();
        L_stvstr:
            if (!is_string_variable(f, ins->operand.i)) not_a_string_variable();
            var_as<WStr*>(vars, ins->operand.i)->swap(pop_string(st));  // the popped text is dead: move it
            NEXT();
        L_ldvmtd: {
            const PMethod& m = var_as<PMethod>(vars, ins->operand.i);
            push_method(st, m.Method, m.Target);
            NEXT();
        }
        L_stvmtd:
            var_as<PMethod>(vars, ins->operand.i) = pop_method(st);
            NEXT();
        L_ldpstr: {
            void* o = pop_object_address(st);
            const WStr* s = field_at<WStr*>(o, ins->operand.i);
            push_string(st, s ? *s : WStr{});
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
        L_ldpmtd: {
            void* o = pop_object_address(st);
            const PMethod& m = field_at<PMethod>(o, ins->operand.i);
            push_method(st, m.Method, m.Target);
            NEXT();
        }
        L_stpmtd: {
            void* o = pop_object_address(st);
            field_at<PMethod>(o, ins->operand.i) = pop_method(st);
            NEXT();
        }
        L_newstr:
            field_at<WStr*>(top_object_address(st), ins->operand.i) = wstr_new();
            NEXT();
        L_freestr: {
            WStr*& field = field_at<WStr*>(top_object_address(st), ins->operand.i);
            wstr_delete(field);
            field = nullptr;  // a later store must not reach the freed string
            NEXT();
        }
        L_ldref:
            push_pointer(st, &vars[ins->operand.i]);
            NEXT();
        L_ldpref: {
            void* o = pop_pointer(st);
            push_pointer(st, static_cast<char*>(o) + ins->operand.i);
            NEXT();
        }

        // ---- constants
        L_ldint: {
            Value& v = PUSH();
            v.tag = kTagInt;
            v.v.i = ins->operand.i;
            NEXT();
        }
        L_sizeof: {
            Value& v = PUSH();
            v.tag = kTagInt;
            v.v.i = ins->operand.i;
            NEXT_WIDE();
        }
        L_ldlong:
            push_long(st, ins->wide());
            NEXT_WIDE();
        L_lddbl: {
            Value& v = PUSH();
            v.tag = kTagDouble;
            v.v.l = ins->wide();  // the bits: no floating-point unit needed to copy
            NEXT_WIDE();
        }
        L_ldstr:
            set_literal(push_slot(st), ins->literal());
            NEXT();
        L_ldntv:  // no action and no operand: native values load as ints
            NEXT();
        L_ldcnst:
            if (ins->operand.u == kCrlfHash) push_string(st, u"\r\n");
            NEXT();
        L_ldcls:
            push_pointer(st, ins->cls());
            NEXT_WIDE();
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

        // ---- parameters
        L_ldparam:
        L_ldtype: {
            Value& top = top_slot(st);
            if (top.tag != kTagInt && top.tag != kTagBool) conversion_error(top.tag, "int");
            int32_t at = (f->method ? f->method->param_count() : 0) + f->stack_base + top.v.i;
            if (at < 0 || at >= kStackSlots) raise_runtime_error("Parameter index out of range");
            if (ins->opcode == kOp_ldparam) {
                if (&slots[at] != &top) copy_value(top, slots[at]);
            } else {
                static const char kCodes[13] = {'b', 'e', 'c', 'm', 'p', 'i', 'f', 'd', 's', 'l', 'p', 'p', 't'};
                uint32_t tag = slots[at].tag;
                top.tag = kTagInt;
                top.v.i = tag < 13 ? kCodes[tag] : 0;
            }
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

        // ---- calls
        L_call: {
            void* self = pop_pointer(st);
            if (invalid_address(self)) bad_object(self);
            if (!ins->operand.target) method_not_found(rt, ins);
            const CallSite site{ins->operand.target, self, f, 0};
            activation(rt, nullptr, site.method + 1, &site);
            AFTER_CALL();
        }
        L_callmtd: {
            if (!ins->operand.target) method_not_found(rt, ins);
            const CallSite site{ins->operand.target, nullptr, f, f->variadic};
            activation(rt, nullptr, site.method + 1, &site);
            AFTER_CALL();
        }
        L_callvirt: {
            void* self = pop_pointer(st);
            dispatch_by_hash(rt, ins->operand.u, self, f);
            AFTER_CALL();
        }
        L_callstd:
            ins->builtin()(rt, f);
            AFTER_CALL();
        L_libproc:
            g_vm_hooks.libproc(rt, f, ins);
            NEXT_WIDE();
        L_callcvirt:
            g_vm_hooks.callcvirt(rt, f, ins);
            NEXT_WIDE();
        L_comget:
        L_comset:
            g_vm_hooks.com(rt, f, ins);
            NEXT_WIDE();
        L_callreal:
        L_ldnpp:
        L_stnpp:
        L_ldfld:
        L_stfld: {
            void* object = pop_pointer(st);
            g_vm_hooks.native_member(rt, f, object, ins);
            NEXT_WIDE();
        }
        L_ldmtd: {
            void* self = pop_pointer(st);
            push_method(st, ins->operand.target, self);
            NEXT();
        }
        L_ldprp:    // no action: properties compile to accessor calls
        L_stprp:    // no action: properties compile to accessor calls
        L_stevent:  // no action: events are method fields, set with stpmtd
            NEXT_WIDE();

        // ---- objects
        L_newstruct: {
            void* block = std::calloc(1, ins->operand.i > 0 ? static_cast<size_t>(ins->operand.i) : 1);
            push_pointer(st, block);
            NEXT_WIDE();
        }
        L_newobj:
            create_object(rt, ins->cls(), f);
            AFTER_WIDE_CALL();
        L_create:
            construct_in_place(rt, ins->cls(), f);
            AFTER_WIDE_CALL();
        L_newarr:  // no action: arrays are lists made by the list built-ins
            NEXT();

        // ---- fused runs (see fuse): int variables need no checks beyond room on the stack
#define ROOM_FOR_TWO() \
    if (__builtin_expect(st->count > kStackSlots - 2, 0)) goto* kLabels[ins->opcode];
#define COMPARE_BRANCH(label, op, second)                                    \
    label: {                                                                 \
        ROOM_FOR_TWO();                                                      \
        ins = var_as<int32_t>(vars, ins->operand.run.a) op(second) ? ins[3].operand.target : (ins + ins->run_length); \
        DISPATCH();                                                          \
    }
#define COMPARE_BRANCHES(kind, second)                 \
    COMPARE_BRANCH(F_c##kind##_eq, ==, second)         \
    COMPARE_BRANCH(F_c##kind##_ne, !=, second)         \
    COMPARE_BRANCH(F_c##kind##_gt, >, second)          \
    COMPARE_BRANCH(F_c##kind##_lt, <, second)          \
    COMPARE_BRANCH(F_c##kind##_ge, >=, second)         \
    COMPARE_BRANCH(F_c##kind##_le, <=, second)
            COMPARE_BRANCHES(vk, ins[1].operand.i)
            COMPARE_BRANCHES(vv, var_as<int32_t>(vars, ins[1].operand.i))
#undef COMPARE_BRANCHES
#undef COMPARE_BRANCH
// The int operators of fused runs: wrapping arithmetic, and shifts by the low 5 bits (shr fills
// with the sign).
#define OP_add(x, y) ((x) + (y))
#define OP_sub(x, y) ((x) - (y))
#define OP_mul(x, y) ((x) * (y))
#define OP_band(x, y) ((x) & (y))
#define OP_bor(x, y) ((x) | (y))
#define OP_bxor(x, y) ((x) ^ (y))
#define OP_shl(x, y) ((x) << ((y) & 31))
#define OP_shr(x, y) static_cast<uint32_t>(static_cast<int32_t>(x) >> ((y) & 31))
#define ARITH_PUSH(label, op, second)                                                  \
    label: {                                                                           \
        ROOM_FOR_TWO();                                                                \
        Value& v = slots[st->count++];                                                 \
        v.tag = kTagInt;                                                               \
        v.v.u = op(var_as<uint32_t>(vars, ins->operand.run.a), static_cast<uint32_t>(second)); \
        ins += ins->run_length;                                                          \
        DISPATCH();                                                                    \
    }
#define ARITH_STORE(label, op, second)                                                               \
    label: {                                                                                         \
        ROOM_FOR_TWO();                                                                              \
        var_as<uint32_t>(vars, ins->run_c) = op(var_as<uint32_t>(vars, ins->operand.run.a), static_cast<uint32_t>(second)); \
        ins += ins->run_length;                                                                        \
        DISPATCH();                                                                                  \
    }
// The top of the stack op a constant; a top that is not an int takes the instructions one by one.
#define CONST_OP(label, op)                                                         \
    label: {                                                                        \
        if (__builtin_expect(st->count < 1 || TOP().tag != kTagInt, 0)) goto* kLabels[ins->opcode]; \
        TOP().v.u = op(TOP().v.u, static_cast<uint32_t>(ins->operand.i));           \
        ins += ins->run_length;                                                       \
        DISPATCH();                                                                 \
    }
#define ARITHS(form, kind, second)               \
    form(F_a##kind##_add, OP_add, second)        \
    form(F_a##kind##_sub, OP_sub, second)        \
    form(F_a##kind##_mul, OP_mul, second)        \
    form(F_a##kind##_band, OP_band, second)      \
    form(F_a##kind##_bor, OP_bor, second)        \
    form(F_a##kind##_bxor, OP_bxor, second)      \
    form(F_a##kind##_shl, OP_shl, second)        \
    form(F_a##kind##_shr, OP_shr, second)
            ARITHS(ARITH_PUSH, vk, ins[1].operand.i)
            ARITHS(ARITH_PUSH, vv, var_as<int32_t>(vars, ins[1].operand.i))
            ARITHS(ARITH_STORE, vks, ins[1].operand.i)
            ARITHS(ARITH_STORE, vvs, var_as<int32_t>(vars, ins[1].operand.i))
            CONST_OP(F_k_add, OP_add)
            CONST_OP(F_k_sub, OP_sub)
            CONST_OP(F_k_mul, OP_mul)
            CONST_OP(F_k_band, OP_band)
            CONST_OP(F_k_bor, OP_bor)
            CONST_OP(F_k_bxor, OP_bxor)
            CONST_OP(F_k_shl, OP_shl)
            CONST_OP(F_k_shr, OP_shr)
#undef ARITHS
#undef ARITH_PUSH
#undef ARITH_STORE
#undef CONST_OP
#undef OP_add
#undef OP_sub
#undef OP_mul
#undef OP_band
#undef OP_bor
#undef OP_bxor
#undef OP_shl
#undef OP_shr
        // Doubles: variables and constants in one step.
#define DVAR(i) var_as<double>(vars, i)
#define DOUBLE_PUSH(label, op, second)                    \
    label: {                                              \
        ROOM_FOR_TWO();                                   \
        Value& v = slots[st->count++];                    \
        v.tag = kTagDouble;                               \
        v.v.d = DVAR(ins->operand.i) op (second);         \
        ins += ins->run_length;                             \
        DISPATCH();                                       \
    }
#define DOUBLE_STORE(label, op, second)                   \
    label: {                                              \
        ROOM_FOR_TWO();                                   \
        DVAR(ins->run_c) = DVAR(ins->operand.i) op (second); \
        ins += ins->run_length;                             \
        DISPATCH();                                       \
    }
#define DOUBLE_CONST(label, op)                                                                     \
    label: {                                                                                        \
        if (__builtin_expect(st->count < 1 || TOP().tag != kTagDouble, 0)) goto* kLabels[ins->opcode]; \
        TOP().v.d = TOP().v.d op ins->real();                                                    \
        ins += ins->run_length;                                                                       \
        DISPATCH();                                                                                 \
    }
#define DOUBLES(form, kind, second)               \
    form(F_d##kind##_add, +, second)              \
    form(F_d##kind##_sub, -, second)              \
    form(F_d##kind##_mul, *, second)
            DOUBLES(DOUBLE_PUSH, vk, ins[1].real())
            DOUBLES(DOUBLE_PUSH, vv, DVAR(ins[1].operand.i))
            DOUBLES(DOUBLE_STORE, vks, ins[1].real())
            DOUBLES(DOUBLE_STORE, vvs, DVAR(ins[1].operand.i))
            DOUBLE_CONST(F_dk_add, +)
            DOUBLE_CONST(F_dk_sub, -)
            DOUBLE_CONST(F_dk_mul, *)
#undef DOUBLES
#undef DOUBLE_PUSH
#undef DOUBLE_STORE
#undef DOUBLE_CONST
#undef DVAR
        // A string variable extended in place by a literal or another string variable: linear
        // instead of copying the whole text on every append.
        F_append_k:
            ROOM_FOR_TWO();
            append_literal(*var_as<WStr*>(vars, ins->operand.i), ins[1].literal());
            ins += ins->run_length;
            DISPATCH();
        F_append_v:
            ROOM_FOR_TWO();
            var_as<WStr*>(vars, ins->operand.i)->append(*var_as<WStr*>(vars, ins[1].operand.i));
            ins += ins->run_length;
            DISPATCH();
#undef ROOM_FOR_TWO
        // A string variable about to be stored again moves onto the stack; it holds the slot's old
        // text until then (see fuse).
        F_ldvstr_move: {
            Value& v = PUSH();
            v.tag = kTagString;
            v.text.swap(*var_as<WStr*>(vars, ins->operand.i));
            NEXT();
        }

        // ---- endings
        L_ret:
        L_abort:
            goto done;
        L_return:
            ++f->stack_base;
            f->returned = 1;
            goto done;

        // ---- exceptions
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
            ins = propagate_pending(rt, f, ins);
            if (!ins) goto done;
            DISPATCH();
        } catch (const qel_exception& e) {
            ins = catch_runtime_error(rt, f, ins, e.object);
            if (!ins) goto done;
        }
    }
done:
    if (call) {
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
#undef AFTER_WIDE_CALL
#undef NEXT_WIDE
}

#undef QEL_TYPED_CELLS

void prepare_method(Instruction* const* body, size_t count) {
    constexpr OpcodeSet kRunHeads = opcode_set(kOp_ldint, kOp_lddbl, kOp_ldvdbl, kOp_ldvstr, kOp_ldvint);
    if (count == 0) return;
    const MethodFacts facts = facts_of(body, count);
    for (size_t k = 1; k < count; ++k) {
        Instruction* i = body[k];
        if (!kRunHeads[i->opcode]) continue;
        if (const int form = fuse(i, facts)) i->dispatch = static_cast<uint8_t>(form);
    }
}

void interpret(Runtime* rt, Frame* f, Instruction* first) { activation(rt, f, first, nullptr); }

void run_method(Runtime* rt, Instruction* method, void* self, Frame* caller, int variadic) {
    const CallSite site{method, self, caller, variadic};
    activation(rt, nullptr, method + 1, &site);
}

}  // namespace qel
