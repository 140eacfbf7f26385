#include "native/window_procs.h"

#include <cstring>

#include "base/name_hash.h"
#include "image/instruction.h"
#include "native/native_state.h"
#include "native/thunks.h"
#include "stdlib/builtin_support.h"
#include "types/class_registry.h"
#include "vm/exceptions.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"
#include "vm/member_access.h"
#include "vm/objects.h"
#include "vm/runtime.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

constexpr uint32_t kNcCreate = 0x81;
constexpr uint32_t kPaint = 0x0F;
constexpr uint32_t kWndProcHash = name_hash("WndProc");
constexpr uint32_t kPaintHash = name_hash("Paint");

using platform::PaintRecord;
using platform::WindowApi;

// What every message needs: the Runtime, its window functions, and the calling thread's stack
// (a window made on a script thread runs its script code on that thread's stack).
struct Message {
    Runtime* rt;
    const WindowApi* api;
    void* hwnd;
    uint32_t msg;
    uintptr_t w;
    intptr_t l;

    intptr_t by_default() const { return api->default_procedure(hwnd, msg, w, l); }
};

bool take(Message& m, void* hwnd, uint32_t msg, uintptr_t w, intptr_t l) {
    m.rt = current_runtime();
    m.api = m.rt && m.rt->native ? m.rt->native->windows : nullptr;
    m.hwnd = hwnd;
    m.msg = msg;
    m.w = w;
    m.l = l;
    return m.api != nullptr;
}

// A script object of this program, or null for anything else.
void* script_object(Runtime* rt, void* p) {
    if (invalid_address(p) || !rt->program.class_index.has(class_of(p))) return nullptr;
    return p;
}

// Runs the object's WndProc with the message words; DefWindowProcW without one.
intptr_t to_wnd_proc(const Message& m, void* object) {
    Instruction* method = method_in_chain(class_of(object), kWndProcHash);
    if (!method) return m.by_default();
    ValueStack* st = calling_thread_stack(m.rt);
    if (!st) return m.by_default();
    const uint32_t words[3] = {m.msg, static_cast<uint32_t>(m.w), static_cast<uint32_t>(m.l)};
    return call_script_method(m.rt, method, object, st, words, 3);
}

// The object of a switched window: its user data, checked again on every message.
void* window_object(const Message& m) { return script_object(m.rt, m.api->user_data(m.hwnd)); }

void run_paint(const Message& m, Instruction* paint, void* object, void* dc) {
    ValueStack* st = calling_thread_stack(m.rt);
    if (!st) return;
    const uint32_t word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(dc));
    call_script_method(m.rt, paint, object, st, &word, 1);
}

// Paint into a buffer, then onto the window: the system's buffered paint when desktop composition
// is on, a memory bitmap the size of the window otherwise.
void double_buffered_paint(const Message& m, Instruction* paint, void* object) {
    const WindowApi& api = *m.api;
    const platform::ThemeBinder& theme = m.rt->native->theme;
    PaintRecord ps{};
    void* dc = api.begin_paint(m.hwnd, &ps);
    if (theme.composition) {
        void* buffer_dc = nullptr;
        if (void* handle = api.begin_buffered_paint(theme, dc, ps.rect(), &buffer_dc)) {
            run_paint(m, paint, object, buffer_dc);
            api.end_buffered_paint(theme, handle);
        }
        api.end_paint(m.hwnd, &ps);
        return;
    }
    void* memory_dc = api.create_compatible_dc(dc);
    int32_t width = 0, height = 0;
    api.window_size(m.hwnd, &width, &height);
    void* bitmap = api.create_compatible_bitmap(dc, width, height);
    void* old = api.select_object(memory_dc, bitmap);
    run_paint(m, paint, object, memory_dc);
    api.copy_bits(dc, width, height, memory_dc);
    api.select_object(memory_dc, old);
    api.end_paint(m.hwnd, &ps);
    api.delete_dc(memory_dc);
    api.delete_object(bitmap);
}

// FHandle := hwnd; the low byte of FPaintStyle (0 when the class has none). Fields are found by
// name from the object's class up.
int paint_style_after_handle(Runtime* rt, void* object, void* hwnd) {
    const CClass* c = class_of(object);
    ValueStack* st = calling_thread_stack(rt);
    if (!st || st->count + 1 >= kStackSlots) return 0;
    const int32_t base = st->count;
    int style = 0;
    try {
        if (CMember* h = find_field(c, "FHandle"); h && h->address >= 0) {
            push_pointer(st, hwnd);
            store_cell(st, static_cast<char*>(object) + h->address, static_cast<char>(h->type));
        }
        st->count = base;
        if (CMember* p = find_field(c, "FPaintStyle"); p && p->address >= 0) {
            if (load_cell(st, static_cast<char*>(object) + p->address, static_cast<char>(p->type)))
                style = pop_int(st) & 0xFF;
        }
    } catch (const qel_exception& e) {
        Frame bare;
        init_bare_frame(bare, st);
        report_unhandled(rt, e.object, false, nullptr, &bare);
    } catch (...) {
    }
    st->count = base;
    return style;
}

}  // namespace

intptr_t init_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l) {
    Message m;
    if (!take(m, hwnd, msg, w, l)) return 0;
    if (msg != kNcCreate || !l) return m.by_default();
    void* given = *reinterpret_cast<void* const*>(l);  // CREATESTRUCT.lpCreateParams
    if (!given) return m.by_default();
    void* object = script_object(m.rt, given);
    if (!object) {
        if (g_vm_hooks.report) g_vm_hooks.report(10, "A window's creation parameter is not a script object");
        return m.by_default();
    }
    m.api->set_user_data(hwnd, object);
    const int style = paint_style_after_handle(m.rt, object, hwnd);
    const platform::WindowProcedure next = style == 2 ? ext_wnd_proc : style == 1 ? paint_wnd_proc : std_wnd_proc;
    m.api->set_procedure(hwnd, next);
    return next(hwnd, msg, w, l);
}

intptr_t std_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l) {
    Message m;
    if (!take(m, hwnd, msg, w, l)) return 0;
    void* object = window_object(m);
    return object ? to_wnd_proc(m, object) : m.by_default();
}

namespace {

// Styles 1 and 2: WM_PAINT runs Paint on the paint DC, or on a buffer; other messages go to WndProc.
intptr_t painting_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l, bool buffered) {
    Message m;
    if (!take(m, hwnd, msg, w, l)) return 0;
    void* object = window_object(m);
    if (!object) return m.by_default();
    if (msg != kPaint) return to_wnd_proc(m, object);
    Instruction* paint = method_in_chain(class_of(object), kPaintHash);
    if (!paint) return m.by_default();
    if (buffered) {
        double_buffered_paint(m, paint, object);
        return 0;
    }
    PaintRecord ps{};
    void* dc = m.api->begin_paint(hwnd, &ps);
    run_paint(m, paint, object, dc);
    m.api->end_paint(hwnd, &ps);
    return 0;
}

}  // namespace

intptr_t paint_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l) { return painting_wnd_proc(hwnd, msg, w, l, false); }

intptr_t ext_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l) { return painting_wnd_proc(hwnd, msg, w, l, true); }

namespace {

// Everything of a script thread but its end, so that nothing is left to unwind when it ends.
int32_t run_script_thread(void* parameter) {
    Runtime* rt = current_runtime();
    if (!rt) return 0;
    Instruction* method = rt->program.code.method("ThreadProc");
    if (!method) {
        if (g_vm_hooks.report) g_vm_hooks.report(10, "A script thread started without a ThreadProc function");
        return 0;
    }
    const uint32_t id = platform::current_thread_id();
    ValueStack* st = value_stack_create();
    if (!st) return 0;
    if (!rt->threads.add(id, st)) {
        value_stack_destroy(st);
        return 0;
    }
    const uint32_t word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter));
    const int32_t result = call_script_method(rt, method, nullptr, st, &word, 1);
    rt->threads.remove(id);
    value_stack_destroy(st);
    return result;
}

}  // namespace

void thread_proc(void* parameter) { platform::exit_thread(run_script_thread(parameter)); }

void* window_procedure_named(Runtime* rt, const char* name) {
    if (std::strcmp(name, "ThreadProc") == 0) return reinterpret_cast<void*>(thread_proc);
    if (!rt->native->windows) return nullptr;
    if (std::strcmp(name, "InitWndProc") == 0) return reinterpret_cast<void*>(init_wnd_proc);
    if (std::strcmp(name, "StdWndProc") == 0) return reinterpret_cast<void*>(std_wnd_proc);
    if (std::strcmp(name, "ExtWndProc") == 0) return reinterpret_cast<void*>(ext_wnd_proc);
    return nullptr;
}

// () -> int: pumps the thread's messages until WM_QUIT and gives its exit code.
void bi_MessageLoop(Runtime* rt, Frame* f) {
    const WindowApi* api = rt->native->windows;
    if (!api) raise_runtime_error("MessageLoop: this runtime build has no windows (Windows only)");
    push_int(f->stack, api->message_loop());
}

}  // namespace qel
