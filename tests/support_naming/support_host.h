// An in-process simulated host for the naming and command-text routines: the module's objects
// are linked into the test, and the host gets the record directly. Its callback gives the
// same answers as the host gives a loaded module (scripted answer first, then the wave,
// utility and support services) and records every exchange. Used by the unit tests and the
// fuzzers alike.
#pragma once

#include <memory>
#include <vector>

#include "hostlink/record.h"
#include "sim/host/quorsim.h"

namespace namingtest {

class SupportHost {
 public:
  // A host of this version (0: no version resource), its record of recordSize bytes, and the
  // module's main run on it (which reads hostVersion from the host's executable).
  explicit SupportHost(int version, bool scramble = false, int32_t recordSize = 200);
  ~SupportHost();
  SupportHost(const SupportHost&) = delete;
  SupportHost& operator=(const SupportHost&) = delete;

  quorsim::Host& host() { return *host_; }
  // Messages the module sent since the last ClearExchanges, in order.
  std::vector<int> Messages() const;

 private:
  std::unique_ptr<quorsim::Host> host_;
  IORecHandle record_ = nullptr;
};

}  // namespace namingtest
