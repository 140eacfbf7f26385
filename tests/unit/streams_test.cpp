// Memory streams and files through their built-ins: growth, edges, hex text, compression, stream
// files and path helpers (the files image asks the file system in both lanes).
#include <malloc.h>

#include <filesystem>
#include <fstream>

#include "builtin_harness.h"
#include "stdlib/streams.h"

using namespace qel;
using Bytes = std::vector<uint8_t>;
using qeltest::Arg;
using qeltest::Ptr;

namespace {

class Streams : public qeltest::Builtins {
protected:
    void TearDown() override {
        stream_clear(stream);
        stream_clear(other);
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    int32_t run_int(BuiltinFn fn, const std::vector<Arg>& args) {  // a built-in with an int result
        std::string r = result(fn, args);
        EXPECT_EQ(r.substr(0, 2), "i:") << r;
        return r.substr(0, 2) == "i:" ? std::stoi(r.substr(2)) : INT32_MIN;
    }
    bool file(BuiltinFn fn, CMemStream& s, const std::string& name) {
        std::string r = result(fn, {Ptr{&s}, name});
        EXPECT_TRUE(r == "b:true" || r == "b:false") << r;
        return r == "b:true";
    }
    int32_t write(CMemStream& s, const Bytes& data) { return run_int(bi_stream_write, {Ptr{&s}, Ptr{data.data()}, int(data.size())}); }
    static Bytes contents(const CMemStream& s) { return s.memory ? Bytes(s.memory, s.memory + s.size) : Bytes{}; }
    std::string to_hex(CMemStream& s) {
        WStr* target = wstr_new();
        EXPECT_EQ(result(bi_stream_to_hex_string, {Ptr{&s}, Ptr{&target}}), "<0 values>");
        std::string out = utf8(*target);
        wstr_delete(target);
        return out;
    }

    CMemStream stream{}, other{};
    std::string dir;
};

TEST_F(Streams, GrowthRoundsTheBufferButKeepsTheCapacityAsked) {
    struct Step { BuiltinFn fn; int32_t n, size, pos, capacity; } steps[] = {  // no fn: only pos := n
        {bi_stream_write, 1, 1, 1, 1},  // the buffer is a whole granule
        {bi_stream_write, 8191, 8192, 8192, 8192}, {bi_stream_write, 1, 8193, 8193, 8193},
        {bi_stream_set_capacity, 20000, 8193, 8193, 20000}, {bi_stream_write, 5, 8198, 8198, 20000},  // within the capacity: it stays
        {bi_stream_set_size, 100, 100, 100, 100},  // pos moves back with the end
        {nullptr, 50, 100, 50, 100}, {bi_stream_set_size, 200, 200, 50, 200},  // pos stays when within; the new bytes are zeros
        {bi_stream_set_capacity, 10, 10, 50, 10},  // a smaller capacity cuts the data
        {bi_stream_write, 1, 51, 51, 51},  // writing beyond the end
        {bi_stream_set_size, 0, 0, 0, 0},
    };
    Bytes ones(8191, 1);
    for (const Step& s : steps) {
        SCOPED_TRACE("step " + std::to_string(&s - steps));
        if (s.fn == bi_stream_write) EXPECT_EQ(run_int(s.fn, {Ptr{&stream}, Ptr{ones.data()}, s.n}), s.n);
        else if (s.fn) EXPECT_EQ(run(s.fn, {Ptr{&stream}, s.n}), "");
        else stream.pos = s.n;
        EXPECT_EQ((std::vector<int32_t>{stream.size, stream.pos, stream.capacity}), (std::vector<int32_t>{s.size, s.pos, s.capacity}));
        if (s.n == 200) EXPECT_EQ(contents(stream), [] { Bytes b(100, 1); b.resize(200, 0); return b; }());
        if (stream.capacity > 0) {
            ASSERT_NE(stream.memory, nullptr);
            EXPECT_GE(malloc_usable_size(stream.memory), std::max<size_t>(stream.capacity, s.n == 1 ? 8192 : 0));
        }
    }
    EXPECT_EQ(stream.memory, nullptr);  // capacity 0 frees the buffer
}

TEST_F(Streams, WriteEdges) {
    struct Case { int32_t start_pos, count, result, size_after, pos_after; } cases[] = {
        {-1, 3, 0, 4, -1}, {0, -1, 0, 4, 0},    // negative position or count
        {0, 0, 0, 4, 0},   {2, 0, 0, 4, 2},     // pos + count < 1; nothing to write within the data
        {1, 2, 2, 4, 3},   {3, 3, 3, 6, 6},     // inside; across the end
        {8, 2, 2, 10, 10}, {6, 0, 0, 6, 6},     // beyond the end; count 0 there still moves the end
        {INT32_MAX, 1, 0, 4, INT32_MAX},        // past the int range
    };
    uint8_t data[3] = {9, 9, 9};
    for (const Case& c : cases) {
        SCOPED_TRACE("pos " + std::to_string(c.start_pos) + " count " + std::to_string(c.count));
        stream_clear(stream);
        ASSERT_EQ(write(stream, {1, 2, 3, 4}), 4);
        stream.pos = c.start_pos;
        EXPECT_EQ(run_int(bi_stream_write, {Ptr{&stream}, Ptr{data}, c.count}), c.result);
        EXPECT_TRUE(stream.size == c.size_after && stream.pos == c.pos_after) << stream.size << " " << stream.pos;
    }
    // The gap before a write beyond the end reads as zeros, whatever the buffer held there.
    stream_clear(stream);
    write(stream, Bytes(10, 0xFF));
    EXPECT_EQ(run(bi_stream_set_size, {Ptr{&stream}, 4}), "");
    stream.pos = 8;
    write(stream, {9, 9});
    EXPECT_EQ(contents(stream), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 9, 9}));
}

TEST_F(Streams, ReadEdgesAndClear) {
    struct Case { int32_t start_pos, count, result, pos_after; Bytes got; } cases[] = {
        {0, 4, 4, 4, {0, 1, 2, 3}}, {8, 4, 2, 10, {8, 9}}, {10, 4, 0, 10, {}}, {12, 1, -2, 12, {}},
        {-1, 4, 0, -1, {}},          {0, -1, 0, 0, {}},      {3, 0, 0, 3, {}},
    };
    write(stream, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    for (const Case& c : cases) {
        SCOPED_TRACE("pos " + std::to_string(c.start_pos) + " count " + std::to_string(c.count));
        stream.pos = c.start_pos;
        Bytes buffer(16, 0xEE);
        EXPECT_EQ(run_int(bi_stream_read, {Ptr{&stream}, Ptr{buffer.data()}, c.count}), c.result);
        EXPECT_EQ(stream.pos, c.pos_after);
        Bytes want = c.got;
        want.push_back(0xEE);  // nothing beyond what was read
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + want.size()), want);
    }
    EXPECT_EQ(result(bi_stream_clear, {Ptr{&stream}}), "<0 values>");
    EXPECT_TRUE(stream.size == 0 && stream.pos == 0 && stream.capacity == 0 && stream.memory == nullptr);
}

TEST_F(Streams, HexText) {
    write(stream, {0x0A, 0xFF});
    EXPECT_EQ(to_hex(stream), "0AFF");
    EXPECT_EQ(to_hex(other), "");
    stream.pos = 1;  // decoding writes at pos, like a write, and takes both cases
    EXPECT_EQ(run(bi_stream_from_hex_string, {Ptr{&stream}, "0aFf10"}), "");
    EXPECT_EQ(contents(stream), (Bytes{0x0A, 0x0A, 0xFF, 0x10}));
    for (const char* bad : {"ABC", "0G", "1 ", "zz00", "\xC3\xA9"}) {
        EXPECT_EQ(run(bi_stream_from_hex_string, {Ptr{&stream}, bad}), "Invalid hexadecimal text") << bad;
        EXPECT_EQ(contents(stream), (Bytes{0x0A, 0x0A, 0xFF, 0x10})) << bad;  // nothing written
    }
    Bytes all(256);  // every byte value survives bytes -> hex -> bytes
    for (int k = 0; k < 256; ++k) all[k] = static_cast<uint8_t>(255 - k);
    write(other, all);
    std::string hex = to_hex(other);
    EXPECT_EQ(hex.substr(0, 6) + hex.substr(506), "FFFEFD020100");
    stream_clear(stream);
    EXPECT_EQ(run(bi_stream_from_hex_string, {Ptr{&stream}, hex}), "");
    EXPECT_EQ(contents(stream), all);
}

TEST_F(Streams, CompressionRoundTripsAndDamagedInput) {
    Bytes noise;  // incompressible: it grows when deflated
    for (uint32_t x = 12345; noise.size() < 3000; x = x * 1103515245u + 12345u) noise.push_back(uint8_t(x >> 16));
    for (const Bytes& in : {Bytes{}, Bytes(20000, 'a'), noise}) {
        stream_clear(stream);
        write(stream, in);
        ASSERT_EQ(run_int(bi_compress, {Ptr{&stream}, Ptr{&other}}), 0);
        ASSERT_GE(other.size, 2);
        EXPECT_EQ(std::string(other.memory, other.memory + 2) + std::to_string(other.pos), "ql0");
        const Bytes packed = contents(other);
        CMemStream back{};
        write(back, {1, 2, 3});  // replaced, not appended to
        EXPECT_EQ(run_int(bi_uncompress, {Ptr{&other}, Ptr{&back}}), 0);
        EXPECT_TRUE(contents(back) == in && back.pos == 0) << in.size();
        EXPECT_EQ(contents(other), packed);  // the source is left as it was
        stream_clear(back);
    }
    stream_clear(stream);  // a stream compressed into itself and back
    write(stream, {1, 2, 3, 1, 2, 3});
    EXPECT_EQ(run_int(bi_compress, {Ptr{&stream}, Ptr{&stream}}), 0);
    EXPECT_EQ(run_int(bi_uncompress, {Ptr{&stream}, Ptr{&stream}}), 0);
    EXPECT_EQ(contents(stream), (Bytes{1, 2, 3, 1, 2, 3}));
    // Damaged input fails and keeps the target.
    Bytes good = contents(other), bad_sum = good;
    bad_sum.back() ^= 0xFF;
    for (const Bytes& data : {Bytes{'q'}, Bytes{'q', 'l', 1, 2, 3}, Bytes(good.begin(), good.end() - 6), bad_sum}) {
        stream_clear(other);
        write(other, data);
        EXPECT_LT(run_int(bi_uncompress, {Ptr{&other}, Ptr{&stream}}), 0) << data.size();
        EXPECT_EQ(contents(stream), (Bytes{1, 2, 3, 1, 2, 3}));
    }
}

TEST_F(Streams, FilesRoundTripAndFailuresLeaveTheStreamAlone) {
    char pattern[] = "/tmp/qel-streams-XXXXXX";
    dir = mkdtemp(pattern);
    std::string path = dir + "/data.bin", empty_path = dir + "/empty.bin";
    Bytes data;
    for (int k = 0; k < 20000; ++k) data.push_back(static_cast<uint8_t>(k * 31));
    write(stream, data);
    EXPECT_TRUE(file(bi_stream_save_to_file, stream, path));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), data);
    write(other, {9, 9});
    EXPECT_TRUE(file(bi_stream_load_from_file, other, path));
    EXPECT_TRUE(contents(other) == data && other.pos == 0);
    CMemStream empty{};  // an empty stream makes an empty file, which loads as an empty stream
    EXPECT_TRUE(file(bi_stream_save_to_file, empty, empty_path) && std::filesystem::file_size(empty_path) == 0);
    EXPECT_TRUE(file(bi_stream_load_from_file, other, empty_path) && other.size == 0);
    // A name with a NUL inside is refused, not cut short to the name before it.
    std::string hidden = path + std::string(1, '\0') + "x";
    stream_clear(stream);
    write(stream, {5, 6, 7});
    for (const std::string& name : {dir + "/missing.bin", dir + "/no/such/dir/x.bin", dir, std::string(), hidden}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(file(bi_stream_load_from_file, stream, name));
        EXPECT_EQ(contents(stream), (Bytes{5, 6, 7}));
        if (name != dir + "/missing.bin") EXPECT_FALSE(file(bi_stream_save_to_file, empty, name));
    }
    EXPECT_EQ(std::filesystem::file_size(path), data.size());  // not overwritten through the NUL name
}

TEST_F(Streams, BadStreamsAreClearErrors) {
    uint8_t b[4] = {};
    EXPECT_EQ(run(bi_stream_write, {Ptr{nullptr}, Ptr{b}, 1}), "Null stream");
    CMemStream broken[] = {{nullptr, 5, 0, 5}, {b, 5, 0, 4}, {nullptr, -1, 0, 0}, {nullptr, 0, 0, -1}};
    for (CMemStream& s : broken) EXPECT_EQ(run(bi_stream_read, {Ptr{&s}, Ptr{b}, 1}), "Invalid stream");
    write(stream, {1, 2});
    stream.pos = 0;
    EXPECT_EQ(run(bi_stream_read, {Ptr{&stream}, Ptr{nullptr}, 1}), "Null buffer");
    EXPECT_EQ(run(bi_stream_write, {Ptr{&stream}, Ptr{nullptr}, 1}), "Null buffer");
    EXPECT_EQ(run(bi_stream_set_size, {Ptr{&stream}, -1}), "Invalid stream size");
    EXPECT_EQ(run(bi_stream_set_capacity, {Ptr{&stream}, -1}), "Invalid stream capacity");
    EXPECT_EQ(contents(stream), (Bytes{1, 2}));
}

using Files = Streams;

TEST_F(Files, PathHelpersSplitAtBackslashesOnly) {
    struct Case { std::string path, name, dir, ext; } cases[] = {
        {"C:\\dir\\file.txt", "file.txt", "C:\\dir", ".txt"}, {"C:\\my.dir\\file", "file", "C:\\my.dir", ""},
        {"C:\\dir\\", "", "C:\\dir", ""}, {"\\x", "x", "", ""}, {"", "", "", ""},
        {"a.tar.gz", "a.tar.gz", "a.tar.gz", ".tar.gz"}, {"d\\x.txt,y", "x.txt,y", "d", ".txt"},
        {"d\\name.ext%20more", "name.ext%20more", "d", ".ext"}, {"d\\a.b c", "a.b c", "d", ".b"},
        {"a/b/c.txt", "a/b/c.txt", "a/b/c.txt", ".txt"}, {"d\\a.b/c", "a.b/c", "d", ".b"},
        {"d\\file.", "file.", "d", "."},
        {"\\\\server\\share\\r\u00e9sum\u00e9.doc", "r\u00e9sum\u00e9.doc", "\\\\server\\share", ".doc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(result(bi_ExtractFileName, {c.path}) + "|" + result(bi_ExtractFileDir, {c.path}) + "|" + result(bi_ExtractFileExt, {c.path}),
                  "s:" + c.name + "|s:" + c.dir + "|s:" + c.ext);
}

}  // namespace
