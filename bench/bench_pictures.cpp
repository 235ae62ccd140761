// QV_TakePicture_12 and QV_TakePicture_8 end to end: the simulated host calls the loaded
// Ombrel.so, which grabs a 1280 x 1024 picture with zero exposure from the simulated camera
// and puts it into a wave. The floor beside them is memcpy of the 16-bit picture's bytes, and
// beside that the three passes over the picture that the 16-bit path is made of.
// Every call is timed on its own; the counter "fastest_us" is the fastest call, the one least
// disturbed by other work on a shared machine, and "memcpys" that time over memcpy's fastest.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "sim/host/quorsim.h"

namespace {

constexpr size_t kPictureBytes = 1280u * 1024u * 2u;

// The fastest memcpy of the picture seen so far (the memcpy benchmark runs first).
double fastestMemcpySeconds = 0;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ReportFastest(benchmark::State& state, double fastest) {
  state.counters["fastest_us"] = fastest * 1e6;
  if (fastestMemcpySeconds > 0) state.counters["memcpys"] = fastest / fastestMemcpySeconds;
}

quorsim::Host& LoadedHost() {
  static std::unique_ptr<quorsim::Host> host = [] {
    auto h = std::make_unique<quorsim::Host>(quorsim::HostOptions{});
    std::string error;
    if (!h->Load(OMBREL_MODULE_PATH, &error)) {
      std::fprintf(stderr, "cannot load the module: %s\n", error.c_str());
      std::exit(1);
    }
    quorsim::CallOutcome outcome;
    h->Call("QV_InitCam", {}, &outcome, &error);
    h->Call("QV_SetValues", {quorsim::Argument::Num(1), quorsim::Argument::Num(0)}, &outcome, &error);
    return h;
  }();
  return *host;
}

void TakePicture(benchmark::State& state, const char* function, std::vector<quorsim::Argument> args) {
  quorsim::Host& host = LoadedHost();
  // The camera functions report their progress on standard output; keep it out of the table
  // while the benchmark runs and give the reporter its standard output back afterwards.
  std::fflush(stdout);
  int savedStdout = dup(1);
  int devNull = open("/dev/null", O_WRONLY);
  dup2(devNull, 1);
  std::string error;
  quorsim::CallOutcome outcome;
  double fastest = std::numeric_limits<double>::infinity();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool called = host.Call(function, args, &outcome, &error);
    const double seconds = Seconds(start);
    if (!called || outcome.errorCode != 0) {
      state.SkipWithError("picture failed");
      break;
    }
    fastest = std::min(fastest, seconds);
    state.SetIterationTime(seconds);
    host.ClearExchanges();
  }
  std::fflush(stdout);
  dup2(savedStdout, 1);
  close(savedStdout);
  close(devNull);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPictureBytes));
  ReportFastest(state, fastest);
}

void BM_TakePicture12(benchmark::State& state) {
  TakePicture(state, "QV_TakePicture_12", {quorsim::Argument::Str("bench12")});
}

void BM_TakePicture8(benchmark::State& state) {
  TakePicture(state, "QV_TakePicture_8",
              {quorsim::Argument::Str("bench8"), quorsim::Argument::Num(0), quorsim::Argument::Num(4096)});
}

// Times `work` once per iteration and returns the fastest call, in seconds; the bytes processed
// are the picture's.
template <typename Work>
double FastestOfPictureWork(benchmark::State& state, const Work& work) {
  double fastest = std::numeric_limits<double>::infinity();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    work();
    benchmark::ClobberMemory();
    const double seconds = Seconds(start);
    fastest = std::min(fastest, seconds);
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPictureBytes));
  return fastest;
}

void BM_MemcpyPictureBytes(benchmark::State& state) {
  std::vector<char> from(kPictureBytes, 1), to(kPictureBytes);
  const double fastest = FastestOfPictureWork(state, [&] {
    std::memcpy(to.data(), from.data(), kPictureBytes);
    benchmark::DoNotOptimize(to.data());
  });
  fastestMemcpySeconds = fastestMemcpySeconds > 0 ? std::min(fastestMemcpySeconds, fastest) : fastest;
  ReportFastest(state, fastest);
}

// What a 16-bit picture cannot do without, in the order it does it, on buffers of its own: the
// driver's copy of the picture into the module's buffer, the host's zeroing of the new wave,
// and the module's one block copy into the wave. The end-to-end ratios are to be read beside
// this one's.
void BM_PicturePasses(benchmark::State& state) {
  std::vector<char> scene(kPictureBytes, 1), buffer(kPictureBytes), wave(kPictureBytes);
  ReportFastest(state, FastestOfPictureWork(state, [&] {
                  std::memcpy(buffer.data(), scene.data(), kPictureBytes);
                  benchmark::ClobberMemory();
                  std::memset(wave.data(), 0, kPictureBytes);
                  benchmark::ClobberMemory();
                  std::memcpy(wave.data(), buffer.data(), kPictureBytes);
                  benchmark::DoNotOptimize(wave.data());
                }));
}

BENCHMARK(BM_MemcpyPictureBytes)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PicturePasses)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TakePicture12)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TakePicture8)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
