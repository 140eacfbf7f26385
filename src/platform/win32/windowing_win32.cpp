// Windows: the window, GDI and buffered-paint functions of the window procedures, the message
// loop, thread ends, and COM object creation with its string and VARIANT helpers.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstddef>
#include <cstring>

#include "platform/windowing.h"

namespace qel::platform {

namespace {

HWND H(void* p) { return static_cast<HWND>(p); }
HDC D(void* p) { return static_cast<HDC>(p); }

using BeginBufferedPaintFn = HANDLE(WINAPI*)(HDC, const RECT*, int, void*, HDC*);
using EndBufferedPaintFn = HRESULT(WINAPI*)(HANDLE, BOOL);
using DwmIsCompositionEnabledFn = HRESULT(WINAPI*)(BOOL*);

void* user_data(void* hwnd) { return reinterpret_cast<void*>(GetWindowLongW(H(hwnd), -21)); }
void set_user_data(void* hwnd, void* data) { SetWindowLongW(H(hwnd), -21, reinterpret_cast<LONG>(data)); }
void set_procedure(void* hwnd, WindowProcedure p) { SetWindowLongW(H(hwnd), -4, reinterpret_cast<LONG>(p)); }
intptr_t default_procedure(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l) {
    return DefWindowProcW(H(hwnd), msg, w, l);
}
static_assert(sizeof(PAINTSTRUCT) == sizeof(PaintRecord) && offsetof(PAINTSTRUCT, rcPaint) == 8);
void* begin_paint(void* hwnd, PaintRecord* ps) { return BeginPaint(H(hwnd), reinterpret_cast<PAINTSTRUCT*>(ps)); }
void end_paint(void* hwnd, PaintRecord* ps) { EndPaint(H(hwnd), reinterpret_cast<PAINTSTRUCT*>(ps)); }
void window_size(void* hwnd, int32_t* width, int32_t* height) {
    RECT r{};
    GetWindowRect(H(hwnd), &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
}
void* create_compatible_dc(void* dc) { return CreateCompatibleDC(D(dc)); }
void* create_compatible_bitmap(void* dc, int32_t w, int32_t h) { return CreateCompatibleBitmap(D(dc), w, h); }
void* select_object(void* dc, void* object) { return SelectObject(D(dc), static_cast<HGDIOBJ>(object)); }
void copy_bits(void* to, int32_t w, int32_t h, void* from) { BitBlt(D(to), 0, 0, w, h, D(from), 0, 0, SRCCOPY); }
void delete_dc(void* dc) { DeleteDC(D(dc)); }
void delete_object(void* object) { DeleteObject(static_cast<HGDIOBJ>(object)); }
void* begin_buffered_paint(const ThemeBinder& t, void* dc, const void* rect, void** buffer_dc) {
    if (!t.begin_buffered_paint) return nullptr;
    HDC out = nullptr;
    HANDLE h = reinterpret_cast<BeginBufferedPaintFn>(t.begin_buffered_paint)(D(dc), static_cast<const RECT*>(rect), 2,
                                                                               nullptr, &out);
    *buffer_dc = out;
    return h;
}
void end_buffered_paint(const ThemeBinder& t, void* handle) {
    if (t.end_buffered_paint) reinterpret_cast<EndBufferedPaintFn>(t.end_buffered_paint)(handle, TRUE);
}
int32_t message_loop() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0)) {  // -1 (a failure) goes on like any non-zero answer
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int32_t>(msg.wParam);
}

const WindowApi kWindowApi{user_data,     set_user_data,        set_procedure,   default_procedure,
                           begin_paint,   end_paint,            window_size,     create_compatible_dc,
                           create_compatible_bitmap,            select_object,   copy_bits,
                           delete_dc,     delete_object,        begin_buffered_paint,
                           end_buffered_paint,                  message_loop};

}  // namespace

const WindowApi* window_api() { return &kWindowApi; }

void theme_bind(ThemeBinder& t, int major_version) {
    t = ThemeBinder{};
    t.major_version = major_version;
    if (major_version < 6) return;
    HMODULE ux = LoadLibraryW(L"uxtheme.dll");
    if (!ux) return;
    t.uxtheme = ux;
    HMODULE dwm = LoadLibraryW(L"DWMAPI.DLL");
    t.begin_buffered_paint = reinterpret_cast<void*>(GetProcAddress(ux, "BeginBufferedPaint"));
    t.end_buffered_paint = reinterpret_cast<void*>(GetProcAddress(ux, "EndBufferedPaint"));
    t.buffered_paint_set_alpha = reinterpret_cast<void*>(GetProcAddress(ux, "BufferedPaintSetAlpha"));
    if (dwm) {
        if (auto ask = reinterpret_cast<DwmIsCompositionEnabledFn>(
                reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")))) {
            BOOL on = FALSE;
            t.composition = SUCCEEDED(ask(&on)) && on;
        }
        FreeLibrary(dwm);
    }
}

void theme_release(ThemeBinder& t) {
    if (t.uxtheme) FreeLibrary(static_cast<HMODULE>(t.uxtheme));
    t = ThemeBinder{};
}

void exit_thread(int32_t code) { ExitThread(static_cast<DWORD>(code)); }

bool com_available() { return true; }

void* com_create_dispatch(const char16_t* text) {
    auto* w = reinterpret_cast<const wchar_t*>(text);
    CLSID clsid;
    HRESULT hr = w[0] == L'{' ? CLSIDFromString(w, &clsid) : CLSIDFromProgID(w, &clsid);
    if (FAILED(hr)) return nullptr;
    void* object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, 23, IID_IDispatch, &object);
    return SUCCEEDED(hr) ? object : nullptr;
}

char16_t* bstr_alloc(const char16_t* text, uint32_t length) {
    return reinterpret_cast<char16_t*>(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length));
}
void bstr_free(char16_t* bstr) { SysFreeString(reinterpret_cast<BSTR>(bstr)); }
uint32_t bstr_length(const char16_t* bstr) { return SysStringLen(reinterpret_cast<BSTR>(const_cast<char16_t*>(bstr))); }
static_assert(sizeof(VARIANT) == 16);
void variant_clear(void* variant) { VariantClear(static_cast<VARIANT*>(variant)); }

}  // namespace qel::platform
