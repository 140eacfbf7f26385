// Memory streams: growable byte buffers with a read/write position (CMemStream), their hex text,
// their files and their compression.
#pragma once
#include <cstdint>

#include "stdlib/map_records.h"
#include "base/wstr.h"

namespace qel {

// The buffer of a stream is rounded up to a multiple of this many bytes when it grows.
constexpr int32_t kStreamGranule = 8192;

// The stream a script handed over, checked: raises "Null stream" for null and "Invalid stream"
// when its fields contradict each other (negative size or capacity, size beyond capacity, data
// without a buffer).
CMemStream& checked_stream(void* stream);

// Frees the buffer; capacity, size and pos := 0.
void stream_clear(CMemStream& s);
// Sets the capacity to n (n >= 0). The buffer becomes n rounded up to a multiple of 8192 when
// n > 0 and n differs from size, else n itself; it stays when that equals the capacity, and is
// freed for 0. Data beyond a smaller capacity is cut off (size shrinks with it). False, with the
// stream unchanged, when n is negative or the memory cannot be had.
bool stream_set_capacity(CMemStream& s, int32_t n);
// Sets the capacity and the size to n; pos moves back to n when it was beyond; new bytes are
// zeros. False, unchanged, when n is negative or the memory cannot be had.
bool stream_set_size(CMemStream& s, int32_t n);
// Replaces the contents with n bytes of data; pos := 0. False, unchanged, when out of memory.
bool stream_assign(CMemStream& s, const void* data, int32_t n);

// Copies min(count, size - pos) bytes from pos and advances pos. Returns the number copied; 0 when
// pos or count is negative; size - pos when that is not positive.
int32_t stream_read(CMemStream& s, void* buffer, int32_t count);
// Writes count bytes at pos, growing the stream, and advances pos. Bytes skipped when pos lies
// beyond the end read as zeros. Returns count; 0 when pos or count is negative, when pos + count
// is below 1 or past the int range, or when the memory cannot be had.
int32_t stream_write(CMemStream& s, const void* buffer, int32_t count);

// out := two upper-case hexadecimal digits per byte of the first size bytes.
void stream_to_hex(const CMemStream& s, WStr& out);
// Decodes pairs of hexadecimal digits (either case) and writes the bytes at pos. False, with
// nothing written, when the text has an odd length or a character that is not a digit.
bool stream_from_hex(CMemStream& s, const WStr& text, int32_t* written);

// A file name the C runtime and the system can take as it is: not empty, and no NUL inside that
// would silently cut it short.
bool usable_file_name(const WStr& name);

// The whole file (opened "rb") becomes the contents; pos := 0. False, unchanged, on failure.
bool stream_load_file(CMemStream& s, const char16_t* path);
// Creates the file ("wb") with the first size bytes. False when it cannot be opened or written.
bool stream_save_file(const CMemStream& s, const char16_t* path);

// The whole data of source, deflated into the "ql" container (a zlib stream whose two header bytes
// read "ql"), replaces the contents of target (pos := 0). Returns zlib's status: 0 on success,
// negative on failure with target unchanged. Source and target may be the same stream.
int stream_compress(const CMemStream& source, CMemStream& target);
// The inverse: the whole data of source read as a "ql" container and inflated into target.
int stream_uncompress(const CMemStream& source, CMemStream& target);

}  // namespace qel
