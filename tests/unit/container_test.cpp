// The "ql" container (round trips, sizing by overflow), the byte buffer, and
// the authoring conveniences of qelasm: line ends, comments, and what includes and labels refuse.
#include <gtest/gtest.h>

#include <vector>

#include "image/container.h"
#include "qelasm/authoring.h"

using namespace qel;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes deflate(const std::string& s) {
    ByteBuffer out;
    EXPECT_EQ(container_deflate_buffer(out, reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size())), kZOk);
    return Bytes(out.data, out.data + out.length);
}

// The status of inflating the bytes, and the text when it succeeded.
std::string inflate(Bytes in) {
    ByteBuffer out;
    int status = container_inflate_buffer(out, in.data(), static_cast<int32_t>(in.size()));
    return std::to_string(status) + (status == kZOk ? ":" + std::string(reinterpret_cast<char*>(out.data), out.length) : "");
}

std::string pattern(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + (i * 7919 % 26)));
    return s;
}

TEST(Container, RoundTripsWhateverTheFirstTwoBytesSay) {
    for (size_t n : {size_t(0), size_t(1), size_t(8192), size_t(8193), size_t(300000)}) {
        Bytes packed = deflate(pattern(n));
        ASSERT_GE(packed.size(), 2u);
        EXPECT_EQ(std::string(packed.begin(), packed.begin() + 2), "ql");
        for (int b : {-1, 0x00, 0x78}) {  // as written, and with the header written over before inflating
            if (b >= 0) packed[0] = packed[1] = static_cast<uint8_t>(b);
            EXPECT_EQ(inflate(packed), "0:" + pattern(n)) << n << " " << b;
        }
    }
    // One pass fits 8192 bytes; more overflows, and only the size survives the overflow pass.
    Bytes a = deflate(pattern(8192)), b = deflate(pattern(8193));
    ByteBuffer out, out2;
    ASSERT_TRUE(out.set_length(8192) && out2.set_length(8192));
    EXPECT_TRUE(container_inflate(out, a.data(), static_cast<int32_t>(a.size())) == kZOk && out.length == 8192);
    EXPECT_TRUE(container_inflate(out2, b.data(), static_cast<int32_t>(b.size())) == kZBufError && out2.length == 8193);
}

TEST(ByteBuffer, SetLengthKeepsOrReplacesTheBlock) {
    ByteBuffer b;
    ASSERT_TRUE(b.set_length(16));
    uint8_t* first = b.data;
    ASSERT_TRUE(b.set_length(8) && b.data == first);
    EXPECT_EQ(b.capacity * 100 + b.length, 1608);
    ASSERT_TRUE(b.set_length(32));
    EXPECT_EQ(b.capacity * 100 + b.length, 3232);
    EXPECT_FALSE(b.set_length(-1));
}

// The image text qelasm makes of the source, or "error: " and why.
std::string build(const std::string& src) {
    std::string out, error;
    return qelasm::build_image_text_from(src, "t.qsrc", QEL_SOURCE_DIR "/tests/images", &out, &error) ? out : "error: " + error;
}

TEST(Qelasm, LinesLabelsIncludesAndErrors) {
    // Lines are trimmed, comments and blank lines dropped, CR LF joins them and a NUL ends the text.
    EXPECT_EQ(build("; comment\n\n  [METADATA]  \r\n\t; indented comment\nunit  A\n[/METADATA]"),
              std::string("[METADATA]\r\nunit  A\r\n[/METADATA]\r\n") + '\0');
    // Labels become instruction counts from the method header (every image branches by them); the
    // errors name the line.
    const std::string f = "[SOURCE]\nmethod F.[a:1][m:0][p:00][r:i][v:i]\n";
    EXPECT_EQ(build(f + "jmp @nowhere\nret\n[/SOURCE]\n"), "error: t.qsrc:3: undefined label '@nowhere'");
    EXPECT_EQ(build(f + "@a:\n@a:\nret\n[/SOURCE]\n"), "error: t.qsrc:4: label '@a' defined twice in this method");
    EXPECT_EQ(build(f + "@:\nret\n[/SOURCE]\n"), "error: t.qsrc:3: a label is written @name:");
    // An include that cannot be read names its line (every image includes its prelude).
    EXPECT_EQ(build("\n#include \"no/such/file.qsrc\"\n").rfind("error: t.qsrc:2: cannot read included file", 0), 0u);
}

}  // namespace
