// The thread registry: which ValueStack belongs to which thread. The only runtime structure
// guarded by a lock, because thread procedures and native callbacks on other threads use it.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "base/ptr_list.h"

namespace qel {

struct ValueStack;

struct ThreadRegistry {
    platform::Mutex lock;
    PtrList entries;  // ThreadEntry*
    // Changes, to a value no registry of this process had before, whenever a pair is removed: a
    // thread that keeps its own stack at hand knows it is still valid while the version is the one
    // it saw.
    std::atomic<uint32_t> version;

    void init();
    // Frees every pair, the list and the lock.
    void destroy();
    // Registers a thread's stack; false when the memory for the pair cannot be had.
    bool add(uint32_t thread_id, ValueStack* stack);
    // Removes and frees the first pair with that id; nothing when there is none.
    void remove(uint32_t thread_id);
    // The stack of the first pair with that id, or null.
    ValueStack* lookup(uint32_t thread_id);
};

struct ThreadEntry {
    uint32_t thread_id;
    ValueStack* stack;
};

}  // namespace qel
