// main and the message entry: what main leaves in the record, the function table by index,
// and the two messages the module answers (and every other one it must ignore).
#include <gtest/gtest.h>

#include "camera/board.h"
#include "camera/params.h"
#include "camera/picture.h"
#include "hostlink/host_version.h"
#include "module_fixture.h"
#include "shell/entry.h"

namespace moduletest {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class EntryTest : public SteppingClockCameraTest {
 protected:
  void SetUp() override {
    SteppingClockCameraTest::SetUp();
    camera_status = 5;
    linked_ = std::make_unique<LinkedHost>(Options(602, 200, true));
  }
  void TearDown() override {
    linked_.reset();
    SteppingClockCameraTest::TearDown();
  }
  HostWord Send(int message, std::vector<HostWord> items) { return linked_->host().SendToModule(message, items); }
  std::unique_ptr<LinkedHost> linked_;
};

TEST_F(EntryTest, MainResetsTheCameraStateInstallsTheEntryAndAnswersZero) {
  EXPECT_EQ(camera_status, -1);
  const RecordFields r = ReadRecord(linked_->record());
  EXPECT_EQ(r.entryRoutine, &ModuleEntry);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(hostVersion, 602);
  EXPECT_TRUE(linked_->host().Exchanges().empty()) << "main asks the host nothing through the record";
  EXPECT_TRUE(SimCamCalls().empty()) << "nor the camera";
}

TEST_F(EntryTest, FunctionAddressesFollowTheDeclarationOrder) {
  const ExternalFunctionProc expected[8] = {QV_InitCam,        QV_GetWidth,      QV_GetHeight, QV_OpenDialog,
                                            QV_TakePicture_12, QV_TakePicture_8, QV_SetValues, QV_ReleaseCam};
  for (HostWord i = 0; i < 8; ++i)
    EXPECT_EQ(Send(kMsgFunctionAddress, {i}), reinterpret_cast<HostWord>(expected[i])) << i;
  for (HostWord bad : {HostWord{8}, HostWord{-1}, HostWord{1000}, HostWord{INTPTR_MIN}})
    EXPECT_EQ(Send(kMsgFunctionAddress, {bad}), 0) << bad;
  EXPECT_EQ(Send(kMsgFunctionAddress, {}), reinterpret_cast<HostWord>(&QV_InitCam)) << "no item reads as index 0";
  EXPECT_TRUE(SimCamCalls().empty());
}

TEST_F(EntryTest, AnAddressHandedOutIsCallableWithAParameterBlock) {
  auto getWidth = reinterpret_cast<ExternalFunctionProc>(Send(kMsgFunctionAddress, {1}));
  OpenBoard();
  ResultOnlyParams block{UnwrittenResult()};
  EXPECT_EQ(getWidth(&block), 0);
  EXPECT_EQ(block.result, 1280.0);
}

TEST_F(EntryTest, ShutdownReleasesTheCameraEvenIfItWasNeverOpened) {
  CaptureStdout();
  EXPECT_EQ(Send(kMsgShutdown, {}), 0);
  EXPECT_EQ(GetCapturedStdout(), "Camera is released\n");
  EXPECT_EQ(SimCamCallOrdinals(), Ordinals({CamEntry::StopCoc, CamEntry::CloseBoard, CamEntry::InitBoard}));
  EXPECT_EQ(camera_status, -1);
}

TEST_F(EntryTest, OtherMessagesLeaveTheCameraAloneAndAnswerZero) {
  (*linked_->record())->result = 99;
  for (int message : {14, 0, -3, 13, 16, 0x7FFF}) EXPECT_EQ(Send(message, {7}), 0) << message;
  EXPECT_TRUE(SimCamCalls().empty());
}

TEST_F(EntryTest, MessageCodeIsReadAsSixteenBitsSignExtended) {
  // The host writes 16 bits; a code of 15 with higher bits set elsewhere is still 15.
  (*linked_->record())->itemCount = 1;
  (*linked_->record())->items[0] = 2;
  (*linked_->record())->message = static_cast<int16_t>(0x800F);  // negative: not 15
  ModuleEntry();
  EXPECT_EQ(ReadRecord(linked_->record()).result, 0);
  (*linked_->record())->message = 15;
  ModuleEntry();
  EXPECT_EQ(ReadRecord(linked_->record()).result, reinterpret_cast<HostWord>(&QV_GetHeight));
}

}  // namespace
}  // namespace moduletest
