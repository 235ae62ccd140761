// The tick clock of the platform on Windows: the manual clock of tick_clock.cpp, put in front
// of the real GetTickCount by rewriting the import address table entries of the program, the
// camera driver and the loaded module. In real mode the replacement answers the real counter,
// so a program that never asks for the manual clock is never patched at all.
#include <windows.h>

#include "../tick_clock.h"
#include "import_slots.h"
#include "win32sim_control.h"

namespace {

bool clockRequested = false;  // a test asked for the manual clock at least once

// The real counter by its address in KERNEL32: a call of GetTickCount from here goes through
// the program's own import, which the manual clock rewrites, and would come back here.
uint32_t RealTicks() {
  static const auto realGetTickCount = reinterpret_cast<DWORD(WINAPI*)()>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
  return realGetTickCount();
}

DWORD WINAPI ControlledGetTickCount(void) { return ReadTickClock(RealTicks); }

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

void PrepareManualClock() {
  clockRequested = true;
  PatchKnownModules();
}

void Win32SimClockModuleLoaded(HMODULE module) {
  if (clockRequested) PatchTickCountImport(module);
}
