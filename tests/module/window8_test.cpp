// The 8-bit window: the rule for one pixel at its edges, and the fast kernel against the rule
// for every 16-bit pixel value under windows of every kind.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "camera/window8.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(WindowPixelLiteral, MapsTheWindowOntoZeroTo255AndSaturatesAbove) {
  EXPECT_EQ(WindowPixelLiteral(4095, 0, 4096), 255);
  EXPECT_EQ(WindowPixelLiteral(2048, 0, 4096), 128);
  EXPECT_EQ(WindowPixelLiteral(15, 0, 4096), 0);  // 0.9375 truncated
  EXPECT_EQ(WindowPixelLiteral(16, 0, 4096), 1);
  EXPECT_EQ(WindowPixelLiteral(150, 100, 200), 128);
  EXPECT_EQ(WindowPixelLiteral(199, 100, 200), 253);  // 253.44 truncated
  EXPECT_EQ(WindowPixelLiteral(200, 100, 200), 255);  // 256 saturated
  EXPECT_EQ(WindowPixelLiteral(4000, 100, 200), 255);
  EXPECT_EQ(WindowPixelLiteral(65535, 0, 4096), 255);
}

TEST(WindowPixelLiteral, InvertedWindowTurnsThePictureOver) {
  EXPECT_EQ(WindowPixelLiteral(4095, 4095, 0), 0);
  EXPECT_EQ(WindowPixelLiteral(0, 4095, 0), 255);
  EXPECT_EQ(WindowPixelLiteral(2048, 4096, 0), 128);
  EXPECT_EQ(WindowPixelLiteral(4096, 4095, 0), 0) << "above low in an inverted window: negative";
}

TEST(WindowPixelLiteral, PixelsBelowLowGiveZeroNeverWrapToWhite) {
  EXPECT_EQ(WindowPixelLiteral(99, 100, 200), 0);   // s = -2.56
  EXPECT_EQ(WindowPixelLiteral(0, 100, 200), 0);    // s = -256
  EXPECT_EQ(WindowPixelLiteral(0, 4000, 4001), 0);  // s = -1024000
  EXPECT_EQ(WindowPixelLiteral(0, 60000, 65535), 0);
}

TEST(WindowPixelLiteral, ZeroWidthWindowIsAThreshold) {
  EXPECT_EQ(WindowPixelLiteral(7, 7, 7), 255);
  EXPECT_EQ(WindowPixelLiteral(8, 7, 7), 255);
  EXPECT_EQ(WindowPixelLiteral(6, 7, 7), 0);
  EXPECT_EQ(WindowPixelLiteral(0, 0, 0), 255);
  EXPECT_EQ(WindowPixelLiteral(65535, 2000.5, 2000.5), 255);
  EXPECT_EQ(WindowPixelLiteral(2000, 2000.5, 2000.5), 0);
}

TEST(WindowPixelLiteral, WindowsThatAreNotNumbersGiveZero) {
  for (double bad : {kNaN, kInf, -kInf}) {
    for (uint16_t p : {uint16_t{0}, uint16_t{100}, uint16_t{4095}, uint16_t{65535}}) {
      EXPECT_EQ(WindowPixelLiteral(p, bad, 4096), 0) << bad << " " << p;
      EXPECT_EQ(WindowPixelLiteral(p, 0, bad), 0) << bad << " " << p;
      EXPECT_EQ(WindowPixelLiteral(p, bad, bad), 0) << bad << " " << p;
    }
  }
  // Finite ends whose difference overflows: the scaled value is infinite over infinite.
  EXPECT_EQ(WindowPixelLiteral(4095, -1e308, 1e308), 0);
  // A tiny window: everything above 0 is far above high.
  EXPECT_EQ(WindowPixelLiteral(1, 0, 1e-300), 255);
  EXPECT_EQ(WindowPixelLiteral(0, 0, 1e-300), 0);
}

struct Window {
  double low, high;
};

const Window kWindows[] = {
    {0, 4096},      {4095, 0},     {100, 101},   {7, 7},        {-1e308, 1e308},   {0, 1e-300},
    {kNaN, 4096},   {0, kNaN},     {kInf, 0},    {0, kInf},     {-kInf, 4096},     {0, -kInf},
    {100, 200},     {-5.5, 70000}, {65535, 0},   {3000, 3000.0000001}, {0.3, 0.7},  {-1e-300, 1e-300},
    {100, 3000},    {100.5, 2000.25}, {6261, 38932}, {31585, 1471}, {4096.5, 4096.5}, {-3, -3},
};

std::vector<uint16_t> AllPixelValues() {
  std::vector<uint16_t> all(65536);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint16_t>(i);
  return all;
}

TEST(WindowPixels, KernelIsBitIdenticalToTheRuleForEveryPixelValue) {
  const std::vector<uint16_t> all = AllPixelValues();
  std::vector<uint8_t> out(all.size());
  for (const Window& w : kWindows) {
    WindowPixels(all.data(), all.size(), w.low, w.high, out.data());
    int mismatches = 0;
    for (size_t i = 0; i < all.size(); ++i) mismatches += out[i] != WindowPixelLiteral(all[i], w.low, w.high);
    EXPECT_EQ(mismatches, 0) << w.low << ".." << w.high;
  }
}

TEST(WindowPixels, PicturesOfEverySizeAndRangeMatchTheRule) {
  // Small runs (the rule per pixel) and large ones (table or formula, with a ragged end),
  // 12-bit and full-range values.
  uint32_t seed = 99;
  for (size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{5000}, size_t{16384}, size_t{16399}, size_t{200000}}) {
    for (uint32_t range : {4096u, 65536u, 1u}) {
      std::vector<uint16_t> pixels(count);
      for (uint16_t& p : pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = static_cast<uint16_t>((seed >> 8) % range);
      }
      for (const Window& w : kWindows) {
        std::vector<uint8_t> out(count + 1, 0xA5);  // one guard byte past the end
        WindowPixels(pixels.data(), count, w.low, w.high, out.data());
        int mismatches = 0;
        for (size_t i = 0; i < count; ++i) mismatches += out[i] != WindowPixelLiteral(pixels[i], w.low, w.high);
        EXPECT_EQ(mismatches, 0) << count << " pixels below " << range << ", window " << w.low << ".." << w.high;
        EXPECT_EQ(out[count], 0xA5) << "nothing is written past the picture";
      }
    }
  }
}

// Windows drawn at random from the kinds users type (integers, fractions, binary fractions,
// negative starts, narrow and wide), each proved against the rule on all 65,536 pixel values.
TEST(WindowPixels, RandomWindowsAreBitIdenticalToTheRule) {
  const std::vector<uint16_t> all = AllPixelValues();
  std::vector<uint8_t> out(all.size());
  uint64_t seed = 42;
  auto next = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return seed >> 33;
  };
  int failedWindows = 0;
  for (int i = 0; i < 250; ++i) {
    double low = 0, high = 0;
    switch (i % 5) {
      case 0: low = next() % 70000; high = next() % 70000; break;
      case 1: low = next() % 70000 + (next() % 1000) / 1000.0; high = next() % 70000 + (next() % 1000) / 997.0; break;
      case 2: low = std::ldexp(next() % 1000000, -static_cast<int>(next() % 40));
              high = low + std::ldexp(next() % 1000000, -static_cast<int>(next() % 30)); break;
      case 3: low = static_cast<double>(next() % 100000) - 30000; high = low + static_cast<double>(next() % 5000) - 2500; break;
      default: low = next() % 4096; high = low + 1 + next() % 64; break;
    }
    WindowPixels(all.data(), all.size(), low, high, out.data());
    for (size_t p = 0; p < all.size(); ++p)
      if (out[p] != WindowPixelLiteral(all[p], low, high)) {
        ADD_FAILURE() << "window " << low << ".." << high << " differs at pixel " << p;
        ++failedWindows;
        break;
      }
  }
  EXPECT_EQ(failedWindows, 0);
}

}  // namespace
