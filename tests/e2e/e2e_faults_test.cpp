// The fault matrix: every driver entry failing, the poll stuck, no picture, the host refusing
// the wave, the record that cannot grow, the pixel buffer that cannot be had. In every case
// the host process lives on, no handle leaks, no garbage reaches a wave, the user reads the
// driver's messages and the function returns the code the user can act on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "e2e/e2e_support.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define E2E_HAS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define E2E_HAS_ASAN 1
#endif

#ifdef E2E_HAS_ASAN
// Allocations above 1 GiB fail instead of aborting, so a picture buffer that cannot be had is
// a reproducible case.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=1024"; }
#endif

namespace e2e {
namespace {

using quorsim::Argument;

class FaultTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    StartHost();
    CallOk("QV_InitCam");
  }

  // Takes a picture (12- or 8-bit) that must fail with `code`: no wave, the code as result,
  // no handle left behind; returns what was printed.
  std::string ExpectFailedPicture(bool raw, int32_t code, const std::string& name = "failed") {
    size_t handles = LiveHandles();
    testing::internal::CaptureStdout();
    quorsim::CallOutcome outcome =
        raw ? Call("QV_TakePicture_12", {Argument::Str(name)})
            : Call("QV_TakePicture_8", {Argument::Str(name), Argument::Num(0), Argument::Num(4096)});
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(outcome.errorCode, code);
    EXPECT_TRUE(outcome.resultWritten);
    EXPECT_EQ(outcome.result, static_cast<double>(code));
    quorsim::WaveView view;
    EXPECT_FALSE(host_->FindWave(name, &view)) << "no wave may be made from a failed picture";
    EXPECT_EQ(LiveHandles(), handles);
    return printed;
  }
};

TEST_F(FaultTest, ImageSizeFailureStopsWithoutPromptOrExitAndLeavesTheBoardOpen) {
  SimCamFailEntry(CamEntry::GetImageSize, -12);
  for (bool raw : {true, false}) {
    SimCamClearCalls();
    std::string printed = ExpectFailedPicture(raw, -12);
    EXPECT_EQ(printed, "\nGET_IMAGE_SIZE failed with error -12\n");
    EXPECT_TRUE(SimCamBoardOpen());
    for (const CamCall& call : SimCamCalls()) EXPECT_NE(call.ordinal, static_cast<int>(CamEntry::InitBoard));
  }
}

TEST_F(FaultTest, ImpossibleImageSizesAreRefusedBeforeAnyAllocation) {
  for (auto [w, h] : std::vector<std::pair<int32_t, int32_t>>{{0, 1024}, {1280, -3}, {65536, 32768}, {-2, -2}}) {
    SimCamOverrideImageSize(w, h);
    std::string printed = ExpectFailedPicture(true, 1);
    EXPECT_EQ(printed, "\nallocating image buffer failed\n") << w << "x" << h;
  }
}

#ifdef E2E_HAS_ASAN
TEST_F(FaultTest, PixelBufferThatCannotBeAllocatedFailsWithOne) {
  SimCamOverrideImageSize(32767, 32767);  // 2 GiB of pixels: fits 32 bits, refused by the allocator
  EXPECT_EQ(ExpectFailedPicture(true, 1), "\nallocating image buffer failed\n");
  EXPECT_TRUE(SimCamBoardOpen());
}
#endif

TEST_F(FaultTest, FailedStartIsReportedAndKeepsAnExistingWave) {
  ASSERT_EQ(Call("QV_TakePicture_12", {Argument::Str("keep")}).errorCode, 0);
  Picture before;
  ASSERT_TRUE(ReadPicture("keep", &before));

  SimCamFailEntry(CamEntry::RunCoc, -4);
  SimCamClearCalls();
  testing::internal::CaptureStdout();
  quorsim::CallOutcome outcome = Call("QV_TakePicture_12", {Argument::Str("keep")});
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(outcome.errorCode, -4);
  EXPECT_EQ(outcome.result, -4.0);
  EXPECT_NE(printed.find("\nRUN_COC failed with error -4\n"), std::string::npos) << printed;
  Picture after;
  ASSERT_TRUE(ReadPicture("keep", &after));
  EXPECT_EQ(after.bytes, before.bytes) << "the wave of that name keeps its data";
  ASSERT_FALSE(SimCamCalls().empty());
  bool stopped = false;
  for (const CamCall& call : SimCamCalls()) stopped |= call.ordinal == static_cast<int>(CamEntry::StopCoc);
  EXPECT_TRUE(stopped) << "the camera is stopped after the readout";
}

TEST_F(FaultTest, FailedReadoutAndNoPictureAreErrors) {
  SimCamFailEntry(CamEntry::ReadImage12, -9);
  std::string printed = ExpectFailedPicture(false, -9);
  EXPECT_NE(printed.find("\nREAD_IMAGE_12BIT failed with error -9\n"), std::string::npos);
  SimCamFailEntry(CamEntry::ReadImage12, 0);

  SimCamSetNoPicture(true);
  printed = ExpectFailedPicture(true, 100);
  EXPECT_NE(printed.find("\nREAD_IMAGE_12BIT failed because no picture is in buffer\n"), std::string::npos);
  EXPECT_EQ(printed.find("failed with error"), std::string::npos) << "only the no-picture message";
}

TEST_F(FaultTest, TimeOutAloneDoesNotLoseAPictureThatArrived) {
  SimCamSetPollStuck(true);
  testing::internal::CaptureStdout();
  quorsim::CallOutcome outcome = Call("QV_TakePicture_12", {Argument::Str("late")});
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("\nTIMEOUT in waiting for picture\n"), std::string::npos) << printed;
  EXPECT_EQ(outcome.errorCode, 0) << "the readout decides";
  Picture picture;
  ASSERT_TRUE(ReadPicture("late", &picture));
  EXPECT_EQ(picture.Pixel16(100, 200), SimCamExpectedPixel(100, 200));
}

TEST_F(FaultTest, FailedStatusPollIsReportedButTheReadoutDecides) {
  SimCamFailEntry(CamEntry::GetImageStatus, -2);
  testing::internal::CaptureStdout();
  quorsim::CallOutcome outcome = Call("QV_TakePicture_12", {Argument::Str("polled")});
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("\nGET_IMAGE_STATUS failed with error -2\n"), std::string::npos) << printed;
  quorsim::WaveView view;
  EXPECT_EQ(outcome.errorCode == 0, host_->FindWave("polled", &view));
}

TEST_F(FaultTest, TimingValuesThatAreNotNumbersStillGiveABoundedWait) {
  SimCamSetTimingOverride(true, std::numeric_limits<double>::quiet_NaN(), 1e300);
  SimCamSetPollStuck(true);
  testing::internal::CaptureStdout();
  Call("QV_TakePicture_12", {Argument::Str("nan")});
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("TIMEOUT"), std::string::npos);
}

TEST_F(FaultTest, ImageSizeChangingDuringThePictureFailsWithOne) {
  // The grab asks once; the picture function asks twice more and finds another size.
  SimCamOverrideImageSize(640, 480, 1);
  ExpectFailedPicture(true, 1);
  SimCamClearImageSizeOverride();
  SimCamOverrideImageSize(1280, 1023, 2);
  ExpectFailedPicture(false, 1);
}

TEST_F(FaultTest, EntriesWhoseStatusIsNotExaminedChangeNothingForTheUser) {
  SimCamFailEntry(CamEntry::StopCoc, -1);
  SimCamFailEntry(CamEntry::SettingsDialog, -1);
  SimCamFailEntry(CamEntry::CloseBoard, -1);
  SimCamFailEntry(CamEntry::PrepareBoard, -1);
  EXPECT_EQ(Call("QV_TakePicture_12", {Argument::Str("fine")}).errorCode, 0);
  EXPECT_EQ(Call("QV_OpenDialog").errorCode, 0);
  EXPECT_EQ(CallOk("QV_InitCam"), 0.0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Call("QV_ReleaseCam").errorCode, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Camera is released\n");
}

TEST_F(FaultTest, DriverStatusesReachTheUserAsResults) {
  SimCamFailEntry(CamEntry::WriteSettings, -33);
  EXPECT_EQ(CallOk("QV_SetValues", {Argument::Num(2), Argument::Num(10)}), -33.0);
  SimCamFailEntry(CamEntry::InitBoard, -7);
  EXPECT_EQ(CallOk("QV_InitCam"), -7.0);
  quorsim::CallOutcome outcome = Call("QV_TakePicture_8", {Argument::Str("x"), Argument::Num(0), Argument::Num(1)});
  EXPECT_EQ(outcome.errorCode, -7);
  EXPECT_EQ(outcome.result, -7.0);
}

TEST_F(FaultTest, HostRefusingTheWaveIsPassedOnWithoutResult) {
  host_->RefuseWaveName("taken", 27);
  size_t handles = LiveHandles();
  quorsim::CallOutcome outcome = Call("QV_TakePicture_12", {Argument::Str("taken")});
  EXPECT_EQ(outcome.errorCode, 27);
  EXPECT_FALSE(outcome.resultWritten);
  EXPECT_EQ(LiveHandles(), handles);
  outcome = Call("QV_TakePicture_8", {Argument::Str("bad name"), Argument::Num(0), Argument::Num(9)});
  EXPECT_NE(outcome.errorCode, 0);
  EXPECT_FALSE(outcome.resultWritten);
  EXPECT_TRUE(host_->WaveNames().empty());
  EXPECT_EQ(LiveHandles(), handles);
}

TEST_F(FaultTest, RecordThatCannotGrowStopsTheExchangeWhenTooSmall) {
  // Started at 60 bytes the record cannot carry six items; both resizes fail.
  StartHost(602, 60);
  CallOk("QV_InitCam");
  host_->ClearExchanges();
  size_t handles = LiveHandles();
  quorsim::MemFailSetHandleSize(2);
  quorsim::CallOutcome outcome = Call("QV_TakePicture_12", {Argument::Str("small")});
  EXPECT_EQ(outcome.errorCode, 1);
  EXPECT_TRUE(host_->Exchanges().empty()) << "the host must not be called with a short record";
  EXPECT_EQ(LiveHandles(), handles);
  EXPECT_TRUE(host_->WaveNames().empty());
}

TEST_F(FaultTest, RecordThatCannotBeResizedButIsLargeEnoughStillWorks) {
  StartHost(602, 200);
  CallOk("QV_InitCam");
  quorsim::MemFailSetHandleSize(2);
  EXPECT_EQ(Call("QV_TakePicture_12", {Argument::Str("roomy")}).errorCode, 0);
  Picture picture;
  EXPECT_TRUE(ReadPicture("roomy", &picture));
}

}  // namespace
}  // namespace e2e
