// Test controls of the platform stand-in (win32sim): the tick clock behind GetTickCount, the
// file names behind GetModuleFileNameA, and the debugger that DebugBreak would break into.
// Only the stand-ins and the tests use this header; the module never does.
#pragma once

#include <cstdint>
#include <string>

#include "win32_subset.h"

// The clock. By default GetTickCount reads the real monotonic millisecond clock. In manual
// mode it returns a value that only the test moves; with an auto-advance step, every call of
// GetTickCount first advances the manual clock by that many milliseconds, so a busy poll that
// waits for a time-out ends after an exact, small number of polls.
void Win32SimUseRealClock();
void Win32SimUseManualClock(uint32_t startTicks, uint32_t autoAdvancePerCall = 0);
void Win32SimAdvanceClock(uint32_t milliseconds);
uint32_t Win32SimTickReads();  // how many times GetTickCount has been called since the last mode change

// Module file names: GetModuleFileNameA answers the path registered for a module handle, and
// 0 for a handle nobody registered; the null handle, unless registered, names the running
// program as on Windows.
void Win32SimRegisterModuleFile(HMODULE module, const std::string& path);
void Win32SimForgetModuleFile(HMODULE module);

// The debugger. IsDebuggerPresent says yes when a test attaches the simulated debugger or a
// real one (a tracer) is attached. DebugBreak counts every break; a real debugger gets SIGTRAP,
// the simulated one takes the break and lets the program go on, and with neither the process
// ends as an unhandled breakpoint ends it on Windows.
void Win32SimSetDebuggerAttached(bool attached);
int Win32SimDebugBreakCount();
void Win32SimResetDebugBreakCount();

// Version resources are read from the file itself: a compiled resource file (.res) or a PE
// file. As on Windows, GetFileVersionInfoSizeA asks for twice the block plus 4 bytes; text
// values ("\StringFileInfo\040904B0\ProductName") are answered only in a buffer of that size
// that GetFileVersionInfoA filled. The simulated Quor.exe versions are built into the folder
// QUORSIM_VERSION_DIR (a CMake variable) as Quor_<major>.<minor>.<third>.res and Quor_none.res.
