// Bad input at the boundary between host and module: numbers that are not numbers or do not
// fit, windows that cannot divide, wave names of every awkward length and content, null
// handles, unknown messages and function indexes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using quorsim::Argument;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class BoundaryTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    StartHost();
    CallOk("QV_InitCam");
  }
  // The eight settings values and the text that the last WRITE_SETTINGS received.
  CamCall LastSettingsWrite() const {
    for (auto it = SimCamCalls().rbegin(); it != SimCamCalls().rend(); ++it)
      if (it->ordinal == static_cast<int>(CamEntry::WriteSettings)) return *it;
    ADD_FAILURE() << "no WRITE_SETTINGS call";
    return {};
  }
};

TEST_F(BoundaryTest, SetValuesTruncatesTowardZeroAndDefinesNumbersThatDoNotFit) {
  struct Case {
    double first, second;
    int64_t bin;
    const char* text;
  };
  const Case cases[] = {
      {3.7, 2.9, 3, "0, 2, -1, -1"},
      {-3.7, -2.9, -3, "0, -2, -1, -1"},
      {kNaN, kNaN, 0, "0, 0, -1, -1"},
      {kInf, -kInf, 2147483647, "0, -2147483648, -1, -1"},
      {-1e300, 1e300, -2147483648LL, "0, 2147483647, -1, -1"},
      {2147483647.9, -2147483648.9, 2147483647, "0, -2147483648, -1, -1"},
  };
  for (const Case& c : cases) {
    SimCamClearCalls();
    Call("QV_SetValues", {Argument::Num(c.first), Argument::Num(c.second)});
    CamCall write = LastSettingsWrite();
    ASSERT_EQ(write.args.size(), 8u);
    EXPECT_EQ(write.args[6], c.bin) << c.first;
    EXPECT_EQ(write.args[7], c.bin) << c.first;
    EXPECT_EQ(write.text, c.text) << c.second;
  }
}

TEST_F(BoundaryTest, SetValuesKeepsTheOtherSixSettingsAsTheDriverHadThem) {
  CamSettings before = SimCamSettings();
  SimCamClearCalls();
  CallOk("QV_SetValues", {Argument::Num(1), Argument::Num(7)});
  CamCall write = LastSettingsWrite();
  std::vector<int64_t> expected = {before.mode, before.trig, before.roix1, before.roix2,
                                   before.roiy1, before.roiy2, 1, 1};
  EXPECT_EQ(write.args, expected);
  EXPECT_EQ(SimCamSettings().text, "0, 7, -1, -1");
}

TEST_F(BoundaryTest, WindowedPictureFollowsTheWindowRulesAtEveryEdge) {
  struct Window {
    double low, high;
  };
  const Window windows[] = {{0, 4096}, {100, 200}, {4095, 0}, {7, 7}, {2000, 2000}, {kNaN, 10},
                            {0, kNaN}, {-kInf, 4096}, {0, kInf}, {-1e308, 1e308}, {3000, 3000.0000001}};
  for (const Window& w : windows) {
    ASSERT_EQ(Call("QV_TakePicture_8", {Argument::Str("w"), Argument::Num(w.low), Argument::Num(w.high)}).errorCode, 0);
    Picture picture;
    ASSERT_TRUE(ReadPicture("w", &picture));
    int mismatches = 0;
    for (int32_t y = 0; y < picture.height; y += 3)
      for (int32_t x = 0; x < picture.width; x += 3)
        mismatches += picture.Pixel8(x, y) != ExpectedWindowed(SimCamExpectedPixel(x, y), w.low, w.high);
    EXPECT_EQ(mismatches, 0) << w.low << ".." << w.high;
  }
  // The promised values of the normal and inverted windows.
  EXPECT_EQ(ExpectedWindowed(4095, 0, 4096), 255);
  EXPECT_EQ(ExpectedWindowed(2048, 0, 4096), 128);
  EXPECT_EQ(ExpectedWindowed(15, 0, 4096), 0);
  EXPECT_EQ(ExpectedWindowed(150, 100, 200), 128);
  EXPECT_EQ(ExpectedWindowed(4095, 4095, 0), 0);
  EXPECT_EQ(ExpectedWindowed(0, 4095, 0), 255);
}

TEST_F(BoundaryTest, WaveNamesAreCutToThirtyOneCharactersAndCopiedAsTheyAre) {
  const std::string name40 = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
  struct Case {
    std::string given;
    std::string made;  // empty: no wave
  };
  const Case cases[] = {
      {"abc", "abc"},
      {name40.substr(0, 31), name40.substr(0, 31)},
      {name40.substr(0, 32), name40.substr(0, 31)},
      {name40, name40.substr(0, 31)},
      {std::string("ab\0cd", 5), "ab"},
      {"", ""},
      {"two words", ""},
      {"9lives", ""},
  };
  for (const Case& c : cases) {
    for (bool raw : {true, false}) {
      size_t handles = LiveHandles();
      size_t waves = host_->WaveNames().size();
      quorsim::CallOutcome outcome =
          raw ? Call("QV_TakePicture_12", {Argument::Str(c.given)})
              : Call("QV_TakePicture_8", {Argument::Str(c.given), Argument::Num(0), Argument::Num(4096)});
      quorsim::WaveView view;
      if (c.made.empty()) {
        EXPECT_NE(outcome.errorCode, 0) << "'" << c.given << "'";
        EXPECT_EQ(host_->WaveNames().size(), waves);
      } else {
        EXPECT_EQ(outcome.errorCode, 0) << c.given;
        EXPECT_TRUE(host_->FindWave(c.made, &view)) << c.made;
      }
      EXPECT_LE(LiveHandles(), handles + 1) << "the name handle is always disposed of";
    }
  }
}

TEST_F(BoundaryTest, NullNameHandleIsRefusedWithoutLeakOrCrash) {
  size_t handles = LiveHandles();
  EXPECT_NE(Call("QV_TakePicture_12", {Argument::Null()}).errorCode, 0);
  EXPECT_NE(Call("QV_TakePicture_8", {Argument::Null(), Argument::Num(0), Argument::Num(1)}).errorCode, 0);
  EXPECT_EQ(LiveHandles(), handles);
  EXPECT_TRUE(host_->WaveNames().empty());
}

TEST_F(BoundaryTest, UnknownMessagesAndFunctionIndexesAnswerZero) {
  SimCamClearCalls();
  HostWord none[] = {0};
  EXPECT_EQ(host_->SendToModule(14, none), 0);
  EXPECT_EQ(host_->SendToModule(-3, none), 0);
  for (HostWord index : {HostWord{8}, HostWord{-1}, HostWord{1000}}) {
    HostWord item[] = {index};
    EXPECT_EQ(host_->SendToModule(15, item), 0) << index;
  }
  HostWord seven[] = {7};
  EXPECT_EQ(host_->SendToModule(15, seven), host_->FunctionAddress(7));
  EXPECT_EQ(host_->SendToModule(15, {}), host_->FunctionAddress(0)) << "no item reads as index 0";
  EXPECT_TRUE(SimCamCallOrdinals().empty()) << "no message but shutdown touches the camera";
}

}  // namespace
}  // namespace e2e
