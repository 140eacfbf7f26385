// Windows, painting, the message loop, thread ends and COM automation: the system services of the
// runtime's window and thread procedures and of its COM bridge. The Linux host has no windows
// and no COM: window_api() is null there, the theme binder stays empty and COM objects cannot
// be made.
#pragma once
#include <cstdint>

namespace qel::platform {

// A PAINTSTRUCT: the paint DC in its first word, the rectangle to paint at byte 8.
struct PaintRecord {
    alignas(4) uint8_t bytes[64];
    void* dc() const { return *reinterpret_cast<void* const*>(bytes); }
    const void* rect() const { return bytes + 8; }
};

// The optional buffered-paint functions of uxtheme.dll and the desktop composition flag, bound
// once per Runtime (Windows 6 and later; empty with the flag clear before, and on Linux).
struct ThemeBinder {
    int major_version;
    void* uxtheme;                   // kept loaded for the run
    void* begin_buffered_paint;
    void* end_buffered_paint;
    void* buffered_paint_set_alpha;  // bound, never called by the runtime
    bool composition;
};
void theme_bind(ThemeBinder& t, int major_version);
void theme_release(ThemeBinder& t);

// The window procedure signature (stdcall).
using WindowProcedure = intptr_t(__attribute__((stdcall)) *)(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l);

// The window, GDI and buffered-paint functions the window procedures call, in one table so that
// the procedures' order of calls can be followed with a table of recorders.
struct WindowApi {
    void* (*user_data)(void* hwnd);                        // GetWindowLongW(-21)
    void (*set_user_data)(void* hwnd, void* data);         // SetWindowLongW(-21)
    void (*set_procedure)(void* hwnd, WindowProcedure p);  // SetWindowLongW(-4)
    intptr_t (*default_procedure)(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l);
    void* (*begin_paint)(void* hwnd, PaintRecord* ps);
    void (*end_paint)(void* hwnd, PaintRecord* ps);
    void (*window_size)(void* hwnd, int32_t* width, int32_t* height);  // GetWindowRect
    void* (*create_compatible_dc)(void* dc);
    void* (*create_compatible_bitmap)(void* dc, int32_t width, int32_t height);
    void* (*select_object)(void* dc, void* object);
    void (*copy_bits)(void* to, int32_t width, int32_t height, void* from);  // BitBlt at 0, 0, SRCCOPY
    void (*delete_dc)(void* dc);
    void (*delete_object)(void* object);
    // BeginBufferedPaint(dc, rect, top-down DIB, no parameters, &buffer_dc) through the binder.
    void* (*begin_buffered_paint)(const ThemeBinder& t, void* dc, const void* rect, void** buffer_dc);
    void (*end_buffered_paint)(const ThemeBinder& t, void* handle);  // EndBufferedPaint(handle, TRUE)
    // GetMessageW, TranslateMessage, DispatchMessageW until WM_QUIT; its wParam.
    int32_t (*message_loop)();
};
// Null where the system has no windows.
const WindowApi* window_api();

// Ends the calling thread with the code (ExitThread; pthread_exit on Linux). Nothing of the
// caller's frames is unwound on Windows.
[[noreturn]] void exit_thread(int32_t code);

// ---- COM automation --------------------------------------------------------------------------

// CLSIDFromString (text starting with '{') or CLSIDFromProgID, then CoCreateInstance for
// IDispatch with CLSCTX 23. Null when any step fails or COM is not there.
void* com_create_dispatch(const char16_t* text);
bool com_available();
// SysAllocStringLen, SysFreeString, VariantClear.
char16_t* bstr_alloc(const char16_t* text, uint32_t length);
void bstr_free(char16_t* bstr);
uint32_t bstr_length(const char16_t* bstr);
void variant_clear(void* variant);

}  // namespace qel::platform
