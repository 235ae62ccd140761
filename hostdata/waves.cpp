// Wave creation, header access and the wave requests passed to the host. Header fields are
// read with memcpy at their byte offsets: the block is little-endian and its fields are not
// aligned to their size. Before any field is read the block's size is compared with the header
// its layout indicator claims, so a short block is refused instead of read past.
#include "hostdata/waves.h"

#include <algorithm>
#include <cstring>

#include "hostdata/handles.h"
#include "hostlink/host_exports.h"
#include "hostlink/host_version.h"
#include "hostlink/transport.h"

namespace {

template <typename T>
T ReadHeaderField(Handle wavH, int offset) {
  T value;
  std::memcpy(&value, *wavH + offset, sizeof value);
  return value;
}

// Bytes in the wave's block, 0 for a null handle. GetHandleSize is a host call after which an
// unlocked block may have moved, so the block's address is taken only after this.
int32_t BlockBytes(Handle wavH) {
  if (wavH == nullptr) return 0;
  return GetHandleSize(wavH);
}

int32_t HostCode(HostWord result) { return static_cast<int32_t>(result); }

// A header value of a layout the host reads for the module. An exchange that stopped has no
// answer: kExchangeStoppedValue then, never the transport's code taken for a value.
int32_t AskHeaderValue(int32_t message, Handle wavH) {
  bool stopped = false;
  const int32_t answer = HostCode(CallHostChecked1(message, &stopped, AsItem(wavH)));
  return stopped ? kExchangeStoppedValue : answer;
}

// A host that reports a wave made but leaves the out handle null has made nothing the caller
// could lock or fill.
int32_t MadeWaveCode(int32_t answer, Handle wavH) {
  return answer == 0 && wavH == nullptr ? kErrNullHandle : answer;
}

// The restrictions of the one-dimensional requests on hosts before 300: no text waves, and
// before 200 only floating-point elements.
int32_t OneDimensionalTypeGate(int32_t typeCode) {
  if (hostVersion >= kHostVersionMultiDimensional) return 0;
  const int32_t realType = typeCode & ~kWaveTypeComplexBit;
  if (realType == kWaveTypeText) return kErrHostTooOld;
  if (hostVersion < kHostVersionNumericTypes && realType != kWaveTypeFloat32 && realType != kWaveTypeFloat64)
    return kErrHostTooOld;
  return 0;
}

// Whether a multi-dimensional request can become a one-dimensional one on a host before 300
// as far as the type is concerned: text and unsigned types cannot, nor integers before 200.
bool OneDimensionalFallbackRefusesType(int32_t typeCode) {
  if (typeCode == kWaveTypeText || (typeCode & kWaveTypeUnsignedBit) != 0) return true;
  return hostVersion < kHostVersionNumericTypes && (typeCode & kWaveTypeIntegerBits) != 0;
}

// A list with a second dimension (entry 0 nonzero, so the list goes on to entry 1).
bool HasSecondDimension(const int32_t* dimensionSizes) {
  return dimensionSizes[0] != 0 && dimensionSizes[1] != 0;
}

}  // namespace

int32_t WaveLayout(Handle wavH) {
  if (BlockBytes(wavH) < kWaveLayoutIndicatorEnd) return kWaveLayoutUnreadable;
  return ReadHeaderField<int16_t>(wavH, kWaveLayoutIndicatorOffset);
}

int32_t CheckWaveHeader(Handle wavH, const WaveHeaderLayout** layout) {
  *layout = nullptr;
  const int32_t bytes = BlockBytes(wavH);
  if (bytes < kWaveLayoutIndicatorEnd) return kErrPointOutsideWave;
  const WaveHeaderLayout* known = nullptr;
  switch (ReadHeaderField<int16_t>(wavH, kWaveLayoutIndicatorOffset)) {
    case 0: known = &kWaveLayout0; break;
    case 1: known = &kWaveLayout1; break;
    default: return 0;  // the host's own layout: nothing more is read here
  }
  if (bytes < known->dataOffset) return kErrPointOutsideWave;
  *layout = known;
  return 0;
}

// ---------------------------------------------------------------- making waves

int32_t MakeWaveMD(Handle* wavH, const char* waveName, Handle dataFolderH, const int32_t* dimensionSizes,
                   int32_t typeCode, int32_t overwrite) {
  *wavH = nullptr;
  if (hostVersion >= kHostVersionMultiDimensional) {
    // The answer first: *wavH is what the host wrote during the exchange.
    const int32_t answer = HostCode(CallHost6(kMsgMakeWaveMD, AsItem(wavH), AsItem(waveName), AsItem(dataFolderH),
                                              AsItem(dimensionSizes), typeCode, overwrite));
    return MadeWaveCode(answer, *wavH);
  }
  if (dimensionSizes == nullptr) return kErrNullHandle;  // no sizes to take the one dimension from
  if (HasSecondDimension(dimensionSizes) || OneDimensionalFallbackRefusesType(typeCode)) return kErrHostTooOld;
  return MakeWave1D(wavH, waveName, dimensionSizes[0], typeCode, overwrite);
}

int32_t MakeWave1D(Handle* wavH, const char* waveName, int32_t pointCount, int32_t typeCode, int32_t overwrite) {
  *wavH = nullptr;
  if (int32_t refused = OneDimensionalTypeGate(typeCode); refused != 0) return refused;
  // The answer first: *wavH is what the host wrote during the exchange.
  const int32_t answer =
      HostCode(CallHost5(kMsgMakeWave1D, AsItem(wavH), AsItem(waveName), pointCount, typeCode, overwrite));
  return MadeWaveCode(answer, *wavH);
}

char* WaveDataAddress(Handle wavH) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return nullptr;
  if (layout != nullptr) return *wavH + layout->dataOffset;
  return reinterpret_cast<char*>(CallHostForAddress1(kMsgWaveDataAddress, AsItem(wavH)));
}

HostWord MarkWaveModified(Handle wavH) { return CallHost1(kMsgMarkWaveModified, AsItem(wavH)); }

// ---------------------------------------------------------------- header accessors and changes

int32_t WaveType(Handle wavH) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return kWaveTypeText;
  if (layout != nullptr) return ReadHeaderField<int16_t>(wavH, layout->typeOffset);
  return AskHeaderValue(kMsgWaveType, wavH);
}

int32_t WavePointCount(Handle wavH) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return 0;
  if (layout != nullptr) return ReadHeaderField<int32_t>(wavH, layout->pointCountOffset);
  return AskHeaderValue(kMsgWavePointCount, wavH);
}

int32_t WaveDimensions(Handle wavH, int32_t* numDimensions, int32_t* dimensionSizes) {
  if (dimensionSizes != nullptr) ZeroBytes(dimensionSizes, static_cast<int32_t>(kDimensionListEntries * sizeof(int32_t)));
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) {
    *numDimensions = 0;
    return kErrPointOutsideWave;
  }
  if (layout == &kWaveLayout0) {
    *numDimensions = 1;
    if (dimensionSizes != nullptr) dimensionSizes[0] = WavePointCount(wavH);
    return 0;
  }
  if (layout == &kWaveLayout1) {
    int32_t count = 0;
    while (count < kMaxWaveDimensions) {
      const int32_t size = ReadHeaderField<int32_t>(wavH, kWaveLayout1.dimensionSizesOffset + 4 * count);
      if (size == 0) break;
      if (dimensionSizes != nullptr) dimensionSizes[count] = size;
      ++count;
    }
    *numDimensions = count;
    return 0;
  }
  return HostCode(CallHost3(kMsgWaveDimensions, AsItem(wavH), AsItem(numDimensions), AsItem(dimensionSizes)));
}

int32_t ChangeWaveMD(Handle wavH, int32_t typeCode, const int32_t* dimensionSizes) {
  if (hostVersion >= kHostVersionMultiDimensional)
    return HostCode(CallHost3(kMsgChangeWaveMD, AsItem(wavH), typeCode, AsItem(dimensionSizes)));
  if (dimensionSizes == nullptr) return kErrNullHandle;
  if (HasSecondDimension(dimensionSizes)) return kErrHostTooOld;
  if (dimensionSizes[0] < 2) return kErrTooFewPoints;
  if (OneDimensionalFallbackRefusesType(typeCode)) return kErrHostTooOld;
  return ChangeWave1D(wavH, dimensionSizes[0], typeCode);
}

int32_t ChangeWave1D(Handle wavH, int32_t pointCount, int32_t typeCode) {
  if (int32_t refused = OneDimensionalTypeGate(typeCode); refused != 0) return refused;
  return HostCode(CallHost3(kMsgChangeWave1D, AsItem(wavH), pointCount, typeCode));
}

HostWord ChangeWaveMD96(Handle wavH, int32_t typeCode, const int32_t* dimensionSizes, HostWord extra) {
  if (extra != 0) return CallHost4(kMsgChangeWaveMD96, AsItem(wavH), typeCode, AsItem(dimensionSizes), extra);
  return CallHost3(kMsgChangeWaveMD, AsItem(wavH), typeCode, AsItem(dimensionSizes));
}

int32_t LockWaveList(const Handle* waves, int32_t count, int32_t* typeCodes, int32_t* pointCounts,
                     int32_t* savedStates, char** dataAddresses) {
  for (int32_t i = 0; i < count; ++i) {
    typeCodes[i] = 0;
    pointCounts[i] = 0;
    dataAddresses[i] = nullptr;
    if (savedStates != nullptr) savedStates[i] = 0;
  }
  int32_t largest = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (waves[i] == nullptr) continue;
    typeCodes[i] = WaveType(waves[i]);
    pointCounts[i] = WavePointCount(waves[i]);
    largest = std::max(largest, pointCounts[i]);
    if (savedStates != nullptr) savedStates[i] = SaveAndLockHandle(waves[i]);
    dataAddresses[i] = WaveDataAddress(waves[i]);
  }
  return largest;
}

void RestoreWaveList(const Handle* waves, int32_t count, const int32_t* savedStates) {
  for (int32_t i = 0; i < count; ++i)
    if (waves[i] != nullptr) HSetState(waves[i], savedStates[i]);
}

int32_t WaveDataOffset(Handle wavH, HostWord selector, int32_t* offset) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return kErrPointOutsideWave;
  if (selector == 0) {
    if (layout == &kWaveLayout0) {
      *offset = kWaveLayout0.dataOffset;
      return 0;
    }
    if (layout == &kWaveLayout1) {
      if (WaveType(wavH) == kWaveTypeText) return kErrNotNumeric;
      *offset = kWaveLayout1.dataOffset;
      return 0;
    }
  } else if (layout == &kWaveLayout0) {
    return kErrHostTooOld;
  }
  return HostCode(CallHost3(kMsgWaveDataOffset, AsItem(wavH), selector, AsItem(offset)));
}

int32_t WaveValuePair(Handle wavH, int32_t dimension, double* first, double* second) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return kErrPointOutsideWave;
  if (layout == nullptr) {
    // The host answers into one pair of doubles, handed over by address.
    double pair[2] = {0, 0};
    const int32_t code = HostCode(CallHost3(kMsgWaveValuePair, AsItem(wavH), dimension, AsItem(pair)));
    if (code == 0) {
      *first = pair[0];
      *second = pair[1];
    }
    return code;
  }
  if (dimension == -1) {
    if (ReadHeaderField<int16_t>(wavH, layout->dataPairFlagOffset) == 0) {
      *first = 0;
      *second = 0;
    } else {
      *first = ReadHeaderField<double>(wavH, layout->dataPairOffsets[0]);
      *second = ReadHeaderField<double>(wavH, layout->dataPairOffsets[1]);
    }
    return 0;
  }
  const int32_t lastDimension = layout->dimensionPairStride == 0 ? 0 : kMaxWaveDimensions - 1;
  if (dimension < 0 || dimension > lastDimension) return kErrNoSuchDimension;
  const int shift = layout->dimensionPairStride * dimension;
  *first = ReadHeaderField<double>(wavH, layout->dimensionPairOffsets[0] + shift);
  *second = ReadHeaderField<double>(wavH, layout->dimensionPairOffsets[1] + shift);
  return 0;
}

int32_t WaveUnits(Handle wavH, int32_t dimension, char* units) {
  units[0] = '\0';
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return kErrPointOutsideWave;
  if (layout != &kWaveLayout0) return HostCode(CallHost3(kMsgWaveUnits, AsItem(wavH), dimension, AsItem(units)));
  char scratch[kUnitsScratchSize] = {};
  if (dimension == -1) return HostCode(ReadWaveUnitsPair(wavH, scratch, units));
  if (dimension == 0) return HostCode(ReadWaveUnitsPair(wavH, units, scratch));
  return 0;
}

int32_t SetWaveUnits(Handle wavH, int32_t dimension, const char* units) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return kErrPointOutsideWave;
  if (layout != &kWaveLayout0) return HostCode(CallHost3(kMsgSetWaveUnits, AsItem(wavH), dimension, AsItem(units)));
  if (dimension == -1) return HostCode(WriteWaveUnitsPair(wavH, nullptr, units));
  if (dimension == 0) return HostCode(WriteWaveUnitsPair(wavH, units, nullptr));
  return 0;
}

int32_t ReadWaveText84(Handle wavH, HostWord second, HostWord third, char* text) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) {
    text[0] = '\0';
    return kErrPointOutsideWave;
  }
  if (layout == &kWaveLayout0) {
    text[0] = '\0';
    return 0;
  }
  return HostCode(CallHost4(kMsgReadWaveText84, AsItem(wavH), second, third, AsItem(text)));
}

int32_t WriteWaveText85(Handle wavH, HostWord second, HostWord third, const char* text) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return kErrPointOutsideWave;
  if (layout == &kWaveLayout0) return 0;
  return HostCode(CallHost4(kMsgWriteWaveText85, AsItem(wavH), second, third, AsItem(text)));
}

int32_t WaveHeaderValue93(Handle wavH) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return 0;
  if (layout != nullptr) return ReadHeaderField<int32_t>(wavH, layout->headerValue93Offset);
  return AskHeaderValue(kMsgWaveHeaderValue93, wavH);
}

int32_t WaveHeaderValue94(Handle wavH) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return 0;
  if (layout != nullptr) return ReadHeaderField<int16_t>(wavH, layout->headerValue94Offset);
  return AskHeaderValue(kMsgWaveHeaderValue94, wavH);
}

int32_t WaveHeaderValue95(Handle wavH) {
  const WaveHeaderLayout* layout = nullptr;
  if (CheckWaveHeader(wavH, &layout) != 0) return 0;
  if (layout != nullptr)
    return layout->headerValue95Offset < 0 ? 0 : ReadHeaderField<int16_t>(wavH, layout->headerValue95Offset);
  return AskHeaderValue(kMsgWaveHeaderValue95, wavH);
}

// ---------------------------------------------------------------- requests passed on unchanged

Handle FetchWaveByName(const char* waveName) {
  return reinterpret_cast<Handle>(CallHostForAddress1(kMsgFetchWave, AsItem(waveName)));
}

Handle FetchWaveInFolder(Handle dataFolderH, const char* waveName) {
  if (hostVersion >= kHostVersionMultiDimensional)
    return reinterpret_cast<Handle>(CallHostForAddress2(kMsgFetchWaveInFolder, AsItem(dataFolderH), AsItem(waveName)));
  return FetchWaveByName(waveName);
}

HostWord MarkWaveModifiedByName(const char* waveName) {
  bool stopped = false;
  Handle wavH = reinterpret_cast<Handle>(CallHostChecked1(kMsgFetchWave, &stopped, AsItem(waveName)));
  if (stopped) return kExchangeStopped;
  if (wavH == nullptr) return 0;
  return MarkWaveModified(wavH);
}

HostWord ReadWaveUnitsPair(Handle wavH, char* dimensionUnits, char* dataUnits) {
  return CallHost3(kMsgReadWaveUnitsPair, AsItem(wavH), AsItem(dimensionUnits), AsItem(dataUnits));
}

HostWord WriteWaveUnitsPair(Handle wavH, const char* dimensionUnits, const char* dataUnits) {
  return CallHost3(kMsgWriteWaveUnitsPair, AsItem(wavH), AsItem(dimensionUnits), AsItem(dataUnits));
}

HostWord SendWaveRequest36(HostWord a1, HostWord a2) { return CallHost2(kMsgWaveRequest36, a1, a2); }
HostWord SendWaveRequest44(HostWord a1) { return CallHost1(kMsgWaveRequest44, a1); }
HostWord SendWaveRequest47(HostWord a1, HostWord a2, HostWord a3, HostWord a4) {
  return CallHost4(kMsgWaveRequest47, a1, a2, a3, a4);
}
HostWord SendWaveRequest50(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5) {
  return CallHost5(kMsgWaveRequest50, a1, a2, a3, a4, a5);
}
HostWord SendWaveRequest51(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5) {
  return CallHost5(kMsgWaveRequest51, a1, a2, a3, a4, a5);
}
HostWord SendWaveRequest54(HostWord a1) { return CallHost1(kMsgWaveRequest54, a1); }
HostWord SendWaveRequest55(HostWord a1, HostWord a2) { return CallHost2(kMsgWaveRequest55, a1, a2); }
HostWord SendWaveRequest81(HostWord a1, HostWord a2, HostWord a3, HostWord a4) {
  return CallHost4(kMsgWaveRequest81, a1, a2, a3, a4);
}
HostWord SendWaveRequest91(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgWaveRequest91, a1, a2, a3); }
HostWord SendWaveRequest92(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgWaveRequest92, a1, a2, a3); }

HostWord SendWaveRequest196(HostWord a1) {
  if (hostVersion < kHostVersionRequests196) return 0;
  return CallHost1(kMsgWaveRequest196, a1);
}

HostWord SendWaveRequest197(HostWord a1, HostWord a2) {
  if (hostVersion < kHostVersionRequests196) return 0;
  return CallHost2(kMsgWaveRequest197, a1, a2);
}

HostWord SendWaveRequest205(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgWaveRequest205, a1, a2, a3); }
HostWord SendWaveRequest206(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgWaveRequest206, a1, a2, a3); }
HostWord SendWaveRequest207(HostWord a1, HostWord a2) { return CallHost2(kMsgWaveRequest207, a1, a2); }
HostWord SendWaveRequest208(HostWord a1, HostWord a2) { return CallHost2(kMsgWaveRequest208, a1, a2); }
