// SupportHost: a simulated host answering the module's requests through its own record.
#include "support_host.h"

#include <algorithm>
#include <cstring>

#include "hostlink/host_exports.h"
#include "shell/entry.h"
#include "sim/host/host_internal.h"

namespace namingtest {
SupportHost::SupportHost(int version, bool scramble, int32_t recordSize) {
  quorsim::HostOptions options;
  options.version = version;
  options.scramble = scramble;
  options.recordSize = recordSize;
  host_ = std::make_unique<quorsim::Host>(options);
  Handle h = NewHandle(0);
  SetHandleSize(h, recordSize);
  std::memset(*h, 0, static_cast<size_t>(recordSize));
  record_ = reinterpret_cast<IORecHandle>(h);
  quorsim::InstallHostCallback(record_);
  host_->InternalState().record = record_;
  ModuleMain(record_);
}

SupportHost::~SupportHost() {
  host_->InternalState().record = nullptr;
  DisposeHandle(reinterpret_cast<Handle>(record_));
  host_.reset();
}

std::vector<int> SupportHost::Messages() const {
  std::vector<int> messages;
  for (const quorsim::Exchange& e : host_->Exchanges()) messages.push_back(e.message);
  return messages;
}

}  // namespace namingtest
