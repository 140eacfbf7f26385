// The window procedures' order of calls, followed through a table of recorders in place of the
// system's window functions (both double-buffering paths, whatever the desktop), and the thread
// start routine's stacks: registered while ThreadProc runs, gone when the thread has ended.
#include <gtest/gtest.h>
#include <pthread.h>

#include <string>

#include "native/native_state.h"
#include "native/thunks.h"
#include "native/window_procs.h"
#include "test_support.h"

using namespace qel;

namespace {

std::string g_log;
bool g_buffer_fails;
void* const kWindow = reinterpret_cast<void*>(0x5000);
void* const kPaintDc = reinterpret_cast<void*>(0xD100);
void* g_user_data;

void note(const std::string& s) { g_log += (g_log.empty() ? "" : " ") + s; }
std::string hex(const void* p) {
    char b[16];
    std::snprintf(b, sizeof b, "%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
    return b;
}

const platform::WindowApi kRecorders{
    [](void*) { return g_user_data; },
    [](void*, void* d) { g_user_data = d, note("set_user_data"); },
    [](void*, platform::WindowProcedure p) {
        note(p == ext_wnd_proc ? "to_ext" : p == paint_wnd_proc ? "to_paint" : p == std_wnd_proc ? "to_std" : "to_?");
    },
    [](void*, uint32_t msg, uintptr_t, intptr_t) -> intptr_t { return note("default"), 1000 + msg; },
    [](void*, platform::PaintRecord* ps) {
        *reinterpret_cast<void**>(ps->bytes) = kPaintDc;
        return note("begin_paint"), kPaintDc;
    },
    [](void*, platform::PaintRecord* ps) { note("end_paint " + hex(ps->dc())); },
    [](void*, int32_t* w, int32_t* h) { *w = 40, *h = 30, note("window_size"); },
    [](void* dc) { return note("memory_dc " + hex(dc)), reinterpret_cast<void*>(0xAE00); },
    [](void* dc, int32_t w, int32_t h) {
        return note("bitmap " + hex(dc) + " " + std::to_string(w) + "x" + std::to_string(h)), reinterpret_cast<void*>(0xB100);
    },
    [](void* dc, void* o) { return note("select " + hex(dc) + " " + hex(o)), reinterpret_cast<void*>(0x01D0); },
    [](void* to, int32_t w, int32_t h, void* from) {
        note("copy " + hex(from) + " to " + hex(to) + " " + std::to_string(w) + "x" + std::to_string(h));
    },
    [](void* dc) { note("delete_dc " + hex(dc)); },
    [](void* o) { note("delete " + hex(o)); },
    [](const platform::ThemeBinder&, void* dc, const void* rect, void** buffer) -> void* {
        note(std::string("buffered ") + hex(dc) + (rect ? " rect" : " no rect"));
        if (g_buffer_fails) return nullptr;
        *buffer = reinterpret_cast<void*>(0xBF00);
        return reinterpret_cast<void*>(0x4B00);
    },
    [](const platform::ThemeBinder&, void* h) { note("end_buffered " + hex(h)); },
    [] { return 0; },
};

// WndProc answers msg + wParam + lParam; Paint notes its DC in FDC; ThreadProc gives its
// parameter plus 1 when its sorts (through a comparer thunk, four rounds) come out right.
const char* const kImage =
    "#include \"prelude/prelude.qsrc\"\n#include \"prelude/sorts.qsrc\"\n"
    "[METADATA]\n"
    "class CBox object 0 Test\n0 1 p pointer FHandle 0\n0 1 e CPaintStyle FPaintStyle 0\n0 1 p pointer FDC 0\n"
    "class CPainted CBox 0 Test\n"
    "[/METADATA]\n[SOURCE]\n"
    "method CBox::CBox.[a:1][m:0][p:00][r:v][v:]\nret\nmethod CPainted::CPainted.[a:1][m:0][p:00][r:v][v:]\nret\n"
    "method CBox::WndProc.[a:1][m:0][p:03][r:n][v:inn]\nldvint 0\nldvntv 1\nadd\nldvntv 2\nadd\nreturn\n"
    "method CPainted::Paint.[a:1][m:0][p:01][r:v][v:p]\nldvptr 0\nldthis\nstpptr CBox.FDC\nret\n"
    "method ThreadProc.[a:1][m:0][p:01][r:i][v:p]\nldvptr 0\ncallstd Int\ncallmtd Sorts\ncallmtd Sorts\nand\ncallmtd Sorts\nand\n"
    "callmtd Sorts\nand\ncallstd Int\nadd\nreturn\n"
    "method WinMain.[a:1][m:0][p:04][r:i][v:pppi]\nldint 0\nreturn\n"
    "[/SOURCE]\n";

struct Box { CClass* cls; void* handle; uint8_t style; void* dc; };
// dc: what Paint received (0: not run).
struct PaintCase { const char* cls; uint8_t style; bool composition, buffer_fails; intptr_t result; void* dc; const char* log; };

}  // namespace

TEST(WindowProcs, EachPaintStyleCallsTheSystemInItsOrder) {
    auto image = qeltest::load(kImage);
    ASSERT_TRUE(image.ok) << image.report.what;
    Runtime* rt = image.rt.get();
    rt->native->windows = &kRecorders;
    const PaintCase cases[] = {
        // style 0: WM_PAINT is a message like any other
        {"CPainted", 0, false, false, 15 + 1 + 2, nullptr, ""},
        {"CPainted", 1, false, false, 0, kPaintDc, "begin_paint end_paint d100"},
        {"CBox", 1, false, false, 1015, nullptr, "default"}, {"CBox", 2, true, false, 1015, nullptr, "default"},
        {"CPainted", 2, false, false, 0, reinterpret_cast<void*>(0xAE00),
         "begin_paint memory_dc d100 window_size bitmap d100 40x30 select ae00 b100 copy ae00 to d100 40x30 "
         "select ae00 1d0 end_paint d100 delete_dc ae00 delete b100"},
        {"CPainted", 2, true, false, 0, reinterpret_cast<void*>(0xBF00),
         "begin_paint buffered d100 rect end_buffered 4b00 end_paint d100"},
        {"CPainted", 2, true, true, 0, nullptr, "begin_paint buffered d100 rect end_paint d100"},
    };
    for (const PaintCase& c : cases) {
        SCOPED_TRACE(std::string(c.cls) + " style " + std::to_string(c.style) + (c.composition ? " composition" : ""));
        Box box{qeltest::find_class(*rt, c.cls), nullptr, c.style, nullptr};
        rt->native->theme.composition = c.composition;
        g_buffer_fails = c.buffer_fails, g_user_data = nullptr;
        g_log.clear();
        // WM_NCCREATE with the object as creation parameter: switched for good, FHandle filled in.
        void* create_params[1] = {&box};
        const char* to = c.style == 2 ? "to_ext" : c.style == 1 ? "to_paint" : "to_std";
        EXPECT_EQ(init_wnd_proc(kWindow, 0x81, 3, reinterpret_cast<intptr_t>(create_params)),
                  0x81 + 3 + reinterpret_cast<intptr_t>(create_params));
        EXPECT_EQ(g_log, std::string("set_user_data ") + to);
        EXPECT_EQ(box.handle, kWindow);
        g_log.clear();
        const platform::WindowProcedure proc = c.style == 2 ? ext_wnd_proc : c.style == 1 ? paint_wnd_proc : std_wnd_proc;
        EXPECT_EQ(proc(kWindow, 15, 1, 2), c.result);
        EXPECT_EQ(g_log, c.log);
        EXPECT_TRUE(box.dc == c.dc && rt->stack.count == 0) << box.dc;
    }
    // Before WM_NCCREATE, without an object, or with something that is not one: DefWindowProcW.
    g_log.clear();
    int not_an_object[4] = {};
    void* params[3][1] = {{nullptr}, {not_an_object}, {reinterpret_cast<void*>(16)}};
    EXPECT_EQ(init_wnd_proc(kWindow, 1, 0, reinterpret_cast<intptr_t>(params[1])), 1001);
    for (auto& p : params) EXPECT_EQ(init_wnd_proc(kWindow, 0x81, 0, reinterpret_cast<intptr_t>(p)), 1000 + 0x81);
    g_user_data = nullptr;
    EXPECT_EQ(std_wnd_proc(kWindow, 5, 0, 0), 1005);
    EXPECT_EQ(g_log, "default default default default default");
}

// EntryPoint("ThreadProc") is the start routine a script hands to pthread_create. Two script
// threads and the main thread sort at once through the comparer's thunk, each on a stack of its
// own: the threads' stacks are registered while ThreadProc runs (no stack is adopted for their
// callbacks) and gone when they have ended; ThreadProc's result is the thread's exit code.
TEST(WindowProcs, ScriptThreadsRunOnTheirOwnRegisteredStacks) {
    auto image = qeltest::load(kImage);
    ASSERT_TRUE(image.ok) << image.report.what;
    Runtime* rt = image.rt.get();
    auto start = reinterpret_cast<void* (*)(void*)>(entry_point(rt, "ThreadProc", 0));  // never returns
    ASSERT_EQ(reinterpret_cast<void*>(start), reinterpret_cast<void*>(thread_proc));
    pthread_t threads[2];
    for (intptr_t i = 0; i < 2; ++i) ASSERT_EQ(pthread_create(&threads[i], nullptr, start, reinterpret_cast<void*>(10 * i + 10)), 0);
    // The main thread sorts until both threads have ended.
    void* codes[2] = {};
    for (bool joined[2] = {}; !joined[0] || !joined[1];) {
        EXPECT_EQ(call_script_method(rt, rt->program.code.method("Sorts"), nullptr, &rt->stack, nullptr, 0), 1);
        for (int i = 0; i < 2; ++i) joined[i] = joined[i] || pthread_tryjoin_np(threads[i], &codes[i]) == 0;
    }
    EXPECT_EQ(reinterpret_cast<intptr_t>(codes[0]) * 100 + reinterpret_cast<intptr_t>(codes[1]), 1121);
    EXPECT_TRUE(rt->native->adopted.count == 0 && rt->threads.entries.count == 1 && rt->stack.count == 0)
        << rt->native->adopted.count << " " << rt->threads.entries.count << " " << rt->stack.count;
}
