// The end-to-end fixture: host start-up, calls, picture read-back and the windowing rule.
#include "e2e/e2e_support.h"

#include <cmath>
#include <cstring>

#include "sim/host/module_loader.h"
#include "sim/platform/include/win32sim_control.h"

namespace e2e {

uint16_t Picture::Pixel16(int32_t x, int32_t y) const {
  uint16_t v;
  std::memcpy(&v, bytes.data() + 2 * (static_cast<size_t>(y) * width + x), 2);
  return v;
}

uint8_t Picture::Pixel8(int32_t x, int32_t y) const { return bytes[static_cast<size_t>(y) * width + x]; }

uint8_t ExpectedWindowed(uint16_t pixel, double low, double high) {
  if (!std::isfinite(low) || !std::isfinite(high)) return 0;
  if (high == low) return pixel >= low ? 255 : 0;
  double scaled = (pixel - low) * 256.0 / (high - low);
  if (std::isnan(scaled) || scaled < 0) return 0;
  if (scaled >= 255.0) return 255;
  return static_cast<uint8_t>(scaled);
}

void ModuleTest::StartHost(int version, int32_t recordSize, bool scramble) {
  host_.reset();
  quorsim::HostOptions options;
  options.version = version;
  options.recordSize = recordSize;
  options.scramble = scramble;
  host_ = std::make_unique<quorsim::Host>(options);
  // The module built beside this program, unless the build names another.
  const std::string modulePath = OMBREL_MODULE_PATH[0] != '\0' ? OMBREL_MODULE_PATH : quorsim::ModuleBesideProgram();
  std::string error;
  ASSERT_TRUE(host_->Load(modulePath, &error)) << error;
}

void ModuleTest::SetUp() {
  SimCamReset();
  // Every read of the tick counter moves the clock on by 1 ms: exposures and time-outs pass
  // after an exact number of polls, without real waiting.
  Win32SimUseManualClock(1000, 1);
  quorsim::MemResetFaults();
}

void ModuleTest::TearDown() {
  host_.reset();
  quorsim::MemSetScramble(false);
  quorsim::MemResetFaults();
  Win32SimUseRealClock();
}

quorsim::CallOutcome ModuleTest::Call(const std::string& function, const std::vector<quorsim::Argument>& args) {
  quorsim::CallOutcome outcome;
  std::string error;
  EXPECT_TRUE(host_->Call(function, args, &outcome, &error)) << function << ": " << error;
  return outcome;
}

double ModuleTest::CallOk(const std::string& function, const std::vector<quorsim::Argument>& args) {
  quorsim::CallOutcome outcome = Call(function, args);
  EXPECT_EQ(outcome.errorCode, 0) << function;
  return outcome.result;
}

bool ModuleTest::ReadPicture(const std::string& name, Picture* out) const {
  quorsim::WaveView view;
  if (!host_->FindWave(name, &view)) return false;
  out->type = view.type;
  out->width = view.dimensions.size() > 0 ? view.dimensions[0] : 0;
  out->height = view.dimensions.size() > 1 ? view.dimensions[1] : 0;
  out->bytes.assign(view.data, view.data + view.dataBytes);
  return true;
}

}  // namespace e2e
