// The operator and conversion tables of the interpreter. Values are written as kind:payload
// (i:5 int, l:-5 long, d:0.5 double, b:1 bool, p:16 pointer, s:abc string, m:1,2 method, u:13
// a tag no Value has); an expected "!text" is the message of the runtime error.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/opcodes.h"
#include "test_support.h"
#include "vm/exceptions.h"
#include "vm/operators.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

using namespace qel;

namespace {

class Ops : public ::testing::Test {
protected:
    // A loaded runtime, so that runtime errors carry their messages in Exception objects.
    void SetUp() override {
        image = qeltest::load("#include \"prelude/minimal.qsrc\"\n");
        ASSERT_TRUE(image.ok) << image.failure().what;
        st = &image.rt->stack;
        st->count = 0;
    }

    void push(const std::string& v) {
        Value& slot = push_slot(st);
        const char kind = v[0];
        const std::string body = v.substr(2);
        slot.tag = kind == 'i' ? kTagInt : kind == 'l' ? kTagLong : kind == 'd' ? kTagDouble : kind == 'b' ? kTagBool
                 : kind == 'p' ? kTagPointer : kind == 's' ? kTagString : kind == 'm' ? kTagMethod
                               : static_cast<uint32_t>(std::atoi(body.c_str()));
        slot.v.l = 0;
        switch (kind) {
            case 'i': case 'b': case 'p': slot.v.u = static_cast<uint32_t>(std::strtoll(body.c_str(), nullptr, 0)); break;
            case 'l': slot.v.l = std::strtoll(body.c_str(), nullptr, 0); break;
            case 'd': slot.v.d = std::strtod(body.c_str(), nullptr); break;
            case 's': slot.text.assign_narrow(body.c_str()); break;
            case 'm':
                slot.v.m.Method = reinterpret_cast<Instruction*>(std::atoi(body.c_str()));
                slot.v.m.Target = reinterpret_cast<void*>(std::atoi(body.c_str() + body.find(',') + 1));
                break;
        }
    }

    // The top Value in the notation above.
    std::string top() {
        const Value& v = st->slots[st->count - 1];
        char buf[64];
        switch (v.tag) {
            case kTagInt: return "i:" + std::to_string(v.v.i);
            case kTagLong: return "l:" + std::to_string(v.v.l);
            case kTagBool: return "b:" + std::to_string(v.v.i);
            case kTagPointer: return "p:" + std::to_string(v.v.u);
            case kTagDouble: std::snprintf(buf, sizeof buf, "d:%.17g", v.v.d); return buf;
            case kTagString: {
                std::string s = "s:";
                for (uint32_t k = 0; k < v.text.length; ++k) s += static_cast<char>(v.text.text()[k]);
                return s;
            }
            default: return "?";
        }
    }

    std::string message_of(const qel_exception& e) {
        std::string m = "!";
        WStr* w = exception_message(image.rt.get(), e.object);
        for (uint32_t i = 0; w && i < w->length; ++i) m += static_cast<char>(w->text()[i]);
        return m;
    }

    // Runs a binary operator on (l, r): the result in the notation, or "!message".
    std::string binary(const char* op, const std::string& l, const std::string& r) {
        st->count = 0;
        push(l);
        push(r);
        const std::string name = op;
        try {
            if (name == "add") op_add(st);
            else if (name == "sub") op_sub(st);
            else if (name == "mul") op_mul(st);
            else if (name == "div") op_div(st);
            else if (name == "rem") op_rem(st);
            else if (name == "shl") op_shl(st);
            else if (name == "shr") op_shr(st);
            else if (name == "bor") op_bor(st);
            else if (name == "bxor") op_bxor(st);
            else if (name == "band") op_band(st);
            else op_compare(st, opcode_by_mnemonic(op)->number);
        } catch (const qel_exception& e) {
            return message_of(e);
        }
        EXPECT_EQ(st->count, 1) << op << " " << l << " " << r;
        return top();
    }

    qeltest::Loaded image;
    ValueStack* st = nullptr;
};

struct Case {
    const char* op;
    const char* l;
    const char* r;
    const char* result;
};

const Case kCases[] = {
    // add: int with int stays int and wraps; a long widens; a double wins; pointer sums.
    {"add", "i:2", "i:3", "i:5"},
    {"add", "i:2147483647", "i:1", "i:-2147483648"},
    {"add", "i:-1", "l:5", "l:4"},
    {"add", "l:1", "d:0.5", "d:1.5"},
    {"add", "i:16", "p:4096", "p:4112"},
    {"add", "p:4096", "i:4", "p:4100"},
    {"add", "s:ab", "s:cd", "s:abcd"},
    // Errors name the right operand's type first, the left one's second.
    {"add", "i:1", "s:x", "!Cannot convert 'string' to 'int'"},
    {"add", "s:x", "i:1", "!Cannot convert 'int' to 'string'"},
    {"add", "l:1", "p:1", "!Cannot convert 'pointer' to 'long'"},
    {"add", "p:1", "p:1", "!Cannot convert 'pointer' to 'pointer'"},
    {"add", "b:1", "i:1", "!Cannot convert 'int' to 'bool'"},
    // sub: pointer difference, string comparison as unsigned units.
    {"sub", "p:4112", "p:4096", "i:16"},
    {"sub", "s:abc", "s:abd", "i:-1"},
    {"sub", "s:abc", "s:abc", "i:0"},
    {"sub", "s:b", "s:abc", "i:1"},
    {"sub", "p:8", "i:4", "!Cannot convert 'int' to 'pointer'"},
    {"sub", "i:-2147483648", "i:1", "i:2147483647"},
    {"mul", "i:65536", "i:65536", "i:0"},
    {"mul", "i:3", "l:-4", "l:-12"},
    {"mul", "s:a", "s:b", "!Cannot convert 'string' to 'string'"},
    // div: int when exact, double otherwise; zero divisors of every kind fail.
    {"div", "i:7", "i:2", "d:3.5"},
    {"div", "i:-8", "i:2", "i:-4"},
    {"div", "i:8", "l:2", "i:4"},
    {"div", "l:9", "i:3", "l:3"},
    {"div", "l:9", "l:2", "d:4.5"},
    {"div", "i:1", "d:4", "d:0.25"},
    {"div", "i:1", "i:0", "!Division by zero."},
    {"div", "d:1", "d:0", "!Division by zero."},
    {"div", "d:1", "d:-0.0", "!Division by zero."},
    {"div", "i:1", "l:0", "!Division by zero."},
    {"div", "i:-2147483648", "i:-1", "i:-2147483648"},  // wraps instead of faulting
    {"div", "l:-9223372036854775808", "l:-1", "l:-9223372036854775808"},
    // rem: the sign of the left operand; a long makes a long.
    {"rem", "i:7", "i:-2", "i:1"},
    {"rem", "i:-7", "i:2", "i:-1"},
    {"rem", "i:7", "l:4", "l:3"},
    {"rem", "i:-2147483648", "i:-1", "i:0"},
    {"rem", "i:7", "i:0", "!Division by zero."},
    {"rem", "d:7", "i:2", "!Cannot convert 'int' to 'double'"},
    // shifts: 5 bits of the count for ints, 8 for longs.
    {"shl", "i:1", "i:33", "i:2"},
    {"shr", "i:-16", "i:2", "i:-4"},
    {"shl", "i:-1", "l:36", "l:-16"},
    {"shl", "l:1", "i:40", "l:1099511627776"},
    {"shl", "l:1", "i:64", "l:0"},
    {"shr", "l:-8", "i:200", "l:-1"},
    {"shl", "l:1", "i:259", "l:8"},      // the low 8 bits of the count
    {"shl", "l:1", "i:321", "l:0"},      // 65: past the 64 bits
    {"band", "i:240", "i:60", "i:48"},
    {"bxor", "i:-1", "l:4294967296", "l:-4294967297"},
    {"bor", "i:1", "d:1", "!Cannot convert 'double' to 'int'"},
    // Equality accepts its pairs only.
    {"beq", "i:5", "i:5", "b:1"},
    {"beq", "i:5", "b:1", "b:0"},
    {"beq", "i:1", "b:1", "b:1"},
    {"beq", "i:0", "p:0", "b:1"},
    {"beq", "p:16", "i:16", "b:1"},
    {"beq", "i:-1", "l:-1", "b:1"},
    {"beq", "i:-1", "l:4294967295", "b:0"},
    {"beq", "i:1", "d:1", "b:1"},
    {"beq", "b:0", "i:0", "b:1"},
    {"beq", "m:1,2", "m:1,2", "b:1"},
    {"beq", "m:1,2", "m:1,3", "b:0"},
    {"beq", "d:nan", "d:nan", "b:0"},
    {"bne", "d:nan", "d:nan", "b:1"},
    {"bne", "s:ab", "s:abc", "b:1"},
    {"beq", "s:ab", "s:ab", "b:1"},
    {"beq", "p:1", "s:x", "!Cannot convert 'string' to 'pointer'"},
    {"beq", "b:1", "p:1", "!Cannot convert 'pointer' to 'bool'"},
    {"beq", "l:1", "b:1", "!Cannot convert 'bool' to 'long'"},
    // Ordering accepts numbers only; a NaN makes every ordering false.
    {"bgt", "i:-1", "i:1", "b:0"},
    {"bgt", "l:4294967296", "i:1", "b:1"},
    {"bgt", "i:2", "d:1.5", "b:1"},
    {"ble", "d:nan", "i:1", "b:0"},
    {"bge", "d:nan", "i:1", "b:0"},
    {"blt", "i:1", "i:2", "b:1"},
    {"bgt", "s:a", "s:b", "!Cannot convert 'string' to 'string'"},
};

TEST_F(Ops, BinaryOperatorsFollowTheTypeTables) {
    for (const Case& c : kCases) EXPECT_EQ(binary(c.op, c.l, c.r), c.result) << c.op << " " << c.l << " " << c.r;
}

TEST_F(Ops, TypedPopsConvertOrRaise) {
    struct Pop {
        const char* value;
        std::string (*pop)(ValueStack*);
        const char* result;
    };
    static const Pop kPops[] = {
        {"s:", [](ValueStack* s) { return std::to_string(pop_bool(s)); }, "0"},
        {"s:0", [](ValueStack* s) { return std::to_string(pop_bool(s)); }, "1"},
        {"l:4294967296", [](ValueStack* s) { return std::to_string(pop_bool(s)); }, "1"},
        {"d:nan", [](ValueStack* s) { return std::to_string(pop_bool(s)); }, "1"},
        {"d:-0.0", [](ValueStack* s) { return std::to_string(pop_bool(s)); }, "0"},
        {"m:0,1", [](ValueStack* s) { return std::to_string(pop_bool(s)); }, "1"},
        {"u:13", [](ValueStack* s) { return std::to_string(pop_bool(s)); }, "!Cannot convert 'undefined type' to 'bool'"},
        {"d:1.5", [](ValueStack* s) { return std::to_string(pop_int(s)); }, "!Cannot convert 'double' to 'int'"},
        {"b:1", [](ValueStack* s) { return std::to_string(pop_int(s)); }, "1"},
        {"l:1", [](ValueStack* s) { return std::to_string(pop_int(s)); }, "!Cannot convert 'long' to 'int'"},
        {"s:", [](ValueStack* s) { return std::to_string(pop_long(s)); }, "!Cannot convert 'string' to 'long'"},
        {"i:-3", [](ValueStack* s) { return std::to_string(pop_long(s)); }, "-3"},
        {"p:1", [](ValueStack* s) { return std::to_string(pop_double(s)); }, "!Cannot convert 'pointer' to 'double'"},
        {"l:3", [](ValueStack* s) { return std::to_string(reinterpret_cast<uintptr_t>(pop_pointer(s))); },
         "!Cannot convert 'long' to 'pointer'"},
        {"i:0", [](ValueStack* s) { return std::to_string(pop_method(s).Target == nullptr); }, "1"},
        {"i:1", [](ValueStack* s) { return std::to_string(pop_method(s).Target == nullptr); },
         "!Cannot convert 'int' to 'method'"},
        {"i:1", [](ValueStack* s) { return std::to_string(pop_string(s).length); }, "!Cannot convert 'int' to 'string'"},
        {"s:abc", [](ValueStack* s) { return std::to_string(pop_native_int(s) != 0); }, "1"},
    };
    for (const Pop& p : kPops) {
        st->count = 0;
        push(p.value);
        std::string got;
        try {
            got = p.pop(st);
        } catch (const qel_exception& e) {
            got = message_of(e);
        }
        EXPECT_EQ(got, p.result) << p.value;
    }
    st->count = 0;
    try {
        pop_int(st);
        ADD_FAILURE() << "popping an empty stack";
    } catch (const qel_exception& e) {
        EXPECT_EQ(message_of(e), "!Stack underflow");
    }
}

TEST_F(Ops, StoringIntoVariablesFollowsTheirCodes) {
    Frame f{};
    f.stack = st;
    const char codes[] = "icemlfdbt";
    f.var_codes = codes;
    f.var_count = 9;
    struct Store {
        int index;
        const char* value;
        const char* error;
        uint64_t bits;  // the variable's slot afterwards, when the store succeeds
    };
    const double three = 3.0;
    uint64_t threeBits;
    std::memcpy(&threeBits, &three, sizeof threeBits);
    const Store kStores[] = {
        {0, "d:2", "!Cannot convert 'double' to 'int'", 0},
        {6, "i:3", "", threeBits},
        {4, "s:x", "!Cannot convert 'string' to 'long'", 0},
        {8, "i:0", "", 0},
        {8, "i:1", "!Cannot convert 'int' to 'method'", 0},
        {1, "i:131071", "", 0xFFFF},  // low 16 bits
        {2, "i:511", "", 0xFF},       // low 8 bits
        {7, "s:", "", 0},             // an empty string is false
        {7, "s:no", "", 1},
    };
    for (const Store& s : kStores) {
        f.vars[s.index] = 0;
        st->count = 0;
        push(s.value);
        std::string got;
        try {
            pop_stack_to_variable(&f, s.index);
        } catch (const qel_exception& e) {
            got = message_of(e);
        }
        EXPECT_EQ(got, s.error) << s.index << " " << s.value;
        if (!*s.error) EXPECT_EQ(f.vars[s.index], s.bits) << s.index << " " << s.value;
    }
    const char bogus[] = "x";
    f.var_codes = bogus;
    st->count = 0;
    push("i:1");
    try {
        pop_stack_to_variable(&f, 0);
        ADD_FAILURE() << "an unknown variable code";
    } catch (const qel_exception& e) {
        EXPECT_EQ(message_of(e), "!Stack Error : pop_stack_to_variable");
    }
}

}  // namespace
