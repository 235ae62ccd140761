// The error codes the module gives of its own, each named and explained once. Every other
// nonzero code a routine returns is the host's, passed on unchanged, and the camera functions
// hand back the driver's statuses as they are. docs/error-codes.md is this table for users.
#pragma once

#include <cstdint>
#include <string_view>

// 1 comes from three places, each naming it for its cause.
inline constexpr int32_t kErrHandleResizeFailed = 1;  // a handle could not be given a text's size
inline constexpr int32_t kErrPictureFailed = 1;       // no buffer for a picture, or a size that cannot be
inline constexpr int32_t kExchangeStopped = 1;        // the record cannot carry a request: the host is not asked
inline constexpr int32_t kErrExpectedWaveName = 2;
inline constexpr int32_t kErrTooFewPoints = 10;
inline constexpr int32_t kErrNumberType = 17;         // not a numeric type code, or not a valid element kind
inline constexpr int32_t kErrExpectedKeyword = 83;    // not in the list, or no name read
inline constexpr int32_t kErrExpectedQueryName = 95;
inline constexpr int32_t kErrHostTooOld = 163;
inline constexpr int32_t kErrNullHandle = 185;
inline constexpr int32_t kErrUnknownNumberType = 190;  // a type code outside the numeric types
inline constexpr int32_t kErrTextType = 374;          // type code 0: text, which has no element kind
inline constexpr int32_t kErrNoSuchDimension = 380;
inline constexpr int32_t kErrFolderPathTooLong = 394;
inline constexpr int32_t kErrNotNumeric = 412;
// An index outside its dimension, data outside the block, or a wave block too short for the
// header its layout indicator claims.
inline constexpr int32_t kErrPointOutsideWave = 414;
inline constexpr int32_t kErrNameAtStatementEnd = 458;  // ';' where a name was wanted (older hosts)
inline constexpr int32_t kErrTextCut = 2006;
// -1 is also what the picture functions hand back before the board was ever opened: the value
// camera_status starts with.
inline constexpr int32_t kErrExpectedVariableName = -1;

#define ERR_NUMBER_TYPE kErrNumberType
#define ERR_TEXT_TYPE kErrTextType

struct ModuleErrorCode {
  int32_t code;
  std::string_view names;    // the constants above that hold it
  std::string_view meaning;  // a short phrase, printed beside the code by the camera bench
};

inline constexpr ModuleErrorCode kModuleErrorCodes[] = {
    {-1, "kErrExpectedVariableName", "the board is not open, or no variable name was read"},
    {1, "kErrHandleResizeFailed kErrPictureFailed kExchangeStopped",
     "out of memory, or the picture could not be made"},
    {2, "kErrExpectedWaveName", "expected the name of a wave"},
    {10, "kErrTooFewPoints", "too few points: this host wants at least 2"},
    {17, "kErrNumberType", "not a numeric type code"},
    {83, "kErrExpectedKeyword", "expected a keyword or a name"},
    {95, "kErrExpectedQueryName", "expected a name the host's query accepts"},
    {163, "kErrHostTooOld", "the host is too old for this request"},
    {185, "kErrNullHandle", "no handle (a null handle was given)"},
    {190, "kErrUnknownNumberType", "not a numeric type code of a wave"},
    {374, "kErrTextType", "a text type has no numeric elements"},
    {380, "kErrNoSuchDimension", "no such dimension"},
    {394, "kErrFolderPathTooLong", "data folder path too long"},
    {412, "kErrNotNumeric", "the wave is not numeric"},
    {414, "kErrPointOutsideWave", "point index outside the wave"},
    {458, "kErrNameAtStatementEnd", "the statement ended where a name was wanted"},
    {2006, "kErrTextCut", "text cut to its limit"},
};

// The meaning of one of the module's codes, or empty for a code that is not the module's.
constexpr std::string_view ModuleErrorMeaning(int32_t code) {
  for (const ModuleErrorCode& entry : kModuleErrorCodes)
    if (entry.code == code) return entry.meaning;
  return {};
}
