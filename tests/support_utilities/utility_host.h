// The in-process host of the utility and dialog tests: the module's objects are linked in, the
// simulated host gets the record directly, and its callback gives the answers a loaded module
// gets (scripted answer first, then the wave, utility and support services), recording each
// exchange. The host's client window is a window of the USER32 model, the module's string
// list is the one of the compiled resources, the module-wide state starts as at load, and the
// tick clock runs by hand. On Windows the client window is a real window the fixture makes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "hostlink/record.h"
#include "hostlink/platform.h"
#include "sim/host/quorsim.h"

namespace utilitytest {

// Where the host's client window lies on the screen.
inline constexpr RECT kClientWindowRect{100, 80, 1100, 780};

class UtilityHost {
 public:
  // A host of this version (0: no version resource), its record, the module's main run on it
  // (which reads hostVersion from the host's executable) and the module's string list.
  explicit UtilityHost(int version, bool scramble = true);
  ~UtilityHost();
  UtilityHost(const UtilityHost&) = delete;
  UtilityHost& operator=(const UtilityHost&) = delete;

  quorsim::Host& host() { return *host_; }
  std::vector<int> Messages() const;

 private:
  std::unique_ptr<quorsim::Host> host_;
  IORecHandle record_ = nullptr;
  void* stringsLibrary_ = nullptr;
};

// Base of the tests: a fresh USER32 model with the host's client window, keys up, the manual
// clock at 0, the module's tick counters and settingItemText as at load, and a host of 602.
class UtilityTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Replaces the host with one of this version.
  void Start(int version);
  quorsim::Host& host() { return linked_->host(); }
  std::vector<int> Messages() const { return linked_->Messages(); }
  // Sets the manual clock so that the host's TickCount reads exactly `ticks`.
  static void SetTicks(uint32_t ticks);
  static HWND ClientWindow();

 private:
  std::unique_ptr<UtilityHost> linked_;
};

}  // namespace utilitytest
