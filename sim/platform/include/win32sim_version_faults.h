// Test control of the Linux platform stand-in's VERSION calls: a damaged version resource, as
// a test makes one. Only the tests use this header; the module never does.
#pragma once

#include <cstdint>
#include <vector>

// While an answer is set, VerQueryValueA answers the root query "\" of any block it accepts
// with these bytes, unchecked, in a heap buffer of exactly their size, and their size as the
// length: fixed file information that is too short or not signed as such, as a damaged
// resource would give. Clearing goes back to the block's own answer.
void Win32SimSetFixedInfoAnswer(const std::vector<uint8_t>& bytes);
void Win32SimClearFixedInfoAnswer();
