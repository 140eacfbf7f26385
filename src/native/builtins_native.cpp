// The native bridge's built-ins: declarations and calls at run time (Proc, GetProc, CallProc),
// callback entry points (EntryPoint), and three of our own naming: native_unload_library,
// native_attach_code and native_call_address.
#include <cstdlib>

#include "base/name_hash.h"
#include "native/native_bridge.h"
#include "native/native_state.h"
#include "native/procedures.h"
#include "native/thunks.h"
#include "platform/ansi_name.h"
#include "stdlib/builtin_support.h"

namespace qel {

// (library: string, name: string, resultType: int, paramTypes: string, convention: int) -> pointer
void bi_Proc(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    const int32_t convention = pop_int(st);
    platform::AnsiName params(pop_string(st));
    const int32_t result = pop_int(st);
    platform::AnsiName name(pop_string(st));
    platform::AnsiName library(pop_string(st));
    CLibProc* p;
    {
        NativeLock lock(rt->native);
        p = rt->program.procs.find(name_hash(name.text));
        if (!p)
            p = native_register_proc(rt->program.procs, library.text, name.text, static_cast<char>(result), params.text,
                                     static_cast<uint8_t>(convention), false);
    }
    push_pointer(st, p);
}

// (name: string) -> pointer, 0 when no procedure of that name is registered
void bi_GetProc(Runtime* rt, Frame* f) {
    WStr& name = pop_string(f->stack);
    const uint32_t h = name_hash(name.text(), name.length);
    CLibProc* p;
    {
        NativeLock lock(rt->native);
        p = rt->program.procs.find(h);
    }
    push_pointer(f->stack, p);
}

// (arguments..., p: pointer) -> the procedure's result
void bi_CallProc(Runtime*, Frame* f) {
    auto* p = static_cast<CLibProc*>(pop_pointer(f->stack));
    if (invalid_address(p)) raise_runtime_error("CallProc of an invalid procedure");
    call_native(p, f->stack, nullptr);
}

// (name: string, convention: int) -> pointer
void bi_EntryPoint(Runtime* rt, Frame* f) {
    const int32_t convention = pop_int(f->stack);
    platform::AnsiName name(pop_string(f->stack));
    push_pointer(f->stack, entry_point(rt, name.text, convention));
}

// (library: string) -> int, the number of procedures removed with the library
void bi_native_unload_library(Runtime* rt, Frame* f) {
    platform::AnsiName name(pop_string(f->stack));
    int32_t removed;
    {
        NativeLock lock(rt->native);
        removed = unload_library(rt->program.procs, name.text);
    }
    push_int(f->stack, removed);
}

// (name: string, code: pointer to a memory stream {memory, size, ...}) -> pointer
void bi_native_attach_code(Runtime* rt, Frame* f) {
    struct Block {
        void* memory;
        int32_t size;
    };
    auto* block = static_cast<const Block*>(pop_pointer(f->stack));
    platform::AnsiName name(pop_string(f->stack));
    if (invalid_address(block)) raise_runtime_error("native_attach_code without a code block");
    CLibProc* p;
    {
        NativeLock lock(rt->native);
        p = attach_code(rt, name.text, block->memory, block->size);
    }
    push_pointer(f->stack, p);
}

// (arguments..., address: pointer, resultType: int, paramTypes: string, convention: int) -> result
void bi_native_call_address(Runtime*, Frame* f) { native_call_address(f->stack); }

}  // namespace qel
