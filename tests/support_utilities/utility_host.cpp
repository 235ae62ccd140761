// UtilityHost and the base fixture of the utility and dialog tests.
#include "utility_host.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstring>
#include <string>

#include "hostlink/host_exports.h"
#include "shell/entry.h"
#include "sim/host/host_internal.h"
#include "support/dialogs.h"
#include "support/utilities.h"
#include "win32sim_control.h"

#ifdef _WIN32
// On Windows the host's client window has to be a real window, and the host stand-in hands out a
// token instead: the program is linked with --wrap=GetQuorClientHWND, so the module's calls (and
// the fixture's) get the real window that the fixture makes. The host's own entry still runs
// for what every host call does in scramble mode.
namespace {
HWND gClientWindow = nullptr;
}  // namespace
extern "C" void* __real_GetQuorClientHWND(void);
extern "C" void* __wrap_GetQuorClientHWND(void) {
  (void)__real_GetQuorClientHWND();
  return gClientWindow;
}
#endif

namespace utilitytest {
namespace {

// The module's compiled resources: on Windows beside the test program, which runs from its own
// folder in the guest.
std::string ModuleResourcesPath() {
#ifdef _WIN32
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string program(path, n < MAX_PATH ? n : 0);
  return program.substr(0, program.find_last_of("\\/") + 1) + OMBREL_RES_FILE;
#else
  return OMBREL_RES_FILE;
#endif
}

}  // namespace

UtilityHost::UtilityHost(int version, bool scramble) {
  quorsim::HostOptions options;
  options.version = version;
  options.scramble = scramble;
  host_ = std::make_unique<quorsim::Host>(options);
  Handle h = NewHandle(0);
  SetHandleSize(h, options.recordSize);
  std::memset(*h, 0, static_cast<size_t>(options.recordSize));
  record_ = reinterpret_cast<IORecHandle>(h);
  quorsim::InstallHostCallback(record_);
  quorsim::Host::State& s = host_->InternalState();
  s.record = record_;
  // The host answers GetWinIndString only for a loaded module: the test program itself stands
  // in as the library, with the declarations of the compiled resources.
  std::string error;
  EXPECT_TRUE(quorsim::ReadModuleDeclarations(ModuleResourcesPath(), &s.declarations, &error)) << error;
#ifdef _WIN32
  stringsLibrary_ = GetModuleHandleA(nullptr);
#else
  stringsLibrary_ = dlopen(nullptr, RTLD_NOW);
#endif
  s.library = stringsLibrary_;
  ModuleMain(record_);
}

UtilityHost::~UtilityHost() {
  quorsim::Host::State& s = host_->InternalState();
  s.library = nullptr;  // not unloaded: the module was never loaded as a library
#ifndef _WIN32
  if (stringsLibrary_ != nullptr) dlclose(stringsLibrary_);
#endif
  s.record = nullptr;
  DisposeHandle(reinterpret_cast<Handle>(record_));
  host_.reset();
}

std::vector<int> UtilityHost::Messages() const {
  std::vector<int> messages;
  for (const quorsim::Exchange& e : host_->Exchanges()) messages.push_back(e.message);
  return messages;
}

void UtilityTest::SetUp() {
  Win32SimResetUser32();
  Win32SimResetKeys();
  Win32SimUseManualClock(0);
  lastAbortPollTick = 0;
  lastSignalTick = 0;
  settingItemText = 0;
  Start(602);
}

void UtilityTest::TearDown() {
  linked_.reset();
  quorsim::MemResetFaults();
  Win32SimResetUser32();
  Win32SimUseRealClock();
}

void UtilityTest::Start(int version) {
  linked_.reset();
  linked_ = std::make_unique<UtilityHost>(version);
  Win32SimDestroyWindow(ClientWindow());
#ifdef _WIN32
  gClientWindow = Win32SimCreateWindow("QuorClient", kClientWindowRect);
  ASSERT_NE(gClientWindow, nullptr);
#else
  ASSERT_TRUE(Win32SimAdoptWindow(ClientWindow(), "QuorClient", kClientWindowRect));
#endif
  host().ClearExchanges();
}

void UtilityTest::SetTicks(uint32_t ticks) {
  // TickCount is milliseconds * 60 / 1000, truncated: the smallest millisecond count that
  // reaches `ticks` reads exactly `ticks`.
  Win32SimUseManualClock(static_cast<uint32_t>((uint64_t{ticks} * 1000 + 59) / 60));
}

HWND UtilityTest::ClientWindow() { return static_cast<HWND>(GetQuorClientHWND()); }

}  // namespace utilitytest
