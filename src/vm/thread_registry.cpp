#include "vm/thread_registry.h"

#include <cstdlib>

namespace qel {

namespace {
std::atomic<uint32_t> g_next_version{1};

struct Locked {
    platform::Mutex& m;
    explicit Locked(platform::Mutex& mutex) : m(mutex) { platform::mutex_lock(m); }
    ~Locked() { platform::mutex_unlock(m); }
};
}  // namespace

void ThreadRegistry::init() {
    platform::mutex_init(lock);
    entries = PtrList{};
    version = g_next_version++;
}

void ThreadRegistry::destroy() {
    {
        Locked l(lock);
        for (int32_t i = 0; i < entries.count; ++i) std::free(entries[i]);
        entries.clear();
        version = g_next_version++;
    }
    platform::mutex_destroy(lock);
}

bool ThreadRegistry::add(uint32_t thread_id, ValueStack* stack) {
    auto* e = static_cast<ThreadEntry*>(std::malloc(sizeof(ThreadEntry)));
    if (!e) return false;
    e->thread_id = thread_id;
    e->stack = stack;
    Locked l(lock);
    if (entries.count == entries.capacity && !entries.set_capacity(ptr_list_grow(entries.capacity))) {
        std::free(e);
        return false;
    }
    entries.items[entries.count++] = e;
    return true;
}

void ThreadRegistry::remove(uint32_t thread_id) {
    Locked l(lock);
    for (int32_t i = 0; i < entries.count; ++i) {
        auto* e = static_cast<ThreadEntry*>(entries[i]);
        if (e->thread_id != thread_id) continue;
        version = g_next_version++;
        std::free(e);
        for (int32_t k = i + 1; k < entries.count; ++k) entries.items[k - 1] = entries.items[k];
        --entries.count;
        return;
    }
}

ValueStack* ThreadRegistry::lookup(uint32_t thread_id) {
    Locked l(lock);
    for (int32_t i = 0; i < entries.count; ++i) {
        auto* e = static_cast<ThreadEntry*>(entries[i]);
        if (e->thread_id == thread_id) return e->stack;
    }
    return nullptr;
}

}  // namespace qel
