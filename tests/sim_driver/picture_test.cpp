// Pictures of the simulated camera: exposure timing on the tick clock (also across its wrap),
// the readout's rules, and the scene: deterministic, binned by summing, scaled by exposure,
// clipped at full scale, and offset by the region.
#include <algorithm>

#include "camera_fixture.h"

namespace {

using Picture = HeldClockCameraTest;

TEST_F(Picture, ExposureAndDelayRunOnTheTickClock) {
  Open();
  ASSERT_EQ(WriteText("5, 30, -1, -1"), 0);
  EXPECT_EQ(PictureStatus(), 0);  // nothing on its way yet
  ASSERT_EQ(RUN_COC(4), 0);
  EXPECT_EQ(PictureStatus(), kPicstatPictureNotReady);
  Win32SimAdvanceClock(34);
  EXPECT_EQ(PictureStatus(), kPicstatPictureNotReady);
  Win32SimAdvanceClock(1);
  EXPECT_EQ(PictureStatus(), 1);  // ready, waiting in the board's buffer
  std::vector<uint16_t> pixels(1280 * 1024);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 0);
  EXPECT_EQ(PictureStatus(), 0);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), kReadoutNoPicture);  // read out once only
}

TEST_F(Picture, ExposureEndsOnTimeAcrossTheCounterWrap) {
  Win32SimUseManualClock(0xFFFFFFF0u);
  Open();
  ASSERT_EQ(WriteText("0, 30, -1, -1"), 0);
  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(29);
  EXPECT_EQ(PictureStatus(), kPicstatPictureNotReady);
  Win32SimAdvanceClock(1);
  EXPECT_EQ(PictureStatus(), 1);
}

TEST_F(Picture, ReadoutBeforeTheEndFindsNoPictureAndLosesNone) {
  Open();
  std::vector<uint16_t> pixels(1280 * 1024, 7);
  ASSERT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), kReadoutNoPicture);  // nothing started
  ASSERT_EQ(RUN_COC(4), 0);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), kReadoutNoPicture);
  EXPECT_EQ(pixels, std::vector<uint16_t>(1280 * 1024, 7));
  Win32SimAdvanceClock(10);  // the readout itself notices the time has passed
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 0);
  EXPECT_EQ(pixels, ExpectedPicture());
}

TEST_F(Picture, WrongSizeLeavesBufferAndPictureAlone) {
  Open();
  ASSERT_EQ(Write(1, 640, 1, 480, 1, 1), 0);
  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(10);
  std::vector<uint16_t> pixels(1280 * 1024, 7);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 639, 480, pixels.data()), kSimCamSizeMismatch);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 640, 481, pixels.data()), kSimCamSizeMismatch);
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), kSimCamSizeMismatch);
  EXPECT_EQ(READ_IMAGE_12BIT(0, -640, -480, pixels.data()), kSimCamSizeMismatch);
  EXPECT_EQ(pixels, std::vector<uint16_t>(1280 * 1024, 7));
  EXPECT_EQ(READ_IMAGE_12BIT(0, 640, 480, pixels.data()), 0);
}

TEST_F(Picture, ZeroExposureGivesTheBiasAtOnce) {
  Open();
  ASSERT_EQ(WriteText("0, 0, -1, -1"), 0);
  ASSERT_EQ(RUN_COC(4), 0);
  EXPECT_EQ(PictureStatus(), 1);  // ready at the first poll, no time passed
  std::vector<uint16_t> pixels(1280 * 1024);
  ASSERT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, pixels.data()), 0);
  EXPECT_EQ(pixels, std::vector<uint16_t>(1280 * 1024, kSimCamBias));
}

TEST_F(Picture, SceneIsTheExpectedPixelsEveryTimeInTwelveAndEightBits) {
  Open();
  const auto first = TakePicture();
  const auto second = TakePicture();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, ExpectedPicture());

  ASSERT_EQ(RUN_COC(4), 0);
  Win32SimAdvanceClock(10);
  std::vector<uint8_t> bytes(1280 * 1024);
  ASSERT_EQ(READ_IMAGE_8BIT(0, 1280, 1024, bytes.data()), 0);
  for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], first[i] >> 4) << "pixel " << i;
}

TEST_F(Picture, NominalSceneHasStructureWithinFullScale) {
  Open();
  const auto pixels = TakePicture();
  const auto [low, high] = std::minmax_element(pixels.begin(), pixels.end());
  EXPECT_GE(*low, kSimCamBias);
  EXPECT_LT(*high, kSimCamFullScale);  // nothing clipped at the reference exposure
  EXPECT_GT(*high, 3000);
  std::vector<bool> seen(kSimCamFullScale + 1);
  for (const uint16_t p : pixels) seen[p] = true;
  EXPECT_GT(std::count(seen.begin(), seen.end(), true), 1000);
  // Brightest towards the middle of the glow, darkest in the corners, a ramp across the top.
  EXPECT_GT(SimCamExpectedPixel(640, 512), SimCamExpectedPixel(0, 1023));
  EXPECT_LT(SimCamExpectedPixel(10, 40), SimCamExpectedPixel(640, 40));
  EXPECT_LT(SimCamExpectedPixel(640, 40), SimCamExpectedPixel(1270, 40));
  // Outside the image there is nothing.
  EXPECT_EQ(SimCamExpectedPixel(1280, 0), 0);
  EXPECT_EQ(SimCamExpectedPixel(0, -1), 0);
  EXPECT_EQ(SimCamExpectedPixel(INT32_MAX, INT32_MAX), 0);
}

TEST_F(Picture, BinningSumsTheSensorPixelsAndClips) {
  Open();
  const auto sensor = ExpectedPicture();  // unbinned, unclipped at the reference exposure
  ASSERT_EQ(Write(1, 1280, 1, 1024, 2, 4), 0);
  const auto binned = TakePicture();
  ASSERT_EQ(binned.size(), 640u * 256u);
  EXPECT_EQ(binned, ExpectedPicture());
  size_t clipped = 0;
  for (int32_t y = 0; y < 256; ++y) {
    for (int32_t x = 0; x < 640; ++x) {
      int64_t signal = 0;
      for (int32_t j = 0; j < 4; ++j)
        for (int32_t i = 0; i < 2; ++i) signal += sensor[(4 * y + j) * 1280 + 2 * x + i] - kSimCamBias;
      const int64_t expected = std::min<int64_t>(kSimCamBias + signal, kSimCamFullScale);
      ASSERT_EQ(binned[y * 640 + x], expected) << x << "," << y;
      clipped += expected == kSimCamFullScale;
    }
  }
  EXPECT_GT(clipped, 100u);  // the bright disks saturate when eight pixels are summed
}

TEST_F(Picture, SignalGrowsLinearlyWithTheExposure) {
  Open();
  const auto nominal = TakePicture();
  ASSERT_EQ(WriteText("0, 20, -1, -1"), 0);
  const auto twice = TakePicture();
  ASSERT_EQ(WriteText("0, 5, -1, -1"), 0);
  const auto half = TakePicture();
  size_t clipped = 0;
  for (size_t i = 0; i < nominal.size(); ++i) {
    const int32_t signal = nominal[i] - kSimCamBias;
    ASSERT_EQ(twice[i], std::min(kSimCamBias + 2 * signal, kSimCamFullScale)) << "pixel " << i;
    ASSERT_EQ(half[i], kSimCamBias + signal / 2) << "pixel " << i;
    clipped += twice[i] == kSimCamFullScale;
  }
  EXPECT_GT(clipped, 0u);
}

TEST_F(Picture, RegionCutsTheSceneAtItsOffset) {
  Open();
  const auto full = ExpectedPicture();
  ASSERT_EQ(Write(101, 740, 201, 680, 1, 1), 0);
  const auto part = TakePicture();
  ASSERT_EQ(part.size(), 640u * 480u);
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) ASSERT_EQ(part[y * 640 + x], full[(y + 200) * 1280 + x + 100]) << x << "," << y;
}

}  // namespace
