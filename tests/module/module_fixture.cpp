// The record reader, the exchange and wave-block helpers and the camera fixture of the module's
// unit tests.
#include "module_fixture.h"

#include <cstring>

#include "camera/driver.h"
#include "hostdata/waves.h"
#include "hostlink/host_exports.h"
#include "win32sim_control.h"

namespace moduletest {
RecordFields ReadRecord(IORecHandle record) {
  const size_t bytes = static_cast<size_t>(GetHandleSize(reinterpret_cast<Handle>(record)));
  const IORec* r = *record;
  RecordFields f{};
  f.result = r->result;
  f.entryRoutine = r->entryRoutine;
  f.message = r->message;
  f.itemCount = r->itemCount;
  for (int i = 0; i < kRecordMaxItems && RecordSizeForItems(i + 1) <= bytes; ++i) f.items[i] = r->items[i];
  return f;
}

Handle ShortWaveBlock(int layout, size_t bytes, char fill) {
  std::vector<char> block(bytes, fill);
  const int16_t indicator = static_cast<int16_t>(layout);
  if (bytes >= kWaveLayoutIndicatorOffset + sizeof indicator)
    std::memcpy(block.data() + kWaveLayoutIndicatorOffset, &indicator, sizeof indicator);
  Handle h = quorsim::MemNewHandleWithBytes(block);
  EXPECT_NE(h, nullptr);
  return h;
}

void SteppingClockCameraTest::SetUp() {
  SimCamReset();
  Win32SimUseManualClock(1000, 1);
}

void SteppingClockCameraTest::TearDown() {
  Win32SimUseRealClock();
  SimCamReset();
}

void SteppingClockCameraTest::OpenBoard() {
  PREPARE_BOARD(0);
  INIT_BOARD(kBoardOpen);
  SimCamClearCalls();
}

void SteppingClockCameraTest::SetExposureMilliseconds(int32_t milliseconds) {
  int32_t mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin;
  char text[kSettingsTextSize];
  READ_SETTINGS(&mode, &trig, &roix1, &roix2, &roiy1, &roiy2, &hbin, &vbin, text, kSettingsTextSize);
  const std::string settings = "0, " + std::to_string(milliseconds) + ", -1, -1";
  ASSERT_EQ(WRITE_SETTINGS(mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin, settings.c_str()), 0);
  SimCamClearCalls();
}

std::vector<int> SteppingClockCameraTest::Ordinals(std::initializer_list<CamEntry> entries) {
  std::vector<int> ordinals;
  for (CamEntry e : entries) ordinals.push_back(static_cast<int>(e));
  return ordinals;
}

double UnwrittenResult() { return -123456.75; }
bool IsUnwrittenResult(double value) { return value == UnwrittenResult(); }

}  // namespace moduletest
