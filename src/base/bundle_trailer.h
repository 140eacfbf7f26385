// A bundled Linux application is the host executable followed by an image container and this
// trailer: the container's size (4 bytes, little-endian) and an 8-byte magic.
#pragma once
#include <cstdint>

namespace qel {
inline constexpr char kBundleMagic[8] = {'Q', 'E', 'L', 'B', 'U', 'N', 'D', 'L'};
inline constexpr int kBundleTrailerSize = 12;
}  // namespace qel
