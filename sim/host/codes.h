// What the simulated host's numbers mean, for people reading quorsim's output: the names of
// the messages that pass between host and module, and the meanings of the error codes that the
// host, the module and the camera driver answer with.
#pragma once

#include <cstdint>
#include <string>

namespace quorsim {

// The name of a request the module sends to the host ("make wave"), or null for one the host
// does not know. `answersCode` says whether its answer is an error code (0 for success) rather
// than a value such as an address or a count.
const char* ModuleRequestName(int message, bool* answersCode = nullptr);
// The name of a message the host sends to the module ("function address"), or null.
const char* MessageToModuleName(int message);

// What an error code means, as a short phrase ("the host is too old for this request"); a
// negative code is "driver error N"; empty for 0 and for codes nobody here gives a meaning.
std::string ErrorCodeMeaning(int32_t code);
// "163 (the host is too old for this request)", or the bare number when it has no meaning.
std::string ErrorCodeText(int32_t code);

// What the double result of `function` means when it is a failure status: the module's
// functions whose result is the camera driver's status (QV_InitCam, QV_SetValues) yield a
// negative status on failure, explained as ErrorCodeMeaning explains it ("driver error -5").
// Empty for a success, for a result that is not a whole 32-bit number and for other functions.
std::string ResultStatusMeaning(const std::string& function, double result);

}  // namespace quorsim
