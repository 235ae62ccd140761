// SupportHost: a simulated host answering the module's requests through its own record.
#include "support_host.h"

#include <algorithm>
#include <cstring>

#include "hostlink/host_exports.h"
#include "shell/entry.h"
#include "sim/host/host_internal.h"

namespace namingtest {
namespace {

int32_t ForwardingCallback(IORecHandle ioRecHandle) {
  quorsim::Host* host = quorsim::ActiveHost();
  if (host == nullptr || ioRecHandle != host->Record()) return 0;
  quorsim::Host::State& s = host->InternalState();
  const size_t recordBytes = static_cast<size_t>(GetHandleSize(reinterpret_cast<Handle>(ioRecHandle)));
  if (recordBytes < kRecordHeaderSize) return 0;
  IORec* r = *ioRecHandle;
  quorsim::Exchange exchange;
  exchange.message = r->message;
  const size_t room = (recordBytes - kRecordHeaderSize) / sizeof(HostWord);
  const size_t count = std::min({static_cast<size_t>(std::max<int16_t>(r->itemCount, 0)), room,
                                 static_cast<size_t>(kRecordMaxItems)});
  exchange.items.resize(count);
  if (count > 0) std::memcpy(exchange.items.data(), r->items, count * sizeof(HostWord));  // packed field
  HostWord result = 0;
  if (!(s.scripted && s.scripted(exchange.message, exchange.items, &result)) &&
      !quorsim::AnswerWaveMessage(s, exchange.message, exchange.items, &result) &&
      !quorsim::AnswerUtilityMessage(s, exchange.message, exchange.items, &result) &&
      !quorsim::AnswerSupportMessage(s, exchange.message, exchange.items, &result))
    result = quorsim::kErrUnknownMessage;
  exchange.result = result;
  s.exchanges.push_back(std::move(exchange));
  (*ioRecHandle)->result = result;
  return 0;
}

}  // namespace

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
  (*record_)->hostCallback = &ForwardingCallback;
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
