// What a host the module does not expect can still do to the loaded module: answer "make
// wave" with success but no handle, hand back a wave whose data address request cannot be
// sent, hand back a block far shorter than the header it claims, or carry a damaged version
// resource. In every case the picture functions fail with a code, leave nothing behind and
// write nothing into memory that is not the wave's, and the host process lives on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>
#include <vector>

#include "e2e/e2e_support.h"
#include "hostlink/host_exports.h"
#include "hostlink/record.h"
#include "win32sim_control.h"
#ifndef _WIN32
#include "win32sim_version_faults.h"
#endif

namespace e2e {
namespace {

using quorsim::Argument;

constexpr int kMakeWaveMessage = 77;
constexpr int32_t kNullHandleCode = 185;     // the module's code for a handle the host did not give
constexpr int32_t kPictureFailedCode = 1;    // the picture could not be put into the wave
constexpr int32_t kHostTooOldCode = 163;

class HardeningTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    StartHost();
    CallOk("QV_InitCam");
  }
  void TearDown() override {
#ifndef _WIN32
    Win32SimClearFixedInfoAnswer();
#endif
    ModuleTest::TearDown();
  }

  // One picture of either function; the camera's progress lines are kept off the test log.
  quorsim::CallOutcome TakePicture(bool raw, const std::string& name) {
    testing::internal::CaptureStdout();
    quorsim::CallOutcome outcome =
        raw ? Call("QV_TakePicture_12", {Argument::Str(name)})
            : Call("QV_TakePicture_8", {Argument::Str(name), Argument::Num(0), Argument::Num(4096)});
    (void)testing::internal::GetCapturedStdout();
    return outcome;
  }
  std::vector<int> Messages() const {
    std::vector<int> messages;
    for (const quorsim::Exchange& e : host_->Exchanges()) messages.push_back(e.message);
    return messages;
  }
  // The host answers "make wave" with success, handing back `handed` (null: nothing), and
  // when `stopNext` is set also cuts the record to its header with both of the module's next
  // resizes failing, so that the module's next request cannot be sent.
  void AnswerMakeWave(Handle handed, bool stopNext) {
    host_->SetScriptedAnswer([this, handed, stopNext](int message, std::span<const HostWord> items, HostWord* result) {
      if (message != kMakeWaveMessage) return false;
      if (handed != nullptr) *reinterpret_cast<Handle*>(items[0]) = handed;
      if (stopNext) {
        SetHandleSize(reinterpret_cast<Handle>(host_->Record()), static_cast<int32_t>(kRecordHeaderSize));
        quorsim::MemFailSetHandleSize(2);
      }
      *result = 0;
      return true;
    });
  }
};

TEST_F(HardeningTest, WaveMadeWithoutAHandleFailsWithTheNullHandleCode) {
  AnswerMakeWave(nullptr, false);
  for (bool raw : {true, false}) {
    host_->ClearExchanges();
    const size_t handles = LiveHandles();
    const quorsim::CallOutcome outcome = TakePicture(raw, "ghost");
    EXPECT_EQ(outcome.errorCode, kNullHandleCode);
    EXPECT_TRUE(outcome.resultWritten);
    EXPECT_EQ(outcome.result, static_cast<double>(kNullHandleCode));
    EXPECT_EQ(LiveHandles(), handles) << "the name handle is disposed of";
    EXPECT_EQ(Messages(), std::vector<int>{kMakeWaveMessage}) << "nothing else is asked of the host";
    EXPECT_TRUE(host_->WaveNames().empty());
  }
  host_->SetScriptedAnswer({});
  EXPECT_EQ(TakePicture(true, "real").errorCode, 0) << "the module goes on working";
  Picture picture;
  ASSERT_TRUE(ReadPicture("real", &picture));
  EXPECT_EQ(picture.Pixel16(10, 20), SimCamExpectedPixel(10, 20));
}

TEST_F(HardeningTest, WaveWhoseDataAddressCannotBeAskedIsLeftAlone) {
  // A wave of the host's own layout: its data address takes a request, which cannot be sent.
  Handle own = host_->MakeTestWave("own", 2, 80, {1280, 1024});
  ASSERT_NE(own, nullptr);
  AnswerMakeWave(own, true);
  for (bool raw : {true, false}) {
    host_->ClearExchanges();
    const size_t handles = LiveHandles();
    const quorsim::CallOutcome outcome = TakePicture(raw, "own");
    quorsim::MemResetFaults();
    EXPECT_EQ(outcome.errorCode, kPictureFailedCode);
    EXPECT_FALSE(outcome.resultWritten);
    EXPECT_EQ(LiveHandles(), handles);
    EXPECT_EQ(Messages(), std::vector<int>{kMakeWaveMessage}) << "no request with a made-up address";
    quorsim::WaveView view;
    ASSERT_TRUE(host_->FindWave("own", &view));
    EXPECT_EQ(view.modifiedCount, 0);
    EXPECT_EQ(std::count(view.data, view.data + view.dataBytes, 0), static_cast<std::ptrdiff_t>(view.dataBytes))
        << "no pixel written";
  }
}

TEST_F(HardeningTest, BlockShorterThanItsHeaderIsNeitherReadNorWritten) {
  std::vector<char> bytes(40, 0x33);
  bytes[26] = 1;  // layout 1, whose header alone takes 320 bytes
  bytes[27] = 0;
  Handle shortBlock = quorsim::MemNewHandleWithBytes(bytes);
  ASSERT_NE(shortBlock, nullptr);
  AnswerMakeWave(shortBlock, false);
  for (bool raw : {true, false}) {
    host_->ClearExchanges();
    const size_t handles = LiveHandles();
    const quorsim::CallOutcome outcome = TakePicture(raw, "short");
    EXPECT_EQ(outcome.errorCode, kPictureFailedCode);
    EXPECT_FALSE(outcome.resultWritten);
    EXPECT_EQ(LiveHandles(), handles);
    EXPECT_EQ(Messages(), std::vector<int>{kMakeWaveMessage});
    ASSERT_EQ(GetHandleSize(shortBlock), 40);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), *shortBlock)) << "the block is as it was";
  }
  DisposeHandle(shortBlock);
}

#ifndef _WIN32
// The damaged version resources come from a control of the Linux platform stand-in.
TEST_F(HardeningTest, DamagedVersionResourceReadsAsTheOldestHost) {
  // Fixed file information of 6.0.2.0 when whole: signature, structure version, the version.
  const uint32_t words[4] = {0xFEEF04BD, 0x00010000, 0x00060000, 0x00020000};
  std::vector<uint8_t> whole(sizeof(VS_FIXEDFILEINFO), 0);
  std::memcpy(whole.data(), words, sizeof words);
  std::vector<uint8_t> cut(whole.begin(), whole.begin() + 12);
  std::vector<uint8_t> unsignedInfo = whole;
  unsignedInfo[0] ^= 0x01;
  struct Case {
    const char* what;
    std::vector<uint8_t> info;
    int32_t code;
  };
  for (const Case& c : {Case{"whole", whole, 0}, Case{"cut short", cut, kHostTooOldCode},
                        Case{"not signed", unsignedInfo, kHostTooOldCode}}) {
    SCOPED_TRACE(c.what);
    Win32SimSetFixedInfoAnswer(c.info);
    StartHost();
    CallOk("QV_InitCam");
    host_->ClearExchanges();
    const quorsim::CallOutcome outcome = TakePicture(true, "v");
    EXPECT_EQ(outcome.errorCode, c.code);
    if (c.code != 0) {
      EXPECT_TRUE(Messages().empty()) << "a host of version 0 is not asked for a two-dimensional wave";
      EXPECT_TRUE(host_->WaveNames().empty());
    }
  }
}
#endif

}  // namespace
}  // namespace e2e
