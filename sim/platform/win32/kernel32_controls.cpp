// The tick-clock controls of the platform on Windows: the same manual clock the Linux stand-in
// has, put in front of the real GetTickCount by rewriting the import address table entries of
// the program, the camera driver and the loaded module. In real mode the replacement answers the
// real counter, so a program that never asks for the manual clock is never patched at all.
#include <windows.h>

#include <atomic>
#include <cstring>

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

// Points every import of KERNEL32!GetTickCount in the module's import table at the controlled
// clock (again, after a module was unloaded and loaded anew). Only imports by name are looked
// at: nothing imports KERNEL32 by ordinal.
void PatchTickCountImport(HMODULE module) {
  if (module == nullptr) return;
  auto* base = reinterpret_cast<uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return;
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
    if (_stricmp(reinterpret_cast<const char*>(base + d->Name), "kernel32.dll") != 0) continue;
    if (d->OriginalFirstThunk == 0) continue;  // no name table to match against
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "GetTickCount") != 0) continue;
      DWORD oldProtection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &oldProtection)) continue;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(&ControlledGetTickCount);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, oldProtection, &oldProtection);
    }
  }
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
