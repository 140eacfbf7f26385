// The operator and conversion tables of the interpreter, case by case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "image/opcodes.h"
#include "test_support.h"
#include "vm/exceptions.h"
#include "vm/operators.h"
#include "vm/runtime_error.h"
#include "vm/stack_ops.h"

using namespace qel;

namespace {

// A loaded runtime, so that runtime errors carry their messages in Exception objects.
class Ops : public ::testing::Test {
protected:
    void SetUp() override {
        image = qeltest::load("#include \"prelude/minimal.qsrc\"\n");
        ASSERT_TRUE(image.ok) << image.failure().what;
        st = &image.rt->stack;
        st->count = 0;
    }

    Value make(uint32_t tag) {
        Value v{};
        v.tag = tag;
        return v;
    }
    Value I(int32_t i) { Value v = make(kTagInt); v.v.i = i; return v; }
    Value L(int64_t l) { Value v = make(kTagLong); v.v.l = l; return v; }
    Value D(double d) { Value v = make(kTagDouble); v.v.d = d; return v; }
    Value B(bool b) { Value v = make(kTagBool); v.v.i = b; return v; }
    Value P(uint32_t p) { Value v = make(kTagPointer); v.v.u = p; return v; }
    // A string Value's text is given separately to run() and push().
    Value S(const char*) { return make(kTagString); }
    Value M(uintptr_t a, uintptr_t b) {
        Value v = make(kTagMethod);
        v.v.m.Method = reinterpret_cast<Instruction*>(a);
        v.v.m.Target = reinterpret_cast<void*>(b);
        return v;
    }

    std::string message_of(const qel_exception& e) {
        std::string m;
        WStr* w = exception_message(image.rt.get(), e.object);
        for (uint32_t i = 0; w && i < w->length; ++i) m += static_cast<char>(w->text()[i]);
        return m;
    }

    void push(const Value& v) {
        Value& slot = push_slot(st);
        slot.tag = v.tag;
        slot.v = v.v;
        if (v.tag == kTagString) slot.text.assignNarrow(pending_texts[st->count - 1].c_str());
    }

    // Runs op on (l, r); returns the error message, or "" with the result left in result.
    template <typename Op>
    std::string run(const Value& l, const std::string& lt, const Value& r, const std::string& rt, Op op) {
        st->count = 0;
        pending_texts[0] = lt;
        pending_texts[1] = rt;
        push(l);
        push(r);
        try {
            op(st);
        } catch (const qel_exception& e) {
            std::string m = message_of(e);
            return m.empty() ? "?" : m;
        }
        EXPECT_EQ(st->count, 1);
        result = st->slots[0];
        result_text.clear();
        for (uint32_t i = 0; i < result.text.length; ++i) result_text += static_cast<char>(result.text.text()[i]);
        return "";
    }
    template <typename Op>
    std::string run(const Value& l, const Value& r, Op op) {
        return run(l, "", r, "", op);
    }

    qeltest::Loaded image;
    ValueStack* st = nullptr;
    std::string pending_texts[2];
    Value result{};
    std::string result_text;
};

TEST_F(Ops, AddFollowsTheTypeTable) {
    EXPECT_EQ(run(I(2), I(3), op_add), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, 5);
    EXPECT_EQ(run(I(2147483647), I(1), op_add), "");
    EXPECT_EQ(result.v.i, -2147483647 - 1);  // wraps
    EXPECT_EQ(run(I(-1), L(5), op_add), "");
    EXPECT_EQ(result.tag, kTagLong);
    EXPECT_EQ(result.v.l, 4);
    EXPECT_EQ(run(L(1), D(0.5), op_add), "");
    EXPECT_EQ(result.tag, kTagDouble);
    EXPECT_EQ(result.v.d, 1.5);
    EXPECT_EQ(run(I(16), P(0x1000), op_add), "");
    EXPECT_EQ(result.tag, kTagPointer);
    EXPECT_EQ(result.v.u, 0x1010u);
    EXPECT_EQ(run(P(0x1000), I(4), op_add), "");
    EXPECT_EQ(result.tag, kTagPointer);
    EXPECT_EQ(run(S("ab"), "ab", S("cd"), "cd", op_add), "");
    EXPECT_EQ(result.tag, kTagString);
    EXPECT_EQ(result_text, "abcd");
    // Errors name the right operand's type first, the left one's second.
    EXPECT_EQ(run(I(1), "", S("x"), "x", op_add), "Cannot convert 'string' to 'int'");
    EXPECT_EQ(run(S("x"), "x", I(1), "", op_add), "Cannot convert 'int' to 'string'");
    EXPECT_EQ(run(L(1), P(1), op_add), "Cannot convert 'pointer' to 'long'");
    EXPECT_EQ(run(P(1), P(1), op_add), "Cannot convert 'pointer' to 'pointer'");
    EXPECT_EQ(run(B(true), I(1), op_add), "Cannot convert 'int' to 'bool'");
}

TEST_F(Ops, SubCoversPointersAndStringComparison) {
    EXPECT_EQ(run(P(0x1010), P(0x1000), op_sub), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, 16);
    EXPECT_EQ(run(S("abc"), "abc", S("abd"), "abd", op_sub), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, -1);
    EXPECT_EQ(run(S("abc"), "abc", S("abc"), "abc", op_sub), "");
    EXPECT_EQ(result.v.i, 0);
    EXPECT_EQ(run(S("b"), "b", S("abc"), "abc", op_sub), "");
    EXPECT_EQ(result.v.i, 1);
    EXPECT_EQ(run(P(8), I(4), op_sub), "Cannot convert 'int' to 'pointer'");
    EXPECT_EQ(run(I(-2147483647 - 1), I(1), op_sub), "");
    EXPECT_EQ(result.v.i, 2147483647);
}

TEST_F(Ops, MulAcceptsOnlyNumbers) {
    EXPECT_EQ(run(I(65536), I(65536), op_mul), "");
    EXPECT_EQ(result.v.i, 0);
    EXPECT_EQ(run(I(3), L(-4), op_mul), "");
    EXPECT_EQ(result.v.l, -12);
    EXPECT_EQ(run(S("a"), "a", S("b"), "b", op_mul), "Cannot convert 'string' to 'string'");
}

TEST_F(Ops, DivIsExactOrDouble) {
    EXPECT_EQ(run(I(7), I(2), op_div), "");
    EXPECT_EQ(result.tag, kTagDouble);
    EXPECT_EQ(result.v.d, 3.5);
    EXPECT_EQ(run(I(-8), I(2), op_div), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, -4);
    EXPECT_EQ(run(I(8), L(2), op_div), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, 4);
    EXPECT_EQ(run(L(9), I(3), op_div), "");
    EXPECT_EQ(result.tag, kTagLong);
    EXPECT_EQ(result.v.l, 3);
    EXPECT_EQ(run(L(9), L(2), op_div), "");
    EXPECT_EQ(result.tag, kTagDouble);
    EXPECT_EQ(result.v.d, 4.5);
    EXPECT_EQ(run(I(1), D(4), op_div), "");
    EXPECT_EQ(result.v.d, 0.25);
    EXPECT_EQ(run(I(1), I(0), op_div), "Division by zero.");
    EXPECT_EQ(run(D(1.0), D(0.0), op_div), "Division by zero.");
    EXPECT_EQ(run(D(1.0), D(-0.0), op_div), "Division by zero.");
    EXPECT_EQ(run(I(1), L(0), op_div), "Division by zero.");
    // The most negative values divided by -1 wrap instead of faulting.
    EXPECT_EQ(run(I(-2147483647 - 1), I(-1), op_div), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, -2147483647 - 1);
    EXPECT_EQ(run(L(std::numeric_limits<int64_t>::min()), L(-1), op_div), "");
    EXPECT_EQ(result.v.l, std::numeric_limits<int64_t>::min());
}

TEST_F(Ops, RemKeepsTheSignOfTheLeftOperand) {
    EXPECT_EQ(run(I(7), I(-2), op_rem), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, 1);
    EXPECT_EQ(run(I(-7), I(2), op_rem), "");
    EXPECT_EQ(result.v.i, -1);
    EXPECT_EQ(run(I(7), L(4), op_rem), "");
    EXPECT_EQ(result.tag, kTagLong);
    EXPECT_EQ(result.v.l, 3);
    EXPECT_EQ(run(I(-2147483647 - 1), I(-1), op_rem), "");
    EXPECT_EQ(result.v.i, 0);
    EXPECT_EQ(run(I(7), I(0), op_rem), "Division by zero.");
    EXPECT_EQ(run(D(7), I(2), op_rem), "Cannot convert 'int' to 'double'");
}

TEST_F(Ops, ShiftsMaskTheirCounts) {
    EXPECT_EQ(run(I(1), I(33), op_shl), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, 2);
    EXPECT_EQ(run(I(-16), I(2), op_shr), "");
    EXPECT_EQ(result.v.i, -4);  // arithmetic
    EXPECT_EQ(run(I(-1), L(36), op_shl), "");
    EXPECT_EQ(result.tag, kTagLong);
    EXPECT_EQ(result.v.l, -16);  // shifted as an int by 4, then sign-extended
    EXPECT_EQ(run(L(1), I(40), op_shl), "");
    EXPECT_EQ(result.v.l, int64_t(1) << 40);
    EXPECT_EQ(run(L(1), I(64), op_shl), "");
    EXPECT_EQ(result.v.l, 0);
    EXPECT_EQ(run(L(-8), I(200), op_shr), "");
    EXPECT_EQ(result.v.l, -1);
    EXPECT_EQ(run(L(1), I(256 + 3), op_shl), "");
    EXPECT_EQ(result.v.l, 8);  // low 8 bits of the count
}

TEST_F(Ops, BitOperatorsWidenToLong) {
    EXPECT_EQ(run(I(0xF0), I(0x3C), op_band), "");
    EXPECT_EQ(result.tag, kTagInt);
    EXPECT_EQ(result.v.i, 0x30);
    EXPECT_EQ(run(I(-1), L(0x100000000LL), op_bxor), "");
    EXPECT_EQ(result.tag, kTagLong);
    EXPECT_EQ(result.v.l, ~int64_t(0x100000000LL));
    EXPECT_EQ(run(I(1), D(1), op_bor), "Cannot convert 'double' to 'int'");
}

TEST_F(Ops, EqualityAcceptsItsPairsOnly) {
    auto eq = [](ValueStack* s) { op_compare(s, kOp_beq); };
    struct Case {
        Value l, r;
        bool equal;
    };
    const Case cases[] = {
        {I(5), I(5), true},          {I(5), B(true), false},     {I(1), B(true), true},
        {I(0), P(0), true},          {P(0x10), I(0x10), true},   {I(-1), L(-1), true},
        {I(-1), L(0xFFFFFFFF), false}, {L(7), I(7), true},       {I(1), D(1.0), true},
        {D(0.5), L(0), false},       {B(true), B(true), true},   {B(false), I(0), true},
        {M(1, 2), M(1, 2), true},    {M(1, 2), M(1, 3), false},  {D(NAN), D(NAN), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.l, c.r, eq), "");
        EXPECT_EQ(result.tag, kTagBool);
        EXPECT_EQ(result.v.i, c.equal ? 1 : 0);
        EXPECT_EQ(run(c.l, c.r, [](ValueStack* s) { op_compare(s, kOp_bne); }), "");
        EXPECT_EQ(result.v.i, c.equal ? 0 : 1);
    }
    EXPECT_EQ(run(S("ab"), "ab", S("ab"), "ab", eq), "");
    EXPECT_EQ(result.v.i, 1);
    EXPECT_EQ(run(S("ab"), "ab", S("abc"), "abc", eq), "");
    EXPECT_EQ(result.v.i, 0);
    EXPECT_EQ(run(P(1), "", S("x"), "x", eq), "Cannot convert 'string' to 'pointer'");
    EXPECT_EQ(run(B(true), P(1), eq), "Cannot convert 'pointer' to 'bool'");
    EXPECT_EQ(run(L(1), B(true), eq), "Cannot convert 'bool' to 'long'");
}

TEST_F(Ops, OrderingAcceptsNumbersOnly) {
    auto gt = [](ValueStack* s) { op_compare(s, kOp_bgt); };
    auto le = [](ValueStack* s) { op_compare(s, kOp_ble); };
    EXPECT_EQ(run(I(-1), I(1), gt), "");
    EXPECT_EQ(result.v.i, 0);
    EXPECT_EQ(run(L(0x100000000LL), I(1), gt), "");
    EXPECT_EQ(result.v.i, 1);
    EXPECT_EQ(run(I(2), D(1.5), gt), "");
    EXPECT_EQ(result.v.i, 1);
    EXPECT_EQ(run(D(NAN), I(1), le), "");
    EXPECT_EQ(result.v.i, 0);
    EXPECT_EQ(run(D(NAN), I(1), [](ValueStack* s) { op_compare(s, kOp_bge); }), "");
    EXPECT_EQ(result.v.i, 0);
    EXPECT_EQ(run(S("a"), "a", S("b"), "b", gt), "Cannot convert 'string' to 'string'");
}

TEST_F(Ops, TypedPopsConvertOrRaise) {
    // Truth of every kind PopBool accepts.
    EXPECT_FALSE(value_truth(S("")));
    Value zeroText = S("0");
    zeroText.text.assignNarrow("0");
    EXPECT_TRUE(value_truth(zeroText));
    zeroText.text.clear();
    EXPECT_TRUE(value_truth(L(4294967296LL)));
    EXPECT_TRUE(value_truth(D(NAN)));
    EXPECT_FALSE(value_truth(D(0.0)));
    EXPECT_FALSE(value_truth(D(-0.0)));
    EXPECT_TRUE(value_truth(M(0, 1)));
    EXPECT_FALSE(value_truth(M(0, 0)));

    auto pop_error = [&](const Value& v, auto pop) -> std::string {
        st->count = 0;
        pending_texts[0] = "";
        push(v);
        try {
            pop(st);
        } catch (const qel_exception& e) {
            return message_of(e);
        }
        return "";
    };
    EXPECT_EQ(pop_error(D(1.5), pop_int), "Cannot convert 'double' to 'int'");
    EXPECT_EQ(pop_error(B(true), pop_int), "");
    EXPECT_EQ(pop_error(L(1), pop_int), "Cannot convert 'long' to 'int'");
    EXPECT_EQ(pop_error(S(""), pop_long), "Cannot convert 'string' to 'long'");
    EXPECT_EQ(pop_error(I(1), pop_double), "");
    EXPECT_EQ(pop_error(P(1), pop_double), "Cannot convert 'pointer' to 'double'");
    EXPECT_EQ(pop_error(I(3), pop_pointer), "");
    EXPECT_EQ(pop_error(L(3), pop_pointer), "Cannot convert 'long' to 'pointer'");
    EXPECT_EQ(pop_error(I(0), pop_method), "");
    EXPECT_EQ(pop_error(I(1), pop_method), "Cannot convert 'int' to 'method'");
    EXPECT_EQ(pop_error(I(1), [](ValueStack* s) { return &pop_string(s); }), "Cannot convert 'int' to 'string'");
    Value bad = make(13);
    EXPECT_EQ(pop_error(bad, pop_bool), "Cannot convert 'undefined type' to 'bool'");
    st->count = 0;
    EXPECT_EQ(pop_error(I(1), [](ValueStack* s) { s->count = 0; return pop_int(s); }), "Stack underflow");
}

TEST_F(Ops, StoringIntoVariablesFollowsTheirCodes) {
    Frame f{};
    f.stack = st;
    const char codes[] = "icemlfdbt";
    f.var_codes = codes;
    f.var_count = 9;
    auto store = [&](int index, const Value& v) -> std::string {
        st->count = 0;
        push(v);
        try {
            pop_stack_to_variable(&f, index);
        } catch (const qel_exception& e) {
            return message_of(e);
        }
        return "";
    };
    EXPECT_EQ(store(0, D(2.0)), "Cannot convert 'double' to 'int'");
    EXPECT_EQ(store(6, I(3)), "");
    EXPECT_EQ(*reinterpret_cast<double*>(&f.vars[6]), 3.0);
    EXPECT_EQ(store(4, S("x")), "Cannot convert 'string' to 'long'");
    EXPECT_EQ(store(8, I(0)), "");
    EXPECT_EQ(f.vars[8], 0u);
    EXPECT_EQ(store(8, I(1)), "Cannot convert 'int' to 'method'");
    EXPECT_EQ(store(1, I(0x1FFFF)), "");
    EXPECT_EQ(*reinterpret_cast<uint16_t*>(&f.vars[1]), 0xFFFF);
    EXPECT_EQ(store(2, I(0x1FF)), "");
    EXPECT_EQ(*reinterpret_cast<int8_t*>(&f.vars[2]), -1);
    EXPECT_EQ(store(7, S("")), "");  // an empty string is false
    EXPECT_EQ(*reinterpret_cast<uint8_t*>(&f.vars[7]), 0);
    const char bogus[] = "x";
    f.var_codes = bogus;
    EXPECT_EQ(store(0, I(1)), "Stack Error : pop_stack_to_variable");
}

}  // namespace
