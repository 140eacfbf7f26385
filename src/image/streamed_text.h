// The image text read while its container is inflated: the parser gets whole lines a block at a
// time instead of the whole text at once. Two buffers take turns, so the line being read stays
// where it is while the lines after it are inflated into the other buffer; the text is cut in place
// like a whole one.
#pragma once
#include <cstdint>

#include "base/byte_buffer.h"
#include "image/container.h"
#include "image/line_reader.h"

namespace qel {

struct StreamedText {
    // The status finish() gives when the payload does not end with a NUL byte.
    static constexpr int kNoFinalNul = 2;

    InflateStream inflater;
    ByteBuffer buffers[2];
    int current = 0;          // the buffer the reader is in
    int32_t length = 0;       // bytes inflated into it
    int32_t boundary = 0;     // where its whole lines end: a NUL is written there
    char saved = 0;           // the byte the NUL took the place of
    int32_t block = 1 << 16;  // bytes inflated at a step
    bool ended = false;       // the inflater has nothing more (the end, or a failure)
    bool empty = true;        // no payload byte so far
    uint8_t last = 0;         // the payload's last byte so far

    // Starts inflating in (see InflateStream::open) and reads the first lines. False, with the
    // inflater's status, when it cannot start.
    bool open(uint8_t* in, int32_t in_length);
    // Points the reader at the first lines; the reader asks for the next ones by itself.
    void start(LineReader& reader);
    // Once parsing is done: inflates the rest (and drops it). kZOk for a sound payload ending with a
    // NUL, kNoFinalNul, or the zlib status of the failure.
    int finish();

private:
    // Moves what follows the whole lines into the other buffer and inflates until it holds at
    // least one whole line or the payload has ended; returns its text.
    char* next_lines(char** limit);
    static char* refill(void* self, char** limit) { return static_cast<StreamedText*>(self)->next_lines(limit); }
    bool room(ByteBuffer& b, int32_t bytes);
    void inflate_into(ByteBuffer& b, int32_t& used);
};

}  // namespace qel
