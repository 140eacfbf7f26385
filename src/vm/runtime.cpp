#include "vm/runtime.h"

#include "vm/hooks.h"

namespace qel {

VmHooks g_vm_hooks{};

namespace {
Runtime* g_current = nullptr;
}

Runtime* current_runtime() { return g_current; }
void set_current_runtime(Runtime* rt) { g_current = rt; }

}  // namespace qel
