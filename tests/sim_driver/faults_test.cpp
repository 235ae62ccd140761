// Injected faults of the simulated camera: failing entries, positive statuses, a stuck status
// poll, a missing picture, a size that changes between calls, timing values of any kind, and
// reproducible noise.
#include <cmath>
#include <limits>

#include "camera_fixture.h"

namespace {

using Faults = HeldClockCameraTest;

TEST_F(Faults, FailingEntriesAnswerTheStatusAndChangeNothing) {
  SimCamFailEntry(CamEntry::InitBoard, -3);
  EXPECT_EQ(INIT_BOARD(kBoardOpen), -3);
  EXPECT_FALSE(SimCamBoardOpen());
  SimCamFailEntry(CamEntry::InitBoard, 0);
  Open();

  SimCamFailEntry(CamEntry::GetImageSize, -4);
  int32_t width = -8, height = -8;
  EXPECT_EQ(GET_IMAGE_SIZE(&width, &height), -4);
  EXPECT_EQ(width, -8);
  EXPECT_EQ(height, -8);

  SimCamFailEntry(CamEntry::WriteSettings, -6);
  EXPECT_EQ(Write(1, 640, 1, 480, 2, 2, "0, 20, -1, -1"), -6);
  EXPECT_EQ(SimCamSettings().hbin, 1);
  EXPECT_EQ(SimCamExposureMilliseconds(), 10);

  SimCamFailEntry(CamEntry::RunCoc, -7);
  EXPECT_EQ(RUN_COC(4), -7);
  EXPECT_EQ(PictureStatus(), 0);  // no exposure started
  SimCamFailEntry(CamEntry::RunCoc, 0);

  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(10);
  SimCamFailEntry(CamEntry::GetImageStatus, -8);
  int32_t picstat = 55;
  EXPECT_EQ(GET_IMAGE_STATUS(&picstat), -8);
  EXPECT_EQ(picstat, 55);
  SimCamFailEntry(CamEntry::ReadImage12, -9);
  std::vector<uint16_t> pixels(1280 * 1024, 7);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), -9);
  EXPECT_EQ(pixels, std::vector<uint16_t>(1280 * 1024, 7));
  SimCamFailEntry(CamEntry::ReadImage12, 0);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 0);  // the picture was kept

  SimCamFailEntry(CamEntry::StopCoc, -10);
  SimCamFailEntry(CamEntry::CloseBoard, -11);
  SimCamFailEntry(CamEntry::SettingsDialog, -12);
  SimCamFailEntry(CamEntry::PrepareBoard, -13);
  EXPECT_EQ(STOP_COC(0), -10);
  EXPECT_EQ(CLOSE_BOARD(), -11);
  EXPECT_EQ(SETTINGS_DIALOG(nullptr, 0, "Camera Dialog"), -12);
  EXPECT_EQ(PREPARE_BOARD(0), -13);
  // Every call was recorded, failed or not.
  EXPECT_EQ(SimCamCallCount(CamEntry::RunCoc), 2u);
  EXPECT_EQ(SimCamCallCount(CamEntry::ReadImage12), 2u);
  EXPECT_EQ(SimCamCallCount(CamEntry::InitBoard), 2u);
}

TEST_F(Faults, PositiveStatusStillDoesTheWork) {
  Open();
  ASSERT_EQ(RUN_COC(4), 0);
  SimCamFailEntry(CamEntry::GetImageStatus, 3);
  int32_t picstat = 0;
  EXPECT_EQ(GET_IMAGE_STATUS(&picstat), 3);
  EXPECT_EQ(picstat, kPicstatPictureNotReady);
  SimCamFailEntry(CamEntry::ReadImage12, 5);
  Win32SimAdvanceClock(10);
  std::vector<uint16_t> pixels(1280 * 1024);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 5);
  EXPECT_EQ(pixels, ExpectedPicture());
  // A failure of the entry's own wins over the injected status.
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), kReadoutNoPicture);
  EXPECT_EQ(INIT_BOARD(kBoardClose), 0);
  EXPECT_EQ(GET_IMAGE_STATUS(&picstat), kSimCamBoardClosed);
}

TEST_F(Faults, StuckPollReportsAPictureOnItsWayForEver) {
  Open();
  SimCamSetPollStuck(true);
  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(100000);
  EXPECT_NE(PictureStatus() & kPicstatPictureNotReady, 0);
  std::vector<uint16_t> pixels(1280 * 1024);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 0);  // the picture itself was taken
  EXPECT_NE(PictureStatus() & kPicstatPictureNotReady, 0);
  SimCamSetPollStuck(false);
  EXPECT_EQ(PictureStatus(), 0);
}

TEST_F(Faults, NoPictureInTheBuffer) {
  Open();
  SimCamSetNoPicture(true);
  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(10);
  EXPECT_EQ(PictureStatus(), 1);
  std::vector<uint8_t> bytes(1280 * 1024, 9);
  EXPECT_EQ(READ_IMAGE_8BIT(0, 1280, 1024, bytes.data()), kReadoutNoPicture);
  EXPECT_EQ(bytes, std::vector<uint8_t>(1280 * 1024, 9));
  SimCamSetNoPicture(false);
  EXPECT_EQ(READ_IMAGE_8BIT(0, 1280, 1024, bytes.data()), 0);
}

TEST_F(Faults, SizeOverrideStartsAtTheGivenCallAndTheReadoutKeepsTheRealSize) {
  Open();
  SimCamOverrideImageSize(640, 480, 1);
  int32_t width = 0, height = 0;
  ImageSize(&width, &height);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 1024);
  for (int call = 1; call <= 3; ++call) {
    ImageSize(&width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
  }
  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(10);
  std::vector<uint16_t> pixels(1280 * 1024);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 640, 480, pixels.data()), kSimCamSizeMismatch);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 0);
  SimCamOverrideImageSize(-1, 70000, 0);  // sizes no camera has, for the module's checks
  ImageSize(&width, &height);
  EXPECT_EQ(width, -1);
  EXPECT_EQ(height, 70000);
  SimCamClearImageSizeOverride();
  ImageSize(&width, &height);
  EXPECT_EQ(width, 1280);
}

TEST_F(Faults, TimingOverrideAnswersAnyDoubleAndLeavesTheExposureAlone) {
  Open();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  SimCamSetTimingOverride(true, 999.9, 16777217.0);
  EXPECT_EQ(GET_DELAY_TIME(), 999.9);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 16777217.0);
  SimCamSetTimingOverride(true, nan, -inf);
  EXPECT_TRUE(std::isnan(GET_DELAY_TIME()));
  EXPECT_EQ(GET_EXPOSURE_TIME(), -inf);
  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(9);
  EXPECT_EQ(PictureStatus(), kPicstatPictureNotReady);  // still the settings' 10 ms
  Win32SimAdvanceClock(1);
  EXPECT_EQ(PictureStatus(), 1);
  SimCamSetTimingOverride(false, 0, 0);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 10000.0);
}

TEST_F(Faults, NoiseIsCentredOfTheGivenSizeAndReproducible) {
  Open();
  const auto expected = ExpectedPicture();
  SimCamSetNoise(8);
  const auto first = TakePicture();
  const auto second = TakePicture();
  SimCamSetNoise(8);
  EXPECT_EQ(TakePicture(), first);  // the same sequence again
  EXPECT_NE(first, second);         // but each picture of it its own

  double sum = 0, squares = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    const int32_t d = first[i] - expected[i];
    ASSERT_LE(std::abs(d), 8 * 4) << "pixel " << i;
    sum += d;
    squares += static_cast<double>(d) * d;
  }
  const double mean = sum / first.size();
  const double deviation = std::sqrt(squares / first.size() - mean * mean);
  EXPECT_NEAR(mean, 0.0, 0.1);
  EXPECT_NEAR(deviation, 8.0, 0.5);
}

}  // namespace
