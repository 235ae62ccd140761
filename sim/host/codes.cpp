// The tables behind codes.h: message names and error meanings, fixed codes with fixed texts.
#include "sim/host/codes.h"

#include <algorithm>
#include <climits>
#include <iterator>

#include "hostlink/error_codes.h"
#include "hostlink/host_messages.h"
#include "hostlink/record.h"
#include "sim/host/host_internal.h"
#include "sim/host/quorsim.h"

namespace quorsim {
namespace {

struct MessageName {
  int message;
  const char* name;
  bool answersCode;
};

// The requests the simulated host answers (quorsim.h describes each).
constexpr MessageName kModuleRequests[] = {
    {kMsgMarkWaveModified, "mark wave modified", true},
    {kMsgReadNumericVariable, "read numeric variable", true},
    {kMsgSetNumericVariable, "set numeric variable", true},
    {kMsgSetStringVariable, "set string variable", true},
    {kMsgFetchWave, "find wave", false},
    {kMsgPostNotice, "notice", true},
    {kMsgTextRequest9, "output line", true},
    {kMsgPeekCommandChar, "peek at command text", false},
    {kMsgSkipCommandChar, "consume command character", false},
    {kMsgReadCommandText, "read command text", false},
    {kMsgReadCommandNumber, "read command number", true},
    {kMsgReadCommandName, "read command name", true},
    {kMsgHostSignal, "signal", true},
    {kMsgWaveType, "wave type", false},
    {kMsgWavePointCount, "wave points", false},
    {kMsgWaveDataAddress, "wave data address", false},
    {kMsgMakeWave1D, "make 1D wave", true},
    {kMsgChangeWave1D, "change 1D wave", true},
    {kMsgCreateVariable, "make variable", true},
    {kMsgHistoryText, "history text", true},
    {kMsgReadWaveUnitsPair, "read units (layout 0)", true},
    {kMsgWriteWaveUnitsPair, "write units (layout 0)", true},
    {kMsgWaveNameList, "list wave names", true},
    {kMsgVariableNameList, "list numeric variable names", true},
    {kMsgStringNameList, "list string variable names", true},
    {kMsgNameQuery59, "is string variable", false},
    {kMsgBlankRequest71, "empty output line", true},
    {kMsgFreeName, "free object name", true},
    {kMsgMakeWaveMD, "make wave", true},
    {kMsgWaveDimensions, "wave dimensions", true},
    {kMsgChangeWaveMD, "change wave", true},
    {kMsgWaveValuePair, "dimension value pair", true},
    {kMsgWaveUnits, "read units", true},
    {kMsgSetWaveUnits, "write units", true},
    {kMsgWaveDataOffset, "wave data offset", true},
    {kMsgFetchWavePoint, "read wave point", true},
    {kMsgStoreWavePoint, "write wave point", true},
    {kMsgFetchWaveAsDoubles, "read wave as doubles", true},
    {kMsgStoreWaveFromDoubles, "write wave from doubles", true},
    {kMsgWaveHeaderValue93, "header value 93", false},
    {kMsgWaveHeaderValue94, "header value 94", false},
    {kMsgWaveHeaderValue95, "header value 95", false},
    {kMsgRootDataFolder, "root data folder", true},
    {kMsgCurrentDataFolder, "current data folder", true},
    {kMsgSetCurrentDataFolder, "set current data folder", true},
    {kMsgResolveFolderPath, "resolve data folder path", true},
    {kMsgReadCommandName124, "read command name, quoted", true},
    {kMsgNameConflict, "check object name", true},
    {kMsgFormatNameForCommand, "quote object name", true},
    {kMsgLegalizeName, "clean up object name", true},
    {kMsgLookUpFolderObject, "find object", true},
    {kMsgFindCharacter, "find character", false},
    {kMsgFindLastCharacter, "find last character", false},
    {kMsgAtStatementEnd, "at statement end", false},
};

constexpr MessageName kMessagesToModule[] = {
    {kMsgShutdown, "shutdown", false},
    {kMsgFunctionAddress, "function address", false},
};

struct CodeMeaning {
  int32_t code;
  const char* meaning;
};

// The host's own codes and the camera driver's positive status that a function can hand back;
// the module's own codes and their meanings are the module's table (hostlink/error_codes.h),
// which the host's codes of the same value share (1: out of memory, 163, 190, 380, 412, 414, 458).
constexpr CodeMeaning kHostCodeMeanings[] = {
    {kErrNameInUse, "the name is already in use"},
    {kErrBadName, "the host refuses this name"},
    {100, "no picture in the camera's buffer"},
    {kErrBadParameter, "a required address was null"},
    {kErrNotAWave, "not a wave of this host"},
    {kErrNoDataFolder, "not a data folder of this host"},
    {kErrWaveInUse, "the wave is locked and cannot change size"},
    {kErrBadDimensions, "bad dimension sizes"},
    {kErrNoSuchObject, "no such object"},
    {kErrNoSuchFolder, "no such data folder"},
    {kErrBadFolderPath, "this host takes no data folder path ending in ':'"},
    {kErrNoFreeName, "no free name"},
    {kErrNoSuchVariable, "no such variable"},
    {kErrExpectedNumber, "expected a number"},
    {kErrExpectedName, "expected a name"},
    {kErrNameTooLong, "the name is too long"},
    {kErrReservedName, "the name is reserved"},
    {kErrUnknownMessage, "the host does not know this request"},
};

// The board never opened reads -1 in the module, which is also how the simulated driver
// answers an entry that needs an open board.
constexpr int32_t kBoardNotOpen = -1;

// The functions whose double result is the driver's status: 0 success, negative an error.
constexpr const char* kStatusResultFunctions[] = {"QV_InitCam", "QV_SetValues"};

const MessageName* FindMessage(const MessageName* table, size_t count, int message) {
  for (size_t i = 0; i < count; ++i)
    if (table[i].message == message) return &table[i];
  return nullptr;
}

}  // namespace

const char* ModuleRequestName(int message, bool* answersCode) {
  const MessageName* found = FindMessage(kModuleRequests, std::size(kModuleRequests), message);
  if (answersCode != nullptr) *answersCode = found != nullptr && found->answersCode;
  return found != nullptr ? found->name : nullptr;
}

const char* MessageToModuleName(int message) {
  const MessageName* found = FindMessage(kMessagesToModule, std::size(kMessagesToModule), message);
  return found != nullptr ? found->name : nullptr;
}

std::string ErrorCodeMeaning(int32_t code) {
  if (code == kBoardNotOpen) return "driver error -1: the board is not open";
  if (code < 0) return "driver error " + std::to_string(code);
  if (const std::string_view meaning = ModuleErrorMeaning(code); !meaning.empty()) return std::string(meaning);
  for (const CodeMeaning& entry : kHostCodeMeanings)
    if (entry.code == code) return entry.meaning;
  return {};
}

std::string ErrorCodeText(int32_t code) {
  const std::string meaning = ErrorCodeMeaning(code);
  return meaning.empty() ? std::to_string(code) : std::to_string(code) + " (" + meaning + ")";
}

std::string ResultStatusMeaning(const std::string& function, double result) {
  const bool status = std::any_of(std::begin(kStatusResultFunctions), std::end(kStatusResultFunctions),
                                  [&](const char* name) { return SameNameNoCase(function, name); });
  // Whole numbers in range only: the comparisons are false for NaN, and the cast is then exact.
  if (!status || !(result < 0 && result >= INT32_MIN) || result != static_cast<double>(static_cast<int32_t>(result)))
    return {};
  return ErrorCodeMeaning(static_cast<int32_t>(result));
}

}  // namespace quorsim
