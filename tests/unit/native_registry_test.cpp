// The procedure registry through its built-ins on the Linux host (libc.so.6): Proc keeps the
// first declaration of a name, GetProc finds by name, calls of procedures without an entry point
// are refused, unloading a library retires its descriptors, and code attached to "asm" procedures.
#include <cstring>

#include "builtin_harness.h"
#include "native/native_bridge.h"
#include "native/procedures.h"

using namespace qel;

namespace {
class NativeRegistry : public qeltest::Builtins {
public:
    // Proc(library, name, result, params, convention) -> the descriptor or null.
    CLibProc* declare(const char16_t* library, const char16_t* name, char result, const char16_t* params, int conv) {
        reset();
        s(library).s(name).i(result).s(params).i(conv);
        EXPECT_EQ(call(bi_Proc), "");
        return static_cast<CLibProc*>(top_pointer());
    }
    // CallProc(args..., p): the int result, or the message of the error.
    std::string call_proc(CLibProc* p, int32_t arg) {
        reset();
        i(arg).p(p);
        std::string error = call(bi_CallProc);
        return error.empty() ? std::to_string(top_int()) : error;
    }
    std::string attach(const char16_t* name, const void* code, int32_t size) {
        struct { const void* memory; int32_t size, pos, capacity; } stream{code, size, 0, size};
        reset();
        s(name).p(&stream);
        std::string error = call(bi_native_attach_code);
        return error.empty() ? (top_pointer() ? "attached" : "none") : error;
    }
};
}  // namespace

TEST_F(NativeRegistry, ProcKeepsTheFirstDeclarationAndGetProcFindsIt) {
    CLibProc* labs = declare(u"libc.so.6", u"labs", 'i', u"i", 1);
    ASSERT_NE(labs, nullptr);
    EXPECT_EQ(declare(u"libc.so.6", u"labs", 'v', u"dddd", 0), labs);
    EXPECT_EQ(call_proc(labs, -5), "5");
    reset();
    s(u"labs");
    call(bi_GetProc);
    EXPECT_EQ(top_pointer(), labs);
    reset();
    s(u"nothing");
    call(bi_GetProc);
    EXPECT_EQ(top_pointer(), nullptr);
}

TEST_F(NativeRegistry, ProceduresWithoutAnEntryPointAreRefusedByName) {
    ProcRegistry& reg = image.rt->program.procs;
    CLibProc* late = native_register_proc(reg, "libc.so.6", "no_such_export", 'i', "i", 1, true);
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->proc, nullptr);
    EXPECT_EQ(call_proc(late, 1), "Native procedure <no_such_export> has no entry point");
    EXPECT_EQ(call_proc(nullptr, 1), "CallProc of an invalid procedure");
    Instruction ins{};
    char name[] = "never_declared";
    ins.name = name;
    try {
        native_libproc(image.rt.get(), &frame, &ins);
        ADD_FAILURE() << "no error";
    } catch (const qel_exception& e) {
        EXPECT_EQ(message_of(e.object), "Native procedure <never_declared> is not declared");
    }
    reset();
    i(1).p(nullptr).i('i').s(u"i").i(1);
    EXPECT_EQ(call(bi_native_call_address), "Native procedure <(address)> has no entry point");
}

TEST_F(NativeRegistry, UnloadingRetiresTheLibrarysDescriptors) {
    CLibProc* labs = declare(u"libc.so.6", u"labs", 'i', u"i", 1);
    declare(u"libc.so.6", u"abs", 'i', u"i", 1);
    declare(u"libm.so.6", u"floor", 'd', u"d", 1);
    reset();
    s(u"libc.so.6");
    call(bi_native_unload_library);
    EXPECT_EQ(top_int(), 2);
    reset();
    s(u"labs");
    call(bi_GetProc);
    EXPECT_EQ(top_pointer(), nullptr);
    EXPECT_EQ(call_proc(labs, -5), "Native procedure <labs> has no entry point");  // kept until teardown
    reset();
    s(u"libc.so.6");
    call(bi_native_unload_library);
    EXPECT_EQ(top_int(), 0);
    // Declared again, the library is loaded again.
    EXPECT_EQ(call_proc(declare(u"libc.so.6", u"labs", 'i', u"i", 1), -6), "6");
    EXPECT_EQ(image.rt->program.procs.retired.count, 2);
}

TEST_F(NativeRegistry, AsmProceduresTakeAttachedCodeOnce) {
    const uint8_t answer[] = {0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};                    // mov eax, 42; ret
    const uint8_t add2[] = {0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08, 0xC3};  // [esp+4] + [esp+8]
    CLibProc* asm_proc = declare(u"asm", u"answer", 'i', u"", 0);
    ASSERT_NE(asm_proc, nullptr);
    EXPECT_EQ(asm_proc->library, nullptr);
    EXPECT_EQ(attach(u"answer", answer, sizeof answer), "attached");
    void* code = asm_proc->proc;
    EXPECT_EQ(attach(u"answer", add2, sizeof add2), "attached");  // left as it was
    EXPECT_EQ(asm_proc->proc, code);
    reset();
    p(asm_proc);
    call(bi_CallProc);
    EXPECT_EQ(top_int(), 42);
    CLibProc* sum = declare(u"asm", u"add2", 'i', u"ii", 1);
    EXPECT_EQ(attach(u"add2", add2, sizeof add2), "attached");
    reset();
    i(3).i(4).p(sum);
    call(bi_CallProc);
    EXPECT_EQ(top_int(), 7);
    EXPECT_EQ(attach(u"nothing", answer, sizeof answer), "none");
    declare(u"asm", u"big", 'i', u"", 0);
    std::vector<uint8_t> big(100000, 0xC3);
    EXPECT_EQ(attach(u"big", big.data(), static_cast<int32_t>(big.size())),
              "Attached code of 100000 bytes is larger than a page (4096 bytes)");
}
