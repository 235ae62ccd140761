// quorsim as a camera bench: the camera command's forms and what each arms in the driver, its
// mistakes, the histogram of info, savepng's stretch, and the examples run against the real
// module (where the build has it), traced and not.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "camera/driver.h"
#include "senntcam_control.h"
#include "sim/host/camera_commands.h"
#include "sim/host/script.h"
#include "sim/host/trace.h"
#include "tests/sim_host/host_test_support.h"

namespace {

using namespace quorsim;

using hosttest::Slurp;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome RunOn(Host& host, const std::string& script, const std::string& outDir, bool keepGoing = false) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::istringstream in(script);
  ScriptOptions options;
  options.outDir = outDir;
  options.keepGoing = keepGoing;
  Outcome r;
  r.status = RunScript(host, in, options, out, err);
  r.out = Slurp(out);
  r.err = Slurp(err);
  return r;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Camera(const std::vector<std::string>& words) {
  std::vector<std::string> shown;
  std::string error;
  EXPECT_TRUE(RunCameraCommand(words, &shown, &error)) << error;
  return shown;
}

std::string CameraError(const std::vector<std::string>& words) {
  std::vector<std::string> shown;
  std::string error;
  EXPECT_FALSE(RunCameraCommand(words, &shown, &error));
  return error;
}

class CameraCommand : public ::testing::Test {
 protected:
  void SetUp() override { SimCamReset(); }
  void TearDown() override { SimCamReset(); }
};

TEST_F(CameraCommand, AloneItDescribesSettingsAndWhatIsArmed) {
  const std::vector<std::string> fresh = Camera({});
  EXPECT_EQ(fresh, (std::vector<std::string>{
                       "board closed, image 1280 x 1024, picture none",
                       "region 1..1280 x 1..1024, binning 1 x 1, mode 0, trigger 0",
                       "exposure 10 ms, delay 0 ms, text \"0, 10, -1, -1\"",
                       "exposure scale 1, noise off, seed 0",
                       "armed: nothing",
                   }));
  ASSERT_EQ(INIT_BOARD(kBoardOpen), 0);
  ASSERT_EQ(WRITE_SETTINGS(0, 0, 1, 640, 1, 512, 2, 4, "3, 7, -1, -1"), 0);
  SimCamFailEntry(CamEntry::RunCoc, -5);
  SimCamFailEntry(CamEntry::ReadImage12, 100);
  SimCamSetPollStuck(true);
  SimCamSetNoPicture(true);
  SimCamOverrideImageSize(10, 20, 2);
  SimCamSetTimingOverride(true, 1.5, 2000);
  SimCamSetNoise(5);
  SimCamSetNoiseSeed(9);
  ASSERT_TRUE(SimCamSetExposureScale(250));
  EXPECT_EQ(Camera({}), (std::vector<std::string>{
                            "board open, image 320 x 128, picture none",
                            "region 1..640 x 1..512, binning 2 x 4, mode 0, trigger 0",
                            "exposure 7 ms, delay 3 ms, text \"3, 7, -1, -1\"",
                            "exposure scale 0.25, noise 5 counts, seed 9",
                            "armed: RUN_COC answers -5; READ_IMAGE_12BIT answers 100; GET_IMAGE_STATUS stays busy; "
                            "no picture reaches the buffer; GET_IMAGE_SIZE reports 10 x 20 after 2 more calls; "
                            "GET_DELAY_TIME answers 1.5 us, GET_EXPOSURE_TIME 2000 us",
                        }));
}

TEST_F(CameraCommand, EachFormArmsTheDriverAndSaysWhat) {
  EXPECT_EQ(Camera({"fail", "RUN_COC", "-5"}), (std::vector<std::string>{"RUN_COC answers -5 until cleared"}));
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::RunCoc), -5);
  EXPECT_EQ(Camera({"fail", "read_image_12bit", "100"}).front(), "READ_IMAGE_12BIT answers 100 until cleared");
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::ReadImage12), 100);
  EXPECT_EQ(Camera({"fail", "RUN_COC", "0"}).front(), "RUN_COC works normally");
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::RunCoc), 0);
  Camera({"fail", "STOP_COC", "-2147483648"});
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::StopCoc), INT32_MIN);
  EXPECT_EQ(Camera({"clear", "STOP_COC"}).front(), "STOP_COC works normally");
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::StopCoc), 0);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::ReadImage12), 100);  // only the one named

  EXPECT_EQ(Camera({"poll", "busy"}).front(), "GET_IMAGE_STATUS stays busy");
  EXPECT_TRUE(SimCamState().pollStuck);
  EXPECT_EQ(Camera({"poll", "off"}).front(), "GET_IMAGE_STATUS reports pictures as they come");
  EXPECT_FALSE(SimCamState().pollStuck);

  EXPECT_EQ(Camera({"size", "640", "480"}).front(), "GET_IMAGE_SIZE reports 640 x 480 from its next call");
  EXPECT_EQ(Camera({"size", "-1", "70000", "1"}).front(), "GET_IMAGE_SIZE reports -1 x 70000 after 1 call with the true size");
  CamBenchState state = SimCamState();
  EXPECT_TRUE(state.sizeOverride);
  EXPECT_EQ(state.overrideWidth, -1);
  EXPECT_EQ(state.overrideHeight, 70000);
  EXPECT_EQ(state.sizeOverrideFrom, 1);
  int32_t width = 0, height = 0;
  ASSERT_EQ(GET_IMAGE_SIZE(&width, &height), 0);
  EXPECT_EQ(width, 1280);  // the true size first
  ASSERT_EQ(GET_IMAGE_SIZE(&width, &height), 0);
  EXPECT_EQ(width, -1);
  EXPECT_EQ(Camera({"size", "off"}).front(), "GET_IMAGE_SIZE reports the size the settings give");
  EXPECT_FALSE(SimCamState().sizeOverride);

  EXPECT_EQ(Camera({"noise", "8", "3"}).front(), "noise 8 counts, seed 3, from the next picture");
  EXPECT_EQ(SimCamState().noise, 8);
  EXPECT_EQ(SimCamState().noiseSeed, 3u);
  EXPECT_EQ(Camera({"noise", "4"}).front(), "noise 4 counts, seed 3, from the next picture");  // the seed stays
  EXPECT_EQ(Camera({"noise", "off"}).front(), "noise off");
  EXPECT_EQ(SimCamState().noise, 0);
  EXPECT_EQ(Camera({"noise", "0", "4294967295"}).front(), "noise off");
  EXPECT_EQ(SimCamState().noiseSeed, 4294967295u);

  EXPECT_EQ(Camera({"scale", "1.5"}).front(), "exposure scale 1.5");
  EXPECT_EQ(SimCamState().exposureScale, 1500);
  EXPECT_EQ(Camera({"scale", "0.001"}).front(), "exposure scale 0.001");
  EXPECT_EQ(SimCamState().exposureScale, 1);
  EXPECT_EQ(Camera({"scale", "1000"}).front(), "exposure scale 1000");
  EXPECT_EQ(SimCamState().exposureScale, kSimCamMaxExposureScale);
  Camera({"scale", "0"});
  EXPECT_EQ(SimCamState().exposureScale, 0);

  EXPECT_EQ(Camera({"timing", "999.9", "16777217"}).front(), "GET_DELAY_TIME answers 999.9 us, GET_EXPOSURE_TIME 16777217 us");
  EXPECT_EQ(GET_DELAY_TIME(), 999.9);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 16777217.0);
  Camera({"timing", "nan", "-inf"});
  EXPECT_TRUE(std::isnan(GET_DELAY_TIME()));
  EXPECT_EQ(Camera({"timing", "off"}).front(), "GET_DELAY_TIME and GET_EXPOSURE_TIME answer the settings' times");
  EXPECT_EQ(GET_EXPOSURE_TIME(), 10000.0);

  Camera({"fail", "RUN_COC", "-5"});
  Camera({"poll", "busy"});
  Camera({"size", "1", "1"});
  Camera({"timing", "1", "1"});
  Camera({"noise", "8"});
  EXPECT_EQ(Camera({"clear"}).front(), "every fault cleared");
  state = SimCamState();
  EXPECT_FALSE(state.pollStuck || state.sizeOverride || state.timingOverride);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::RunCoc), 0);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::ReadImage12), 0);
  EXPECT_EQ(state.noise, 8);  // noise is no fault
}

TEST_F(CameraCommand, MistakesAreNamedAndChangeNothing) {
  EXPECT_TRUE(Contains(CameraError({"fail", "RUN_COC"}), "usage: camera fail ENTRY STATUS"));
  EXPECT_TRUE(Contains(CameraError({"fail", "RUN", "-5"}), "no driver entry named RUN"));
  EXPECT_TRUE(Contains(CameraError({"fail", "GET_DELAY_TIME", "3"}), "answers a time, not a status: use camera timing"));
  EXPECT_TRUE(Contains(CameraError({"fail", "RUN_COC", "-5x"}), "whole number of 32 bits, not -5x"));
  EXPECT_TRUE(Contains(CameraError({"fail", "RUN_COC", "2147483648"}), "whole number of 32 bits"));
  EXPECT_TRUE(Contains(CameraError({"fail", "RUN_COC", ""}), "whole number"));
  EXPECT_TRUE(Contains(CameraError({"clear", "a", "b"}), "usage: camera clear [ENTRY]"));
  EXPECT_TRUE(Contains(CameraError({"poll", "stuck"}), "usage: camera poll busy|off"));
  EXPECT_TRUE(Contains(CameraError({"size", "640"}), "usage: camera size"));
  EXPECT_TRUE(Contains(CameraError({"size", "640", "x"}), "whole numbers"));
  EXPECT_TRUE(Contains(CameraError({"size", "640", "480", "-1"}), "AFTER a count"));
  EXPECT_TRUE(Contains(CameraError({"noise", "-1"}), "AMPLITUDE is 0 to 4095"));
  EXPECT_TRUE(Contains(CameraError({"noise", "4096"}), "AMPLITUDE is 0 to 4095"));
  EXPECT_TRUE(Contains(CameraError({"noise", "1", "4294967296"}), "SEED 0 to 4294967295"));
  EXPECT_TRUE(Contains(CameraError({"scale", "1.0005"}), "at most three decimals"));
  EXPECT_TRUE(Contains(CameraError({"scale", "-0.5"}), "FACTOR is 0 to 1000"));
  EXPECT_TRUE(Contains(CameraError({"scale", "1000.001"}), "FACTOR is 0 to 1000"));
  EXPECT_TRUE(Contains(CameraError({"scale", "nan"}), "FACTOR"));
  EXPECT_TRUE(Contains(CameraError({"scale"}), "usage: camera scale FACTOR"));
  EXPECT_TRUE(Contains(CameraError({"timing", "1"}), "usage: camera timing"));
  EXPECT_TRUE(Contains(CameraError({"timing", "1", "us"}), "numbers of microseconds"));
  EXPECT_TRUE(Contains(CameraError({"reset"}), "unknown camera command reset"));

  const CamBenchState state = SimCamState();
  EXPECT_FALSE(state.pollStuck || state.sizeOverride || state.timingOverride);
  EXPECT_EQ(state.noise, 0);
  EXPECT_EQ(state.exposureScale, kSimCamNominalExposureScale);
  for (const CamEntryName& entry : kSimCamEntryNames) EXPECT_EQ(SimCamInjectedStatus(entry.entry), 0) << entry.name;
}

// ---------------------------------------------------------------- scripts with the fake module
class BenchScript : public hosttest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    SimCamReset();
    outDir_ = std::filesystem::temp_directory_path() / ("quorsim_bench_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(outDir_);
  }
  void TearDown() override {
    std::filesystem::remove_all(outDir_);
    SimCamReset();
    HostFixture::TearDown();
  }
  Outcome Run(const std::string& script, bool keepGoing = false) { return RunOn(*host_, script, outDir_.string(), keepGoing); }
  std::filesystem::path outDir_;
};

TEST_F(BenchScript, CameraLinesReportWithTheirNumbersAndBadOnesStopWithStatus2) {
  Outcome r = Run("camera fail RUN_COC -5\n\ncamera\n");
  EXPECT_EQ(r.status, kScriptOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "line 1: camera: RUN_COC answers -5 until cleared\n"
                              "line 3: camera: board closed, image 1280 x 1024, picture none\n"
                              "  region 1..1280 x 1..1024"))
      << r.out;
  EXPECT_TRUE(Contains(r.out, "  armed: RUN_COC answers -5\n")) << r.out;

  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"FK_Plain()\ncamera fail NOPE 1\nFK_Plain()\n", "quorsim: line 2: no driver entry named NOPE"},
      {"camera poll\n", "quorsim: line 1: usage: camera poll busy|off"},
      {"camera a b c d e\n", "quorsim: line 1: usage: camera [fail|clear|poll|size|noise|scale|timing ...]"},
      {"\ncamera scale 2.0001\n", "quorsim: line 2: camera scale: FACTOR is 0 to 1000 with at most three decimals"},
      {"camera! fail\n", "quorsim: line 1: syntax error: unexpected character '!' after camera"},
  };
  for (const Case& c : cases) {
    r = Run(c.script, true);  // even with keep-going
    EXPECT_EQ(r.status, kScriptError) << c.script;
    EXPECT_TRUE(Contains(r.err, c.message)) << c.script << " gave: " << r.err;
    EXPECT_FALSE(Contains(r.out, "line 3: FK_Plain")) << "ran on after the bad line";
  }
}

TEST_F(BenchScript, InfoAddsSixteenBinsOverMinimumToMaximum) {
  // x + 10 y: 0 1 2 3 in bins 0 0 0 1, 10 11 12 13 in 4 5 5 6, 20 .. 23 in 9 10 10 11, and
  // 30 .. 33 in 14 15 15 15.
  Outcome r = Run("FK_MakeImage(\"pic\", 4, 4)\ninfo pic\n");
  EXPECT_EQ(r.status, kScriptOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "line 2: pic: 4 x 4, unsigned 16-bit integer, min 0, max 33, mean 16.5\n"
                              "  histogram 0..33 in 16 bins of 2.0625: 3 1 0 0 1 2 1 0 0 1 2 1 0 0 1 3\n"))
      << r.out;

  host_->MakeTestWave("flat", 1, 4, {3});
  r = Run("info flat\n");
  EXPECT_TRUE(Contains(r.out, "line 1: flat: 3 points, 64-bit float, min 0, max 0, mean 0\n"
                              "  histogram: all 3 finite values are 0\n"))
      << r.out;
  host_->MakeTestWave("text", 1, 0, {3});
  r = Run("info text\n");
  EXPECT_EQ(r.out, "line 1: text: 3 points, text\n");  // no histogram for a text wave
}

TEST(WaveHistograms, BinsCountFiniteValuesAndTheMaximumGoesIntoTheLast) {
  Host host;
  Handle h = host.MakeTestWave("f", 1, 4, {6});
  const double values[6] = {-1, 15, 0.999, NAN, INFINITY, 7};
  std::memcpy(*h + 320, values, sizeof values);
  WaveView v;
  ASSERT_TRUE(host.FindWave("f", &v));
  // 16 bins of 1 over -1..15: -1 in bin 0, 0.999 in bin 1, 7 in bin 8, 15 in bin 15.
  EXPECT_EQ(WaveHistogram(v), "histogram -1..15 in 16 bins of 1: 1 1 0 0 0 0 0 0 1 0 0 0 0 0 0 1");
  h = host.MakeTestWave("c", 1, 3, {2});
  const float parts[4] = {1, 100, 3, -100};
  std::memcpy(*h + 320, parts, sizeof parts);
  ASSERT_TRUE(host.FindWave("c", &v));
  EXPECT_EQ(WaveHistogram(v), "histogram 1..3 in 16 bins of 0.125 (real parts): 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1");
  h = host.MakeTestWave("n", 1, 2, {2});
  const float nans[2] = {NAN, NAN};
  std::memcpy(*h + 320, nans, sizeof nans);
  ASSERT_TRUE(host.FindWave("n", &v));
  EXPECT_EQ(WaveHistogram(v), "");
  h = host.MakeTestWave("wide", 1, 4, {3});
  const double wide[3] = {-1.7e308, 0, 1.7e308};  // a range wider than the largest double
  std::memcpy(*h + 320, wide, sizeof wide);
  ASSERT_TRUE(host.FindWave("wide", &v));
  EXPECT_EQ(WaveHistogram(v), "histogram -1.7e+308..1.7e+308 in 16 bins of 2.125e+307: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 1");
  host.MakeTestWave("e", 1, 72, {});
  ASSERT_TRUE(host.FindWave("e", &v));
  EXPECT_EQ(WaveHistogram(v), "");
}

TEST(StretchedValues, LowIsBlackHighIsWhiteAndTheRestInProportion) {
  EXPECT_EQ(StretchedValue(66, 66, 4095, 65535), 0u);
  EXPECT_EQ(StretchedValue(4095, 66, 4095, 65535), 65535u);
  EXPECT_EQ(StretchedValue(2080.5, 66, 4095, 65535), 32768u);  // exactly half way rounds up
  EXPECT_EQ(StretchedValue(1, 0, 2, 255), 128u);
  EXPECT_EQ(StretchedValue(-5, 0, 2, 255), 0u);
  EXPECT_EQ(StretchedValue(9, 0, 2, 255), 255u);
  EXPECT_EQ(StretchedValue(NAN, 0, 2, 255), 0u);
  EXPECT_EQ(StretchedValue(INFINITY, 0, 2, 255), 255u);
  EXPECT_EQ(StretchedValue(-INFINITY, 0, 2, 255), 0u);
  EXPECT_EQ(StretchedValue(0, 2, 0, 255), 255u);  // a reversed range reverses the picture
  EXPECT_EQ(StretchedValue(2, 2, 0, 255), 0u);
  EXPECT_EQ(StretchedValue(5, 5, 5, 255), 255u);  // a range of no width splits at its value
  EXPECT_EQ(StretchedValue(4.9, 5, 5, 255), 0u);
  EXPECT_EQ(StretchedValue(1, -1e308, 1e308, 65535), 32768u);
}

TEST_F(BenchScript, SavepngStretchNamesTheRangeAndRefusesWhatItCannotStretch) {
  if (!PngSupported()) GTEST_SKIP() << "built without PNG support";
  Outcome r = Run("FK_MakeImage(\"pic\", 4, 3)\n"
                  "savepng pic plain.png\n"
                  "savepng pic wide.png stretch\n"
                  "savepng pic given.png stretch 5 10\n");
  EXPECT_EQ(r.status, kScriptOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "line 2: saved pic as " + (outDir_ / "plain.png").string() + ": FK_MakeImage, 4 x 3\n"))
      << r.out;
  EXPECT_TRUE(Contains(r.out, "line 3: saved pic as " + (outDir_ / "wide.png").string() +
                                  ", stretched 0..23 onto 0..65535: FK_MakeImage, 4 x 3\n"))
      << r.out;
  EXPECT_TRUE(Contains(r.out, "line 4: saved pic as " + (outDir_ / "given.png").string() +
                                  ", stretched 5..10 onto 0..65535: FK_MakeImage, 4 x 3\n"))
      << r.out;
  EXPECT_TRUE(std::filesystem::exists(outDir_ / "wide.png"));

  host_->MakeTestWave("dbl", 1, 4, {3});
  host_->MakeTestWave("cplx", 1, 5, {3});
  host_->MakeTestWave("txt", 1, 0, {3});
  r = Run("savepng dbl dbl.png stretch\nsavepng cplx c.png stretch\nsavepng txt t.png stretch 0 1\n", true);
  EXPECT_EQ(r.status, kScriptFailed);
  EXPECT_TRUE(Contains(r.out, "line 1: saved dbl as " + (outDir_ / "dbl.png").string() + ", stretched 0..0 onto 0..65535"))
      << r.out;  // a float wave stretched, flat here
  EXPECT_TRUE(Contains(r.err, "quorsim: line 2: savepng cplx: the wave is complex 64-bit float; only real numeric waves"))
      << r.err;
  EXPECT_TRUE(Contains(r.err, "quorsim: line 3: savepng txt: the wave is text")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(outDir_ / "c.png"));

  struct Case {
    const char* script;
    const char* message;
  };
  const Case bad[] = {
      {"savepng pic a.png stretched\n", "quorsim: line 1: usage: savepng NAME FILE [stretch [LOW HIGH]]"},
      {"savepng pic a.png stretch 1\n", "quorsim: line 1: usage: savepng NAME FILE [stretch [LOW HIGH]]"},
      {"savepng pic a.png stretch 1 x\n", "quorsim: line 1: savepng: LOW and HIGH of stretch must be finite numbers"},
      {"savepng pic a.png stretch nan 1\n", "LOW and HIGH of stretch must be finite numbers"},
      {"savepng pic a.png stretch 0 inf\n", "LOW and HIGH of stretch must be finite numbers"},
      {"savepng pic a.png stretch 0 1 2\n", "quorsim: line 1: usage: savepng NAME FILE [stretch [LOW HIGH]]"},
  };
  for (const Case& c : bad) {
    r = Run(c.script, true);
    EXPECT_EQ(r.status, kScriptError) << c.script;
    EXPECT_TRUE(Contains(r.err, c.message)) << c.script << " gave: " << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(outDir_ / "a.png"));
}

// ---------------------------------------------------------------- the program
#ifdef QUORSIM_PROGRAM
struct ProgramRun {
  int status = -1;
  std::string out, err;
};

// Runs quorsim with the arguments; the script goes in on standard input.
ProgramRun RunProgramOnStdin(const std::string& arguments, const std::string& script) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quorsim_bench_program_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "script.qsc") << script;
  const std::string command = std::string(QUORSIM_PROGRAM) + " " + arguments + " < " + (dir / "script.qsc").string() +
                              " > " + (dir / "out.txt").string() + " 2> " + (dir / "err.txt").string();
  const int raw = std::system(command.c_str());
  ProgramRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  for (auto [name, text] : {std::pair{"out.txt", &run.out}, std::pair{"err.txt", &run.err}}) {
    std::ifstream in(dir / name);
    std::stringstream all;
    all << in.rdbuf();
    *text = all.str();
  }
  std::filesystem::remove_all(dir);
  return run;
}

TEST(BenchProgram, CameraCommandsAndTheTraceWorkFromStandardInput) {
  const std::string module = "--module " + hosttest::kFakeModule;
  ProgramRun run = RunProgramOnStdin(module, "camera fail RUN_COC -5\ncamera\nFK_Fails(-3)\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");  // nothing on standard error without the trace
  EXPECT_TRUE(Contains(run.out, "line 1: camera: RUN_COC answers -5 until cleared\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "  armed: RUN_COC answers -5\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "line 3: FK_Fails(-3) failed with error code -3 (driver error -3)\n")) << run.out;

  run = RunProgramOnStdin(module + " --trace -", "FK_Plain()\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "line 1: FK_Plain() = 42\n");
  // Loading, the call and unloading, in order.
  const size_t loaded = run.err.find("trace: host -> module: 15 function address (0) -> 0x");
  const size_t called = run.err.find("trace: call FK_Plain()\ntrace: FK_Plain returned 0, result 42\n");
  const size_t unloaded = run.err.find("trace: host -> module: 12 shutdown () -> 0\n");
  EXPECT_NE(loaded, std::string::npos) << run.err;
  EXPECT_NE(called, std::string::npos) << run.err;
  EXPECT_NE(unloaded, std::string::npos) << run.err;
  EXPECT_TRUE(loaded < called && called < unloaded) << run.err;

  run = RunProgramOnStdin(module + " --keep-going", "camera\ncamera size 1\nFK_Plain()\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "quorsim: line 2: usage: camera size W H [AFTER] | camera size off")) << run.err;
  EXPECT_FALSE(Contains(run.out, "line 3")) << run.out;
}

TEST(BenchProgram, HelpNamesEveryCommandAndOption) {
  const ProgramRun run = RunProgramOnStdin("--help", "");
  EXPECT_EQ(run.status, 0);
  for (const char* part : {"--trace", "trace on|off", "savepng NAME FILE stretch [LOW HIGH]", "histogram",
                           "camera fail ENTRY STATUS", "camera clear [ENTRY]", "camera poll busy|off",
                           "camera size W H [AFTER]", "camera noise AMPLITUDE [SEED]", "camera scale FACTOR",
                           "camera timing DELAY EXPOSURE", "READ_IMAGE_12BIT"})
    EXPECT_TRUE(Contains(run.out, part)) << part;
  // Every line fits a terminal of 80 columns.
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}
#endif

// ---------------------------------------------------------------- the examples, with the module
#ifdef OMBREL_MODULE_PATH
class ExampleScripts : public ::testing::Test {
 protected:
  void SetUp() override {
    SimCamReset();
    outDir_ = std::filesystem::temp_directory_path() / ("quorsim_examples_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(outDir_);
    host_ = std::make_unique<Host>();
    std::string error;
    ASSERT_TRUE(host_->Load(OMBREL_MODULE_PATH, &error)) << error;
  }
  void TearDown() override {
    host_.reset();
    SimCamReset();
    std::filesystem::remove_all(outDir_);
  }
  // Standard error holds nothing but, in a build without PNG support, the refused savepng lines.
  static void ExpectOnlyPngRefusals(const std::string& err) {
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("trace: ", 0) == 0) continue;
      EXPECT_FALSE(PngSupported()) << line;
      EXPECT_TRUE(Contains(line, "this quorsim was built without PNG support")) << line;
    }
  }
  static std::string Example(const char* name) {
    std::ifstream in(std::string(OMBREL_EXAMPLES_DIR) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::unique_ptr<Host> host_;
  std::filesystem::path outDir_;
};

TEST_F(ExampleScripts, TheFaultsExampleShowsEachFaultAndTheModulesAnswer) {
  const std::string script = Example("camera_faults.qsc");
  ASSERT_FALSE(script.empty());
  const Outcome r = RunOn(*host_, script, outDir_.string(), true);
  EXPECT_EQ(r.status, kScriptFailed);  // the faults make functions fail
  ExpectOnlyPngRefusals(r.err);
  const char* const expected[] = {
      "QV_TakePicture_12(\"nostart\") failed with error code -5 (driver error -5)\n",
      ": 0 waves\n",
      "QV_TakePicture_12(\"late\") = 0\n",
      "late: 640 x 512, unsigned 16-bit integer, min 64, max 3177, mean 752.587\n",
      "QV_TakePicture_8(\"empty\", 0, 4096) failed with error code 100 (no picture in the camera's buffer)\n",
      "QV_TakePicture_12(\"resized\") failed with error code 1 (out of memory, or the picture could not be made)\n",
      "QV_SetValues(3, 2) = -5 (driver error -5)\n",
      "QV_GetWidth() = 640\n",
      "camera: exposure scale 1.2\n",
      "QV_TakePicture_12(\"noisy\") = 0\n",
      "  exposure scale 1.2, noise 12 counts, seed 7\n",
      "QV_ReleaseCam() done, no result\n",
  };
  size_t at = 0;
  for (const char* line : expected) {
    const size_t found = r.out.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << line << "\nin:\n" << r.out;
    at = found;
  }
  if (PngSupported()) {
    EXPECT_TRUE(Contains(r.out, "saved noisy as " + (outDir_ / "noisy.png").string() + ", stretched ")) << r.out;
    EXPECT_TRUE(std::filesystem::exists(outDir_ / "noisy.png"));
  }
  // Nothing is left armed for the next script but the noise and the scale.
  const CamBenchState state = SimCamState();
  EXPECT_FALSE(state.pollStuck || state.sizeOverride || state.timingOverride || state.noPicture);
}

TEST_F(ExampleScripts, TheDemoRunsCleanAndItsTraceShowsTheGrabCycle) {
  const std::string script = "trace on\n" + Example("camera_demo.qsc");
  const Outcome r = RunOn(*host_, script, outDir_.string(), !PngSupported());
  EXPECT_EQ(r.status, PngSupported() ? kScriptOk : kScriptFailed) << r.err << r.out;
  ExpectOnlyPngRefusals(r.err);
  EXPECT_TRUE(Contains(r.out, "QV_TakePicture_12(\"raw12\") = 0\n")) << r.out;
  if (PngSupported()) {  // the line that saves a picture names the settings it was taken with
    EXPECT_TRUE(Contains(r.out, "saved img8 as " + (outDir_ / "img8.png").string() +
                                    ": QV_TakePicture_8, window 0..4096, exposure 2 ms, binning 2 x 2, 640 x 512\n"))
        << r.out;
  }
  const char* const traced[] = {
      "trace: call QV_InitCam()\n",
      "trace: driver: PREPARE_BOARD(0) -> 0\n",
      "trace: driver: INIT_BOARD(2) -> 0\n",
      "trace: call QV_TakePicture_12(\"raw12\")\n",
      "trace: driver: GET_IMAGE_SIZE() -> 0: 640 x 512\n",
      "trace: driver: GET_DELAY_TIME() -> 0 us\n",
      "trace: driver: GET_EXPOSURE_TIME() -> 2000 us\n",
      "trace: driver: RUN_COC(4) -> 0\n",
      "trace: driver: GET_IMAGE_STATUS() ",
      "trace: driver: READ_IMAGE_12BIT(0, 640, 512) -> 0\n",
      "trace: driver: STOP_COC(0) -> 0\n",
      "trace: module -> host: 77 make wave (0x",
      "trace: module -> host: 1 mark wave modified (0x",
      "trace: QV_TakePicture_12 returned 0, result 0\n",
      "trace: call QV_ReleaseCam()\n",
  };
  size_t at = 0;
  for (const char* line : traced) {
    const size_t found = r.err.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << line << "\nin:\n" << r.err;
    at = found;
  }
  // One line for each wait, however many polls it took.
  size_t waits = 0;
  for (size_t p = r.err.find("GET_IMAGE_STATUS"); p != std::string::npos; p = r.err.find("GET_IMAGE_STATUS", p + 1)) ++waits;
  EXPECT_EQ(waits, 4u) << r.err;
}
#endif

}  // namespace
