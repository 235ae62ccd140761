// The two picture functions: one picture from the board into a two-dimensional wave of the
// host, raw (unsigned 16-bit) or through a window onto unsigned 8 bits.
#pragma once

#include <cstdint>

// Longest wave name the functions hand to the host; longer names are cut.
inline constexpr int32_t kWaveNameMaxLength = 31;

extern "C" {
int32_t QV_TakePicture_12(void* parameterBlock);
int32_t QV_TakePicture_8(void* parameterBlock);
}
