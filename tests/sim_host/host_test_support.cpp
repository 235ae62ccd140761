// Helpers of the host tests (see host_test_support.h).
#include "tests/sim_host/host_test_support.h"

#include <dlfcn.h>

#include "hostlink/host_exports.h"

namespace hosttest {

std::string Slurp(FILE* f) {
  std::string text;
  std::rewind(f);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

FakeObservations* FakeSeen() {
  void* library = dlopen(kFakeModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  auto* seen = static_cast<FakeObservations*>(dlsym(library, "gFakeSeen"));
  dlclose(library);  // only drops the reference RTLD_NOLOAD added
  return seen;
}

HostWord SendAsModule(quorsim::Host& host, int message, const std::vector<HostWord>& items) {
  IORecHandle record = host.Record();
  SetHandleSize(reinterpret_cast<Handle>(record), static_cast<int32_t>(kRecordFullSize));
  (*record)->message = static_cast<int16_t>(message);
  (*record)->itemCount = static_cast<int16_t>(items.size());
  for (size_t i = 0; i < items.size() && i < kRecordMaxItems; ++i) (*record)->items[i] = items[i];
  (*record)->result = 0;
  (*record)->hostCallback(record);
  return (*record)->result;
}

void HostFixture::SetUp() {
  quorsim::MemResetFaults();
  quorsim::MemSetScramble(false);
  liveHandlesBefore_ = quorsim::MemLiveHandleCount();
  Start(quorsim::HostOptions{});
}

void HostFixture::Start(const quorsim::HostOptions& options) {
  host_.reset();
  host_ = std::make_unique<quorsim::Host>(options);
  std::string error;
  ASSERT_TRUE(host_->Load(kFakeModule, &error)) << error;
  if (FakeObservations* seen = FakeSeen()) *seen = FakeObservations{};
}

void HostFixture::TearDown() {
  host_.reset();
  quorsim::MemResetFaults();
  quorsim::MemSetScramble(false);
  EXPECT_EQ(quorsim::MemLiveHandleCount(), liveHandlesBefore_) << "handles leaked";
}

}  // namespace hosttest
