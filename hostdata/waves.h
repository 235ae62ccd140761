// Making waves and reading or changing them. Headers of the two layouts the module knows
// (indicator 0 and 1) are read directly at their byte offsets; everything else, and every
// change to the host's data structures, is one host message. Requests a host of an older
// version cannot serve are refused locally with kErrHostTooOld.
#pragma once

#include <cstdint>

#include "hostlink/error_codes.h"
#include "hostlink/host_messages.h"
#include "hostlink/record.h"

// Numeric type codes.
inline constexpr int32_t kWaveTypeText = 0;
inline constexpr int32_t kWaveTypeFloat32 = 2;
inline constexpr int32_t kWaveTypeFloat64 = 4;
inline constexpr int32_t kWaveTypeInt8 = 8;
inline constexpr int32_t kWaveTypeInt16 = 16;
inline constexpr int32_t kWaveTypeInt32 = 32;
inline constexpr int32_t kWaveTypeUInt8 = 72;
inline constexpr int32_t kWaveTypeUInt16 = 80;
inline constexpr int32_t kWaveTypeUInt32 = 96;
inline constexpr int32_t kWaveTypeComplexBit = 1;
inline constexpr int32_t kWaveTypeUnsignedBit = 64;
inline constexpr int32_t kWaveTypeIntegerBits = 8 | 16 | 32;

// A dimension-size list has room for this many entries (WaveDimensions clears them all); at
// most kMaxWaveDimensions of them are sizes, ended by a zero.
inline constexpr int kDimensionListEntries = 11;
inline constexpr int kMaxWaveDimensions = 4;

// Host versions from which the newer wave requests exist.
inline constexpr int32_t kHostVersionNumericTypes = 200;
inline constexpr int32_t kHostVersionMultiDimensional = 300;
inline constexpr int32_t kHostVersionRequests196 = 500;

// Byte offsets of the header fields that the module reads directly.
inline constexpr int kWaveLayoutIndicatorOffset = 26;
struct WaveHeaderLayout {
  int typeOffset;            // 16-bit numeric type code
  int pointCountOffset;      // 32-bit number of points
  int dimensionSizesOffset;  // 4 x 32-bit sizes, or -1: one dimension of the point count
  int dimensionPairOffsets[2];  // first and second double of dimension 0's value pair
  int dimensionPairStride;   // bytes from one dimension's pair to the next (0: only dimension 0)
  int dataPairFlagOffset;    // 16-bit flag: value pair of the data present
  int dataPairOffsets[2];    // first and second double of the data's value pair
  int headerValue93Offset;   // 32-bit
  int headerValue94Offset;   // 16-bit
  int headerValue95Offset;   // 16-bit, or -1: always 0
  int dataOffset;            // first byte of the data
};
inline constexpr WaveHeaderLayout kWaveLayout0 = {0, 42, -1, {48, 56}, 0, 68, {70, 78}, 102, 66, -1, 110};
inline constexpr WaveHeaderLayout kWaveLayout1 = {16, 12, 68, {84, 116}, 8, 168, {172, 180}, 8, 296, 308, 320};

// A block of layout 0 or 1 holds at least its whole header (up to the first data byte); a
// block of any other layout at least the layout indicator.
inline constexpr int32_t kWaveLayoutIndicatorEnd = kWaveLayoutIndicatorOffset + 2;

// The header layout indicator of a wave (16-bit at byte 26), or kWaveLayoutUnreadable for a
// null handle or a block too short to hold it.
inline constexpr int32_t kWaveLayoutUnreadable = INT16_MIN - 1;  // no 16-bit indicator has it
int32_t WaveLayout(Handle wavH);
// Checks the block before any header field is read: 0 with the directly readable layout in
// *layout (null when the host is to be asked), or kErrPointOutsideWave when the handle is null
// or its block is shorter than the header its indicator claims.
int32_t CheckWaveHeader(Handle wavH, const WaveHeaderLayout** layout);

// ---- routines of the picture functions
// Makes a wave of the given dimension sizes (list ended by 0) and type; *wavH is null unless
// made. Hosts before 300 get the one-dimensional request, under its restrictions; as they take
// the size from the list, a null list is refused there with kErrNullHandle, nothing sent (hosts
// from 300 on get the list as it is). A host that answers success without handing back a
// handle has made no wave the module can use: that is kErrNullHandle, as for MakeWave1D.
int32_t MakeWaveMD(Handle* wavH, const char* waveName, Handle dataFolderH, const int32_t* dimensionSizes,
                   int32_t typeCode, int32_t overwrite);
int32_t MakeWave1D(Handle* wavH, const char* waveName, int32_t pointCount, int32_t typeCode, int32_t overwrite);
// Address of the first data byte; valid only while the handle is locked. Null when the block
// is shorter than its header, or for other layouts when the host answers none or the exchange
// stopped.
char* WaveDataAddress(Handle wavH);
HostWord MarkWaveModified(Handle wavH);

// ---- header accessors and changes
// A block shorter than its header is not read: the accessors below then answer
// kErrPointOutsideWave where they answer a code, and 0 (WaveType: not numeric) where they
// answer a header value. Where the host is asked for a header value (WaveType,
// WavePointCount, the message-93, 94 and 95 readers) and the exchange stopped, the answer is
// kExchangeStoppedValue; where it answers a code, the transport's kExchangeStopped.
int32_t WaveType(Handle wavH);
int32_t WavePointCount(Handle wavH);
// Clears kDimensionListEntries entries of a given list, then fills the sizes.
int32_t WaveDimensions(Handle wavH, int32_t* numDimensions, int32_t* dimensionSizes);
// Hosts before 300 get the one-dimensional change; a null list is refused there with
// kErrNullHandle, nothing sent.
int32_t ChangeWaveMD(Handle wavH, int32_t typeCode, const int32_t* dimensionSizes);
int32_t ChangeWave1D(Handle wavH, int32_t pointCount, int32_t typeCode);
// Sends message 96 with extra when extra is not null, else the plain multi-dimensional change (79).
HostWord ChangeWaveMD96(Handle wavH, int32_t typeCode, const int32_t* dimensionSizes, HostWord extra);

// Fills the type codes, point counts and data addresses of count waves (null entries give
// zeros); with a state list, saves each handle's state and locks it. Returns the largest
// point count. RestoreWaveList gives the states back.
int32_t LockWaveList(const Handle* waves, int32_t count, int32_t* typeCodes, int32_t* pointCounts,
                     int32_t* savedStates, char** dataAddresses);
void RestoreWaveList(const Handle* waves, int32_t count, const int32_t* savedStates);

// Offset of the data in the block; a null selector asks for the plain data offset.
int32_t WaveDataOffset(Handle wavH, HostWord selector, int32_t* offset);
// The value pair of a dimension (0 to 3), or of the data for dimension -1.
int32_t WaveValuePair(Handle wavH, int32_t dimension, double* first, double* second);
// Units text of a dimension, or of the data for dimension -1. Layout-0 waves hold the units
// of dimension 0 and of the data only; other dimensions read as empty and are not written.
inline constexpr int kUnitsScratchSize = 50;
int32_t WaveUnits(Handle wavH, int32_t dimension, char* units);
int32_t SetWaveUnits(Handle wavH, int32_t dimension, const char* units);
// The text requests 84 and 85, which layout-0 waves do not have (84 then reads as empty).
int32_t ReadWaveText84(Handle wavH, HostWord second, HostWord third, char* text);
int32_t WriteWaveText85(Handle wavH, HostWord second, HostWord third, const char* text);
// Raw header values (requests 93, 94, 95), read without interpretation.
int32_t WaveHeaderValue93(Handle wavH);
int32_t WaveHeaderValue94(Handle wavH);
int32_t WaveHeaderValue95(Handle wavH);

// ---- requests passed to the host unchanged
// The wave of that name in the current data folder, or null (also when the exchange stopped).
Handle FetchWaveByName(const char* waveName);
// The wave of that name in a data folder (request 157; older hosts look in the current folder),
// or null.
Handle FetchWaveInFolder(Handle dataFolderH, const char* waveName);
// Marks the wave of that name modified; 0 without asking when there is no such wave, and
// kExchangeStopped when the lookup could not be sent.
HostWord MarkWaveModifiedByName(const char* waveName);
// Both units texts of a layout-0 wave: dimension 0's and the data's (null: not wanted / not changed).
HostWord ReadWaveUnitsPair(Handle wavH, char* dimensionUnits, char* dataUnits);
HostWord WriteWaveUnitsPair(Handle wavH, const char* dimensionUnits, const char* dataUnits);
HostWord SendWaveRequest36(HostWord a1, HostWord a2);
HostWord SendWaveRequest44(HostWord a1);
HostWord SendWaveRequest47(HostWord a1, HostWord a2, HostWord a3, HostWord a4);
HostWord SendWaveRequest50(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5);
HostWord SendWaveRequest51(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5);
HostWord SendWaveRequest54(HostWord a1);
HostWord SendWaveRequest55(HostWord a1, HostWord a2);
HostWord SendWaveRequest81(HostWord a1, HostWord a2, HostWord a3, HostWord a4);
HostWord SendWaveRequest91(HostWord a1, HostWord a2, HostWord a3);
HostWord SendWaveRequest92(HostWord a1, HostWord a2, HostWord a3);
// Requests 196 and 197 exist from host version 500; older hosts get 0 without a request.
HostWord SendWaveRequest196(HostWord a1);
HostWord SendWaveRequest197(HostWord a1, HostWord a2);
HostWord SendWaveRequest205(HostWord a1, HostWord a2, HostWord a3);
HostWord SendWaveRequest206(HostWord a1, HostWord a2, HostWord a3);
HostWord SendWaveRequest207(HostWord a1, HostWord a2);
HostWord SendWaveRequest208(HostWord a1, HostWord a2);
