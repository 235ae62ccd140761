// The host's answers to the support layer's utility requests: signals (33), texts for the
// history (49), lists of wave and variable names put into a handle (56, 57, 58) and the
// character search (173, 174). What they received is kept per host for the tests.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sim/host/host_internal.h"
#include "sim/host/memory_internal.h"

namespace quorsim {
namespace {

struct UtilityState {
  std::vector<int32_t> signals;
  std::vector<HistoryText> history;
  std::map<int, std::vector<std::string>> nameLists;  // by message: 57, 58
};

UtilityState& StateOf(Host::State& s) {
  if (!s.utilityState) s.utilityState = std::make_shared<UtilityState>();
  return *static_cast<UtilityState*>(s.utilityState.get());
}

HostWord Item(std::span<const HostWord> items, size_t index) { return index < items.size() ? items[index] : 0; }

const char* TextItem(std::span<const HostWord> items, size_t index) {
  return reinterpret_cast<const char*>(Item(items, index));
}

char Folded(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// '*' matches any run of characters (also none); everything else one character, case ignored.
bool Matches(const char* pattern, const std::string& name) {
  size_t p = 0, n = 0;
  size_t starAt = std::string::npos, resumeAt = 0;
  const size_t patternLength = std::strlen(pattern);
  while (n < name.size()) {
    if (p < patternLength && pattern[p] == '*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < patternLength && Folded(pattern[p]) == Folded(name[n])) {
      ++p, ++n;
    } else if (starAt != std::string::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < patternLength && pattern[p] == '*') ++p;
  return p == patternLength;
}

HostWord AnswerNameList(Host::State& s, int message, std::span<const HostWord> items) {
  Handle list = reinterpret_cast<Handle>(Item(items, 0));
  const char* pattern = TextItem(items, 1);
  const char* separator = TextItem(items, 2);
  if (separator == nullptr || !MemIsLiveHandle(list) || MemOwner(list) != BlockOwner::Module) return kErrBadParameter;

  std::vector<std::string> names;
  if (message == kMsgWaveNameList) {
    for (const auto& wave : s.current->waves) names.push_back(wave->name);
  } else {
    names = StateOf(s).nameLists[message];
  }
  std::string joined;
  bool first = true;
  for (const std::string& name : names) {
    if (pattern != nullptr && !Matches(pattern, name)) continue;
    if (!first) joined += separator;
    joined += name;
    first = false;
  }
  if (MemResizeHandle(list, joined.size()) != kMemNoErr) return kErrNoMemory;
  if (!joined.empty()) std::memcpy(*list, joined.data(), joined.size());
  return 0;
}

}  // namespace

bool AnswerUtilityMessage(Host::State& s, int message, std::span<const HostWord> items, HostWord* result) {
  switch (message) {
    case kMsgHostSignal:
      StateOf(s).signals.push_back(static_cast<int32_t>(Item(items, 0)));
      *result = 0;
      return true;
    case kMsgHistoryText: {
      const char* text = TextItem(items, 0);
      if (text == nullptr) {
        *result = kErrBadParameter;
        return true;
      }
      StateOf(s).history.push_back(HistoryText{text, static_cast<int32_t>(Item(items, 1))});
      *result = 0;
      return true;
    }
    case kMsgWaveNameList:
    case kMsgVariableNameList:
    case kMsgStringNameList:
      *result = AnswerNameList(s, message, items);
      return true;
    case kMsgFindCharacter:
    case kMsgFindLastCharacter: {
      const char* text = TextItem(items, 0);
      const char character = static_cast<char>(Item(items, 1));
      const char* found = nullptr;
      if (text != nullptr)
        found = message == kMsgFindCharacter ? std::strchr(text, character) : std::strrchr(text, character);
      *result = reinterpret_cast<HostWord>(found);
      return true;
    }
    default:
      return false;
  }
}

std::vector<int32_t> HostSignals(Host& host) { return StateOf(host.InternalState()).signals; }

std::vector<HistoryText> HistoryTexts(Host& host) { return StateOf(host.InternalState()).history; }

void SetNameList(Host& host, int message, std::vector<std::string> names) {
  StateOf(host.InternalState()).nameLists[message] = std::move(names);
}

}  // namespace quorsim
