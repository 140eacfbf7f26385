// The procedure registry through its built-ins on the Linux host (libc.so.6): declarations, calls
// without an entry point, unloading, and code attached to "asm" procedures (the native images
// declare and call procedures through Proc, CallProc and GetProc in both lanes).
#include "builtin_harness.h"
#include "native/native_bridge.h"
#include "native/procedures.h"

using namespace qel;

namespace {
using qeltest::Ptr;

class NativeRegistry : public qeltest::Builtins {
public:
    // Proc(library, name, result, params, convention) -> the descriptor or null.
    CLibProc* declare(const char* library, const char* name, char result, const char* params, int conv) {
        return static_cast<CLibProc*>(pointer(bi_Proc, {library, name, int32_t{result}, params, conv}));
    }
    std::string attach(const char* name, const void* code, int32_t size) {
        struct { const void* memory; int32_t size, pos, capacity; } stream{code, size, 0, size};
        const std::string r = result(bi_native_attach_code, {name, Ptr{&stream}});
        return r == "p:0" ? "none" : r.rfind("p:", 0) == 0 ? "attached" : r;
    }
};
}  // namespace

TEST_F(NativeRegistry, ProceduresWithoutAnEntryPointAreRefusedByName) {
    ProcRegistry& reg = image.rt->program.procs;
    CLibProc* late = native_register_proc(reg, "libc.so.6", "no_such_export", 'i', "i", 1, true);
    ASSERT_TRUE(late && !late->proc);
    EXPECT_EQ(result(bi_CallProc, {1, Ptr{late}}), "Native procedure <no_such_export> has no entry point");
    EXPECT_EQ(result(bi_CallProc, {1, Ptr{nullptr}}), "CallProc of an invalid procedure");
    Instruction ins[2]{};  // the instruction and its object slot
    image.rt->program.code.keep_name(ins, const_cast<char*>("never_declared"));
    EXPECT_EQ(caught([&] { native_libproc(image.rt.get(), &frame, ins); }),
              "Native procedure <never_declared> is not declared");
    EXPECT_EQ(run(bi_native_call_address, {1, Ptr{nullptr}, int32_t{'i'}, "i", 1}), "Native procedure <(address)> has no entry point");
}

// Proc keeps the first declaration of a name; unloading a library retires its descriptors.
TEST_F(NativeRegistry, UnloadingRetiresTheLibrarysDescriptors) {
    CLibProc* labs = declare("libc.so.6", "labs", 'i', "i", 1);
    ASSERT_NE(labs, nullptr);
    EXPECT_EQ(declare("libc.so.6", "labs", 'v', "dddd", 0), labs);
    EXPECT_EQ(pointer(bi_GetProc, {"labs"}), labs);
    declare("libc.so.6", "abs", 'i', "i", 1);
    declare("libm.so.6", "floor", 'd', "d", 1);
    EXPECT_EQ(result(bi_native_unload_library, {"libc.so.6"}), "i:2");
    EXPECT_EQ(pointer(bi_GetProc, {"labs"}), nullptr);
    EXPECT_EQ(result(bi_CallProc, {-5, Ptr{labs}}), "Native procedure <labs> has no entry point");  // kept until teardown
    EXPECT_EQ(result(bi_native_unload_library, {"libc.so.6"}), "i:0");
    // Declared again, the library is loaded again.
    EXPECT_EQ(result(bi_CallProc, {-6, Ptr{declare("libc.so.6", "labs", 'i', "i", 1)}}), "i:6");
    EXPECT_EQ(image.rt->program.procs.retired.count, 2);
}

TEST_F(NativeRegistry, AsmProceduresTakeAttachedCodeOnce) {
    const uint8_t answer[] = {0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};                    // mov eax, 42; ret
    const uint8_t add2[] = {0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08, 0xC3};  // [esp+4] + [esp+8]
    CLibProc* asm_proc = declare("asm", "answer", 'i', "", 0);
    ASSERT_TRUE(asm_proc && !asm_proc->library);
    EXPECT_EQ(attach("answer", answer, sizeof answer), "attached");
    void* code = asm_proc->proc;
    EXPECT_EQ(attach("answer", add2, sizeof add2), "attached");  // left as it was
    EXPECT_EQ(asm_proc->proc, code);
    EXPECT_EQ(result(bi_CallProc, {Ptr{asm_proc}}), "i:42");
    CLibProc* sum = declare("asm", "add2", 'i', "ii", 1);
    EXPECT_EQ(attach("add2", add2, sizeof add2), "attached");
    EXPECT_EQ(result(bi_CallProc, {3, 4, Ptr{sum}}), "i:7");
    EXPECT_EQ(attach("nothing", answer, sizeof answer), "none");
    declare("asm", "big", 'i', "", 0);
    std::vector<uint8_t> big(100000, 0xC3);
    EXPECT_EQ(attach("big", big.data(), static_cast<int32_t>(big.size())),
              "Attached code of 100000 bytes is larger than a page (4096 bytes)");
}
