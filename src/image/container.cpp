#include "image/container.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace qel {

namespace {
// The interface version the container was defined with; any 1.x zlib accepts it.
constexpr const char* kZlibInterface = "1.2.5";

// Puts zlib's header bytes back where the container keeps its "ql" (when there are two bytes) and
// starts inflating in.
int start_inflate(z_stream& strm, uint8_t* in, int32_t in_length) {
    if (in_length >= 2) {
        in[0] = 0x78;
        in[1] = 0x9C;
    }
    strm.next_in = in;
    strm.avail_in = static_cast<uInt>(in_length < 0 ? 0 : in_length);
    return inflateInit_(&strm, kZlibInterface, static_cast<int>(sizeof(z_stream)));
}
}  // namespace

int container_inflate(ByteBuffer& out, uint8_t* in, int32_t in_length) {
    z_stream strm;
    std::memset(&strm, 0, sizeof strm);
    int status = start_inflate(strm, in, in_length);
    if (status != Z_OK) return status;
    int overflows = 0;
    do {
        strm.next_out = out.data;
        strm.avail_out = static_cast<uInt>(out.length);
        status = inflate(&strm, Z_FINISH);
        if (status == Z_STREAM_END) break;
        if (status == Z_NEED_DICT) {
            inflateEnd(&strm);
            return Z_DATA_ERROR;
        }
        if (status == Z_BUF_ERROR) {
            if (strm.avail_in == 0) {
                inflateEnd(&strm);
                return Z_DATA_ERROR;
            }
            ++overflows;
        } else {
            inflateEnd(&strm);
            return status;
        }
    } while (strm.avail_out == 0);
    out.length = static_cast<int32_t>(strm.total_out);
    status = inflateEnd(&strm);
    if (status != Z_OK) return status;
    return overflows ? Z_BUF_ERROR : Z_OK;
}

bool InflateStream::open(uint8_t* in, int32_t in_length) {
    close();
    if (in_length < 2) {
        status = kZDataError;
        return false;
    }
    auto* strm = static_cast<z_stream*>(std::calloc(1, sizeof(z_stream)));
    if (!strm) {
        status = Z_MEM_ERROR;
        return false;
    }
    status = start_inflate(*strm, in, in_length);
    if (status != Z_OK) {
        std::free(strm);
        return false;
    }
    state = strm;
    return true;
}

int32_t InflateStream::read(uint8_t* out, int32_t room) {
    auto* strm = static_cast<z_stream*>(state);
    if (status != kZOk || !strm || room <= 0) return 0;
    strm->next_out = out;
    strm->avail_out = static_cast<uInt>(room);
    int z = inflate(strm, Z_NO_FLUSH);
    const int32_t written = room - static_cast<int32_t>(strm->avail_out);
    if (z == Z_STREAM_END) {
        z = inflateEnd(strm);
        std::free(strm);
        state = nullptr;
        status = z == Z_OK ? kZStreamEnd : z;
    } else if (z != Z_OK) {
        // Input that ends before the stream does is damaged, not short of room.
        status = z == Z_BUF_ERROR || z == Z_NEED_DICT ? Z_DATA_ERROR : z;
        close();
    }
    return written;
}

void InflateStream::close() {
    if (auto* strm = static_cast<z_stream*>(state)) {
        inflateEnd(strm);
        std::free(strm);
        state = nullptr;
    }
}

int container_deflate(ByteBuffer& out, const uint8_t* in, int32_t in_length) {
    z_stream strm;
    std::memset(&strm, 0, sizeof strm);
    strm.next_in = const_cast<Bytef*>(in);
    strm.avail_in = static_cast<uInt>(in_length < 0 ? 0 : in_length);
    int status = deflateInit_(&strm, Z_DEFAULT_COMPRESSION, kZlibInterface, static_cast<int>(sizeof(z_stream)));
    if (status != Z_OK) return status;
    int overflows = 0;
    do {
        strm.next_out = out.data;
        strm.avail_out = static_cast<uInt>(out.length);
        status = deflate(&strm, Z_FINISH);
        if (status == Z_STREAM_END) break;
        if (status != Z_OK) {
            deflateEnd(&strm);
            return status;
        }
        ++overflows;
    } while (strm.avail_out == 0);
    out.length = static_cast<int32_t>(strm.total_out);
    status = deflateEnd(&strm);
    if (status != Z_OK) return status;
    if (out.length >= 2 && !overflows) {
        out.data[0] = 'q';
        out.data[1] = 'l';
    }
    return overflows ? Z_BUF_ERROR : Z_OK;
}

namespace {
template <typename Pass, typename In>
int sized_by_overflow(ByteBuffer& out, In in, int32_t in_length, Pass pass) {
    if (out.length == 0 && !out.set_length(8192)) return Z_MEM_ERROR;
    int status = pass(out, in, in_length);
    if (status != Z_BUF_ERROR) return status;
    int32_t size = out.length;
    out.length = 0;
    if (!out.set_length(size)) return Z_MEM_ERROR;
    return pass(out, in, in_length);
}
}  // namespace

int container_inflate_buffer(ByteBuffer& out, uint8_t* in, int32_t in_length) {
    return sized_by_overflow(out, in, in_length, container_inflate);
}

int container_deflate_buffer(ByteBuffer& out, const uint8_t* in, int32_t in_length) {
    return sized_by_overflow(out, in, in_length, container_deflate);
}

bool read_whole_file(ByteBuffer& out, const char16_t* path) {
    FILE* f = platform::open_file(path, "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && size < 0x7FFFFFFF && std::fseek(f, 0, SEEK_SET) == 0;
    ok = ok && out.set_length(static_cast<int32_t>(size));
    if (ok && size > 0) ok = std::fread(out.data, 1, static_cast<size_t>(size), f) == static_cast<size_t>(size);
    std::fclose(f);
    return ok;
}

int container_inflate_file(ByteBuffer& out, const char16_t* path) {
    ByteBuffer file;
    if (!read_whole_file(file, path)) return Z_ERRNO;
    return container_inflate_buffer(out, file.data, file.length);
}

int container_deflate_to_file(const uint8_t* in, int32_t in_length, const char16_t* path) {
    ByteBuffer packed;
    int status = container_deflate_buffer(packed, in, in_length);
    if (status != Z_OK) return status;
    FILE* f = platform::open_file(path, "wb");
    if (!f) return Z_ERRNO;
    bool ok = std::fwrite(packed.data, 1, static_cast<size_t>(packed.length), f) == static_cast<size_t>(packed.length);
    ok = std::fclose(f) == 0 && ok;
    return ok ? Z_OK : Z_ERRNO;
}

}  // namespace qel
