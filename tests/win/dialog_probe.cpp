// A test helper of the Windows lane: starts a program, waits for the message box it shows, prints
// the box's caption and text, presses its OK button, and exits with the program's exit code.
//   dialog_probe PROGRAM ARGUMENTS...
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Search {
    DWORD process;
    HWND dialog;
};

BOOL CALLBACK find_dialog(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64];
    if (pid == s->process && GetClassNameW(hwnd, cls, 64) && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd)) {
        s->dialog = hwnd;
        return FALSE;
    }
    return TRUE;
}

void print_utf8(const char* label, const wchar_t* text) {
    char buf[4096];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, nullptr, nullptr) <= 0) buf[0] = 0;
    std::printf("%s: %s\n", label, buf);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialog_probe PROGRAM ARGUMENTS...\n");
        return 2;
    }
    std::wstring cmd;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) cmd += L' ';
        cmd += argv[i];
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "dialog_probe: cannot start the program (%lu)\n", GetLastError());
        return 2;
    }
    Search s{pi.dwProcessId, nullptr};
    for (int tries = 0; tries < 600 && !s.dialog; ++tries) {  // up to a minute
        if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
        EnumWindows(find_dialog, reinterpret_cast<LPARAM>(&s));
    }
    if (!s.dialog) {
        std::fprintf(stderr, "dialog_probe: no message box appeared\n");
        TerminateProcess(pi.hProcess, 3);
        return 3;
    }
    wchar_t caption[512], text[2048];
    GetWindowTextW(s.dialog, caption, 512);
    // The text of a message box is its static control with id 0xFFFF.
    if (!GetDlgItemTextW(s.dialog, 0xFFFF, text, 2048)) text[0] = 0;
    print_utf8("caption", caption);
    print_utf8("text", text);
    std::fflush(stdout);
    PostMessageW(s.dialog, WM_COMMAND, IDOK, 0);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<int>(code);
}
