// quorsim's trace: every exchange between host and module and every entry of the simulated
// camera driver, one line each as it happens, on a stream of its own (standard error in the
// program), so a script's output stays as it was. The status polls of a picture's wait are
// summed up in one line: how many, over how many milliseconds, and how the last one answered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "senntcam_control.h"
#include "sim/host/quorsim.h"

namespace quorsim {

// The polls of GET_IMAGE_STATUS in a row that the next line will sum up.
struct PollRun {
  uint32_t count = 0;
  uint32_t busy = 0;           // polls that reported a picture still on its way
  uint32_t firstTick = 0, lastTick = 0;
  int32_t lastStatus = 0;
  bool lastWrote = false;      // whether the last poll wrote picstat
  int64_t lastPicstat = 0;
};

// One trace. While it is on, it watches the host and the driver; it must stay where it is
// until it is stopped.
struct Tracer {
  FILE* stream = nullptr;
  Host* host = nullptr;
  bool on = false;
  PollRun polls;
};

// Starts tracing the host's exchanges and the driver's entries onto the stream (again onto a
// new stream if it is on already).
void StartTrace(Tracer& tracer, Host& host, FILE* stream);
// Writes what is pending and stops watching; nothing when it is off.
void StopTrace(Tracer& tracer);

// The line of one host event and of one driver entry, without the "trace: " in front (the
// poll summary aside, which only the tracer writes). Words are decimal when small, else hex in
// the width of an address.
std::string TraceLine(const HostEvent& event);
std::string DriverTraceLine(const CamCallReport& report);
std::string PollSummaryLine(const PollRun& polls);
std::string TraceWord(int64_t word);
// An argument of an external function as the script writes it: 1.5, "text", null.
std::string ArgumentText(const Argument& argument);

}  // namespace quorsim
