// The native pointer classes: newobj of every class and the members of each, through the hooks
// the interpreter calls (callreal, ldnpp, stnpp), on real blocks.
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
    // What is left on the stack, as text without its kind (a pointer as "pointer", kept in last),
    // taken off.
    std::string rest() {
        std::string out;
        for (int k = 0; k < count(); ++k) {
            const Value& v = st->slots[k];
            if (v.tag == kTagPointer) last = v.v.p;
            out += (k ? " " : "") + (v.tag == kTagPointer ? "pointer" : text(v).substr(2));
        }
        reset();
        return out;
    }
    // op: "Class.member" for callreal, "?Class.member" for ldnpp, "=Class.member" for stnpp; what is
    // left, or the message of the runtime error.
    std::string run(void* object, const std::string& op, std::initializer_list<Arg> args = {}) {
        reset();
        for (const Arg& a : args) push(a);
        const bool field = op[0] == '?' || op[0] == '=';
        std::string cls = op.substr(field, op.find('.') - field), member = op.substr(op.find('.') + 1);
        Instruction ins[2]{};  // the instruction and its object slot
        ins->opcode = op[0] == '?' ? kOp_ldnpp : op[0] == '=' ? kOp_stnpp : kOp_callreal;
        ins->operand.first_name = cls.data();
        image.rt->program.code.keep_name(ins, member.data());
        const std::string error = caught([&] { native_member(image.rt.get(), &frame, object, ins); });
        const std::string left = rest();
        return error.empty() ? left : error;
    }
    void* make(const char* cls, std::initializer_list<Arg> args) {
        reset();
        for (const Arg& a : args) push(a);
        void* block = native_object_create(image.rt.get(), cls, &frame);
        EXPECT_EQ(count(), 0) << cls << " did not take its argument";
        return block;
    }
    // Runs the steps on the block: each op on block (or on the pointer the last step left when the
    // op starts with '^') and what it must leave.
    void steps(void* block, std::initializer_list<std::tuple<std::string, std::initializer_list<Arg>, std::string>> list) {
        for (const auto& [op, args, expected] : list)
            EXPECT_EQ(op[0] == '^' ? run(last, op.substr(1), args) : run(block, op, args), expected) << op;
    }
    void* last = nullptr;
};

}  // namespace

TEST_F(NativeMembers, ScalarClassesReadAndWriteByElementIndex) {
    // Element 1 written and read back; element 0, never written, reads 0 (false for PBool).
    struct { const char* cls; Arg value; std::string read; } cases[] = {
        {"PInt", -7, "-7"}, {"PDouble", 2.5, "2.5"}, {"PDouble", 3, "3"},  // an int is taken as a double
        {"PFloat", 0.1, "0.10000000149011612"},                           // rounded to single, read widened
        {"PBool", std::u16string(u"yes"), "true"},                        // any true value stores 1
        {"PShort", 70000, "4464"}, {"PShort", 40000, "-25536"},           // the low 16 bits, read sign-extended
        {"PLong", int64_t{4294967296}, "4294967296"}, {"PLong", -1, "-1"},  // an int sign-extended
        {"PByte", 255, "-1"}, {"PAnsiChar", 510, "-2"}, {"PChar", 65535, "-1"},  // the low 8 bits, read signed
    };
    for (const auto& c : cases) {
        void* block = make(c.cls, {3});
        ASSERT_NE(block, nullptr) << c.cls;
        const std::string cls = c.cls;
        steps(block, {{cls + ".Write", {1, c.value}, ""}, {cls + ".Read", {1}, c.read},
                      {cls + ".Read", {0}, cls == "PBool" ? "false" : "0"}, {cls + ".Free", {}, ""}});
    }
    void* block = make("PPointer", {1});
    steps(block, {{"PPointer.Write", {0, Ptr{&frame}}, ""}, {"PPointer.Read", {0}, "pointer"}});
    EXPECT_EQ(last, &frame);
    // The class in the instruction decides how the memory reads.
    steps(block, {{"PInt.Write", {0, 0x1FF}, ""}, {"PByte.URead", {0}, "255"}, {"?PByte.uvalue", {}, "255"},
                  {"=PByte.uvalue", {0x141}, ""}, {"PByte.Read", {0}, "65"}, {"PByte.Read", {1}, "1"}, {"PChar.Free", {}, ""}});
}

TEST_F(NativeMembers, CharacterClassesAndTheirText) {
    steps(make("PAnsiCharArray", {std::u16string(u"abc")}),
          {{"?PAnsiChar.str", {}, "abc"}, {"?PAnsiChar.Length", {}, "3"}, {"PAnsiChar.Read", {0}, "97"}, {"PAnsiChar.Free", {}, ""}});
    // UTF-8 of e-acute: Decode(2) gives the one unit; any other mode pushes nothing
    steps(make("PAnsiCharArrayUTF8", {std::u16string(u"\u00e9")}),
          {{"PByte.URead", {0}, "195"}, {"PByte.URead", {1}, "169"}, {"PAnsiChar.Decode", {2}, "\u00e9"},
           {"PAnsiChar.Decode", {9, 1}, "9"}, {"PAnsiChar.Free", {}, ""}});
    // PCharArray of "abc": the UTF-16 text and a 0 unit ('c' and the terminating 0 in one int)
    steps(make("PCharArray", {std::u16string(u"abc")}),
          {{"?PChar.str", {}, "abc"}, {"?PChar.Length", {}, "3"}, {"PInt.Read", {1}, std::to_string('c')},
           {"PChar.Write", {1, 0}, ""}, {"?PChar.str", {}, "a"}, {"PInt.Free", {}, ""}});
}

TEST_F(NativeMembers, CountedArraysOfStrings) {
    // The count lies before element 0; an empty element's c_str is the shared empty text.
    steps(make("PString", {3}),
          {{"PInt.Read", {-1}, "3"}, {"PString.Write", {1, std::u16string(u"ab")}, ""}, {"PString.Read", {1}, "ab"},
           {"?PString.Length", {}, "0"}, {"PString.c_str", {}, "pointer"}, {"^?PChar.str", {}, ""},
           {"PString.Write", {0, std::u16string(u"xyz")}, ""}, {"?PString.Length", {}, "3"}, {"PString.c_str", {}, "pointer"},
           {"^?PChar.str", {}, "xyz"}, {"PString.Free", {}, ""}});
    // Writing again frees the old text; element 1's length is the int at index 3.
    steps(make("PAnsiString", {2}),
          {{"PAnsiString.Read", {0}, ""}, {"PAnsiString.c_str", {}, "pointer"}, {"^?PAnsiChar.str", {}, ""},
           {"PAnsiString.Write", {1, std::u16string(u"hey")}, ""}, {"PAnsiString.Write", {1, std::u16string(u"hello")}, ""},
           {"PAnsiString.Read", {1}, "hello"}, {"PInt.Read", {3}, "5"}, {"PAnsiString.Free", {}, ""}});
    // A null counted array is ignored by Free; a negative count makes no block.
    steps(nullptr, {{"PString.Free", {}, ""}, {"PAnsiString.Free", {}, ""}});
    EXPECT_TRUE(make("PString", {-1}) == nullptr && make("PInt", {-1}) == nullptr);
}

TEST_F(NativeMembers, WhatTheTablesDoNotListTakesOnlyThePointer) {
    // An unknown member, an instruction kind the member does not have, an unknown class; a wrong
    // kind stores nothing; a null or low address is an error, not a crash.
    steps(make("PInt", {2}),
          {{"PInt.NoSuchMember", {5}, "5"}, {"?PInt.Read", {5}, "5"}, {"=PChar.str", {5}, "5"}, {"PNoSuchClass.Read", {5}, "5"},
           {"PInt.Write", {0, std::u16string(u"text")}, "Cannot convert 'string' to 'int'"}, {"PInt.Read", {0}, "0"},
           {"PInt.Free", {}, ""}});
    EXPECT_EQ(run(nullptr, "PInt.Read", {0}), "Native memory access at an invalid address");
    EXPECT_EQ(run(reinterpret_cast<void*>(16), "?PChar.str"), "Native memory access at an invalid address");
    EXPECT_EQ(make("PNoSuchClass", {}), nullptr);
}
