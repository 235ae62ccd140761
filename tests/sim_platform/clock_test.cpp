// The tick clock behind GetTickCount: the real monotonic counter, the manual clock with and
// without auto-advance, the wrap at 2^32 and the count of reads.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <time.h>

#include "hostlink/win32_subset.h"
#include "win32sim_control.h"

namespace {

class TickClock : public ::testing::Test {
 protected:
  void TearDown() override { Win32SimUseRealClock(); }
};

TEST_F(TickClock, RealClockIsTheMonotonicMillisecondCounter) {
  Win32SimUseRealClock();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto monotonic = static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u + now.tv_nsec / 1000000);
  EXPECT_LE(static_cast<DWORD>(GetTickCount() - monotonic), 50u);

  const DWORD before = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  const DWORD elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 40u);
  EXPECT_LT(elapsed, 10000u);
  EXPECT_EQ(Win32SimTickReads(), 3u);
}

TEST_F(TickClock, ManualClockMovesOnlyWhenTold) {
  Win32SimUseManualClock(1000);
  EXPECT_EQ(GetTickCount(), 1000u);
  EXPECT_EQ(GetTickCount(), 1000u);
  Win32SimAdvanceClock(25);
  EXPECT_EQ(GetTickCount(), 1025u);
  EXPECT_EQ(Win32SimTickReads(), 3u);
  Win32SimUseManualClock(7);  // a new mode starts a new count
  EXPECT_EQ(Win32SimTickReads(), 0u);
  EXPECT_EQ(GetTickCount(), 7u);
}

TEST_F(TickClock, AutoAdvanceEndsABusyPollAfterAnExactNumberOfReads) {
  Win32SimUseManualClock(500, 7);
  EXPECT_EQ(GetTickCount(), 507u);
  EXPECT_EQ(GetTickCount(), 514u);
  Win32SimAdvanceClock(100);
  EXPECT_EQ(GetTickCount(), 621u);

  // A wait of 20 ms polled with one read per round, each read moving the clock by 1 ms.
  Win32SimUseManualClock(0, 1);
  const DWORD start = GetTickCount();
  int polls = 0;
  while (GetTickCount() - start < 20) ++polls;
  EXPECT_EQ(polls, 19);
  EXPECT_EQ(Win32SimTickReads(), 21u);
}

TEST_F(TickClock, CounterWrapsAtTwoToTheThirtyTwo) {
  Win32SimUseManualClock(0xFFFFFFF0u, 8);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF8u);
  EXPECT_EQ(GetTickCount(), 0u);
  EXPECT_EQ(GetTickCount(), 8u);
  Win32SimUseManualClock(0xFFFFFFFFu);
  const DWORD start = GetTickCount();
  Win32SimAdvanceClock(30);
  EXPECT_EQ(GetTickCount(), 29u);
  EXPECT_EQ(GetTickCount() - start, 30u);  // elapsed time survives the wrap
}

}  // namespace
