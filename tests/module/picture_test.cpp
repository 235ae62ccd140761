// The two picture functions called as the host calls them, with a parameter block, against
// the simulated host (memory scrambling on) and camera: the wave they make, its pixels, the
// name rules, the result slot and error code of every failure, and that the name handle is
// disposed of and nothing else is left behind on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "camera/board.h"
#include "camera/driver.h"
#include "camera/params.h"
#include "camera/picture.h"
#include "camera/grab.h"
#include "camera/window8.h"
#include "hostdata/handles.h"
#include "hostdata/waves.h"
#include "hostlink/host_exports.h"
#include "module_fixture.h"

namespace moduletest {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct Outcome {
  int32_t code = 0;
  double result = 0;
  bool resultWritten() const { return !IsUnwrittenResult(result); }
};

class PictureTest : public SteppingClockCameraTest {
 protected:
  void SetUp() override {
    SteppingClockCameraTest::SetUp();
    Start(602, 200);
  }
  void TearDown() override {
    quorsim::MemResetFaults();
    linked_.reset();
    SteppingClockCameraTest::TearDown();
  }
  void Start(int version, int32_t recordSize) {
    linked_.reset();
    linked_ = std::make_unique<LinkedHost>(Options(version, recordSize, true));
  }
  void InitCam() {
    ResultOnlyParams p{UnwrittenResult()};
    QV_InitCam(&p);
    ASSERT_EQ(camera_status, 0);
    SimCamClearCalls();
  }
  Handle Name(const std::string& text) {
    return quorsim::MemNewHandleWithBytes(std::span<const char>(text.data(), text.size()));
  }
  // One call of either function with a fresh name handle (or none); checks that the handle is
  // gone afterwards and that no other handle was left behind besides a wave that was made.
  Outcome Take(bool raw, const std::string* name, double low = 0, double high = 4096) {
    Handle nameH = name == nullptr ? nullptr : Name(*name);
    const size_t handlesBefore = quorsim::MemLiveHandleCount();
    const size_t wavesBefore = host().WaveNames().size();
    Outcome out;
    CaptureStdout();
    if (raw) {
      TakePicture12Params p{nameH, UnwrittenResult()};
      out.code = QV_TakePicture_12(&p);
      out.result = p.result;
    } else {
      TakePicture8Params p{high, low, nameH, UnwrittenResult()};
      out.code = QV_TakePicture_8(&p);
      out.result = p.result;
    }
    printed_ = GetCapturedStdout();
    if (nameH != nullptr) {
      EXPECT_FALSE(quorsim::MemIsLiveHandle(nameH)) << "the name handle is disposed of";
    }
    const size_t newWaves = host().WaveNames().size() - wavesBefore;
    EXPECT_EQ(quorsim::MemLiveHandleCount() + (nameH != nullptr ? 1 : 0), handlesBefore + newWaves);
    return out;
  }
  Outcome Take12(const std::string& name) { return Take(true, &name); }
  Outcome Take8(const std::string& name, double low, double high) { return Take(false, &name, low, high); }
  quorsim::Host& host() { return linked_->host(); }
  quorsim::WaveView Find(const std::string& name) {
    quorsim::WaveView view;
    EXPECT_TRUE(host().FindWave(name, &view)) << name;
    return view;
  }
  void ExpectFailure(const Outcome& out, int32_t code) {
    EXPECT_EQ(out.code, code);
    EXPECT_EQ(out.result, static_cast<double>(code));
    EXPECT_TRUE(host().WaveNames().empty()) << "no wave from a failed picture";
    EXPECT_TRUE(linked_->Messages().empty()) << "the host is not asked for a wave";
  }

  std::unique_ptr<LinkedHost> linked_;
  std::string printed_;
};

TEST_F(PictureTest, BothRefuseBeforeTheCameraIsOpen) {
  for (bool raw : {true, false}) {
    const std::string name = "early";
    Outcome out = Take(raw, &name);
    ExpectFailure(out, -1);
    EXPECT_TRUE(SimCamCalls().empty()) << "no picture is taken";
  }
  ResultOnlyParams p{UnwrittenResult()};
  SimCamFailEntry(CamEntry::InitBoard, -7);
  QV_InitCam(&p);
  ExpectFailure(Take12("x"), -7);
}

TEST_F(PictureTest, RawPictureBecomesAnUnsigned16BitWaveOfWidthRowsAndHeightColumns) {
  InitCam();
  Outcome out = Take12("img");
  EXPECT_EQ(out.code, 0);
  EXPECT_EQ(out.result, 0.0);
  EXPECT_EQ(printed_, "\nCamera grabs one image\nRead image from board buffer\n");
  quorsim::WaveView view = Find("img");
  EXPECT_EQ(view.type, kWaveTypeUInt16);
  EXPECT_EQ(view.dimensions, (std::vector<int32_t>{1280, 1024}));
  ASSERT_EQ(view.dataBytes, 1280u * 1024u * 2u);
  int mismatches = 0;
  for (int32_t y = 0; y < 1024; ++y)
    for (int32_t x = 0; x < 1280; ++x) {
      uint16_t pixel;
      std::memcpy(&pixel, view.data + 2 * (x + 1280 * static_cast<size_t>(y)), 2);
      mismatches += pixel != SimCamExpectedPixel(x, y);
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(view.modifiedCount, 1);
  EXPECT_FALSE(quorsim::MemIsLocked(view.handle)) << "the wave's handle state is restored";
  EXPECT_EQ(linked_->Messages(), (std::vector<int>{kMsgMakeWaveMD, kMsgMarkWaveModified}));
  const auto& make = host().Exchanges()[0].items;
  EXPECT_EQ(make[2], 0) << "no data folder";
  EXPECT_EQ(make[4], kWaveTypeUInt16);
  EXPECT_EQ(make[5], 1) << "overwrite";
  // The grab, then the size asked twice.
  const std::vector<int> calls = SimCamCallOrdinals();
  const std::vector<int> tail(calls.end() - 4, calls.end());
  EXPECT_EQ(tail, Ordinals({CamEntry::ReadImage12, CamEntry::StopCoc, CamEntry::GetImageSize, CamEntry::GetImageSize}));
}

TEST_F(PictureTest, WindowedPictureMapsEveryPixelByTheRuleIntoAnUnsigned8BitWave) {
  InitCam();
  struct Window {
    double low, high;
  };
  for (Window w : {Window{100, 3000}, Window{4095, 0}, Window{300, 300}, Window{std::nan(""), 9}}) {
    Outcome out = Take8("w8", w.low, w.high);
    ASSERT_EQ(out.code, 0);
    EXPECT_EQ(out.result, 0.0);
    quorsim::WaveView view = Find("w8");
    EXPECT_EQ(view.type, kWaveTypeUInt8);
    EXPECT_EQ(view.dimensions, (std::vector<int32_t>{1280, 1024}));
    ASSERT_EQ(view.dataBytes, 1280u * 1024u);
    int mismatches = 0;
    for (int32_t y = 0; y < 1024; ++y)
      for (int32_t x = 0; x < 1280; ++x)
        mismatches += view.data[x + 1280 * static_cast<size_t>(y)] != WindowPixelLiteral(SimCamExpectedPixel(x, y), w.low, w.high);
    EXPECT_EQ(mismatches, 0) << w.low << ".." << w.high;
    EXPECT_FALSE(quorsim::MemIsLocked(view.handle));
  }
  EXPECT_EQ(Find("w8").modifiedCount, 4) << "marked modified once per picture";
  EXPECT_EQ(host().WaveNames().size(), 1u);
}

TEST_F(PictureTest, NamesAreCutToThirtyOneCharactersAndCopiedAsTheyAre) {
  InitCam();
  const std::string forty = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
  for (bool raw : {true, false}) {
    EXPECT_EQ(Take(raw, &forty).code, 0);
    EXPECT_EQ(Find(forty.substr(0, 31)).name, forty.substr(0, 31));
    const std::string three = raw ? "abc" : "xyz";
    EXPECT_EQ(Take(raw, &three).code, 0);
    Find(three);
    const std::string withNul("ab\0cd", 5);
    EXPECT_EQ(Take(raw, &withNul).code, 0);
    Find("ab");
  }
  EXPECT_EQ(host().WaveNames().size(), 4u);
}

TEST_F(PictureTest, MissingNameIsRefusedByTheHostWithoutResult) {
  InitCam();
  for (bool raw : {true, false}) {
    Outcome out = Take(raw, nullptr);
    EXPECT_NE(out.code, 0);
    EXPECT_FALSE(out.resultWritten());
    EXPECT_TRUE(host().WaveNames().empty());
  }
}

TEST_F(PictureTest, HostRefusingTheWavePassesItsCodeOnWithoutResult) {
  InitCam();
  host().RefuseWaveName("taken", 27);
  const std::string name = "taken";
  for (bool raw : {true, false}) {
    Outcome out = Take(raw, &name);
    EXPECT_EQ(out.code, 27);
    EXPECT_FALSE(out.resultWritten());
    EXPECT_TRUE(host().WaveNames().empty());
  }
}

TEST_F(PictureTest, WaveReportedMadeWithoutAHandleFailsWithTheNullHandleCode) {
  InitCam();
  host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
    *result = 0;  // "made", but the out handle stays null
    return message == kMsgMakeWaveMD;
  });
  const std::string name = "ghost";
  for (bool raw : {true, false}) {
    host().ClearExchanges();
    Outcome out = Take(raw, &name);
    EXPECT_EQ(out.code, kErrNullHandle);
    EXPECT_EQ(out.result, static_cast<double>(kErrNullHandle)) << "written as for the picture's own failures";
    EXPECT_TRUE(host().WaveNames().empty());
    EXPECT_EQ(linked_->Messages(), std::vector<int>{kMsgMakeWaveMD}) << "nothing is marked modified";
  }
}

TEST_F(PictureTest, WaveHandedBackThatCannotBeFilledIsLeftAlone) {
  InitCam();
  const std::string name = "odd";
  // A block far shorter than the header its layout indicator claims.
  Handle shortBlock = ShortWaveBlock(1, 40, 0x22);
  // A wave of the host's own layout, whose data address request then cannot be sent.
  Handle own = host().MakeTestWave("own", 2, kWaveTypeUInt16, {4});
  ASSERT_NE(own, nullptr);
  for (Handle handedBack : {shortBlock, own}) {
    for (bool raw : {true, false}) {
      host().ClearExchanges();
      host().SetScriptedAnswer([this, handedBack, own](int message, std::span<const HostWord> items, HostWord* result) {
        if (message != kMsgMakeWaveMD) return false;
        *reinterpret_cast<Handle*>(items[0]) = handedBack;
        if (handedBack == own) StopNextExchange(1);
        *result = 0;
        return true;
      });
      Outcome out = Take(raw, &name);
      quorsim::MemResetFaults();
      EXPECT_EQ(out.code, kErrPictureFailed);
      EXPECT_FALSE(out.resultWritten());
      EXPECT_EQ(linked_->Messages(), std::vector<int>{kMsgMakeWaveMD}) << "not marked modified";
      EXPECT_FALSE(quorsim::MemIsLocked(handedBack)) << "the handle's state is restored";
    }
  }
  EXPECT_EQ(GetHandleSize(shortBlock), 40);
  EXPECT_EQ(std::count(*shortBlock, *shortBlock + 40, 0x22), 40 - 2) << "nothing written into the block";
  DisposeHandle(shortBlock);
}

TEST_F(PictureTest, HostTooOldForTwoDimensionsRefusesLocally) {
  Start(250, 200);
  InitCam();
  const std::string name = "img";
  for (bool raw : {true, false}) {
    Outcome out = Take(raw, &name);
    EXPECT_EQ(out.code, kErrHostTooOld);
    EXPECT_FALSE(out.resultWritten());
    EXPECT_TRUE(linked_->Messages().empty());
  }
}

TEST_F(PictureTest, RecordTooSmallForTheRequestFailsWithOne) {
  Start(602, static_cast<int32_t>(RecordSizeForItems(2)));
  InitCam();
  quorsim::MemFailSetHandleSize(2);
  Outcome out = Take12("small");
  EXPECT_EQ(out.code, 1);
  EXPECT_TRUE(linked_->Messages().empty());
  EXPECT_TRUE(host().WaveNames().empty());
}

TEST_F(PictureTest, FailedGrabMakesNoWaveAndKeepsAnExistingOne) {
  InitCam();
  ASSERT_EQ(Take12("keep").code, 0);
  quorsim::WaveView before = Find("keep");
  const std::vector<uint8_t> bytes(before.data, before.data + before.dataBytes);
  host().ClearExchanges();

  SimCamFailEntry(CamEntry::RunCoc, -4);
  for (bool raw : {true, false}) {
    const std::string name = "keep";
    Outcome out = Take(raw, &name);
    EXPECT_EQ(out.code, -4);
    EXPECT_EQ(out.result, -4.0);
    EXPECT_NE(printed_.find("\nRUN_COC failed with error -4\n"), std::string::npos);
    EXPECT_TRUE(linked_->Messages().empty());
    quorsim::WaveView after = Find("keep");
    EXPECT_EQ(after.type, kWaveTypeUInt16);
    EXPECT_EQ(std::vector<uint8_t>(after.data, after.data + after.dataBytes), bytes);
    EXPECT_EQ(after.modifiedCount, 1);
  }
  SimCamFailEntry(CamEntry::RunCoc, 0);
  SimCamSetNoPicture(true);
  Outcome out = Take12("keep");
  EXPECT_EQ(out.code, kReadoutNoPicture);
  EXPECT_EQ(out.result, 100.0);
}

TEST_F(PictureTest, ImageSizeFailuresLeaveTheBoardOpenAndTheProcessRunning) {
  InitCam();
  SimCamFailEntry(CamEntry::GetImageSize, -12);
  for (bool raw : {true, false}) {
    const std::string name = "x";
    ExpectFailure(Take(raw, &name), -12);
    EXPECT_EQ(printed_, "\nGET_IMAGE_SIZE failed with error -12\n");
  }
  SimCamFailEntry(CamEntry::GetImageSize, 0);
  SimCamOverrideImageSize(0, 1024);
  ExpectFailure(Take12("x"), 1);
  EXPECT_EQ(printed_, "\nallocating image buffer failed\n");
  EXPECT_TRUE(SimCamBoardOpen());
  for (const CamCall& call : SimCamCalls()) EXPECT_NE(call.ordinal, static_cast<int>(CamEntry::InitBoard));
}

TEST_F(PictureTest, SizeThatChangesAfterTheGrabFailsWithOne) {
  InitCam();
  SimCamOverrideImageSize(640, 480, 1);  // the grab sees the sensor size, the check does not
  ExpectFailure(Take12("moved"), 1);
  SimCamOverrideImageSize(1280, 1023, 2);  // only the height, asked second, differs
  ExpectFailure(Take8("moved", 0, 4096), 1);
}

}  // namespace
}  // namespace moduletest
