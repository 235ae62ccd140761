// Shared set-up of the module's unit tests: the in-process test host (tests/linked_host), the
// record's fields read back, exchanges made to stop, short wave blocks, and the camera fixture,
// which resets the simulated driver and runs the tick clock by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hostlink/record.h"
#include "linked_host/linked_host_fixture.h"
#include "sim/driver/senntcam_control.h"
#include "sim/host/quorsim.h"

namespace moduletest {

// The module's fields of the record, copied out (the packed record's fields are not aligned);
// items beyond the record's size read as 0.
struct RecordFields {
  HostWord result;
  ModuleEntryProc entryRoutine;
  int16_t message;
  int16_t itemCount;
  HostWord items[kRecordMaxItems];
};
RecordFields ReadRecord(IORecHandle record);

using testhost::LinkedHost;
using testhost::LinkedHostTest;
using testhost::Options;
using testhost::StopNextExchange;

// A block of `bytes` bytes of `fill`, with the layout indicator at byte 26 when it holds one:
// a wave block shorter than the header it claims, as a faulty host could hand one over.
Handle ShortWaveBlock(int layout, size_t bytes, char fill = 0);

// The simulated camera, reset, with a manual clock that steps 1 ms per reading so that every
// wait ends after a small, exact number of polls.
class SteppingClockCameraTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Opens the board directly through the driver and forgets the calls this made.
  void OpenBoard();
  // The driver's exposure (ms) through its own settings entries; delay 0.
  void SetExposureMilliseconds(int32_t milliseconds);
  static size_t Count(CamEntry entry) { return SimCamCallCount(entry); }
  static std::vector<int> Ordinals(std::initializer_list<CamEntry> entries);
};

// An 8-byte double slot value that no function writes: tells whether a result was written.
double UnwrittenResult();
bool IsUnwrittenResult(double value);

}  // namespace moduletest
