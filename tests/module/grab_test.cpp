// The grab cycle: the time-out arithmetic at its edges, the wait on the tick clock (also across
// its wrap), every failure of the driver with its messages, and the two other grab routines.
// Failures return their code and leave the process, the board and the caller's memory alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "camera/driver.h"
#include "camera/grab.h"
#include "module_fixture.h"
#include "win32sim_control.h"

namespace moduletest {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PictureTimeout, IsTheWholeMillisecondsOfTheFloatSumPlusTwenty) {
  struct Case {
    double delay, exposure;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 0, 20},
      {999.9, 0, 20},
      {500, 499.9, 20},
      {1000, 0, 21},
      {0, 40000, 60},
      {16777217, 0, 16797},  // rounds to the float 16777216
      {16777216, 1, 16797},  // the sum is taken in double first, then rounded
      {2147482000, 0, 2147501},  // the float is 2147481984
  };
  for (const Case& c : cases)
    EXPECT_EQ(PictureTimeoutMilliseconds(c.delay, c.exposure), c.expected) << c.delay << " + " << c.exposure;
}

TEST(PictureTimeout, SumsThatAreNotNumbersOrDoNotFitAreBounded) {
  EXPECT_EQ(PictureTimeoutMilliseconds(kNaN, 10000), 20);
  EXPECT_EQ(PictureTimeoutMilliseconds(-5, 0), 20);
  EXPECT_EQ(PictureTimeoutMilliseconds(-5000000, 0), 20) << "a negative sum never shortens the margin";
  EXPECT_EQ(PictureTimeoutMilliseconds(-kInf, 0), 20);
  EXPECT_EQ(PictureTimeoutMilliseconds(kInf, -kInf), 20);
  EXPECT_EQ(PictureTimeoutMilliseconds(1e300, 0), 2147503);
  EXPECT_EQ(PictureTimeoutMilliseconds(kInf, 0), 2147503);
  EXPECT_EQ(PictureTimeoutMilliseconds(2147483647, 0), 2147503) << "rounds up to 2^31 as a float";
  EXPECT_EQ(PictureTimeoutMilliseconds(2147483648.0, 0), 2147503);
}

class GrabTest : public SteppingClockCameraTest {
 protected:
  void SetUp() override {
    SteppingClockCameraTest::SetUp();
    OpenBoard();
  }
  void TearDown() override {
    std::free(pixels_);
    SteppingClockCameraTest::TearDown();
  }
  // Grabs with the 12-bit cycle; returns what it printed.
  std::string Grab() {
    CaptureStdout();
    status_ = grab_image_12bit(&pixels_, &width_, &height_);
    return GetCapturedStdout();
  }
  void ExpectNoPicture() {
    EXPECT_EQ(pixels_, nullptr);
    EXPECT_EQ(width_, 0);
    EXPECT_EQ(height_, 0);
  }
  bool Called(CamEntry entry) const { return SimCamCallCount(entry) > 0; }

  uint16_t* pixels_ = nullptr;
  int32_t width_ = -1;
  int32_t height_ = -1;
  int32_t status_ = 12345;
};

TEST_F(GrabTest, GoodPictureIsHandedOverWithItsSizeInDriverOrder) {
  EXPECT_EQ(Grab(), "\nCamera grabs one image\nRead image from board buffer\n");
  ASSERT_EQ(status_, 0);
  ASSERT_NE(pixels_, nullptr);
  EXPECT_EQ(width_, 1280);
  EXPECT_EQ(height_, 1024);
  for (int32_t y : {0, 1, 511, 1023})
    for (int32_t x : {0, 1, 640, 1279})
      EXPECT_EQ(pixels_[x + 1280 * y], SimCamExpectedPixel(x, y)) << x << "," << y;

  std::vector<int> calls = SimCamCallOrdinals();
  ASSERT_GE(calls.size(), 7u);
  const std::vector<int> head(calls.begin(), calls.begin() + 5);
  const std::vector<int> tail(calls.end() - 2, calls.end());
  EXPECT_EQ(head, Ordinals({CamEntry::GetImageSize, CamEntry::GetDelayTime, CamEntry::GetExposureTime,
                            CamEntry::RunCoc, CamEntry::GetImageStatus}));
  EXPECT_EQ(tail, Ordinals({CamEntry::ReadImage12, CamEntry::StopCoc}));
  for (size_t i = 5; i + 2 < calls.size(); ++i) EXPECT_EQ(calls[i], static_cast<int>(CamEntry::GetImageStatus));
  EXPECT_EQ(SimCamCalls()[3].args, std::vector<int64_t>{4});
  EXPECT_EQ(SimCamCalls().end()[-2].args, (std::vector<int64_t>{0, 1280, 1024}));
}

TEST_F(GrabTest, WaitEndsAtTheTimeOutAndTheReadoutDecides) {
  SetExposureMilliseconds(0);
  SimCamSetPollStuck(true);
  SimCamSetTimingOverride(true, 0, 40000);  // 60 ms
  const std::string printed = Grab();
  EXPECT_EQ(printed, "\nCamera grabs one image\n\nTIMEOUT in waiting for picture\nRead image from board buffer\n");
  EXPECT_EQ(status_, 0) << "a picture that arrived is not lost to a time-out";
  EXPECT_NE(pixels_, nullptr);
  // Each poll reads the clock once more (1 ms per reading): about one poll per millisecond.
  EXPECT_GE(Count(CamEntry::GetImageStatus), 55u);
  EXPECT_LE(Count(CamEntry::GetImageStatus), 60u);
}

TEST_F(GrabTest, TickCounterWrapDuringTheWaitChangesNothing) {
  SetExposureMilliseconds(0);
  SimCamSetPollStuck(true);
  SimCamSetTimingOverride(true, 0, 0);  // 20 ms
  Win32SimUseManualClock(0xFFFFFFF8u, 1);
  Grab();
  EXPECT_GE(Count(CamEntry::GetImageStatus), 15u) << "the deadline wrapped past zero";
  EXPECT_LE(Count(CamEntry::GetImageStatus), 20u);
}

TEST_F(GrabTest, PictureReadyOnTheFirstPollEndsTheWaitWithoutTimeOut) {
  SetExposureMilliseconds(0);
  EXPECT_EQ(Grab(), "\nCamera grabs one image\nRead image from board buffer\n");
  EXPECT_EQ(Count(CamEntry::GetImageStatus), 1u);
  EXPECT_EQ(status_, 0);
}

TEST_F(GrabTest, ImageSizeFailureStopsBeforeAnythingElseAndKeepsTheBoardOpen) {
  SimCamFailEntry(CamEntry::GetImageSize, -12);
  EXPECT_EQ(Grab(), "\nGET_IMAGE_SIZE failed with error -12\n");
  EXPECT_EQ(status_, -12);
  ExpectNoPicture();
  EXPECT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::GetImageSize})) << "no close, no start";
  EXPECT_TRUE(SimCamBoardOpen());
}

TEST_F(GrabTest, ImpossibleSizesAreRefusedWithoutAllocating) {
  const std::pair<int32_t, int32_t> sizes[] = {{0, 1024}, {1280, 0}, {1280, -3}, {-2, -2},
                                               {65536, 32768}, {46341, 46341}, {32768, 32768}};
  for (auto [w, h] : sizes) {
    SimCamClearCalls();
    SimCamOverrideImageSize(w, h);
    EXPECT_EQ(Grab(), "\nallocating image buffer failed\n") << w << "x" << h;
    EXPECT_EQ(status_, kErrPictureFailed);
    ExpectNoPicture();
    EXPECT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::GetImageSize}));
  }
  EXPECT_TRUE(SimCamBoardOpen());
}

TEST_F(GrabTest, FailedStartStillWaitsReadsAndStopsThenFailsWithItsStatus) {
  SimCamFailEntry(CamEntry::RunCoc, -4);
  EXPECT_EQ(Grab(),
            "\nCamera grabs one image\n\nRUN_COC failed with error -4\nRead image from board buffer\n"
            "\nREAD_IMAGE_12BIT failed because no picture is in buffer\n");
  EXPECT_EQ(status_, -4) << "the start's status comes before the readout's";
  ExpectNoPicture();
  EXPECT_EQ(SimCamCallOrdinals(),
            Ordinals({CamEntry::GetImageSize, CamEntry::GetDelayTime, CamEntry::GetExposureTime, CamEntry::RunCoc,
                      CamEntry::GetImageStatus, CamEntry::ReadImage12, CamEntry::StopCoc}));
}

TEST_F(GrabTest, FailedReadoutIsStoppedAndReported) {
  SetExposureMilliseconds(0);
  SimCamFailEntry(CamEntry::ReadImage12, -9);
  EXPECT_EQ(Grab(), "\nCamera grabs one image\nRead image from board buffer\n\nREAD_IMAGE_12BIT failed with error -9\n");
  EXPECT_EQ(status_, -9);
  ExpectNoPicture();
  EXPECT_EQ(SimCamCallOrdinals().back(), static_cast<int>(CamEntry::StopCoc));
}

TEST_F(GrabTest, NoPictureInTheBufferPrintsOnlyItsOwnMessageAndFails) {
  SetExposureMilliseconds(0);
  SimCamSetNoPicture(true);
  EXPECT_EQ(Grab(),
            "\nCamera grabs one image\nRead image from board buffer\n"
            "\nREAD_IMAGE_12BIT failed because no picture is in buffer\n");
  EXPECT_EQ(status_, kReadoutNoPicture);
  ExpectNoPicture();
  EXPECT_EQ(SimCamCallOrdinals().back(), static_cast<int>(CamEntry::StopCoc));
}

TEST_F(GrabTest, PositiveReadoutStatusOtherThanNoPictureIsAPicture) {
  SetExposureMilliseconds(0);
  SimCamFailEntry(CamEntry::ReadImage12, 3);
  EXPECT_EQ(Grab(), "\nCamera grabs one image\nRead image from board buffer\n");
  EXPECT_EQ(status_, 0);
  EXPECT_NE(pixels_, nullptr);
}

TEST_F(GrabTest, FirstPollFailingWithoutAnswerReportsNoTimeOut) {
  SetExposureMilliseconds(0);
  SimCamFailEntry(CamEntry::GetImageStatus, -2);
  const std::string printed = Grab();
  EXPECT_EQ(printed,
            "\nCamera grabs one image\n\nGET_IMAGE_STATUS failed with error -2\nRead image from board buffer\n");
  EXPECT_EQ(Count(CamEntry::GetImageStatus), 1u);
  EXPECT_EQ(status_, 0) << "the picture was there all the same";
}

TEST_F(GrabTest, PositivePollStatusEndsTheWaitSilently) {
  SetExposureMilliseconds(0);
  SimCamSetPollStuck(true);
  SimCamFailEntry(CamEntry::GetImageStatus, 3);
  EXPECT_EQ(Grab(), "\nCamera grabs one image\n\nTIMEOUT in waiting for picture\nRead image from board buffer\n");
  EXPECT_EQ(Count(CamEntry::GetImageStatus), 1u);
  EXPECT_EQ(status_, 0);
}

TEST_F(GrabTest, EightBitCycleReadsBytesAndNamesItsOwnReadout) {
  SetExposureMilliseconds(0);
  uint8_t* bytes = nullptr;
  int32_t w = 0, h = 0;
  CaptureStdout();
  ASSERT_EQ(grab_image_8bit(&bytes, &w, &h), 0);
  EXPECT_EQ(GetCapturedStdout(), "\nCamera grabs one image\nRead image from board buffer\n");
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 1024);
  EXPECT_EQ(bytes[700 + 1280 * 300], SimCamExpectedPixel(700, 300) >> 4);
  EXPECT_EQ(SimCamCallOrdinals().end()[-2], static_cast<int>(CamEntry::ReadImage8));
  std::free(bytes);

  SimCamSetNoPicture(true);
  CaptureStdout();
  EXPECT_EQ(grab_image_8bit(&bytes, &w, &h), kReadoutNoPicture);
  EXPECT_NE(GetCapturedStdout().find("\nREAD_IMAGE_8BIT failed because no picture is in buffer\n"), std::string::npos);
  EXPECT_EQ(bytes, nullptr);
  SimCamSetNoPicture(false);

  SimCamFailEntry(CamEntry::ReadImage8, -6);
  CaptureStdout();
  EXPECT_EQ(grab_image_8bit(&bytes, &w, &h), -6);
  EXPECT_NE(GetCapturedStdout().find("\nREAD_IMAGE_8BIT failed with error -6\n"), std::string::npos);

  SimCamOverrideImageSize(65536, 32768);  // 2^31 bytes: too large even at one byte per pixel
  CaptureStdout();
  EXPECT_EQ(grab_image_8bit(&bytes, &w, &h), kErrPictureFailed);
  EXPECT_EQ(GetCapturedStdout(), "\nallocating image buffer failed\n");
}

TEST_F(GrabTest, GrabIntoCallersBufferWaitsStartsReadsAndStopsSilently) {
  SetExposureMilliseconds(0);
  std::vector<uint16_t> buffer(1280 * 1024, 0xFFFF);
  CaptureStdout();
  EXPECT_EQ(grab_into_buffer(buffer.data(), 1280, 1024), 0);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(buffer[5 + 1280 * 7], SimCamExpectedPixel(5, 7));
  EXPECT_EQ(SimCamCallOrdinals(),
            Ordinals({CamEntry::GetDelayTime, CamEntry::GetExposureTime, CamEntry::GetImageStatus, CamEntry::RunCoc,
                      CamEntry::ReadImage12, CamEntry::StopCoc}));

  SimCamClearCalls();
  SimCamFailEntry(CamEntry::RunCoc, -4);
  EXPECT_EQ(grab_into_buffer(buffer.data(), 1280, 1024), -4);
  EXPECT_EQ(SimCamCallOrdinals().back(), static_cast<int>(CamEntry::RunCoc)) << "no readout after a failed start";
  SimCamFailEntry(CamEntry::RunCoc, 0);

  SimCamSetNoPicture(true);
  EXPECT_EQ(grab_into_buffer(buffer.data(), 1280, 1024), kReadoutNoPicture);
  SimCamSetNoPicture(false);

  SimCamClearCalls();
  EXPECT_EQ(grab_into_buffer(nullptr, 1280, 1024), kErrPictureFailed);
  EXPECT_EQ(grab_into_buffer(buffer.data(), 0, 1024), kErrPictureFailed);
  EXPECT_TRUE(SimCamCalls().empty());
}

TEST_F(GrabTest, GrabIntoBufferFirstWaitsForAPendingPicture) {
  SimCamSetPollStuck(true);
  SimCamSetTimingOverride(true, 0, 0);  // 20 ms
  std::vector<uint16_t> buffer(1280 * 1024);
  grab_into_buffer(buffer.data(), 1280, 1024);
  EXPECT_GE(Count(CamEntry::GetImageStatus), 10u);
  EXPECT_LE(Count(CamEntry::GetImageStatus), 20u);
}

}  // namespace
}  // namespace moduletest
