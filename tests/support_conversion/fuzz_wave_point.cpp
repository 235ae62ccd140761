// libFuzzer target for the single-point value transfers on arbitrary wave headers: the block
// (header and data) comes from the input, in a handle of the simulated host's memory manager,
// with the layout indicator forced to 0 or 1 and the memory scramble on or off. Each call is
// checked against an independent model of the header: result code, the element's place, the
// value read or written, and that nothing else in the block or the value pair changes.
//
// Input: byte 0 flags (bit 0 layout 1, bit 1 store, bit 2 scramble), 16 bytes of indices,
// 16 bytes of the value pair, then the block (zero-padded to the header's size).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "hostdata/wave_values.h"
#include "hostdata/waves.h"
#include "hostlink/host_exports.h"
#include "sim/host/quorsim.h"
#include "support_conversion/conversion_reference.h"

namespace {

using conversionref::Kind;
using conversionref::kKinds;

void Check(bool condition) {
  if (!condition) std::abort();
}

template <typename T>
T Read(const std::vector<unsigned char>& block, size_t offset) {
  T value;
  std::memcpy(&value, block.data() + offset, sizeof value);
  return value;
}

struct Expected {
  int32_t code = 0;
  const Kind* kind = nullptr;
  size_t elementOffset = 0;
  int parts = 0;
};

// The result from the header's fields, with 128-bit arithmetic for the point's place.
Expected Model(const std::vector<unsigned char>& block, int layout, const int32_t* indices) {
  Expected e;
  const size_t dataOffset = layout == 0 ? 110 : 320;
  __int128 point = 0;
  if (layout == 0) {
    const int32_t points = Read<int32_t>(block, 42);
    if (indices[0] < 0 || indices[0] >= points) return {kErrPointOutsideWave};
    point = indices[0];
  } else {
    __int128 stride = 1;
    for (int d = 0; d < 4; ++d) {
      const int32_t size = Read<int32_t>(block, 68 + 4 * d);
      if (size == 0) break;
      if (indices[d] < 0 || indices[d] >= size) return {kErrPointOutsideWave};
      point += indices[d] * stride;
      stride *= size;
    }
  }
  const int16_t type = Read<int16_t>(block, layout == 0 ? 0 : 16);
  if (type == 0 || type == 1) return {kErrNotNumeric};
  for (const Kind& k : kKinds)
    if (k.typeCode == (type & ~1)) e.kind = &k;
  if (e.kind == nullptr) return {kErrUnknownNumberType};
  e.parts = (type & 1) ? 2 : 1;
  // A point beyond the block's byte count is outside whatever the element size; checked first
  // because the product of four sizes times the element size can leave even 128 bits.
  if (point > static_cast<__int128>(block.size())) return {kErrPointOutsideWave};
  const __int128 start = dataOffset + point * e.parts * e.kind->bytes;
  if (start + e.parts * e.kind->bytes > static_cast<__int128>(block.size())) return {kErrPointOutsideWave};
  e.elementOffset = static_cast<size_t>(start);
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 33 || size > 4096 + 33) return 0;
  const uint8_t flags = data[0];
  const int layout = flags & 1;
  const bool store = (flags & 2) != 0;
  int32_t indices[4];
  double pair[2];
  std::memcpy(indices, data + 1, 16);
  std::memcpy(pair, data + 17, 16);
  std::vector<unsigned char> block(data + 33, data + size);
  const size_t headerBytes = layout == 0 ? 110 : 320;
  if (block.size() < headerBytes) block.resize(headerBytes, 0);
  const int16_t indicator = static_cast<int16_t>(layout);
  std::memcpy(block.data() + kWaveLayoutIndicatorOffset, &indicator, 2);

  quorsim::MemSetScramble((flags & 4) != 0);
  Handle wavH = quorsim::MemNewHandleWithBytes(
      std::span<const char>(reinterpret_cast<const char*>(block.data()), block.size()));
  Check(wavH != nullptr);

  const Expected expected = Model(block, layout, indices);
  double value[2] = {pair[0], pair[1]};
  const int32_t code = store ? StoreWavePoint(wavH, indices, value) : FetchWavePoint(wavH, indices, value);
  Check(code == expected.code);
  std::vector<unsigned char> after(*wavH, *wavH + block.size());
  Check(std::memcmp(value, pair, sizeof pair) == 0 || (!store && code == 0));

  if (code == 0 && store) {
    for (int p = 0; p < expected.parts; ++p)
      conversionref::WritePointValue(*expected.kind, pair[p],
                                     block.data() + expected.elementOffset + p * expected.kind->bytes);
  }
  Check(after == block);  // refusals and fetches change nothing; a store changes only its element
  if (code == 0 && !store) {
    for (int p = 0; p < expected.parts; ++p) {
      const conversionref::Value v =
          conversionref::ReadValue(*expected.kind, block.data() + expected.elementOffset + p * expected.kind->bytes);
      const double want = v.isFloat ? v.real : static_cast<double>(v.integer);
      Check(std::memcmp(&value[p], &want, 8) == 0 || (want != want && value[p] != value[p]));
    }
    if (expected.parts == 1) Check(std::memcmp(&value[1], &pair[1], 8) == 0);
  }
  DisposeHandle(wavH);
  quorsim::MemSetScramble(false);
  return 0;
}
