// A whole camera session through the simulated host: loading as Quor does, the eight
// functions, the pictures pixel by pixel, the driver's call order and the release at unload.
#include <gtest/gtest.h>

#include <cmath>

#include "e2e/e2e_support.h"
#include "hostlink/host_exports.h"

namespace e2e {
namespace {

using quorsim::Argument;

std::vector<int> Ordinals(std::initializer_list<CamEntry> entries) {
  std::vector<int> out;
  for (CamEntry e : entries) out.push_back(static_cast<int>(e));
  return out;
}

// The picture part of the call record with the repeated status polls folded into one.
std::vector<int> FoldPolls(const std::vector<int>& ordinals) {
  std::vector<int> out;
  for (int o : ordinals)
    if (out.empty() || o != static_cast<int>(CamEntry::GetImageStatus) || out.back() != o) out.push_back(o);
  return out;
}

class SessionTest : public ModuleTest {};

TEST_F(SessionTest, LoadsDeclarationsAndAnswersEveryFunctionAddress) {
  StartHost();
  const auto& functions = host_->Declarations().functions;
  ASSERT_EQ(functions.size(), 8u);
  EXPECT_EQ(functions[4].name, "QV_TakePicture_12");
  EXPECT_EQ(functions[5].parameterTypes, (std::vector<uint16_t>{0x2000, 4, 4}));
  for (int i = 0; i < 8; ++i) EXPECT_NE(host_->FunctionAddress(i), 0) << i;
  EXPECT_NE(host_->FunctionAddress(0), host_->FunctionAddress(7));
}

TEST_F(SessionTest, RecordOfEitherStartingSizeEndsAtFullSizeAfterAnExchange) {
  for (int32_t start : {60, 200}) {
    StartHost(602, start);
    CallOk("QV_InitCam");
    host_->ClearExchanges();
    ASSERT_EQ(Call("QV_TakePicture_12", {Argument::Str("sized")}).errorCode, 0);
    ASSERT_FALSE(host_->Exchanges().empty());
    EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(host_->Record())), static_cast<int32_t>(kRecordFullSize))
        << "record started at " << start;
  }
}

TEST_F(SessionTest, FullSessionTakesRawAndWindowedPicturesPixelExact) {
  StartHost();
  EXPECT_EQ(CallOk("QV_InitCam"), 0.0);
  EXPECT_EQ(CallOk("QV_GetWidth"), 1280.0);
  EXPECT_EQ(CallOk("QV_GetHeight"), 1024.0);

  // Binning 2, exposure 20 ms.
  EXPECT_EQ(CallOk("QV_SetValues", {Argument::Num(2), Argument::Num(20)}), 0.0);
  EXPECT_EQ(SimCamSettings().hbin, 2);
  EXPECT_EQ(SimCamSettings().vbin, 2);
  EXPECT_EQ(SimCamSettings().text, "0, 20, -1, -1");
  EXPECT_EQ(CallOk("QV_GetWidth"), 640.0);
  EXPECT_EQ(CallOk("QV_GetHeight"), 512.0);

  size_t handlesBefore = LiveHandles();
  SimCamClearCalls();
  testing::internal::CaptureStdout();
  quorsim::CallOutcome raw = Call("QV_TakePicture_12", {Argument::Str("raw12")});
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(raw.errorCode, 0);
  EXPECT_TRUE(raw.resultWritten);
  EXPECT_EQ(raw.result, 0.0);
  EXPECT_EQ(printed, "\nCamera grabs one image\nRead image from board buffer\n");
  EXPECT_EQ(FoldPolls(SimCamCallOrdinals()),
            Ordinals({CamEntry::GetImageSize, CamEntry::GetDelayTime, CamEntry::GetExposureTime, CamEntry::RunCoc,
                      CamEntry::GetImageStatus, CamEntry::ReadImage12, CamEntry::StopCoc, CamEntry::GetImageSize,
                      CamEntry::GetImageSize}));
  EXPECT_EQ(LiveHandles(), handlesBefore + 1) << "the name handle must be disposed of; only the wave is new";

  Picture picture;
  ASSERT_TRUE(ReadPicture("raw12", &picture));
  EXPECT_EQ(picture.type, 80);
  ASSERT_EQ(picture.width, 640);
  ASSERT_EQ(picture.height, 512);
  ASSERT_EQ(picture.bytes.size(), 640u * 512u * 2u);
  int mismatches = 0;
  for (int32_t y = 0; y < picture.height; ++y)
    for (int32_t x = 0; x < picture.width; ++x)
      mismatches += picture.Pixel16(x, y) != SimCamExpectedPixel(x, y);
  EXPECT_EQ(mismatches, 0);

  quorsim::WaveView view;
  ASSERT_TRUE(host_->FindWave("raw12", &view));
  EXPECT_EQ(view.modifiedCount, 1);
  EXPECT_FALSE(quorsim::MemIsLocked(view.handle)) << "the wave's lock state must be restored";

  ASSERT_EQ(Call("QV_TakePicture_8", {Argument::Str("img8"), Argument::Num(0), Argument::Num(4096)}).errorCode, 0);
  Picture windowed;
  ASSERT_TRUE(ReadPicture("img8", &windowed));
  EXPECT_EQ(windowed.type, 72);
  ASSERT_EQ(windowed.width, 640);
  ASSERT_EQ(windowed.height, 512);
  mismatches = 0;
  for (int32_t y = 0; y < windowed.height; ++y)
    for (int32_t x = 0; x < windowed.width; ++x)
      mismatches += windowed.Pixel8(x, y) != ExpectedWindowed(SimCamExpectedPixel(x, y), 0, 4096);
  EXPECT_EQ(mismatches, 0);

  testing::internal::CaptureStdout();
  CallOk("QV_ReleaseCam");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Camera is released\n");
  EXPECT_FALSE(SimCamBoardOpen());
}

TEST_F(SessionTest, OverwriteReusesTheWaveAndFollowsNewSettings) {
  StartHost();
  CallOk("QV_InitCam");
  ASSERT_EQ(Call("QV_TakePicture_12", {Argument::Str("pic")}).errorCode, 0);
  CallOk("QV_SetValues", {Argument::Num(4), Argument::Num(5)});
  ASSERT_EQ(Call("QV_TakePicture_12", {Argument::Str("pic")}).errorCode, 0);
  Picture picture;
  ASSERT_TRUE(ReadPicture("pic", &picture));
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 256);
  EXPECT_EQ(picture.Pixel16(17, 33), SimCamExpectedPixel(17, 33));
  EXPECT_EQ(host_->WaveNames().size(), 1u);
}

TEST_F(SessionTest, PicturesBeforeInitCamAreRefusedWithTheStatus) {
  StartHost();
  size_t handles = LiveHandles();
  quorsim::CallOutcome outcome = Call("QV_TakePicture_12", {Argument::Str("early")});
  EXPECT_EQ(outcome.errorCode, -1);
  EXPECT_EQ(outcome.result, -1.0);
  outcome = Call("QV_TakePicture_8", {Argument::Str("early"), Argument::Num(0), Argument::Num(10)});
  EXPECT_EQ(outcome.errorCode, -1);
  EXPECT_TRUE(host_->WaveNames().empty());
  EXPECT_EQ(LiveHandles(), handles);
  EXPECT_TRUE(SimCamCallOrdinals().empty()) << "no driver call before the board is opened";
}

TEST_F(SessionTest, ReleaseThenUnloadReleasesTwice) {
  StartHost();
  CallOk("QV_InitCam");
  SimCamClearCalls();
  testing::internal::CaptureStdout();
  CallOk("QV_ReleaseCam");
  host_->Unload();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Camera is released\nCamera is released\n");
  EXPECT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::StopCoc, CamEntry::CloseBoard, CamEntry::InitBoard,
                                            CamEntry::StopCoc, CamEntry::CloseBoard, CamEntry::InitBoard}));
  EXPECT_EQ(SimCamCalls()[2].args.at(0), 0) << "the board is closed with mode 0";
}

TEST_F(SessionTest, OpenDialogAndOpenSequenceReachTheDriver) {
  StartHost();
  CallOk("QV_InitCam");
  EXPECT_EQ(FoldPolls(SimCamCallOrdinals()), Ordinals({CamEntry::PrepareBoard, CamEntry::InitBoard}));
  SimCamClearCalls();
  quorsim::CallOutcome outcome = Call("QV_OpenDialog");
  EXPECT_EQ(outcome.errorCode, 0);
  EXPECT_FALSE(outcome.resultWritten);
  ASSERT_EQ(SimCamCalls().size(), 1u);
  EXPECT_EQ(SimCamCalls()[0].ordinal, static_cast<int>(CamEntry::SettingsDialog));
  EXPECT_EQ(SimCamCalls()[0].text, "Camera Dialog");
}

// Hosts new enough for two-dimensional waves take pictures; older ones (and a host whose
// executable has no version) get 163 and no wave.
TEST_F(SessionTest, HostVersionGatesThePictureFunctions) {
  for (int version : {602, 499, 313, 300, 250, 150, 0}) {
    SimCamReset();
    StartHost(version);
    CallOk("QV_InitCam");
    size_t handles = LiveHandles();
    quorsim::CallOutcome outcome = Call("QV_TakePicture_12", {Argument::Str("v")});
    bool twoDimensional = version >= 300;
    EXPECT_EQ(outcome.errorCode, twoDimensional ? 0 : 163) << version;
    EXPECT_EQ(host_->WaveNames().size(), twoDimensional ? 1u : 0u) << version;
    EXPECT_EQ(LiveHandles(), handles + (twoDimensional ? 1 : 0)) << version;
  }
}

}  // namespace
}  // namespace e2e
