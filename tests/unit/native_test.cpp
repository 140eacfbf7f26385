// The native bridge below the image tests (which run the stubs in every convention): stub bytes
// against the documented layout, the stubs that cannot be made, the load reports of proc lines,
// the thunk pages, and two threads inside one thunk at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>
#include <thread>

#include "image/image_parser.h"
#include "native/native_state.h"
#include "native/thunks.h"
#include "platform/platform.h"
#include "test_support.h"
#include "types/proc_records.h"
#include "vm/thread_registry.h"

using namespace qel;

namespace {

// The layout written out: hex bytes, with {C} for the context and {E} {T} {I} {D} {L} {V} {P}
// for the routines enter, set_this, push_int, push_double, push_long, invoke and pop_int.
std::vector<uint8_t> layout(const std::string& text, const void* context, const ThunkRoutines& r) {
    std::vector<uint8_t> out;
    const void* words[] = {context, r.enter, r.set_this, r.push_int, r.push_double, r.push_long, r.invoke, r.pop_int};
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        if (token[0] != '{') {
            out.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
            continue;
        }
        auto w = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(words[std::string("CETIDLVP").find(token[1])]));
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
    return out;
}

const char* const kHead = "55 8B EC 51 C7 45 FC {C} FF 75 FC B8 {E} FF D0 59 ";
const char* const kThisHead = "55 8B EC 51 51 C7 45 FC {C} FF 75 FC B8 {E} FF D0 59 FF 75 FC B8 {T} FF D0 83 C4 08 ";
const char* const kIntResult = "FF 75 FC B8 {V} FF D0 59 FF 75 FC B8 {P} FF D0 59 59 5D ";
const char* const kNoResult = "FF 75 FC B8 {V} FF D0 59 59 5D ";

struct StubCase { int convention; const char* codes; char result; std::string bytes; };

}  // namespace

TEST(Thunks, StubsFollowTheLayout) {
    // Fake addresses: only the bytes are compared, nothing is run.
    auto fake = [](uintptr_t a) { return reinterpret_cast<void*>(a); };
    const ThunkRoutines r{fake(0x11121314), fake(0x21222324), fake(0x31323334), fake(0x41424344),
                          fake(0x51525354), fake(0x61626364), fake(0x71727374)};
    const void* context = reinterpret_cast<void*>(0x0A0B0C0D);
    const std::string push_p8 = "FF 75 08 FF 75 FC B8 {I} FF D0 83 C4 08 ";
    const std::string push_p12 = "FF 75 0C FF 75 FC B8 {I} FF D0 83 C4 08 ";
    const StubCase cases[] = {
        {0, "", 'i', std::string(kHead) + kIntResult + "C2 00 00"},
        {0, "pp", 'i', std::string(kHead) + push_p8 + push_p12 + kIntResult + "C2 08 00"},
        {1, "pp", 'i', std::string(kHead) + push_p8 + push_p12 + kIntResult + "C3"},
        {0, "pppd", 'v',
         std::string(kHead) + push_p8 + push_p12 + "FF 75 10 FF 75 FC B8 {I} FF D0 83 C4 08 " +
             "FF 75 18 FF 75 14 FF 75 FC B8 {D} FF D0 83 C4 0C " + kNoResult + "C2 14 00"},
        {2, "l", 'n', std::string(kThisHead) + "FF 75 0C FF 75 08 FF 75 FC B8 {L} FF D0 83 C4 0C " + kIntResult + "C2 08 00"},
        {2, "", 'b', std::string(kThisHead) + kNoResult + "C2 00 00"},
        {1, "mn", 'v',
         std::string(kHead) + "FF 75 08 FF 75 FC B8 {I} FF D0 83 C4 08 FF 75 0C FF 75 FC B8 {I} FF D0 83 C4 08 " +
             kNoResult + "C3"},
    };
    for (const StubCase& c : cases) {
        SCOPED_TRACE(std::string("convention ") + std::to_string(c.convention) + " codes '" + c.codes + "' result " + c.result);
        uint8_t out[kStagingBytes];
        StubResult s = assemble_stub(out, sizeof out, context, c.convention, c.codes, static_cast<int>(std::strlen(c.codes)),
                                     c.result, r);
        ASSERT_EQ(s.status, StubStatus::ok);
        EXPECT_EQ(std::vector<uint8_t>(out, out + s.size), layout(c.bytes, context, r));
    }
    // The sizes the layout gives: 49 bytes (63 for thiscall) with an int result, 16 per 4-byte
    // parameter, 19 per 8-byte parameter.
    uint8_t out[kStagingBytes];
    EXPECT_EQ(assemble_stub(out, sizeof out, context, 0, "", 0, 'i', r).size, 49u);
    EXPECT_EQ(assemble_stub(out, sizeof out, context, 2, "", 0, 'i', r).size, 63u);
    EXPECT_EQ(assemble_stub(out, sizeof out, context, 0, "idl", 3, 'p', r).size, 49u + 16 + 19 + 19);
    EXPECT_EQ(assemble_stub(out, sizeof out, context, 1, "", 0, 'i', r).size, 49u - 2);  // ret, not ret n
}

TEST(Thunks, StubsThatCannotBeMadeAreRefused) {
    const ThunkRoutines& r = thunk_routines();
    uint8_t out[kStagingBytes];
    const std::string ints31(31, 'i'), ints29(29, 'i'), ints28(28, 'i');
    struct Refusal { int convention; std::string codes; char result; StubStatus status; int bad_index; } cases[] = {
        {-1, "", 'v', StubStatus::bad_convention, -1}, {0, "ibd", 'i', StubStatus::bad_parameter, 1},
        {1, "f", 'i', StubStatus::bad_parameter, 0},
        {0, ints31, 'v', StubStatus::displacement, 30},              // the 31st word lies at [ebp+128]
        {0, std::string(29, 'i') + "d", 'v', StubStatus::displacement, 29},  // its high word at [ebp+128]
        {2, ints29, 'i', StubStatus::too_long, -1},                  // 63 + 29 * 16 = 527 bytes
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE("codes '" + c.codes + "' convention " + std::to_string(c.convention));
        StubResult s = assemble_stub(out, sizeof out, nullptr, c.convention, c.codes.c_str(),
                                     static_cast<int>(c.codes.size()), c.result, r);
        EXPECT_TRUE(s.status == c.status && s.bad_index == c.bad_index) << int(s.status) << " " << s.bad_index;
    }
    // The largest that fit: 15 doubles (the last high word at [ebp+124]); 28 words of thiscall with
    // an int result (511 bytes).
    const std::string doubles(16, 'd');
    EXPECT_EQ(assemble_stub(out, sizeof out, nullptr, 0, doubles.c_str(), 15, 'i', r).status, StubStatus::ok);
    EXPECT_EQ(assemble_stub(out, sizeof out, nullptr, 0, doubles.c_str(), 16, 'i', r).status, StubStatus::displacement);
    StubResult s = assemble_stub(out, sizeof out, nullptr, 2, ints28.c_str(), 28, 'i', r);
    EXPECT_TRUE(s.status == StubStatus::ok && s.size == 63u + 28 * 16) << s.size;
}

TEST(Thunks, PagesAreFilledDenselyAndANewOneTakenWhenTheRestIsTooSmall) {
    ThunkStore store{};
    const uint32_t page = platform::page_size();
    uint8_t* a = thunk_take(store, 100);
    ASSERT_NE(a, nullptr);
    store.fill += 100;
    EXPECT_EQ(thunk_take(store, 50), a + 100);
    store.fill += 50;
    // What does not fit the rest of the page goes to the start of a new one.
    uint8_t* b = thunk_take(store, page - 100);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_EQ(store.fill, 0u);
    store.fill += page - 100;
    EXPECT_EQ(thunk_take(store, 100), b + page - 100);
    EXPECT_EQ(thunk_take(store, page + 1), nullptr);
    EXPECT_EQ(store.pages.count, 2);
    b[0] = 0xC3;  // the page is writable
    for (int32_t i = 0; i < store.pages.count; ++i) platform::executable_release(store.pages[i], page);
    store.pages.clear();
}

TEST(Registry, ProcLinesBindAndReportAtLoad) {
    auto rt = std::make_unique<Runtime>();
    rt->system.ErrorReporting = true;
    std::string text = qeltest::image_text(
        "[METADATA]\nproc labs i i libc.so.6 cdecl\nproc no_such_export i n libc.so.6 cdecl\nproc f1 i n nosuch.so cdecl\n"
        "proc f2 i n nosuch.so cdecl\nproc late_lib i n late nosuch2.so stdcall\nproc late_export i n late libc.so.6 stdcall\n"
        "proc code i dlt asm cdecl\nproc abs i i LIBC.SO.6 cdecl\nproc labs v dd libc.so.6 stdcall\nstruct Global [none] System\n"
        "[/METADATA]\n");
    LoadReport report;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(parse_image(rt->program, text.data(), report)) << report.what;
    const std::string err = testing::internal::GetCapturedStderr();
    // A library is not tried again; letter case makes another library.
    const char* const expected_reports[] = {
        "Undefined lib function <no_such_export> in <libc.so.6>", "Library <nosuch.so> loading error!",
        "Undefined lib function <f1> in <nosuch.so>", "Undefined lib function <f2> in <nosuch.so>",
        "Library <LIBC.SO.6> loading error!", "Undefined lib function <abs> in <LIBC.SO.6>"};
    std::string expected;
    for (const char* r : expected_reports) expected += std::string("Qel Runtime Error: \n[Qel Error]:Err <10>\nFatal Error !\nAssembly Info:\n") + r + "\n";
    EXPECT_EQ(err, expected);

    ProcRegistry& reg = rt->program.procs;
    ASSERT_EQ(reg.procs.count, 5);  // labs, late_lib, late_export, code, labs again
    auto proc = [&](int i) { return static_cast<CLibProc*>(reg.procs[i]); };
    CLibProc *labs = proc(0), *late_lib = proc(1), *late_export = proc(2), *code = proc(3);
    // There is no labsW; the first of two declarations of a name is found; one record per library.
    EXPECT_TRUE(labs->proc && labs->unicode == 1 && labs->esp_size == 4 && reg.find(labs->hash) == labs);
    EXPECT_TRUE(!late_lib->proc && !late_lib->library->hInst && !late_export->proc && late_export->library == labs->library);
    EXPECT_TRUE(!code->library && !code->proc && code->esp_size == 8 + 8 + 8);
    ASSERT_EQ(reg.libs.count, 4);  // libc.so.6, nosuch.so, nosuch2.so, LIBC.SO.6
    EXPECT_NE(static_cast<CLib*>(reg.libs[0])->hInst, nullptr);
    EXPECT_EQ(static_cast<CLib*>(reg.libs[3])->hInst, nullptr);
}

namespace {
// Calls the thiscall thunk from several threads at once; each call must come back with its own
// object and argument.
// Twenty parameters: the stub passes them one by one between its choice of this and the method's
// start, which is where a choice kept in the shared context would be overwritten by another thread.
using ThisFn = int32_t(__attribute__((thiscall)) *)(void* self, int32_t n, int32_t, int32_t, int32_t, int32_t, int32_t,
                                                    int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                                    int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);
}  // namespace

TEST(Thunks, ThreadsInsideOneThunkKeepTheirOwnObjectAndStack) {
    auto image = qeltest::load("#include \"prelude/minimal.qsrc\"\n[SOURCE]\nmethod Work.[a:1][m:0][p:14][r:i][v:iiiiiiiiiiiiiiiiiiii]\n"
                               "ldthis\ncallstd Int\nldvint 0\nadd\nreturn\n[/SOURCE]\n");  // this + n
    ASSERT_TRUE(image.ok) << image.report.what;
    Runtime* rt = image.rt.get();
    auto fn = reinterpret_cast<ThisFn>(entry_point(rt, "Work", 2));
    std::atomic<int> wrong{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 1; t <= 3; ++t) {
        threads.emplace_back([&, t] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < 5000; ++i) {
                void* self = reinterpret_cast<void*>(static_cast<uintptr_t>(t * 0x100000));
                if (fn(self, i, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0) != t * 0x100000 + i) ++wrong;
            }
        });
    }
    go = true;
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    // Each thread was registered with a stack of its own on its first callback; the main stack
    // was not touched.
    EXPECT_EQ(rt->threads.entries.count, 4);
    EXPECT_EQ(rt->stack.count, 0);
}

TEST(ThreadRegistry, RegistersLooksUpAndUnregistersByThreadId) {
    auto stack = [](uintptr_t n) { return reinterpret_cast<ValueStack*>(n * 16); };
    ThreadRegistry r;
    r.init();
    for (auto [id, n] : {std::pair{7u, 1u}, {8u, 2u}, {7u, 3u}}) EXPECT_TRUE(r.add(id, stack(n)));
    EXPECT_TRUE(r.lookup(7) == stack(1) && r.lookup(8) == stack(2));  // the same id twice: the first answers
    r.remove(7);  // the first pair only; an absent id changes nothing
    r.remove(99);
    EXPECT_TRUE(r.lookup(7) == stack(3) && r.entries.count == 2);
    r.remove(7);
    EXPECT_TRUE(r.lookup(7) == nullptr && r.lookup(8) == stack(2));
    r.destroy();
}
