// Numeric conversion of runs of wave elements: between the host's numeric type codes and the
// (bytes per element, data format) pairs, from any element kind into any other in separate
// buffers or in place, byte-order reversal, and the in-place offset / scale / clip / round
// transforms. Pure computation on the caller's memory; nothing here talks to the host.
//
// Every store of a floating-point value into an integer element truncates it toward zero to
// the whole integer and keeps that integer's low-order bytes, as for any integer narrowed:
// 3000000000.0 into 2 signed bytes gives 0x5E00, -2^31 - 1 into 4 bytes 0x7FFFFFFF. Where the
// whole integer lies outside the 64-bit integers (-2^63 to 2^63 - 1), and for NaN and the
// infinities, the element takes the low-order bytes of INT64_MIN, which are 0 for every
// integer kind. Every instruction set, run length and alignment, and 32- and 64-bit builds
// alike, give these bits.
//
// In the transforms, scaling where the element, the offset or the scale is NaN gives the first
// of the three that is NaN, in that order, made quiet (and, for type 2, narrowed to 4 bytes as
// any double is), whatever the clipping and rounding after it: an element that is NaN keeps
// its own NaN. Every instruction set gives these bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostlink/error_codes.h"


// Data format codes: with the bytes per element they name an element kind. Valid kinds are
// signed and unsigned integers of 1, 2 or 4 bytes and floating point of 4 or 8 bytes.
inline constexpr int32_t kDataFormatSignedInteger = 1;
inline constexpr int32_t kDataFormatUnsignedInteger = 2;
inline constexpr int32_t kDataFormatFloatingPoint = 3;

// Results of ConvertElements.
inline constexpr int32_t kConvertedElements = 0;
inline constexpr int32_t kCopiedSameKind = -1;
inline constexpr int32_t kInvalidElementKind = 1;

// Bytes per element, data format and complex flag of a numeric type code. The complex flag
// (bit 0 of the code) is always stored; the other two only when the result is 0. Returns 0,
// kErrNumberType, or kErrTextType for code 0.
int32_t DecodeNumberType(int32_t numberType, int32_t* NumBytesPerPoint, int32_t* DataFormat, int32_t* IsComplex);

// The (real) numeric type code of an element kind; stored only when the result is 0.
// Returns 0 or kErrNumberType.
int32_t EncodeNumberType(int32_t numBytesPerPoint, int32_t dataFormat, int32_t* numberType);

// Converts count elements of the source kind into the destination kind. Integers widen by sign
// extension from signed sources and zero extension from unsigned ones, narrow (and change
// signedness) by keeping the low-order bytes; integers become the nearest float; 8-byte floats
// round to the nearest 4-byte float; floating point becomes integer by the truncating rule at
// the top of this file.
// Precondition: source and destination are the same address (in place, whichever way the
// width changes) or the two runs do not overlap. Neither needs any alignment.
// Returns kConvertedElements (0), kCopiedSameKind (-1: the same kind on both sides, copied
// unless the addresses are equal) or kInvalidElementKind (1: nothing touched). A count of 0
// or less converts nothing.
int32_t ConvertElements(const void* source, void* destination, int32_t count, int32_t sourceBytes,
                        int32_t sourceFormat, int32_t destinationBytes, int32_t destinationFormat);
// The same for a count that may exceed 32 bits (the value transfers of whole complex waves).
int32_t ConvertElementRun(const void* source, void* destination, size_t count, int32_t sourceBytes,
                          int32_t sourceFormat, int32_t destinationBytes, int32_t destinationFormat);

// ConvertElements between two numeric type codes; 1 when either code does not decode or is
// complex.
int32_t ConvertNumberTypes(const void* source, void* destination, int32_t count, int32_t sourceType,
                           int32_t destinationType);

// Reverses the byte order of each of count elements in place.
void ReverseElementBytes(void* data, int32_t bytesPerElement, int32_t count);

// Replaces each element x by (x + *offset) * *scale, computed in double precision and stored
// back in the element's own kind. Nothing when *offset is 0 and *scale is 1, and nothing for
// codes other than the eight real numeric types.
void OffsetAndScale(int32_t numberType, void* data, const double* offset, const double* scale, int32_t count);

// For each element: x = (x + offset) * scale when offset is not 0 or scale not 1; then clipped
// to [low, high] (first up to low, then down to high) unless low is -inf and high +inf; with
// low and high both 0 the limits are the element kind's range (no clipping for floating
// point); then RoundHalfAway when round is not 0; stored back in the element's own kind.
// Nothing for codes other than the eight real numeric types.
void ScaleClipRound(int32_t numberType, void* data, int32_t count, double offset, double scale, double low,
                    double high, int32_t round);

// The instruction sets the kernels choose from, each with the ones before it: SSE2 (every
// build), AVX2, and AVX-512 (F, BW, DQ, VL and the byte permutes of VBMI). Every choice gives
// the same bits.
inline constexpr int32_t kConversionSse2 = 0;
inline constexpr int32_t kConversionAvx2 = 1;
inline constexpr int32_t kConversionAvx512 = 2;

// The widest of them that the processor has, within the limit (none until one is set).
int32_t ConversionInstructionSet();
// Uses none wider than the given one from now on: the tests run every variant on one machine.
void LimitConversionInstructionSet(int32_t widest);

// Rounds to the nearest integer, halves away from zero: 2.5 gives 3, -2.5 gives -3. Infinities
// and NaN come back unchanged; -0.0 gives +0.0.
double RoundHalfAway(double x);
