// The runtime's window procedures, the start routine of script threads and the message loop.
// A script window class registers InitWndProc; at WM_NCCREATE the window is switched for good
// to the procedure of its object's FPaintStyle: StdWndProc (0), PaintWndProc (1) or ExtWndProc (2,
// double-buffered). Each message runs the object's WndProc (Paint for WM_PAINT with a paint
// style), found by name hash up its class chain, on the calling thread's stack.
#pragma once
#include <cstdint>

#include "platform/windowing.h"

namespace qel {

struct Runtime;

#define SYSTEM_ROUTINE __attribute__((stdcall, force_align_arg_pointer))

SYSTEM_ROUTINE intptr_t init_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l);
SYSTEM_ROUTINE intptr_t std_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l);
SYSTEM_ROUTINE intptr_t paint_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l);
SYSTEM_ROUTINE intptr_t ext_wnd_proc(void* hwnd, uint32_t msg, uintptr_t w, intptr_t l);

// The thread start routine: a stack of its own for the thread, registered while the script
// function ThreadProc(parameter) runs; the thread then ends with its result. Never returns.
[[noreturn]] SYSTEM_ROUTINE void thread_proc(void* parameter);

// The reserved entry names' procedures; null when this build has none for the name (window
// procedures where the system has no windows).
void* window_procedure_named(Runtime* rt, const char* name);

}  // namespace qel
