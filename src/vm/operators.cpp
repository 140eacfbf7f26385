#include "vm/operators.h"

#include <cstdint>

#include "image/opcodes.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

struct Operands {
    Value& l;
    Value& r;
};

Operands operands(ValueStack* s) {
    if (s->count < 2) stack_underflow();
    return Operands{s->slots[s->count - 2], s->slots[s->count - 1]};
}

[[noreturn]] void mismatch(const Operands& o) { conversion_error(o.r.tag, type_name_of_tag(o.l.tag)); }

enum Num { kNotNum, kInt, kLong, kDouble };

Num num(const Value& v) {
    switch (v.tag) {
        case kTagInt: return kInt;
        case kTagLong: return kLong;
        case kTagDouble: return kDouble;
        default: return kNotNum;
    }
}

int64_t as_long(const Value& v) { return v.tag == kTagLong ? v.v.l : v.v.i; }
double as_double(const Value& v) {
    return v.tag == kTagDouble ? v.v.d : v.tag == kTagLong ? static_cast<double>(v.v.l) : v.v.i;
}

// int, long and double with the result types of add: int with int is int, any double makes a
// double, otherwise long. Wraps at 32 and 64 bits.
template <typename IntOp, typename DoubleOp>
bool numeric(const Operands& o, IntOp iop, DoubleOp dop) {
    Num a = num(o.l), b = num(o.r);
    if (!a || !b) return false;
    if (a == kDouble || b == kDouble) {
        set_double(o.l, dop(as_double(o.l), as_double(o.r)));
    } else if (a == kInt && b == kInt) {
        set_int(o.l, static_cast<int32_t>(static_cast<uint32_t>(iop(static_cast<uint64_t>(o.l.v.i), static_cast<uint64_t>(o.r.v.i)))));
    } else {
        set_long(o.l, static_cast<int64_t>(iop(static_cast<uint64_t>(as_long(o.l)), static_cast<uint64_t>(as_long(o.r)))));
    }
    return true;
}

[[noreturn]] void division_by_zero() { raise_runtime_error("Division by zero."); }

}  // namespace

void op_add(ValueStack* s) {
    Operands o = operands(s);
    if (numeric(o, [](uint64_t a, uint64_t b) { return a + b; }, [](double a, double b) { return a + b; })) {
    } else if (o.l.tag == kTagString && o.r.tag == kTagString) {
        o.l.text.append(o.r.text);
    } else if (o.l.tag == kTagInt && o.r.tag == kTagPointer) {
        o.l.tag = kTagPointer;
        o.l.v.u = o.l.v.u + o.r.v.u;
    } else if (o.l.tag == kTagPointer && o.r.tag == kTagInt) {
        o.l.v.u = o.l.v.u + o.r.v.u;
    } else {
        mismatch(o);
    }
    --s->count;
}

void op_sub(ValueStack* s) {
    Operands o = operands(s);
    if (numeric(o, [](uint64_t a, uint64_t b) { return a - b; }, [](double a, double b) { return a - b; })) {
    } else if (o.l.tag == kTagPointer && o.r.tag == kTagPointer) {
        set_int(o.l, static_cast<int32_t>(o.l.v.u - o.r.v.u));
    } else if (o.l.tag == kTagString && o.r.tag == kTagString) {
        set_int(o.l, wcompare(o.l.text.text(), o.r.text.text()));
    } else {
        mismatch(o);
    }
    --s->count;
}

void op_mul(ValueStack* s) {
    Operands o = operands(s);
    if (!numeric(o, [](uint64_t a, uint64_t b) { return a * b; }, [](double a, double b) { return a * b; })) mismatch(o);
    --s->count;
}

void op_div(ValueStack* s) {
    Operands o = operands(s);
    Num a = num(o.l), b = num(o.r);
    if (!a || !b) mismatch(o);
    if ((b == kDouble && o.r.v.d == 0.0) || (b == kInt && o.r.v.i == 0) || (b == kLong && o.r.v.l == 0))
        division_by_zero();
    if (a == kDouble || b == kDouble) {
        set_double(o.l, as_double(o.l) / as_double(o.r));
    } else {
        int64_t x = as_long(o.l), y = as_long(o.r);
        // The most negative value divided by -1 wraps; its remainder is 0.
        int64_t rem = y == -1 ? 0 : x % y;
        if (rem != 0) {
            set_double(o.l, static_cast<double>(x) / static_cast<double>(y));
        } else {
            int64_t q = y == -1 ? static_cast<int64_t>(0 - static_cast<uint64_t>(x)) : x / y;
            if (a == kInt) set_int(o.l, static_cast<int32_t>(q));
            else set_long(o.l, q);
        }
    }
    --s->count;
}

void op_rem(ValueStack* s) {
    Operands o = operands(s);
    Num a = num(o.l), b = num(o.r);
    if (a != kInt && a != kLong) mismatch(o);
    if (b != kInt && b != kLong) mismatch(o);
    int64_t y = as_long(o.r);
    if (y == 0) division_by_zero();
    if (a == kInt && b == kInt)
        set_int(o.l, y == -1 ? 0 : o.l.v.i % o.r.v.i);
    else
        set_long(o.l, y == -1 ? 0 : as_long(o.l) % y);
    --s->count;
}

namespace {
void shift(ValueStack* s, bool left) {
    Operands o = operands(s);
    Num a = num(o.l), b = num(o.r);
    if ((a != kInt && a != kLong) || (b != kInt && b != kLong)) mismatch(o);
    if (a == kInt) {
        uint32_t n = static_cast<uint32_t>(as_long(o.r)) & 31;
        int32_t r = left ? static_cast<int32_t>(o.l.v.u << n) : (o.l.v.i >> n);
        if (b == kInt) set_int(o.l, r);
        else set_long(o.l, r);
    } else {
        uint32_t n = static_cast<uint32_t>(as_long(o.r)) & 0xFF;
        int64_t x = o.l.v.l;
        int64_t r;
        if (left) r = n >= 64 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(x) << n);
        else r = n >= 64 ? (x < 0 ? -1 : 0) : (x >> n);
        set_long(o.l, r);
    }
    --s->count;
}

template <typename Op>
void bitwise(ValueStack* s, Op op) {
    Operands o = operands(s);
    Num a = num(o.l), b = num(o.r);
    if ((a != kInt && a != kLong) || (b != kInt && b != kLong)) mismatch(o);
    if (a == kInt && b == kInt) set_int(o.l, static_cast<int32_t>(op(static_cast<uint32_t>(o.l.v.i), static_cast<uint32_t>(o.r.v.i))));
    else set_long(o.l, static_cast<int64_t>(op(static_cast<uint64_t>(as_long(o.l)), static_cast<uint64_t>(as_long(o.r)))));
    --s->count;
}
}  // namespace

void op_shl(ValueStack* s) { shift(s, true); }
void op_shr(ValueStack* s) { shift(s, false); }
void op_bor(ValueStack* s) { bitwise(s, [](auto a, auto b) { return a | b; }); }
void op_bxor(ValueStack* s) { bitwise(s, [](auto a, auto b) { return a ^ b; }); }
void op_band(ValueStack* s) { bitwise(s, [](auto a, auto b) { return a & b; }); }

namespace {
bool strings_equal(const WStr& a, const WStr& b) {
    if (a.length != b.length) return false;
    const WChar* x = a.text();
    const WChar* y = b.text();
    for (uint32_t i = 0; i < a.length; ++i) {
        if (x[i] != y[i]) return false;
        if (!x[i]) break;
    }
    return true;
}

bool equal(const Operands& o) {
    const Value& l = o.l;
    const Value& r = o.r;
    Num a = num(l), b = num(r);
    if (a && b) {
        if (a == kDouble || b == kDouble) return as_double(l) == as_double(r);
        if (a == kInt && b == kInt) return l.v.i == r.v.i;
        return as_long(l) == as_long(r);
    }
    switch (l.tag) {
        case kTagInt:
            if (r.tag == kTagBool || r.tag == kTagPointer) return l.v.u == r.v.u;
            break;
        case kTagBool:
            if (r.tag == kTagBool || r.tag == kTagInt) return l.v.u == r.v.u;
            break;
        case kTagPointer:
            if (r.tag == kTagPointer || r.tag == kTagInt) return l.v.u == r.v.u;
            break;
        case kTagString:
            if (r.tag == kTagString) return strings_equal(l.text, r.text);
            break;
        case kTagMethod:
            if (r.tag == kTagMethod) return l.v.m.Method == r.v.m.Method && l.v.m.Target == r.v.m.Target;
            break;
        default:
            break;
    }
    mismatch(o);
}

// -1, 0, 1, or 2 when unordered (a NaN).
int order(const Operands& o) {
    Num a = num(o.l), b = num(o.r);
    if (!a || !b) mismatch(o);
    if (a == kDouble || b == kDouble) {
        double x = as_double(o.l), y = as_double(o.r);
        if (x != x || y != y) return 2;
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a == kInt && b == kInt) return o.l.v.i < o.r.v.i ? -1 : o.l.v.i > o.r.v.i ? 1 : 0;
    int64_t x = as_long(o.l), y = as_long(o.r);
    return x < y ? -1 : x > y ? 1 : 0;
}
}  // namespace

void op_compare(ValueStack* s, int opcode) {
    Operands o = operands(s);
    bool result;
    switch (opcode) {
        case kOp_beq: result = equal(o); break;
        case kOp_bne: result = !equal(o); break;
        default: {
            int c = order(o);
            if (c == 2) result = false;
            else if (opcode == kOp_bgt) result = c > 0;
            else if (opcode == kOp_blt) result = c < 0;
            else if (opcode == kOp_bge) result = c >= 0;
            else result = c <= 0;
        }
    }
    o.l.tag = kTagBool;
    o.l.v.i = result ? 1 : 0;
    --s->count;
}

}  // namespace qel
