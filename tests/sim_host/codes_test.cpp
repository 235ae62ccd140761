// The meanings quorsim prints beside error codes and the names of the messages in the trace:
// every code the module can hand back has a meaning (its table, the constants in the module's
// sources and the user's table agree), driver statuses read as driver errors, each message the
// host answers has a name, and the shared message names carry the host's numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <string_view>

#include "camera/driver.h"
#include "hostlink/error_codes.h"
#include "hostlink/host_messages.h"
#include "hostlink/record.h"
#include "sim/host/codes.h"
#include "sim/host/quorsim.h"

namespace {

using quorsim::ErrorCodeMeaning;
using quorsim::ErrorCodeText;
using quorsim::MessageToModuleName;
using quorsim::ModuleRequestName;
using quorsim::ResultStatusMeaning;

TEST(ErrorMeanings, EveryCodeOfTheModuleHasItsOwnMeaning) {
  std::set<int32_t> codes;
  std::set<std::string_view> phrases;
  for (const ModuleErrorCode& entry : kModuleErrorCodes) {
    EXPECT_TRUE(codes.insert(entry.code).second) << entry.code << " has two rows";
    EXPECT_FALSE(entry.meaning.empty()) << entry.code;
    EXPECT_TRUE(phrases.insert(entry.meaning).second) << entry.code << " shares its meaning: " << entry.meaning;
    if (entry.code > 0) {
      EXPECT_EQ(ErrorCodeMeaning(entry.code), entry.meaning) << "the bench explains it in the module's words";
    }
  }
  // The codes the module gives of its own, by number.
  for (int32_t code : {163, 1, 185, 2006, 10, 190, 380, 412, 414, 394, 17, 374, 83, 458, 2, 95, -1})
    EXPECT_EQ(codes.count(code), 1u) << code;
  EXPECT_FALSE(ErrorCodeMeaning(::kReadoutNoPicture).empty());
  EXPECT_EQ(ErrorCodeMeaning(163), "the host is too old for this request");
  EXPECT_EQ(ErrorCodeMeaning(2006), "text cut to its limit");
}

// A code constant defined outside the table's header, or one the table has no row for, would
// reach the host without a meaning for the bench or the user.
TEST(ErrorMeanings, EveryCodeConstantOfTheModuleStandsInTheTable) {
  const std::regex definition(R"(\b(kErr\w+|kExchangeStopped)\s*=\s*(-?\d+)\b)");
  size_t constants = 0;
  for (const char* folder : {"shell", "hostlink", "camera", "hostdata", "support"}) {
    for (const auto& file : std::filesystem::recursive_directory_iterator(std::string(OMBREL_SOURCE_DIR "/") + folder)) {
      std::ifstream in(file.path());
      for (std::string text; std::getline(in, text);) {
        std::smatch m;
        const bool mayDefine = text.find("kErr") != std::string::npos || text.find("kExchangeStopped") != std::string::npos;
        if (!mayDefine || !std::regex_search(text, m, definition)) continue;
        const std::string name = m[1];
        const int32_t code = std::stoi(m[2]);
        ++constants;
        EXPECT_EQ(file.path().filename(), "error_codes.h") << name << " is defined in " << file.path();
        const bool listed = std::any_of(std::begin(kModuleErrorCodes), std::end(kModuleErrorCodes), [&](const ModuleErrorCode& e) {
          return e.code == code && std::regex_search(std::string(e.names), std::regex("\\b" + name + "\\b"));
        });
        EXPECT_TRUE(listed) << name << " = " << code << " has no row";
      }
    }
  }
  EXPECT_GE(constants, std::size(kModuleErrorCodes));
}

// docs/error-codes.md is the table for users: the same codes with the same meanings.
TEST(ErrorMeanings, TheUsersTableHasTheModulesCodesAndMeanings) {
  std::ifstream in(OMBREL_SOURCE_DIR "/docs/error-codes.md");
  ASSERT_TRUE(in.is_open());
  auto trimmed = [](std::string_view cell) {
    const size_t first = cell.find_first_not_of(' '), last = cell.find_last_not_of(' ');
    return first == std::string_view::npos ? std::string() : std::string(cell.substr(first, last - first + 1));
  };
  std::map<int32_t, std::string> documented;
  bool inTable = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("## ")) inTable = line == "## The module's codes";
    if (!inTable || !line.starts_with("|")) continue;
    const size_t second = line.find('|', 1), third = line.find('|', second + 1);
    if (third == std::string::npos) continue;
    const std::string codeCell = trimmed(std::string_view(line).substr(1, second - 1));
    int32_t code = 0;
    const auto [end, error] = std::from_chars(codeCell.data(), codeCell.data() + codeCell.size(), code);
    if (error != std::errc() || end != codeCell.data() + codeCell.size()) continue;  // the heading rows
    EXPECT_TRUE(documented.emplace(code, trimmed(std::string_view(line).substr(second + 1, third - second - 1))).second)
        << code << " is listed twice";
  }
  std::map<int32_t, std::string> table;
  for (const ModuleErrorCode& entry : kModuleErrorCodes) table.emplace(entry.code, entry.meaning);
  EXPECT_EQ(documented, table);
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
  // A double result that is the driver's status; a width is none, and no double past int32 is.
  EXPECT_EQ(ResultStatusMeaning("qv_initcam", -1), "driver error -1: the board is not open");
  EXPECT_EQ(ResultStatusMeaning("QV_GetWidth", -5), "");
  EXPECT_EQ(ResultStatusMeaning("QV_SetValues", -1e300) + ResultStatusMeaning("QV_SetValues", -2.5), "");
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

// The request numbers are the host's: a shared name that drifted from its number would send
// the module's request and the stand-in host's answer to the same wrong place, unseen.
TEST(MessageNames, TheSharedNamesCarryTheHostsNumbers) {
  constexpr std::pair<int32_t, int32_t> kNumbers[] = {
      {kMsgMarkWaveModified, 1}, {kMsgReadNumericVariable, 3}, {kMsgSetNumericVariable, 5},
      {kMsgSetStringVariable, 6}, {kMsgFetchWave, 7}, {kMsgPostNotice, 8}, {kMsgTextRequest9, 9},
      {kMsgPeekCommandChar, 10}, {kMsgSkipCommandChar, 11}, {kMsgReadCommandText, 12}, {kMsgReadCommandNumber, 13},
      {kMsgReadCommandName, 14}, {kMsgHostSignal, 33}, {kMsgWaveType, 34}, {kMsgWavePointCount, 35},
      {kMsgWaveRequest36, 36}, {kMsgWaveDataAddress, 37}, {kMsgMakeWave1D, 42}, {kMsgChangeWave1D, 43},
      {kMsgWaveRequest44, 44}, {kMsgCreateVariable, 45}, {kMsgWaveRequest47, 47}, {kMsgHistoryText, 49},
      {kMsgWaveRequest50, 50}, {kMsgWaveRequest51, 51}, {kMsgReadWaveUnitsPair, 52}, {kMsgWriteWaveUnitsPair, 53},
      {kMsgWaveRequest54, 54}, {kMsgWaveRequest55, 55}, {kMsgWaveNameList, 56}, {kMsgVariableNameList, 57},
      {kMsgStringNameList, 58}, {kMsgNameQuery59, 59}, {kMsgBlankRequest71, 71}, {kMsgFreeName, 76},
      {kMsgMakeWaveMD, 77}, {kMsgWaveDimensions, 78}, {kMsgChangeWaveMD, 79}, {kMsgWaveValuePair, 80},
      {kMsgWaveRequest81, 81}, {kMsgWaveUnits, 82}, {kMsgSetWaveUnits, 83}, {kMsgReadWaveText84, 84},
      {kMsgWriteWaveText85, 85}, {kMsgWaveDataOffset, 86}, {kMsgFetchWavePoint, 87}, {kMsgStoreWavePoint, 88},
      {kMsgFetchWaveAsDoubles, 89}, {kMsgStoreWaveFromDoubles, 90}, {kMsgWaveRequest91, 91},
      {kMsgWaveRequest92, 92}, {kMsgWaveHeaderValue93, 93}, {kMsgWaveHeaderValue94, 94},
      {kMsgWaveHeaderValue95, 95}, {kMsgChangeWaveMD96, 96}, {kMsgFolderRequest100, 100},
      {kMsgFolderRequest101, 101}, {kMsgFolderRequest102, 102}, {kMsgFolderRequest103, 103},
      {kMsgFolderRequest104, 104}, {kMsgRootDataFolder, 105}, {kMsgCurrentDataFolder, 106},
      {kMsgSetCurrentDataFolder, 107}, {kMsgResolveFolderPath, 108}, {kMsgFolderRequest109, 109},
      {kMsgFolderRequest110, 110}, {kMsgFolderRequest111, 111}, {kMsgFolderRequest112, 112},
      {kMsgFolderRequest113, 113}, {kMsgFolderRequest114, 114}, {kMsgFolderRequest115, 115},
      {kMsgFolderRequest116, 116}, {kMsgFolderRequest117, 117}, {kMsgFolderRequest118, 118},
      {kMsgFolderRequest119, 119}, {kMsgFolderRequest120, 120}, {kMsgFolderRequest121, 121},
      {kMsgFolderRequest122, 122}, {kMsgFolderRequest123, 123}, {kMsgReadCommandName124, 124},
      {kMsgFolderRequest125, 125}, {kMsgFolderRequest126, 126}, {kMsgFolderRequest127, 127},
      {kMsgFolderRequest128, 128}, {kMsgNameConflict, 150}, {kMsgFormatNameForCommand, 151},
      {kMsgLegalizeName, 152}, {kMsgFetchWaveInFolder, 157}, {kMsgLookUpFolderObject, 159},
      {kMsgFolderRequest160, 160}, {kMsgFindCharacter, 173}, {kMsgFindLastCharacter, 174},
      {kMsgAtStatementEnd, 182}, {kMsgWaveRequest196, 196}, {kMsgWaveRequest197, 197}, {kMsgWaveRequest205, 205},
      {kMsgWaveRequest206, 206}, {kMsgWaveRequest207, 207}, {kMsgWaveRequest208, 208},
  };
  for (const auto& [name, number] : kNumbers) EXPECT_EQ(name, number);
  EXPECT_EQ(kMsgShutdown, 12);
  EXPECT_EQ(kMsgFunctionAddress, 15);
}

}  // namespace
