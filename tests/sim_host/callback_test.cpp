// The host's callback: what it records of each request, scripted answers, unknown requests,
// records that are too small for their item count, and the record moving under scramble.
#include <gtest/gtest.h>

#include "hostlink/host_exports.h"
#include "tests/sim_host/host_test_support.h"

namespace {

using namespace quorsim;
using hosttest::HostFixture;
using hosttest::Item;

using CallbackTest = HostFixture;

// The record's result, copied out of its packed field.
HostWord ResultOf(IORecHandle record) { return (*record)->result; }

TEST_F(CallbackTest, EachRequestIsRecordedWithItsItemsAndAnswer) {
  Handle wave = host_->MakeTestWave("w", 1, 80, {5});
  host_->ClearExchanges();
  EXPECT_EQ(Send(34, {Item(wave)}), 80);
  EXPECT_EQ(Send(35, {Item(wave)}), 5);
  ASSERT_EQ(host_->Exchanges().size(), 2u);
  const Exchange& first = host_->Exchanges()[0];
  EXPECT_EQ(first.message, 34);
  EXPECT_EQ(first.items, (std::vector<HostWord>{Item(wave)}));
  EXPECT_EQ(first.result, 80);
  EXPECT_EQ(host_->Exchanges()[1].result, 5);
  host_->ClearExchanges();
  EXPECT_TRUE(host_->Exchanges().empty());
}

TEST_F(CallbackTest, UnknownRequestsAreAnsweredAndRecorded) {
  host_->ClearExchanges();
  EXPECT_EQ(Send(250, {1, 2, 3}), kErrUnknownMessage);
  EXPECT_EQ(Send(36, {}), kErrUnknownMessage);  // a wave request this host does not serve
  ASSERT_EQ(host_->Exchanges().size(), 2u);
  EXPECT_EQ(host_->Exchanges()[0].message, 250);
  EXPECT_EQ(host_->Exchanges()[0].items, (std::vector<HostWord>{1, 2, 3}));
  EXPECT_EQ(host_->Exchanges()[0].result, kErrUnknownMessage);
}

TEST_F(CallbackTest, ScriptedAnswersClaimOnlyWhatTheyChoose) {
  Handle wave = host_->MakeTestWave("w", 1, 4, {7});
  std::vector<int> asked;
  host_->SetScriptedAnswer([&](int message, std::span<const HostWord> items, HostWord* result) {
    asked.push_back(message);
    if (message != 35) return false;
    *result = static_cast<HostWord>(items.size()) * 1000 + 163;
    return true;
  });
  EXPECT_EQ(Send(35, {Item(wave), 9}), 2163);
  EXPECT_EQ(Send(34, {Item(wave)}), 4);  // left to the host
  EXPECT_EQ(asked, (std::vector<int>{35, 34}));
  EXPECT_EQ(host_->Exchanges().back().result, 4);
  EXPECT_EQ(host_->Exchanges()[host_->Exchanges().size() - 2].result, 2163);
  host_->SetScriptedAnswer(nullptr);
  EXPECT_EQ(Send(35, {Item(wave)}), 7);
}

TEST_F(CallbackTest, OnlyItemsInsideTheRecordAreRead) {
  IORecHandle record = host_->Record();
  Handle recordHandle = reinterpret_cast<Handle>(record);
  host_->ClearExchanges();

  SetHandleSize(recordHandle, static_cast<int32_t>(RecordSizeForItems(2)));
  (*record)->message = 250;
  (*record)->itemCount = 12;  // claims more than the record holds
  (*record)->items[0] = 11;
  (*record)->items[1] = 22;
  (*record)->hostCallback(record);
  ASSERT_EQ(host_->Exchanges().size(), 1u);
  EXPECT_EQ(host_->Exchanges()[0].items, (std::vector<HostWord>{11, 22}));
  EXPECT_EQ(ResultOf(record), kErrUnknownMessage);

  SetHandleSize(recordHandle, static_cast<int32_t>(kRecordFullSize));
  (*record)->itemCount = -3;
  (*record)->hostCallback(record);
  EXPECT_TRUE(host_->Exchanges()[1].items.empty());

  (*record)->itemCount = 40;  // more than a record can ever carry
  (*record)->hostCallback(record);
  EXPECT_EQ(host_->Exchanges()[2].items.size(), static_cast<size_t>(kRecordMaxItems));

  // A record cut below its own header is not read at all. (The cut loses the header, so the
  // test puts it back afterwards for the module's shutdown.)
  std::vector<char> header(*recordHandle, *recordHandle + kRecordHeaderSize);
  HostCallbackProc callback = (*record)->hostCallback;
  SetHandleSize(recordHandle, 8);
  callback(record);
  EXPECT_EQ(host_->Exchanges().size(), 3u);
  SetHandleSize(recordHandle, static_cast<int32_t>(kRecordFullSize));
  std::copy(header.begin(), header.end(), *recordHandle);
}

TEST_F(CallbackTest, TheModuleMayResizeTheRecordButNotDisposeOfIt) {
  Handle record = reinterpret_cast<Handle>(host_->Record());
  DisposeHandle(record);
  EXPECT_NE(MemError(), 0);
  EXPECT_TRUE(MemIsLiveHandle(record));
  SetHandleSize(record, static_cast<int32_t>(RecordSizeForItems(3)));
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(Send(250, {}), kErrUnknownMessage);  // still the host's working record
}

TEST_F(CallbackTest, ACallWithSomeoneElsesRecordIsIgnored) {
  host_->ClearExchanges();
  Handle other = NewHandle(static_cast<int32_t>(kRecordFullSize));
  IORecHandle fake = reinterpret_cast<IORecHandle>(other);
  (*fake)->message = 1;
  (*fake)->itemCount = 0;
  (*fake)->result = 5;
  (*host_->Record())->hostCallback(fake);
  EXPECT_TRUE(host_->Exchanges().empty());
  EXPECT_EQ(ResultOf(fake), 5);
  DisposeHandle(other);
}

TEST_F(CallbackTest, UnderScrambleTheRecordMovesOnEveryRequestAndTheAnswerStillArrives) {
  HostOptions options;
  options.scramble = true;
  Start(options);
  Handle wave = host_->MakeTestWave("w", 1, 16, {3, 4});
  IORecHandle record = host_->Record();
  SetHandleSize(reinterpret_cast<Handle>(record), static_cast<int32_t>(kRecordFullSize));
  (*record)->message = 35;
  (*record)->itemCount = 1;
  (*record)->items[0] = Item(wave);
  (*record)->result = 0;
  IORec* before = *record;
  (*record)->hostCallback(record);
  EXPECT_NE(*record, before);
  EXPECT_EQ(ResultOf(record), 12);
  EXPECT_EQ(host_->Exchanges().back().items, (std::vector<HostWord>{Item(wave)}));
}

}  // namespace
