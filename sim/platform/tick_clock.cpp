// The manual tick clock behind the clock controls of win32sim_control.h, the same on Linux and
// on Windows.
#include "tick_clock.h"

#include <atomic>

#include "win32sim_control.h"

namespace {

std::atomic<bool> manualClock{false};
std::atomic<uint32_t> manualTicks{0};
std::atomic<uint32_t> autoAdvance{0};
std::atomic<uint32_t> tickReads{0};

}  // namespace

uint32_t ReadTickClock(uint32_t (*realCounter)()) {
  ++tickReads;
  if (!manualClock) return realCounter();
  return manualTicks += autoAdvance;  // atomic add; the wrap at 2^32 is the counter's own
}

void Win32SimUseRealClock() {
  manualClock = false;
  autoAdvance = 0;
  tickReads = 0;
}

void Win32SimUseManualClock(uint32_t startTicks, uint32_t autoAdvancePerCall) {
  PrepareManualClock();
  manualTicks = startTicks;
  autoAdvance = autoAdvancePerCall;
  manualClock = true;
  tickReads = 0;
}

void Win32SimAdvanceClock(uint32_t milliseconds) { manualTicks += milliseconds; }

uint32_t Win32SimTickReads() { return tickReads; }
