// What the host tests' fake module records, and its callback helper. The tests reach both
// through dlsym on the loaded library.
#pragma once

#include <cstdint>

#include "hostlink/record.h"

inline constexpr int kFakeMaxMessages = 64;

struct FakeObservations {
  int32_t mainCalls;
  int32_t mainRecordBytes;              // record size main was given
  void* ownModule;                      // GetZEMModule's answer in main
  int32_t messageCount;                 // host-to-module messages, oldest first
  int32_t messages[kFakeMaxMessages];
  HostWord firstItems[kFakeMaxMessages];
  int32_t shutdowns;
  uint8_t block[64];                    // the last parameter block, as received
  int32_t blockBytes;
  char text[256];                       // the last text parameter
  int32_t textLength;
  int32_t textWasNull;
};

extern "C" {
extern FakeObservations gFakeSeen;
extern int32_t gFakeSkipEntryInstall;
HostWord FakeCallHost(int message, const HostWord* items, int count);
}
