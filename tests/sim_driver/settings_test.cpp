// Settings of the simulated camera: defaults, the round trip through WRITE_SETTINGS and
// READ_SETTINGS, refused values that leave everything as it was, the text buffer's size,
// and the image size that region and binning give.
#include <cstring>
#include <string>

#include "camera_fixture.h"

namespace {

using Settings = HeldClockCameraTest;

struct ReadBack {
  int32_t v[8];
  char text[kSettingsTextSize];
};

ReadBack Read() {
  ReadBack r;
  std::memset(&r, 0x5A, sizeof r);
  EXPECT_EQ(READ_SETTINGS(&r.v[0], &r.v[1], &r.v[2], &r.v[3], &r.v[4], &r.v[5], &r.v[6], &r.v[7], r.text,
                          kSettingsTextSize),
            0);
  return r;
}

TEST_F(Settings, DefaultsAreTheFullSensorUnbinnedAtTenMilliseconds) {
  const ReadBack r = Read();
  EXPECT_EQ((std::vector<int32_t>(r.v, r.v + 8)), (std::vector<int32_t>{0, 0, 1, 1280, 1, 1024, 1, 1}));
  EXPECT_STREQ(r.text, "0, 10, -1, -1");
  EXPECT_EQ(GET_EXPOSURE_TIME(), 10000.0);
  EXPECT_EQ(GET_DELAY_TIME(), 0.0);
}

TEST_F(Settings, WrittenValuesComeBackAndSetTheTiming) {
  ASSERT_EQ(WRITE_SETTINGS(3, 1, 101, 740, 33, 512, 2, 4, "15, 250, -1, -1"), 0);
  const ReadBack r = Read();
  EXPECT_EQ((std::vector<int32_t>(r.v, r.v + 8)), (std::vector<int32_t>{3, 1, 101, 740, 33, 512, 2, 4}));
  EXPECT_STREQ(r.text, "15, 250, -1, -1");
  EXPECT_EQ(GET_DELAY_TIME(), 15000.0);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 250000.0);
  EXPECT_EQ(SimCamExposureMilliseconds(), 250);
  // The module's own text, with spaces as it formats them and a negative trailing pair.
  ASSERT_EQ(WriteText("0,7,-1,-1"), 0);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 7000.0);
  ASSERT_EQ(WriteText(" 0 , 0 , -1 , -1 "), 0);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 0.0);
  ASSERT_EQ(WriteText("1000000, 1000000, 5, 6"), 0);  // the longest times accepted
  EXPECT_EQ(GET_DELAY_TIME(), 1e9);
}

TEST_F(Settings, RefusedSettingsLeaveEverythingAsItWas) {
  ASSERT_EQ(Write(1, 1280, 1, 1024, 2, 2, "0, 20, -1, -1"), 0);
  const CamSettings before = SimCamSettings();
  struct Case {
    int32_t roix1, roix2, roiy1, roiy2, hbin, vbin;
    const char* text;
  };
  const std::string longText = "0, 10, -1, -1" + std::string(250, ' ');
  const Case refused[] = {
      {1, 1280, 1, 1024, 3, 1, "0, 10, -1, -1"},    {1, 1280, 1, 1024, 1, 0, "0, 10, -1, -1"},
      {1, 1280, 1, 1024, 16, 1, "0, 10, -1, -1"},   {1, 1280, 1, 1024, -1, -1, "0, 10, -1, -1"},
      {1, 1280, 1, 1024, 1, 5, "0, 10, -1, -1"},    {0, 1280, 1, 1024, 1, 1, "0, 10, -1, -1"},
      {1, 1281, 1, 1024, 1, 1, "0, 10, -1, -1"},    {1, 1280, 1, 1025, 1, 1, "0, 10, -1, -1"},
      {600, 599, 1, 1024, 1, 1, "0, 10, -1, -1"},   {1, 1280, 9, 8, 1, 1, "0, 10, -1, -1"},
      {1, 3, 1, 1024, 4, 1, "0, 10, -1, -1"},       {1, 1280, 1, 7, 1, 8, "0, 10, -1, -1"},
      {1, 1280, 1, 1024, 1, 1, ""},                 {1, 1280, 1, 1024, 1, 1, "abc"},
      {1, 1280, 1, 1024, 1, 1, "0, x, -1, -1"},     {1, 1280, 1, 1024, 1, 1, "0, 10, -1"},
      {1, 1280, 1, 1024, 1, 1, "0, 10, -1, -1, 5"}, {1, 1280, 1, 1024, 1, 1, "0, -5, -1, -1"},
      {1, 1280, 1, 1024, 1, 1, "-1, 5, -1, -1"},    {1, 1280, 1, 1024, 1, 1, "0, 1000001, -1, -1"},
      {1, 1280, 1, 1024, 1, 1, "0, 99999999999, -1, -1"},
      {1, 1280, 1, 1024, 1, 1, "0, 10.5, -1, -1"},
      {1, 1280, 1, 1024, 1, 1, longText.c_str()},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(testing::Message() << c.roix1 << ".." << c.roix2 << ", " << c.roiy1 << ".." << c.roiy2 << ", bin "
                                    << c.hbin << "x" << c.vbin << ", text \"" << c.text << '"');
    EXPECT_EQ(Write(c.roix1, c.roix2, c.roiy1, c.roiy2, c.hbin, c.vbin, c.text), kSimCamSettingsRefused);
    const CamSettings now = SimCamSettings();
    EXPECT_EQ((std::vector<int32_t>{now.roix1, now.roix2, now.roiy1, now.roiy2, now.hbin, now.vbin}),
              (std::vector<int32_t>{before.roix1, before.roix2, before.roiy1, before.roiy2, before.hbin, before.vbin}));
    EXPECT_EQ(now.text, before.text);
    EXPECT_EQ(SimCamExposureMilliseconds(), 20);
  }
  EXPECT_EQ(WriteText(nullptr), kSimCamBadArgument);
  EXPECT_EQ(SimCamSettings().text, before.text);
}

TEST_F(Settings, TextIsCutToTheBufferSizeAndTerminated) {
  int32_t v[8];
  char text[16];
  std::memset(text, '#', sizeof text);
  ASSERT_EQ(READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], text, 5), 0);
  EXPECT_STREQ(text, "0, 1");
  EXPECT_EQ(std::string(text + 5, sizeof text - 5), std::string(sizeof text - 5, '#'));

  std::memset(text, '#', sizeof text);
  ASSERT_EQ(READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], text, 0), 0);
  EXPECT_EQ(std::string(text, sizeof text), std::string(sizeof text, '#'));
  EXPECT_EQ(v[3], 1280);  // the values are written whatever the text's room
  EXPECT_EQ(READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], nullptr, 0), 0);
  EXPECT_EQ(READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], nullptr, 10), kSimCamBadArgument);
  EXPECT_EQ(READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], nullptr, &v[7], text, 10), kSimCamBadArgument);
}

TEST_F(Settings, ImageSizeFollowsRegionAndBinning) {
  struct Case {
    int32_t roix1, roix2, roiy1, roiy2, hbin, vbin, width, height;
  };
  const Case cases[] = {
      {1, 1280, 1, 1024, 1, 1, 1280, 1024}, {1, 1280, 1, 1024, 2, 2, 640, 512}, {1, 1280, 1, 1024, 8, 8, 160, 128},
      {1, 1280, 1, 1024, 4, 1, 320, 1024},  {101, 740, 1, 480, 1, 1, 640, 480}, {1, 1279, 1, 1023, 2, 2, 639, 511},
      {5, 5, 9, 9, 1, 1, 1, 1},             {1, 15, 1, 15, 8, 8, 1, 1},         {1280, 1280, 1024, 1024, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.roix1 << ".." << c.roix2 << ", " << c.roiy1 << ".." << c.roiy2 << ", bin "
                                    << c.hbin << "x" << c.vbin);
    ASSERT_EQ(Write(c.roix1, c.roix2, c.roiy1, c.roiy2, c.hbin, c.vbin), 0);
    int32_t width = 0, height = 0;
    ImageSize(&width, &height);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
  }
  EXPECT_EQ(GET_IMAGE_SIZE(nullptr, nullptr), kSimCamBadArgument);
}

}  // namespace
