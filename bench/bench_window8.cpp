// The 8-bit windowing of QV_TakePicture_8 on a 1280 x 1024 picture: the module's kernel beside
// the literal per-pixel formula compiled with the same flags, and beside memcpy of the 16-bit
// picture as the floor. Before timing, the kernel is checked bit for bit against the formula
// for all 65,536 pixel values under every window measured.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "camera/window8.h"

namespace {

constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 1024;
constexpr size_t kPixels = static_cast<size_t>(kWidth) * kHeight;

struct Window {
  const char* name;
  double low, high;
};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const Window kWindows[] = {{"normal", 0, 4096},   {"inverted", 4095, 0}, {"narrow", 100, 101},
                           {"equal", 7, 7},        {"huge", -1e308, 1e308}, {"nan", kNaN, 4096}};

// A 12-bit picture with the statistics of a real one: smooth structure plus fine noise.
const std::vector<uint16_t>& Picture() {
  static const std::vector<uint16_t> picture = [] {
    std::vector<uint16_t> p(kPixels);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        double v = 2048 + 1500 * std::sin(x * 0.01) * std::cos(y * 0.013) + ((seed >> 24) & 63);
        p[static_cast<size_t>(y) * kWidth + x] = static_cast<uint16_t>(std::clamp(v, 0.0, 4095.0));
      }
    return p;
  }();
  return picture;
}

bool KernelMatchesFormulaEverywhere() {
  std::vector<uint16_t> all(65536);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint16_t>(i);
  std::vector<uint8_t> out(all.size());
  for (const Window& w : kWindows) {
    WindowPixels(all.data(), all.size(), w.low, w.high, out.data());
    for (size_t i = 0; i < all.size(); ++i)
      if (out[i] != WindowPixelLiteral(all[i], w.low, w.high)) {
        std::fprintf(stderr, "window %s differs at pixel %zu\n", w.name, i);
        return false;
      }
  }
  return true;
}

void BM_WindowKernel(benchmark::State& state) {
  const Window& w = kWindows[state.range(0)];
  std::vector<uint8_t> out(kPixels);
  for (auto _ : state) {
    WindowPixels(Picture().data(), kPixels, w.low, w.high, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(w.name);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 2));
}

void BM_WindowLiteralLoop(benchmark::State& state) {
  const Window& w = kWindows[state.range(0)];
  std::vector<uint8_t> out(kPixels);
  const uint16_t* in = Picture().data();
  for (auto _ : state) {
    for (size_t i = 0; i < kPixels; ++i) out[i] = WindowPixelLiteral(in[i], w.low, w.high);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(w.name);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 2));
}

void BM_Memcpy16BitPicture(benchmark::State& state) {
  std::vector<uint16_t> out(kPixels);
  for (auto _ : state) {
    std::memcpy(out.data(), Picture().data(), kPixels * 2);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 2));
}

BENCHMARK(BM_WindowKernel)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowLiteralLoop)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy16BitPicture)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!KernelMatchesFormulaEverywhere()) return 1;
  std::fprintf(stderr, "window kernel: bit-identical to the formula for all 65536 pixel values\n");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
