// The value transfers against the simulated host, with the memory scramble on: whole waves and
// single points of layouts 0 and 1 read and written directly (every numeric type, real and
// complex), other layouts handed to the host, index and type refusals that leave everything
// as it was, headers that claim more data than their block holds, and blocks too short for the
// header they claim.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "hostdata/wave_values.h"
#include "hostdata/waves.h"
#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "module/module_fixture.h"
#include "support/conversion.h"
#include "support_conversion/conversion_reference.h"

namespace moduletest {
namespace {

using conversionref::Kind;
using conversionref::kKinds;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class WaveValuesTest : public LinkedHostTest {
 protected:
  // The wave's data bytes as the host keeps them.
  std::vector<unsigned char> Data(Handle wavH) {
    quorsim::WaveView view;
    EXPECT_TRUE(host().FindWaveByHandle(wavH, &view));
    return std::vector<unsigned char>(view.data, view.data + view.dataBytes);
  }
  void SetData(Handle wavH, const std::vector<unsigned char>& bytes) {
    quorsim::WaveView view;
    ASSERT_TRUE(host().FindWaveByHandle(wavH, &view));
    ASSERT_EQ(bytes.size(), view.dataBytes);
    std::memcpy(*wavH + view.dataOffset, bytes.data(), bytes.size());
  }
  // Overwrites a header field of the wave's block, as a damaged or unusual header would have it.
  template <typename T>
  void Poke(Handle wavH, int offset, T value) {
    std::memcpy(*wavH + offset, &value, sizeof value);
  }
};

// Doubles that exercise the storing rule.
std::vector<double> StoreValues(size_t count) {
  const double pool[] = {0, -0.0, 1.5, -1.5, 300.7, -1.9, 65535.9, 2147483648.0, -2147483649.0, 3e9, 1e300,
                         kNaN, kInf, -kInf, 0.1, -42.75, 4294967301.0, 127.5, -128.5, 1e-310};
  std::vector<double> v(count);
  for (size_t i = 0; i < count; ++i) v[i] = pool[(i * 7 + 3) % std::size(pool)] + (i % 3 == 0 ? 0 : double(i));
  return v;
}

std::vector<unsigned char> PatternBytes(size_t n, unsigned seed) {
  std::vector<unsigned char> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>((i * 131 + seed * 17 + (i >> 3)) & 0xFF);
  return bytes;
}

// ---------------------------------------------------------------- whole waves

TEST_F(WaveValuesTest, WholeWavesOfLayoutsZeroAndOneConvertEveryTypeBothWays) {
  for (int layout : {0, 1}) {
    for (const Kind& k : kKinds) {
      for (int complex : {0, 1}) {
        const int type = k.typeCode + complex;
        const std::string name = std::string("w") + k.name + (complex ? "c" : "") + std::to_string(layout);
        std::vector<int32_t> dims = layout == 0 ? std::vector<int32_t>{37} : std::vector<int32_t>{5, 3, 2};
        Handle w = Wave(name, layout, type, dims);
        const size_t count = (layout == 0 ? 37 : 30) * (complex ? 2 : 1);
        SetData(w, PatternBytes(count * k.bytes, static_cast<unsigned>(type)));
        const std::vector<unsigned char> stored = Data(w);
        host().ClearExchanges();

        std::vector<double> values(count + 1, -7.0);
        ASSERT_EQ(FetchWaveAsDoubles(w, values.data()), 0) << name;
        for (size_t i = 0; i < count; ++i) {
          const conversionref::Value v = conversionref::ReadValue(k, stored.data() + i * k.bytes);
          const double expected = v.isFloat ? v.real : static_cast<double>(v.integer);
          if (std::isnan(expected)) {
            ASSERT_TRUE(std::isnan(values[i])) << name << " element " << i;
          } else {
            ASSERT_EQ(values[i], expected) << name << " element " << i;
          }
        }
        EXPECT_EQ(values[count], -7.0) << name << ": nothing past the wave's elements";

        const std::vector<double> incoming = StoreValues(count);
        ASSERT_EQ(StoreWaveFromDoubles(w, incoming.data()), 0) << name;
        std::vector<unsigned char> expected(count * k.bytes);
        for (size_t i = 0; i < count; ++i)
          conversionref::WriteValue(k, {true, 0, incoming[i]}, expected.data() + i * k.bytes);
        EXPECT_EQ(Data(w), expected) << name;
        EXPECT_TRUE(Messages().empty()) << name << ": read directly, no host message";
      }
    }
  }
}

TEST_F(WaveValuesTest, AComplexWaveOfTenPointsFillsTwentyDoublesAlternating) {
  Handle w = Wave("c", 1, kWaveTypeInt16 | kWaveTypeComplexBit, {10});
  std::vector<int16_t> pairs(20);
  for (int i = 0; i < 10; ++i) {
    pairs[2 * i] = static_cast<int16_t>(i * 10);       // real
    pairs[2 * i + 1] = static_cast<int16_t>(-i - 1);   // imaginary
  }
  std::vector<unsigned char> bytes(40);
  std::memcpy(bytes.data(), pairs.data(), 40);
  SetData(w, bytes);
  std::vector<double> values(21, 99.0);
  ASSERT_EQ(FetchWaveAsDoubles(w, values.data()), 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(values[2 * i], i * 10.0);
    EXPECT_EQ(values[2 * i + 1], -i - 1.0);
  }
  EXPECT_EQ(values[20], 99.0);
}

TEST_F(WaveValuesTest, WholeWaveTransfersRestoreTheHandleState) {
  Handle w = Wave("w", 1, kWaveTypeFloat32, {16});
  std::vector<double> values(16, 1.25);
  ASSERT_FALSE(quorsim::MemIsLocked(w));
  ASSERT_EQ(StoreWaveFromDoubles(w, values.data()), 0);
  EXPECT_FALSE(quorsim::MemIsLocked(w));
  HLock(w);
  ASSERT_EQ(FetchWaveAsDoubles(w, values.data()), 0);
  EXPECT_TRUE(quorsim::MemIsLocked(w)) << "a lock the caller holds stays";
  EXPECT_EQ(values[15], 1.25);
}

TEST_F(WaveValuesTest, WholeWaveRefusalsLeaveBufferAndWaveUnchanged) {
  Handle text = Wave("t", 1, kWaveTypeText, {4});
  std::vector<double> buffer(8, 5.5);
  EXPECT_EQ(FetchWaveAsDoubles(text, buffer.data()), kErrNotNumeric);
  EXPECT_EQ(buffer, std::vector<double>(8, 5.5));
  EXPECT_EQ(StoreWaveFromDoubles(text, buffer.data()), kErrNotNumeric);

  // Type codes that do not decode (whatever their complex bit), and those below 2.
  Handle w = Wave("w", 1, kWaveTypeInt32, {4});
  const std::vector<unsigned char> before = Data(w);
  for (int16_t bad : {98, 99, 6, 64, 200, 1, -2, -32768}) {
    Poke<int16_t>(w, kWaveLayout1.typeOffset, bad);
    const int32_t expected = bad < 2 ? kErrNotNumeric : kErrUnknownNumberType;
    EXPECT_EQ(FetchWaveAsDoubles(w, buffer.data()), expected) << bad;
    EXPECT_EQ(StoreWaveFromDoubles(w, buffer.data()), expected) << bad;
  }
  EXPECT_EQ(buffer, std::vector<double>(8, 5.5));
  EXPECT_EQ(Data(w), before);
  Handle w0 = Wave("w0", 0, kWaveTypeUInt8, {4});
  Poke<int16_t>(w0, kWaveLayout0.typeOffset, 13);
  EXPECT_EQ(FetchWaveAsDoubles(w0, buffer.data()), kErrUnknownNumberType);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(WaveValuesTest, WholeWavesOfOtherLayoutsAreHandedToTheHost) {
  for (int layout : {2, -1, 7}) {
    Handle w = Wave("o" + std::to_string(layout + 1), layout, kWaveTypeUInt16 | kWaveTypeComplexBit, {3, 2});
    host().ClearExchanges();
    std::vector<double> values = StoreValues(12);
    EXPECT_EQ(StoreWaveFromDoubles(w, values.data()), 0);
    ASSERT_EQ(Messages(), std::vector<int>{kMsgStoreWaveFromDoubles});
    EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w), AsItem(values.data())}));
    std::vector<double> back(12, 0);
    EXPECT_EQ(FetchWaveAsDoubles(w, back.data()), 0);
    EXPECT_EQ(Last().message, kMsgFetchWaveAsDoubles);
    EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w), AsItem(back.data())}));
    for (size_t i = 0; i < back.size(); ++i) {
      unsigned char element[2];
      conversionref::WriteValue(kKinds[6], {true, 0, values[i]}, element);
      EXPECT_EQ(back[i], static_cast<double>(conversionref::ReadValue(kKinds[6], element).integer)) << i;
    }
  }
  // The host's answer is passed on unchanged.
  Handle text = Wave("ot", 2, kWaveTypeText, {4});
  std::vector<double> buffer(4, 1.0);
  EXPECT_EQ(FetchWaveAsDoubles(text, buffer.data()), quorsim::kErrNotNumeric);
  host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
    if (message != kMsgStoreWaveFromDoubles) return false;
    *result = 4321;
    return true;
  });
  EXPECT_EQ(StoreWaveFromDoubles(text, buffer.data()), 4321);
}

TEST_F(WaveValuesTest, LayoutsZeroAndOneAndTheHostStoreTheSameBytes) {
  // The same doubles through the direct path and through the host's own services.
  for (const Kind& k : kKinds) {
    Handle direct = Wave(std::string("d") + k.name, 1, k.typeCode, {64});
    Handle hosted = Wave(std::string("h") + k.name, 2, k.typeCode, {64});
    const std::vector<double> values = StoreValues(64);
    ASSERT_EQ(StoreWaveFromDoubles(direct, values.data()), 0);
    ASSERT_EQ(StoreWaveFromDoubles(hosted, values.data()), 0);
    EXPECT_EQ(Data(direct), Data(hosted)) << k.name;
  }
}

TEST_F(WaveValuesTest, AHeaderClaimingMoreThanTheBlockHoldsIsRefused) {
  Handle w1 = Wave("w1", 1, kWaveTypeFloat64, {10});
  Poke<int32_t>(w1, kWaveLayout1.pointCountOffset, 11);
  std::vector<double> buffer(64, 3.0);
  EXPECT_EQ(FetchWaveAsDoubles(w1, buffer.data()), kErrPointOutsideWave);
  EXPECT_EQ(StoreWaveFromDoubles(w1, buffer.data()), kErrPointOutsideWave);
  EXPECT_EQ(buffer, std::vector<double>(64, 3.0));
  Poke<int32_t>(w1, kWaveLayout1.pointCountOffset, 10);
  std::vector<double> exact(10, 3.0);
  EXPECT_EQ(FetchWaveAsDoubles(w1, exact.data()), 0) << "exactly the block";
  EXPECT_EQ(exact, std::vector<double>(10, 0.0));

  Handle w0 = Wave("w0", 0, kWaveTypeInt8 | kWaveTypeComplexBit, {10});
  Poke<int32_t>(w0, kWaveLayout0.pointCountOffset, INT32_MAX);
  EXPECT_EQ(FetchWaveAsDoubles(w0, buffer.data()), kErrPointOutsideWave);
  Poke<int32_t>(w0, kWaveLayout0.pointCountOffset, -5);
  EXPECT_EQ(FetchWaveAsDoubles(w0, buffer.data()), 0) << "no points: nothing to move";
  EXPECT_EQ(buffer, std::vector<double>(64, 3.0));

  // Points: a dimension size beyond the data.
  Handle p = Wave("p", 1, kWaveTypeInt16, {4, 4});
  Poke<int32_t>(p, kWaveLayout1.dimensionSizesOffset + 4, 1000);
  const int32_t far[4] = {3, 999, 0, 0};
  const int32_t near[4] = {3, 3, 0, 0};
  double pair[2] = {8, 9};
  EXPECT_EQ(FetchWavePoint(p, far, pair), kErrPointOutsideWave);
  EXPECT_EQ(StoreWavePoint(p, far, pair), kErrPointOutsideWave);
  EXPECT_EQ(FetchWavePoint(p, near, pair), 0);
  EXPECT_EQ(pair[0], 0);
  // Dimension sizes whose product overflows 64 bits.
  for (int d = 0; d < 4; ++d) Poke<int32_t>(p, kWaveLayout1.dimensionSizesOffset + 4 * d, INT32_MAX);
  const int32_t huge[4] = {INT32_MAX - 1, INT32_MAX - 1, INT32_MAX - 1, INT32_MAX - 1};
  EXPECT_EQ(StoreWavePoint(p, huge, pair), kErrPointOutsideWave);
  EXPECT_EQ(FetchWavePoint(p, huge, pair), kErrPointOutsideWave);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(WaveValuesTest, ABlockShorterThanTheHeaderItClaimsIsRefusedBeforeAnyFieldIsRead) {
  struct Case {
    const char* what;
    Handle wavH;
  };
  const Case cases[] = {
      {"null handle", nullptr},
      {"no room for the indicator", ShortWaveBlock(1, kWaveLayoutIndicatorEnd - 1)},
      {"layout 0 of 40 bytes", ShortWaveBlock(0, 40)},
      {"layout 0 one byte short", ShortWaveBlock(0, kWaveLayout0.dataOffset - 1)},
      {"layout 1 of 100 bytes", ShortWaveBlock(1, 100)},
      {"layout 1 one byte short", ShortWaveBlock(1, kWaveLayout1.dataOffset - 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> before;
    if (c.wavH != nullptr) {
      // Where the block holds them, the type code says 8-byte float and the counts and sizes
      // are 0: read, such a header would let a transfer go on as one of no points.
      Poke<int16_t>(c.wavH, kWaveLayout0.typeOffset, kWaveTypeFloat64);
      if (GetHandleSize(c.wavH) >= kWaveLayout1.typeOffset + 2)
        Poke<int16_t>(c.wavH, kWaveLayout1.typeOffset, kWaveTypeFloat64);
      const int32_t bytes = GetHandleSize(c.wavH);
      before.assign(*c.wavH, *c.wavH + bytes);
    }
    std::vector<double> buffer(8, 3.0);
    EXPECT_EQ(FetchWaveAsDoubles(c.wavH, buffer.data()), kErrPointOutsideWave);
    EXPECT_EQ(StoreWaveFromDoubles(c.wavH, buffer.data()), kErrPointOutsideWave);
    const int32_t origin[4] = {0, 0, 0, 0};
    double pair[2] = {8, 9};
    EXPECT_EQ(FetchWavePoint(c.wavH, origin, pair), kErrPointOutsideWave);
    EXPECT_EQ(StoreWavePoint(c.wavH, origin, pair), kErrPointOutsideWave);
    EXPECT_EQ(buffer, std::vector<double>(8, 3.0));
    EXPECT_EQ(pair[0], 8);
    EXPECT_EQ(pair[1], 9);
    if (c.wavH != nullptr) {
      const int32_t bytes = GetHandleSize(c.wavH);
      EXPECT_EQ(std::vector<unsigned char>(*c.wavH, *c.wavH + bytes), before);
    }
    EXPECT_TRUE(Messages().empty()) << "a short block is not handed to the host either";
  }
  for (const Case& c : cases)
    if (c.wavH != nullptr) DisposeHandle(c.wavH);
}

// ---------------------------------------------------------------- single points

TEST_F(WaveValuesTest, PointIndicesOfLayoutOneFollowTheDimensionSizes) {
  Handle w = Wave("img", 1, kWaveTypeUInt16, {640, 480});
  std::vector<unsigned char> bytes(640 * 480 * 2, 0);
  const uint16_t marker = 51234;
  std::memcpy(bytes.data() + 1283 * 2, &marker, 2);
  SetData(w, bytes);
  const int32_t at[4] = {3, 2, 777, -5};  // the third and fourth indices are not examined
  double pair[2] = {0, -8};
  ASSERT_EQ(FetchWavePoint(w, at, pair), 0);
  EXPECT_EQ(pair[0], 51234.0) << "point 3 + 640 * 2 = 1283";
  EXPECT_EQ(pair[1], -8) << "the imaginary part of a real wave is not touched";

  for (auto bad : {std::array<int32_t, 4>{640, 0, 0, 0}, {0, 480, 0, 0}, {-1, 0, 0, 0}, {0, -1, 0, 0}}) {
    double untouched[2] = {1, 2};
    EXPECT_EQ(FetchWavePoint(w, bad.data(), untouched), kErrPointOutsideWave) << bad[0] << "," << bad[1];
    EXPECT_EQ(StoreWavePoint(w, bad.data(), untouched), kErrPointOutsideWave);
    EXPECT_EQ(untouched[0], 1);
    EXPECT_EQ(untouched[1], 2);
  }
  EXPECT_EQ(Data(w), bytes) << "refused stores leave the wave alone";

  // Four dimensions: index = i + A (j + B (k + C l)).
  Handle four = Wave("four", 1, kWaveTypeFloat64, {3, 4, 5, 6});
  const int32_t last[4] = {2, 3, 4, 5};
  const int32_t some[4] = {1, 2, 3, 4};
  const double value[2] = {6.5, 0};
  ASSERT_EQ(StoreWavePoint(four, some, value), 0);
  ASSERT_EQ(StoreWavePoint(four, last, value), 0);
  const std::vector<unsigned char> data = Data(four);
  double at1, atLast;
  std::memcpy(&at1, data.data() + (1 + 3 * (2 + 4 * (3 + 5 * 4))) * 8, 8);
  std::memcpy(&atLast, data.data() + (3 * 4 * 5 * 6 - 1) * 8, 8);
  EXPECT_EQ(at1, 6.5);
  EXPECT_EQ(atLast, 6.5);
  const int32_t over[4] = {2, 3, 4, 6};
  EXPECT_EQ(StoreWavePoint(four, over, value), kErrPointOutsideWave);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(WaveValuesTest, PointIndicesOfLayoutZeroUseOnlyTheFirstIndex) {
  Handle w = Wave("line", 0, kWaveTypeInt32, {50});
  const int32_t first[4] = {0, 99, -1, 12345};
  const int32_t last[4] = {49, -7, 0, 0};
  const int32_t past[4] = {50, 0, 0, 0};
  const int32_t negative[4] = {-1, 0, 0, 0};
  const double value[2] = {-123456.9, 0};
  ASSERT_EQ(StoreWavePoint(w, first, value), 0);
  ASSERT_EQ(StoreWavePoint(w, last, value), 0);
  double pair[2] = {0, 0};
  ASSERT_EQ(FetchWavePoint(w, last, pair), 0);
  EXPECT_EQ(pair[0], -123456.0);
  EXPECT_EQ(FetchWavePoint(w, past, pair), kErrPointOutsideWave);
  EXPECT_EQ(FetchWavePoint(w, negative, pair), kErrPointOutsideWave);
  const std::vector<unsigned char> data = Data(w);
  int32_t element0, element49;
  std::memcpy(&element0, data.data(), 4);
  std::memcpy(&element49, data.data() + 49 * 4, 4);
  EXPECT_EQ(element0, -123456);
  EXPECT_EQ(element49, -123456);
}

TEST_F(WaveValuesTest, StoringAPointFollowsTheTruncatingRule) {
  struct Case {
    int type;
    double value;
    std::vector<unsigned char> bytes;
  };
  const Case cases[] = {
      {kWaveTypeUInt8, 300.7, {44}},
      {kWaveTypeUInt16, -1.5, {0xFF, 0xFF}},
      {kWaveTypeInt32, kNaN, {0, 0, 0, 0x80}},
      {kWaveTypeInt32, 2147483648.0, {0, 0, 0, 0x80}},
      {kWaveTypeInt16, kInf, {0, 0}},
      {kWaveTypeUInt32, 3e9, {0x00, 0x5E, 0xD0, 0xB2}},
      {kWaveTypeUInt32, -1.5, {0xFF, 0xFF, 0xFF, 0xFF}},
      {kWaveTypeUInt32, 1e19, {0, 0, 0, 0}},
      {kWaveTypeInt8, -128.9, {0x80}},
      {kWaveTypeFloat32, 0.1, {0xCD, 0xCC, 0xCC, 0x3D}},
      {kWaveTypeFloat32, 1e300, {0, 0, 0x80, 0x7F}},
  };
  for (int layout : {0, 1}) {
    for (const Case& c : cases) {
      Handle w = Wave("s" + std::to_string(layout) + "_" + std::to_string(c.type), layout, c.type, {3});
      const int32_t at[4] = {1, 0, 0, 0};
      const double value[2] = {c.value, 12345};
      ASSERT_EQ(StoreWavePoint(w, at, value), 0);
      const std::vector<unsigned char> data = Data(w);
      const size_t bytes = c.bytes.size();
      EXPECT_EQ(std::vector<unsigned char>(data.begin() + bytes, data.begin() + 2 * bytes), c.bytes)
          << "type " << c.type << " value " << c.value << " layout " << layout;
      EXPECT_EQ(std::vector<unsigned char>(data.begin(), data.begin() + bytes), std::vector<unsigned char>(bytes, 0))
          << "the neighbours stay";
      EXPECT_EQ(std::vector<unsigned char>(data.begin() + 2 * bytes, data.end()), std::vector<unsigned char>(bytes, 0));
    }
  }
}

TEST_F(WaveValuesTest, ComplexPointsCarryBothParts) {
  for (const Kind& k : kKinds) {
    Handle w = Wave(std::string("c") + k.name, 1, k.typeCode | kWaveTypeComplexBit, {4, 2});
    const int32_t at[4] = {3, 1, 0, 0};
    const double value[2] = {100.75, -3.25};
    ASSERT_EQ(StoreWavePoint(w, at, value), 0) << k.name;
    double back[2] = {0, 0};
    ASSERT_EQ(FetchWavePoint(w, at, back), 0);
    double expected[2];
    for (int part = 0; part < 2; ++part) {
      unsigned char element[8];
      conversionref::WritePointValue(k, value[part], element);
      const conversionref::Value v = conversionref::ReadValue(k, element);
      expected[part] = v.isFloat ? v.real : static_cast<double>(v.integer);
    }
    EXPECT_EQ(back[0], expected[0]) << k.name;
    EXPECT_EQ(back[1], expected[1]) << k.name;
    // Point 7 is the last one: elements 14 and 15.
    const std::vector<unsigned char> data = Data(w);
    EXPECT_EQ(data.size(), 16u * k.bytes);
    std::vector<unsigned char> tail(2 * k.bytes);
    conversionref::WritePointValue(k, value[0], tail.data());
    conversionref::WritePointValue(k, value[1], tail.data() + k.bytes);
    EXPECT_EQ(std::vector<unsigned char>(data.end() - 2 * k.bytes, data.end()), tail) << k.name;
  }
}

TEST_F(WaveValuesTest, PointTypeRefusals) {
  const int32_t at[4] = {0, 0, 0, 0};
  const int32_t outside[4] = {9, 0, 0, 0};
  double pair[2] = {4, 5};
  Handle text = Wave("t", 1, kWaveTypeText, {4});
  EXPECT_EQ(FetchWavePoint(text, at, pair), kErrNotNumeric);
  EXPECT_EQ(FetchWavePoint(text, outside, pair), kErrPointOutsideWave) << "the index is checked first";

  Handle w = Wave("w", 1, kWaveTypeInt16, {4});
  Handle w0 = Wave("w0", 0, kWaveTypeInt16, {4});
  const std::vector<unsigned char> before = Data(w);
  for (int16_t type : {int16_t{1}, int16_t{0}, int16_t{98}, int16_t{-2}, int16_t{6}, int16_t{-32768}}) {
    const int32_t expected = (type == 0 || type == 1) ? kErrNotNumeric : kErrUnknownNumberType;
    Poke<int16_t>(w, kWaveLayout1.typeOffset, type);
    Poke<int16_t>(w0, kWaveLayout0.typeOffset, type);
    EXPECT_EQ(FetchWavePoint(w, at, pair), expected) << type;
    EXPECT_EQ(StoreWavePoint(w, at, pair), expected) << type;
    EXPECT_EQ(FetchWavePoint(w0, at, pair), expected) << type;
    EXPECT_EQ(StoreWavePoint(w0, at, pair), expected) << type;
  }
  EXPECT_EQ(pair[0], 4);
  EXPECT_EQ(pair[1], 5);
  EXPECT_EQ(Data(w), before);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(WaveValuesTest, PointsOfOtherLayoutsAreHandedToTheHost) {
  Handle w = Wave("o", 2, kWaveTypeUInt8, {8, 2});
  const int32_t at[4] = {7, 1, 0, 0};
  const double value[2] = {300.7, 0};
  host().ClearExchanges();
  EXPECT_EQ(StoreWavePoint(w, at, value), 0);
  ASSERT_EQ(Messages(), std::vector<int>{kMsgStoreWavePoint});
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w), AsItem(at), AsItem(value)}));
  double back[2] = {0, 0};
  EXPECT_EQ(FetchWavePoint(w, at, back), 0);
  EXPECT_EQ(Last().message, kMsgFetchWavePoint);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w), AsItem(at), AsItem(back)}));
  EXPECT_EQ(back[0], 44.0);
  const int32_t outside[4] = {8, 0, 0, 0};
  EXPECT_EQ(FetchWavePoint(w, outside, back), quorsim::kErrIndexOutOfRange) << "the host's own answer";
}

}  // namespace
}  // namespace moduletest
