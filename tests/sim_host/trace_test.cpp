// The trace: the line of each kind of host event and driver entry, the summary of a run of
// status polls on the stand-in clock, and the tracer itself, switched on and off by a script
// and by hand, watching the fake module's exchanges and the driver's entries.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "camera/driver.h"
#include "senntcam_control.h"
#include "sim/host/script.h"
#include "sim/host/trace.h"
#include "tests/sim_host/host_test_support.h"
#include "win32sim_control.h"

namespace {

using namespace quorsim;

using hosttest::Slurp;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(TraceLines, WordsAreDecimalWhenSmallAndHexWhenAddresses) {
  EXPECT_EQ(TraceWord(0), "0");
  EXPECT_EQ(TraceWord(65535), "65535");
  EXPECT_EQ(TraceWord(-5), "-5");
  EXPECT_EQ(TraceWord(65536), "0x10000");
  EXPECT_EQ(TraceWord(0x7ffd1234), "0x7ffd1234");
  EXPECT_EQ(TraceWord(-70000), sizeof(HostWord) == 4 ? "0xfffeee90" : "0xfffffffffffeee90");
}

TEST(TraceLines, EachHostEventSaysWhoAskedWhatAndTheAnswer) {
  const HostWord items[] = {0x10000, 5, 0};
  HostEvent event;
  event.kind = HostEvent::ModuleRequest;
  event.message = 77;
  event.items = items;
  EXPECT_EQ(TraceLine(event), "module -> host: 77 make wave (0x10000, 5, 0) -> 0");
  event.result = 163;
  EXPECT_EQ(TraceLine(event), "module -> host: 77 make wave (0x10000, 5, 0) -> 163 (the host is too old for this request)");
  event.message = 37;  // answers an address, which is not a code
  event.items = std::span<const HostWord>(items, 1);
  event.result = 1;
  EXPECT_EQ(TraceLine(event), "module -> host: 37 wave data address (0x10000) -> 1");
  event.message = 200;
  event.items = {};
  event.result = kErrUnknownMessage;
  EXPECT_EQ(TraceLine(event), "module -> host: 200 () -> 9999 (the host does not know this request)");

  event.kind = HostEvent::MessageToModule;
  event.message = 15;
  const HostWord index[] = {3};
  event.items = index;
  event.result = 0x30000;
  EXPECT_EQ(TraceLine(event), "host -> module: 15 function address (3) -> 0x30000");

  FunctionDeclaration decl;
  decl.name = "QV_Some";
  const std::vector<Argument> args = {Argument::Num(1.5), Argument::Str("a\"b\n\x01"), Argument::Null()};
  HostEvent call;
  call.kind = HostEvent::CallStarts;
  call.function = &decl;
  call.args = &args;
  EXPECT_EQ(TraceLine(call), "call QV_Some(1.5, \"a\\\"b\\n\\x01\", null)");
  CallOutcome outcome;
  outcome.errorCode = -5;
  outcome.resultWritten = true;
  outcome.result = -5;
  call.kind = HostEvent::CallReturns;
  call.outcome = &outcome;
  EXPECT_EQ(TraceLine(call), "QV_Some returned -5 (driver error -5), result -5");
  outcome = {};
  EXPECT_EQ(TraceLine(call), "QV_Some returned 0, no result");
}

TEST(TraceLines, DriverEntriesShowArgumentsStatusAndOutputs) {
  CamCall call{static_cast<int>(CamEntry::GetImageSize), {}, {}};
  CamCallReport report{&call, 0, 0, 2, {640, 512}, nullptr};
  EXPECT_EQ(DriverTraceLine(report), "driver: GET_IMAGE_SIZE() -> 0: 640 x 512");
  report.status = -4;
  report.outputCount = 0;
  EXPECT_EQ(DriverTraceLine(report), "driver: GET_IMAGE_SIZE() -> -4");

  call = {static_cast<int>(CamEntry::WriteSettings), {0, 0, 1, 1280, 1, 1024, 2, 2}, "0, 5, -1, -1"};
  report = {&call, -5, 0, 0, {}, nullptr};
  EXPECT_EQ(DriverTraceLine(report), "driver: WRITE_SETTINGS(0, 0, 1, 1280, 1, 1024, 2, 2, \"0, 5, -1, -1\") -> -5");

  call = {static_cast<int>(CamEntry::ReadSettings), {200}, {}};
  report = {&call, 0, 0, 8, {0, 1, 11, 650, 21, 500, 2, 4}, "3, 77, -1, -1"};
  EXPECT_EQ(DriverTraceLine(report), "driver: READ_SETTINGS(200) -> 0: mode 0, trig 1, region 11..650 x 21..500, "
                                     "binning 2 x 4, \"3, 77, -1, -1\"");

  call = {static_cast<int>(CamEntry::GetDelayTime), {}, {}};
  report = {&call, 0, 1500.5, 0, {}, nullptr};
  EXPECT_EQ(DriverTraceLine(report), "driver: GET_DELAY_TIME() -> 1500.5 us");

  call = {static_cast<int>(CamEntry::ReadImage12), {0, 640, 512}, {}};
  report = {&call, kReadoutNoPicture, 0, 0, {}, nullptr};
  EXPECT_EQ(DriverTraceLine(report), "driver: READ_IMAGE_12BIT(0, 640, 512) -> 100 (no picture in the buffer)");

  call = {static_cast<int>(CamEntry::SettingsDialog), {0x12345678, 0}, "Camera Dialog"};
  report = {&call, 0, 0, 0, {}, nullptr};
  EXPECT_EQ(DriverTraceLine(report), "driver: SETTINGS_DIALOG(0x12345678, 0, \"Camera Dialog\") -> 0");
}

TEST(TraceLines, PollSummarySaysHowManyHowLongAndTheLastAnswer) {
  PollRun polls;
  polls.count = 1;
  polls.lastWrote = true;
  polls.lastPicstat = 1;
  EXPECT_EQ(PollSummaryLine(polls), "driver: GET_IMAGE_STATUS() -> 0: picstat 1");
  polls.count = 1523;
  polls.busy = 1522;
  polls.firstTick = 0xFFFFFFF0u;  // across the wrap of the counter
  polls.lastTick = 5;
  EXPECT_EQ(PollSummaryLine(polls), "driver: GET_IMAGE_STATUS() polled 1523 times in 21 ms, 1522 busy; the last -> 0: picstat 1");
  polls.lastStatus = -8;
  polls.lastWrote = false;
  EXPECT_EQ(PollSummaryLine(polls), "driver: GET_IMAGE_STATUS() polled 1523 times in 21 ms, 1522 busy; the last -> -8");
}

// The tracer over the driver, on the manual clock.
class TracerOnDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    SimCamReset();
    Win32SimUseManualClock(5000);
    stream_ = std::tmpfile();
    ASSERT_NE(stream_, nullptr);
  }
  void TearDown() override {
    StopTrace(tracer_);
    SimCamReset();
    Win32SimUseRealClock();
  }
  std::string Written() {
    std::string text = Slurp(stream_);
    stream_ = nullptr;
    return text;
  }
  Host host_;
  Tracer tracer_;
  FILE* stream_ = nullptr;
};

TEST_F(TracerOnDriver, AWaitIsOneLineWrittenWhenThePictureIsReady) {
  StartTrace(tracer_, host_, stream_);
  ASSERT_EQ(INIT_BOARD(kBoardOpen), 0);
  ASSERT_EQ(RUN_COC(4), 0);
  int32_t picstat = 0;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(GET_IMAGE_STATUS(&picstat), 0);
    Win32SimAdvanceClock(4);
  }
  ASSERT_EQ(GET_IMAGE_STATUS(&picstat), 0);  // 12 ms on: ready
  ASSERT_EQ(picstat, 1);
  std::fflush(stream_);
  std::string sofar;
  {
    long at = std::ftell(stream_);
    std::rewind(stream_);
    sofar.resize(static_cast<size_t>(at));
    ASSERT_EQ(std::fread(sofar.data(), 1, sofar.size(), stream_), sofar.size());
    std::fseek(stream_, 0, SEEK_END);
  }
  // Written as soon as the poll that ends the wait came, not with the next line.
  EXPECT_NE(sofar.find("trace: driver: GET_IMAGE_STATUS() polled 4 times in 12 ms, 3 busy; the last -> 0: picstat 1\n"),
            std::string::npos)
      << sofar;
  StopTrace(tracer_);
  EXPECT_EQ(CLOSE_BOARD(), 0);  // not traced any more
  const std::string text = Written();
  EXPECT_EQ(text,
            "trace: driver: INIT_BOARD(2) -> 0\n"
            "trace: driver: RUN_COC(4) -> 0\n"
            "trace: driver: GET_IMAGE_STATUS() polled 4 times in 12 ms, 3 busy; the last -> 0: picstat 1\n");
}

TEST_F(TracerOnDriver, AWaitThatTimesOutIsSummedUpBeforeTheNextLine) {
  SimCamSetPollStuck(true);
  StartTrace(tracer_, host_, stream_);
  ASSERT_EQ(INIT_BOARD(kBoardOpen), 0);
  ASSERT_EQ(RUN_COC(4), 0);
  int32_t picstat = 0;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(GET_IMAGE_STATUS(&picstat), 0);
    Win32SimAdvanceClock(10);
  }
  std::vector<uint16_t> pixels(1280 * 1024);
  ASSERT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 0);
  SimCamFailEntry(CamEntry::GetImageStatus, -8);
  EXPECT_EQ(GET_IMAGE_STATUS(&picstat), -8);  // a failing poll ends a wait at once
  StopTrace(tracer_);
  EXPECT_EQ(Written(),
            "trace: driver: INIT_BOARD(2) -> 0\n"
            "trace: driver: RUN_COC(4) -> 0\n"
            "trace: driver: GET_IMAGE_STATUS() polled 5 times in 40 ms, 5 busy; the last -> 0: picstat 3\n"
            "trace: driver: READ_IMAGE_12BIT(0, 1280, 1024) -> 0\n"
            "trace: driver: GET_IMAGE_STATUS() -> -8\n");
}

TEST_F(TracerOnDriver, StoppingWritesAPendingSummaryAndAStoppedTraceStaysQuiet) {
  StopTrace(tracer_);  // never started: nothing happens
  StartTrace(tracer_, host_, stream_);
  ASSERT_EQ(INIT_BOARD(kBoardOpen), 0);
  ASSERT_EQ(RUN_COC(4), 0);
  int32_t picstat = 0;
  ASSERT_EQ(GET_IMAGE_STATUS(&picstat), 0);
  ASSERT_EQ(GET_IMAGE_STATUS(&picstat), 0);
  StopTrace(tracer_);
  StopTrace(tracer_);
  EXPECT_EQ(GET_IMAGE_STATUS(&picstat), 0);
  EXPECT_FALSE(tracer_.on);
  const std::string text = Written();
  EXPECT_EQ(Occurrences(text, "GET_IMAGE_STATUS"), 1u) << text;
  EXPECT_NE(text.find("polled 2 times in 0 ms, 2 busy; the last -> 0: picstat 2\n"), std::string::npos) << text;
}

// The tracer over the fake module, switched by scripts.
class TracedScript : public hosttest::HostFixture {
 protected:
  struct Result {
    int status;
    std::string out, err;
  };
  Result Run(const std::string& script, Tracer* tracer = nullptr) {
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    std::istringstream in(script);
    ScriptOptions options;
    options.outDir = std::filesystem::temp_directory_path().string();
    options.tracer = tracer;
    Result r;
    r.status = RunScript(*host_, in, options, out, err);
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }
};

TEST_F(TracedScript, TraceOnAndOffFrameTheExchangesOfTheCallsBetween) {
  Result r = Run("FK_Plain()\n"
                 "trace on\n"
                 "FK_Plain()\n"
                 "FK_Ask(77, 0, 0)\n"
                 "trace off\n"
                 "FK_NumNum(1, 2)\n"
                 "trace on\n"
                 "FK_Fails(163)\n");
  EXPECT_EQ(r.status, kScriptFailed);
  EXPECT_EQ(r.err,
            "trace: call FK_Plain()\n"
            "trace: FK_Plain returned 0, result 42\n"
            "trace: call FK_Ask(77, 0, 0)\n"
            "trace: module -> host: 77 make wave (0, 0) -> 34 (the host refuses this name)\n"
            "trace: FK_Ask returned 0, result 34\n"
            "trace: call FK_Fails(163)\n"
            "trace: FK_Fails returned 163 (the host is too old for this request), no result\n");
  // The script's own output is as it is without the trace.
  EXPECT_EQ(r.out,
            "line 1: FK_Plain() = 42\n"
            "line 3: FK_Plain() = 42\n"
            "line 4: FK_Ask(77, 0, 0) = 34\n"
            "line 6: FK_NumNum(1, 2) = 12\n"
            "line 8: FK_Fails(163) failed with error code 163 (the host is too old for this request)\n");
}

TEST_F(TracedScript, AScriptLeavesItsOwnTraceOffAndTheCallersAsItWas) {
  Result r = Run("trace on\nFK_Plain()\n");
  EXPECT_EQ(Occurrences(r.err, "trace: "), 2u) << r.err;
  r = Run("FK_Plain()\n");  // the last script's trace ended with it
  EXPECT_EQ(r.err, "");

  FILE* stream = std::tmpfile();
  Tracer tracer;
  StartTrace(tracer, *host_, stream);
  r = Run("FK_Plain()\ntrace on\nFK_Plain()\n", &tracer);
  EXPECT_EQ(r.err, "");  // the caller's trace writes where the caller said
  EXPECT_TRUE(tracer.on);
  host_->SendToModule(kMsgFunctionAddress, std::vector<HostWord>{0});
  StopTrace(tracer);
  const std::string text = Slurp(stream);
  EXPECT_EQ(Occurrences(text, "trace: call FK_Plain()"), 2u) << text;
  EXPECT_NE(text.find("trace: host -> module: 15 function address (0) -> 0x"), std::string::npos) << text;

  r = Run("trace now\n");
  EXPECT_EQ(r.status, kScriptError);
  EXPECT_NE(r.err.find("quorsim: line 1: usage: trace on|off"), std::string::npos) << r.err;
  r = Run("trace\n");
  EXPECT_EQ(r.status, kScriptError);
}

}  // namespace
