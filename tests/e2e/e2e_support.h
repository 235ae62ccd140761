// Shared fixture of the end-to-end tests: a simulated host in scramble mode that has loaded
// Ombrel.so, a reset simulated camera on a fast manual clock, and helpers to call the eight
// functions, read waves back and check that no handle leaked.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/driver/senntcam_control.h"
#include "sim/host/quorsim.h"

namespace e2e {

struct Picture {
  int type = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bytes;
  uint16_t Pixel16(int32_t x, int32_t y) const;
  uint8_t Pixel8(int32_t x, int32_t y) const;
};

// What the windowed picture must hold for a raw pixel, written from the rule the users were
// promised, independently of the module's kernel.
uint8_t ExpectedWindowed(uint16_t pixel, double low, double high);

class ModuleTest : public ::testing::Test {
 protected:
  // Loads with this version and record size; scramble mode on unless a test turns it off.
  void StartHost(int version = 602, int32_t recordSize = 200, bool scramble = true);
  void SetUp() override;
  void TearDown() override;

  quorsim::CallOutcome Call(const std::string& function, const std::vector<quorsim::Argument>& args = {});
  // Calls and asserts that the host accepted the call (known name, right arguments).
  double CallOk(const std::string& function, const std::vector<quorsim::Argument>& args = {});
  bool ReadPicture(const std::string& name, Picture* out) const;
  size_t LiveHandles() const { return quorsim::MemLiveHandleCount(); }

  std::unique_ptr<quorsim::Host> host_;
};

}  // namespace e2e
