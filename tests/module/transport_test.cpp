// The record transport: items and item count of each exchange, the result cleared before the
// host runs and passed back unchanged, the record sized before every exchange (and what happens
// when it cannot be), the bounds of item reads and the 16-bit message field. Every test runs
// with memory scrambling on, so a pointer into the record kept across a host call is caught.
#include <gtest/gtest.h>

#include <cstring>

#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "module_fixture.h"
#include "win32sim_control.h"

namespace moduletest {
namespace {

constexpr int kTestMessage = 200;

class TransportTest : public ::testing::Test {
 protected:
  void Start(int32_t recordSize) {
    linked_.reset();
    linked_ = std::make_unique<LinkedHost>(Options(602, recordSize, true));
    linked_->host().SetScriptedAnswer([this](int message, std::span<const HostWord>, HostWord* result) {
      if (message < kTestMessage) return false;
      *result = answer_;
      return true;
    });
  }
  void SetUp() override { Start(200); }
  void TearDown() override {
    quorsim::MemResetFaults();
    Win32SimSetDebuggerAttached(false);
    Win32SimResetDebugBreakCount();
    linked_.reset();
  }
  int32_t RecordBytes() const { return GetHandleSize(reinterpret_cast<Handle>(linked_->record())); }
  const quorsim::Exchange& Last() const { return linked_->host().Exchanges().back(); }
  size_t ExchangeCount() const { return linked_->host().Exchanges().size(); }

  std::unique_ptr<LinkedHost> linked_;
  HostWord answer_ = 0;
};

TEST_F(TransportTest, EachCallHostWritesItsItemsInOrderAndPassesTheAnswerBack) {
  answer_ = 163;
  const HostWord a[6] = {11, -22, 33, HostWord{1} << 20, 0, -1};
  EXPECT_EQ(CallHost0(kTestMessage), 163);
  EXPECT_EQ(CallHost1(kTestMessage + 1, a[0]), 163);
  EXPECT_EQ(CallHost2(kTestMessage + 2, a[0], a[1]), 163);
  EXPECT_EQ(CallHost3(kTestMessage + 3, a[0], a[1], a[2]), 163);
  EXPECT_EQ(CallHost4(kTestMessage + 4, a[0], a[1], a[2], a[3]), 163);
  EXPECT_EQ(CallHost5(kTestMessage + 5, a[0], a[1], a[2], a[3], a[4]), 163);
  EXPECT_EQ(CallHost6(kTestMessage + 6, a[0], a[1], a[2], a[3], a[4], a[5]), 163);
  const auto& exchanges = linked_->host().Exchanges();
  ASSERT_EQ(exchanges.size(), 7u);
  for (size_t n = 0; n < 7; ++n) {
    EXPECT_EQ(exchanges[n].message, kTestMessage + static_cast<int>(n));
    EXPECT_EQ(exchanges[n].items, std::vector<HostWord>(a, a + n)) << n << " items";
  }
  EXPECT_EQ(ReadRecord(linked_->record()).itemCount, 6);
  EXPECT_EQ(ReadRecord(linked_->record()).message, kTestMessage + 6);
}

// A host that carries out the request but leaves the result field alone.
int32_t SilentCallback(IORecHandle) { return 0; }

TEST_F(TransportTest, ResultIsClearedBeforeTheHostRuns) {
  (*linked_->record())->hostCallback = &SilentCallback;
  SetModuleResult(77);
  EXPECT_EQ(CallHost2(kTestMessage, 1, 2), 0);
  SetModuleResult(-5);
  EXPECT_EQ(SendHostMessage(kTestMessage), 0);
}

TEST_F(TransportTest, RecordIsSizedForSixteenItemsBeforeEveryExchange) {
  for (int32_t start : {static_cast<int32_t>(kRecordHeaderSize + 5 * sizeof(HostWord)), int32_t{200},
                        static_cast<int32_t>(kRecordFullSize)}) {
    Start(start);
    CallHost1(kTestMessage, 1);
    EXPECT_EQ(RecordBytes(), static_cast<int32_t>(kRecordFullSize)) << "record handed over at " << start;
  }
}

TEST_F(TransportTest, RecordThatCannotTakeTheFullSizeGetsTheExactSize) {
  quorsim::MemFailSetHandleSize(1);
  answer_ = 9;
  EXPECT_EQ(CallHost3(kTestMessage, 1, 2, 3), 9);
  EXPECT_EQ(RecordBytes(), static_cast<int32_t>(RecordSizeForItems(3)));
  EXPECT_EQ(Last().items, (std::vector<HostWord>{1, 2, 3}));
  EXPECT_EQ(Win32SimDebugBreakCount(), 0);
}

TEST_F(TransportTest, RecordThatCannotBeResizedButHoldsTheItemsStillCarriesThem) {
  quorsim::MemFailSetHandleSize(2);
  answer_ = 4;
  EXPECT_EQ(CallHost6(kTestMessage, 1, 2, 3, 4, 5, 6), 4);
  EXPECT_EQ(RecordBytes(), 200);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Win32SimDebugBreakCount(), 0) << "no break without a debugger: it would end the host";

  Win32SimSetDebuggerAttached(true);
  quorsim::MemFailSetHandleSize(2);
  EXPECT_EQ(CallHost1(kTestMessage, 1), 4);
  EXPECT_EQ(Win32SimDebugBreakCount(), 1) << "a developer's debugger is told";
}

TEST_F(TransportTest, RecordTooSmallForTheItemsStopsTheExchangeUntouched) {
  Start(static_cast<int32_t>(RecordSizeForItems(2)));
  (*linked_->record())->itemCount = 2;
  (*linked_->record())->items[0] = 7;
  (*linked_->record())->items[1] = 8;
  SetModuleMessage(55);
  SetModuleResult(66);
  const size_t before = ExchangeCount();
  quorsim::MemFailSetHandleSize(2);
  EXPECT_EQ(CallHost6(kTestMessage, 1, 2, 3, 4, 5, 6), 1);
  EXPECT_EQ(ExchangeCount(), before) << "the host is not called with a short record";
  EXPECT_EQ(RecordBytes(), static_cast<int32_t>(RecordSizeForItems(2)));
  const RecordFields r = ReadRecord(linked_->record());
  EXPECT_EQ(r.itemCount, 2);
  EXPECT_EQ(r.items[0], 7);
  EXPECT_EQ(r.items[1], 8);
  EXPECT_EQ(r.message, 55);
  EXPECT_EQ(r.result, 66);

  quorsim::MemFailSetHandleSize(2);
  answer_ = 3;
  EXPECT_EQ(CallHost2(kTestMessage, 1, 2), 3) << "two items still fit";
}

TEST_F(TransportTest, AStoppedExchangeIsToldApartFromAHostThatAnswersOne) {
  Start(static_cast<int32_t>(RecordSizeForItems(0)));
  answer_ = 1;
  bool stopped = false;
  quorsim::MemFailSetHandleSize(2);
  EXPECT_EQ(CallHostChecked1(kTestMessage, &stopped, 5), kExchangeStopped);
  EXPECT_TRUE(stopped);
  quorsim::MemFailSetHandleSize(2);
  EXPECT_EQ(CallHostChecked2(kTestMessage, &stopped, 5, 6), kExchangeStopped);
  EXPECT_TRUE(stopped);
  quorsim::MemFailSetHandleSize(2);
  EXPECT_EQ(CallHostForAddress1(kTestMessage, 5), 0) << "a stopped exchange is no address";
  quorsim::MemFailSetHandleSize(2);
  EXPECT_EQ(CallHostForAddress2(kTestMessage, 5, 6), 0);
  EXPECT_EQ(ExchangeCount(), 0u) << "the host is never called with a short record";

  // The host itself answering 1 is an answer like any other.
  EXPECT_EQ(CallHostChecked1(kTestMessage, &stopped, 5), 1);
  EXPECT_FALSE(stopped);
  EXPECT_EQ(CallHostChecked2(kTestMessage + 1, &stopped, 5, 6), 1);
  EXPECT_FALSE(stopped);
  answer_ = 0x1234560;
  EXPECT_EQ(CallHostForAddress1(kTestMessage + 2, 5), 0x1234560);
  EXPECT_EQ(CallHostForAddress2(kTestMessage + 3, 5, 6), 0x1234560);
  ASSERT_EQ(ExchangeCount(), 4u);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{5, 6}));
}

TEST_F(TransportTest, ItemReadsOutsideTheItemCountAnswerZero) {
  CallHost3(kTestMessage, 10, 20, 30);
  EXPECT_EQ(GetModuleItem(0), 10);
  EXPECT_EQ(GetModuleItem(2), 30);
  EXPECT_EQ(GetModuleItem(3), 0);
  EXPECT_EQ(GetModuleItem(-1), 0);
  EXPECT_EQ(GetModuleItem(kRecordMaxItems), 0);
  CallHost0(kTestMessage);
  EXPECT_EQ(ReadRecord(linked_->record()).itemCount, 0);
  EXPECT_EQ(GetModuleItem(0), 0) << "an item left from the last exchange is not read";

  (*linked_->record())->itemCount = 1000;  // a count beyond the item array is bounded by it
  EXPECT_EQ(GetModuleItem(kRecordMaxItems), 0);
}

TEST_F(TransportTest, MessageFieldKeepsSixteenBitsAndReadsBackSignExtended) {
  const std::pair<int32_t, int32_t> cases[] = {
      {12, 12}, {0x7FFF, 32767}, {0x8000, -32768}, {0xFFFF, -1}, {0x1FFFF, -1}, {-2, -2}, {0x10000 + 15, 15}};
  for (auto [stored, read] : cases) {
    SetModuleMessage(stored);
    EXPECT_EQ(GetModuleMessage(), read) << stored;
    EXPECT_EQ(ReadRecord(linked_->record()).message, static_cast<int16_t>(read));
  }
}

// A host that moves the record on every request, as a resize may.
int32_t MovingCallback(IORecHandle record) {
  quorsim::MemScrambleAll();
  (*record)->result = 4321;
  quorsim::MemScrambleAll();
  return 0;
}

TEST_F(TransportTest, RecordMovedByTheHostIsFoundAgain) {
  (*linked_->record())->hostCallback = &MovingCallback;
  EXPECT_EQ(CallHost4(kTestMessage, 1, 2, 3, 4), 4321);
  EXPECT_EQ(GetModuleItem(3), 4);
  EXPECT_EQ(GetModuleResult(), 4321);
}

TEST_F(TransportTest, EntryRoutineAndResultFieldsAreTheModulesOwn) {
  SetModuleEntry(nullptr);
  EXPECT_EQ(ReadRecord(linked_->record()).entryRoutine, nullptr);
  SetModuleResult(-7);
  EXPECT_EQ(ReadRecord(linked_->record()).result, -7);
  EXPECT_EQ(GetModuleResult(), -7);
  EXPECT_NE(GetOwnModule(), nullptr);
  EXPECT_EQ(GetOwnModule(), GetZEMModule(linked_->record())) << "the module asks with its own record";
  EXPECT_EQ(GetHostModule(), GetQuorModule());
  EXPECT_EQ(GetHostClientWindow(), GetQuorClientHWND());
}

}  // namespace
}  // namespace moduletest
