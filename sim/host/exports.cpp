// The simulated host's exports besides the memory manager: module and window queries, the
// module's string list, the clipboard, the tick counter and the window-message hook. Every
// export first scrambles memory when that mode is on, like the memory manager's own.
#include <algorithm>
#include <cstring>
#include <string>

#include "hostlink/host_exports.h"
#include "sim/host/host_internal.h"
#include "sim/host/memory_internal.h"
#include "hostlink/platform.h"

namespace quorsim {

extern char gQuorClientWindowToken;

namespace {

constexpr int32_t kStringListId = 1101;
constexpr size_t kMaxIndexedString = 255;   // strings of a string list are at most this long
constexpr int32_t kScrapParamErr = -50;

std::string gClipboard;
uint32_t gClipboardType = 0;

}  // namespace

std::string ClipboardText() { return gClipboard; }
uint32_t ClipboardType() { return gClipboardType; }

}  // namespace quorsim

using namespace quorsim;

extern "C" {

void* GetZEMModule(IORecHandle ioRecHandle) {
  MemScrambleIfOn();
  Host* host = HostOfRecord(ioRecHandle);
  return host == nullptr ? nullptr : host->InternalState().moduleInstance;
}

void* GetQuorModule(void) {
  MemScrambleIfOn();
  Host* host = ActiveHost();
  return host == nullptr ? nullptr : host->InternalState().hostModule;
}

void* GetQuorClientHWND(void) {
  MemScrambleIfOn();
  return &gQuorClientWindowToken;
}

// Copies string `index` (counted from 1) of the module's string list 1101 into the buffer,
// terminated. Other lists, other instances and indexes outside the list leave the buffer alone.
int32_t GetWinIndString(void* instance, char* buffer, int32_t listId, int32_t index) {
  MemScrambleIfOn();
  Host* host = HostOfModuleInstance(instance);
  if (buffer == nullptr || host == nullptr || listId != kStringListId) return 0;
  const std::vector<std::string>& strings = host->Declarations().strings;
  if (index < 1 || static_cast<size_t>(index) > strings.size()) return 0;
  const std::string& text = strings[static_cast<size_t>(index) - 1];
  size_t n = std::min(text.size(), kMaxIndexedString);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return 0;
}

int32_t SetScrapData(int32_t zero, int32_t length, int32_t typeCode, const void* data) {
  MemScrambleIfOn();
  (void)zero;
  if (length < 0 || (length > 0 && data == nullptr)) return kScrapParamErr;
  if (length == 0) {
    gClipboard.clear();
  } else {
    gClipboard.assign(static_cast<const char*>(data), static_cast<size_t>(length));
  }
  gClipboardType = static_cast<uint32_t>(typeCode);
  return 0;
}

// Sixtieths of a second from the platform's millisecond clock.
uint32_t TickCount(void) {
  MemScrambleIfOn();
  return static_cast<uint32_t>(uint64_t{GetTickCount()} * 60 / 1000);
}

intptr_t HandleZEMWinMessage(void* instance, void* window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                             intptr_t* handled) {
  MemScrambleIfOn();
  (void)instance, (void)window, (void)message, (void)wParam, (void)lParam;
  if (handled != nullptr) *handled = 0;
  return 0;
}

}  // extern "C"
