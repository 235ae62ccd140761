// The GoogleTest fixture over the in-process test host (linked_host.h) that the module's, the
// naming and the utility tests derive from.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "linked_host/linked_host.h"

namespace testhost {

// Cuts the record below the size an exchange of `items` items needs and makes the next two
// resizes fail: the next such exchange stops without reaching the host.
inline void StopNextExchange(int items) {
  SetHandleSize(reinterpret_cast<Handle>(gIORecHandle), static_cast<int32_t>(RecordSizeForItems(items)) - 1);
  quorsim::MemFailSetHandleSize(2);
}

// A LinkedHost of a chosen version (602 unless Start is called again), with the requests the
// module sent and test waves of any header layout at hand.
class LinkedHostTest : public ::testing::Test {
 protected:
  // With moduleResources, the host holds the declarations of those compiled resources as a
  // loaded module's (see LinkedHost).
  explicit LinkedHostTest(bool scramble = true, const std::string& moduleResources = {}) : scramble_(scramble) {
    if (moduleResources.empty()) return;
    std::string error;
    declarations_.emplace();
    EXPECT_TRUE(quorsim::ReadModuleDeclarations(moduleResources, &*declarations_, &error)) << error;
  }
  // Replaces the host with one of this version.
  void Start(int version) {
    linked_.reset();
    linked_ = std::make_unique<LinkedHost>(Options(version, 200, scramble_), declarations_ ? &*declarations_ : nullptr);
  }
  void SetUp() override { Start(602); }
  void TearDown() override { linked_.reset(); }
  quorsim::Host& host() { return linked_->host(); }
  std::vector<int> Messages() const { return linked_->Messages(); }
  void Clear() { host().ClearExchanges(); }
  const quorsim::Exchange& Last() { return host().Exchanges().back(); }
  Handle Wave(const std::string& name, int layout, int type, std::vector<int32_t> dims) {
    Handle h = host().MakeTestWave(name, layout, type, std::move(dims));
    EXPECT_NE(h, nullptr) << name;
    return h;
  }

  std::unique_ptr<LinkedHost> linked_;

 private:
  bool scramble_;
  std::optional<quorsim::ModuleDeclarations> declarations_;
};

}  // namespace testhost
