// The Windows entry point: a wide GUI program (linked with -municode). Declared here with the
// system's calling convention so that no system header is needed outside the platform layer.
#include "host/host.h"

extern "C" int __attribute__((stdcall, force_align_arg_pointer)) wWinMain(void* instance, void* previous, wchar_t* cmd_line, int cmd_show) {
    return qel::host_main(instance, previous, reinterpret_cast<char16_t*>(cmd_line), cmd_show);
}
