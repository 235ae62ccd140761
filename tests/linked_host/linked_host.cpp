// LinkedHost: the simulated host answering the module's requests through its own record.
#include "linked_host/linked_host.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <cstring>

#include "hostlink/host_exports.h"
#include "hostlink/platform.h"
#include "shell/entry.h"
#include "sim/host/host_internal.h"

namespace testhost {

quorsim::HostOptions Options(int version, int32_t recordSize, bool scramble) {
  quorsim::HostOptions options;
  options.version = version;
  options.recordSize = recordSize;
  options.scramble = scramble;
  return options;
}

LinkedHost::LinkedHost(const quorsim::HostOptions& options, const quorsim::ModuleDeclarations* moduleDeclarations)
    : host_(std::make_unique<quorsim::Host>(options)) {
  Handle h = NewHandle(0);
  SetHandleSize(h, options.recordSize);
  std::memset(*h, 0, static_cast<size_t>(options.recordSize));
  record_ = reinterpret_cast<IORecHandle>(h);
  quorsim::InstallHostCallback(record_);
  quorsim::Host::State& s = host_->InternalState();
  s.record = record_;
  if (moduleDeclarations != nullptr) {
    s.declarations = *moduleDeclarations;
#ifdef _WIN32
    programAsLibrary_ = GetModuleHandleA(nullptr);
#else
    programAsLibrary_ = dlopen(nullptr, RTLD_NOW);
#endif
    s.library = programAsLibrary_;
  }
  ModuleMain(record_);
}

LinkedHost::~LinkedHost() {
  quorsim::Host::State& s = host_->InternalState();
  s.library = nullptr;  // not unloaded: the module was never loaded as a library
#ifndef _WIN32
  if (programAsLibrary_ != nullptr) dlclose(programAsLibrary_);
#endif
  s.record = nullptr;
  DisposeHandle(reinterpret_cast<Handle>(record_));
  host_.reset();
}

std::vector<int> LinkedHost::Messages() const {
  std::vector<int> messages;
  for (const quorsim::Exchange& e : host_->Exchanges()) messages.push_back(e.message);
  return messages;
}

}  // namespace testhost
