// The handle routines over the host's memory manager: text out of and into handles at their
// limits, locking with the state saved, and clearing bytes. Scramble mode is on throughout,
// so an address kept across a host call would be caught.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostdata/handles.h"
#include "hostlink/host_exports.h"
#include "sim/host/quorsim.h"

namespace {

class HandlesTest : public ::testing::Test {
 protected:
  void SetUp() override { quorsim::MemSetScramble(true); }
  void TearDown() override {
    quorsim::MemSetScramble(false);
    quorsim::MemResetFaults();
    for (Handle h : made_) DisposeHandle(h);
  }
  Handle Text(const std::string& bytes) {
    Handle h = quorsim::MemNewHandleWithBytes(std::span<const char>(bytes.data(), bytes.size()));
    made_.push_back(h);
    return h;
  }
  std::string Contents(Handle h) {
    const size_t size = static_cast<size_t>(GetHandleSize(h));  // may move the block: read after
    return std::string(*h, size);
  }
  std::vector<Handle> made_;
};

TEST_F(HandlesTest, CopyHandleTextCopiesUpToTheLimitAndTerminates) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(CopyHandleText(Text("abc"), buffer, 31), 0);
  EXPECT_STREQ(buffer, "abc");

  const std::string forty = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(CopyHandleText(Text(forty), buffer, 31), kErrTextCut);
  EXPECT_EQ(std::string(buffer), forty.substr(0, 31));
  EXPECT_EQ(buffer[31], '\0');
  EXPECT_EQ(buffer[32], 'x') << "nothing beyond the terminator is written";

  EXPECT_EQ(CopyHandleText(Text(forty.substr(0, 31)), buffer, 31), 0) << "exactly the limit is not cut";
  EXPECT_EQ(CopyHandleText(Text(forty.substr(0, 32)), buffer, 31), kErrTextCut);
  EXPECT_EQ(CopyHandleText(Text(""), buffer, 31), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(CopyHandleText(Text("abc"), buffer, 0), kErrTextCut);
  EXPECT_STREQ(buffer, "");
}

TEST_F(HandlesTest, CopyHandleTextKeepsTheBytesAsTheyAre) {
  char buffer[32];
  EXPECT_EQ(CopyHandleText(Text(std::string("a\0b\xff", 4)), buffer, 31), 0);
  EXPECT_EQ(0, std::memcmp(buffer, "a\0b\xff\0", 5));
}

TEST_F(HandlesTest, CopyHandleTextOfNoHandleIsEmpty) {
  char buffer[8] = "junk";
  EXPECT_EQ(CopyHandleText(nullptr, buffer, 7), kErrNullHandle);
  EXPECT_STREQ(buffer, "");
}

TEST_F(HandlesTest, PutTextInHandleStoresTheTextWithoutTerminator) {
  Handle h = Text("previous contents");
  EXPECT_EQ(PutTextInHandle("hello", h), 0);
  EXPECT_EQ(GetHandleSize(h), 5);
  EXPECT_EQ(Contents(h), "hello");
  EXPECT_EQ(PutTextInHandle("", h), 0);
  EXPECT_EQ(GetHandleSize(h), 0);
  EXPECT_EQ(PutTextInHandle("x", nullptr), kErrNullHandle);
}

TEST_F(HandlesTest, PutTextInHandleReportsAResizeThatFailed) {
  Handle h = Text("abc");
  quorsim::MemFailSetHandleSize(1);
  EXPECT_EQ(PutTextInHandle("longer text", h), kErrHandleResizeFailed);
  EXPECT_EQ(Contents(h), "abc") << "the handle stays as the memory manager left it";
}

TEST_F(HandlesTest, SaveAndLockHandleLocksAndTheSavedStateUndoesExactlyThat) {
  Handle h = Text("data");
  const int32_t unlocked = SaveAndLockHandle(h);
  EXPECT_TRUE(quorsim::MemIsLocked(h));
  char* address = *h;
  quorsim::MemScrambleAll();
  EXPECT_EQ(*h, address) << "a locked block stays where it is";
  HSetState(h, unlocked);
  EXPECT_FALSE(quorsim::MemIsLocked(h));

  HLock(h);
  const int32_t locked = SaveAndLockHandle(h);
  HSetState(h, locked);
  EXPECT_TRUE(quorsim::MemIsLocked(h)) << "a handle that was locked stays locked";
}

TEST_F(HandlesTest, ZeroBytesClearsExactlyTheCount) {
  unsigned char bytes[8];
  std::memset(bytes, 0x77, sizeof bytes);
  ZeroBytes(bytes + 1, 5);
  const unsigned char expected[8] = {0x77, 0, 0, 0, 0, 0, 0x77, 0x77};
  EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes));
  ZeroBytes(bytes, 0);
  ZeroBytes(bytes, -4);
  EXPECT_EQ(bytes[0], 0x77);
}

}  // namespace
