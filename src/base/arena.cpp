#include "base/arena.h"

#include <cstdlib>
#include <cstring>

namespace qel {

struct Arena::Block {
    Block* previous;
    alignas(8) unsigned char bytes[1];
};

namespace {
constexpr size_t kBlockBytes = 256 * 1024;
}

void* Arena::take(size_t n, size_t align) {
    size_t at = (used + align - 1) & ~(align - 1);
    if (!head || at + n > size) {
        const size_t room = n > kBlockBytes ? n : kBlockBytes;
        auto* b = static_cast<Block*>(std::malloc(offsetof(Block, bytes) + room));
        if (!b) return nullptr;
        b->previous = head;
        head = b;
        size = room;
        at = 0;
    }
    used = at + n;
    void* p = head->bytes + at;
    std::memset(p, 0, n);
    return p;
}

char* Arena::copy(const char* text) {
    const size_t n = std::strlen(text) + 1;
    auto* p = static_cast<char*>(take(n, 1));
    if (p) std::memcpy(p, text, n);
    return p;
}

void Arena::release() {
    while (head) {
        Block* b = head;
        head = b->previous;
        std::free(b);
    }
    used = size = 0;
}

}  // namespace qel
