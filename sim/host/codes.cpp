// The tables behind codes.h: message names and error meanings, fixed codes with fixed texts.
#include "sim/host/codes.h"

#include "hostlink/record.h"
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
    {1, "mark wave modified", true},
    {3, "read numeric variable", true},
    {5, "set numeric variable", true},
    {6, "set string variable", true},
    {7, "find wave", false},
    {8, "notice", true},
    {9, "output line", true},
    {10, "peek at command text", false},
    {11, "consume command character", false},
    {12, "read command text", false},
    {13, "read command number", true},
    {14, "read command name", true},
    {33, "signal", true},
    {34, "wave type", false},
    {35, "wave points", false},
    {37, "wave data address", false},
    {42, "make 1D wave", true},
    {43, "change 1D wave", true},
    {45, "make variable", true},
    {49, "history text", true},
    {52, "read units (layout 0)", true},
    {53, "write units (layout 0)", true},
    {56, "list wave names", true},
    {57, "list numeric variable names", true},
    {58, "list string variable names", true},
    {59, "is string variable", false},
    {71, "empty output line", true},
    {76, "free object name", true},
    {77, "make wave", true},
    {78, "wave dimensions", true},
    {79, "change wave", true},
    {80, "dimension value pair", true},
    {82, "read units", true},
    {83, "write units", true},
    {86, "wave data offset", true},
    {87, "read wave point", true},
    {88, "write wave point", true},
    {89, "read wave as doubles", true},
    {90, "write wave from doubles", true},
    {93, "header value 93", false},
    {94, "header value 94", false},
    {95, "header value 95", false},
    {105, "root data folder", true},
    {106, "current data folder", true},
    {107, "set current data folder", true},
    {108, "resolve data folder path", true},
    {124, "read command name, quoted", true},
    {150, "check object name", true},
    {151, "quote object name", true},
    {152, "clean up object name", true},
    {159, "find object", true},
    {173, "find character", false},
    {174, "find last character", false},
    {182, "at statement end", false},
};

constexpr MessageName kMessagesToModule[] = {
    {kMsgShutdown, "shutdown", false},
    {kMsgFunctionAddress, "function address", false},
};

struct CodeMeaning {
  int32_t code;
  const char* meaning;
};

// Codes of the module, the host and the camera driver that a function can hand back. Code 1
// is the module's for a handle that could not grow and for a picture it could not make, and
// the host's for memory it has not got.
constexpr CodeMeaning kCodeMeanings[] = {
    {1, "out of memory, or the picture could not be made"},
    {2, "expected the name of a wave"},
    {10, "too few points: this host wants at least 2"},
    {17, "not a numeric type code"},
    {kErrNameInUse, "the name is already in use"},
    {kErrBadName, "the host refuses this name"},
    {83, "expected a keyword or a name"},
    {95, "expected the name of a string variable"},
    {100, "no picture in the camera's buffer"},
    {kErrHostTooOld, "the host is too old for this request"},
    {185, "no handle (a null handle was given)"},
    {kErrBadType, "not a numeric type code of a wave"},
    {374, "a text type has no numeric elements"},
    {kErrBadDimensionIndex, "no such dimension"},
    {394, "data folder path too long"},
    {kErrNotNumeric, "the wave is not numeric"},
    {kErrIndexOutOfRange, "point index outside the wave"},
    {kErrStatementEndBeforeName, "the statement ended where a name was wanted"},
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
    {2006, "text cut to its limit"},
    {kErrUnknownMessage, "the host does not know this request"},
};

// The board never opened reads -1 in the module, which is also how the simulated driver
// answers an entry that needs an open board.
constexpr int32_t kBoardNotOpen = -1;

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
  for (const CodeMeaning& entry : kCodeMeanings)
    if (entry.code == code) return entry.meaning;
  return {};
}

std::string ErrorCodeText(int32_t code) {
  const std::string meaning = ErrorCodeMeaning(code);
  return meaning.empty() ? std::to_string(code) : std::to_string(code) + " (" + meaning + ")";
}

}  // namespace quorsim
