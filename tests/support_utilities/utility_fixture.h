// The fixture of the utility and dialog tests over the in-process test host (tests/linked_host):
// the host's client window is a window of the USER32 model, the module's string list is the
// one of the compiled resources, the module-wide state starts as at load, and the tick clock
// runs by hand. On Windows the client window is a real window the fixture makes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "hostlink/platform.h"
#include "linked_host/linked_host_fixture.h"

namespace utilitytest {

// Where the host's client window lies on the screen.
inline constexpr RECT kClientWindowRect{100, 80, 1100, 780};

// Base of the tests: a fresh USER32 model with the host's client window, keys up, the manual
// clock at 0, the module's tick counters and settingItemText as at load, and a host of 602.
class UtilityTest : public testhost::LinkedHostTest {
 protected:
  UtilityTest();
  void SetUp() override;
  void TearDown() override;
  // Replaces the host with one of this version.
  void Start(int version);
  // Sets the manual clock so that the host's TickCount reads exactly `ticks`.
  static void SetTicks(uint32_t ticks);
  static HWND ClientWindow();
};

}  // namespace utilitytest
