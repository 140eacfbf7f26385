// The native pointer classes: newobj of every class and the members of each, through the hooks
// the interpreter calls (callreal, ldnpp, stnpp), on real blocks.
#include <cinttypes>
#include <cstdio>
#include <initializer_list>

#include "builtin_harness.h"
#include "image/opcodes.h"
#include "native/native_classes.h"

using namespace qel;

namespace {

struct Arg {
    char kind;  // i int, l long, d double, b bool, s string, p pointer
    int64_t i = 0;
    double d = 0;
    std::u16string s;
};
Arg I(int64_t v) { return Arg{'i', v}; }
Arg L(int64_t v) { return Arg{'l', v}; }
Arg D(double v) { return Arg{'d', 0, v}; }
Arg B(bool v) { return Arg{'b', v}; }
Arg S(std::u16string v) { return Arg{'s', 0, 0, std::move(v)}; }
Arg P(const void* v) { return Arg{'p', static_cast<int64_t>(reinterpret_cast<uintptr_t>(v))}; }

class NativeMembers : public qeltest::Builtins {
public:
    void push(const Arg& a) {
        switch (a.kind) {
            case 'i': i(static_cast<int32_t>(a.i)); break;
            case 'l': l(a.i); break;
            case 'd': d(a.d); break;
            case 'b': b(a.i != 0); break;
            case 's': s(a.s); break;
            default: p(reinterpret_cast<void*>(static_cast<uintptr_t>(a.i))); break;
        }
    }
    // What is left on the stack, printed and taken off; the message of a runtime error instead.
    std::string rest() {
        std::string out;
        for (int k = 0; k < count(); ++k) {
            const Value& v = st->slots[k];
            char buf[64] = "";
            switch (v.tag) {
                case kTagInt: std::snprintf(buf, sizeof buf, "%d", v.v.i); break;
                case kTagBool: std::snprintf(buf, sizeof buf, "%s", v.v.i ? "True" : "False"); break;
                case kTagLong: std::snprintf(buf, sizeof buf, "%" PRId64, v.v.l); break;
                case kTagDouble: std::snprintf(buf, sizeof buf, "%.15g", v.v.d); break;
                case kTagPointer: last = v.v.p; std::snprintf(buf, sizeof buf, "pointer"); break;
                case kTagString: out += (out.empty() ? "" : " ") + utf8(v.text); continue;
            }
            out += (out.empty() ? "" : " ") + std::string(buf);
        }
        reset();
        return out;
    }
    // op: "Class.member" for callreal, "?Class.member" for ldnpp, "=Class.member" for stnpp.
    std::string run(void* object, const std::string& op, std::initializer_list<Arg> args = {}) {
        reset();
        for (const Arg& a : args) push(a);
        const int opcode = op[0] == '?' ? kOp_ldnpp : op[0] == '=' ? kOp_stnpp : kOp_callreal;
        const std::string spec = op[0] == '?' || op[0] == '=' ? op.substr(1) : op;
        std::string cls = spec.substr(0, spec.find('.')), member = spec.substr(spec.find('.') + 1);
        Instruction ins{};
        ins.opcode = opcode;
        ins.name = cls.data();
        ins.name2 = member.data();
        try {
            native_member(image.rt.get(), &frame, object, &ins);
        } catch (const qel_exception& e) {
            reset();
            return message_of(e.object);
        }
        return rest();
    }
    void* make(const char* cls, std::initializer_list<Arg> args) {
        reset();
        for (const Arg& a : args) push(a);
        void* block = native_object_create(image.rt.get(), cls, &frame);
        EXPECT_EQ(count(), 0) << cls << " did not take its argument";
        return block;
    }
    void* last = nullptr;
};

}  // namespace

TEST_F(NativeMembers, ScalarClassesReadAndWriteByElementIndex) {
    struct Case {
        const char* cls;
        Arg value;         // written to element 1
        std::string read;  // element 1 read back
        std::string zero;  // element 0, never written
    } cases[] = {
        {"PInt", I(-7), "-7", "0"},
        {"PDouble", D(2.5), "2.5", "0"},
        {"PDouble", I(3), "3", "0"},                        // an int is taken as a double
        {"PFloat", D(0.1), "0.100000001490116", "0"},       // rounded to single, read widened
        {"PBool", S(u"yes"), "True", "False"},              // any true value stores 1
        {"PShort", I(70000), "4464", "0"},                  // the low 16 bits
        {"PShort", I(40000), "-25536", "0"},                // read sign-extended
        {"PLong", L(4294967296), "4294967296", "0"},
        {"PLong", I(-1), "-1", "0"},                        // an int sign-extended
        {"PByte", I(255), "-1", "0"},
        {"PAnsiChar", I(510), "-2", "0"},                   // the low 8 bits, read signed
        {"PChar", I(65535), "-1", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cls);
        void* block = make(c.cls, {I(3)});
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(run(block, std::string(c.cls) + ".Write", {I(1), c.value}), "");
        EXPECT_EQ(run(block, std::string(c.cls) + ".Read", {I(1)}), c.read);
        EXPECT_EQ(run(block, std::string(c.cls) + ".Read", {I(0)}), c.zero);
        EXPECT_EQ(run(block, std::string(c.cls) + ".Free"), "");
    }
    void* block = make("PPointer", {I(1)});
    EXPECT_EQ(run(block, "PPointer.Write", {I(0), P(&frame)}), "");
    EXPECT_EQ(run(block, "PPointer.Read", {I(0)}), "pointer");
    EXPECT_EQ(last, &frame);
    // The class in the instruction decides how the memory reads.
    EXPECT_EQ(run(block, "PInt.Write", {I(0), I(0x1FF)}), "");
    EXPECT_EQ(run(block, "PByte.URead", {I(0)}), "255");
    EXPECT_EQ(run(block, "?PByte.uvalue"), "255");
    EXPECT_EQ(run(block, "=PByte.uvalue", {I(0x141)}), "");
    EXPECT_EQ(run(block, "PByte.Read", {I(0)}), "65");
    EXPECT_EQ(run(block, "PByte.Read", {I(1)}), "1");
    EXPECT_EQ(run(block, "PChar.Free"), "");
}

TEST_F(NativeMembers, CharacterClassesAndTheirText) {
    void* a = make("PAnsiCharArray", {S(u"abc")});
    EXPECT_EQ(run(a, "?PAnsiChar.str"), "abc");
    EXPECT_EQ(run(a, "?PAnsiChar.Length"), "3");
    EXPECT_EQ(run(a, "PAnsiChar.Read", {I(0)}), "97");
    EXPECT_EQ(run(a, "PAnsiChar.Free"), "");
    // UTF-8 of e-acute: Decode(2) gives the one unit; any other mode pushes nothing
    void* u = make("PAnsiCharArrayUTF8", {S(u"\u00e9")});
    EXPECT_EQ(run(u, "PByte.URead", {I(0)}) + " " + run(u, "PByte.URead", {I(1)}), "195 169");
    EXPECT_EQ(run(u, "PAnsiChar.Decode", {I(2)}), "\u00e9");
    EXPECT_EQ(run(u, "PAnsiChar.Decode", {I(9), I(1)}), "9");
    EXPECT_EQ(run(u, "PAnsiChar.Free"), "");
    // PCharArray of "abc": the UTF-16 text and a 0 unit
    void* w = make("PCharArray", {S(u"abc")});
    EXPECT_EQ(run(w, "?PChar.str"), "abc");
    EXPECT_EQ(run(w, "?PChar.Length"), "3");
    EXPECT_EQ(run(w, "PInt.Read", {I(1)}), std::to_string('c'));  // 'c' and the terminating 0
    EXPECT_EQ(run(w, "PChar.Write", {I(1), I(0)}), "");
    EXPECT_EQ(run(w, "?PChar.str"), "a");
    EXPECT_EQ(run(w, "PInt.Free"), "");
}

TEST_F(NativeMembers, CountedArraysOfStrings) {
    void* s = make("PString", {I(3)});
    EXPECT_EQ(run(s, "PInt.Read", {I(-1)}), "3");  // the count before element 0
    EXPECT_EQ(run(s, "PString.Write", {I(1), S(u"ab")}), "");
    EXPECT_EQ(run(s, "PString.Read", {I(1)}), "ab");
    EXPECT_EQ(run(s, "?PString.Length"), "0");     // element 0's
    EXPECT_EQ(run(s, "PString.c_str"), "pointer");
    EXPECT_EQ(run(last, "?PChar.str"), "");        // the shared empty text
    EXPECT_EQ(run(s, "PString.Write", {I(0), S(u"xyz")}), "");
    EXPECT_EQ(run(s, "?PString.Length"), "3");
    EXPECT_EQ(run(s, "PString.c_str"), "pointer");
    EXPECT_EQ(run(last, "?PChar.str"), "xyz");
    EXPECT_EQ(run(s, "PString.Free"), "");

    void* a = make("PAnsiString", {I(2)});
    EXPECT_EQ(run(a, "PAnsiString.Read", {I(0)}), "");
    EXPECT_EQ(run(a, "PAnsiString.c_str"), "pointer");
    EXPECT_EQ(run(last, "?PAnsiChar.str"), "");
    EXPECT_EQ(run(a, "PAnsiString.Write", {I(1), S(u"hey")}), "");
    EXPECT_EQ(run(a, "PAnsiString.Write", {I(1), S(u"hello")}), "");  // the old text is freed
    EXPECT_EQ(run(a, "PAnsiString.Read", {I(1)}), "hello");
    EXPECT_EQ(run(a, "PInt.Read", {I(3)}), "5");  // element 1's length
    EXPECT_EQ(run(a, "PAnsiString.Free"), "");
    // A null counted array is ignored by Free; a negative count makes no block.
    EXPECT_EQ(run(nullptr, "PString.Free"), "");
    EXPECT_EQ(run(nullptr, "PAnsiString.Free"), "");
    EXPECT_EQ(make("PString", {I(-1)}), nullptr);
    EXPECT_EQ(make("PInt", {I(-1)}), nullptr);
}

TEST_F(NativeMembers, WhatTheTablesDoNotListTakesOnlyThePointer) {
    void* block = make("PInt", {I(2)});
    // An unknown member, an instruction kind the member does not have, an unknown class.
    EXPECT_EQ(run(block, "PInt.NoSuchMember", {I(5)}), "5");
    EXPECT_EQ(run(block, "?PInt.Read", {I(5)}), "5");
    EXPECT_EQ(run(block, "=PChar.str", {I(5)}), "5");
    EXPECT_EQ(run(block, "PNoSuchClass.Read", {I(5)}), "5");
    // A wrong kind stores nothing; a null or low address is an error, not a crash.
    EXPECT_EQ(run(block, "PInt.Write", {I(0), S(u"text")}), "Cannot convert 'string' to 'int'");
    EXPECT_EQ(run(block, "PInt.Read", {I(0)}), "0");
    EXPECT_EQ(run(nullptr, "PInt.Read", {I(0)}), "Native memory access at an invalid address");
    EXPECT_EQ(run(reinterpret_cast<void*>(16), "?PChar.str"), "Native memory access at an invalid address");
    EXPECT_EQ(run(block, "PInt.Free"), "");
    EXPECT_EQ(make("PNoSuchClass", {}), nullptr);
}
