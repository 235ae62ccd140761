// The module's entry points: main's work, the message entry the host calls for each message,
// and the table of the eight external functions.
#pragma once

#include <cstdint>

#include "hostlink/record.h"

inline constexpr int kExternalFunctionCount = 8;

// What the exported main does: resets the camera state, takes the record, installs the message
// entry and answers 0. Always returns 0.
int32_t ModuleMain(IORecHandle ioRecHandle);

// Answers one host message: the function address for MSG_FUNCTION_ADDRESS, the camera release
// for MSG_SHUTDOWN (answer 0), 0 for anything else.
extern "C" void ModuleEntry(void);

// The address of the external function whose index is item 0, or 0 for an index outside 0..7.
HostWord GetFunctionAddress(void);
