// Shared helpers of the host tests: the fake module's files and observations, a host with the
// fake module loaded, and sending a request to the host the way a module's transport does.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sim/host/quorsim.h"
#include "tests/sim_host/fake_module.h"

namespace hosttest {

inline const std::string kFakeModule = FAKE_MODULE_PATH;
inline const std::string kNoMainModule = NO_MAIN_PATH;
inline const std::string kFakeDir = FAKE_DIR;

// Everything written to a temporary file, read from its start; the file is closed.
std::string Slurp(FILE* f);

// The fake module's observations, or null if it is not loaded.
FakeObservations* FakeSeen();

// Writes message and items into the host's record as a module does (record sized to 16 items,
// result cleared) and calls the host's callback through the record. Returns the result.
HostWord SendAsModule(quorsim::Host& host, int message, const std::vector<HostWord>& items);

template <typename T>
HostWord Item(T* pointer) { return reinterpret_cast<HostWord>(pointer); }

// A host with the fake module loaded; memory controls reset before and after.
class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Replaces the host by a new one with these options and loads the fake module into it.
  void Start(const quorsim::HostOptions& options);
  HostWord Send(int message, const std::vector<HostWord>& items) { return SendAsModule(*host_, message, items); }

  std::unique_ptr<quorsim::Host> host_;
  size_t liveHandlesBefore_ = 0;
};

}  // namespace hosttest
