// ConvertElements for all 64 (source kind, destination kind) pairs on 1M elements, in separate
// buffers and in place, beside memcpy of the larger side as the floor; and the in-place
// transforms ScaleClipRound (all three steps on) and OffsetAndScale for every real type, on 1M
// elements and on 32M, beside memcpy of as many elements. 1M elements of any kind stay in the
// second- and third-level caches, so memcpy there runs at the caches' speed; 32M elements
// (64 MB and more) are beyond them, and memcpy runs at the speed of memory.
// bench/run_conversion.sh puts the results beside numpy's in one table.
//
// Every call is timed on its own with the steady clock, and each benchmark reports its fastest
// call in nanoseconds per element as the counter "ns" (the in-place pairs report two counters):
// on a shared machine the fastest call is the one least disturbed by other work, and numpy's
// side is measured the same way. The in-place conversions need no refill: each benchmark takes
// one pair of kinds there and back, so every call finds the buffer holding elements of its own
// source kind, left there by the call before.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

#include "support/conversion.h"

namespace {

constexpr size_t kElements = size_t{1} << 20;
constexpr size_t kElementsBeyondCaches = size_t{1} << 25;

struct Kind {
  int32_t bytes, format, typeCode;
};
// Same order as the table of bench/run_conversion.sh.
constexpr Kind kKinds[8] = {{4, 3, 2},  {8, 3, 4},  {1, 1, 8},  {2, 1, 16},
                            {4, 1, 32}, {1, 2, 72}, {2, 2, 80}, {4, 2, 96}};

// Source data of a kind: integers with random bits, floating point uniform in +-1e5 (so most
// values also fit the integer kinds, as they would in practice). Made once per kind.
std::vector<unsigned char> MakeSourceData(const Kind& k) {
  const size_t elements = kElements;
  std::mt19937_64 rng(42 + k.typeCode);
  std::vector<unsigned char> bytes(elements * k.bytes);
  std::uniform_real_distribution<double> values(-1e5, 1e5);
  for (size_t i = 0; i < elements; ++i) {
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

// Seconds taken by one call.
template <typename Call>
double TimedCall(const Call& call) {
  benchmark::ClobberMemory();
  const auto start = std::chrono::steady_clock::now();
  call();
  benchmark::ClobberMemory();
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - start).count();
}

// The fastest of the calls seen, as nanoseconds per element.
struct Fastest {
  size_t elements = kElements;
  double seconds = std::numeric_limits<double>::infinity();
  void Add(double s) { seconds = std::min(seconds, s); }
  benchmark::Counter NanosecondsPerElement() const {
    return benchmark::Counter(seconds * 1e9 / static_cast<double>(elements));
  }
};

void BM_Convert(benchmark::State& state) {
  const Kind& from = kKinds[state.range(0)];
  const Kind& to = kKinds[state.range(1)];
  const std::vector<unsigned char>& source = SourceData(from);
  std::vector<unsigned char> destination(kElements * to.bytes);
  Fastest fastest;
  for (auto _ : state) {
    const double seconds = TimedCall([&] {
      ConvertElements(source.data(), destination.data(), static_cast<int32_t>(kElements), from.bytes, from.format,
                      to.bytes, to.format);
    });
    fastest.Add(seconds);
    state.SetIterationTime(seconds);
  }
  state.counters["ns"] = fastest.NanosecondsPerElement();
}

// In place, there (first kind to second) and back, one buffer; "there" and "back" are the
// fastest call of each direction.
void BM_ConvertInPlace(benchmark::State& state) {
  const Kind& a = kKinds[state.range(0)];
  const Kind& b = kKinds[state.range(1)];
  const std::vector<unsigned char>& source = SourceData(a);
  std::vector<unsigned char> buffer(kElements * std::max(a.bytes, b.bytes));
  std::memcpy(buffer.data(), source.data(), source.size());
  const auto n = static_cast<int32_t>(kElements);
  Fastest there, back;
  for (auto _ : state) {
    const double forward =
        TimedCall([&] { ConvertElements(buffer.data(), buffer.data(), n, a.bytes, a.format, b.bytes, b.format); });
    const double backward =
        TimedCall([&] { ConvertElements(buffer.data(), buffer.data(), n, b.bytes, b.format, a.bytes, a.format); });
    there.Add(forward);
    back.Add(backward);
    state.SetIterationTime(forward + backward);
  }
  state.counters["there"] = there.NanosecondsPerElement();
  state.counters["back"] = back.NanosecondsPerElement();
}

// The floor: copying the larger side's bytes (of the second argument's number of elements).
void BM_Memcpy(benchmark::State& state) {
  const size_t width = static_cast<size_t>(state.range(0));
  const size_t elements = static_cast<size_t>(state.range(1));
  std::vector<unsigned char> source(elements * width, 1), destination(elements * width);
  Fastest fastest{elements};
  for (auto _ : state) {
    const double seconds = TimedCall([&] { std::memcpy(destination.data(), source.data(), source.size()); });
    fastest.Add(seconds);
    state.SetIterationTime(seconds);
  }
  state.counters["ns"] = fastest.NanosecondsPerElement();
}

// The data of a transform benchmark: its kind's source data, repeated to fill 32M elements (the
// kernels take the same time whatever the values, and a copy is made much faster than values).
std::vector<unsigned char> TransformData(const Kind& k, size_t elements) {
  const std::vector<unsigned char>& source = SourceData(k);
  std::vector<unsigned char> data(elements * k.bytes);
  for (size_t at = 0; at < data.size(); at += source.size())
    std::memcpy(data.data() + at, source.data(), std::min(source.size(), data.size() - at));
  return data;
}

// Times one in-place transform of the benchmark's kind (first argument) on its number of
// elements (second argument); each call works on what the call before left (the kernels take
// the same time whatever the values).
template <typename Transform>
void TimeTransform(benchmark::State& state, const Transform& transform) {
  const Kind& k = kKinds[state.range(0)];
  const size_t elements = static_cast<size_t>(state.range(1));
  std::vector<unsigned char> data = TransformData(k, elements);
  Fastest fastest{elements};
  for (auto _ : state) {
    const double seconds = TimedCall([&] { transform(k, data.data(), static_cast<int32_t>(elements)); });
    fastest.Add(seconds);
    state.SetIterationTime(seconds);
  }
  state.counters["ns"] = fastest.NanosecondsPerElement();
}

// Offset, scale, clipping to explicit limits and rounding, all on.
void BM_ScaleClipRound(benchmark::State& state) {
  TimeTransform(state, [](const Kind& k, unsigned char* data, int32_t count) {
    const bool isUnsigned = k.format == 2;
    ScaleClipRound(k.typeCode, data, count, 0.5, 1.5, isUnsigned ? 10.0 : -100.0, isUnsigned ? 200.0 : 100.0, 1);
  });
}

// The same on 2-byte kinds with steps that single precision cannot hold: with offset 0.3, scale
// 1/sqrt(2), the kind's limits and rounding, floats round 26 of the 65,536 values the other way,
// the first of them the 16,377th tried. The cost of finding that out, and of the double-precision
// loop after it.
void BM_ScaleClipRoundUnheldInFloats(benchmark::State& state) {
  TimeTransform(state, [](const Kind& k, unsigned char* data, int32_t count) {
    ScaleClipRound(k.typeCode, data, count, 0.3, 0.7071067811865476, 0, 0, 1);
  });
}

void BM_OffsetAndScale(benchmark::State& state) {
  TimeTransform(state, [](const Kind& k, unsigned char* data, int32_t count) {
    const double offset = 0.25, scale = 0.999;
    OffsetAndScale(k.typeCode, data, &offset, &scale, count);
  });
}

void AllPairs(benchmark::internal::Benchmark* b) {
  for (int from = 0; from < 8; ++from)
    for (int to = 0; to < 8; ++to) b->Args({from, to});
}

// Each unordered pair of different kinds once: the benchmark goes both ways.
void UnorderedPairs(benchmark::internal::Benchmark* b) {
  for (int a = 0; a < 8; ++a)
    for (int c = a + 1; c < 8; ++c) b->Args({a, c});
}

BENCHMARK(BM_Convert)->Apply(AllPairs)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertInPlace)->Apply(UnorderedPairs)->UseManualTime()->Unit(benchmark::kMicrosecond);
// Every kind (or element width) on both sizes.
void KindsOnBothSizes(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> kinds) {
  for (const size_t elements : {kElements, kElementsBeyondCaches})
    for (const int64_t kind : kinds) b->Args({kind, static_cast<int64_t>(elements)});
}
void Widths(benchmark::internal::Benchmark* b) { KindsOnBothSizes(b, {1, 2, 4, 8}); }
void AllKinds(benchmark::internal::Benchmark* b) { KindsOnBothSizes(b, {0, 1, 2, 3, 4, 5, 6, 7}); }

BENCHMARK(BM_Memcpy)->Apply(Widths)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleClipRound)->Apply(AllKinds)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleClipRoundUnheldInFloats)
    ->Apply([](benchmark::internal::Benchmark* b) { KindsOnBothSizes(b, {3, 6}); })
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OffsetAndScale)->Apply(AllKinds)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

// --instruction_set=0, 1 or 2 measures the SSE2, AVX2 or AVX-512 variant of the kernels (the
// processor's widest by default).
int main(int argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--instruction_set=", 18) == 0) {
      LimitConversionInstructionSet(std::atoi(argv[i] + 18));
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
