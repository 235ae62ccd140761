// The simulated driver's call record and board state: the orders of calls the module makes,
// the arguments kept with them, the entries that need an open board, and reset.
#include "camera_fixture.h"

namespace {

using Record = HeldClockCameraTest;

TEST_F(Record, OpenGrabAndReleaseAreRecordedInOrderWithTheirArguments) {
  Open();
  int32_t width = 0, height = 0;
  ImageSize(&width, &height);
  GET_DELAY_TIME();
  GET_EXPOSURE_TIME();
  ASSERT_EQ(RUN_COC(4), 0);
  PictureStatus();
  Win32SimAdvanceClock(10);
  PictureStatus();
  std::vector<uint16_t> pixels(static_cast<size_t>(width) * height);
  ASSERT_EQ(READ_IMAGE_12BIT(0, width, height, pixels.data()), 0);
  EXPECT_EQ(STOP_COC(0), 0);
  EXPECT_EQ(STOP_COC(0), 0);
  EXPECT_EQ(CLOSE_BOARD(), 0);
  EXPECT_EQ(INIT_BOARD(kBoardClose), 0);

  EXPECT_EQ(SimCamCallOrdinals(), (std::vector<int>{2, 1, 4, 58, 59, 6, 5, 5, 14, 7, 7, 21, 1}));
  const auto& calls = SimCamCalls();
  EXPECT_EQ(calls[0].args, std::vector<int64_t>{0});
  EXPECT_EQ(calls[1].args, std::vector<int64_t>{2});
  EXPECT_EQ(calls[5].args, std::vector<int64_t>{4});
  EXPECT_EQ(calls[8].args, (std::vector<int64_t>{0, 1280, 1024}));
  EXPECT_EQ(calls[12].args, std::vector<int64_t>{0});
  EXPECT_EQ(SimCamCallCount(CamEntry::GetImageStatus), 2u);
  EXPECT_EQ(SimCamCallCount(CamEntry::StopCoc), 2u);
  EXPECT_FALSE(SimCamBoardOpen());
}

TEST_F(Record, SettingsAndDialogCallsKeepTheirValuesAndTexts) {
  int32_t v[8];
  char text[kSettingsTextSize];
  READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], text, kSettingsTextSize);
  WRITE_SETTINGS(v[0], v[1], v[2], v[3], v[4], v[5], 2, 2, "0, 40, -1, -1");
  int window;
  SETTINGS_DIALOG(&window, 0, "Camera Dialog");

  ASSERT_EQ(SimCamCallOrdinals(), (std::vector<int>{81, 8, 20}));
  const auto& calls = SimCamCalls();
  EXPECT_EQ(calls[0].args, std::vector<int64_t>{kSettingsTextSize});
  EXPECT_EQ(calls[1].args, (std::vector<int64_t>{0, 0, 1, 1280, 1, 1024, 2, 2}));
  EXPECT_EQ(calls[1].text, "0, 40, -1, -1");
  EXPECT_EQ(calls[2].args, (std::vector<int64_t>{reinterpret_cast<intptr_t>(&window), 0}));
  EXPECT_EQ(calls[2].text, "Camera Dialog");
}

TEST_F(Record, PictureEntriesNeedAnOpenBoardButTheSizeDoesNot) {
  std::vector<uint16_t> pixels(4, 0xBEEF);
  int32_t picstat = 77;
  const auto refused = [&] {
    EXPECT_EQ(RUN_COC(4), kSimCamBoardClosed);
    EXPECT_EQ(GET_IMAGE_STATUS(&picstat), kSimCamBoardClosed);
    EXPECT_EQ(READ_IMAGE_12BIT(0, 2, 2, pixels.data()), kSimCamBoardClosed);
    EXPECT_EQ(picstat, 77);
    EXPECT_EQ(pixels, std::vector<uint16_t>(4, 0xBEEF));
  };
  refused();  // never opened
  int32_t width = 0, height = 0;
  EXPECT_EQ(GET_IMAGE_SIZE(&width, &height), 0);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 1024);

  Open();
  EXPECT_TRUE(SimCamBoardOpen());
  EXPECT_EQ(RUN_COC(4), 0);
  EXPECT_EQ(INIT_BOARD(kBoardClose), 0);  // closing drops the exposure under way
  refused();
  Open();
  EXPECT_EQ(READ_IMAGE_12BIT(0, 1280, 1024, nullptr), kSimCamBadArgument);
  EXPECT_EQ(PictureStatus(), 0);  // reopened with nothing on its way

  EXPECT_EQ(INIT_BOARD(3), kSimCamBadArgument);  // unknown modes change nothing
  EXPECT_TRUE(SimCamBoardOpen());
  EXPECT_EQ(RUN_COC(1), kSimCamBadArgument);
  EXPECT_EQ(PictureStatus(), 0);
}

TEST_F(Record, ResetRestoresTheFreshCamera) {
  Open();
  ASSERT_EQ(Write(11, 650, 21, 500, 2, 4, "3, 77, -1, -1"), 0);
  SimCamFailEntry(CamEntry::RunCoc, -9);
  SimCamSetPollStuck(true);
  SimCamSetNoPicture(true);
  SimCamOverrideImageSize(3, 3);
  SimCamSetTimingOverride(true, 1, 2);
  SimCamReset();

  EXPECT_FALSE(SimCamBoardOpen());
  EXPECT_TRUE(SimCamCalls().empty());
  const CamSettings s = SimCamSettings();
  EXPECT_EQ((std::vector<int32_t>{s.mode, s.trig, s.roix1, s.roix2, s.roiy1, s.roiy2, s.hbin, s.vbin}),
            (std::vector<int32_t>{0, 0, 1, 1280, 1, 1024, 1, 1}));
  EXPECT_EQ(s.text, "0, 10, -1, -1");
  EXPECT_EQ(SimCamExposureMilliseconds(), 10);
  EXPECT_EQ(GET_DELAY_TIME(), 0.0);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 10000.0);
  Open();
  const auto pixels = TakePicture();  // no fault left over
  EXPECT_EQ(pixels.size(), 1280u * 1024u);
}

TEST_F(Record, RecordStopsGrowingAtItsLimitButCountsGoOn) {
  for (size_t i = 0; i < kSimCamMaxRecordedCalls + 5; ++i) CLOSE_BOARD();
  EXPECT_EQ(SimCamCalls().size(), kSimCamMaxRecordedCalls);
  EXPECT_EQ(SimCamCallsNotRecorded(), 5u);
  EXPECT_EQ(SimCamCallCount(CamEntry::CloseBoard), kSimCamMaxRecordedCalls + 5);
  SimCamClearCalls();
  EXPECT_TRUE(SimCamCalls().empty());
  EXPECT_EQ(SimCamCallsNotRecorded(), 0u);
  EXPECT_EQ(SimCamCallCount(CamEntry::CloseBoard), 0u);
}

}  // namespace
