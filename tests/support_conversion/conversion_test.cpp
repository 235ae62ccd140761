// The numeric conversions: the type-code tables, every one of the 64 kernels against the slow
// model on random and edge data (separate buffers, in place in both width directions, and at
// unaligned addresses), the float-to-integer rule on its boundaries, byte reversal, and the
// in-place transforms for every type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "support/conversion.h"
#include "support_conversion/conversion_reference.h"

namespace {

using conversionref::Kind;
using conversionref::kKinds;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------- instruction sets

// Runs the checks once with each instruction set the processor has, narrowest first: every
// kernel is compiled for each, and each variant must give the model's bits.
template <typename Checks>
void ForEachInstructionSet(const Checks& checks) {
  LimitConversionInstructionSet(kConversionAvx512);
  const int32_t widest = ConversionInstructionSet();
  for (int32_t set = kConversionSse2; set <= widest && !::testing::Test::HasFatalFailure(); ++set) {
    SCOPED_TRACE(set == kConversionSse2 ? "SSE2" : set == kConversionAvx2 ? "AVX2" : "AVX-512");
    LimitConversionInstructionSet(set);
    checks();
  }
  LimitConversionInstructionSet(kConversionAvx512);
}

TEST(InstructionSets, TheLimitNarrowsTheChoiceAndLiftingItRestoresTheProcessorsOwn) {
  LimitConversionInstructionSet(kConversionAvx512);
  const int32_t widest = ConversionInstructionSet();
  EXPECT_GE(widest, kConversionSse2);
  EXPECT_LE(widest, kConversionAvx512);
  LimitConversionInstructionSet(kConversionSse2);
  EXPECT_EQ(ConversionInstructionSet(), kConversionSse2);
  LimitConversionInstructionSet(kConversionAvx2);
  EXPECT_EQ(ConversionInstructionSet(), std::min(widest, kConversionAvx2));
  LimitConversionInstructionSet(kConversionAvx512);
  EXPECT_EQ(ConversionInstructionSet(), widest);
}

// ---------------------------------------------------------------- type codes

TEST(NumberTypes, DecodeKnowsTheEightTypesAndTheirComplexForms) {
  for (const Kind& k : kKinds) {
    for (int complex = 0; complex <= 1; ++complex) {
      int32_t bytes = -7, format = -7, isComplex = -7;
      EXPECT_EQ(DecodeNumberType(k.typeCode + complex, &bytes, &format, &isComplex), 0) << k.name;
      EXPECT_EQ(bytes, k.bytes) << k.name;
      EXPECT_EQ(format, k.format) << k.name;
      EXPECT_EQ(isComplex, complex) << k.name;
    }
  }
  int32_t bytes = 0, format = 0, isComplex = 0;
  ASSERT_EQ(DecodeNumberType(3, &bytes, &format, &isComplex), 0);
  EXPECT_EQ(bytes, 4);
  EXPECT_EQ(format, kDataFormatFloatingPoint);
  EXPECT_EQ(isComplex, 1);
}

TEST(NumberTypes, DecodeRefusesEveryOtherCodeButStillGivesTheComplexFlag) {
  for (int32_t code = -300; code <= 300; ++code) {
    const int32_t real = code & ~1;
    bool known = false;
    for (const Kind& k : kKinds) known = known || k.typeCode == real;
    if (known) continue;
    int32_t bytes = -7, format = -7, isComplex = -7;
    const int32_t expected = real == 0 ? kErrTextType : kErrNumberType;
    EXPECT_EQ(DecodeNumberType(code, &bytes, &format, &isComplex), expected) << code;
    EXPECT_EQ(isComplex, code & 1) << code;
    EXPECT_EQ(bytes, -7) << "untouched on failure, code " << code;
    EXPECT_EQ(format, -7) << "untouched on failure, code " << code;
  }
  int32_t bytes = 0, format = 0, isComplex = 0;
  EXPECT_EQ(DecodeNumberType(0, &bytes, &format, &isComplex), ERR_TEXT_TYPE);
  EXPECT_EQ(DecodeNumberType(1, &bytes, &format, &isComplex), ERR_TEXT_TYPE) << "complex text";
  EXPECT_EQ(DecodeNumberType(98, &bytes, &format, &isComplex), ERR_NUMBER_TYPE);
  EXPECT_EQ(DecodeNumberType(INT32_MIN, &bytes, &format, &isComplex), ERR_NUMBER_TYPE);
  EXPECT_EQ(DecodeNumberType(INT32_MAX, &bytes, &format, &isComplex), ERR_NUMBER_TYPE);
  EXPECT_EQ(isComplex, 1);
}

TEST(NumberTypes, EncodeIsTheInverseOfDecodeOnValidKindsAndRefusesTheRest) {
  for (int32_t format = -1; format <= 5; ++format) {
    for (int32_t bytes = -1; bytes <= 9; ++bytes) {
      int32_t expectedCode = -1;
      for (const Kind& k : kKinds)
        if (k.bytes == bytes && k.format == format) expectedCode = k.typeCode;
      int32_t code = 12345;
      const int32_t result = EncodeNumberType(bytes, format, &code);
      if (expectedCode < 0) {
        EXPECT_EQ(result, kErrNumberType) << bytes << " bytes, format " << format;
        EXPECT_EQ(code, 12345) << "untouched on failure";
      } else {
        EXPECT_EQ(result, 0) << bytes << " bytes, format " << format;
        EXPECT_EQ(code, expectedCode) << bytes << " bytes, format " << format;
      }
    }
  }
}

// ---------------------------------------------------------------- data for the kernels

// Source values that sit on the rules' boundaries, as doubles.
std::vector<double> EdgeDoubles() {
  std::vector<double> v = {0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 1.5, -1.5, 2.5, -2.5, 300.7, -1.9,
                           std::nextafter(0.5, 0.0), std::nextafter(0.5, 1.0), std::nextafter(-0.5, 0.0),
                           std::nextafter(-0.5, -1.0), 127.0, 127.5, 128.0, -128.0, -128.5, -129.0, 255.0,
                           255.9, 256.0, 32767.5, 32768.0, -32768.9, 65535.9, 65536.0, 2147483647.0,
                           2147483647.5, 2147483648.0, 2147483648.5, -2147483648.0, -2147483648.5,
                           -2147483648.9999995, -2147483649.0, -2147483649.5, 4294967295.0, 4294967295.5,
                           4294967296.0, 4294967297.0, 0x1p52 + 1, 0x1p53, 0x1p63 - 1024, 0x1p63, 0x1p64,
                           -0x1p63, -0x1p63 - 2048, 1e19, -1e19, 1e300, -1e300, double(FLT_MAX),
                           -double(FLT_MAX), double(FLT_MAX) * (1 + 0x1p-25), double(FLT_MAX) * (1 + 0x1p-23),
                           double(FLT_MIN), 1e-310, -1e-310, 1e-46, kInf, -kInf, kNaN, -kNaN, 16777217.0,
                           0.1, 1.0 / 3.0};
  return v;
}

// Raw bytes of count elements of a kind: random bit patterns (for floats: NaNs, infinities and
// subnormals among them), random magnitudes, and the edge values.
std::vector<unsigned char> SourceData(const Kind& k, size_t count, std::mt19937_64& rng) {
  std::vector<unsigned char> bytes(count * k.bytes);
  const std::vector<double> edges = EdgeDoubles();
  static const int64_t edgeIntegers[] = {0,     1,     -1,    127,        128,        -128,       -129,
                                         255,   256,   32767, 32768,      -32768,     65535,      65536,
                                         INT32_MAX, INT32_MIN, 0x80000000LL, 0xFFFFFFFFLL, 0x7FFFFFFFLL, 0xFFFFLL};
  std::uniform_real_distribution<double> exponent(-40, 70);
  for (size_t i = 0; i < count; ++i) {
    unsigned char* p = bytes.data() + i * k.bytes;
    const uint64_t bits = rng();
    switch (rng() % 4) {
      case 0:  // a random bit pattern
        std::memcpy(p, &bits, k.bytes);
        break;
      case 1: {  // a value of random magnitude and sign, with a fraction
        double x = std::exp2(exponent(rng)) * ((bits & 1) ? -1 : 1);
        if (conversionref::IsFloat(k)) {
          conversionref::WriteValue(k, {true, 0, x}, p);
        } else {
          conversionref::WriteLowBytes(static_cast<int64_t>(bits >> 1) >> (rng() % 63), k.bytes, p);
        }
        break;
      }
      default:  // an edge value
        if (conversionref::IsFloat(k)) {
          const double x = edges[rng() % edges.size()];
          if (k.bytes == 8) {
            std::memcpy(p, &x, 8);
          } else {
            // Doubles beyond the float range become infinities of their sign.
            const float f = std::fabs(x) > FLT_MAX ? (x > 0 ? INFINITY : -INFINITY) : static_cast<float>(x);
            std::memcpy(p, &f, 4);
          }
        } else {
          conversionref::WriteLowBytes(edgeIntegers[rng() % std::size(edgeIntegers)], k.bytes, p);
        }
        break;
    }
  }
  return bytes;
}

std::string PairName(const Kind& from, const Kind& to) { return std::string(from.name) + " -> " + to.name; }

// The first element where two runs differ, as a readable message, or empty.
std::string FirstDifference(const Kind& from, const Kind& to, const unsigned char* source,
                            const unsigned char* expected, const unsigned char* actual, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (std::memcmp(expected + i * to.bytes, actual + i * to.bytes, to.bytes) != 0) {
      return PairName(from, to) + ": element " + std::to_string(i) + " of " + std::to_string(count) +
             ", source " + conversionref::Hex(source + i * from.bytes, from.bytes) + ", expected " +
             conversionref::Hex(expected + i * to.bytes, to.bytes) + ", got " +
             conversionref::Hex(actual + i * to.bytes, to.bytes);
    }
  }
  return {};
}

const size_t kCounts[] = {0, 1, 2, 3, 7, 31, 511, 512, 513, 1024, 1500, 4099};
// In place, long runs too: they are converted in several direct steps before the last block.
const size_t kInPlaceCounts[] = {0, 1, 2, 7, 9, 511, 512, 513, 1025, 1500, 4099, 9000, 65537};

// ---------------------------------------------------------------- the 64 kernels

TEST(ConvertElements, EveryPairMatchesTheModelInSeparateBuffers) {
  ForEachInstructionSet([&] {
    std::mt19937_64 rng(1);
    for (const Kind& from : kKinds) {
      for (const Kind& to : kKinds) {
        for (size_t count : kCounts) {
          for (size_t misalign : {0u, 1u, 3u}) {
            const std::vector<unsigned char> data = SourceData(from, count, rng);
            std::vector<unsigned char> source(data.size() + 8), destination(count * to.bytes + 16, 0xEE);
            if (!data.empty()) std::memcpy(source.data() + misalign, data.data(), data.size());
            std::vector<unsigned char> expected(count * to.bytes);
            conversionref::Convert(from, to, data.data(), expected.data(), count);
            const int32_t result = ConvertElements(source.data() + misalign, destination.data() + misalign,
                                                   static_cast<int32_t>(count), from.bytes, from.format, to.bytes,
                                                   to.format);
            EXPECT_EQ(result, &from == &to ? kCopiedSameKind : kConvertedElements) << PairName(from, to);
            const std::string difference =
                FirstDifference(from, to, data.data(), expected.data(), destination.data() + misalign, count);
            ASSERT_TRUE(difference.empty()) << difference << " (misaligned by " << misalign << ")";
            for (size_t i = 0; i < misalign; ++i) ASSERT_EQ(destination[i], 0xEE) << "wrote before the run";
            for (size_t i = misalign + count * to.bytes; i < destination.size(); ++i)
              ASSERT_EQ(destination[i], 0xEE) << PairName(from, to) << ": wrote past the run";
          }
        }
      }
    }
  });
}

TEST(ConvertElements, EveryPairMatchesTheModelInPlaceInBothWidthDirections) {
  ForEachInstructionSet([&] {
    std::mt19937_64 rng(2);
    for (const Kind& from : kKinds) {
      for (const Kind& to : kKinds) {
        for (size_t count : kInPlaceCounts) {
          for (size_t misalign : {0u, 2u}) {
            const std::vector<unsigned char> data = SourceData(from, count, rng);
            const size_t width = std::max(from.bytes, to.bytes);
            std::vector<unsigned char> buffer(count * width + 16, 0xEE);
            unsigned char* run = buffer.data() + misalign;
            if (!data.empty()) std::memcpy(run, data.data(), data.size());
            std::vector<unsigned char> expected(count * to.bytes);
            conversionref::Convert(from, to, data.data(), expected.data(), count);
            ConvertElements(run, run, static_cast<int32_t>(count), from.bytes, from.format, to.bytes, to.format);
            const std::string difference = FirstDifference(from, to, data.data(), expected.data(), run, count);
            ASSERT_TRUE(difference.empty()) << difference << " (in place, misaligned by " << misalign << ")";
            for (size_t i = misalign + count * width; i < buffer.size(); ++i)
              ASSERT_EQ(buffer[i], 0xEE) << PairName(from, to) << ": wrote past the buffer";
          }
        }
      }
    }
  });
}

TEST(ConvertElements, SameKindCopiesOnceAndLeavesDataAloneInPlace) {
  std::mt19937_64 rng(3);
  for (const Kind& k : kKinds) {
    const std::vector<unsigned char> data = SourceData(k, 1000, rng);
    std::vector<unsigned char> copy(data.size(), 0);
    EXPECT_EQ(ConvertElements(data.data(), copy.data(), 1000, k.bytes, k.format, k.bytes, k.format), kCopiedSameKind);
    EXPECT_EQ(copy, data) << k.name << ": bit for bit, NaN payloads included";
    std::vector<unsigned char> inPlace = data;
    EXPECT_EQ(ConvertElements(inPlace.data(), inPlace.data(), 1000, k.bytes, k.format, k.bytes, k.format),
              kCopiedSameKind);
    EXPECT_EQ(inPlace, data) << k.name;
  }
  // A copy between runs that overlap partly still gives the source's elements.
  std::vector<int16_t> values = {1, 2, 3, 4, 5, 6, 0, 0};
  EXPECT_EQ(ConvertElements(values.data(), values.data() + 2, 6, 2, 1, 2, 1), kCopiedSameKind);
  EXPECT_EQ(values, (std::vector<int16_t>{1, 2, 1, 2, 3, 4, 5, 6}));
}

TEST(ConvertElements, InvalidKindsReturnOneAndTouchNothing) {
  const struct {
    int32_t bytes, format;
  } invalid[] = {{8, 1}, {8, 2}, {2, 3}, {1, 3}, {3, 1}, {0, 1}, {-4, 3}, {16, 3}, {4, 0}, {4, 4}, {4, -1}};
  for (const auto& bad : invalid) {
    for (const Kind& good : kKinds) {
      std::vector<unsigned char> source(64, 0x11), destination(64, 0x22);
      EXPECT_EQ(ConvertElements(source.data(), destination.data(), 4, bad.bytes, bad.format, good.bytes, good.format),
                kInvalidElementKind)
          << bad.bytes << "/" << bad.format;
      EXPECT_EQ(ConvertElements(source.data(), destination.data(), 4, good.bytes, good.format, bad.bytes, bad.format),
                kInvalidElementKind)
          << bad.bytes << "/" << bad.format;
      EXPECT_EQ(destination, std::vector<unsigned char>(64, 0x22));
      EXPECT_EQ(source, std::vector<unsigned char>(64, 0x11));
    }
  }
  int64_t sink = 0;
  EXPECT_EQ(ConvertElements(nullptr, &sink, 1, 8, 1, 8, 3), kInvalidElementKind) << "8-byte integers";
  EXPECT_EQ(ConvertElements(nullptr, &sink, 1, 2, 3, 8, 3), kInvalidElementKind) << "2-byte floats";
}

TEST(ConvertElements, NonPositiveCountsConvertNothing) {
  std::vector<unsigned char> source(64, 0x11), destination(64, 0x22);
  for (int32_t count : {0, -1, INT32_MIN}) {
    EXPECT_EQ(ConvertElements(source.data(), destination.data(), count, 2, 1, 8, 3), kConvertedElements);
    EXPECT_EQ(ConvertElements(source.data(), destination.data(), count, 4, 3, 4, 3), kCopiedSameKind);
    EXPECT_EQ(destination, std::vector<unsigned char>(64, 0x22));
  }
}

// ---------------------------------------------------------------- the rules on named values

template <typename S, typename D>
D ConvertOne(S value, int32_t fromBytes, int32_t fromFormat, int32_t toFormat) {
  D out{};
  EXPECT_EQ(ConvertElements(&value, &out, 1, fromBytes, fromFormat, static_cast<int32_t>(sizeof(D)), toFormat), 0);
  return out;
}

TEST(ConvertElements, IntegerWideningFollowsTheSourceSignedness) {
  ForEachInstructionSet([&] {
    EXPECT_EQ((ConvertOne<int8_t, uint32_t>(-1, 1, 1, 2)), 4294967295u);
    EXPECT_EQ((ConvertOne<uint8_t, int32_t>(255, 1, 2, 1)), 255);
    EXPECT_EQ((ConvertOne<int16_t, int32_t>(-2, 2, 1, 1)), -2);
    EXPECT_EQ((ConvertOne<uint16_t, int32_t>(65535, 2, 2, 1)), 65535);
    EXPECT_EQ((ConvertOne<int8_t, uint16_t>(-128, 1, 1, 2)), 0xFF80);
    EXPECT_EQ((ConvertOne<int32_t, uint8_t>(0x12345678, 4, 1, 2)), 0x78) << "narrowing keeps the low byte";
    EXPECT_EQ((ConvertOne<uint32_t, int16_t>(0xFFFF8001u, 4, 2, 1)), -32767);
    EXPECT_EQ((ConvertOne<int32_t, uint32_t>(-5, 4, 1, 2)), 0xFFFFFFFBu) << "same width, other signedness";
  });
}

TEST(ConvertElements, UnsignedFourByteSourcesStayPositiveAsFloatingPoint) {
  ForEachInstructionSet([&] {
    EXPECT_EQ((ConvertOne<uint32_t, double>(0x80000000u, 4, 2, 3)), 2147483648.0);
    EXPECT_EQ((ConvertOne<uint32_t, double>(0xFFFFFFFFu, 4, 2, 3)), 4294967295.0);
    EXPECT_EQ((ConvertOne<uint32_t, float>(0xFFFFFFFFu, 4, 2, 3)), 4294967296.0f) << "nearest float";
    EXPECT_EQ((ConvertOne<int32_t, float>(16777217, 4, 1, 3)), 16777216.0f) << "ties to even";
    EXPECT_EQ((ConvertOne<int32_t, double>(INT32_MIN, 4, 1, 3)), -2147483648.0);
  });
}

TEST(ConvertElements, FloatingPointToIntegerTruncatesAndKeepsLowOrderBytes) {
  ForEachInstructionSet([&] {
    EXPECT_EQ((ConvertOne<double, uint8_t>(300.7, 8, 3, 2)), 44);
    EXPECT_EQ((ConvertOne<double, uint8_t>(-1.9, 8, 3, 2)), 255);
    EXPECT_EQ((ConvertOne<double, uint16_t>(-1.5, 8, 3, 2)), 65535);
    EXPECT_EQ((ConvertOne<double, int8_t>(-128.9, 8, 3, 1)), -128);
    EXPECT_EQ((ConvertOne<double, int8_t>(128.0, 8, 3, 1)), -128);
    EXPECT_EQ((ConvertOne<double, int32_t>(2147483647.9, 8, 3, 1)), INT32_MAX);
    EXPECT_EQ((ConvertOne<double, int32_t>(-2147483648.9, 8, 3, 1)), INT32_MIN) << "truncates into range";
    EXPECT_EQ((ConvertOne<double, uint32_t>(3e9, 8, 3, 2)), 3000000000u) << "through the 64-bit intermediate";
    EXPECT_EQ((ConvertOne<double, uint32_t>(4294967301.0, 8, 3, 2)), 5u);
    EXPECT_EQ((ConvertOne<double, uint32_t>(-1.5, 8, 3, 2)), 0xFFFFFFFFu);
    EXPECT_EQ((ConvertOne<double, int16_t>(3000000000.0, 8, 3, 1)), 0x5E00) << "beyond 32 bits, low bytes";
    EXPECT_EQ((ConvertOne<double, uint8_t>(4294967167.0, 8, 3, 2)), 0x7F);
    EXPECT_EQ((ConvertOne<float, uint8_t>(300.7f, 4, 3, 2)), 44);
    EXPECT_EQ((ConvertOne<float, uint32_t>(3e9f, 4, 3, 2)), 3000000000u);
  });
}

TEST(ConvertElements, NaNInfinitiesAndValuesBeyondSixtyFourBitsGiveTheLowBytesOfINT64_MIN) {
  ForEachInstructionSet([&] {
    for (double x : {kNaN, -kNaN, kInf, -kInf, 0x1p63, -0x1p63 - 2048, 1e19, 1e300, -1e300}) {
      EXPECT_EQ((ConvertOne<double, int32_t>(x, 8, 3, 1)), 0) << x;
      EXPECT_EQ((ConvertOne<double, int16_t>(x, 8, 3, 1)), 0) << x;
      EXPECT_EQ((ConvertOne<double, uint16_t>(x, 8, 3, 2)), 0) << x;
      EXPECT_EQ((ConvertOne<double, int8_t>(x, 8, 3, 1)), 0) << x;
      EXPECT_EQ((ConvertOne<double, uint8_t>(x, 8, 3, 2)), 0) << x;
      EXPECT_EQ((ConvertOne<double, uint32_t>(x, 8, 3, 2)), 0u) << x;
      EXPECT_EQ((ConvertOne<float, int32_t>(static_cast<float>(x), 4, 3, 1)), 0) << x;
    }
    // Within the 64-bit integers every kind keeps the low bytes of the whole integer.
    EXPECT_EQ((ConvertOne<double, int32_t>(2147483648.0, 8, 3, 1)), INT32_MIN);
    EXPECT_EQ((ConvertOne<double, int32_t>(-2147483649.0, 8, 3, 1)), INT32_MAX);
    EXPECT_EQ((ConvertOne<double, uint8_t>(-2147483649.0, 8, 3, 2)), 0xFF);
    EXPECT_EQ((ConvertOne<float, int32_t>(-0x1p63f, 4, 3, 1)), 0) << "INT64_MIN itself";
    EXPECT_EQ((ConvertOne<double, uint32_t>(0x1p63 - 1024, 8, 3, 2)), 0xFFFFFC00u) << "the largest double below 2^63";
    EXPECT_EQ((ConvertOne<double, int16_t>(-(0x1p63 - 1024), 8, 3, 1)), 0x0400);
    EXPECT_EQ((ConvertOne<double, uint32_t>(0x1p62 + 0x1p33 + 0x1p12 * 3, 8, 3, 2)), 0x3000u);
    EXPECT_EQ((ConvertOne<double, uint32_t>(-4294967297.0, 8, 3, 2)), 0xFFFFFFFFu);
    EXPECT_EQ((ConvertOne<float, int16_t>(0x1p31f + 0x1p8f, 4, 3, 1)), 0x0100);
    // The most negative values that truncate into 32 bits.
    EXPECT_EQ((ConvertOne<double, int32_t>(-2147483648.9999995, 8, 3, 1)), INT32_MIN);
    EXPECT_EQ((ConvertOne<double, int16_t>(-2147483647.5, 8, 3, 1)), 1) << "-2147483647: low bytes 0x0001";
  });
}

TEST(ConvertElements, FloatingPointWidthsRoundToNearest) {
  ForEachInstructionSet([&] {
    EXPECT_EQ((ConvertOne<double, float>(0.1, 8, 3, 3)), 0.1f);
    EXPECT_EQ((ConvertOne<double, float>(1e300, 8, 3, 3)), INFINITY);
    EXPECT_EQ((ConvertOne<double, float>(-1e300, 8, 3, 3)), -INFINITY);
    EXPECT_EQ((ConvertOne<double, float>(double(FLT_MAX) * (1 + 0x1p-25), 8, 3, 3)), FLT_MAX) << "below the half ulp";
    EXPECT_TRUE(std::isnan(ConvertOne<double, float>(kNaN, 8, 3, 3)));
    EXPECT_EQ((ConvertOne<float, double>(0.1f, 4, 3, 3)), double(0.1f)) << "exact";
    const double negativeZero = ConvertOne<float, double>(-0.0f, 4, 3, 3);
    EXPECT_TRUE(std::signbit(negativeZero));
  });
}

TEST(ConvertElements, SixteenBitIntegersWidenInPlaceToFloatsFromTheLastElement) {
  ForEachInstructionSet([&] {
    unsigned char buffer[16] = {};
    const int16_t values[4] = {-32768, -1, 1, 32767};
    std::memcpy(buffer, values, sizeof values);
    ASSERT_EQ(ConvertElements(buffer, buffer, 4, 2, 1, 4, 3), 0);
    float out[4];
    std::memcpy(out, buffer, sizeof out);
    EXPECT_EQ(out[0], -32768.0f);
    EXPECT_EQ(out[1], -1.0f);
    EXPECT_EQ(out[2], 1.0f);
    EXPECT_EQ(out[3], 32767.0f);
    // And back, narrowing in place from the first element.
    ASSERT_EQ(ConvertElements(buffer, buffer, 4, 4, 3, 2, 1), 0);
    int16_t back[4];
    std::memcpy(back, buffer, sizeof back);
    EXPECT_EQ(std::vector<int16_t>(back, back + 4), std::vector<int16_t>(values, values + 4));
  });
}

TEST(ConvertNumberTypes, DecodesBothCodesAndRefusesComplexTextAndUnknownCodes) {
  const uint8_t source[4] = {200, 1, 255, 0};
  double out[4] = {};
  EXPECT_EQ(ConvertNumberTypes(source, out, 4, 72, 4), 0);
  EXPECT_EQ(std::vector<double>(out, out + 4), (std::vector<double>{200, 1, 255, 0}));
  int8_t signedOut[4] = {};
  EXPECT_EQ(ConvertNumberTypes(source, signedOut, 4, 72, 8), 0);
  EXPECT_EQ(signedOut[0], -56);
  uint8_t copy[4] = {};
  EXPECT_EQ(ConvertNumberTypes(source, copy, 4, 72, 72), -1);
  EXPECT_EQ(std::memcmp(copy, source, 4), 0);
  double untouched[4] = {7, 7, 7, 7};
  for (auto [from, to] : {std::pair{73, 4}, {72, 5}, {0, 4}, {72, 0}, {98, 4}, {72, -2}, {1, 1}}) {
    EXPECT_EQ(ConvertNumberTypes(source, untouched, 4, from, to), 1) << from << " -> " << to;
  }
  EXPECT_EQ(std::vector<double>(untouched, untouched + 4), std::vector<double>(4, 7.0));
}

// ---------------------------------------------------------------- byte reversal

TEST(ReverseElementBytes, ReversesEachElementOfAnyWidth) {
  unsigned char four[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ReverseElementBytes(four, 4, 2);
  EXPECT_EQ(std::vector<unsigned char>(four, four + 8), (std::vector<unsigned char>{4, 3, 2, 1, 8, 7, 6, 5}));
  for (int32_t width : {1, 2, 3, 4, 5, 8, 16}) {
    std::vector<unsigned char> original(width * 37 + 3);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<unsigned char>(i * 7 + 1);
    std::vector<unsigned char> want = original;
    for (int e = 0; e < 37; ++e) std::reverse(want.begin() + 1 + e * width, want.begin() + 1 + (e + 1) * width);
    std::vector<unsigned char> data = original;
    ReverseElementBytes(data.data() + 1, width, 37);  // unaligned; the bytes around the run stay
    EXPECT_EQ(data, want) << width;
  }
  unsigned char untouched[4] = {1, 2, 3, 4};
  ReverseElementBytes(untouched, 4, 0);
  ReverseElementBytes(untouched, 4, -3);
  ReverseElementBytes(untouched, 0, 1);
  ReverseElementBytes(untouched, -4, 1);
  EXPECT_EQ(std::vector<unsigned char>(untouched, untouched + 4), (std::vector<unsigned char>{1, 2, 3, 4}));
}

// ---------------------------------------------------------------- in-place transforms

// The steps of ScaleClipRound, from the rules, over a whole run.
// OffsetAndScale by the model: nothing for offset 0 and scale 1, else every element scaled.
void OffsetAndScaleModel(const Kind& k, unsigned char* data, size_t count, double offset, double scale) {
  if (offset == 0 && scale == 1) return;
  for (size_t i = 0; i < count; ++i)
    conversionref::ScaleClipRoundElement(k, data + i * k.bytes, true, offset, scale, false, 0, 0, false);
}

void ScaleClipRoundModel(const Kind& k, unsigned char* data, size_t count, double offset, double scale, double low,
                         double high, bool rounding) {
  const bool scaling = offset != 0 || scale != 1;
  bool clipping = !(std::isinf(low) && low < 0 && std::isinf(high) && high > 0);
  if (low == 0 && high == 0) {
    if (conversionref::IsFloat(k)) {
      clipping = false;
    } else if (k.format == 1) {
      low = -std::ldexp(1.0, 8 * k.bytes - 1);
      high = std::ldexp(1.0, 8 * k.bytes - 1) - 1;
    } else {
      high = std::ldexp(1.0, 8 * k.bytes) - 1;
    }
  }
  if (!scaling && !clipping && !rounding) return;
  for (size_t i = 0; i < count; ++i)
    conversionref::ScaleClipRoundElement(k, data + i * k.bytes, scaling, offset, scale, clipping, low, high,
                                         rounding);
}

struct TransformCase {
  double offset, scale, low, high;
};

std::vector<TransformCase> TransformCases(std::mt19937_64& rng) {
  std::vector<TransformCase> cases = {
      {0, 1, 0, 0},        {0, 2, 0, 0},         {0.5, 1, 0, 0},          {-3.25, 0.5, -10, 10},
      {0, 1, -kInf, kInf}, {1, 1, -kInf, kInf},  {0, 1, 5, -5},           {0, 1, -kInf, 100},
      {0, 1, -100, kInf},  {0, -1, 0, 0},        {1e10, 1e10, 0, 0},      {0, kNaN, 0, 0},
      {kNaN, 1, 0, 0},     {0, 1, kNaN, kNaN},   {-0.5, 1, -1e300, 1e300}, {0, 1e-3, -2.5, 2.5},
      {0, 1, kInf, -kInf}, {0.49999999999999994, 1, 0, 0},
  };
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int i = 0; i < 40; ++i) {
    const double a = unit(rng) * std::exp2(unit(rng) * 40), b = unit(rng) * std::exp2(unit(rng) * 40);
    cases.push_back({unit(rng) * std::exp2(unit(rng) * 20), unit(rng) * std::exp2(unit(rng) * 10), std::min(a, b),
                     std::max(a, b)});
  }
  return cases;
}

TEST(ScaleClipRound, EveryTypeMatchesTheModelForEveryStepCombination) {
  ForEachInstructionSet([&] {
    std::mt19937_64 rng(4);
    for (const Kind& k : kKinds) {
      for (const TransformCase& c : TransformCases(rng)) {
        for (int32_t rounding : {0, 1}) {
          for (size_t count : {size_t{0}, size_t{1}, size_t{5}, size_t{777}}) {
            const std::vector<unsigned char> data = SourceData(k, count, rng);
            std::vector<unsigned char> expected = data;
            ScaleClipRoundModel(k, expected.data(), count, c.offset, c.scale, c.low, c.high, rounding != 0);
            std::vector<unsigned char> buffer(data.size() + 2, 0xEE);
            if (!data.empty()) std::memcpy(buffer.data() + 1, data.data(), data.size());
            ScaleClipRound(k.typeCode, buffer.data() + 1, static_cast<int32_t>(count), c.offset, c.scale, c.low,
                           c.high, rounding);
            const std::string difference =
                FirstDifference(k, k, data.data(), expected.data(), buffer.data() + 1, count);
            ASSERT_TRUE(difference.empty()) << "ScaleClipRound " << difference << " offset " << c.offset << " scale "
                                            << c.scale << " low " << c.low << " high " << c.high << " round "
                                            << rounding;
            ASSERT_EQ(buffer.front(), 0xEE);
            ASSERT_EQ(buffer.back(), 0xEE);
          }
        }
      }
    }
  });
}

TEST(InPlaceTransforms, LongRunsOfSmallTypesGiveTheSameResultsAsShortOnes) {
  ForEachInstructionSet([&] {
    // One- and two-byte elements of long runs are mapped through a table of all their values.
    std::mt19937_64 rng(7);
    for (const Kind& k : kKinds) {
      if (k.bytes > 2 || conversionref::IsFloat(k)) continue;
      for (const TransformCase& c : {TransformCase{0.5, 1.5, -100, 200}, TransformCase{-3, 0.37, 0, 0},
                                     TransformCase{0, 1, 5, -5}, TransformCase{1e10, -1e10, 0, 0},
                                     TransformCase{kNaN, 1, 0, 0}}) {
        const size_t count = 70000;
        const std::vector<unsigned char> data = SourceData(k, count, rng);
        for (int32_t rounding : {0, 1}) {
          std::vector<unsigned char> expected = data;
          ScaleClipRoundModel(k, expected.data(), count, c.offset, c.scale, c.low, c.high, rounding != 0);
          std::vector<unsigned char> buffer = data;
          ScaleClipRound(k.typeCode, buffer.data(), static_cast<int32_t>(count), c.offset, c.scale, c.low, c.high,
                         rounding);
          const std::string difference = FirstDifference(k, k, data.data(), expected.data(), buffer.data(), count);
          ASSERT_TRUE(difference.empty()) << "ScaleClipRound " << difference;
        }
        std::vector<unsigned char> expected = data;
        OffsetAndScaleModel(k, expected.data(), count, c.offset, c.scale);
        std::vector<unsigned char> buffer = data;
        OffsetAndScale(k.typeCode, buffer.data(), &c.offset, &c.scale, static_cast<int32_t>(count));
        const std::string difference = FirstDifference(k, k, data.data(), expected.data(), buffer.data(), count);
        ASSERT_TRUE(difference.empty()) << "OffsetAndScale " << difference;
      }
    }
  });
}

TEST(InPlaceTransforms, LongTwoByteRunsMatchTheModelWhetherOrNotSinglePrecisionGetsTheSteps) {
  ForEachInstructionSet([&] {
    // Long runs of 2-byte elements may be transformed in single precision, but only after that
    // form has given the model's result for all 65,536 values with the call's steps. Steps that
    // floats hold exactly, and steps they cannot hold: an offset just below a half rounds to the
    // half in a float, which moves most rounded results up by one, and with offset 0.25 and
    // scale 0.999, or 0.3 and 1/sqrt(2), and the kind's limits, floats round a few dozen values
    // the other way. On runs holding every value, started two bytes past an aligned address.
    const size_t count = (size_t{1} << 19) + 37;
    std::mt19937_64 rng(19);
    for (const Kind& k : kKinds) {
      if (k.bytes != 2 || conversionref::IsFloat(k)) continue;
      std::vector<uint16_t> values(count + 1);
      for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint16_t>(i * 40503u);
      std::shuffle(values.begin() + 1, values.end(), rng);
      for (const TransformCase& c :
           {TransformCase{0.5, 1.5, -100, 100}, TransformCase{0, 2, 0, 0}, TransformCase{-7, 0.25, -5e3, 4e4},
            TransformCase{0.5 - 0x1p-40, 1, 0, 0}, TransformCase{0.25, 0.999, 0, 0},
            TransformCase{0.3, 0.7071067811865476, 0, 0}, TransformCase{kNaN, 1, 0, 0},
            TransformCase{1e10, -1e10, 0, 0}, TransformCase{0.3, 1, 0.1, 0.9}}) {
        for (int32_t rounding : {0, 1}) {
          SCOPED_TRACE(::testing::Message() << "offset " << c.offset << " scale " << c.scale << " limits " << c.low
                                            << ".." << c.high << " rounding " << rounding);
          const unsigned char* data = reinterpret_cast<const unsigned char*>(values.data() + 1);
          std::vector<unsigned char> expected(data, data + count * 2);
          ScaleClipRoundModel(k, expected.data(), count, c.offset, c.scale, c.low, c.high, rounding != 0);
          std::vector<uint16_t> buffer = values;
          ScaleClipRound(k.typeCode, buffer.data() + 1, static_cast<int32_t>(count), c.offset, c.scale, c.low, c.high,
                         rounding);
          const auto* result = reinterpret_cast<const unsigned char*>(buffer.data() + 1);
          const std::string difference = FirstDifference(k, k, data, expected.data(), result, count);
          ASSERT_TRUE(difference.empty()) << difference;
        }
      }
    }
  });
}

TEST(ScaleClipRound, NamedCases) {
  ForEachInstructionSet([&] {
    uint8_t bytes[2] = {200, 3};
    ScaleClipRound(72, bytes, 2, 0, 2, 0, 0, 1);
    EXPECT_EQ(bytes[0], 255) << "clipped to the type's range";
    EXPECT_EQ(bytes[1], 6);

    // Doubles with limits 0 and 0 and neither scaling nor rounding: nothing at all, NaN included.
    double values[3] = {1e300, -kNaN, 2.5};
    unsigned char before[sizeof values];
    std::memcpy(before, values, sizeof values);
    ScaleClipRound(4, values, 3, 0, 1, 0, 0, 0);
    EXPECT_EQ(std::memcmp(before, values, sizeof values), 0);

    // Low above high: the result is high.
    int16_t shorts[3] = {-100, 0, 100};
    ScaleClipRound(16, shorts, 3, 0, 1, 10, -10, 0);
    EXPECT_EQ(std::vector<int16_t>(shorts, shorts + 3), (std::vector<int16_t>{-10, -10, -10}));

    // Rounding halves away from zero.
    double halves[6] = {2.5, -2.5, 0.5, -0.5, 1.4999999999999998, 0.49999999999999994};
    ScaleClipRound(4, halves, 6, 0, 1, -kInf, kInf, 1);
    EXPECT_EQ(std::vector<double>(halves, halves + 6), (std::vector<double>{3, -3, 1, -1, 1, 0}));

    // Signed 32-bit limits from the type; the unsigned 32-bit range reaches 4294967295.
    int32_t ints[2] = {INT32_MAX, INT32_MIN};
    ScaleClipRound(32, ints, 2, 0, 4, 0, 0, 0);
    EXPECT_EQ(ints[0], INT32_MAX);
    EXPECT_EQ(ints[1], INT32_MIN);
    uint32_t words[2] = {0x80000000u, 3};
    ScaleClipRound(96, words, 2, 0, 2, 0, 0, 0);
    EXPECT_EQ(words[0], 4294967295u);
    EXPECT_EQ(words[1], 6u);
    int32_t unclipped[1] = {-1101279645};
    ScaleClipRound(32, unclipped, 1, 0, 2, -kInf, kInf, 0);
    EXPECT_EQ(static_cast<uint32_t>(unclipped[0]), 0x7CB79CC6u) << "low bytes of -2202559290";

    // With NaN among the element, the offset and the scale, the first of them that is NaN.
    const uint64_t nanBits[3] = {0xFFF8000000000123ull, 0x7FF8000000000456ull, 0x7FF0000000000789ull};
    double nans[3];
    std::memcpy(nans, nanBits, sizeof nans);
    double mixed[2] = {nans[0], 1.0};
    ScaleClipRound(4, mixed, 2, nans[1], nans[2], 0, 0, 1);
    const uint64_t firstNaNs[2] = {nanBits[0], nanBits[1]};
    EXPECT_EQ(std::memcmp(mixed, firstNaNs, sizeof mixed), 0) << "the element's, then the offset's";

    // Complex and text codes leave the data alone.
    float complexData[2] = {1.5f, 2.5f};
    ScaleClipRound(3, complexData, 2, 1, 2, 0, 0, 1);
    ScaleClipRound(0, complexData, 2, 1, 2, 0, 0, 1);
    ScaleClipRound(98, complexData, 2, 1, 2, 0, 0, 1);
    EXPECT_EQ(complexData[0], 1.5f);
    EXPECT_EQ(complexData[1], 2.5f);
  });
}

TEST(OffsetAndScale, EveryTypeMatchesTheModel) {
  ForEachInstructionSet([&] {
    std::mt19937_64 rng(5);
    for (const Kind& k : kKinds) {
      for (const TransformCase& c : TransformCases(rng)) {
        const size_t count = 600;
        const std::vector<unsigned char> data = SourceData(k, count, rng);
        std::vector<unsigned char> expected = data;
        OffsetAndScaleModel(k, expected.data(), count, c.offset, c.scale);
        std::vector<unsigned char> buffer = data;
        OffsetAndScale(k.typeCode, buffer.data(), &c.offset, &c.scale, static_cast<int32_t>(count));
        const std::string difference = FirstDifference(k, k, data.data(), expected.data(), buffer.data(), count);
        ASSERT_TRUE(difference.empty()) << "OffsetAndScale " << difference << " offset " << c.offset << " scale "
                                        << c.scale;
      }
    }
  });
}

TEST(OffsetAndScale, NamedCases) {
  ForEachInstructionSet([&] {
    uint8_t bytes[3] = {150, 10, 0};
    const double offset = 0, scale = 2;
    OffsetAndScale(72, bytes, &offset, &scale, 3);
    EXPECT_EQ(bytes[0], 44) << "300: low-order byte, no clipping";
    EXPECT_EQ(bytes[1], 20);
    const double half = -0.5, one = 1;
    int16_t shorts[2] = {1, -1};
    OffsetAndScale(16, shorts, &half, &one, 2);
    EXPECT_EQ(shorts[0], 0) << "0.5 truncated";
    EXPECT_EQ(shorts[1], -1) << "-1.5 truncated";
    // Beyond 32 bits the low bytes of the whole integer.
    const double minusOne = -1, tenBillion = 1e10;
    int32_t lowest[1] = {INT32_MIN};
    OffsetAndScale(32, lowest, &minusOne, &one, 1);
    EXPECT_EQ(lowest[0], INT32_MAX);
    int16_t scaled[1] = {1};
    OffsetAndScale(16, scaled, &offset, &tenBillion, 1);
    EXPECT_EQ(static_cast<uint16_t>(scaled[0]), 0xE400);
    // An element that is NaN keeps its own NaN when the offset is NaN too.
    const uint32_t elementNaN = 0xFFC00000u;
    float floats[1];
    std::memcpy(floats, &elementNaN, 4);
    OffsetAndScale(2, floats, &kNaN, &one, 1);
    EXPECT_EQ(std::memcmp(floats, &elementNaN, 4), 0);
    // Offset 0 and scale 1 leave everything alone, even NaN payloads of doubles.
    double values[2] = {-kNaN, 1e300};
    unsigned char before[sizeof values];
    std::memcpy(before, values, sizeof values);
    const double zero = 0;
    OffsetAndScale(4, values, &zero, &one, 2);
    EXPECT_EQ(std::memcmp(before, values, sizeof values), 0);
    // Complex data is left alone.
    double pair[2] = {1, 2};
    OffsetAndScale(5, pair, &half, &scale, 2);
    EXPECT_EQ(pair[0], 1);
    EXPECT_EQ(pair[1], 2);
  });
}

// ---------------------------------------------------------------- transforms on the boundaries

// The integers of a kind's range, as doubles.
double KindLowest(const Kind& k) { return k.format == 1 ? -std::ldexp(1.0, 8 * k.bytes - 1) : 0.0; }
double KindHighest(const Kind& k) {
  return k.format == 1 ? std::ldexp(1.0, 8 * k.bytes - 1) - 1 : std::ldexp(1.0, 8 * k.bytes) - 1;
}

// Cases whose limits sit in the middle of a kind's range, on halves, beside and on the kind's
// own limits, beyond them, at zero of either sign, NaN and infinite; with and without scaling
// (offset 0 and scale 1 switch it off), and scales that make exact halves of whole numbers.
std::vector<TransformCase> BoundaryCases(const Kind& k) {
  const double lowest = conversionref::IsFloat(k) ? -1e6 : KindLowest(k);
  const double highest = conversionref::IsFloat(k) ? 1e6 : KindHighest(k);
  std::vector<TransformCase> cases = {
      {0, 1, 10.5, 100.5},  {0, 0.5, -20.5, 20.5}, {0.5, 1, -2.5, 2.5},   {0, 1, -0.0, 0.0},
      {0, 1, 0.0, -0.0},    {-0.5, -1, -3, 3},     {0, 1, kNaN, 5},       {0, 1, -5, kNaN},
      {0, 1, -kInf, 7.5},   {0, 1, -7.5, kInf},    {0, 0, 0, 0},          {0, 1, 0, 0},
      {0, 2, 0, 0},         {0.5, 1.5, -100, 100}, {0.5, 1.5, 10, 200},   {0.25, 0.999, 0, 0},
      {0, -1, 0, 0},        {0, 1, 3, 3},          {0, 1, 7, -7},         {0, 1, -kInf, kInf},
      {0, 1, lowest - 0.5, highest + 0.5}, {0, 1, lowest + 0.5, highest - 0.5},
      {0, 1, lowest - 1, highest + 1},     {0, 1, std::nextafter(lowest, -kInf), std::nextafter(highest, kInf)},
      {0.5, 1, lowest, highest},           {-0.5, 1, lowest, highest},
      {0, 1, -1e300, 1e300},               {1e300, 1e10, -kInf, kInf},
  };
  return cases;
}

// Elements of kind k beside every boundary of a case: the values whose scaled image lies on,
// just below and just above each limit and each half between whole numbers near them, zeros
// of both signs, the kind's own limits, and for floating point NaN (quiet and signalling),
// infinities, subnormals and the magnitudes where halves stop being representable.
std::vector<unsigned char> BoundaryData(const Kind& k, const TransformCase& c) {
  std::vector<double> targets = {0.0, -0.0, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5};
  for (double limit : {c.low, c.high}) {
    if (!std::isfinite(limit)) continue;
    for (double d = -3; d <= 3; d += 0.5) targets.push_back(limit + d);
    targets.push_back(std::nextafter(limit, -kInf));
    targets.push_back(std::nextafter(limit, kInf));
  }
  std::vector<double> values;
  const double scale = c.scale == 0 || !std::isfinite(c.scale) ? 1 : c.scale;
  const double offset = std::isfinite(c.offset) ? c.offset : 0;
  for (double t : targets) {
    const double x = t / scale - offset;  // (x + offset) * scale is about t
    values.push_back(x);
    values.push_back(std::nextafter(x, -kInf));
    values.push_back(std::nextafter(x, kInf));
  }
  std::vector<unsigned char> bytes;
  auto add = [&](const unsigned char* p) { bytes.insert(bytes.end(), p, p + k.bytes); };
  unsigned char element[8];
  if (conversionref::IsFloat(k)) {
    for (double x : {kNaN, -kNaN, kInf, -kInf, 1e-310, -1e-310, double(FLT_MIN), -double(FLT_MIN), 1e-46, 0x1p52 - 0.5,
                     -(0x1p52 - 0.5), 0x1p52, 0x1p52 + 1, -(0x1p52 + 1), 0x1p53, 0.49999999999999994,
                     -0.49999999999999994, 8388607.5, -8388607.5, 8388608.0, 16777217.0, double(FLT_MAX), 1e300,
                     -1e300, DBL_MAX})
      values.push_back(x);
    for (double x : values) {
      conversionref::WriteValue(k, {true, 0, x}, element);
      add(element);
    }
    // Signalling NaNs of both signs, and a quiet one with a payload.
    const uint64_t doubleNaNs[] = {0x7FF0000000000001ull, 0xFFF0000000000005ull, 0x7FF8000000000123ull};
    const uint32_t floatNaNs[] = {0x7F800001u, 0xFF800005u, 0x7FC00123u};
    for (int i = 0; i < 3; ++i) {
      if (k.bytes == 8) {
        std::memcpy(element, &doubleNaNs[i], 8);
      } else {
        std::memcpy(element, &floatNaNs[i], 4);
      }
      add(element);
    }
  } else {
    const double lowest = KindLowest(k), highest = KindHighest(k);
    for (double x : {lowest, lowest + 1, highest - 1, highest, 0.0, 1.0, -1.0}) values.push_back(x);
    for (double x : values) {
      if (!(x >= lowest - 2 && x <= highest + 2)) continue;
      for (double v = std::floor(x) - 1; v <= std::floor(x) + 2; ++v) {
        if (v < lowest || v > highest) continue;
        conversionref::WriteLowBytes(static_cast<int64_t>(v), k.bytes, element);
        add(element);
      }
    }
  }
  return bytes;
}

// Runs ScaleClipRound and the model on the same elements; the first difference, or empty.
std::string CompareScaleClipRound(const Kind& k, const std::vector<unsigned char>& data, const TransformCase& c,
                                  int32_t rounding, size_t misalign) {
  const size_t count = data.size() / k.bytes;
  std::vector<unsigned char> expected = data;
  ScaleClipRoundModel(k, expected.data(), count, c.offset, c.scale, c.low, c.high, rounding != 0);
  std::vector<unsigned char> buffer(data.size() + misalign + 1, 0xEE);
  if (!data.empty()) std::memcpy(buffer.data() + misalign, data.data(), data.size());
  ScaleClipRound(k.typeCode, buffer.data() + misalign, static_cast<int32_t>(count), c.offset, c.scale, c.low, c.high,
                 rounding);
  std::string difference = FirstDifference(k, k, data.data(), expected.data(), buffer.data() + misalign, count);
  bool outside = buffer.back() != 0xEE;
  for (size_t i = 0; i < misalign; ++i) outside = outside || buffer[i] != 0xEE;
  if (difference.empty() && outside) difference = "wrote outside the run";
  if (!difference.empty())
    difference += " offset " + std::to_string(c.offset) + " scale " + std::to_string(c.scale) + " low " +
                  std::to_string(c.low) + " high " + std::to_string(c.high) + " round " + std::to_string(rounding);
  return difference;
}

TEST(ScaleClipRound, ValuesBesideEveryBoundaryMatchTheModel) {
  ForEachInstructionSet([&] {
    for (const Kind& k : kKinds) {
      for (const TransformCase& c : BoundaryCases(k)) {
        const std::vector<unsigned char> edges = BoundaryData(k, c);
        // The edges once (with every count of leftover elements after the last whole group),
        // and repeated past the length where one- and two-byte kinds go through a table.
        for (size_t drop = 0; drop < 9; ++drop) {
          const std::vector<unsigned char> data(edges.begin(), edges.end() - std::min(edges.size(), drop * k.bytes));
          for (int32_t rounding : {0, 1}) {
            const std::string difference = CompareScaleClipRound(k, data, c, rounding, drop % 3);
            ASSERT_TRUE(difference.empty()) << difference;
          }
        }
        std::vector<unsigned char> repeated;
        while (repeated.size() < 300 * static_cast<size_t>(k.bytes))
          repeated.insert(repeated.end(), edges.begin(), edges.end());
        for (int32_t rounding : {0, 1}) {
          const std::string difference = CompareScaleClipRound(k, repeated, c, rounding, 1);
          ASSERT_TRUE(difference.empty()) << difference << " (repeated)";
        }
      }
    }
  });
}

TEST(OffsetAndScale, ValuesBesideEveryBoundaryMatchTheModel) {
  ForEachInstructionSet([&] {
    for (const Kind& k : kKinds) {
      for (const TransformCase& c : BoundaryCases(k)) {
        const std::vector<unsigned char> data = BoundaryData(k, c);
        const size_t count = data.size() / k.bytes;
        std::vector<unsigned char> expected = data;
        OffsetAndScaleModel(k, expected.data(), count, c.offset, c.scale);
        std::vector<unsigned char> buffer = data;
        OffsetAndScale(k.typeCode, buffer.data(), &c.offset, &c.scale, static_cast<int32_t>(count));
        const std::string difference = FirstDifference(k, k, data.data(), expected.data(), buffer.data(), count);
        ASSERT_TRUE(difference.empty()) << "OffsetAndScale " << difference << " offset " << c.offset << " scale "
                                        << c.scale;
      }
    }
  });
}

TEST(InPlaceTransforms, EveryValueOfTheSmallKindsMatchesTheModelDirectlyAndThroughTheTable) {
  // Every value of the one- and two-byte kinds: in runs too short for the table (so through
  // the vector loop) and in one long run (through the table, mapped by the byte permutes
  // where the processor has them).
  std::mt19937_64 rng(8);
  ForEachInstructionSet([&] {
    for (const Kind& k : kKinds) {
      if (k.bytes > 2 || conversionref::IsFloat(k)) continue;
      const size_t values = size_t{1} << (8 * k.bytes);
      std::vector<unsigned char> all(values * k.bytes);
      for (size_t v = 0; v < values; ++v)
        conversionref::WriteLowBytes(static_cast<int64_t>(v), k.bytes, &all[v * k.bytes]);
      std::vector<unsigned char> longRun = all;
      for (size_t i = 0; i < (k.bytes == 1 ? 3 : 1) * values; ++i) {  // then values in random order
        const size_t v = rng() % values;
        longRun.insert(longRun.end(), all.begin() + v * k.bytes, all.begin() + (v + 1) * k.bytes);
      }
      std::vector<TransformCase> cases = BoundaryCases(k);
      cases.resize(std::min<size_t>(cases.size(), k.bytes == 1 ? cases.size() : 12));
      for (const TransformCase& c : cases) {
        for (int32_t rounding : {0, 1}) {
          const size_t shortRun = values - 1;
          const std::vector<unsigned char> first(all.begin(), all.begin() + shortRun * k.bytes);
          const std::vector<unsigned char> last(all.begin() + shortRun * k.bytes, all.end());
          const std::vector<unsigned char>* runs[] = {&first, &last, &longRun};
          for (const std::vector<unsigned char>* data : runs) {
            const std::string difference = CompareScaleClipRound(k, *data, c, rounding, 0);
            ASSERT_TRUE(difference.empty()) << difference << " (run of " << data->size() / k.bytes << ")";
          }
        }
      }
    }
  });
}

// ---------------------------------------------------------------- rounding

TEST(RoundHalfAway, HalvesGoAwayFromZero) {
  EXPECT_EQ(RoundHalfAway(2.5), 3);
  EXPECT_EQ(RoundHalfAway(-2.5), -3);
  EXPECT_EQ(RoundHalfAway(3.5), 4);
  EXPECT_EQ(RoundHalfAway(0.5), 1);
  EXPECT_EQ(RoundHalfAway(-0.5), -1);
  EXPECT_EQ(RoundHalfAway(2.4999999999999996), 2);
  EXPECT_EQ(RoundHalfAway(-1.2), -1);
  EXPECT_EQ(RoundHalfAway(0x1p52 - 0.5), 0x1p52);
  EXPECT_TRUE(std::isnan(RoundHalfAway(kNaN)));
  EXPECT_EQ(RoundHalfAway(kInf), kInf);
  EXPECT_EQ(RoundHalfAway(-kInf), -kInf);
  EXPECT_FALSE(std::signbit(RoundHalfAway(-0.0))) << "-0.0 is not below 0: it rounds as +0.0";
  EXPECT_TRUE(std::signbit(RoundHalfAway(-0.3))) << "ceiling of -0.8";
}

TEST(RoundHalfAway, DoesNotDoubleRoundWhereXPlusAHalfIsInexact) {
  // floor(x + 0.5) would give 1 here and the next even integer above 2^52.
  EXPECT_EQ(RoundHalfAway(0.49999999999999994), 0);
  EXPECT_EQ(RoundHalfAway(-0.49999999999999994), 0);
  EXPECT_EQ(RoundHalfAway(0x1p52 + 1), 0x1p52 + 1);
  EXPECT_EQ(RoundHalfAway(-(0x1p52 + 1)), -(0x1p52 + 1));
  EXPECT_EQ(RoundHalfAway(0x1p53 + 2), 0x1p53 + 2);
}

TEST(RoundHalfAway, AgreesWithFloorAndCeilingWhereTheHalfIsExact) {
  std::mt19937_64 rng(6);
  std::uniform_int_distribution<int64_t> whole(-(int64_t{1} << 40), int64_t{1} << 40);
  std::uniform_int_distribution<int> sixteenths(0, 15);
  for (int i = 0; i < 200000; ++i) {
    const double x = static_cast<double>(whole(rng)) + sixteenths(rng) / 16.0;  // x - 0.5 and x + 0.5 exact
    const double literal = x < 0 ? std::ceil(x - 0.5) : std::floor(x + 0.5);
    ASSERT_EQ(RoundHalfAway(x), literal) << x;
    ASSERT_EQ(std::signbit(RoundHalfAway(x)), std::signbit(literal)) << x;
  }
}

}  // namespace
