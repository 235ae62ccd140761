// The GoogleTest fixture of the naming, command-text and host-rule tests: a SupportHost of a
// chosen version, started anew by Start, with the module's requests readable afterwards.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "support_naming/support_host.h"

namespace namingtest {

class SupportHostTest : public ::testing::Test {
 protected:
  explicit SupportHostTest(bool scramble = true) : scramble_(scramble) {}
  void Start(int version) {
    linked_.reset();
    linked_ = std::make_unique<SupportHost>(version, scramble_);
  }
  void SetUp() override { Start(602); }
  void TearDown() override { linked_.reset(); }
  quorsim::Host& host() { return linked_->host(); }
  std::vector<int> Messages() const { return linked_->Messages(); }
  void Clear() { host().ClearExchanges(); }
  // Cuts the record below the size an exchange of `items` items needs and makes the next two
  // resizes fail: the next such exchange stops without reaching the host.
  static void StopNextExchange(int items) {
    SetHandleSize(reinterpret_cast<Handle>(gIORecHandle), static_cast<int32_t>(RecordSizeForItems(items)) - 1);
    quorsim::MemFailSetHandleSize(2);
  }

  std::unique_ptr<SupportHost> linked_;

 private:
  bool scramble_;
};

}  // namespace namingtest
