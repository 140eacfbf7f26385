#include "base/arena.h"

#include <cstdlib>
#include <cstring>

namespace qel {

void* Arena::take_new_block(size_t n) {
    const size_t room = n > kBlockBytes ? n : kBlockBytes;
    // calloc: a block this large is a fresh mapping, which the system hands over zero-filled, so
    // the zeroing costs nothing where clearing each record as it is taken would touch it twice.
    auto* b = static_cast<Block*>(std::calloc(1, offsetof(Block, bytes) + room));
    if (!b) return nullptr;
    b->previous = head;
    head = b;
    size = room;
    used = n;
    return b->bytes;
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
