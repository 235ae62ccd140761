// The controls a camera bench drives the simulated driver with: the noise seed, the sensor's
// exposure scale, clearing every armed fault at once, reading back what is armed, the observer
// that sees each entry's answer, and the table of entry names.
#include <cstring>
#include <set>
#include <string>

#include "camera_fixture.h"

namespace {

using BenchControls = HeldClockCameraTest;

TEST_F(BenchControls, EachSeedHasItsOwnReproducibleNoiseAndSeedZeroIsTheDefault) {
  Open();
  SimCamSetNoise(8);
  const auto unseeded = TakePicture();
  SimCamSetNoiseSeed(0);
  EXPECT_EQ(TakePicture(), unseeded);  // seed 0 restarts the default sequence
  SimCamSetNoiseSeed(7);
  const auto seven = TakePicture();
  const auto sevenSecond = TakePicture();
  EXPECT_NE(seven, unseeded);
  EXPECT_NE(seven, sevenSecond);
  SimCamSetNoiseSeed(7);
  EXPECT_EQ(TakePicture(), seven);
  EXPECT_EQ(TakePicture(), sevenSecond);
  SimCamSetNoiseSeed(8);
  EXPECT_NE(TakePicture(), seven);
  EXPECT_EQ(SimCamState().noiseSeed, 8u);
  SimCamReset();
  EXPECT_EQ(SimCamState().noiseSeed, 0u);
}

TEST_F(BenchControls, ExposureScaleScalesTheSignalAndKeepsTheBias) {
  Open();
  ASSERT_EQ(WriteText("0, 5, -1, -1"), 0);
  EXPECT_TRUE(SimCamSetExposureScale(2000));
  const auto twiceAtFive = TakePicture();
  EXPECT_EQ(twiceAtFive, ExpectedPicture());
  ASSERT_EQ(WriteText("0, 10, -1, -1"), 0);
  EXPECT_TRUE(SimCamSetExposureScale(kSimCamNominalExposureScale));
  EXPECT_EQ(TakePicture(), twiceAtFive);  // twice the scale at half the time: the same charge

  EXPECT_TRUE(SimCamSetExposureScale(0));
  for (uint16_t pixel : TakePicture()) ASSERT_EQ(pixel, kSimCamBias);

  // A scene pixel well inside the range: half the scale, half the signal (rounded down).
  EXPECT_TRUE(SimCamSetExposureScale(kSimCamNominalExposureScale));
  const int32_t nominal = SimCamExpectedPixel(640, 512) - kSimCamBias;
  ASSERT_GT(nominal, 100);
  EXPECT_TRUE(SimCamSetExposureScale(500));
  EXPECT_EQ(SimCamExpectedPixel(640, 512) - kSimCamBias, nominal / 2);
  EXPECT_EQ(TakePicture(), ExpectedPicture());

  EXPECT_FALSE(SimCamSetExposureScale(-1));
  EXPECT_FALSE(SimCamSetExposureScale(kSimCamMaxExposureScale + 1));
  EXPECT_EQ(SimCamState().exposureScale, 500);
  // The largest scale with the longest exposure and the coarsest binning stays clipped, not wrapped.
  EXPECT_TRUE(SimCamSetExposureScale(kSimCamMaxExposureScale));
  ASSERT_EQ(Write(1, 1280, 1, 1024, 8, 8, "0, 1000000, -1, -1"), 0);
  EXPECT_EQ(SimCamExpectedPixel(0, 0), kSimCamFullScale);
  SimCamReset();
  EXPECT_EQ(SimCamState().exposureScale, kSimCamNominalExposureScale);
}

TEST_F(BenchControls, ClearFaultsDisarmsEverythingButKeepsSettingsNoiseAndScale) {
  Open();
  ASSERT_EQ(Write(1, 640, 1, 512, 2, 2, "0, 4, -1, -1"), 0);
  SimCamFailEntry(CamEntry::RunCoc, -5);
  SimCamFailEntry(CamEntry::ReadImage12, 100);
  SimCamSetPollStuck(true);
  SimCamSetNoPicture(true);
  SimCamOverrideImageSize(10, 20, 1);
  SimCamSetTimingOverride(true, 1, 2);
  SimCamSetNoise(3);
  SimCamSetNoiseSeed(9);
  ASSERT_TRUE(SimCamSetExposureScale(1500));

  CamBenchState state = SimCamState();
  EXPECT_EQ(state.imageWidth, 320);
  EXPECT_EQ(state.imageHeight, 256);
  EXPECT_EQ(state.delayMs, 0);
  EXPECT_EQ(state.exposureMs, 4);
  EXPECT_TRUE(state.pollStuck && state.noPicture && state.sizeOverride && state.timingOverride);
  EXPECT_EQ(state.overrideWidth, 10);
  EXPECT_EQ(state.overrideHeight, 20);
  EXPECT_EQ(state.sizeOverrideFrom, 1);
  EXPECT_EQ(state.delayOverride, 1.0);
  EXPECT_EQ(state.exposureOverride, 2.0);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::RunCoc), -5);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::ReadImage12), 100);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::StopCoc), 0);

  SimCamClearFaults();
  state = SimCamState();
  EXPECT_FALSE(state.pollStuck || state.noPicture || state.sizeOverride || state.timingOverride);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::RunCoc), 0);
  EXPECT_EQ(SimCamInjectedStatus(CamEntry::ReadImage12), 0);
  EXPECT_EQ(state.noise, 3);
  EXPECT_EQ(state.noiseSeed, 9u);
  EXPECT_EQ(state.exposureScale, 1500);
  EXPECT_TRUE(state.boardOpen);
  EXPECT_EQ(SimCamSettings().hbin, 2);
  EXPECT_EQ(SimCamExposureMilliseconds(), 4);
  EXPECT_EQ(TakePicture().size(), 320u * 256u);  // works normally again
}

TEST_F(BenchControls, StateFollowsThePictureAndTheSizeCalls) {
  Open();
  EXPECT_EQ(SimCamState().picture, CamPicture::None);
  ASSERT_EQ(RUN_COC(4), 0);
  EXPECT_EQ(SimCamState().picture, CamPicture::Exposing);
  Win32SimAdvanceClock(9);
  EXPECT_EQ(SimCamState().picture, CamPicture::Exposing);
  Win32SimAdvanceClock(1);
  EXPECT_EQ(SimCamState().picture, CamPicture::Ready);  // its time is up, polled or not
  EXPECT_EQ(PictureStatus(), 1);
  SimCamOverrideImageSize(5, 6, 2);
  int32_t width = 0, height = 0;
  ImageSize(&width, &height);
  EXPECT_EQ(SimCamState().sizeCallsSinceOverride, 1);
  EXPECT_EQ(INIT_BOARD(kBoardClose), 0);
  EXPECT_FALSE(SimCamState().boardOpen);
  EXPECT_EQ(SimCamState().picture, CamPicture::None);
}

// What an observer saw of one call.
struct Seen {
  int ordinal;
  std::vector<int64_t> args;
  std::string text;
  int32_t status;
  double value;
  std::vector<int64_t> outputs;
  std::string outputText;
  bool hadOutputText;
};

void Remember(void* context, const CamCallReport& report) {
  auto* seen = static_cast<std::vector<Seen>*>(context);
  seen->push_back({report.call->ordinal, report.call->args, report.call->text, report.status, report.value,
                   std::vector<int64_t>(report.outputs, report.outputs + report.outputCount),
                   report.outputText != nullptr ? report.outputText : "", report.outputText != nullptr});
}

TEST_F(BenchControls, ObserverSeesEveryEntryWithArgumentsStatusAndOutputs) {
  std::vector<Seen> seen;
  SimCamSetCallObserver(&Remember, &seen);
  Open();
  int32_t width = 0, height = 0;
  ImageSize(&width, &height);
  EXPECT_EQ(GET_DELAY_TIME(), 0.0);
  EXPECT_EQ(GET_EXPOSURE_TIME(), 10000.0);
  SimCamFailEntry(CamEntry::RunCoc, -5);
  EXPECT_EQ(RUN_COC(4), -5);
  SimCamFailEntry(CamEntry::RunCoc, 0);
  ASSERT_EQ(RUN_COC(4), 0);
  EXPECT_EQ(PictureStatus(), kPicstatPictureNotReady);
  SimCamFailEntry(CamEntry::GetImageStatus, -8);
  int32_t picstat = 0;
  EXPECT_EQ(GET_IMAGE_STATUS(&picstat), -8);
  ASSERT_EQ(Write(1, 1280, 1, 1024, 2, 2, "0, 10, -1, -1"), 0);
  int32_t v[8] = {};
  char text[200];
  ASSERT_EQ(READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], text, 200), 0);
  ASSERT_EQ(READ_SETTINGS(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], nullptr, 0), 0);
  EXPECT_EQ(GET_IMAGE_SIZE(nullptr, &height), kSimCamBadArgument);

  ASSERT_EQ(seen.size(), 13u);
  EXPECT_EQ(seen[0].ordinal, static_cast<int>(CamEntry::PrepareBoard));
  EXPECT_EQ(seen[1].ordinal, static_cast<int>(CamEntry::InitBoard));
  EXPECT_EQ(seen[1].args, (std::vector<int64_t>{kBoardOpen}));
  EXPECT_EQ(seen[2].ordinal, static_cast<int>(CamEntry::GetImageSize));
  EXPECT_EQ(seen[2].outputs, (std::vector<int64_t>{1280, 1024}));
  EXPECT_EQ(seen[3].value, 0.0);
  EXPECT_EQ(seen[4].ordinal, static_cast<int>(CamEntry::GetExposureTime));
  EXPECT_EQ(seen[4].value, 10000.0);
  EXPECT_EQ(seen[5].status, -5);
  EXPECT_EQ(seen[5].args, (std::vector<int64_t>{4}));
  EXPECT_EQ(seen[6].status, 0);
  EXPECT_EQ(seen[7].outputs, (std::vector<int64_t>{kPicstatPictureNotReady}));
  EXPECT_EQ(seen[8].status, -8);
  EXPECT_TRUE(seen[8].outputs.empty());  // a failed entry wrote nothing
  EXPECT_EQ(seen[9].ordinal, static_cast<int>(CamEntry::WriteSettings));
  EXPECT_EQ(seen[9].args, (std::vector<int64_t>{0, 0, 1, 1280, 1, 1024, 2, 2}));
  EXPECT_EQ(seen[9].text, "0, 10, -1, -1");
  EXPECT_EQ(seen[10].outputs, (std::vector<int64_t>{0, 0, 1, 1280, 1, 1024, 2, 2}));
  EXPECT_TRUE(seen[10].hadOutputText);
  EXPECT_EQ(seen[10].outputText, "0, 10, -1, -1");
  EXPECT_FALSE(seen[11].hadOutputText);  // no buffer, no text
  EXPECT_EQ(seen[12].status, kSimCamBadArgument);
  EXPECT_TRUE(seen[12].outputs.empty());

  SimCamSetCallObserver(nullptr, &seen);
  CLOSE_BOARD();
  EXPECT_EQ(seen.size(), 13u);
  SimCamSetCallObserver(&Remember, &seen);
  SimCamReset();
  CLOSE_BOARD();
  EXPECT_EQ(seen.size(), 13u);  // a reset removes the observer
}

TEST_F(BenchControls, EveryEntryHasOneNameInOrdinalOrder) {
  std::set<std::string> names;
  int previous = 0;
  for (const CamEntryName& entry : kSimCamEntryNames) {
    EXPECT_GT(static_cast<int>(entry.entry), previous) << entry.name;
    previous = static_cast<int>(entry.entry);
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
  }
  EXPECT_EQ(names.size(), 14u);
  EXPECT_TRUE(names.count("READ_IMAGE_12BIT") == 1 && names.count("RUN_COC") == 1);
}

}  // namespace
