#include "stdlib/streams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/byte_buffer.h"
#include "image/container.h"
#include "platform/platform.h"
#include "base/runtime_error.h"

namespace qel {

namespace {

constexpr int kZMemError = -4;

// Bytes to allocate for a capacity of n.
size_t buffer_bytes(const CMemStream& s, int32_t n) {
    if (n > 0 && n != s.size)
        return (static_cast<size_t>(n) + (kStreamGranule - 1)) & ~static_cast<size_t>(kStreamGranule - 1);
    return static_cast<size_t>(n);
}


}  // namespace

CMemStream& checked_stream(void* stream) {
    check_reference(stream, "stream");
    auto& s = *static_cast<CMemStream*>(stream);
    if (s.size < 0 || s.capacity < 0 || s.size > s.capacity || (!s.memory && s.size > 0))
        raise_runtime_error("Invalid stream");
    return s;
}

void stream_clear(CMemStream& s) {
    std::free(s.memory);
    s.memory = nullptr;
    s.capacity = s.size = s.pos = 0;
}

bool stream_set_capacity(CMemStream& s, int32_t n) {
    if (n < 0) return false;
    size_t bytes = buffer_bytes(s, n);
    if (bytes == 0) {
        std::free(s.memory);
        s.memory = nullptr;
    } else if (bytes == static_cast<size_t>(s.capacity) && s.memory) {
        // The buffer already holds at least the last capacity asked for.
    } else {
        void* p = s.memory ? std::realloc(s.memory, bytes) : std::malloc(bytes);
        if (!p) return false;  // the old buffer and the old capacity stay
        s.memory = static_cast<uint8_t*>(p);
    }
    s.capacity = n;
    if (s.size > n) s.size = n;
    return true;
}

bool stream_set_size(CMemStream& s, int32_t n) {
    int32_t old = s.size;
    if (!stream_set_capacity(s, n)) return false;
    if (n > old) std::memset(s.memory + old, 0, static_cast<size_t>(n - old));
    s.size = n;
    if (s.pos > n) s.pos = n;
    return true;
}

bool stream_assign(CMemStream& s, const void* data, int32_t n) {
    if (!stream_set_size(s, n)) return false;
    if (n > 0) std::memmove(s.memory, data, static_cast<size_t>(n));
    s.pos = 0;
    return true;
}

int32_t stream_read(CMemStream& s, void* buffer, int32_t count) {
    if (s.pos < 0 || count < 0) return 0;
    int32_t available = s.size - s.pos;
    if (available <= 0) return available;
    int32_t n = count < available ? count : available;
    if (n > 0) {
        check_reference(buffer, "buffer");
        std::memmove(buffer, s.memory + s.pos, static_cast<size_t>(n));
    }
    s.pos += n;
    return n;
}

int32_t stream_write(CMemStream& s, const void* buffer, int32_t count) {
    if (s.pos < 0 || count < 0) return 0;
    int64_t end = static_cast<int64_t>(s.pos) + count;
    if (end < 1 || end > INT32_MAX) return 0;
    if (count > 0) check_reference(buffer, "buffer");
    const auto* src = static_cast<const uint8_t*>(buffer);
    if (end > s.size) {
        if (end > s.capacity || !s.memory) {
            // The source may lie in our own buffer, which the growth can move.
            bool own = s.memory && src >= s.memory && src < s.memory + s.capacity;
            size_t offset = own ? static_cast<size_t>(src - s.memory) : 0;
            if (!stream_set_capacity(s, static_cast<int32_t>(end))) return 0;
            if (own) src = s.memory + offset;
        }
        if (s.pos > s.size) std::memset(s.memory + s.size, 0, static_cast<size_t>(s.pos - s.size));
        s.size = static_cast<int32_t>(end);
    }
    if (count > 0) std::memmove(s.memory + s.pos, src, static_cast<size_t>(count));
    s.pos = static_cast<int32_t>(end);
    return count;
}

void stream_to_hex(const CMemStream& s, WStr& out) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (s.size <= 0) {
        out.clear();
        return;
    }
    if (s.size > 0x3FFFFFFF) raise_runtime_error("Out of memory");
    uint32_t n = static_cast<uint32_t>(s.size) * 2;
    auto* text = static_cast<WChar*>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(WChar)));
    if (!text) raise_runtime_error("Out of memory");
    for (int32_t i = 0; i < s.size; ++i) {
        text[2 * i] = static_cast<WChar>(kDigits[s.memory[i] >> 4]);
        text[2 * i + 1] = static_cast<WChar>(kDigits[s.memory[i] & 15]);
    }
    text[n] = 0;
    out.adopt(text, n, n);
}

bool stream_from_hex(CMemStream& s, const WStr& text, int32_t* written) {
    *written = 0;
    if (text.length % 2 != 0) return false;
    ByteBuffer bytes;
    int32_t n = static_cast<int32_t>(text.length / 2);
    if (!bytes.set_length(n)) raise_runtime_error("Out of memory");
    const WChar* t = text.text();
    for (int32_t i = 0; i < n; ++i) {
        int hi = hex_digit(t[2 * i]), lo = hex_digit(t[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.data[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    *written = stream_write(s, bytes.data, n);
    return true;
}

bool usable_file_name(const WStr& name) {
    if (name.empty()) return false;
    for (uint32_t i = 0; i < name.length; ++i)
        if (name.buffer[i] == 0) return false;
    return true;
}

bool stream_load_file(CMemStream& s, const char16_t* path) {
    ByteBuffer file;
    if (!read_whole_file(file, path)) return false;
    return stream_assign(s, file.data, file.length);
}

bool stream_save_file(const CMemStream& s, const char16_t* path) {
    FILE* f = platform::open_file(path, "wb");
    if (!f) return false;
    bool ok = s.size <= 0 || std::fwrite(s.memory, 1, static_cast<size_t>(s.size), f) == static_cast<size_t>(s.size);
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

int stream_compress(const CMemStream& source, CMemStream& target) {
    ByteBuffer packed;
    int status = container_deflate_buffer(packed, source.memory, source.size);
    if (status != kZOk) return status;
    return stream_assign(target, packed.data, packed.length) ? kZOk : kZMemError;
}

int stream_uncompress(const CMemStream& source, CMemStream& target) {
    if (source.size < 2) return kZDataError;
    // Inflating writes over the first two bytes of its input: work on a copy.
    ByteBuffer input, plain;
    if (!input.set_length(source.size)) return kZMemError;
    std::memcpy(input.data, source.memory, static_cast<size_t>(source.size));
    int status = container_inflate_buffer(plain, input.data, input.length);
    if (status != kZOk) return status;
    return stream_assign(target, plain.data, plain.length) ? kZOk : kZMemError;
}

}  // namespace qel
