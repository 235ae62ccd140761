// The base fixture of the utility and dialog tests.
#include "utility_fixture.h"

#include <string>

#include "hostlink/host_exports.h"
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

UtilityTest::UtilityTest() : LinkedHostTest(true, ModuleResourcesPath()) {}

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
  LinkedHostTest::Start(version);
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
