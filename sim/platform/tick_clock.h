// The tick clock the tests drive, kept once for both platforms: the Linux stand-in answers
// GetTickCount with it, the Windows controls answer the calls they put in front of the real
// GetTickCount with it. Each platform brings its real counter and what it does before the
// manual clock takes over.
#pragma once

#include <cstdint>

// One read of the clock, counted: in manual mode the manual time (first moved on by the
// auto-advance step), else what `realCounter` answers.
uint32_t ReadTickClock(uint32_t (*realCounter)());

// Run by Win32SimUseManualClock before the manual time applies: on Windows it routes the
// GetTickCount calls of the program, the driver and the module through the clock.
void PrepareManualClock();
