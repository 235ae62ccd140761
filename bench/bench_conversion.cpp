// ConvertElements for all 64 (source kind, destination kind) pairs on 1M elements, in separate
// buffers and in place, beside memcpy of the larger side as the floor; and the in-place
// transforms ScaleClipRound (all three steps on) and OffsetAndScale for every real type.
// bench/run_conversion.sh puts the results beside numpy's in one table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "support/conversion.h"

namespace {

constexpr size_t kElements = size_t{1} << 20;

struct Kind {
  int32_t bytes, format, typeCode;
};
// Same order as the table of bench/run_conversion.sh.
constexpr Kind kKinds[8] = {{4, 3, 2},  {8, 3, 4},  {1, 1, 8},  {2, 1, 16},
                            {4, 1, 32}, {1, 2, 72}, {2, 2, 80}, {4, 2, 96}};

// Source data of a kind: integers with random bits, floating point uniform in +-1e5 (so most
// values also fit the integer kinds, as they would in practice). Made once per kind.
std::vector<unsigned char> MakeSourceData(const Kind& k) {
  std::mt19937_64 rng(42 + k.typeCode);
  std::vector<unsigned char> bytes(kElements * k.bytes);
  std::uniform_real_distribution<double> values(-1e5, 1e5);
  for (size_t i = 0; i < kElements; ++i) {
    unsigned char* p = bytes.data() + i * k.bytes;
    if (k.format == 3) {
      const double x = values(rng);
      if (k.bytes == 8) {
        std::memcpy(p, &x, 8);
      } else {
        const float f = static_cast<float>(x);
        std::memcpy(p, &f, 4);
      }
    } else {
      const uint64_t bits = rng();
      std::memcpy(p, &bits, k.bytes);
    }
  }
  return bytes;
}

const std::vector<unsigned char>& SourceData(const Kind& k) {
  static std::vector<unsigned char> made[8];
  std::vector<unsigned char>& data = made[&k - kKinds];
  if (data.empty()) data = MakeSourceData(k);
  return data;
}

void SetCounters(benchmark::State& state, size_t bytesPerElement) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kElements));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kElements * bytesPerElement));
}

void BM_Convert(benchmark::State& state) {
  const Kind& from = kKinds[state.range(0)];
  const Kind& to = kKinds[state.range(1)];
  const std::vector<unsigned char>& source = SourceData(from);
  std::vector<unsigned char> destination(kElements * to.bytes);
  for (auto _ : state) {
    ConvertElements(source.data(), destination.data(), static_cast<int32_t>(kElements), from.bytes, from.format,
                    to.bytes, to.format);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, from.bytes + to.bytes);
}

// Each conversion runs on a fresh copy of the source, made with the timer paused.
void BM_ConvertInPlace(benchmark::State& state) {
  const Kind& from = kKinds[state.range(0)];
  const Kind& to = kKinds[state.range(1)];
  const std::vector<unsigned char>& source = SourceData(from);
  std::vector<unsigned char> buffer(kElements * std::max(from.bytes, to.bytes));
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(buffer.data(), source.data(), source.size());
    state.ResumeTiming();
    ConvertElements(buffer.data(), buffer.data(), static_cast<int32_t>(kElements), from.bytes, from.format, to.bytes,
                    to.format);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, from.bytes + to.bytes);
}

// The floor: copying the larger side's bytes.
void BM_Memcpy(benchmark::State& state) {
  const size_t width = static_cast<size_t>(state.range(0));
  std::vector<unsigned char> source(kElements * width, 1), destination(kElements * width);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), source.size());
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, 2 * width);
}

// Offset, scale, clipping to explicit limits and rounding, all on; the loop is data-independent,
// so the data may keep changing from one iteration to the next.
void BM_ScaleClipRound(benchmark::State& state) {
  const Kind& k = kKinds[state.range(0)];
  std::vector<unsigned char> data = SourceData(k);
  const bool isUnsigned = k.format == 2;
  for (auto _ : state) {
    ScaleClipRound(k.typeCode, data.data(), static_cast<int32_t>(kElements), 0.5, 1.5, isUnsigned ? 10.0 : -100.0,
                   isUnsigned ? 200.0 : 100.0, 1);
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, 2 * k.bytes);
}

void BM_OffsetAndScale(benchmark::State& state) {
  const Kind& k = kKinds[state.range(0)];
  std::vector<unsigned char> data = SourceData(k);
  const double offset = 0.25, scale = 0.999;
  for (auto _ : state) {
    OffsetAndScale(k.typeCode, data.data(), &offset, &scale, static_cast<int32_t>(kElements));
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, 2 * k.bytes);
}

// The best repetition, as numpy's side takes its best run: on a shared machine the minimum is
// the measurement least disturbed by other work.
double Fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

void AllPairs(benchmark::internal::Benchmark* b) {
  for (int from = 0; from < 8; ++from)
    for (int to = 0; to < 8; ++to) b->Args({from, to});
}

BENCHMARK(BM_Convert)->Apply(AllPairs)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_ConvertInPlace)->Apply(AllPairs)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Memcpy)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_ScaleClipRound)->DenseRange(0, 7)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_OffsetAndScale)->DenseRange(0, 7)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

}  // namespace

BENCHMARK_MAIN();
