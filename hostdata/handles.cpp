// Routines over the host's handle-based memory. A handle's block may move whenever the host
// runs, so the block's address is taken only after the last host call that precedes its use.
#include "hostdata/handles.h"

#include <cstring>

#include "hostlink/host_exports.h"

int32_t SaveAndLockHandle(Handle h) {
  const int32_t state = HGetState(h);
  MoveHHi(h);
  HLock(h);
  return state;
}

int32_t CopyHandleText(Handle h, char* buffer, int32_t maxLength) {
  int32_t result = 0;
  buffer[0] = '\0';
  if (h == nullptr) return kErrNullHandle;
  if (maxLength < 0) maxLength = 0;
  int32_t n = GetHandleSize(h);
  if (n < 0) n = 0;
  if (n > maxLength) {
    n = maxLength;
    result = kErrTextCut;
  }
  if (n > 0) std::memcpy(buffer, *h, static_cast<size_t>(n));
  buffer[n] = '\0';
  return result;
}

int32_t PutTextInHandle(const char* text, Handle h) {
  if (h == nullptr) return kErrNullHandle;
  const size_t length = std::strlen(text);
  if (length > static_cast<size_t>(INT32_MAX)) return kErrHandleResizeFailed;
  const int32_t n = static_cast<int32_t>(length);
  SetHandleSize(h, n);
  if (MemError() != 0) return kErrHandleResizeFailed;
  if (n > 0) std::memcpy(*h, text, static_cast<size_t>(n));
  return 0;
}

void ZeroBytes(void* address, int32_t count) {
  unsigned char* byte = static_cast<unsigned char*>(address);
  for (int32_t i = 0; i < count; ++i) byte[i] = 0;
}
