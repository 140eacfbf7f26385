// The "ql" container: round trips, sizing by overflow, failure statuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/container.h"

using namespace qel;

namespace {

std::vector<uint8_t> deflate(const std::string& s) {
    ByteBuffer out;
    EXPECT_EQ(container_deflate_buffer(out, reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size())), kZOk);
    return std::vector<uint8_t>(out.data, out.data + out.length);
}

std::string pattern(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + (i * 7919 % 26)));
    return s;
}

TEST(Container, RoundTripsAndStartsWithTheMagic) {
    for (size_t n : {size_t(0), size_t(1), size_t(100), size_t(8192), size_t(8193), size_t(300000)}) {
        std::string payload = pattern(n);
        std::vector<uint8_t> packed = deflate(payload);
        ASSERT_GE(packed.size(), 2u);
        EXPECT_EQ(packed[0], 'q');
        EXPECT_EQ(packed[1], 'l');
        ByteBuffer out;
        ASSERT_EQ(container_inflate_buffer(out, packed.data(), static_cast<int32_t>(packed.size())), kZOk) << n;
        ASSERT_EQ(out.length, static_cast<int32_t>(n));
        EXPECT_EQ(std::memcmp(out.data, payload.data(), n), 0);
    }
}

TEST(Container, ThePayloadSizeDecidesOneOrTwoPasses) {
    std::string small = pattern(8192), large = pattern(8193);
    std::vector<uint8_t> a = deflate(small), b = deflate(large);
    ByteBuffer out;
    ASSERT_TRUE(out.set_length(8192));
    EXPECT_EQ(container_inflate(out, a.data(), static_cast<int32_t>(a.size())), kZOk);
    EXPECT_EQ(out.length, 8192);
    ByteBuffer out2;
    ASSERT_TRUE(out2.set_length(8192));
    EXPECT_EQ(container_inflate(out2, b.data(), static_cast<int32_t>(b.size())), kZBufError);
    EXPECT_EQ(out2.length, 8193);  // only the size survives an overflow pass
}

TEST(Container, TheFirstTwoBytesAreIgnored) {
    std::string payload = "hello";
    std::vector<uint8_t> packed = deflate(payload);
    for (auto magic : {std::pair<uint8_t, uint8_t>{0x78, 0x9C}, {0, 0}, {'x', 'y'}}) {
        std::vector<uint8_t> copy = packed;
        copy[0] = magic.first;
        copy[1] = magic.second;
        ByteBuffer out;
        ASSERT_EQ(container_inflate_buffer(out, copy.data(), static_cast<int32_t>(copy.size())), kZOk);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data), out.length), payload);
        EXPECT_EQ(copy[0], 0x78);  // written over in the input
    }
}

TEST(Container, TruncatedOrGarbageInputFails) {
    std::vector<uint8_t> packed = deflate(pattern(20000));
    for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(10), packed.size() / 2, packed.size() - 1}) {
        std::vector<uint8_t> copy(packed.begin(), packed.begin() + static_cast<long>(cut));
        ByteBuffer out;
        EXPECT_EQ(container_inflate_buffer(out, copy.data(), static_cast<int32_t>(copy.size())), kZDataError) << cut;
    }
    std::vector<uint8_t> garbage = {'q', 'l', 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x12};
    ByteBuffer out;
    EXPECT_EQ(container_inflate_buffer(out, garbage.data(), static_cast<int32_t>(garbage.size())), kZDataError);
}

TEST(ByteBuffer, SetLengthKeepsOrReplacesTheBlock) {
    ByteBuffer b;
    ASSERT_TRUE(b.set_length(16));
    uint8_t* first = b.data;
    ASSERT_TRUE(b.set_length(8));
    EXPECT_EQ(b.data, first);
    EXPECT_EQ(b.capacity, 16);
    EXPECT_EQ(b.length, 8);
    ASSERT_TRUE(b.set_length(32));
    EXPECT_EQ(b.capacity, 32);
    EXPECT_EQ(b.length, 32);
}

}  // namespace
