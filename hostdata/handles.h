// Small routines over the host's handle-based memory: locking with the previous state saved,
// text in and out of handles, and clearing bytes.
#pragma once

#include <cstdint>

#include "hostlink/error_codes.h"
#include "hostlink/record.h"

// Returns the handle's state before locking it; give it back to HSetState when done.
int32_t SaveAndLockHandle(Handle h);
// Copies the handle's text (its whole size, at most maxLength characters) into buffer and
// terminates it; buffer needs maxLength + 1 bytes. 0, kErrNullHandle or kErrTextCut.
int32_t CopyHandleText(Handle h, char* buffer, int32_t maxLength);
// Puts the terminated text into the handle, without terminator. 0, kErrNullHandle or
// kErrHandleResizeFailed.
int32_t PutTextInHandle(const char* text, Handle h);
// Sets count bytes from address upward to zero; a count of 0 or less writes nothing.
void ZeroBytes(void* address, int32_t count);
