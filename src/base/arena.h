// An arena: many small records taken from a few large blocks and freed all at once. The image's
// instructions, names and method records live in one, so that loading makes a few hundred
// allocations instead of one or more per source line.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qel {

struct Arena {
    // A block's room: larger requests get a block of their own size.
    static constexpr size_t kBlockBytes = 256 * 1024;
    struct Block {
        Block* previous;
        alignas(8) unsigned char bytes[1];
    };
    Block* head = nullptr;  // the block being filled; each links to the one before
    size_t used = 0;        // bytes taken from the head block
    size_t size = 0;        // bytes the head block holds

    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() { release(); }

    // Zero-filled room for n bytes aligned to align (a power of two up to 8); null when memory
    // runs out.
    void* take(size_t n, size_t align = alignof(void*)) {
        const size_t at = (used + align - 1) & ~(align - 1);
        if (!head || at + n > size) return take_new_block(n);
        used = at + n;
        return bytes_at(at);  // blocks come zero-filled and nothing is taken twice
    }
    // A copy of a NUL-terminated text; null when memory runs out.
    char* copy(const char* text);
    // A copy of n bytes of text with a NUL after them; null when memory runs out.
    char* copy(const char* text, size_t n) {
        const size_t at = used;
        if (!head || at + n + 1 > size) {
            auto* p = static_cast<char*>(take_new_block(n + 1));
            if (p) __builtin_memcpy(p, text, n);
            return p;
        }
        used = at + n + 1;
        auto* p = reinterpret_cast<char*>(bytes_at(at));
        __builtin_memcpy(p, text, n);
        p[n] = 0;
        return p;
    }
    void release();

private:
    void* take_new_block(size_t n);
    unsigned char* bytes_at(size_t at) { return head->bytes + at; }
};

}  // namespace qel
