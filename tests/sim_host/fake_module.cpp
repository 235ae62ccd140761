// A small module for the host's own tests, loaded by the host as it loads Ombrel: it exports
// main, answers the host's messages through its entry routine, and offers one external function
// for each parameter-block shape of fake_module.rc. What it receives is kept in `gFakeSeen`,
// which the tests read through dlsym.
#include <cstring>

#include "hostlink/host_exports.h"
#include "hostlink/record.h"
#include "tests/sim_host/fake_module.h"

extern "C" {
FakeObservations gFakeSeen;
int32_t gFakeSkipEntryInstall = 0;  // main leaves the entry routine out (a broken module)
}

namespace {

IORecHandle gRecord = nullptr;

#pragma pack(push, 1)
struct TextParams {
  Handle text;
  double result;
};
struct TextNumNumParams {
  double high;
  double low;
  Handle text;
  double result;
};
struct NumParams {
  double value;
  double result;
};
struct NumNumParams {
  double second;
  double first;
  double result;
};
struct AskParams {
  double b;
  double a;
  double message;
  double result;
};
#pragma pack(pop)

void KeepText(Handle h) {
  gFakeSeen.textWasNull = h == nullptr ? 1 : 0;
  gFakeSeen.textLength = GetHandleSize(h);
  int32_t n = gFakeSeen.textLength;
  if (n > static_cast<int32_t>(sizeof gFakeSeen.text) - 1) n = sizeof gFakeSeen.text - 1;
  if (h != nullptr && n > 0) std::memcpy(gFakeSeen.text, *h, static_cast<size_t>(n));
  gFakeSeen.text[n > 0 ? n : 0] = '\0';
}

void KeepBlock(const void* block, size_t bytes) {
  std::memcpy(gFakeSeen.block, block, bytes);
  gFakeSeen.blockBytes = static_cast<int32_t>(bytes);
}

void WriteResult(double* slot, double value) { std::memcpy(slot, &value, sizeof value); }

// ---------------------------------------------------------------- external functions
int32_t FK_Plain(void* block) {
  auto* p = static_cast<double*>(block);
  KeepBlock(block, 8);
  WriteResult(p, 42.0);
  return 0;
}

int32_t FK_Text(void* block) {
  auto* p = static_cast<TextParams*>(block);
  KeepBlock(block, sizeof *p);
  Handle text = p->text;
  KeepText(text);
  DisposeHandle(text);
  p->result = gFakeSeen.textLength;
  return 0;
}

int32_t FK_TextNumNum(void* block) {
  auto* p = static_cast<TextNumNumParams*>(block);
  KeepBlock(block, sizeof *p);
  KeepText(p->text);
  DisposeHandle(p->text);
  p->result = p->high - p->low;
  return 0;
}

int32_t FK_NumNum(void* block) {
  auto* p = static_cast<NumNumParams*>(block);
  KeepBlock(block, sizeof *p);
  p->result = p->first * 10 + p->second;
  return 0;
}

int32_t FK_NoResult(void* block) {
  KeepBlock(block, 8);
  return 0;
}

int32_t FK_Fails(void* block) {
  auto* p = static_cast<NumParams*>(block);
  KeepBlock(block, sizeof *p);
  return static_cast<int32_t>(p->value);
}

// Sends host message `message` with the two numbers as items and returns the host's answer.
int32_t FK_Ask(void* block) {
  auto* p = static_cast<AskParams*>(block);
  HostWord items[2] = {static_cast<HostWord>(p->a), static_cast<HostWord>(p->b)};
  p->result = static_cast<double>(FakeCallHost(static_cast<int>(p->message), items, 2));
  return 0;
}

// Makes an unsigned 16-bit wave of width x height through message 77 and fills it with x + 10*y,
// the way the picture functions fill theirs: lock, write, restore, mark modified.
int32_t FK_MakeImage(void* block) {
  auto* p = static_cast<TextNumNumParams*>(block);
  char name[32] = {0};
  Handle text = p->text;
  int32_t n = GetHandleSize(text);
  if (n > 31) n = 31;
  if (text != nullptr && n > 0) std::memcpy(name, *text, static_cast<size_t>(n));
  DisposeHandle(text);
  const int32_t width = static_cast<int32_t>(p->low);
  const int32_t height = static_cast<int32_t>(p->high);
  int32_t dims[10] = {width, height, 0};
  Handle wave = nullptr;
  HostWord items[6] = {reinterpret_cast<HostWord>(&wave), reinterpret_cast<HostWord>(name), 0,
                       reinterpret_cast<HostWord>(dims), 80, 1};
  HostWord err = FakeCallHost(77, items, 6);
  if (err != 0) return static_cast<int32_t>(err);
  int32_t state = HGetState(wave);
  MoveHHi(wave);
  HLock(wave);
  HostWord waveItem = reinterpret_cast<HostWord>(wave);
  auto* data = reinterpret_cast<uint8_t*>(FakeCallHost(37, &waveItem, 1));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint16_t v = static_cast<uint16_t>(x + 10 * y);
      std::memcpy(data + 2 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)), &v, 2);
    }
  }
  HSetState(wave, state);
  FakeCallHost(1, &waveItem, 1);
  p->result = 0;
  return 0;
}

int32_t FK_Never(void*) { return 0; }

ExternalFunctionProc const kFunctions[] = {FK_Plain, FK_Text,      FK_TextNumNum, FK_NumNum, FK_NoResult,
                                          FK_Fails, FK_Ask,       FK_MakeImage,  FK_Never,  FK_Never};
constexpr int kFunctionCount = sizeof kFunctions / sizeof kFunctions[0];

void Entry() {
  IORec* r = *gRecord;
  int message = r->message;
  HostWord item0 = r->itemCount > 0 ? r->items[0] : 0;
  if (gFakeSeen.messageCount < kFakeMaxMessages) {
    gFakeSeen.messages[gFakeSeen.messageCount] = message;
    gFakeSeen.firstItems[gFakeSeen.messageCount] = item0;
    ++gFakeSeen.messageCount;
  }
  HostWord result = 0;
  if (message == kMsgFunctionAddress) {
    if (item0 >= 0 && item0 < kFunctionCount) result = reinterpret_cast<HostWord>(kFunctions[item0]);
  } else if (message == kMsgShutdown) {
    ++gFakeSeen.shutdowns;
  }
  (*gRecord)->result = result;
}

}  // namespace

// The module's entry point, exported under the name main.
int32_t FakeMain(IORecHandle record) __asm__("main");
int32_t FakeMain(IORecHandle record) {
  gRecord = record;
  ++gFakeSeen.mainCalls;
  gFakeSeen.mainRecordBytes = GetHandleSize(reinterpret_cast<Handle>(record));
  gFakeSeen.ownModule = GetZEMModule(record);
  if (gFakeSkipEntryInstall == 0) (*record)->entryRoutine = Entry;
  (*record)->result = 0;
  return 0;
}


// The module's side of the callback transport, as Ombrel's: size the record for its items,
// write them, clear the result, call the host, read its answer, always through the handle.
extern "C" HostWord FakeCallHost(int message, const HostWord* items, int count) {
  SetHandleSize(reinterpret_cast<Handle>(gRecord), static_cast<int32_t>(kRecordFullSize));
  if (MemError() != 0) SetHandleSize(reinterpret_cast<Handle>(gRecord), static_cast<int32_t>(RecordSizeForItems(count)));
  (*gRecord)->itemCount = static_cast<int16_t>(count);
  for (int i = 0; i < count; ++i) (*gRecord)->items[i] = items[i];
  (*gRecord)->result = 0;
  (*gRecord)->message = static_cast<int16_t>(message);
  HostCallbackProc callback = (*gRecord)->hostCallback;
  callback(gRecord);
  return (*gRecord)->result;
}
