// The host's entry sequence, shared by the Windows and the Linux entry points.
#pragma once

namespace qel {

// Builds the Runtime, loads the image named on the command line (or the host's own), runs
// WinMain and returns the exit code.
int host_main(void* instance, void* previous, char16_t* cmd_line, int cmd_show);

}  // namespace qel
