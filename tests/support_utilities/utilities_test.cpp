// The miscellaneous utilities against the simulated host and the USER32 model: the abort poll
// and the paced signal under the manual clock, host signals, text for the history and the
// clipboard, the module's strings and notices, placing a window on a reference window, the
// alert, ASCII case folding, the character search on both sides of host version 313, and the
// NaN and infinity bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "hostlink/host_exports.h"
#include "hostlink/host_version.h"
#include "hostlink/transport.h"
#include "support/utilities.h"
#include "utility_fixture.h"
#include "win32sim_control.h"

namespace utilitytest {
namespace {

// ---------------------------------------------------------------- PollUserAbort

class PollUserAbortTest : public UtilityTest {};

TEST_F(PollUserAbortTest, LooksAtMostOncePerSixTicks) {
  Win32SimSetKeyDown(VK_CANCEL, true);
  SetTicks(5);
  EXPECT_EQ(PollUserAbort(0), 0) << "the first poll waits until the tick count reaches 6";
  SetTicks(100);
  EXPECT_EQ(PollUserAbort(0), -1);
  EXPECT_EQ(lastAbortPollTick, 100u);
  SetTicks(105);
  EXPECT_EQ(PollUserAbort(0), 0) << "within 6 ticks, even with Ctrl+Break held";
  EXPECT_EQ(lastAbortPollTick, 100u);
  SetTicks(106);
  EXPECT_EQ(PollUserAbort(0), -1) << "6 ticks later it looks again";
  EXPECT_EQ(lastAbortPollTick, 106u);
  // Elapsed ticks count across the counter's wrap: 19 ticks after a look at 0xFFFFFFF0.
  lastAbortPollTick = 0xFFFFFFF0u;
  SetTicks(3);
  EXPECT_EQ(PollUserAbort(0), -1) << "19 ticks later, across the wrap, it looks again";
  EXPECT_EQ(lastAbortPollTick, 3u);
}

TEST_F(PollUserAbortTest, AThrottledPollLeavesTheKeyboardAlone) {
  SetTicks(200);
  EXPECT_EQ(PollUserAbort(0), 0);
  Win32SimTapKey(VK_CANCEL);  // pressed and released between two polls
  SetTicks(203);
  EXPECT_EQ(PollUserAbort(0), 0);
  SetTicks(206);
  EXPECT_EQ(PollUserAbort(0), -1) << "the press was still waiting to be read";
  SetTicks(212);
  EXPECT_EQ(PollUserAbort(0), 0) << "and it is read only once";
}

TEST_F(PollUserAbortTest, AltWithCtrlBreakIsNoAbort) {
  SetTicks(300);
  Win32SimSetKeyDown(VK_CANCEL, true);
  Win32SimSetKeyDown(VK_MENU, true);
  EXPECT_EQ(PollUserAbort(0), 0);
  Win32SimSetKeyDown(VK_MENU, false);
  SetTicks(306);
  EXPECT_EQ(PollUserAbort(0), -1);
  Win32SimTapKey(VK_MENU);
  SetTicks(312);
  EXPECT_EQ(PollUserAbort(0), -1) << "an Alt press between two looks goes unseen: the code for either Alt key "
                                     "reports whether one is down, never that one was pressed";
  Win32SimSetKeyDown(VK_CANCEL, false);
  SetTicks(318);
  EXPECT_EQ(PollUserAbort(0), 0) << "no key, no abort";
}

TEST_F(PollUserAbortTest, APassedDeadlineWinsOverTheKeyboard) {
  Win32SimSetKeyDown(VK_CANCEL, true);
  SetTicks(1000);
  EXPECT_EQ(PollUserAbort(999), 1);
  SetTicks(1006);
  EXPECT_EQ(PollUserAbort(1006), -1) << "a deadline equal to the tick has not passed";
  SetTicks(1012);
  EXPECT_EQ(PollUserAbort(0), -1) << "a deadline of 0 is none";
  Win32SimSetKeyDown(VK_CANCEL, false);
  SetTicks(1018);
  EXPECT_EQ(PollUserAbort(2000), 0);
  SetTicks(1024);
  EXPECT_EQ(PollUserAbort(1), 1);
  // The deadline is reached when tick - deadline, modulo 2^32, is above 0 as a signed number:
  // one just short of 2^31 ticks ahead has not passed, whatever the signs of the two values.
  SetTicks(1030);
  EXPECT_EQ(PollUserAbort(1030u + 0x7FFFFFF0u), 0);
  SetTicks(1036);
  EXPECT_EQ(PollUserAbort(0xFFFFFFF0u), 1) << "20 ticks before 0 is past, across the wrap";
}

// ---------------------------------------------------------------- signals

class SignalTest : public UtilityTest {};

TEST_F(SignalTest, PaceHostSignalSendsCodeFiveWhenMoreThanSixTicksPassed) {
  SetTicks(6);
  PaceHostSignal();
  EXPECT_TRUE(Messages().empty()) << "6 is not more than 0 + 6";
  SetTicks(7);
  PaceHostSignal();
  EXPECT_EQ(quorsim::HostSignals(host()), std::vector<int32_t>{kPacedSignalCode});
  ASSERT_EQ(Messages(), std::vector<int>{kMsgHostSignal});
  EXPECT_EQ(host().Exchanges()[0].items, std::vector<HostWord>{kPacedSignalCode});
  SetTicks(13);
  PaceHostSignal();
  EXPECT_EQ(Messages().size(), 1u);
  SetTicks(14);
  PaceHostSignal();
  EXPECT_EQ(quorsim::HostSignals(host()), (std::vector<int32_t>{kPacedSignalCode, kPacedSignalCode}));
  // Elapsed ticks count across the counter's wrap: 19 ticks after a signal at 0xFFFFFFF0.
  lastSignalTick = 0xFFFFFFF0u;
  SetTicks(3);
  PaceHostSignal();
  EXPECT_EQ(quorsim::HostSignals(host()).size(), 3u);
}

TEST_F(SignalTest, PaceHostSignalKeepsTheTickReadAfterTheHostAnswered) {
  // Every reading of the clock moves it by 50 ms, that is 3 ticks.
  Win32SimUseManualClock(1000, 50);  // first reading 1050 ms: tick 63
  PaceHostSignal();
  EXPECT_EQ(Messages(), std::vector<int>{kMsgHostSignal});
  EXPECT_EQ(lastSignalTick, 66u) << "the second reading, not the one that decided";
}

TEST_F(SignalTest, TheFourFixedSignalsSendTheirCodes) {
  EXPECT_EQ(SendHostSignalCode1(), 0);
  EXPECT_EQ(SendHostSignalCode3(), 0);
  EXPECT_EQ(SendHostSignalCode2(), 0);
  EXPECT_EQ(SendHostSignalCode4(), 0);
  EXPECT_EQ(quorsim::HostSignals(host()), (std::vector<int32_t>{1, 3, 2, 4}));
  EXPECT_EQ(Messages(), std::vector<int>(4, kMsgHostSignal));
}

// ---------------------------------------------------------------- text to the host

class PlaceTextTest : public UtilityTest {};

TEST_F(PlaceTextTest, HistoryTakesTheTextWithItsMode) {
  PlaceText("wave0 = 1", kPlaceTextHistory);
  PlaceText("plain line", kPlaceTextHistoryPlain);
  const std::vector<quorsim::HistoryText> history = quorsim::HistoryTexts(host());
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].text, "wave0 = 1");
  EXPECT_EQ(history[0].mode, 3);
  EXPECT_EQ(history[1].text, "plain line");
  EXPECT_EQ(history[1].mode, 1);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgHistoryText, kMsgHistoryText}));
}

TEST_F(PlaceTextTest, ClipboardTakesTheTextAsTextType) {
  PlaceText("copied text", kPlaceTextClipboard);
  EXPECT_EQ(quorsim::ClipboardText(), "copied text");
  EXPECT_EQ(quorsim::ClipboardType(), kScrapTypeText);
  EXPECT_TRUE(Messages().empty()) << "the clipboard is an export, not a message";
  PlaceText("", kPlaceTextClipboard);
  EXPECT_EQ(quorsim::ClipboardText(), "");
}

TEST_F(PlaceTextTest, OtherDestinationsDoNothing) {
  PlaceText("kept", kPlaceTextClipboard);
  for (int32_t destination : {0, 4, -1, 49}) PlaceText("lost", destination);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(quorsim::ClipboardText(), "kept");
  EXPECT_TRUE(quorsim::HistoryTexts(host()).empty());
}

// ---------------------------------------------------------------- strings and notices

class ModuleStringTest : public UtilityTest {};

constexpr int32_t kModuleStringList = 1101;

TEST_F(ModuleStringTest, LoadIndexedStringCopiesTheItemOrLeavesTheBufferEmpty) {
  char buffer[kIndexedStringBufferSize];
  std::strcpy(buffer, "junk");
  LoadIndexedString(buffer, kModuleStringList, 3);
  EXPECT_STREQ(buffer, "Ombrel");
  LoadIndexedString(buffer, kModuleStringList, 1);
  EXPECT_STREQ(buffer, "-1");
  for (int32_t index : {0, 4, -1}) {
    std::strcpy(buffer, "junk");
    LoadIndexedString(buffer, kModuleStringList, index);
    EXPECT_STREQ(buffer, "") << index;
  }
  std::strcpy(buffer, "junk");
  LoadIndexedString(buffer, 1100, 1);
  EXPECT_STREQ(buffer, "") << "no such list";
}

TEST_F(ModuleStringTest, PostResourceNoticeSendsTheLoadedString) {
  EXPECT_EQ(PostResourceNotice(kModuleStringList, 3), 0);
  EXPECT_EQ(PostResourceNotice(kModuleStringList, 9), 0);
  EXPECT_EQ(quorsim::Notices(host()), (std::vector<std::string>{"Ombrel", ""}));
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgPostNotice, kMsgPostNotice}));
}

TEST_F(ModuleStringTest, PostResourceNoticePassesTheHostsResultOn) {
  host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
    if (message != kMsgPostNotice) return false;
    *result = 77;
    return true;
  });
  EXPECT_EQ(PostResourceNotice(kModuleStringList, 2), 77);
}

// ---------------------------------------------------------------- PositionWindowOnReference

class PositionTest : public UtilityTest {
 protected:
  HWND Window(const RECT& rect) {
    HWND w = Win32SimCreateWindow("Panel", rect);
    EXPECT_NE(w, nullptr);
    return w;
  }
  static RECT Placed(HWND window) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    EXPECT_EQ(GetWindowPlacement(window, &wp), TRUE);
    return wp.rcNormalPosition;
  }
};

// A rectangle as "left top right bottom", so a mismatch shows all four values.
std::string Corners(const RECT& r) {
  return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
         std::to_string(r.bottom);
}
std::string Corners(int left, int top, int right, int bottom) { return Corners(RECT{left, top, right, bottom}); }

// The full-screen area the placement keeps windows in. The model's is set to a small one; a real
// display has the size it has, which the expectations are computed from.
struct ScreenArea {
  int width;
  int height;
};
ScreenArea FullScreenArea() {
#ifndef _WIN32
  Win32SimSetFullScreenSize(800, 600);
#endif
  return ScreenArea{GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN)};
}

TEST_F(PositionTest, CentresOnTheReferenceTwentyPixelsBelowItsTop) {
#ifndef _WIN32
  Win32SimSetFullScreenSize(1280, 977);
#endif
  ASSERT_GE(GetSystemMetrics(SM_CXFULLSCREEN), 650) << "the case needs a screen this wide";
  ASSERT_GE(GetSystemMetrics(SM_CYFULLSCREEN), 260);
  HWND window = Window(RECT{5, 5, 305, 205});  // 300 x 200
  HWND reference = Window(RECT{0, 40, 1000, 600});
  EXPECT_EQ(PositionWindowOnReference(window, reference), TRUE);
  EXPECT_EQ(Corners(Placed(window)), "350 60 650 260");
  RECT onScreen{};
  GetWindowRect(window, &onScreen);
  EXPECT_EQ(Corners(onScreen), "350 60 650 260");
}

TEST_F(PositionTest, DivisionsTruncateTowardZero) {
  HWND reference = Window(RECT{0, 0, 1001, 500});  // centre 500
  HWND odd = Window(RECT{0, 0, 301, 100});         // half width 150
  PositionWindowOnReference(odd, reference);
  EXPECT_EQ(Corners(Placed(odd)), "350 20 651 120");
#ifndef _WIN32
  // Only in the model can a window's normal rectangle have right < left (a real window is at
  // least 0 wide): its width is negative, and -301 / 2 is -150.
  HWND backwards = Window(RECT{301, 0, 0, 100});
  PositionWindowOnReference(backwards, reference);
  EXPECT_EQ(Corners(Placed(backwards)), "650 20 349 120");
#endif
}

TEST_F(PositionTest, StaysOnTheScreenAtTheLeftAndRight) {
  const int width = FullScreenArea().width;  // 800 in the model
  HWND window = Window(RECT{0, 0, 300, 100});
  PositionWindowOnReference(window, Window(RECT{0, 0, 100, 300}));  // centre 50 < 150
  EXPECT_EQ(Corners(Placed(window)), "0 20 300 120");
  PositionWindowOnReference(window, Window(RECT{width - 200, 0, width + 200, 300}));  // would end at width + 150
  EXPECT_EQ(Corners(Placed(window)), Corners(width - 300, 20, width, 120));
  HWND wide = Window(RECT{0, 0, width + 200, 100});
  PositionWindowOnReference(wide, Window(RECT{0, 0, 400, 300}));
  EXPECT_EQ(Corners(Placed(wide)), Corners(-200, 20, width, 120))
      << "wider than the screen: right edge on the screen's";
}

TEST_F(PositionTest, StaysOnTheScreenAtTheBottomButNeverMovesTheTopDownToZero) {
  const int height = FullScreenArea().height;  // 600 in the model
  HWND window = Window(RECT{0, 0, 200, 200});
  PositionWindowOnReference(window, Window(RECT{0, height - 100, 400, height + 300}));
  EXPECT_EQ(Corners(Placed(window)), Corners(100, height - 200, 300, height));
  HWND tall = Window(RECT{0, 0, 200, height + 300});
  PositionWindowOnReference(tall, Window(RECT{0, 0, 400, 300}));
  EXPECT_EQ(Corners(Placed(tall)), Corners(100, -300, 300, height));
}

TEST_F(PositionTest, WithoutAReferenceTheHostsClientWindowIsUsed) {
  HWND window = Window(RECT{0, 0, 200, 100});
  EXPECT_EQ(PositionWindowOnReference(window, nullptr), TRUE);
  // Client window 100..1100 wide, top 80.
  EXPECT_EQ(Corners(Placed(window)), "500 100 700 200");
}

TEST_F(PositionTest, KeepsTheShowStateAndReportsTheResultOfSetWindowPlacement) {
  HWND window = Window(RECT{0, 0, 200, 100});
  ShowWindow(window, SW_SHOWMAXIMIZED);
  EXPECT_EQ(PositionWindowOnReference(window, Window(RECT{0, 0, 400, 300})), TRUE);
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(window, &wp);
  EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
  EXPECT_EQ(Corners(wp.rcNormalPosition), "100 20 300 120");

  HWND gone = Window(RECT{0, 0, 10, 10});
  Win32SimDestroyWindow(gone);
  EXPECT_EQ(PositionWindowOnReference(gone, window), FALSE);
  HWND another = Window(RECT{0, 0, 100, 50});
  EXPECT_EQ(PositionWindowOnReference(another, gone), TRUE) << "an unreadable reference counts as empty";
  EXPECT_EQ(Corners(Placed(another)), "0 20 100 70");
}

#ifndef _WIN32
// Coordinates near the 32-bit limits exist only in the model: a real display keeps windows to
// a range far inside them.
TEST_F(PositionTest, HugeCoordinatesStayDefined) {
  Win32SimSetFullScreenSize(0x7FFFFFFF, 0x7FFFFFFF);
  HWND window = Window(RECT{-0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF});  // width wraps to -2
  HWND reference = Window(RECT{0x7FFFFFF0, 0x7FFFFFF0, 0x7FFFFFFF, 0x7FFFFFFF});
  EXPECT_EQ(PositionWindowOnReference(window, reference), TRUE);
  const RECT r = Placed(window);
  EXPECT_EQ(static_cast<uint32_t>(r.right) - static_cast<uint32_t>(r.left), 0xFFFFFFFEu);
  EXPECT_EQ(r.top, INT32_MIN + 4) << "0x7FFFFFF0 + 20 keeps its low 32 bits";
  EXPECT_EQ(r.left, 0x7FFFFFF8);
}
#endif

// ---------------------------------------------------------------- sound

TEST_F(UtilityTest, SoundAlertBeepsWithTheExclamationSound) {
  SoundAlert();
  EXPECT_EQ(Win32SimBeeps(), std::vector<UINT>{MB_ICONEXCLAMATION});
}

// ---------------------------------------------------------------- case folding

TEST(CaseFolding, UpperCaseTextChangesOnlyAsciiLetters) {
  char text[] = "abc XYZ `{@[ 09 z\x80\xE9\xFF";
  EXPECT_EQ(UpperCaseText(text), static_cast<int32_t>(sizeof text - 1));
  EXPECT_STREQ(text, "ABC XYZ `{@[ 09 Z\x80\xE9\xFF");
  char empty[] = "";
  EXPECT_EQ(UpperCaseText(empty), 0);
}

TEST(CaseFolding, CompareTextNoCaseFoldsLettersAndComparesBytesUnsigned) {
  EXPECT_EQ(CompareTextNoCase("root", "ROOT"), 0);
  EXPECT_EQ(CompareTextNoCase("abc", "ABD"), -1);
  EXPECT_EQ(CompareTextNoCase("ABD", "abc"), 1);
  EXPECT_EQ(CompareTextNoCase("ab", "abc"), -1);
  EXPECT_EQ(CompareTextNoCase("abc", "ab"), 1);
  EXPECT_EQ(CompareTextNoCase("", ""), 0);
  EXPECT_EQ(CompareTextNoCase("[", "a"), 1) << "'a' is compared as 'A', which is below '['";
  EXPECT_EQ(CompareTextNoCase("\xE9", "z"), 1) << "bytes above 127 are large, not negative";
  EXPECT_EQ(CompareTextNoCase("\xE9", "\xC9"), 1) << "only ASCII letters are folded";
}

// ---------------------------------------------------------------- character search

class CharacterSearchTest : public UtilityTest {};

TEST_F(CharacterSearchTest, FromVersion313TheHostSearches) {
  Start(313);
  ASSERT_EQ(hostVersion, 313);
  const char text[] = "root:folder:wave";
  EXPECT_EQ(FindCharacter(text, ':'), text + 4);
  EXPECT_EQ(FindLastCharacter(text, ':'), text + 11);
  EXPECT_EQ(FindCharacter(text, ';'), nullptr);
  EXPECT_EQ(FindLastCharacter(text, ';'), nullptr);
  EXPECT_EQ(FindCharacter(text, 0), text + 16) << "the terminator is found";
  EXPECT_EQ(FindCharacter(text, 0x100 + ':'), text + 4) << "the character is taken as char";
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgFindCharacter, kMsgFindLastCharacter, kMsgFindCharacter,
                                          kMsgFindLastCharacter, kMsgFindCharacter, kMsgFindCharacter}));
  EXPECT_EQ(host().Exchanges()[0].items, (std::vector<HostWord>{AsItem(text), ':'}));
}

TEST_F(CharacterSearchTest, BelowVersion313TheModuleSearchesItself) {
  for (int version : {312, 0}) {
    Start(version);
    ASSERT_EQ(hostVersion, version);
    const char text[] = "root:folder:wave";
    EXPECT_EQ(FindCharacter(text, ':'), text + 4);
    EXPECT_EQ(FindLastCharacter(text, ':'), text + 11);
    EXPECT_EQ(FindCharacter(text, ';'), nullptr);
    EXPECT_EQ(FindLastCharacter(text, 'x'), nullptr);
    EXPECT_EQ(FindLastCharacter(text, 0), text + 16);
    EXPECT_EQ(FindCharacter(text, 0x100 + ':'), text + 4);
    EXPECT_EQ(FindCharacter(nullptr, ':'), nullptr);
    EXPECT_TRUE(Messages().empty()) << version;
  }
}

TEST_F(CharacterSearchTest, TheHostsAnswerIsPassedOnUnchecked) {
  Start(313);
  const char text[] = "abc";
  host().SetScriptedAnswer([&](int message, std::span<const HostWord>, HostWord* result) {
    *result = AsItem(text + 1);
    return message == kMsgFindLastCharacter;
  });
  EXPECT_EQ(FindLastCharacter(text, 'z'), text + 1);
}

TEST_F(CharacterSearchTest, AStoppedSearchFindsNothing) {
  // The record cannot carry the two items: the host is not asked, and the transport's code 1
  // is no address in the text.
  Start(313);
  const char text[] = "root:folder:wave";
  for (bool last : {false, true}) {
    SetHandleSize(reinterpret_cast<Handle>(gIORecHandle), static_cast<int32_t>(kRecordHeaderSize));
    quorsim::MemFailSetHandleSize(2);
    EXPECT_EQ(last ? FindLastCharacter(text, ':') : FindCharacter(text, ':'), nullptr) << last;
    quorsim::MemResetFaults();
  }
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(FindCharacter(text, ':'), text + 4) << "the next search goes through";
}

// ---------------------------------------------------------------- NaN and infinity

float FloatOfBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double DoubleOfBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(NaNAndInfinity, SinglePrecisionBits) {
  struct Case {
    uint32_t bits;
    int32_t nan, inf;
  };
  for (const Case& c : {Case{0x7F800000u, 0, 1}, Case{0xFF800000u, 0, 1}, Case{0x7F800001u, 1, 0},
                        Case{0xFFC00000u, 1, 0}, Case{0xFFFFFFFFu, 1, 0}, Case{0x7F7FFFFFu, 0, 0},
                        Case{0x00000000u, 0, 0}, Case{0x80000001u, 0, 0}}) {
    const float value = FloatOfBits(c.bits);
    EXPECT_EQ(IsNaN32(&value), c.nan) << std::hex << c.bits;
    EXPECT_EQ(IsInf32(&value), c.inf) << std::hex << c.bits;
  }
}

TEST(NaNAndInfinity, DoublePrecisionLooksAtTheUpperHalfOnly) {
  struct Case {
    uint64_t bits;
    int32_t nan, inf;
  };
  for (const Case& c : {Case{0x7FF0000000000000u, 0, 1}, Case{0xFFF0000000000000u, 0, 1},
                        Case{0x7FF8000000000000u, 1, 0}, Case{0x7FF0000100000000u, 1, 0},
                        Case{0xFFFFFFFFFFFFFFFFu, 1, 0}, Case{0x7FEFFFFFFFFFFFFFu, 0, 0},
                        // A NaN whose mantissa bits are all in the lower half reads as infinity.
                        Case{0x7FF0000000000001u, 0, 1}, Case{0xFFF00000FFFFFFFFu, 0, 1}}) {
    const double value = DoubleOfBits(c.bits);
    EXPECT_EQ(IsNaN64(&value), c.nan) << std::hex << c.bits;
    EXPECT_EQ(IsInf64(&value), c.inf) << std::hex << c.bits;
  }
}

TEST(NaNAndInfinity, SetNaNStoresTheFixedPatterns) {
  float f = 1.0f;
  SetNaN32(&f);
  const unsigned char f_bytes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(&f, f_bytes, 4), 0);
  EXPECT_EQ(IsNaN32(&f), 1);
  EXPECT_TRUE(std::isnan(f));

  double d = 1.0;
  SetNaN64(&d);
  const unsigned char d_bytes[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_EQ(std::memcmp(&d, d_bytes, 8), 0);
  EXPECT_EQ(IsNaN64(&d), 1);
  EXPECT_TRUE(std::isnan(d));
}

}  // namespace
}  // namespace utilitytest
