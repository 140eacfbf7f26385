// The Windows services the runtime uses.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/byte_buffer.h"
#include "platform/box_text.h"
#include "platform/platform.h"

namespace qel::platform {

namespace {
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
wchar_t* W(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }

void write_all(const char* p, size_t n) {
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    while (n > 0) {
        DWORD w = 0;
        if (!WriteFile(h, p, static_cast<DWORD>(n), &w, nullptr) || w == 0) return;
        p += w;
        n -= w;
    }
}
}  // namespace

void write_stderr(const char16_t* text, int n) {
    std::string s = utf8_of(text, n);
    write_all(s.data(), s.size());
}

void write_stderr_utf8(const char* text) { write_all(text, std::strlen(text)); }

bool message_boxes_to_stderr() {
    static const bool on = [] {
        wchar_t v[16];
        DWORD n = GetEnvironmentVariableW(L"QEL_MSGBOX", v, 16);
        return n > 0 && n < 16 && wcscmp(v, L"stderr") == 0;
    }();
    return on;
}

void message_box(const char16_t* caption, const char16_t* text) {
    if (!message_boxes_to_stderr()) {
        MessageBoxW(GetActiveWindow(), W(text), W(caption), MB_OK);
        return;
    }
    std::string out = box_text_for_stderr(caption, text);
    write_all(out.data(), out.size());
}

int active_window_caption(char16_t* out, int cap) {
    if (cap <= 0) return 0;
    out[0] = 0;
    HWND active = GetActiveWindow();
    if (!active) return 0;
    HWND owner = GetWindow(active, GW_OWNER);
    int n = GetWindowTextW(owner ? owner : active, W(out), cap);
    return n > 0 ? n : 0;
}

int module_file_name(char16_t* out, int cap) {
    DWORD n = GetModuleFileNameW(nullptr, W(out), static_cast<DWORD>(cap));
    if (n >= static_cast<DWORD>(cap)) n = static_cast<DWORD>(cap - 1);
    out[n] = 0;
    return static_cast<int>(n);
}

uint32_t tick_ms() { return GetTickCount(); }

void exit_process(int code) { ExitProcess(static_cast<UINT>(code)); }

uint32_t current_thread_id() { return GetCurrentThreadId(); }

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(Mutex::storage));
void mutex_init(Mutex& m) { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m.storage)); }
void mutex_lock(Mutex& m) { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m.storage)); }
void mutex_unlock(Mutex& m) { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m.storage)); }
void mutex_destroy(Mutex& m) { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m.storage)); }

void use_user_default_locale() { SetThreadLocale(GetUserDefaultLCID()); }

int locale_info(uint32_t item, char16_t* out, int cap) {
    if (cap <= 0) return 0;
    int n = GetLocaleInfoW(GetThreadLocale(), item, W(out), cap);
    if (n <= 0) {
        out[0] = 0;
        return 0;
    }
    return n - 1;
}

OsVersion os_version() {
    OSVERSIONINFOEXW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    OsVersion v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
#pragma GCC diagnostic pop
        v.major = static_cast<int>(info.dwMajorVersion);
        v.minor = static_cast<int>(info.dwMinorVersion);
        v.build = static_cast<int>(info.dwBuildNumber);
        v.service_pack_major = info.wServicePackMajor;
        v.service_pack_minor = info.wServicePackMinor;
    }
    return v;
}

bool has_wow64_query() {
    HMODULE k = GetModuleHandleW(L"kernel32.dll");
    return k && GetProcAddress(k, "IsWow64Process") != nullptr;
}

EmbeddedStatus embedded_image(ByteBuffer& out) {
    HRSRC res = FindResourceW(nullptr, L"BIN", MAKEINTRESOURCEW(10));
    if (!res) return EmbeddedStatus::not_found;
    HGLOBAL handle = LoadResource(nullptr, res);
    if (!handle) return EmbeddedStatus::load_error;
    DWORD size = SizeofResource(nullptr, res);
    const void* bytes = LockResource(handle);
    EmbeddedStatus status = EmbeddedStatus::load_error;
    if (bytes && out.set_length(static_cast<int32_t>(size))) {
        std::memcpy(out.data, bytes, size);
        status = EmbeddedStatus::ok;
    }
    FreeResource(handle);
    return status;
}

FILE* open_file(const char16_t* path, const char* mode) {
    wchar_t wmode[8];
    int i = 0;
    for (; mode[i] && i < 7; ++i) wmode[i] = static_cast<unsigned char>(mode[i]);
    wmode[i] = 0;
    return _wfopen(W(path), wmode);
}

int to_utf16(uint32_t code_page, const char* in, int n, char16_t* out, int cap) {
    return MultiByteToWideChar(code_page, 0, in, n, W(out), out ? cap : 0);
}

int from_utf16(uint32_t code_page, const char16_t* in, int n, char* out, int cap) {
    return WideCharToMultiByte(code_page, 0, W(in), n, out, out ? cap : 0, nullptr, nullptr);
}

uint32_t file_attributes(const char16_t* path, uint32_t* error) {
    DWORD a = GetFileAttributesW(W(path));
    if (a == INVALID_FILE_ATTRIBUTES && error) *error = GetLastError();
    return a;
}

bool find_file(const char16_t* path, bool* is_directory) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(W(path), &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    if (is_directory) *is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

int current_directory(char16_t* out, int cap) {
    if (cap <= 0) return 0;
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(cap), W(out));
    if (n == 0 || n >= static_cast<DWORD>(cap)) {
        out[0] = 0;
        return 0;
    }
    return static_cast<int>(n);
}

LocalTime local_time() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

uint32_t sys_color(int index) { return GetSysColor(index); }

char16_t path_separator() { return u'\\'; }

void* library_load_path(const char16_t* path) { return reinterpret_cast<void*>(LoadLibraryW(W(path))); }

void* library_load_name(const char* name) { return reinterpret_cast<void*>(LoadLibraryA(name)); }

void* library_symbol(void* module, const char* name) {
    return module ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name)) : nullptr;
}

void* library_ordinal(void* module, uint32_t ordinal) {
    // GetProcAddress reads a value below 64 K as an ordinal; larger values are not ordinals.
    if (!module || ordinal > 0xFFFF) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
}

void library_release(void* module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

uint32_t page_size() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* executable_alloc(uint32_t size) {
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
}

void executable_flush(void* at, uint32_t size) { FlushInstructionCache(GetCurrentProcess(), at, size); }

void executable_release(void* block, uint32_t) {
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}

void* default_window_procedure() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<void*>(GetProcAddress(user32, "DefWindowProcW")) : nullptr;
}

}  // namespace qel::platform
