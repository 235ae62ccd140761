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
// 0 for a handle nobody registered.
void Win32SimRegisterModuleFile(HMODULE module, const std::string& path);
void Win32SimForgetModuleFile(HMODULE module);

// The debugger. Nothing is attached unless a test says so; DebugBreak with no debugger
// attached would end the process as on Windows, so the count lets tests see a break was asked.
void Win32SimSetDebuggerAttached(bool attached);
int Win32SimDebugBreakCount();
void Win32SimResetDebugBreakCount();
