// The Windows entry point: a wide GUI program.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "host/host.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR cmdLine, int cmdShow) {
    return qel::host_main(instance, previous, reinterpret_cast<char16_t*>(cmdLine), cmdShow);
}
