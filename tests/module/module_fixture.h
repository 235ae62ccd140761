// Shared set-up of the module's unit tests. The module's objects are linked into the test, so
// the simulated host is given a record directly instead of loading a library: LinkedHost
// makes the record with the host's memory manager, points it at a callback that answers with
// the simulated host's own wave services and records every exchange, and calls the module's
// main on it. The camera fixture resets the simulated driver and runs the tick clock by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hostlink/record.h"
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

// Host options with a version, a starting record size and the scramble mode.
quorsim::HostOptions Options(int version, int32_t recordSize = 200, bool scramble = true);

class LinkedHost {
 public:
  explicit LinkedHost(const quorsim::HostOptions& options = {});
  ~LinkedHost();
  LinkedHost(const LinkedHost&) = delete;
  LinkedHost& operator=(const LinkedHost&) = delete;

  quorsim::Host& host() { return *host_; }
  IORecHandle record() const { return record_; }
  // Messages the module sent since the last clear, in order.
  std::vector<int> Messages() const;

 private:
  std::unique_ptr<quorsim::Host> host_;
  IORecHandle record_ = nullptr;
};

// A LinkedHost of a chosen version (602 unless Start is called again), scramble mode on, with
// the requests the module sent and test waves of any header layout at hand.
class LinkedHostTest : public ::testing::Test {
 protected:
  void Start(int version) {
    linked_.reset();
    linked_ = std::make_unique<LinkedHost>(Options(version, 200, true));
  }
  void SetUp() override { Start(602); }
  void TearDown() override { linked_.reset(); }
  quorsim::Host& host() { return linked_->host(); }
  std::vector<int> Messages() const { return linked_->Messages(); }
  const quorsim::Exchange& Last() { return host().Exchanges().back(); }
  Handle Wave(const std::string& name, int layout, int type, std::vector<int32_t> dims) {
    Handle h = host().MakeTestWave(name, layout, type, std::move(dims));
    EXPECT_NE(h, nullptr) << name;
    return h;
  }

  std::unique_ptr<LinkedHost> linked_;
};

// A block of `bytes` bytes of `fill`, with the layout indicator at byte 26 when it holds one:
// a wave block shorter than the header it claims, as a faulty host could hand one over.
Handle ShortWaveBlock(int layout, size_t bytes, char fill = 0);

// Makes the next exchange that carries items stop before the host is called: the record is
// cut to its bare header and both of its resizes fail.
void StopNextExchange(IORecHandle record);

// The simulated camera, reset, with a manual clock that moves 1 ms per reading so that every
// wait ends after a small, exact number of polls.
class CameraTest : public ::testing::Test {
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
