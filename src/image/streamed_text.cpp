#include "image/streamed_text.h"

#include <cstdlib>
#include <cstring>

namespace qel {

bool StreamedText::open(uint8_t* in, int32_t in_length) {
    if (!inflater.open(in, in_length)) {
        ended = true;
        return false;
    }
    return true;
}

bool StreamedText::room(ByteBuffer& b, int32_t bytes) {
    if (b.capacity >= bytes) return true;
    auto* grown = static_cast<uint8_t*>(std::realloc(b.data, static_cast<size_t>(bytes)));
    if (!grown) return false;
    b.data = grown;
    b.capacity = bytes;
    return true;
}

void StreamedText::inflate_into(ByteBuffer& b, int32_t& used) {
    // One byte stays free for the NUL that ends the text.
    const int32_t n = inflater.read(b.data + used, b.capacity - used - 1);
    if (n > 0) {
        used += n;
        empty = false;
        last = b.data[used - 1];
    }
    if (inflater.status != kZOk) ended = true;
}

char* StreamedText::next_lines(char** limit) {
    ByteBuffer& from = buffers[current];
    const int into = 1 - current;
    ByteBuffer& b = buffers[into];
    const int32_t rest = from.data ? length - boundary : 0;
    int32_t used = 0;
    if (!room(b, rest + block + 1)) {
        // No memory for more: the text ends here, and finish() finds the payload unread.
        inflater.close();
        inflater.status = kZErrno;
        ended = true;
    } else if (rest > 0) {
        from.data[boundary] = static_cast<uint8_t>(saved);
        std::memcpy(b.data, from.data + boundary, static_cast<size_t>(rest));
        used = rest;
    }
    // The rest held no CR that another byte follows; a CR at its very end may yet get its LF.
    int32_t searched = rest > 0 ? rest - 1 : 0;
    int32_t end = -1;  // where the whole lines end
    while (b.data && !ended) {
        // A line of a gigabyte or more is not an image this host can hold.
        if (used + 1 >= b.capacity && (b.capacity >= (1 << 30) || !room(b, b.capacity * 2))) {
            inflater.close();
            inflater.status = kZErrno;
            ended = true;
            break;
        }
        inflate_into(b, used);
        // The last CR with a byte after it ends the whole lines (with its LF when that follows).
        for (int32_t i = used - 2; i >= searched; --i) {
            if (b.data[i] == '\r') {
                end = i + 1 + (b.data[i + 1] == '\n' ? 1 : 0);
                break;
            }
        }
        if (end >= 0) break;
        if (used > 1) searched = used - 1;
    }
    current = into;
    length = used;
    if (!b.data) {
        static char nothing[1] = {0};
        *limit = nullptr;
        return nothing;
    }
    if (end < 0) {  // the payload has ended: the rest is the last of the text
        b.data[used] = 0;
        boundary = used;
        *limit = nullptr;
    } else {
        boundary = end;
        saved = static_cast<char>(b.data[end]);  // end < used: a byte followed the CR
        b.data[end] = 0;
        *limit = reinterpret_cast<char*>(b.data + end);
    }
    return reinterpret_cast<char*>(b.data);
}

void StreamedText::start(LineReader& reader) {
    reader.refill = refill;
    reader.refill_context = this;
    char* limit = nullptr;
    char* text = next_lines(&limit);
    reader.limit = limit;
    reader.start(text);
}

int StreamedText::finish() {
    ByteBuffer& b = buffers[current];
    while (!ended) {
        int32_t used = 0;
        if (!room(b, block + 1)) {
            inflater.close();
            return kZErrno;
        }
        inflate_into(b, used);
    }
    buffers[0].release();
    buffers[1].release();
    if (inflater.status != kZStreamEnd) return inflater.status;
    return !empty && last == 0 ? kZOk : kNoFinalNul;
}

}  // namespace qel
