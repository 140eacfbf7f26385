// A plain byte buffer {data, length, capacity}, reallocated to exact size. Used by the image
// container, streams and compression.
#pragma once
#include <cstdint>

namespace qel {

struct ByteBuffer {
    uint8_t* data = nullptr;
    int32_t length = 0;
    int32_t capacity = 0;

    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() { release(); }

    // Keeps the allocation when capacity >= n; otherwise the old block is dropped (its contents
    // are lost) and a new block of exactly n bytes is taken. Returns false when that fails.
    bool set_length(int32_t n);
    void release();
};

}  // namespace qel
