// The module's side of the shared communication record: reading and writing its fields, and
// the exchanges in which the module asks the host for a service through the host's callback.
// Every field access goes through the record's handle afresh, because the host may resize
// (and so move) the record during any exchange.
#pragma once

#include <cstdint>

#include "hostlink/error_codes.h"
#include "hostlink/record.h"

// The record's handle as main received it; set once by InitModuleRecord.
extern IORecHandle gIORecHandle;

// Stores the handle and fills hostVersion; returns the version number.
int32_t InitModuleRecord(IORecHandle ioRecHandle);

void SetModuleEntry(ModuleEntryProc entry);
void SetModuleResult(HostWord value);
HostWord GetModuleResult(void);
// The message field is 16 bits wide: the setter keeps the low 16 bits, the getter sign-extends.
void SetModuleMessage(int32_t code);
int32_t GetModuleMessage(void);
// Item `index` of the current exchange, or 0 when the index is outside 0 .. itemCount-1.
HostWord GetModuleItem(int32_t index);

// Sizes the record for n items and sets itemCount. Returns 0, or 1 when the record could be
// given neither the full size nor the size for n items and is too small to carry them; in
// that case the record is left untouched and the exchange must not go on.
int32_t SetRecHandle(int32_t n);
// One module-to-host exchange on the items already in place; returns the host's result.
HostWord SendHostMessage(int32_t code);

// Send one host message with 0 to 6 items (in argument order) and return the host's result
// unchanged; kExchangeStopped when the record cannot carry the items.
HostWord CallHost0(int32_t code);
HostWord CallHost1(int32_t code, HostWord a1);
HostWord CallHost2(int32_t code, HostWord a1, HostWord a2);
HostWord CallHost3(int32_t code, HostWord a1, HostWord a2, HostWord a3);
HostWord CallHost4(int32_t code, HostWord a1, HostWord a2, HostWord a3, HostWord a4);
HostWord CallHost5(int32_t code, HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5);
HostWord CallHost6(int32_t code, HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5,
                   HostWord a6);

// The same exchanges for callers that must tell a stopped exchange from a host that answered
// 1: *stopped is true when the host was not called (the answer is then kExchangeStopped).
HostWord CallHostChecked0(int32_t code, bool* stopped);
HostWord CallHostChecked1(int32_t code, bool* stopped, HostWord a1);
HostWord CallHostChecked2(int32_t code, bool* stopped, HostWord a1, HostWord a2);
HostWord CallHostChecked3(int32_t code, bool* stopped, HostWord a1, HostWord a2, HostWord a3);
HostWord CallHostChecked4(int32_t code, bool* stopped, HostWord a1, HostWord a2, HostWord a3, HostWord a4);

// What a routine that answers a value rather than a code gives when its exchange stopped:
// the most negative 32-bit number, which is no type code, point count, 16-bit header value,
// character or yes/no answer. (Only the 32-bit message-93 header value could hold it.)
inline constexpr int32_t kExchangeStoppedValue = INT32_MIN;

// For messages whose answer is an address or a handle: the host's answer, or null when the
// exchange stopped (kExchangeStopped is a code, never an address).
HostWord CallHostForAddress1(int32_t code, HostWord a1);
HostWord CallHostForAddress2(int32_t code, HostWord a1, HostWord a2);

// Breaks into an attached debugger; does nothing when no debugger is attached. The text only
// documents the call site.
void DebugTrap(const char* text);

// An address or handle as an item of an exchange.
template <typename T>
inline HostWord AsItem(T* address) {
  return reinterpret_cast<HostWord>(address);
}
