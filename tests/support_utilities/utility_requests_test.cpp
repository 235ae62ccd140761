// The simulated host's answers to the utility requests, sent through the module's transport:
// name lists with patterns and separators and the handles they may or may not be put into,
// history texts, and the character search on texts the host is handed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostdata/handles.h"
#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "support/dialogs.h"
#include "support/utilities.h"
#include "utility_fixture.h"

namespace utilitytest {
namespace {

class UtilityRequestsTest : public UtilityTest {
 protected:
  void SetUp() override {
    UtilityTest::SetUp();
    for (const char* name : {"wave0", "Wave1", "image", "awave"}) host().MakeTestWave(name, 1, 4, {4});
    list_ = NewHandle(0);
    ASSERT_NE(list_, nullptr);
  }
  void TearDown() override {
    if (list_ != nullptr) DisposeHandle(list_);
    UtilityTest::TearDown();
  }
  HostWord AskForNames(int32_t message, const char* pattern, const char* separator = ";") {
    return CallHost4(message, AsItem(list_), AsItem(pattern), AsItem(separator), 0);
  }
  std::string ListText() {
    const int32_t size = GetHandleSize(list_);
    return std::string(*list_, static_cast<size_t>(size));
  }
  Handle list_ = nullptr;
};

TEST_F(UtilityRequestsTest, WaveNamesMatchThePatternWithoutRegardToCase) {
  struct Case {
    const char* pattern;
    const char* names;
  };
  for (const Case& c : {Case{nullptr, "wave0;Wave1;image;awave"}, Case{"*", "wave0;Wave1;image;awave"},
                        Case{"WAVE*", "wave0;Wave1"}, Case{"*wave*", "wave0;Wave1;awave"}, Case{"*e", "image;awave"},
                        Case{"w*1", "Wave1"}, Case{"", ""}, Case{"image", "image"}, Case{"imag", ""},
                        Case{"**a*v**", "wave0;Wave1;awave"}}) {
    EXPECT_EQ(AskForNames(kMsgWaveNameList, c.pattern), 0) << (c.pattern ? c.pattern : "null");
    EXPECT_EQ(ListText(), c.names) << (c.pattern ? c.pattern : "null");
  }
}

TEST_F(UtilityRequestsTest, TheSeparatorIsAnyText) {
  EXPECT_EQ(AskForNames(kMsgWaveNameList, "*wave*", ", "), 0);
  EXPECT_EQ(ListText(), "wave0, Wave1, awave");
  EXPECT_EQ(AskForNames(kMsgWaveNameList, "*wave*", ""), 0);
  EXPECT_EQ(ListText(), "wave0Wave1awave");
}

TEST_F(UtilityRequestsTest, VariableListsAreWhatTheTestSet) {
  EXPECT_EQ(AskForNames(kMsgVariableNameList, nullptr), 0);
  EXPECT_EQ(ListText(), "") << "none set";
  quorsim::SetNameList(host(), kMsgVariableNameList, {"V_gain", "offset"});
  quorsim::SetNameList(host(), kMsgStringNameList, {"S_info"});
  EXPECT_EQ(AskForNames(kMsgVariableNameList, "v_*"), 0);
  EXPECT_EQ(ListText(), "V_gain");
  EXPECT_EQ(AskForNames(kMsgStringNameList, nullptr), 0);
  EXPECT_EQ(ListText(), "S_info");
}

TEST_F(UtilityRequestsTest, OnlyALiveHandleOfTheModuleTakesTheList) {
  EXPECT_EQ(CallHost4(kMsgWaveNameList, 0, 0, AsItem(";"), 0), quorsim::kErrBadParameter);
  Handle wave = host().MakeTestWave("held", 1, 4, {4});
  EXPECT_EQ(CallHost4(kMsgWaveNameList, AsItem(wave), 0, AsItem(";"), 0), quorsim::kErrBadParameter);
  EXPECT_EQ(AskForNames(kMsgWaveNameList, nullptr, nullptr), quorsim::kErrBadParameter);
  Handle gone = NewHandle(0);
  DisposeHandle(gone);
  EXPECT_EQ(CallHost4(kMsgWaveNameList, AsItem(gone), 0, AsItem(";"), 0), quorsim::kErrBadParameter);
}

TEST_F(UtilityRequestsTest, ALockedHandleTakesOnlyAListThatFits) {
  const int32_t state = SaveAndLockHandle(list_);
  EXPECT_EQ(AskForNames(kMsgWaveNameList, nullptr), quorsim::kErrNoMemory);
  EXPECT_EQ(GetHandleSize(list_), 0) << "left as it was";
  HSetState(list_, state);
  ASSERT_EQ(PutTextInHandle("a much longer text than the list", list_), 0);
  const int32_t again = SaveAndLockHandle(list_);
  EXPECT_EQ(AskForNames(kMsgWaveNameList, "image"), 0) << "it may shrink where it is";
  EXPECT_EQ(ListText(), "image");
  HSetState(list_, again);
}

TEST_F(UtilityRequestsTest, HistoryAndSearchRefuseNullTexts) {
  EXPECT_EQ(CallHost2(kMsgHistoryText, 0, 3), quorsim::kErrBadParameter);
  EXPECT_TRUE(quorsim::HistoryTexts(host()).empty());
  EXPECT_EQ(CallHost2(kMsgFindCharacter, 0, 'a'), 0);
  EXPECT_EQ(CallHost2(kMsgFindLastCharacter, 0, 'a'), 0);
  const char text[] = "abca";
  EXPECT_EQ(CallHost2(kMsgFindLastCharacter, AsItem(text), 'a'), AsItem(text + 3));
  EXPECT_EQ(CallHost2(kMsgFindCharacter, AsItem(text), 'a'), AsItem(text));
}

}  // namespace
}  // namespace utilitytest
