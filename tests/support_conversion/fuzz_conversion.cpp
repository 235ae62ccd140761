// libFuzzer target for the numeric conversions: arbitrary element kinds (valid or not),
// counts and bytes into ConvertElements (separate buffers and in place, at unaligned
// addresses), OffsetAndScale, ScaleClipRound and ReverseElementBytes. Every result is checked
// against the slow model, and the bytes around each run must stay as they were.
//
// Input: byte 0 picks the routine and the widest instruction set; the next bytes pick kinds, type codes, flags and the
// doubles of the transforms; the rest is the element data.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/conversion.h"
#include "support_conversion/conversion_reference.h"

namespace {

using conversionref::Kind;
using conversionref::kKinds;

constexpr unsigned char kGuard = 0xA5;
constexpr size_t kGuardBytes = 16;

void Check(bool condition) {
  if (!condition) std::abort();
}

// memcpy and memcmp for runs that may be empty (an empty vector's data() may be null).
void CopyRun(void* to, const void* from, size_t n) {
  if (n > 0) std::memcpy(to, from, n);
}
bool SameRun(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
  double Double() {
    uint8_t bytes[8] = {};
    for (uint8_t& b : bytes) b = Byte();
    double value;
    std::memcpy(&value, bytes, 8);
    return value;
  }
  std::vector<unsigned char> Rest() {
    std::vector<unsigned char> rest(data_ + position_, data_ + size_);
    position_ = size_;
    return rest;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// A kind from one byte: mostly one of the eight valid kinds, sometimes an arbitrary pair.
struct KindChoice {
  int32_t bytes, format;
  const Kind* valid;
};
KindChoice ChooseKind(uint8_t b) {
  if ((b & 0x80) == 0) {
    const Kind& k = kKinds[b & 7];
    return {k.bytes, k.format, &k};
  }
  static const int32_t candidateBytes[] = {1, 2, 4, 8, 3, 0, -1, 16};
  const int32_t bytes = candidateBytes[b & 7];
  const int32_t format = ((b >> 3) & 7) - 1;  // -1 .. 6
  for (const Kind& k : kKinds)
    if (k.bytes == bytes && k.format == format) return {bytes, format, &k};
  return {bytes, format, nullptr};
}

// A numeric type code from one byte: the eight real types, complex ones, text and others.
int32_t ChooseType(uint8_t b) {
  static const int32_t others[] = {0, 1, 3, 5, 9, 97, 98, 6, -2, 64};
  if (b < 200) return kKinds[b & 7].typeCode;
  return others[b % std::size(others)];
}
const Kind* KindOfType(int32_t type) {
  for (const Kind& k : kKinds)
    if (k.typeCode == type) return &k;
  return nullptr;
}

// A buffer with guard bytes on both sides and the run at `misalign` bytes after the front guard.
struct Guarded {
  std::vector<unsigned char> bytes;
  size_t start;
  Guarded(size_t runBytes, size_t misalign) : bytes(kGuardBytes + misalign + runBytes + kGuardBytes, kGuard) {
    start = kGuardBytes + misalign;
  }
  unsigned char* run() { return bytes.data() + start; }
  bool GuardsIntact(size_t runBytes) const {
    for (size_t i = 0; i < start; ++i)
      if (bytes[i] != kGuard) return false;
    for (size_t i = start + runBytes; i < bytes.size(); ++i)
      if (bytes[i] != kGuard) return false;
    return true;
  }
};

void FuzzConvert(Input& in) {
  const KindChoice from = ChooseKind(in.Byte());
  const KindChoice to = ChooseKind(in.Byte());
  const uint8_t flags = in.Byte();
  const bool inPlace = (flags & 1) != 0;
  const size_t misalign = (flags >> 1) & 7;
  const std::vector<unsigned char> data = in.Rest();
  const size_t fromBytes = from.bytes > 0 ? static_cast<size_t>(from.bytes) : 1;
  const size_t toBytes = to.bytes > 0 ? static_cast<size_t>(to.bytes) : 1;
  const size_t count = data.size() / fromBytes;
  const bool valid = from.valid != nullptr && to.valid != nullptr;

  const size_t width = inPlace ? std::max(fromBytes, toBytes) : fromBytes;
  Guarded source(count * width, misalign);
  CopyRun(source.run(), data.data(), count * fromBytes);
  const std::vector<unsigned char> sourceBefore = source.bytes;
  Guarded separate(count * toBytes, (flags >> 4) & 7);
  unsigned char* destination = inPlace ? source.run() : separate.run();
  const int32_t result = ConvertElements(source.run(), destination, static_cast<int32_t>(count), from.bytes,
                                         from.format, to.bytes, to.format);
  if (!valid) {
    Check(result == kInvalidElementKind);
    Check(source.bytes == sourceBefore);
    Check(separate.GuardsIntact(0));
    for (size_t i = 0; i < count * toBytes; ++i) Check(separate.run()[i] == kGuard);
    return;
  }
  Check(result == (from.valid == to.valid ? kCopiedSameKind : kConvertedElements));
  std::vector<unsigned char> expected(count * toBytes);
  conversionref::Convert(*from.valid, *to.valid, data.data(), expected.data(), count);
  Check(SameRun(destination, expected.data(), expected.size()));
  if (inPlace) {
    Check(source.GuardsIntact(count * width));
  } else {
    Check(separate.GuardsIntact(count * toBytes));
    Check(source.bytes == sourceBefore);
  }
}

void FuzzOffsetAndScale(Input& in) {
  const int32_t type = ChooseType(in.Byte());
  const double offset = in.Double(), scale = in.Double();
  const std::vector<unsigned char> data = in.Rest();
  const Kind* k = KindOfType(type);
  const size_t count = data.size() / (k != nullptr ? k->bytes : 1);
  Guarded buffer(data.size(), 1);
  CopyRun(buffer.run(), data.data(), data.size());
  OffsetAndScale(type, buffer.run(), &offset, &scale, static_cast<int32_t>(count));
  std::vector<unsigned char> expected = data;
  if (k != nullptr && !(offset == 0 && scale == 1))
    for (size_t i = 0; i < count; ++i)
      conversionref::ScaleClipRoundElement(*k, expected.data() + i * k->bytes, true, offset, scale, false, 0, 0, false);
  Check(SameRun(buffer.run(), expected.data(), expected.size()));
  Check(buffer.GuardsIntact(data.size()));
}

void FuzzScaleClipRound(Input& in) {
  const int32_t type = ChooseType(in.Byte());
  const uint8_t choices = in.Byte();
  const double offset = (choices & 1) ? in.Double() : 0;
  const double scale = (choices & 2) ? in.Double() : 1;
  double low = (choices & 4) ? in.Double() : 0;
  double high = (choices & 8) ? in.Double() : 0;
  const int32_t round = (choices & 16) ? 1 : 0;
  const std::vector<unsigned char> data = in.Rest();
  const Kind* k = KindOfType(type);
  const size_t count = data.size() / (k != nullptr ? k->bytes : 1);
  Guarded buffer(data.size(), 3);
  CopyRun(buffer.run(), data.data(), data.size());
  ScaleClipRound(type, buffer.run(), static_cast<int32_t>(count), offset, scale, low, high, round);

  std::vector<unsigned char> expected = data;
  if (k != nullptr) {
    const bool scaling = offset != 0 || scale != 1;
    bool clipping = !(std::isinf(low) && low < 0 && std::isinf(high) && high > 0);
    if (low == 0 && high == 0) {
      if (k->format == 3) {
        clipping = false;
      } else if (k->format == 1) {
        low = -std::ldexp(1.0, 8 * k->bytes - 1);
        high = std::ldexp(1.0, 8 * k->bytes - 1) - 1;
      } else {
        high = std::ldexp(1.0, 8 * k->bytes) - 1;
      }
    }
    if (scaling || clipping || round != 0)
      for (size_t i = 0; i < count; ++i)
        conversionref::ScaleClipRoundElement(*k, expected.data() + i * k->bytes, scaling, offset, scale, clipping, low,
                                             high, round != 0);
  }
  Check(SameRun(buffer.run(), expected.data(), expected.size()));
  Check(buffer.GuardsIntact(data.size()));
}

void FuzzReverse(Input& in) {
  const int32_t width = static_cast<int32_t>(in.Byte() % 19) - 1;  // -1 .. 17
  const std::vector<unsigned char> data = in.Rest();
  const size_t count = width > 0 ? data.size() / static_cast<size_t>(width) : data.size();
  Guarded buffer(data.size(), 5);
  CopyRun(buffer.run(), data.data(), data.size());
  ReverseElementBytes(buffer.run(), width, static_cast<int32_t>(count));
  std::vector<unsigned char> expected = data;
  if (width > 1)
    for (size_t e = 0; e < count; ++e)
      for (int32_t b = 0; b < width; ++b) expected[e * width + b] = data[e * width + (width - 1 - b)];
  Check(SameRun(buffer.run(), expected.data(), expected.size()));
  Check(buffer.GuardsIntact(data.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  Input in(data, size);
  // Byte 0 also picks the widest instruction set the routine may use: each against the model.
  const uint8_t routine = in.Byte();
  LimitConversionInstructionSet(static_cast<int32_t>(routine / 4 % 3));
  switch (routine % 4) {
    case 0: FuzzConvert(in); break;
    case 1: FuzzOffsetAndScale(in); break;
    case 2: FuzzScaleClipRound(in); break;
    default: FuzzReverse(in); break;
  }
  return 0;
}
