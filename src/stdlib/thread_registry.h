// The thread registry: which ValueStack belongs to which thread. The only runtime structure
// guarded by a lock, because thread procedures and native callbacks on other threads use it.
#pragma once
#include <cstdint>

#include "platform/platform.h"
#include "stdlib/ptr_list.h"

namespace qel {

struct ValueStack;

struct ThreadRegistry {
    platform::Mutex lock;
    PtrList entries;  // ThreadEntry*

    void init();
    void destroy();
    void add(uint32_t thread_id, ValueStack* stack);
    void remove(uint32_t thread_id);
    ValueStack* lookup(uint32_t thread_id);
};

struct ThreadEntry {
    uint32_t thread_id;
    ValueStack* stack;
};

}  // namespace qel
