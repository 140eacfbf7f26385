// The thread registry: the one locked structure, used from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "vm/thread_registry.h"

using namespace qel;

namespace {

ValueStack* fake_stack(uintptr_t n) { return reinterpret_cast<ValueStack*>(n * 16); }

TEST(ThreadRegistry, RegistersLooksUpAndUnregistersByThreadId) {
    ThreadRegistry r;
    r.init();
    EXPECT_EQ(r.lookup(7), nullptr);
    for (auto [id, n] : {std::pair{7u, 1u}, {8u, 2u}, {7u, 3u}}) EXPECT_TRUE(r.add(id, fake_stack(n)));
    EXPECT_EQ(r.lookup(7), fake_stack(1));  // the same id twice: the first registration answers
    EXPECT_EQ(r.lookup(8), fake_stack(2));
    r.remove(7);  // removes the first pair only
    EXPECT_EQ(r.lookup(7), fake_stack(3));
    r.remove(99);  // absent: nothing happens
    EXPECT_EQ(r.entries.count, 2);
    r.remove(7);
    EXPECT_EQ(r.lookup(7), nullptr);
    EXPECT_EQ(r.lookup(8), fake_stack(2));
    r.destroy();
}

TEST(ThreadRegistry, ManyThreadsAtOnceSeeOnlyTheirOwnStacks) {
    ThreadRegistry r;
    r.init();
    r.add(1, fake_stack(1));  // the main thread's registration stays throughout
    std::atomic<int> wrong{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            for (uint32_t k = 0; k < 1000; ++k) {
                // Each thread owns its own range of ids and registers a few of them at a time.
                uint32_t base = 1000u + t * 100000u + k * 8u;
                for (uint32_t id = base; id < base + 8; ++id) r.add(id, fake_stack(id));
                for (uint32_t id = base; id < base + 8; ++id) wrong += r.lookup(id) != fake_stack(id);
                wrong += r.lookup(1) != fake_stack(1);
                for (uint32_t id = base; id < base + 8; ++id) r.remove(id);
                wrong += r.lookup(base) != nullptr;
            }
        });
    }
    go = true;
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    ASSERT_EQ(r.entries.count, 1);
    EXPECT_EQ(r.lookup(1), fake_stack(1));
    r.destroy();
}

}  // namespace
