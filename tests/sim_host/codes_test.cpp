// The meanings quorsim prints beside error codes and the names of the messages in the trace:
// every code the module can hand back has a meaning (checked against the module's own
// constants, so a new code without one shows here), driver statuses read as driver errors,
// and each message the host answers has a name.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "camera/driver.h"
#include "camera/grab.h"
#include "hostdata/handles.h"
#include "hostdata/wave_values.h"
#include "hostdata/waves.h"
#include "sim/host/codes.h"
#include "sim/host/quorsim.h"
#include "support/command_text.h"
#include "support/conversion.h"
#include "support/naming.h"

namespace {

using quorsim::ErrorCodeMeaning;
using quorsim::ErrorCodeText;
using quorsim::MessageToModuleName;
using quorsim::ModuleRequestName;

TEST(ErrorMeanings, EveryCodeOfTheModuleHasItsOwnMeaning) {
  const int32_t moduleCodes[] = {
      ::kErrHandleResizeFailed, ::kErrPictureFailed,    ::kErrNullHandle,      ::kErrTextCut,
      ::kErrHostTooOld,         ::kErrTooFewPoints,     ::kErrNoSuchDimension, ::kErrNotNumeric,
      ::kErrPointOutsideWave,   ::kErrUnknownNumberType, ::kErrFolderPathTooLong, ::kErrNumberType,
      ::kErrTextType,           ::kErrExpectedKeyword,  ::kErrNameAtStatementEnd, ::kErrExpectedWaveName,
      ::kErrExpectedQueryName,  ::kReadoutNoPicture,
  };
  for (int32_t code : moduleCodes) EXPECT_FALSE(ErrorCodeMeaning(code).empty()) << code;
  // The codes named for the script's readers, each with a phrase of its own.
  const int32_t listed[] = {163, 1, 185, 2006, 10, 190, 380, 412, 414, 394, 17, 374, 83, 458};
  std::set<std::string> phrases;
  for (int32_t code : listed) {
    const std::string meaning = ErrorCodeMeaning(code);
    EXPECT_FALSE(meaning.empty()) << code;
    EXPECT_TRUE(phrases.insert(meaning).second) << code << " shares its meaning: " << meaning;
  }
  EXPECT_EQ(ErrorCodeMeaning(163), "the host is too old for this request");
  EXPECT_EQ(ErrorCodeMeaning(2006), "text cut to its limit");
}

TEST(ErrorMeanings, TheHostsOwnCodesHaveMeaningsToo) {
  namespace q = quorsim;
  for (int32_t code : {q::kErrNoMemory, q::kErrBadName, q::kErrNameInUse, q::kErrUnknownMessage, q::kErrBadType,
                       q::kErrBadDimensionIndex, q::kErrNotNumeric, q::kErrIndexOutOfRange, q::kErrBadParameter,
                       q::kErrNotAWave, q::kErrNoDataFolder, q::kErrWaveInUse, q::kErrBadDimensions,
                       q::kErrNoSuchObject, q::kErrNoSuchFolder, q::kErrBadFolderPath, q::kErrNoFreeName,
                       q::kErrNoSuchVariable, q::kErrExpectedNumber, q::kErrExpectedName, q::kErrNameTooLong,
                       q::kErrReservedName, q::kErrStatementEndBeforeName})
    EXPECT_FALSE(ErrorCodeMeaning(code).empty()) << code;
}

TEST(ErrorMeanings, NegativeCodesAreTheDriversAndUnknownCodesStayBare) {
  EXPECT_EQ(ErrorCodeMeaning(-5), "driver error -5");
  EXPECT_EQ(ErrorCodeMeaning(INT32_MIN), "driver error -2147483648");
  EXPECT_EQ(ErrorCodeMeaning(-1), "driver error -1: the board is not open");
  EXPECT_EQ(ErrorCodeMeaning(0), "");
  EXPECT_EQ(ErrorCodeMeaning(12345), "");
  EXPECT_EQ(ErrorCodeText(12345), "12345");
  EXPECT_EQ(ErrorCodeText(-7), "-7 (driver error -7)");
  EXPECT_EQ(ErrorCodeText(100), "100 (no picture in the camera's buffer)");
}

TEST(MessageNames, RequestsTheHostAnswersHaveNamesAndSayWhetherTheyAnswerCodes) {
  bool answersCode = false;
  EXPECT_STREQ(ModuleRequestName(77, &answersCode), "make wave");
  EXPECT_TRUE(answersCode);
  EXPECT_STREQ(ModuleRequestName(37, &answersCode), "wave data address");
  EXPECT_FALSE(answersCode);  // an address
  EXPECT_STREQ(ModuleRequestName(1, &answersCode), "mark wave modified");
  EXPECT_TRUE(answersCode);
  answersCode = true;
  EXPECT_EQ(ModuleRequestName(200, &answersCode), nullptr);
  EXPECT_FALSE(answersCode);
  EXPECT_EQ(ModuleRequestName(0), nullptr);
  EXPECT_STREQ(MessageToModuleName(kMsgFunctionAddress), "function address");
  EXPECT_STREQ(MessageToModuleName(kMsgShutdown), "shutdown");
  EXPECT_EQ(MessageToModuleName(77), nullptr);
}

}  // namespace
