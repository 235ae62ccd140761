// The trace of a quorsim run: the lines of host events and driver entries, the summary of a
// run of status polls, and the tracer that watches host and driver and writes the lines.
#include "sim/host/trace.h"

#include "camera/driver.h"
#include "hostlink/platform.h"
#include "sim/host/codes.h"
#include "sim/host/script.h"

namespace quorsim {
namespace {

// Words below this size are numbers to a reader; above it they are mostly addresses and
// handles, which read better in hexadecimal. No system maps memory below 64 KiB.
constexpr int64_t kLargestDecimalWord = 65535;

std::string QuotedText(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\t': quoted += "\\t"; break;
      case '\r': quoted += "\\r"; break;
      default:
        if (u < 0x20 || u >= 0x7F) {
          static const char kHex[] = "0123456789ABCDEF";
          quoted += "\\x";
          quoted += kHex[u >> 4];
          quoted += kHex[u & 0xF];
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

std::string WordList(std::span<const HostWord> items) {
  std::string text = "(";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ", ";
    text += TraceWord(items[i]);
  }
  return text + ")";
}

const char* EntryName(int ordinal) {
  for (const CamEntryName& entry : kSimCamEntryNames)
    if (static_cast<int>(entry.entry) == ordinal) return entry.name;
  return "entry ?";
}

bool IsEntry(const CamCallReport& report, CamEntry entry) { return report.call->ordinal == static_cast<int>(entry); }

// The entry's arguments as the module passed them (the readouts' pixel buffer is left out).
std::string EntryArguments(const CamCallReport& report) {
  const CamCall& call = *report.call;
  std::string text = "(";
  for (size_t i = 0; i < call.args.size(); ++i) {
    if (i > 0) text += ", ";
    // The dialog's first argument is the parent window.
    text += IsEntry(report, CamEntry::SettingsDialog) && i == 0 ? TraceWord(call.args[i]) : std::to_string(call.args[i]);
  }
  if (IsEntry(report, CamEntry::WriteSettings) || IsEntry(report, CamEntry::SettingsDialog))
    text += (call.args.empty() ? "" : ", ") + QuotedText(call.text);
  return text + ")";
}

// What the entry wrote, after its status.
std::string EntryOutputs(const CamCallReport& report) {
  const int64_t* o = report.outputs;
  if (IsEntry(report, CamEntry::GetImageSize) && report.outputCount == 2)
    return ": " + std::to_string(o[0]) + " x " + std::to_string(o[1]);
  if (IsEntry(report, CamEntry::GetImageStatus) && report.outputCount == 1) return ": picstat " + std::to_string(o[0]);
  if (IsEntry(report, CamEntry::ReadSettings) && report.outputCount == 8) {
    std::string text = ": mode " + std::to_string(o[0]) + ", trig " + std::to_string(o[1]) + ", region " +
                       std::to_string(o[2]) + ".." + std::to_string(o[3]) + " x " + std::to_string(o[4]) + ".." +
                       std::to_string(o[5]) + ", binning " + std::to_string(o[6]) + " x " + std::to_string(o[7]);
    if (report.outputText != nullptr) text += ", " + QuotedText(report.outputText);
    return text;
  }
  return {};
}

bool IsTimingEntry(const CamCallReport& report) {
  return IsEntry(report, CamEntry::GetDelayTime) || IsEntry(report, CamEntry::GetExposureTime);
}

void WriteLine(Tracer& tracer, const std::string& line) {
  std::fflush(stdout);  // the script's and the module's output so far comes first
  std::fprintf(tracer.stream, "trace: %s\n", line.c_str());
  std::fflush(tracer.stream);
}

void FlushPolls(Tracer& tracer) {
  if (tracer.polls.count == 0) return;
  WriteLine(tracer, PollSummaryLine(tracer.polls));
  tracer.polls = {};
}

void OnHostEvent(Tracer& tracer, const HostEvent& event) {
  FlushPolls(tracer);
  WriteLine(tracer, TraceLine(event));
}

void OnDriverEntry(void* context, const CamCallReport& report) {
  Tracer& tracer = *static_cast<Tracer*>(context);
  if (!IsEntry(report, CamEntry::GetImageStatus)) {
    FlushPolls(tracer);
    WriteLine(tracer, DriverTraceLine(report));
    return;
  }
  PollRun& polls = tracer.polls;
  const uint32_t now = GetTickCount();
  if (polls.count == 0) polls.firstTick = now;
  polls.lastTick = now;
  ++polls.count;
  polls.lastStatus = report.status;
  polls.lastWrote = report.outputCount == 1;
  polls.lastPicstat = polls.lastWrote ? report.outputs[0] : 0;
  const bool busy = polls.lastWrote && (polls.lastPicstat & kPicstatPictureNotReady) != 0;
  if (busy) ++polls.busy;
  // A poll that ends a wait is summed up at once; a wait that ends by its time-out is summed
  // up with the next line.
  if (report.status != 0 || !busy) FlushPolls(tracer);
}

}  // namespace

std::string TraceWord(int64_t word) {
  if (word >= -kLargestDecimalWord && word <= kLargestDecimalWord) return std::to_string(word);
  static const char kHex[] = "0123456789abcdef";
  // An address in its own width: on 32-bit systems a high address is a negative word.
  uint64_t bits = static_cast<uintptr_t>(static_cast<intptr_t>(word));
  std::string digits;
  do {
    digits.insert(digits.begin(), kHex[bits & 0xF]);
    bits >>= 4;
  } while (bits != 0);
  return "0x" + digits;
}

std::string ArgumentText(const Argument& argument) {
  switch (argument.kind) {
    case Argument::Number: return FormatNumber(argument.number);
    case Argument::Text: return QuotedText(argument.text);
    case Argument::NullHandle: return "null";
  }
  return "?";
}

std::string TraceLine(const HostEvent& event) {
  switch (event.kind) {
    case HostEvent::ModuleRequest: {
      bool answersCode = false;
      const char* name = ModuleRequestName(event.message, &answersCode);
      std::string line = "module -> host: " + std::to_string(event.message) + (name != nullptr ? std::string(" ") + name : "") +
                         " " + WordList(event.items) + " -> ";
      const bool code = (answersCode || name == nullptr) && event.result >= INT32_MIN && event.result <= INT32_MAX;
      return line + (code && event.result != 0 ? ErrorCodeText(static_cast<int32_t>(event.result)) : TraceWord(event.result));
    }
    case HostEvent::MessageToModule: {
      const char* name = MessageToModuleName(event.message);
      return "host -> module: " + std::to_string(event.message) + (name != nullptr ? std::string(" ") + name : "") + " " +
             WordList(event.items) + " -> " + TraceWord(event.result);
    }
    case HostEvent::CallStarts:
    case HostEvent::CallReturns: {
      const std::string name = event.function != nullptr ? event.function->name : "?";
      if (event.kind == HostEvent::CallStarts) {
        std::string line = "call " + name + "(";
        if (event.args != nullptr) {
          for (size_t i = 0; i < event.args->size(); ++i) line += (i > 0 ? ", " : "") + ArgumentText((*event.args)[i]);
        }
        return line + ")";
      }
      if (event.outcome == nullptr) return name + " returned";
      const CallOutcome& outcome = *event.outcome;
      return name + " returned " + ErrorCodeText(outcome.errorCode) + ", " +
             (outcome.resultWritten ? "result " + FormatNumber(outcome.result) : std::string("no result"));
    }
  }
  return "?";
}

std::string DriverTraceLine(const CamCallReport& report) {
  std::string line = std::string("driver: ") + EntryName(report.call->ordinal) + EntryArguments(report) + " -> ";
  if (IsTimingEntry(report)) return line + FormatNumber(report.value) + " us";
  line += std::to_string(report.status);
  if (report.status == kReadoutNoPicture &&
      (IsEntry(report, CamEntry::ReadImage12) || IsEntry(report, CamEntry::ReadImage8)))
    line += " (no picture in the buffer)";
  return line + EntryOutputs(report);
}

std::string PollSummaryLine(const PollRun& polls) {
  std::string line = "driver: GET_IMAGE_STATUS() ";
  if (polls.count > 1) {
    line += "polled " + std::to_string(polls.count) + " times in " + std::to_string(polls.lastTick - polls.firstTick) +
            " ms, " + std::to_string(polls.busy) + " busy; the last -> ";
  } else {
    line += "-> ";
  }
  line += std::to_string(polls.lastStatus);
  if (polls.lastWrote) line += ": picstat " + std::to_string(polls.lastPicstat);
  return line;
}

void StartTrace(Tracer& tracer, Host& host, FILE* stream) {
  if (tracer.on) {
    FlushPolls(tracer);
    tracer.stream = stream;
    return;
  }
  tracer.stream = stream;
  tracer.host = &host;
  tracer.on = true;
  tracer.polls = {};
  Tracer* watching = &tracer;
  host.SetObserver([watching](const HostEvent& event) { OnHostEvent(*watching, event); });
  SimCamSetCallObserver(&OnDriverEntry, &tracer);
}

void StopTrace(Tracer& tracer) {
  if (!tracer.on) return;
  FlushPolls(tracer);
  tracer.host->SetObserver({});
  SimCamSetCallObserver(nullptr, nullptr);
  tracer.on = false;
  tracer.host = nullptr;
}

}  // namespace quorsim
