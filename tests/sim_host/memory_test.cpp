// The simulated host's memory manager: handles that move, locks and state words, null and dead
// handles, scramble mode, injected failures and the registry of live blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostlink/host_exports.h"
#include "sim/host/quorsim.h"
#include "win32sim_control.h"

namespace {

using namespace quorsim;

constexpr int32_t kNoErr = 0, kParamErr = -50, kMemFull = -108, kNilHandle = -109, kNotABlock = -111,
                  kLockedErr = -117;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOST_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define HOST_TEST_ASAN 1
#endif

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    MemSetScramble(false);
    before_ = MemLiveHandleCount();
  }
  void TearDown() override {
    MemResetFaults();
    MemSetScramble(false);
    EXPECT_EQ(MemLiveHandleCount(), before_);
  }
  size_t before_ = 0;
};

Handle HandleWith(const std::string& text) { return MemNewHandleWithBytes(std::span<const char>(text.data(), text.size())); }
// The size first: with scramble on, GetHandleSize moves the block, so *h is read after it.
std::string TextOf(Handle h) {
  const size_t n = static_cast<size_t>(GetHandleSize(h));
  return std::string(*h, n);
}

TEST_F(MemoryTest, UnlockedBlocksMoveOnEveryResizeAndKeepTheirContents) {
  Handle h = NewHandle(0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(MemError(), kNoErr);
  EXPECT_EQ(GetHandleSize(h), 0);
  EXPECT_NE(*h, nullptr);  // even an empty handle has a block

  SetHandleSize(h, 5);
  EXPECT_EQ(MemError(), kNoErr);
  std::memcpy(*h, "abcde", 5);
  char* before = *h;
  SetHandleSize(h, 4000);
  EXPECT_EQ(MemError(), kNoErr);
  EXPECT_NE(*h, before);
  EXPECT_EQ(std::string(*h, 5), "abcde");
  // The bytes the block grew by are not cleared: the memory manager never promised zeros.
  EXPECT_EQ(static_cast<unsigned char>((*h)[4000 - 1]), 0xCD);

  before = *h;
  SetHandleSize(h, 3);
  EXPECT_NE(*h, before);
  EXPECT_EQ(TextOf(h), "abc");
  DisposeHandle(h);
  EXPECT_EQ(MemError(), kNoErr);
  EXPECT_FALSE(MemIsLiveHandle(h));
}

TEST_F(MemoryTest, LockedBlocksStayPutAndCannotGrow) {
  Handle h = HandleWith("locked text");
  HLock(h);
  EXPECT_TRUE(MemIsLocked(h));
  char* where = *h;
  SetHandleSize(h, 100);
  EXPECT_EQ(MemError(), kMemFull);
  EXPECT_EQ(*h, where);
  EXPECT_EQ(GetHandleSize(h), 11);
  SetHandleSize(h, 6);  // shrinking happens in place
  EXPECT_EQ(MemError(), kNoErr);
  EXPECT_EQ(*h, where);
  EXPECT_EQ(TextOf(h), "locked");
  MoveHHi(h);
  EXPECT_EQ(MemError(), kLockedErr);
  DisposeHandle(h);  // a locked handle may still be disposed of
  EXPECT_EQ(MemError(), kNoErr);
}

TEST_F(MemoryTest, StateWordKeepsTheLockBitAndTheOtherBits) {
  Handle h = NewHandle(8);
  EXPECT_EQ(HGetState(h), 0);
  HLock(h);
  EXPECT_EQ(HGetState(h), 0x80);
  HSetState(h, 0x20);
  EXPECT_EQ(HGetState(h), 0x20);
  EXPECT_FALSE(MemIsLocked(h));
  HLock(h);
  EXPECT_EQ(HGetState(h), 0xA0);  // locking keeps the other bits

  // Lock with the state saved, as the module does, on a handle that was locked already:
  // restoring leaves it locked.
  int32_t saved = HGetState(h);
  MoveHHi(h);
  HLock(h);
  HSetState(h, saved);
  EXPECT_TRUE(MemIsLocked(h));
  HSetState(h, 0);
  EXPECT_FALSE(MemIsLocked(h));
  MoveHHi(h);
  EXPECT_EQ(MemError(), kNoErr);
  DisposeHandle(h);
}

TEST_F(MemoryTest, NullDeadAndForeignArgumentsAreReportedNotFollowed) {
  EXPECT_EQ(GetHandleSize(nullptr), 0);
  EXPECT_EQ(MemError(), kNilHandle);
  SetHandleSize(nullptr, 10);
  EXPECT_EQ(MemError(), kNilHandle);
  HLock(nullptr);
  EXPECT_EQ(MemError(), kNilHandle);
  EXPECT_EQ(HGetState(nullptr), 0);
  HSetState(nullptr, 0x80);
  MoveHHi(nullptr);
  DisposeHandle(nullptr);
  EXPECT_EQ(MemError(), kNoErr);
  DisposePtr(nullptr);
  EXPECT_EQ(MemError(), kNoErr);

  Handle h = NewHandle(4);
  DisposeHandle(h);
  EXPECT_EQ(GetHandleSize(h), 0);  // a disposed handle is only looked up, never followed
  EXPECT_EQ(MemError(), kNotABlock);
  DisposeHandle(h);
  EXPECT_EQ(MemError(), kNotABlock);

  char notOurs[4];
  DisposePtr(notOurs);
  EXPECT_EQ(MemError(), kNotABlock);

  EXPECT_EQ(NewHandle(-1), nullptr);
  EXPECT_EQ(MemError(), kParamErr);
  EXPECT_EQ(NewPtr(-1), nullptr);
  EXPECT_EQ(MemError(), kParamErr);
  Handle g = NewHandle(2);
  SetHandleSize(g, -5);
  EXPECT_EQ(MemError(), kParamErr);
  EXPECT_EQ(GetHandleSize(g), 2);
  DisposeHandle(g);
}

TEST_F(MemoryTest, OversizedRequestsFailInsteadOfReachingTheAllocator) {
  Handle h = NewHandle(16);
  SetHandleSize(h, INT32_MAX);
  EXPECT_EQ(MemError(), kMemFull);
  EXPECT_EQ(GetHandleSize(h), 16);
  EXPECT_EQ(NewPtr(INT32_MAX), nullptr);
  EXPECT_EQ(MemError(), kMemFull);
  DisposeHandle(h);
}

TEST_F(MemoryTest, ScrambleMovesEveryUnlockedBlockOnEveryEntry) {
  Handle moving = HandleWith("moving");
  Handle pinned = HandleWith("pinned");
  HLock(pinned);
  char* movingAt = *moving;
  char* pinnedAt = *pinned;

  GetHandleSize(moving);  // scramble off: nothing moves
  EXPECT_EQ(*moving, movingAt);

  MemSetScramble(true);
  TickCount();  // any export scrambles first, even one that has nothing to do with memory
  EXPECT_NE(*moving, movingAt);
  EXPECT_EQ(*pinned, pinnedAt);
  EXPECT_EQ(TextOf(moving), "moving");
  movingAt = *moving;
  MemError();
  EXPECT_NE(*moving, movingAt);
  EXPECT_EQ(TextOf(pinned), "pinned");

  MemSetScramble(false);
  movingAt = *moving;
  MemScrambleAll();  // on demand, whatever the mode
  EXPECT_NE(*moving, movingAt);
  DisposeHandle(moving);
  DisposeHandle(pinned);
}

#ifdef HOST_TEST_ASAN
TEST_F(MemoryTest, AKeptAddressOfAMovedBlockIsCaught) {
  Handle h = HandleWith("stale");
  const char* kept = *h;
  MemScrambleAll();
  EXPECT_DEATH({ volatile char c = kept[0]; (void)c; }, "use-after-free");
  DisposeHandle(h);
}
#endif

TEST_F(MemoryTest, InjectedSetHandleSizeFailuresLeaveTheHandleAlone) {
  Handle h = HandleWith("keep");
  MemFailSetHandleSize(1, 2);
  SetHandleSize(h, 10);
  EXPECT_EQ(MemError(), kNoErr);
  SetHandleSize(h, 20);
  EXPECT_EQ(MemError(), kNoErr);
  char* where = *h;
  SetHandleSize(h, 30);  // the third call fails
  EXPECT_EQ(MemError(), kMemFull);
  EXPECT_EQ(GetHandleSize(h), 20);
  EXPECT_EQ(*h, where);
  EXPECT_EQ(std::string(*h, 4), "keep");
  SetHandleSize(h, 30);
  EXPECT_EQ(MemError(), kNoErr);

  MemFailSetHandleSize(5);
  MemResetFaults();
  SetHandleSize(h, 1);
  EXPECT_EQ(MemError(), kNoErr);
  DisposeHandle(h);
}

TEST_F(MemoryTest, InjectedNewPtrFailuresAndPointerRegistry) {
  const size_t pointersBefore = MemLivePtrCount();
  MemFailNewPtr(2, 1);
  Ptr first = NewPtr(10);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(NewPtr(10), nullptr);
  EXPECT_EQ(MemError(), kMemFull);
  EXPECT_EQ(NewPtr(10), nullptr);
  Ptr fourth = NewPtr(10);
  ASSERT_NE(fourth, nullptr);
  EXPECT_EQ(MemError(), kNoErr);
  EXPECT_EQ(MemLivePtrCount(), pointersBefore + 2);
  DisposePtr(first);
  DisposePtr(fourth);
  EXPECT_EQ(MemError(), kNoErr);
  EXPECT_EQ(MemLivePtrCount(), pointersBefore);
  DisposePtr(fourth);  // twice: refused, not freed again
  EXPECT_EQ(MemError(), kNotABlock);
}

TEST_F(MemoryTest, LiveRegistryCountsHandlesUntilDisposed) {
  const size_t start = MemLiveHandleCount();
  Handle a = NewHandle(1);
  Handle b = HandleWith("xy");
  EXPECT_EQ(MemLiveHandleCount(), start + 2);
  EXPECT_TRUE(MemIsLiveHandle(a));
  EXPECT_FALSE(MemIsLiveHandle(nullptr));
  DisposeHandle(a);
  EXPECT_EQ(MemLiveHandleCount(), start + 1);
  EXPECT_FALSE(MemIsLiveHandle(a));
  EXPECT_TRUE(MemIsLiveHandle(b));
  DisposeHandle(b);
  EXPECT_EQ(MemLiveHandleCount(), start);
}

TEST_F(MemoryTest, HostBlocksCannotBeDisposedOfByTheModule) {
  Host host;
  Handle root = host.RootDataFolder();
  ASSERT_TRUE(MemIsLiveHandle(root));
  DisposeHandle(root);
  EXPECT_EQ(MemError(), kNotABlock);
  EXPECT_TRUE(MemIsLiveHandle(root));
  Handle wave = host.MakeTestWave("w", 1, 4, {3});
  DisposeHandle(wave);
  EXPECT_EQ(MemError(), kNotABlock);
  EXPECT_TRUE(MemIsLiveHandle(wave));
  SetHandleSize(wave, 8);  // a wave's size belongs to the host's description of it
  EXPECT_EQ(MemError(), kNotABlock);
  EXPECT_EQ(GetHandleSize(wave), 320 + 24);
  HLock(wave);  // locking and reading are the module's to do
  EXPECT_EQ(MemError(), kNoErr);
  HSetState(wave, 0);
  WaveView view;
  EXPECT_TRUE(host.FindWave("w", &view));
}

TEST_F(MemoryTest, TickCountIsSixtiethsOfTheMillisecondClock) {
  Win32SimUseManualClock(1000);
  EXPECT_EQ(TickCount(), 60u);
  Win32SimAdvanceClock(100);  // six ticks later
  EXPECT_EQ(TickCount(), 66u);
  Win32SimUseManualClock(0xFFFFFFFFu);  // no overflow in the conversion
  EXPECT_EQ(TickCount(), static_cast<uint32_t>(uint64_t{0xFFFFFFFFu} * 60 / 1000));
  Win32SimUseRealClock();
}

}  // namespace
