#include "base/byte_buffer.h"

#include <cstdlib>

namespace qel {

bool ByteBuffer::set_length(int32_t n) {
    if (n < 0) return false;
    if (capacity >= n && data) {
        length = n;
        return true;
    }
    std::free(data);
    data = static_cast<uint8_t*>(std::malloc(n > 0 ? static_cast<size_t>(n) : 1));
    if (!data) {
        length = capacity = 0;
        return false;
    }
    length = capacity = n;
    return true;
}

void ByteBuffer::release() {
    std::free(data);
    data = nullptr;
    length = capacity = 0;
}

}  // namespace qel
