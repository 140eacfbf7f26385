// Memory streams through their built-ins: growth, reads and writes at the edges, hex text,
// compression and files.
#include <malloc.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "builtin_harness.h"
#include "stdlib/streams.h"

using namespace qel;
using Bytes = std::vector<uint8_t>;

namespace {

class Streams : public qeltest::Builtins {
protected:
    void SetUp() override {
        Builtins::SetUp();
        stream = CMemStream{};
        other = CMemStream{};
    }
    void TearDown() override {
        stream_clear(stream);
        stream_clear(other);
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    int32_t write(CMemStream& s, const Bytes& data) { return write_n(s, data.data(), static_cast<int32_t>(data.size())); }
    int32_t write_n(CMemStream& s, const void* data, int32_t n) {
        reset();
        p(&s); p(data); i(n);
        EXPECT_EQ(call(bi_stream_write), "");
        EXPECT_EQ(count(), 1);
        return top_int();
    }
    int32_t read(CMemStream& s, void* buffer, int32_t n) {
        reset();
        p(&s); p(buffer); i(n);
        EXPECT_EQ(call(bi_stream_read), "");
        EXPECT_EQ(count(), 1);
        return top_int();
    }
    static Bytes contents(const CMemStream& s) { return s.memory ? Bytes(s.memory, s.memory + s.size) : Bytes{}; }
    std::string to_hex(CMemStream& s) {
        reset();
        WStr* target = wstr_new();
        p(&s); p(&target);
        EXPECT_EQ(call(bi_stream_to_hex_string), "");
        EXPECT_EQ(count(), 0);
        std::string out = utf8(*target);
        wstr_delete(target);
        return out;
    }
    std::string from_hex(CMemStream& s, const std::string& text) {
        reset();
        p(&s); s8(text);
        std::string error = call(bi_stream_from_hex_string);
        EXPECT_EQ(count(), 0);
        return error;
    }
    int32_t zlib(BuiltinFn fn, CMemStream& source, CMemStream& target) {
        reset();
        p(&source); p(&target);
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        return top_int();
    }
    bool file_call(BuiltinFn fn, CMemStream& s, const std::string& name) {
        reset();
        p(&s); s8(name);
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        return top_bool();
    }
    std::string temp_dir() {
        if (dir.empty()) {
            char pattern[] = "/tmp/qel-streams-XXXXXX";
            dir = mkdtemp(pattern);
        }
        return dir;
    }

    CMemStream stream{}, other{};
    std::string dir;
};

TEST_F(Streams, GrowthRoundsTheBufferButKeepsTheCapacityAsked) {
    EXPECT_EQ(write(stream, {0x42}), 1);
    EXPECT_EQ(stream.size, 1);
    EXPECT_EQ(stream.pos, 1);
    EXPECT_EQ(stream.capacity, 1);
    ASSERT_NE(stream.memory, nullptr);
    EXPECT_GE(malloc_usable_size(stream.memory), 8192u);

    // A sequence of operations and the fields after each.
    struct Step {
        enum { Write, SetSize, SetCapacity, Seek } op;
        int32_t n;
        int32_t size, pos, capacity;
    } steps[] = {
        {Step::Write, 8191, 8192, 8192, 8192},
        {Step::Write, 1, 8193, 8193, 8193},
        {Step::SetCapacity, 20000, 8193, 8193, 20000},
        {Step::Write, 5, 8198, 8198, 20000},   // within the capacity: it stays
        {Step::SetSize, 100, 100, 100, 100},   // pos moves back with the end
        {Step::Seek, 50, 100, 50, 100},
        {Step::SetSize, 200, 200, 50, 200},    // pos stays when within; the new bytes are zeros
        {Step::SetCapacity, 10, 10, 50, 10},   // a smaller capacity cuts the data
        {Step::Write, 1, 51, 51, 51},          // writing beyond the end
        {Step::SetSize, 0, 0, 0, 0},
    };
    Bytes ones(8191, 1);
    for (const Step& s : steps) {
        SCOPED_TRACE("step " + std::to_string(&s - steps));
        reset();
        switch (s.op) {
            case Step::Write: EXPECT_EQ(write_n(stream, ones.data(), s.n), s.n); break;
            case Step::SetSize:
                p(&stream); i(s.n);
                EXPECT_EQ(call(bi_stream_set_size), "");
                break;
            case Step::SetCapacity:
                p(&stream); i(s.n);
                EXPECT_EQ(call(bi_stream_set_capacity), "");
                break;
            case Step::Seek: stream.pos = s.n; break;
        }
        EXPECT_EQ(stream.size, s.size);
        EXPECT_EQ(stream.pos, s.pos);
        EXPECT_EQ(stream.capacity, s.capacity);
        if (s.op == Step::SetSize && s.n == 200) EXPECT_EQ(contents(stream), [] {
            Bytes b(100, 1);
            b[0] = 0x42;
            b.resize(200, 0);
            return b;
        }());
        if (stream.capacity > 0) {
            ASSERT_NE(stream.memory, nullptr);
            EXPECT_GE(malloc_usable_size(stream.memory), static_cast<size_t>(stream.capacity));
        }
    }
    EXPECT_EQ(stream.memory, nullptr);  // capacity 0 frees the buffer
}

TEST_F(Streams, WritesKeepEarlierDataAcrossGrowth) {
    Bytes expected;
    for (int round = 0; round < 40; ++round) {
        Bytes chunk(static_cast<size_t>(round * 97 + 1));
        for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 7 + round);
        EXPECT_EQ(write(stream, chunk), static_cast<int32_t>(chunk.size()));
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(contents(stream), expected);
    EXPECT_EQ(stream.pos, stream.size);
}

TEST_F(Streams, WriteEdges) {
    struct Case {
        int32_t start_pos, count, result, size_after, pos_after;
    } cases[] = {
        {-1, 3, 0, 4, -1},    // negative position
        {0, -1, 0, 4, 0},     // negative count
        {0, 0, 0, 4, 0},      // pos + count < 1
        {2, 0, 0, 4, 2},      // nothing to write, within the data
        {1, 2, 2, 4, 3},      // overwrite inside
        {3, 3, 3, 6, 6},      // across the end
        {8, 2, 2, 10, 10},    // beyond the end: the gap reads as zeros
        {6, 0, 0, 6, 6},      // count 0 beyond the end still moves the end there
        {INT32_MAX, 1, 0, 4, INT32_MAX},  // past the int range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("pos " + std::to_string(c.start_pos) + " count " + std::to_string(c.count));
        stream_clear(stream);
        ASSERT_EQ(write(stream, {1, 2, 3, 4}), 4);
        stream.pos = c.start_pos;
        uint8_t data[3] = {9, 9, 9};
        EXPECT_EQ(write_n(stream, data, c.count), c.result);
        EXPECT_EQ(stream.size, c.size_after);
        EXPECT_EQ(stream.pos, c.pos_after);
    }
    // The last growing case wrote 9 9 at 8 after the zero gap 4..7.
    stream_clear(stream);
    write(stream, {1, 2, 3, 4});
    stream.pos = 8;
    write(stream, {9, 9});
    EXPECT_EQ(contents(stream), (Bytes{1, 2, 3, 4, 0, 0, 0, 0, 9, 9}));
}

TEST_F(Streams, ReadEdges) {
    struct Case {
        int32_t start_pos, count, result, pos_after;
        Bytes got;
    } cases[] = {
        {0, 4, 4, 4, {0, 1, 2, 3}}, {8, 4, 2, 10, {8, 9}},  {10, 4, 0, 10, {}}, {12, 1, -2, 12, {}},
        {-1, 4, 0, -1, {}},          {0, -1, 0, 0, {}},       {3, 0, 0, 3, {}},
    };
    write(stream, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    for (const Case& c : cases) {
        SCOPED_TRACE("pos " + std::to_string(c.start_pos) + " count " + std::to_string(c.count));
        stream.pos = c.start_pos;
        uint8_t buffer[16];
        std::memset(buffer, 0xEE, sizeof buffer);
        EXPECT_EQ(read(stream, buffer, c.count), c.result);
        EXPECT_EQ(stream.pos, c.pos_after);
        int32_t n = c.result > 0 ? c.result : 0;
        EXPECT_EQ(Bytes(buffer, buffer + n), c.got);
        EXPECT_EQ(buffer[n], 0xEE);  // nothing beyond what was read
    }
}

TEST_F(Streams, ClearFreesEverything) {
    write(stream, {1, 2, 3});
    reset();
    p(&stream);
    EXPECT_EQ(call(bi_stream_clear), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(stream.memory, nullptr);
    EXPECT_EQ(stream.size, 0);
    EXPECT_EQ(stream.pos, 0);
    EXPECT_EQ(stream.capacity, 0);
    uint8_t b;
    EXPECT_EQ(read(stream, &b, 1), 0);
}

TEST_F(Streams, HexText) {
    write(stream, {0x0A, 0xFF});
    EXPECT_EQ(to_hex(stream), "0AFF");
    EXPECT_EQ(to_hex(other), "");

    // Decoding writes at pos, like a write, and accepts both cases.
    stream.pos = 1;
    EXPECT_EQ(from_hex(stream, "0aFf10"), "");
    EXPECT_EQ(contents(stream), (Bytes{0x0A, 0x0A, 0xFF, 0x10}));
    EXPECT_EQ(stream.pos, 4);

    // Every byte value survives bytes -> hex -> bytes.
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(255 - i);
    write(other, all);
    std::string hex = to_hex(other);
    ASSERT_EQ(hex.size(), 512u);
    EXPECT_EQ(hex.substr(0, 6), "FFFEFD");
    CMemStream back{};
    EXPECT_EQ(from_hex(back, hex), "");
    EXPECT_EQ(contents(back), all);
    stream_clear(back);

    // Bad text is an error and writes nothing.
    for (const char* bad : {"ABC", "0G", "1 ", "zz00", "\xC3\xA9"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(from_hex(stream, bad), "Invalid hexadecimal text");
        EXPECT_EQ(contents(stream), (Bytes{0x0A, 0x0A, 0xFF, 0x10}));
    }
}

TEST_F(Streams, CompressionRoundTrip) {
    Bytes inputs[] = {{}, {7}, Bytes(100000, 'a'), {}};
    // An incompressible input that grows when deflated.
    uint32_t x = 12345;
    for (int i = 0; i < 50000; ++i) {
        x = x * 1103515245u + 12345u;
        inputs[3].push_back(static_cast<uint8_t>(x >> 16));
    }
    for (const Bytes& in : inputs) {
        SCOPED_TRACE("size " + std::to_string(in.size()));
        stream_clear(stream);
        stream_clear(other);
        if (!in.empty()) write(stream, in);
        ASSERT_EQ(zlib(bi_compress, stream, other), 0);
        ASSERT_GE(other.size, 2);
        EXPECT_EQ(other.memory[0], 'q');
        EXPECT_EQ(other.memory[1], 'l');
        EXPECT_EQ(other.pos, 0);
        Bytes packed = contents(other);
        CMemStream back{};
        write(back, {1, 2, 3});  // replaced, not appended to
        EXPECT_EQ(zlib(bi_uncompress, other, back), 0);
        EXPECT_EQ(contents(back), in);
        EXPECT_EQ(back.pos, 0);
        EXPECT_EQ(contents(other), packed);  // the source is left as it was
        stream_clear(back);
    }
    // A stream can be compressed into itself and back.
    stream_clear(stream);
    write(stream, {1, 2, 3, 1, 2, 3});
    EXPECT_EQ(zlib(bi_compress, stream, stream), 0);
    EXPECT_EQ(zlib(bi_uncompress, stream, stream), 0);
    EXPECT_EQ(contents(stream), (Bytes{1, 2, 3, 1, 2, 3}));
}

TEST_F(Streams, UncompressRejectsDamagedInput) {
    write(stream, Bytes(5000, 'z'));
    ASSERT_EQ(zlib(bi_compress, stream, other), 0);
    Bytes good = contents(other);
    write(stream, {1});  // the target's contents must survive failures
    Bytes target_before = contents(stream);
    struct Case {
        const char* what;
        Bytes data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {'q'}},
        {"garbage", {'q', 'l', 1, 2, 3, 4, 5}},
        {"truncated", Bytes(good.begin(), good.end() - 6)},
        {"bad checksum", good},
    };
    cases[4].data[cases[4].data.size() - 1] ^= 0xFF;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stream_clear(other);
        if (!c.data.empty()) write(other, c.data);
        EXPECT_LT(zlib(bi_uncompress, other, stream), 0);
        EXPECT_EQ(contents(stream), target_before);
    }
}

TEST_F(Streams, FilesRoundTrip) {
    std::string path = temp_dir() + "/data.bin";
    Bytes data;
    for (int i = 0; i < 20000; ++i) data.push_back(static_cast<uint8_t>(i * 31));
    write(stream, data);
    EXPECT_TRUE(file_call(bi_stream_save_to_file, stream, path));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), data);

    write(other, {9, 9});
    EXPECT_TRUE(file_call(bi_stream_load_from_file, other, path));
    EXPECT_EQ(contents(other), data);
    EXPECT_EQ(other.pos, 0);

    // An empty stream makes an empty file, which loads as an empty stream.
    CMemStream empty{};
    std::string empty_path = temp_dir() + "/empty.bin";
    EXPECT_TRUE(file_call(bi_stream_save_to_file, empty, empty_path));
    EXPECT_EQ(std::filesystem::file_size(empty_path), 0u);
    EXPECT_TRUE(file_call(bi_stream_load_from_file, other, empty_path));
    EXPECT_EQ(other.size, 0);
}

TEST_F(Streams, FileFailuresLeaveTheStreamAlone) {
    write(stream, {5, 6, 7});
    std::string base = temp_dir();
    std::string names[] = {base + "/missing.bin", base + "/no/such/dir/x.bin", base, ""};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(file_call(bi_stream_load_from_file, stream, name));
        EXPECT_EQ(contents(stream), (Bytes{5, 6, 7}));
    }
    EXPECT_FALSE(file_call(bi_stream_save_to_file, stream, base + "/no/such/dir/x.bin"));
    EXPECT_FALSE(file_call(bi_stream_save_to_file, stream, base));  // a directory
    EXPECT_FALSE(file_call(bi_stream_save_to_file, stream, ""));
    // A name with a NUL inside is refused, not cut short to "ok.bin".
    std::u16string hidden = u"ok.bin";
    hidden += char16_t(0);
    hidden += u"x";
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(base);
    reset();
    p(&stream);
    Value& name = push_slot(st);
    name.tag = kTagString;
    name.text.assignWide(hidden.c_str(), static_cast<uint32_t>(hidden.size()));
    std::string error = call(bi_stream_save_to_file);
    bool result = top_bool();
    std::filesystem::current_path(cwd);
    EXPECT_EQ(error, "");
    EXPECT_FALSE(result);
    EXPECT_FALSE(std::filesystem::exists(base + "/ok.bin"));
}

TEST_F(Streams, BadStreamsAreClearErrors) {
    uint8_t b[4] = {};
    reset();
    p(nullptr); p(b); i(1);
    EXPECT_EQ(call(bi_stream_write), "Null stream");
    reset();
    p(nullptr); p(&other);
    EXPECT_EQ(call(bi_compress), "Null stream");

    CMemStream broken[] = {{nullptr, 5, 0, 5}, {b, 5, 0, 4}, {nullptr, -1, 0, 0}, {nullptr, 0, 0, -1}};
    for (CMemStream& s : broken) {
        reset();
        p(&s); p(b); i(1);
        EXPECT_EQ(call(bi_stream_read), "Invalid stream");
    }
    write(stream, {1, 2});
    stream.pos = 0;
    reset();
    p(&stream); p(nullptr); i(1);
    EXPECT_EQ(call(bi_stream_read), "Null buffer");
    reset();
    p(&stream); p(nullptr); i(1);
    EXPECT_EQ(call(bi_stream_write), "Null buffer");
    reset();
    p(&stream); i(-1);
    EXPECT_EQ(call(bi_stream_set_size), "Invalid stream size");
    reset();
    p(&stream); i(-1);
    EXPECT_EQ(call(bi_stream_set_capacity), "Invalid stream capacity");
    EXPECT_EQ(contents(stream), (Bytes{1, 2}));
    reset();
    p(&stream); s(u"buffer"); i(1);
    EXPECT_EQ(call(bi_stream_read), "Cannot convert 'string' to 'pointer'");
}

}  // namespace
