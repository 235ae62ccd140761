// The KERNEL32 calls of the platform stand-in: the millisecond tick counter, module file names
// and the debugger queries, with the controls that let tests drive each of them.
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <time.h>
#include <unistd.h>

#include "hostlink/win32_subset.h"
#include "tick_clock.h"
#include "win32sim_control.h"

namespace {

// ---------------------------------------------------------------- tick clock
uint32_t RealTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Milliseconds since boot, kept modulo 2^32 like the Windows counter (it wraps after 49.7 days).
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

// ---------------------------------------------------------------- module file names
std::mutex moduleMutex;
std::map<HMODULE, std::string>& ModuleFiles() {
  static std::map<HMODULE, std::string> files;
  return files;
}

// The path of the running program, which Windows answers for the null module handle.
std::string OwnExecutablePath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// ---------------------------------------------------------------- debugger
std::atomic<bool> simulatedDebugger{false};
std::atomic<int> debugBreakCount{0};

// A real debugger (ptrace tracer) attached to this process.
bool TracerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- controls

void PrepareManualClock() {}  // GetTickCount below reads the clock already

void Win32SimRegisterModuleFile(HMODULE module, const std::string& path) {
  std::lock_guard lock(moduleMutex);
  ModuleFiles()[module] = path;
}

void Win32SimForgetModuleFile(HMODULE module) {
  std::lock_guard lock(moduleMutex);
  ModuleFiles().erase(module);
}

void Win32SimSetDebuggerAttached(bool attached) { simulatedDebugger = attached; }
int Win32SimDebugBreakCount() { return debugBreakCount; }
void Win32SimResetDebugBreakCount() { debugBreakCount = 0; }

// ---------------------------------------------------------------- KERNEL32

extern "C" {

DWORD WINAPI GetTickCount(void) { return ReadTickClock(RealTicks); }

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  std::string path;
  {
    std::lock_guard lock(moduleMutex);
    const auto found = ModuleFiles().find(module);
    if (found != ModuleFiles().end()) {
      path = found->second;
    } else if (module != nullptr) {
      return 0;  // not a loaded module
    }
  }
  if (module == nullptr && path.empty()) path = OwnExecutablePath();
  if (fileName == nullptr || size == 0 || path.empty()) return 0;
  if (path.size() < size) {
    std::memcpy(fileName, path.data(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }
  // Too small: the name is cut to size - 1 characters, still terminated, and the full size is
  // returned so the caller can tell the name was cut.
  std::memcpy(fileName, path.data(), size - 1);
  fileName[size - 1] = '\0';
  return size;
}

BOOL WINAPI IsDebuggerPresent(void) { return (simulatedDebugger || TracerAttached()) ? TRUE : FALSE; }

void WINAPI DebugBreak(void) {
  ++debugBreakCount;
  if (TracerAttached()) {
    std::raise(SIGTRAP);  // the real debugger stops here
  } else if (!simulatedDebugger) {
    std::abort();  // an unhandled breakpoint ends the process, as on Windows
  }
  // The simulated debugger takes the break and lets the program go on.
}

}  // extern "C"
