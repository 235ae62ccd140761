// The script's camera command: what the simulated camera driver does next (an entry's status,
// a poll that stays busy, a size that changes, noise and its seed, the sensor's exposure
// scale, the timing values) and what it holds now (settings and armed faults).
#pragma once

#include <string>
#include <vector>

namespace quorsim {

// Runs `camera WORDS...` (words after "camera"). On success the lines to show are in *shown
// (at least one) and the result is true; a command that cannot run gives false and *error.
bool RunCameraCommand(const std::vector<std::string>& words, std::vector<std::string>* shown, std::string* error);

// The usage lines of the command, for the program's help and the error of a wrong command.
extern const char* const kCameraUsage;

}  // namespace quorsim
