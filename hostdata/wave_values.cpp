// Value transfers between waves and doubles. For layouts 0 and 1 the header is read at its
// byte offsets and the data converted here. Before any header field is read the block is
// checked to hold the header its layout indicator claims, and before any data is touched the
// header's extent is checked against the size of the block, so neither a short block nor a
// header that claims more points than the block holds is read past. The point routines use no
// lock: the block's address is taken after the last host call and the element is read or
// written at once.
#include "hostdata/wave_values.h"

#include <cstring>

#include "hostdata/handles.h"
#include "hostdata/waves.h"
#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "support/conversion.h"

namespace {

constexpr int32_t kDoubleBytes = 8;

struct ElementKind {
  int32_t bytes = 0;
  int32_t format = 0;
  int32_t complex = 0;
  uint64_t PartsPerPoint() const { return complex != 0 ? 2 : 1; }
};

int32_t HostCode(HostWord result) { return static_cast<int32_t>(result); }

int32_t ReadInt32(Handle wavH, int offset) {
  int32_t value;
  std::memcpy(&value, *wavH + offset, sizeof value);
  return value;
}

// The element kind of a type code: a kind, kErrUnknownNumberType for codes outside the table.
int32_t KindOf(int32_t typeCode, ElementKind* kind) {
  ElementKind k;
  if (DecodeNumberType(typeCode, &k.bytes, &k.format, &k.complex) != 0) return kErrUnknownNumberType;
  *kind = k;
  return 0;
}

// a * b + c, or UINT64_MAX when that does not fit: far beyond any block.
uint64_t SaturatingMulAdd(uint64_t a, uint64_t b, uint64_t c) {
  uint64_t product, sum;
  if (__builtin_mul_overflow(a, b, &product) || __builtin_add_overflow(product, c, &sum)) return UINT64_MAX;
  return sum;
}

// Whether `elements` elements of `kind` starting `firstElement` elements into the data lie
// inside the wave's block. GetHandleSize is a host call: the block may move, so addresses are
// taken only after this.
bool DataInsideBlock(Handle wavH, const WaveHeaderLayout& layout, const ElementKind& kind, uint64_t firstElement,
                     uint64_t elements) {
  const int32_t blockBytes = GetHandleSize(wavH);
  if (blockBytes < layout.dataOffset) return elements == 0;
  const uint64_t room = static_cast<uint64_t>(blockBytes - layout.dataOffset);
  const uint64_t lastElement = SaturatingMulAdd(firstElement, 1, elements);
  const uint64_t end = SaturatingMulAdd(lastElement, static_cast<uint64_t>(kind.bytes), 0);
  return end <= room;
}

int32_t TransferWholeWave(Handle wavH, double* values, bool store) {
  const WaveHeaderLayout* known = nullptr;
  if (int32_t refused = CheckWaveHeader(wavH, &known); refused != 0) return refused;
  if (known == nullptr)
    return HostCode(CallHost2(store ? kMsgStoreWaveFromDoubles : kMsgFetchWaveAsDoubles, AsItem(wavH), AsItem(values)));
  const WaveHeaderLayout& layout = *known;
  const int32_t typeCode = WaveType(wavH);
  if (typeCode < 2) return kErrNotNumeric;
  ElementKind kind;
  if (int32_t refused = KindOf(typeCode, &kind); refused != 0) return refused;
  const int32_t points = WavePointCount(wavH);
  const uint64_t count = points > 0 ? static_cast<uint64_t>(points) * kind.PartsPerPoint() : 0;
  if (!DataInsideBlock(wavH, layout, kind, 0, count)) return kErrPointOutsideWave;

  const int32_t state = SaveAndLockHandle(wavH);
  char* data = WaveDataAddress(wavH);
  const size_t n = static_cast<size_t>(count);  // fits: the block holds count elements
  if (store) {
    ConvertElementRun(values, data, n, kDoubleBytes, kDataFormatFloatingPoint, kind.bytes, kind.format);
  } else {
    ConvertElementRun(data, values, n, kind.bytes, kind.format, kDoubleBytes, kDataFormatFloatingPoint);
  }
  HSetState(wavH, state);
  return 0;
}

// The point index of four dimension indices in a wave of layout 0 or 1 whose block holds its
// header, or kErrPointOutsideWave.
int32_t LocatePoint(Handle wavH, const WaveHeaderLayout& layout, const int32_t* indices, uint64_t* point) {
  if (&layout == &kWaveLayout0) {
    const int32_t points = ReadInt32(wavH, kWaveLayout0.pointCountOffset);
    if (indices[0] < 0 || indices[0] >= points) return kErrPointOutsideWave;
    *point = static_cast<uint64_t>(indices[0]);
    return 0;
  }
  uint64_t linear = 0, stride = 1;
  for (int d = 0; d < kMaxWaveDimensions; ++d) {
    const int32_t size = ReadInt32(wavH, kWaveLayout1.dimensionSizesOffset + 4 * d);
    if (size == 0) break;
    if (indices[d] < 0 || indices[d] >= size) return kErrPointOutsideWave;
    linear = SaturatingMulAdd(static_cast<uint64_t>(indices[d]), stride, linear);
    stride = SaturatingMulAdd(stride, static_cast<uint64_t>(size), 0);
  }
  *point = linear;
  return 0;
}

// A point stored into an integer element goes through a 32-bit integer: the value truncated
// toward zero, INT32_MIN for NaN, the infinities and values whose truncation lies outside
// int32, of which the element keeps its low-order bytes. 4-byte unsigned elements go through
// a 64-bit integer instead, as ConvertElements converts them.
void StorePointIntegers(const double* value, char* element, uint64_t parts, const ElementKind& kind) {
  int32_t wholes[2];
  for (uint64_t p = 0; p < parts; ++p) {
    const bool fits = value[p] > -0x1p31 - 1.0 && value[p] < 0x1p31;
    wholes[p] = fits ? static_cast<int32_t>(value[p]) : INT32_MIN;
  }
  ConvertElementRun(wholes, element, parts, 4, kDataFormatSignedInteger, kind.bytes, kind.format);
}

int32_t TransferPoint(Handle wavH, const int32_t* indices, double* value, bool store) {
  const WaveHeaderLayout* known = nullptr;
  if (int32_t refused = CheckWaveHeader(wavH, &known); refused != 0) return refused;
  if (known == nullptr)
    return HostCode(CallHost3(store ? kMsgStoreWavePoint : kMsgFetchWavePoint, AsItem(wavH), AsItem(indices),
                              AsItem(value)));
  const WaveHeaderLayout& layout = *known;
  uint64_t point = 0;
  if (int32_t refused = LocatePoint(wavH, layout, indices, &point); refused != 0) return refused;
  const int32_t typeCode = WaveType(wavH);
  if (typeCode == 0 || typeCode == 1) return kErrNotNumeric;
  ElementKind kind;
  if (int32_t refused = KindOf(typeCode, &kind); refused != 0) return refused;
  const uint64_t parts = kind.PartsPerPoint();
  const uint64_t firstElement = SaturatingMulAdd(point, parts, 0);
  if (!DataInsideBlock(wavH, layout, kind, firstElement, parts)) return kErrPointOutsideWave;

  char* element = *wavH + layout.dataOffset + static_cast<size_t>(firstElement) * static_cast<size_t>(kind.bytes);
  const bool throughInt32 = kind.format == kDataFormatSignedInteger || (kind.format == kDataFormatUnsignedInteger &&
                                                                       kind.bytes < 4);
  if (store && throughInt32) {
    StorePointIntegers(value, element, parts, kind);
  } else if (store) {
    ConvertElementRun(value, element, parts, kDoubleBytes, kDataFormatFloatingPoint, kind.bytes, kind.format);
  } else {
    ConvertElementRun(element, value, parts, kind.bytes, kind.format, kDoubleBytes, kDataFormatFloatingPoint);
  }
  return 0;
}

}  // namespace

int32_t FetchWaveAsDoubles(Handle wavH, double* values) { return TransferWholeWave(wavH, values, false); }

int32_t StoreWaveFromDoubles(Handle wavH, const double* values) {
  // The buffer is only read when storing; the host's message takes it as a plain address.
  return TransferWholeWave(wavH, const_cast<double*>(values), true);
}

int32_t FetchWavePoint(Handle wavH, const int32_t* indices, double* value) {
  return TransferPoint(wavH, indices, value, false);
}

int32_t StoreWavePoint(Handle wavH, const int32_t* indices, const double* value) {
  return TransferPoint(wavH, indices, const_cast<double*>(value), true);
}
