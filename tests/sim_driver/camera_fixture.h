// Shared set-up of the simulated driver tests: a fresh camera on a manual tick clock that holds
// still until a test moves it, and the few driver sequences most tests start from.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera/driver.h"
#include "senntcam_control.h"
#include "win32sim_control.h"

class HeldClockCameraTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStartTicks = 10000;

  void SetUp() override {
    SimCamReset();
    Win32SimUseManualClock(kStartTicks);
  }
  void TearDown() override {
    SimCamReset();
    Win32SimUseRealClock();
  }

  static void Open() {
    ASSERT_EQ(PREPARE_BOARD(0), 0);
    ASSERT_EQ(INIT_BOARD(kBoardOpen), 0);
  }

  // Region, binning and text written over the current mode and trigger.
  static int32_t Write(int32_t roix1, int32_t roix2, int32_t roiy1, int32_t roiy2, int32_t hbin, int32_t vbin,
                       const char* text = "0, 10, -1, -1") {
    const CamSettings s = SimCamSettings();
    return WRITE_SETTINGS(s.mode, s.trig, roix1, roix2, roiy1, roiy2, hbin, vbin, text);
  }
  static int32_t WriteText(const char* text) {
    const CamSettings s = SimCamSettings();
    return WRITE_SETTINGS(s.mode, s.trig, s.roix1, s.roix2, s.roiy1, s.roiy2, s.hbin, s.vbin, text);
  }

  static void ImageSize(int32_t* width, int32_t* height) { ASSERT_EQ(GET_IMAGE_SIZE(width, height), 0); }

  static int32_t PictureStatus() {
    int32_t picstat = -1;
    EXPECT_EQ(GET_IMAGE_STATUS(&picstat), 0);
    return picstat;
  }

  // Starts an exposure, lets its time pass on the clock and reads the picture in 12 bits.
  static std::vector<uint16_t> TakePicture() {
    int32_t width = 0, height = 0;
    ImageSize(&width, &height);
    EXPECT_EQ(RUN_COC(4), 0);
    Win32SimAdvanceClock(static_cast<uint32_t>(GET_DELAY_TIME() / 1000 + GET_EXPOSURE_TIME() / 1000));
    EXPECT_EQ(PictureStatus() & kPicstatPictureNotReady, 0);
    std::vector<uint16_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    EXPECT_EQ(READ_IMAGE_12BIT(0, width, height, pixels.data()), 0);
    return pixels;
  }

  // What SimCamExpectedPixel says for every pixel of the current image.
  static std::vector<uint16_t> ExpectedPicture() {
    int32_t width = 0, height = 0;
    ImageSize(&width, &height);
    std::vector<uint16_t> pixels;
    pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) pixels.push_back(SimCamExpectedPixel(x, y));
    return pixels;
  }
};
