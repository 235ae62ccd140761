// The six board functions against the simulated driver: the driver calls each makes, in order,
// the results they give, the camera state, and the conversion of the host's numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "camera/board.h"
#include "camera/driver.h"
#include "camera/params.h"
#include "hostlink/host_exports.h"
#include "module_fixture.h"

namespace moduletest {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(TruncateToInt32, TruncatesTowardZeroAndSaturatesWhatDoesNotFit) {
  EXPECT_EQ(TruncateToInt32(3.7), 3);
  EXPECT_EQ(TruncateToInt32(-2.9), -2);
  EXPECT_EQ(TruncateToInt32(-0.5), 0);
  EXPECT_EQ(TruncateToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(2147483648.0), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-2147483649.0), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(1e10), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-1e10), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(kInf), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-kInf), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(kNaN), 0);
}

class BoardTest : public SteppingClockCameraTest {
 protected:
  ResultOnlyParams Fresh() { return {UnwrittenResult()}; }
};

TEST_F(BoardTest, InitCamPreparesThenOpensAndKeepsTheDriversAnswer) {
  camera_status = -1;
  ResultOnlyParams p = Fresh();
  EXPECT_EQ(QV_InitCam(&p), 0);
  EXPECT_EQ(p.result, 0.0);
  EXPECT_EQ(camera_status, 0);
  EXPECT_TRUE(SimCamBoardOpen());
  ASSERT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::PrepareBoard, CamEntry::InitBoard}));
  EXPECT_EQ(SimCamCalls()[0].args, std::vector<int64_t>{0});
  EXPECT_EQ(SimCamCalls()[1].args, std::vector<int64_t>{kBoardOpen});

  SimCamFailEntry(CamEntry::InitBoard, -7);
  p = Fresh();
  EXPECT_EQ(QV_InitCam(&p), 0) << "the host never sees the driver's failure as an error";
  EXPECT_EQ(p.result, -7.0);
  EXPECT_EQ(camera_status, -7);
}

TEST_F(BoardTest, SizeFunctionsAnswerTheDriversSizeAndZeroWhenItFails) {
  OpenBoard();
  ResultOnlyParams w = Fresh(), h = Fresh();
  EXPECT_EQ(QV_GetWidth(&w), 0);
  EXPECT_EQ(QV_GetHeight(&h), 0);
  EXPECT_EQ(w.result, 1280.0);
  EXPECT_EQ(h.result, 1024.0);
  EXPECT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::GetImageSize, CamEntry::GetImageSize}));

  SimCamFailEntry(CamEntry::GetImageSize, -3);
  w = Fresh();
  EXPECT_EQ(QV_GetWidth(&w), 0);
  EXPECT_EQ(w.result, 0.0);
  EXPECT_EQ(image_height(), 0);
}

TEST_F(BoardTest, OpenDialogShowsTheDriversDialogOverTheHostsWindowWithoutResult) {
  ResultOnlyParams p = Fresh();
  SimCamFailEntry(CamEntry::SettingsDialog, -1);
  EXPECT_EQ(QV_OpenDialog(&p), 0);
  EXPECT_TRUE(IsUnwrittenResult(p.result));
  ASSERT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::SettingsDialog}));
  const CamCall& call = SimCamCalls()[0];
  EXPECT_EQ(call.text, "Camera Dialog");
  EXPECT_EQ(call.args, (std::vector<int64_t>{static_cast<int64_t>(reinterpret_cast<intptr_t>(GetQuorClientHWND())), 0}));
}

TEST_F(BoardTest, SetValuesRewritesOnlyBinningAndTextAndAnswersTheWriteStatus) {
  struct Case {
    double first, second;
    int64_t bin;
    const char* text;
  };
  const Case cases[] = {
      {2.7, 2.9, 2, "0, 2, -1, -1"},
      {3.7, 2.9, 3, "0, 2, -1, -1"},
      {-3.7, -2.9, -3, "0, -2, -1, -1"},
      {kNaN, kNaN, 0, "0, 0, -1, -1"},
      {kInf, -kInf, INT32_MAX, "0, -2147483648, -1, -1"},
      {-1e10, 1e10, INT32_MIN, "0, 2147483647, -1, -1"},
  };
  const CamSettings before = SimCamSettings();
  for (const Case& c : cases) {
    SimCamClearCalls();
    SetValuesParams p{c.second, c.first, UnwrittenResult()};
    EXPECT_EQ(QV_SetValues(&p), 0);
    ASSERT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::ReadSettings, CamEntry::WriteSettings}));
    EXPECT_EQ(SimCamCalls()[0].args, std::vector<int64_t>{kSettingsTextSize});
    const CamCall& write = SimCamCalls()[1];
    EXPECT_EQ(write.args, (std::vector<int64_t>{before.mode, before.trig, before.roix1, before.roix2, before.roiy1,
                                                before.roiy2, c.bin, c.bin}))
        << c.first;
    EXPECT_EQ(write.text, c.text);
    // Binning 2 is one the camera takes; the others it refuses, and the user sees that status.
    EXPECT_EQ(p.result, c.bin == 2 ? 0.0 : static_cast<double>(kSimCamSettingsRefused)) << c.first;
  }
  EXPECT_EQ(SimCamSettings().hbin, 2);
  EXPECT_EQ(SimCamSettings().text, "0, 2, -1, -1");
}

TEST_F(BoardTest, ReleaseStopsClosesAndShutsTheBoardEveryTimeAndKeepsTheStatus) {
  OpenBoard();
  camera_status = 0;
  ResultOnlyParams p = Fresh();
  CaptureStdout();
  EXPECT_EQ(QV_ReleaseCam(&p), 0);
  EXPECT_EQ(QV_ReleaseCam(&p), 0);
  EXPECT_EQ(GetCapturedStdout(), "Camera is released\nCamera is released\n");
  EXPECT_TRUE(IsUnwrittenResult(p.result));
  EXPECT_EQ(camera_status, 0) << "releasing does not reset the camera state";
  EXPECT_FALSE(SimCamBoardOpen());
  const std::vector<int> once = Ordinals({CamEntry::StopCoc, CamEntry::CloseBoard, CamEntry::InitBoard});
  std::vector<int> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(SimCamCallOrdinals(), twice);
  EXPECT_EQ(SimCamCalls()[0].args, std::vector<int64_t>{0});
  EXPECT_EQ(SimCamCalls()[2].args, std::vector<int64_t>{kBoardClose});
}

TEST_F(BoardTest, ReleaseReturnsTheStopStatusAndPrintsWhateverTheDriverSays) {
  SimCamFailEntry(CamEntry::StopCoc, -8);
  SimCamFailEntry(CamEntry::CloseBoard, -1);
  CaptureStdout();
  EXPECT_EQ(release_camera(), -8);
  EXPECT_EQ(GetCapturedStdout(), "Camera is released\n");
}

}  // namespace
}  // namespace moduletest
