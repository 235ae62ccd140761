// Moving numeric values between a wave and doubles: the whole wave into or out of a buffer of
// doubles, and one point, addressed by up to four dimension indices, into or out of a pair of
// doubles (real part, imaginary part). Waves of header layout 0 and 1 are read and written
// directly, converting with ConvertElements; waves of any other layout are handed to the host.
#pragma once

#include <cstdint>

#include "hostdata/waves.h"
#include "hostlink/error_codes.h"
#include "hostlink/host_messages.h"
#include "hostlink/record.h"

// The whole wave as doubles: one per point, two per point (real, imaginary) for complex waves,
// so the buffer holds twice the point count then. The wave is locked for the transfer and its
// handle state restored. 0, kErrNotNumeric (type code below 2), kErrUnknownNumberType, or
// kErrPointOutsideWave when the block is shorter than its header (no header field is read
// then) or the header describes more data than the block holds.
// A refusal leaves the buffer and the wave unchanged.
int32_t FetchWaveAsDoubles(Handle wavH, double* values);
// The reverse: every element from the buffer, stored by the rules of ConvertElements
// (floating point into integers by truncation, keeping the low-order bytes).
int32_t StoreWaveFromDoubles(Handle wavH, const double* values);

// One point: indices holds four indices, dimension 0 first (those of dimensions the wave does
// not have are not examined); value holds the real part, then the imaginary part, which only
// complex waves use. 0, kErrPointOutsideWave (a block shorter than its header, an index
// outside its dimension, or a point that lies outside the wave's block), kErrNotNumeric (type
// code 0 or 1) or kErrUnknownNumberType.
// A refusal leaves the value pair and the wave unchanged.
int32_t FetchWavePoint(Handle wavH, const int32_t* indices, double* value);
int32_t StoreWavePoint(Handle wavH, const int32_t* indices, const double* value);
