// Machine faults while a guarded routine runs: the signal handler jumps back to the guard.
#include <setjmp.h>
#include <signal.h>

#include "platform/platform.h"

namespace qel::platform {

namespace {
thread_local sigjmp_buf* t_guard = nullptr;
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

void on_fault(int signal) {
    if (sigjmp_buf* guard = t_guard) {
        t_guard = nullptr;
        siglongjmp(*guard, 1);
    }
    // Not guarded: die of the fault as the process would have without us.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void install_once() {
    static const bool installed = [] {
        struct sigaction sa {};
        sa.sa_handler = on_fault;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_NODEFER;
        for (int s : kFaults) sigaction(s, &sa, nullptr);
        return true;
    }();
    (void)installed;
}
}  // namespace

bool run_guarded(void (*fn)(void*), void* context) {
    install_once();
    sigjmp_buf here;
    sigjmp_buf* outer = t_guard;
    if (sigsetjmp(here, 0)) {  // the mask needs no restoring: the handler blocks nothing
        t_guard = outer;
        return false;
    }
    t_guard = &here;
    try {
        fn(context);
    } catch (...) {
        t_guard = outer;
        throw;
    }
    t_guard = outer;
    return true;
}

}  // namespace qel::platform
