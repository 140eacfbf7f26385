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

using qeltest::Arg;
using qeltest::Ptr;

class NativeMembers : public qeltest::Builtins {
public:
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
        const std::string target = op[0] == '?' || op[0] == '=' ? op.substr(1) : op;
        std::string cls = target.substr(0, target.find('.')), member = target.substr(target.find('.') + 1);
        Instruction ins{};
        ins.opcode = opcode;
        ins.name = cls.data();
        ins.name2 = member.data();
        try {
            native_member(image.rt.get(), &frame, object, &ins);
        } catch (const qel_exception& e) {
            reset();
            qel::WStr* w = exception_message(image.rt.get(), e.object);
            return w ? utf8(*w) : "?";
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
        {"PInt", -7, "-7", "0"}, {"PDouble", 2.5, "2.5", "0"},
        {"PDouble", 3, "3", "0"},                        // an int is taken as a double
        {"PFloat", 0.1, "0.100000001490116", "0"},       // rounded to single, read widened
        {"PBool", std::u16string(u"yes"), "True", "False"},              // any true value stores 1
        {"PShort", 70000, "4464", "0"},                  // the low 16 bits
        {"PShort", 40000, "-25536", "0"},                // read sign-extended
        {"PLong", int64_t{4294967296}, "4294967296", "0"},
        {"PLong", -1, "-1", "0"},                        // an int sign-extended
        {"PByte", 255, "-1", "0"},
        {"PAnsiChar", 510, "-2", "0"},                   // the low 8 bits, read signed
        {"PChar", 65535, "-1", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cls);
        void* block = make(c.cls, {3});
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(run(block, std::string(c.cls) + ".Write", {1, c.value}), "");
        EXPECT_EQ(run(block, std::string(c.cls) + ".Read", {1}), c.read);
        EXPECT_EQ(run(block, std::string(c.cls) + ".Read", {0}), c.zero);
        EXPECT_EQ(run(block, std::string(c.cls) + ".Free"), "");
    }
    void* block = make("PPointer", {1});
    EXPECT_EQ(run(block, "PPointer.Write", {0, Ptr{&frame}}), "");
    EXPECT_EQ(run(block, "PPointer.Read", {0}), "pointer");
    EXPECT_EQ(last, &frame);
    // The class in the instruction decides how the memory reads.
    EXPECT_EQ(run(block, "PInt.Write", {0, 0x1FF}), "");
    EXPECT_EQ(run(block, "PByte.URead", {0}), "255");
    EXPECT_EQ(run(block, "?PByte.uvalue"), "255");
    EXPECT_EQ(run(block, "=PByte.uvalue", {0x141}), "");
    EXPECT_EQ(run(block, "PByte.Read", {0}), "65");
    EXPECT_EQ(run(block, "PByte.Read", {1}), "1");
    EXPECT_EQ(run(block, "PChar.Free"), "");
}

TEST_F(NativeMembers, CharacterClassesAndTheirText) {
    void* a = make("PAnsiCharArray", {std::u16string(u"abc")});
    EXPECT_EQ(run(a, "?PAnsiChar.str"), "abc");
    EXPECT_EQ(run(a, "?PAnsiChar.Length"), "3");
    EXPECT_EQ(run(a, "PAnsiChar.Read", {0}), "97");
    EXPECT_EQ(run(a, "PAnsiChar.Free"), "");
    // UTF-8 of e-acute: Decode(2) gives the one unit; any other mode pushes nothing
    void* u = make("PAnsiCharArrayUTF8", {std::u16string(u"\u00e9")});
    EXPECT_EQ(run(u, "PByte.URead", {0}) + " " + run(u, "PByte.URead", {1}), "195 169");
    EXPECT_EQ(run(u, "PAnsiChar.Decode", {2}), "\u00e9");
    EXPECT_EQ(run(u, "PAnsiChar.Decode", {9, 1}), "9");
    EXPECT_EQ(run(u, "PAnsiChar.Free"), "");
    // PCharArray of "abc": the UTF-16 text and a 0 unit
    void* w = make("PCharArray", {std::u16string(u"abc")});
    EXPECT_EQ(run(w, "?PChar.str"), "abc");
    EXPECT_EQ(run(w, "?PChar.Length"), "3");
    EXPECT_EQ(run(w, "PInt.Read", {1}), std::to_string('c'));  // 'c' and the terminating 0
    EXPECT_EQ(run(w, "PChar.Write", {1, 0}), "");
    EXPECT_EQ(run(w, "?PChar.str"), "a");
    EXPECT_EQ(run(w, "PInt.Free"), "");
}

TEST_F(NativeMembers, CountedArraysOfStrings) {
    void* s = make("PString", {3});
    EXPECT_EQ(run(s, "PInt.Read", {-1}), "3");  // the count before element 0
    EXPECT_EQ(run(s, "PString.Write", {1, std::u16string(u"ab")}), "");
    EXPECT_EQ(run(s, "PString.Read", {1}), "ab");
    EXPECT_EQ(run(s, "?PString.Length"), "0");     // element 0's
    EXPECT_EQ(run(s, "PString.c_str"), "pointer");
    EXPECT_EQ(run(last, "?PChar.str"), "");        // the shared empty text
    EXPECT_EQ(run(s, "PString.Write", {0, std::u16string(u"xyz")}), "");
    EXPECT_EQ(run(s, "?PString.Length"), "3");
    EXPECT_EQ(run(s, "PString.c_str"), "pointer");
    EXPECT_EQ(run(last, "?PChar.str"), "xyz");
    EXPECT_EQ(run(s, "PString.Free"), "");

    void* a = make("PAnsiString", {2});
    EXPECT_EQ(run(a, "PAnsiString.Read", {0}), "");
    EXPECT_EQ(run(a, "PAnsiString.c_str"), "pointer");
    EXPECT_EQ(run(last, "?PAnsiChar.str"), "");
    EXPECT_EQ(run(a, "PAnsiString.Write", {1, std::u16string(u"hey")}), "");
    EXPECT_EQ(run(a, "PAnsiString.Write", {1, std::u16string(u"hello")}), "");  // the old text is freed
    EXPECT_EQ(run(a, "PAnsiString.Read", {1}), "hello");
    EXPECT_EQ(run(a, "PInt.Read", {3}), "5");  // element 1's length
    EXPECT_EQ(run(a, "PAnsiString.Free"), "");
    // A null counted array is ignored by Free; a negative count makes no block.
    EXPECT_EQ(run(nullptr, "PString.Free"), "");
    EXPECT_EQ(run(nullptr, "PAnsiString.Free"), "");
    EXPECT_EQ(make("PString", {-1}), nullptr);
    EXPECT_EQ(make("PInt", {-1}), nullptr);
}

TEST_F(NativeMembers, WhatTheTablesDoNotListTakesOnlyThePointer) {
    void* block = make("PInt", {2});
    // An unknown member, an instruction kind the member does not have, an unknown class.
    EXPECT_EQ(run(block, "PInt.NoSuchMember", {5}), "5");
    EXPECT_EQ(run(block, "?PInt.Read", {5}), "5");
    EXPECT_EQ(run(block, "=PChar.str", {5}), "5");
    EXPECT_EQ(run(block, "PNoSuchClass.Read", {5}), "5");
    // A wrong kind stores nothing; a null or low address is an error, not a crash.
    EXPECT_EQ(run(block, "PInt.Write", {0, std::u16string(u"text")}), "Cannot convert 'string' to 'int'");
    EXPECT_EQ(run(block, "PInt.Read", {0}), "0");
    EXPECT_EQ(run(nullptr, "PInt.Read", {0}), "Native memory access at an invalid address");
    EXPECT_EQ(run(reinterpret_cast<void*>(16), "?PChar.str"), "Native memory access at an invalid address");
    EXPECT_EQ(run(block, "PInt.Free"), "");
    EXPECT_EQ(make("PNoSuchClass", {}), nullptr);
}
