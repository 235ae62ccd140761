// The tick-clock controls of the platform on Windows: the same manual clock the Linux stand-in
// has, put in front of the real GetTickCount by rewriting the import address table entries of
// the program, the camera driver and the loaded module. In real mode the replacement answers the
// real counter, so a program that never asks for the manual clock is never patched at all.
#include <windows.h>

#include <atomic>

#include "import_slots.h"
#include "win32sim_control.h"

namespace {

std::atomic<bool> manualClock{false};
std::atomic<uint32_t> manualTicks{0};
std::atomic<uint32_t> autoAdvance{0};
std::atomic<uint32_t> tickReads{0};
bool clockRequested = false;  // a test asked for the manual clock at least once

DWORD WINAPI ControlledGetTickCount(void) {
  ++tickReads;
  if (!manualClock) return GetTickCount();
  return manualTicks += autoAdvance;  // atomic add; the wrap at 2^32 is the counter's own
}

// Points the module's imports of KERNEL32!GetTickCount at the controlled clock (again, after a
// module was unloaded and loaded anew).
void PatchTickCountImport(HMODULE module) {
  ReplaceImport(module, "kernel32.dll", "GetTickCount", reinterpret_cast<ULONG_PTR>(&ControlledGetTickCount));
}

void PatchKnownModules() {
  PatchTickCountImport(GetModuleHandleA(nullptr));
  PatchTickCountImport(GetModuleHandleA("SENNTCAM.dll"));
  PatchTickCountImport(GetModuleHandleA("Ombrel.dll"));
}

}  // namespace

void Win32SimUseRealClock() {
  manualClock = false;
  autoAdvance = 0;
  tickReads = 0;
}

void Win32SimUseManualClock(uint32_t startTicks, uint32_t autoAdvancePerCall) {
  clockRequested = true;
  PatchKnownModules();
  manualTicks = startTicks;
  autoAdvance = autoAdvancePerCall;
  manualClock = true;
  tickReads = 0;
}

void Win32SimAdvanceClock(uint32_t milliseconds) { manualTicks += milliseconds; }

uint32_t Win32SimTickReads() { return tickReads; }

void Win32SimClockModuleLoaded(HMODULE module) {
  if (clockRequested) PatchTickCountImport(module);
}
