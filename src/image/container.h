// The "ql" container: a zlib stream (default level) whose two header bytes are replaced by "ql".
// Reading ignores the first two bytes and writes 0x78 0x9C over them before inflating.
#pragma once
#include <cstdint>

#include "base/byte_buffer.h"

namespace qel {

// zlib status codes used here.
enum : int { kZOk = 0, kZStreamEnd = 1, kZErrno = -1, kZDataError = -3, kZBufError = -5 };

// One pass: fills out (its whole length is the window) and sets out.length to the payload size.
// Returns -5 when the window overflowed (the size is then right, the contents are not).
int container_inflate(ByteBuffer& out, uint8_t* in, int32_t in_length);
int container_deflate(ByteBuffer& out, const uint8_t* in, int32_t in_length);

// Sizing by overflow: starts at 8192 bytes when out is empty and repeats once at the reported
// size. The input's first two bytes are overwritten.
int container_inflate_buffer(ByteBuffer& out, uint8_t* in, int32_t in_length);
int container_deflate_buffer(ByteBuffer& out, const uint8_t* in, int32_t in_length);

// A container inflated a piece at a time: how an image is read, its text parsed as it comes.
struct InflateStream {
    void* state = nullptr;  // the zlib stream while open
    int status = kZOk;      // kZOk while more may come, kZStreamEnd at the end, else the failure

    InflateStream() = default;
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    ~InflateStream() { close(); }

    // Starts on in (its first two bytes are overwritten, and it must outlive the stream). False,
    // with the status, when it cannot start.
    bool open(uint8_t* in, int32_t in_length);
    // Inflates up to room bytes into out and returns how many it wrote; once status is no longer
    // kZOk it writes nothing. Input that ends before the stream does is a kZDataError.
    int32_t read(uint8_t* out, int32_t room);
    void close();
};

// Reads a whole file and inflates it; -1 when the file cannot be opened or read.
int container_inflate_file(ByteBuffer& out, const char16_t* path);
// Deflates and writes the file ("wb", replacing it); -1 when it cannot be written.
int container_deflate_to_file(const uint8_t* in, int32_t in_length, const char16_t* path);

// Reads a whole file into out; false when it cannot be opened.
bool read_whole_file(ByteBuffer& out, const char16_t* path);

}  // namespace qel
