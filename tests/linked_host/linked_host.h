// The in-process test host of the module's unit tests, the naming and command-text tests and
// the utility and dialog tests. The module's objects are linked into the test, so the simulated
// host is given a record directly instead of loading a library: LinkedHost makes the record
// with the host's memory manager, points it at a callback that gives the answers a loaded
// module gets (scripted answer first, then the wave, utility and support services) and records
// every exchange, and calls the module's main on it (which reads hostVersion from the host's
// executable). Used by the unit tests (through linked_host_fixture.h) and the fuzzers alike.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hostlink/record.h"
#include "sim/host/quorsim.h"

namespace testhost {

// Host options with a version (0: no version resource), a starting record size and the scramble mode.
quorsim::HostOptions Options(int version, int32_t recordSize = 200, bool scramble = true);

class LinkedHost {
 public:
  // With moduleDeclarations, the test program itself stands in as the module's library, with
  // those declarations: the host answers GetWinIndString only for a loaded module.
  explicit LinkedHost(const quorsim::HostOptions& options = {},
                      const quorsim::ModuleDeclarations* moduleDeclarations = nullptr);
  ~LinkedHost();
  LinkedHost(const LinkedHost&) = delete;
  LinkedHost& operator=(const LinkedHost&) = delete;

  quorsim::Host& host() { return *host_; }
  IORecHandle record() const { return record_; }
  // Messages the module sent since the last ClearExchanges, in order.
  std::vector<int> Messages() const;

 private:
  std::unique_ptr<quorsim::Host> host_;
  IORecHandle record_ = nullptr;
  void* programAsLibrary_ = nullptr;
};

}  // namespace testhost
