// Reading and writing the shared record, and the module-to-host exchanges built on it.
// No pointer into the record is kept across a call: the host may move the record whenever it
// runs (a resize, or any memory-manager call), so each access dereferences the handle again.
#include "hostlink/transport.h"

#include "hostlink/host_exports.h"
#include "hostlink/host_version.h"
#include "hostlink/platform.h"

IORecHandle gIORecHandle = nullptr;

namespace {

IORec* Record() { return *gIORecHandle; }

Handle RecordAsHandle() { return reinterpret_cast<Handle>(gIORecHandle); }

// Writes the items of one exchange and sends it; every item write fetches the record afresh.
// *stopped tells whether the record could not carry the items, so that the host was not called.
template <typename... Items>
HostWord ExchangeWithItems(int32_t code, bool* stopped, Items... items) {
  constexpr int32_t count = static_cast<int32_t>(sizeof...(Items));
  static_assert(count <= 6, "an exchange carries at most six items");
  *stopped = SetRecHandle(count) != 0;
  if (*stopped) return kExchangeStopped;
  int index = 0;
  ((Record()->items[index++] = static_cast<HostWord>(items)), ...);
  (void)index;
  return SendHostMessage(code);
}

template <typename... Items>
HostWord CallHostWithItems(int32_t code, Items... items) {
  bool stopped = false;
  return ExchangeWithItems(code, &stopped, items...);
}

}  // namespace

int32_t InitModuleRecord(IORecHandle ioRecHandle) {
  gIORecHandle = ioRecHandle;
  hostVersion = GetHostVersion();
  return hostVersion;
}

void SetModuleEntry(ModuleEntryProc entry) { Record()->entryRoutine = entry; }

void SetModuleResult(HostWord value) { Record()->result = value; }

HostWord GetModuleResult(void) { return Record()->result; }

void SetModuleMessage(int32_t code) {
  Record()->message = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(code) & 0xFFFFu));
}

int32_t GetModuleMessage(void) { return Record()->message; }

HostWord GetModuleItem(int32_t index) {
  const int32_t count = Record()->itemCount;
  if (index < 0 || index >= count || index >= kRecordMaxItems) return 0;
  return Record()->items[index];
}

int32_t SetRecHandle(int32_t n) {
  if (n < 0 || n > kRecordMaxItems) return 1;
  const int32_t needed = static_cast<int32_t>(RecordSizeForItems(n));
  SetHandleSize(RecordAsHandle(), static_cast<int32_t>(kRecordFullSize));
  if (MemError() != 0) {
    SetHandleSize(RecordAsHandle(), needed);
    if (MemError() != 0) {
      DebugTrap("SetRecHandle error");
      // Still usable if the record happens to be large enough already; otherwise writing the
      // items would run past its end, so the exchange stops here.
      if (GetHandleSize(RecordAsHandle()) < needed) return 1;
    }
  }
  Record()->itemCount = static_cast<int16_t>(n);
  return 0;
}

HostWord SendHostMessage(int32_t code) {
  SetModuleResult(0);
  SetModuleMessage(code);
  HostCallbackProc callback = Record()->hostCallback;
  (void)callback(gIORecHandle);
  return GetModuleResult();
}

HostWord CallHost0(int32_t code) { return CallHostWithItems(code); }

HostWord CallHost1(int32_t code, HostWord a1) { return CallHostWithItems(code, a1); }

HostWord CallHost2(int32_t code, HostWord a1, HostWord a2) { return CallHostWithItems(code, a1, a2); }

HostWord CallHost3(int32_t code, HostWord a1, HostWord a2, HostWord a3) {
  return CallHostWithItems(code, a1, a2, a3);
}

HostWord CallHost4(int32_t code, HostWord a1, HostWord a2, HostWord a3, HostWord a4) {
  return CallHostWithItems(code, a1, a2, a3, a4);
}

HostWord CallHost5(int32_t code, HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5) {
  return CallHostWithItems(code, a1, a2, a3, a4, a5);
}

HostWord CallHost6(int32_t code, HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5,
                   HostWord a6) {
  return CallHostWithItems(code, a1, a2, a3, a4, a5, a6);
}

HostWord CallHostChecked0(int32_t code, bool* stopped) { return ExchangeWithItems(code, stopped); }

HostWord CallHostChecked1(int32_t code, bool* stopped, HostWord a1) { return ExchangeWithItems(code, stopped, a1); }

HostWord CallHostChecked2(int32_t code, bool* stopped, HostWord a1, HostWord a2) {
  return ExchangeWithItems(code, stopped, a1, a2);
}

HostWord CallHostChecked3(int32_t code, bool* stopped, HostWord a1, HostWord a2, HostWord a3) {
  return ExchangeWithItems(code, stopped, a1, a2, a3);
}

HostWord CallHostChecked4(int32_t code, bool* stopped, HostWord a1, HostWord a2, HostWord a3, HostWord a4) {
  return ExchangeWithItems(code, stopped, a1, a2, a3, a4);
}

HostWord CallHostForAddress1(int32_t code, HostWord a1) {
  bool stopped = false;
  const HostWord answer = ExchangeWithItems(code, &stopped, a1);
  return stopped ? 0 : answer;
}

HostWord CallHostForAddress2(int32_t code, HostWord a1, HostWord a2) {
  bool stopped = false;
  const HostWord answer = ExchangeWithItems(code, &stopped, a1, a2);
  return stopped ? 0 : answer;
}

void DebugTrap(const char* text) {
  (void)text;
  // Without a debugger a breakpoint would end the host process; the trap is for developers only.
  if (IsDebuggerPresent()) DebugBreak();
}
