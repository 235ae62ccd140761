// The communication record that Quor sets up for the module, and the handle types of the
// host's memory manager. The byte layout is shared with the host, so it is fixed here once:
// on the 32-bit builds every field sits at the offset Quor uses; on 64-bit builds the item,
// result and address fields widen to pointer size and the offsets move with them.
#pragma once

#include <cstddef>
#include <cstdint>

// A relocatable host block: a pointer to the master pointer that points to the block.
using Ptr = char*;
using Handle = char**;

// One item or result of an exchange: an integer, an address or a handle, stored unchanged.
using HostWord = intptr_t;

struct IORec;
using IORecHandle = IORec**;

extern "C" {
// The host's callback: called with the record's handle, its return value is ignored.
typedef int32_t (*HostCallbackProc)(IORecHandle ioRecHandle);
// The module's message entry: the host writes message and items first, then calls it.
typedef void (*ModuleEntryProc)(void);
// An external function: called with the address of its parameter block.
typedef int32_t (*ExternalFunctionProc)(void* parameterBlock);
}

inline constexpr int kRecordMaxItems = 16;

#pragma pack(push, 2)
struct IORec {
  int16_t hostField0;
  int32_t hostField2;
  HostWord result;                // answer of the current exchange, in either direction
  int32_t hostField10;
  HostCallbackProc hostCallback;  // set by the host
  ModuleEntryProc entryRoutine;   // set by main
  int32_t hostField22;
  int32_t hostField26;
  int16_t message;                // message code of the current exchange
  int8_t hostField32[6];
  int16_t itemCount;              // number of items of the current exchange
  HostWord items[kRecordMaxItems];
};
#pragma pack(pop)

// Bytes a record needs to carry n items, and the size the module asks for first (room for 16).
inline constexpr size_t kRecordHeaderSize = offsetof(IORec, items);
inline constexpr size_t RecordSizeForItems(int n) { return kRecordHeaderSize + sizeof(HostWord) * static_cast<size_t>(n); }
inline constexpr size_t kRecordFullSize = RecordSizeForItems(kRecordMaxItems);

static_assert(sizeof(IORec) == kRecordFullSize);
static_assert(sizeof(HostWord) == sizeof(void*));
#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(IORec, result) == 6);
static_assert(offsetof(IORec, hostCallback) == 14);
static_assert(offsetof(IORec, entryRoutine) == 18);
static_assert(offsetof(IORec, message) == 30);
static_assert(offsetof(IORec, itemCount) == 38);
static_assert(offsetof(IORec, items) == 40);
static_assert(kRecordFullSize == 104);
#endif

// Host to module messages that the module answers.
inline constexpr int kMsgShutdown = 12;         // MSG_SHUTDOWN
inline constexpr int kMsgFunctionAddress = 15;  // MSG_FUNCTION_ADDRESS
#define MSG_SHUTDOWN kMsgShutdown
#define MSG_FUNCTION_ADDRESS kMsgFunctionAddress
