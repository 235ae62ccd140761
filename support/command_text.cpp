// Variables set by name with creation on demand, and the command-text readers: each routine
// is a few host requests in a fixed order. Doubles go to the host as the addresses of the
// caller's or the routine's own memory, never as items.
#include "support/command_text.h"

#include <cstring>

#include "hostdata/waves.h"
#include "hostlink/host_version.h"
#include "hostlink/transport.h"
#include "support/utilities.h"

namespace {

int32_t HostCode(HostWord result) { return static_cast<int32_t>(result); }

constexpr size_t kNameBufferSize = 32;  // a name of at most 31 characters

int32_t CreationType(int32_t baseType, int32_t flag) { return flag ? (baseType | kVariableCreationFlag) : baseType; }

// The numeric setters after their version gate: set, and on "no such variable" create and set
// again (whose answer is not examined). A setting request that never reached the host has set
// nothing: kExchangeStopped.
int32_t SetOrCreateNumeric(const char* name, const double* realPart, const double* imaginaryPart, int32_t baseType,
                           int32_t flag) {
  bool stopped = false;
  const HostWord set =
      CallHostChecked3(kMsgSetNumericVariable, &stopped, AsItem(name), AsItem(realPart), AsItem(imaginaryPart));
  if (stopped) return kExchangeStopped;
  if (HostCode(set) != kNoSuchNumericVariable) return 0;
  if (int32_t err = CreateVariable(name, CreationType(baseType, flag)); err != 0) return err;
  CallHostChecked3(kMsgSetNumericVariable, &stopped, AsItem(name), AsItem(realPart), AsItem(imaginaryPart));
  return stopped ? kExchangeStopped : 0;
}

bool FlagRefused(int32_t flag) { return flag && hostVersion < kHostVersionVariableFlag; }

int32_t ReadCommandName(char* name) { return HostCode(CallHost1(kMsgReadCommandName, AsItem(name))); }

}  // namespace

// ---------------------------------------------------------------- variables

int32_t CreateVariable(const char* name, int32_t creationType) {
  if ((creationType & kVariableCreationFlag) != 0 && hostVersion < kHostVersionVariableFlag) return kErrHostTooOld;
  return HostCode(CallHost2(kMsgCreateVariable, AsItem(name), creationType));
}

int32_t SetNumericVariableInt(const char* name, int32_t value, int32_t flag) {
  if (FlagRefused(flag)) return kErrHostTooOld;
  const double realPart = value;
  const double imaginaryPart = 0;
  return SetOrCreateNumeric(name, &realPart, &imaginaryPart, kVariableTypeReal, flag);
}

int32_t SetNumericVariable(const char* name, const double* value, int32_t flag) {
  if (FlagRefused(flag)) return kErrHostTooOld;
  const double imaginaryPart = 0;
  return SetOrCreateNumeric(name, value, &imaginaryPart, kVariableTypeReal, flag);
}

int32_t SetComplexVariable(const char* name, const double* realPart, const double* imaginaryPart, int32_t flag) {
  if (FlagRefused(flag)) return kErrHostTooOld;
  return SetOrCreateNumeric(name, realPart, imaginaryPart, kVariableTypeComplex, flag);
}

int32_t SetStringVariable(const char* name, const char* text, int32_t flag) {
  if (FlagRefused(flag)) return kErrHostTooOld;
  bool stopped = false;
  const HostWord set = CallHostChecked2(kMsgSetStringVariable, &stopped, AsItem(name), AsItem(text));
  if (stopped) return kExchangeStopped;  // no answer from the host: nothing to create on
  if (set == 0) return 0;
  if (int32_t err = CreateVariable(name, CreationType(kVariableTypeString, flag)); err != 0) return err;
  return HostCode(CallHost2(kMsgSetStringVariable, AsItem(name), AsItem(text)));
}

// ---------------------------------------------------------------- command text

int32_t AtCommandEnd(void) {
  bool stopped = false;
  if (hostVersion >= kHostVersionStatementEnd) {
    const int32_t atEnd = HostCode(CallHostChecked0(kMsgAtStatementEnd, &stopped));
    return stopped ? kExchangeStoppedValue : atEnd;
  }
  const int32_t next = HostCode(CallHostChecked0(kMsgPeekCommandChar, &stopped));
  if (stopped) return kExchangeStoppedValue;
  return (next == 0 || next == '\r' || next == ';' || next == '|') ? 1 : 0;
}

int32_t FindKeyword(const char* const* keywords, char* text) {
  UpperCaseText(text);
  for (int32_t index = 0; keywords[index][0] != '\0'; ++index) {
    if (std::strcmp(keywords[index], text) == 0) return index;
  }
  return -1;
}

int32_t ReadKeyword(const char* const* keywords, int32_t* index) {
  char name[kNameBufferSize];
  if (int32_t answer = ReadCommandName(name); answer != 0) return answer == ';' ? ';' : kErrExpectedKeyword;
  const int32_t found = FindKeyword(keywords, name);
  if (found < 0) return kErrExpectedKeyword;
  *index = found;
  return 0;
}

int32_t ReadFlagValue(int32_t flagBit, int32_t* flagWord) {
  *flagWord |= flagBit;
  bool stopped = false;
  const int32_t next = HostCode(CallHostChecked0(kMsgPeekCommandChar, &stopped));
  if (stopped) return kExchangeStopped;  // the command text was not read
  if (next == '=') {
    CallHost0(kMsgSkipCommandChar);
    double value = 0;
    if (int32_t err = HostCode(CallHost1(kMsgReadCommandNumber, AsItem(&value))); err != 0) return err;
    if (value == 0) *flagWord &= ~flagBit;
  }
  return 0;
}

int32_t ReadTextLastChar(char* buffer) {
  bool stopped = false;
  const int32_t count = HostCode(CallHostChecked1(kMsgReadCommandText, &stopped, AsItem(buffer)));
  if (stopped) return kExchangeStoppedValue;
  if (count < 1 || count > kCommandTextBufferSize) return count;  // nothing in the buffer to read
  return static_cast<unsigned char>(buffer[count - 1]);
}

int32_t ReadNameGated(int32_t* outValue, char* name, HostWord third) {
  if (hostVersion >= kHostVersionNameReader)
    return HostCode(CallHost3(kMsgReadCommandName124, AsItem(outValue), AsItem(name), third));
  *outValue = 0;
  const int32_t answer = ReadCommandName(name);
  return answer == ';' ? kErrNameAtStatementEnd : answer;
}

int32_t ReadWaveName(char* name) {
  if (ReadCommandName(name) != 0) return kErrExpectedWaveName;
  return FetchWaveByName(name) != nullptr ? 0 : kErrExpectedWaveName;
}

int32_t ReadVariableName(char* name) {
  if (ReadCommandName(name) != 0) return kErrExpectedVariableName;
  double realPart = 0, imaginaryPart = 0;
  return HostCode(CallHost3(kMsgReadNumericVariable, AsItem(name), AsItem(&realPart), AsItem(&imaginaryPart)));
}

int32_t ReadNameForQuery59(char* name) {
  if (ReadCommandName(name) != 0) return kErrExpectedQueryName;
  bool stopped = false;
  const HostWord known = CallHostChecked1(kMsgNameQuery59, &stopped, AsItem(name));
  return !stopped && known != 0 ? 0 : kErrExpectedQueryName;
}

int32_t SendBlankRequest(void) {
  if (hostVersion >= kHostVersionVariableFlag) {
    bool stopped = false;
    CallHostChecked0(kMsgBlankRequest71, &stopped);
    return stopped ? kExchangeStopped : 0;
  }
  return HostCode(CallHost1(kMsgTextRequest9, AsItem("")));
}
