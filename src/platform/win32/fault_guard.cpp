// Machine faults while a guarded routine runs: a vectored handler sends the faulting thread to a
// routine that jumps back to the guard once the system has finished dispatching the fault.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/platform.h"

namespace qel::platform {

namespace {
struct Guard {
    void* jump[5];  // for __builtin_setjmp / __builtin_longjmp
};
thread_local Guard* t_guard = nullptr;

// Both are entered by the system with whatever alignment the faulting code had.
[[noreturn]] __attribute__((force_align_arg_pointer)) void back_to_guard() {
    Guard* g = t_guard;
    t_guard = nullptr;
    __builtin_longjmp(g->jump, 1);
}

__attribute__((force_align_arg_pointer)) LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
    switch (info->ExceptionRecord->ExceptionCode) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
            if (t_guard) {
                info->ContextRecord->Eip = reinterpret_cast<DWORD>(&back_to_guard);
                return EXCEPTION_CONTINUE_EXECUTION;
            }
            break;
        default:
            break;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void install_once() {
    static const bool installed = AddVectoredExceptionHandler(1, on_exception) != nullptr;
    (void)installed;
}

__attribute__((noinline)) bool run_under(Guard& here, void (*fn)(void*), void* context) {
    if (__builtin_setjmp(here.jump)) return false;
    t_guard = &here;
    fn(context);
    return true;
}
}  // namespace

bool run_guarded(void (*fn)(void*), void* context) {
    install_once();
    Guard here;
    Guard* outer = t_guard;
    bool ok;
    try {
        ok = run_under(here, fn, context);
    } catch (...) {
        t_guard = outer;
        throw;
    }
    t_guard = outer;
    return ok;
}

}  // namespace qel::platform
