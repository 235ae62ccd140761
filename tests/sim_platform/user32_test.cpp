// The USER32 model against what Win32 does: class names and styles, item text with its
// truncation and the notifications edits send, check boxes and radio buttons, combo boxes with
// their list, selection and dropped-down state under user control, focus, visibility,
// enabling, rectangles and placement, message boxes, beeps and key states.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "win32sim_control.h"  // with the Win32 declarations: the model's or <windows.h>

namespace {

// The items of the test dialog.
enum ItemId : int {
  kEdit = 10, kCheck = 20, kThreeState = 21, kPush = 22, kRadio = 32,
  kDropList = 40, kDropDown = 41, kSimple = 42, kSecondList = 43, kCustom = 50,
};

class User32Model : public ::testing::Test {
 protected:
  void SetUp() override {
    Win32SimResetUser32();
    Win32SimDialogLayout layout;
    layout.rect = RECT{200, 100, 600, 500};
    layout.clientOrigin = POINT{4, 30};
    layout.caption = "Settings";
    layout.items = {
        {"EDIT", kEdit, ES_AUTOHSCROLL, RECT{10, 10, 110, 30}, "start"},
        {"button", kCheck, BS_AUTOCHECKBOX, RECT{150, 10, 250, 30}, "Check"},
        {"BUTTON", kThreeState, BS_AUTO3STATE, RECT{150, 40, 250, 60}, "Three"},
        {"Button", kPush, BS_PUSHBUTTON | BS_NOTIFY, RECT{150, 70, 250, 90}, "Go"},
        {"Button", kRadio, BS_RADIOBUTTON, RECT{150, 160, 250, 180}, "Three"},
        {"combobox", kDropList, CBS_DROPDOWNLIST, RECT{10, 200, 110, 300}, ""},
        {"COMBOBOX", kDropDown, CBS_DROPDOWN, RECT{10, 310, 110, 400}, ""},
        {"ComboBox", kSimple, CBS_SIMPLE, RECT{120, 310, 220, 400}, ""},
        {"ComboBox", kSecondList, CBS_DROPDOWNLIST, RECT{230, 310, 330, 400}, ""},
        {"RadioButton", kCustom, 0, RECT{300, 10, 390, 30}, "custom"},
    };
    dialog_ = Win32SimCreateDialog(layout);
    ASSERT_NE(dialog_, nullptr);
    Win32SimClearNotifications();
  }
  void TearDown() override { Win32SimResetUser32(); }

  HWND Item(int id) { return GetDlgItem(dialog_, id); }
  LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog_, id, message, wParam, lParam);
  }
  LRESULT Add(int id, const char* text) { return Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }
  std::string Text(int id) {
    char buffer[256];
    GetDlgItemTextA(dialog_, id, buffer, sizeof buffer);
    return buffer;
  }
  std::string ItemText(int id, int index) {
    char buffer[256] = "";
    Send(id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  std::vector<UINT> Codes(int id) {
    std::vector<UINT> codes;
    for (const Win32SimNotification& n : Win32SimNotifications()) {
      if (n.id == id) codes.push_back(n.code);
    }
    return codes;
  }
  HWND dialog_ = nullptr;
};

// ---------------------------------------------------------------- classes and styles

TEST_F(User32Model, ClassNamesComeBackInTheCaseWin32RegistersThem) {
  char name[32];
  EXPECT_EQ(GetClassNameA(Item(kEdit), name, sizeof name), 4);
  EXPECT_STREQ(name, "Edit");
  EXPECT_EQ(GetClassNameA(Item(kCheck), name, sizeof name), 6);
  EXPECT_STREQ(name, "Button");
  EXPECT_EQ(GetClassNameA(Item(kDropList), name, sizeof name), 8);
  EXPECT_STREQ(name, "ComboBox");
  EXPECT_EQ(GetClassNameA(Item(kCustom), name, sizeof name), 11);
  EXPECT_STREQ(name, "RadioButton") << "a class of the application keeps its own spelling";
  EXPECT_EQ(GetClassNameA(dialog_, name, sizeof name), 6);
  EXPECT_STREQ(name, "#32770");
}

TEST_F(User32Model, ClassNameIsCutToTheBufferAndTheCountSaysHowMuchWasCopied) {
  char name[8];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(GetClassNameA(Item(kDropList), name, 5), 4);
  EXPECT_STREQ(name, "Comb");
  EXPECT_EQ(name[5], 'x');
  EXPECT_EQ(GetClassNameA(Item(kDropList), name, 1), 0);
  EXPECT_STREQ(name, "");
  std::strcpy(name, "keep");
  EXPECT_EQ(GetClassNameA(Item(kDropList), name, 0), 0);
  EXPECT_STREQ(name, "keep");
  EXPECT_EQ(GetClassNameA(nullptr, name, 8), 0);
  EXPECT_EQ(GetClassNameA(reinterpret_cast<HWND>(uintptr_t{0x7777}), name, 8), 0);
}

TEST_F(User32Model, StylesCarryTheChildVisibleAndKindBits) {
  const auto style = static_cast<DWORD>(GetWindowLongA(Item(kDropDown), GWL_STYLE));
  EXPECT_EQ(style & 3u, static_cast<DWORD>(CBS_DROPDOWN));
  EXPECT_TRUE(style & WS_CHILD);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_EQ(GetWindowLongA(Item(kSimple), GWL_STYLE) & 3, CBS_SIMPLE);
  EXPECT_EQ(GetWindowLongA(Item(kDropDown), 1234), 0);
  EXPECT_EQ(GetWindowLongA(nullptr, GWL_STYLE), 0);
  EnableWindow(Item(kDropDown), FALSE);
  EXPECT_TRUE(static_cast<DWORD>(GetWindowLongA(Item(kDropDown), GWL_STYLE)) & WS_DISABLED);
}

TEST_F(User32Model, MissingItemsAnswerNothing) {
  EXPECT_EQ(GetDlgItem(dialog_, 999), nullptr);
  EXPECT_EQ(GetDlgItem(nullptr, kEdit), nullptr);
  EXPECT_EQ(SendDlgItemMessageA(dialog_, 999, BM_GETCHECK, 0, 0), 0);
  EXPECT_EQ(SendMessageA(nullptr, CB_GETCOUNT, 0, 0), 0);
  char buffer[16] = "junk";
  EXPECT_EQ(GetDlgItemTextA(dialog_, 999, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "") << "the buffer is emptied";
  EXPECT_EQ(SetDlgItemTextA(dialog_, 999, "x"), FALSE);
}

// ---------------------------------------------------------------- edit items

TEST_F(User32Model, SetDlgItemTextOfAnEditSendsUpdateAndChangeToTheDialogWhileItRuns) {
  std::vector<std::string> seen;
  Win32SimSetNotificationSink(dialog_, [&](HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    EXPECT_EQ(parent, dialog_);
    EXPECT_EQ(message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(reinterpret_cast<HWND>(lParam), Item(LOWORD(wParam)));
    seen.push_back(std::to_string(LOWORD(wParam)) + ":" + std::to_string(HIWORD(wParam)) + ":" + Text(kEdit));
  });
  EXPECT_EQ(SetDlgItemTextA(dialog_, kEdit, "12.5"), TRUE);
  EXPECT_EQ(seen, (std::vector<std::string>{"10:1024:12.5", "10:768:12.5"}));  // EN_UPDATE, EN_CHANGE
  EXPECT_EQ(Codes(kEdit), (std::vector<UINT>{EN_UPDATE, EN_CHANGE}));

  Win32SimClearNotifications();
  EXPECT_EQ(SetDlgItemTextA(dialog_, kEdit, "12.5"), TRUE);
  EXPECT_EQ(Codes(kEdit), (std::vector<UINT>{EN_UPDATE, EN_CHANGE})) << "also when the text stays the same";

  EXPECT_EQ(SetDlgItemTextA(dialog_, kEdit, nullptr), TRUE);
  EXPECT_EQ(Text(kEdit), "");
}

TEST_F(User32Model, GetDlgItemTextCutsToTheBufferAndReturnsTheCopiedLength) {
  SetDlgItemTextA(dialog_, kEdit, "abcdef");
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetDlgItemTextA(dialog_, kEdit, buffer, 4), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'x');
  EXPECT_EQ(GetDlgItemTextA(dialog_, kEdit, buffer, 7), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  std::strcpy(buffer, "keep");
  EXPECT_EQ(GetDlgItemTextA(dialog_, kEdit, buffer, 0), 0u);
  EXPECT_STREQ(buffer, "keep");
}

TEST_F(User32Model, TypingReplacesTheSelectionAndReportsEveryKey) {
  SetDlgItemTextA(dialog_, kEdit, "abc");
  Win32SimClearNotifications();
  ASSERT_TRUE(Win32SimTypeText(dialog_, kEdit, "x"));
  EXPECT_EQ(Text(kEdit), "xabc") << "after WM_SETTEXT the caret is at the start";
  EXPECT_EQ(GetFocus(), Item(kEdit));
  EXPECT_EQ(Codes(kEdit), (std::vector<UINT>{EN_SETFOCUS, EN_UPDATE, EN_CHANGE}));

  Send(kEdit, EM_SETSEL, 0, 4);
  Win32SimClearNotifications();
  ASSERT_TRUE(Win32SimTypeText(dialog_, kEdit, "12"));
  EXPECT_EQ(Text(kEdit), "12");
  EXPECT_EQ(Codes(kEdit), (std::vector<UINT>{EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}));
  ASSERT_TRUE(Win32SimTypeText(dialog_, kEdit, "\b\b\b"));
  EXPECT_EQ(Text(kEdit), "");
  EXPECT_EQ(Codes(kEdit).size(), 8u) << "a backspace at the start changes nothing and reports nothing";

  EXPECT_FALSE(Win32SimTypeText(dialog_, kCheck, "x"));
  EnableWindow(Item(kEdit), FALSE);
  EXPECT_FALSE(Win32SimTypeText(dialog_, kEdit, "x"));
}

TEST_F(User32Model, EditSelectionFollowsTheWin32Rules) {
  SetDlgItemTextA(dialog_, kEdit, "abcdef");
  DWORD start = 99, end = 99;
  Send(kEdit, EM_SETSEL, 1, 3);
  EXPECT_EQ(Send(kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end)), MAKELONG(1, 3));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 3u);
  Send(kEdit, EM_SETSEL, 4, 2);  // backwards: reported in order
  Send(kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 2u);
  EXPECT_EQ(end, 4u);
  Send(kEdit, EM_SETSEL, 0, static_cast<LPARAM>(-1));  // to the end
  Send(kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 6u);
  Send(kEdit, EM_SETSEL, static_cast<WPARAM>(-1), 0);  // deselect, caret stays at the end
  Send(kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 6u);
  EXPECT_EQ(end, 6u);
  Send(kEdit, EM_SETSEL, 2, 100);
  Send(kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end, 6u) << "positions past the end mean the end";
}

// ---------------------------------------------------------------- buttons

TEST_F(User32Model, CheckStatesAreLimitedByTheButtonKind) {
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_UNCHECKED);
  EXPECT_EQ(Send(kCheck, BM_SETCHECK, BST_CHECKED), 0);
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_CHECKED);
  Send(kCheck, BM_SETCHECK, 7);
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_CHECKED) << "a two-state box goes no higher than checked";
  Send(kThreeState, BM_SETCHECK, BST_INDETERMINATE);
  EXPECT_EQ(Send(kThreeState, BM_GETCHECK), BST_INDETERMINATE);
  Send(kPush, BM_SETCHECK, BST_CHECKED);
  EXPECT_EQ(Send(kPush, BM_GETCHECK), BST_UNCHECKED) << "a push button keeps no check";
  Send(kEdit, BM_SETCHECK, BST_CHECKED);
  EXPECT_EQ(Send(kEdit, BM_GETCHECK), 0);
  EXPECT_TRUE(Win32SimNotifications().empty()) << "BM_SETCHECK reports nothing";
}

TEST_F(User32Model, ClicksToggleAutomaticButtonsAndReportClicked) {
  ASSERT_TRUE(Win32SimClickButton(dialog_, kCheck));
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_CHECKED);
  ASSERT_TRUE(Win32SimClickButton(dialog_, kCheck));
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_UNCHECKED);
  EXPECT_EQ(Codes(kCheck), (std::vector<UINT>{BN_CLICKED, BN_CLICKED}));

  for (UINT expected : {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}) {
    Win32SimClickButton(dialog_, kThreeState);
    EXPECT_EQ(Send(kThreeState, BM_GETCHECK), static_cast<LRESULT>(expected));
  }

  ASSERT_TRUE(Win32SimClickButton(dialog_, kPush));
  EXPECT_EQ(Codes(kPush), (std::vector<UINT>{BN_SETFOCUS, BN_CLICKED})) << "BS_NOTIFY adds the focus codes";

  EnableWindow(Item(kCheck), FALSE);
  EXPECT_FALSE(Win32SimClickButton(dialog_, kCheck)) << "the user cannot click a disabled button";
  Win32SimClearNotifications();
  const HWND focus = GetFocus();
  Send(kCheck, BM_CLICK);
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_CHECKED) << "BM_CLICK clicks it all the same";
  EXPECT_EQ(Codes(kCheck), (std::vector<UINT>{BN_CLICKED}));
  EXPECT_EQ(GetFocus(), focus) << "but it takes no focus";

  ASSERT_TRUE(Win32SimClickButton(dialog_, kRadio));
  EXPECT_EQ(Send(kRadio, BM_GETCHECK), BST_UNCHECKED) << "a plain radio button's check is the program's";
  EXPECT_EQ(Codes(kRadio), (std::vector<UINT>{BN_CLICKED}));
}

// ---------------------------------------------------------------- combo boxes

TEST_F(User32Model, ComboListKeepsItsOrderAndTheSelectionFollowsItsItem) {
  EXPECT_EQ(Add(kDropList, "red"), 0);
  EXPECT_EQ(Add(kDropList, "blue"), 1);
  EXPECT_EQ(Send(kDropList, CB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("green")), 1);
  EXPECT_EQ(Send(kDropList, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("last")), 3);
  EXPECT_EQ(Send(kDropList, CB_INSERTSTRING, 9, reinterpret_cast<LPARAM>("far")), CB_ERR);
  EXPECT_EQ(Send(kDropList, CB_GETCOUNT), 4);
  EXPECT_EQ(ItemText(kDropList, 1), "green");
  EXPECT_EQ(Send(kDropList, CB_GETLBTEXTLEN, 1), 5);
  EXPECT_EQ(Send(kDropList, CB_GETLBTEXTLEN, 4), CB_ERR);
  EXPECT_EQ(Send(kDropList, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(nullptr)), CB_ERR);

  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), CB_ERR);
  EXPECT_EQ(Send(kDropList, CB_SETCURSEL, 2), 2);
  EXPECT_EQ(Text(kDropList), "blue") << "a drop-down list's text is its selected item";
  Send(kDropList, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("first"));
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 3);
  EXPECT_EQ(Send(kDropList, CB_DELETESTRING, 0), 4);
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 2);
  EXPECT_EQ(Send(kDropList, CB_DELETESTRING, 2), 3);
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), CB_ERR) << "deleting the selected item clears the selection";
  EXPECT_EQ(Send(kDropList, CB_DELETESTRING, 3), CB_ERR);

  EXPECT_EQ(Send(kDropList, CB_SETCURSEL, 1), 1);
  EXPECT_EQ(Send(kDropList, CB_SETCURSEL, 7), CB_ERR);
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 1) << "an index past the end leaves the selection";
  EXPECT_EQ(Send(kDropList, CB_SETCURSEL, static_cast<WPARAM>(-5)), CB_ERR);
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 1) << "and so does one below -1";
  EXPECT_EQ(Send(kDropList, CB_SETCURSEL, static_cast<WPARAM>(-1)), CB_ERR);
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), CB_ERR) << "-1 clears it";
  EXPECT_TRUE(Win32SimNotifications().empty()) << "CB_SETCURSEL reports nothing";
  EXPECT_EQ(SetDlgItemTextA(dialog_, kDropList, "x"), CB_ERR)
      << "a drop-down list has no edit field: its answer to WM_SETTEXT comes back";
  EXPECT_EQ(Text(kDropList), "");
}

TEST_F(User32Model, FindStringExactIgnoresCaseAndWrapsAroundFromAfterTheStart) {
  for (const char* item : {"alpha", "Beta", "gamma", "beta"}) Add(kDropList, item);
  auto find = [&](int start, const char* text) {
    return Send(kDropList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text));
  };
  EXPECT_EQ(find(-1, "BETA"), 1);
  EXPECT_EQ(find(1, "beta"), 3) << "the search begins after the start index";
  EXPECT_EQ(find(3, "beta"), 1) << "and wraps to the top";
  EXPECT_EQ(find(0, "alpha"), 0) << "the start index itself comes last";
  EXPECT_EQ(find(-1, "bet"), CB_ERR) << "a prefix is not a match";
  EXPECT_EQ(find(17, "gamma"), 2) << "a start past the end searches the whole list";
  Send(kDropList, CB_RESETCONTENT);
  EXPECT_EQ(find(-1, "alpha"), CB_ERR);
}

TEST_F(User32Model, ArrowKeysChangeTheSelectionOpenOrClosedAndReportEveryKey) {
  for (const char* item : {"a", "b", "c"}) Add(kDropList, item);
  std::vector<LRESULT> droppedAtSelChange;
  Win32SimSetNotificationSink(dialog_, [&](HWND, UINT, WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) == CBN_SELCHANGE) droppedAtSelChange.push_back(Send(LOWORD(wParam), CB_GETDROPPEDSTATE));
  });
  ASSERT_TRUE(Win32SimComboArrowKeys(dialog_, kDropList, 2));
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 1) << "from no selection the first key selects the first item";
  ASSERT_TRUE(Win32SimComboDropDown(dialog_, kDropList));
  ASSERT_TRUE(Win32SimComboArrowKeys(dialog_, kDropList, 5));
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 2);
  EXPECT_EQ(Send(kDropList, CB_GETDROPPEDSTATE), TRUE);
  ASSERT_TRUE(Win32SimComboCloseUp(dialog_, kDropList, true));
  EXPECT_FALSE(Win32SimComboCloseUp(dialog_, kDropList, true)) << "closed already";
  EXPECT_EQ(droppedAtSelChange, (std::vector<LRESULT>{FALSE, FALSE, TRUE, TRUE, TRUE, TRUE, TRUE}))
      << "every key reports, also where the selection stays at the end of the list";
  EXPECT_EQ(Codes(kDropList),
            (std::vector<UINT>{CBN_SETFOCUS, CBN_SELENDOK, CBN_SELCHANGE, CBN_SELENDOK, CBN_SELCHANGE, CBN_DROPDOWN,
                               CBN_SELCHANGE, CBN_SELCHANGE, CBN_SELCHANGE, CBN_SELCHANGE, CBN_SELCHANGE, CBN_SELENDOK,
                               CBN_CLOSEUP}))
      << "a key while the list is closed ends the selection before it reports the change";
  ASSERT_TRUE(Win32SimComboArrowKeys(dialog_, kDropList, -1));
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 1);

  Send(kDropList, CB_SETCURSEL, static_cast<WPARAM>(-1));
  Win32SimClearNotifications();
  ASSERT_TRUE(Win32SimComboArrowKeys(dialog_, kDropList, 1));
  EXPECT_EQ(Send(kDropList, CB_GETCURSEL), 1) << "with nothing selected a key selects the list's focus item";
  EXPECT_EQ(Codes(kDropList), (std::vector<UINT>{CBN_SELENDOK, CBN_SELCHANGE}));

  Win32SimClearNotifications();
  ASSERT_TRUE(Win32SimComboArrowKeys(dialog_, kSecondList, 2));
  EXPECT_EQ(Send(kSecondList, CB_GETCURSEL), CB_ERR);
  EXPECT_EQ(Codes(kSecondList), (std::vector<UINT>{CBN_SETFOCUS})) << "an empty list reports no key";
  EXPECT_EQ(Codes(kDropList), (std::vector<UINT>{CBN_SELENDCANCEL, CBN_KILLFOCUS}));
}

TEST_F(User32Model, ClickInTheOpenListClosesItBeforeTheSelectionChangeIsReported) {
  for (const char* item : {"alpha", "beta"}) Add(kDropDown, item);
  Send(kDropDown, CB_SETCURSEL, 0);
  std::vector<std::string> atSelChange;
  Win32SimSetNotificationSink(dialog_, [&](HWND, UINT, WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) == CBN_SELCHANGE)
      atSelChange.push_back(std::to_string(Send(kDropDown, CB_GETDROPPEDSTATE)) + ":" +
                            std::to_string(Send(kDropDown, CB_GETCURSEL)) + ":" + Text(kDropDown));
  });
  EXPECT_FALSE(Win32SimComboClickItem(dialog_, kDropDown, 1)) << "the list is not open";
  ASSERT_TRUE(Win32SimComboDropDown(dialog_, kDropDown));
  EXPECT_FALSE(Win32SimComboDropDown(dialog_, kDropDown));
  Win32SimClearNotifications();
  ASSERT_TRUE(Win32SimComboClickItem(dialog_, kDropDown, 1));
  EXPECT_EQ(Codes(kDropDown), (std::vector<UINT>{CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
  EXPECT_EQ(atSelChange, (std::vector<std::string>{"0:1:alpha"})) << "the edit field shows the item only afterwards";
  EXPECT_EQ(Text(kDropDown), "beta");
  EXPECT_FALSE(Win32SimComboClickItem(dialog_, kDropDown, 2));

  Add(kSimple, "only");
  ASSERT_TRUE(Win32SimComboClickItem(dialog_, kSimple, 0));
  EXPECT_EQ(Codes(kSimple).back(), static_cast<UINT>(CBN_SELCHANGE));
  EXPECT_FALSE(Win32SimComboDropDown(dialog_, kSimple));
}

TEST_F(User32Model, EditComboBoxesKeepTheirOwnText) {
  Add(kDropDown, "item");
  EXPECT_EQ(SetDlgItemTextA(dialog_, kDropDown, "typed"), TRUE);
  EXPECT_EQ(Text(kDropDown), "typed");
  EXPECT_TRUE(Win32SimNotifications().empty()) << "the combo box's edit field reports no WM_SETTEXT";
  Send(kDropDown, CB_SETCURSEL, 0);
  EXPECT_EQ(Text(kDropDown), "item");
  Send(kDropDown, CB_SETCURSEL, static_cast<WPARAM>(-1));
  EXPECT_EQ(Text(kDropDown), "") << "clearing the selection clears the edit field";
  ASSERT_TRUE(Win32SimTypeText(dialog_, kDropDown, "ab"));
  EXPECT_EQ(Text(kDropDown), "ab");
  EXPECT_EQ(Codes(kDropDown), (std::vector<UINT>{CBN_SETFOCUS, CBN_EDITUPDATE, CBN_EDITCHANGE, CBN_EDITUPDATE,
                                                 CBN_EDITCHANGE}));
  EXPECT_FALSE(Win32SimTypeText(dialog_, kDropList, "a")) << "a drop-down list has no edit field";
}

// ---------------------------------------------------------------- visibility, enabling, focus

TEST_F(User32Model, VisibilityNeedsTheWholeParentChain) {
  EXPECT_EQ(ShowWindow(Item(kEdit), SW_HIDE), TRUE) << "it was visible";
  EXPECT_EQ(IsWindowVisible(Item(kEdit)), FALSE);
  EXPECT_EQ(ShowWindow(Item(kEdit), SW_HIDE), FALSE);
  EXPECT_EQ(ShowWindow(Item(kEdit), SW_SHOW), FALSE);
  EXPECT_EQ(IsWindowVisible(Item(kEdit)), TRUE);
  ShowWindow(dialog_, SW_HIDE);
  EXPECT_EQ(IsWindowVisible(Item(kEdit)), FALSE) << "a hidden dialog hides its items";
  EXPECT_TRUE(static_cast<DWORD>(GetWindowLongA(Item(kEdit), GWL_STYLE)) & WS_VISIBLE);
  EXPECT_EQ(ShowWindow(dialog_, 99), FALSE) << "an unknown command answers the visibility as it was";
  EXPECT_EQ(IsWindowVisible(dialog_), FALSE) << "and changes nothing";
  EXPECT_EQ(ShowWindow(Item(kEdit), 99), TRUE);
  EXPECT_TRUE(static_cast<DWORD>(GetWindowLongA(Item(kEdit), GWL_STYLE)) & WS_VISIBLE);
  EXPECT_EQ(ShowWindow(nullptr, SW_SHOW), FALSE);
}

TEST_F(User32Model, EnablingReturnsThePreviousDisabledStateAndFocusLeavesDisabledWindows) {
  EXPECT_EQ(SetFocus(Item(kEdit)), nullptr);
  EXPECT_EQ(GetFocus(), Item(kEdit));
  EXPECT_EQ(EnableWindow(Item(kEdit), FALSE), FALSE) << "it was enabled";
  EXPECT_EQ(IsWindowEnabled(Item(kEdit)), FALSE);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(SetFocus(Item(kEdit)), nullptr) << "a disabled window takes no focus";
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(EnableWindow(Item(kEdit), TRUE), TRUE) << "it was disabled";
  EXPECT_EQ(IsWindowEnabled(Item(kEdit)), TRUE);

  EnableWindow(dialog_, FALSE);
  EXPECT_EQ(IsWindowEnabled(Item(kEdit)), TRUE) << "only the window's own flag";
  EXPECT_EQ(SetFocus(Item(kEdit)), nullptr) << "but a disabled dialog's items take no focus";
  EnableWindow(dialog_, TRUE);

  ASSERT_EQ(SetFocus(Item(kEdit)), nullptr);
  EXPECT_EQ(SetFocus(Item(kDropList)), Item(kEdit));
  ShowWindow(Item(kDropList), SW_HIDE);
  EXPECT_EQ(GetFocus(), Item(kEdit))
      << "hiding the focus item passes the focus to its dialog, which hands it on to its first item";
  EXPECT_EQ(Codes(kEdit), (std::vector<UINT>{EN_SETFOCUS, EN_KILLFOCUS, EN_SETFOCUS, EN_KILLFOCUS, EN_SETFOCUS}))
      << "focus taken when disabled, given back, moved to the combo box and handed back by the dialog";
  EXPECT_EQ(Codes(kDropList), (std::vector<UINT>{CBN_SETFOCUS, CBN_SELENDCANCEL, CBN_KILLFOCUS}))
      << "a combo box that loses the focus ends its selection";
  DWORD start = 99, end = 99;
  Send(kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 5u) << "the dialog selects the text of the edit it gives the focus to";
  EXPECT_EQ(EnableWindow(nullptr, TRUE), FALSE);
}

TEST_F(User32Model, ADialogHandsTheFocusOnToItsFirstTabStopElseItsFirstItem) {
  Win32SimDialogLayout layout;
  layout.items = {
      {"Button", 1, BS_PUSHBUTTON, RECT{0, 0, 50, 20}, "A"},
      {"Button", 2, BS_PUSHBUTTON | WS_TABSTOP, RECT{0, 30, 50, 50}, "B"},
      {"Button", 3, BS_PUSHBUTTON, RECT{0, 60, 50, 80}, "C"},
      {"Button", 4, BS_PUSHBUTTON | WS_TABSTOP, RECT{0, 90, 50, 110}, "D"},
  };
  const HWND dialog = Win32SimCreateDialog(layout);
  ASSERT_NE(dialog, nullptr);
  SetFocus(GetDlgItem(dialog, 3));
  ShowWindow(GetDlgItem(dialog, 3), SW_HIDE);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 2)) << "the first visible, enabled tab stop";
  ShowWindow(GetDlgItem(dialog, 2), SW_HIDE);
  SetFocus(dialog);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 4)) << "the next one when the first is hidden";
  EnableWindow(GetDlgItem(dialog, 4), FALSE);
  SetFocus(dialog);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 1)) << "no tab stop left: the first visible, enabled item";
  ShowWindow(GetDlgItem(dialog, 1), SW_HIDE);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 1)) << "none left at all: the first item, hidden as it is";

  const Win32SimDialogLayout empty;
  const HWND bare = Win32SimCreateDialog(empty);
  ASSERT_NE(bare, nullptr);
  SetFocus(bare);
  EXPECT_EQ(GetFocus(), bare) << "a dialog without items keeps the focus";
}

// ---------------------------------------------------------------- rectangles and placement

TEST_F(User32Model, ItemRectanglesAreOnTheScreenAndComeBackThroughScreenToClient) {
  RECT r{};
  ASSERT_EQ(GetWindowRect(Item(kEdit), &r), TRUE);
  EXPECT_EQ(r.left, 200 + 4 + 10);
  EXPECT_EQ(r.top, 100 + 30 + 10);
  EXPECT_EQ(r.right, 200 + 4 + 110);
  EXPECT_EQ(r.bottom, 100 + 30 + 30);
  POINT corner{r.left, r.top};
  ASSERT_EQ(ScreenToClient(dialog_, &corner), TRUE);
  EXPECT_EQ(corner.x, 10);
  EXPECT_EQ(corner.y, 10);
  ASSERT_EQ(GetWindowRect(dialog_, &r), TRUE);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.bottom, 500);
  RECT untouched{1, 2, 3, 4};
  EXPECT_EQ(GetWindowRect(GetDlgItem(dialog_, 999), &untouched), FALSE);
  EXPECT_EQ(untouched.right, 3);
  EXPECT_EQ(SetRectEmpty(&untouched), TRUE);
  EXPECT_EQ(untouched.left | untouched.top | untouched.right | untouched.bottom, 0);
  EXPECT_EQ(SetRectEmpty(nullptr), FALSE);
}

TEST_F(User32Model, SettingThePlacementNeedsItsLengthAndShowsTheWindowAgain) {
  static_assert(sizeof(WINDOWPLACEMENT) == 44);
  WINDOWPLACEMENT wp{};
  ASSERT_EQ(GetWindowPlacement(dialog_, &wp), TRUE) << "reading it looks at no length";
  EXPECT_EQ(wp.length, sizeof wp) << "and sets it";
  wp.length = 40;
  ASSERT_EQ(GetWindowPlacement(dialog_, &wp), TRUE);
  EXPECT_EQ(wp.length, sizeof wp);
  EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(wp.ptMinPosition.x, -1);
  EXPECT_EQ(wp.rcNormalPosition.left, 200);
  EXPECT_EQ(wp.rcNormalPosition.bottom, 500);

  ShowWindow(dialog_, SW_HIDE);
  ASSERT_EQ(GetWindowPlacement(dialog_, &wp), TRUE);
  EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWNORMAL)) << "a hidden normal window reads as SW_SHOWNORMAL";
  wp.rcNormalPosition = RECT{10, 20, 410, 420};
  ASSERT_EQ(SetWindowPlacement(dialog_, &wp), TRUE);
  EXPECT_EQ(IsWindowVisible(dialog_), TRUE);
  RECT r{};
  GetWindowRect(Item(kEdit), &r);
  EXPECT_EQ(r.left, 10 + 4 + 10) << "the items move with their dialog";

  wp.length = 0;
  EXPECT_EQ(SetWindowPlacement(dialog_, &wp), FALSE);
  wp.length = 40;
  EXPECT_EQ(SetWindowPlacement(dialog_, &wp), FALSE);
  wp.length = 1000;
  EXPECT_EQ(SetWindowPlacement(dialog_, &wp), FALSE) << "only the length of the record itself";
  wp.length = sizeof wp;
  ShowWindow(dialog_, SW_SHOWMAXIMIZED);
  ASSERT_EQ(GetWindowPlacement(dialog_, &wp), TRUE);
  EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
  ASSERT_EQ(GetWindowPlacement(Item(kEdit), &wp), TRUE);
  EXPECT_EQ(wp.rcNormalPosition.left, 10) << "an item's placement is in its dialog's client coordinates";
}

// ---------------------------------------------------------------- boxes, beeps, keys, windows

TEST_F(User32Model, MessageBoxesTakeTheQueuedAnswerOrTheDefaultButton) {
  Win32SimQueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBoxA(dialog_, "Save?", "Quor", MB_YESNOCANCEL), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Save?", nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO) << "Enter on the default";
  EXPECT_EQ(MessageBoxA(dialog_, "Done", "Quor", MB_OK), IDOK);
  Win32SimQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(MessageBoxA(dialog_, "No cancel here", "Quor", MB_YESNO), 0) << "not a button of the box";
  EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(uintptr_t{0x7777}), "x", "y", MB_OK), -1)
      << "no such owner: the dialog box cannot be made";
  EXPECT_EQ(MessageBoxA(dialog_, "No third", "Quor", MB_YESNO | MB_DEFBUTTON3), IDOK)
      << "no such default button: Enter answers the dialog's own default, IDOK";
  EXPECT_EQ(MessageBoxA(Item(kEdit), "From an item", "Quor", MB_OK), IDOK);
  const std::vector<Win32SimMessageBox> boxes = Win32SimMessageBoxes();
  ASSERT_EQ(boxes.size(), 6u);
  EXPECT_EQ(boxes[0].owner, dialog_);
  EXPECT_EQ(boxes[0].text, "Save?");
  EXPECT_EQ(boxes[0].caption, "Quor");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNOCANCEL));
  EXPECT_EQ(boxes[1].owner, nullptr);
  EXPECT_EQ(boxes[1].caption, "Error") << "a box without caption is titled Error";
  EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2));
  EXPECT_EQ(boxes[3].text, "No cancel here");
  EXPECT_EQ(boxes[3].answer, 0);
  EXPECT_EQ(boxes[4].answer, IDOK);
  EXPECT_EQ(boxes[5].owner, dialog_) << "a box is owned by the top-level window of the one it is given";
}

TEST_F(User32Model, KeyStateReportsDownAndPressedSinceTheLastQuery) {
  EXPECT_EQ(GetAsyncKeyState(VK_CANCEL), 0);
  Win32SimSetKeyDown(VK_CANCEL, true);
  EXPECT_EQ(static_cast<uint16_t>(GetAsyncKeyState(VK_CANCEL)), 0x8001u);
  EXPECT_EQ(static_cast<uint16_t>(GetAsyncKeyState(VK_CANCEL)), 0x8000u) << "the pressed bit is read once";
  Win32SimSetKeyDown(VK_CANCEL, true);
  EXPECT_EQ(static_cast<uint16_t>(GetAsyncKeyState(VK_CANCEL)), 0x8000u) << "held, not pressed again";
  Win32SimSetKeyDown(VK_CANCEL, false);
  EXPECT_EQ(GetAsyncKeyState(VK_CANCEL), 0);
  Win32SimTapKey(VK_MENU);
  EXPECT_EQ(GetAsyncKeyState(VK_MENU), 0) << "the code for either Alt key never reports a press";
  EXPECT_EQ(GetAsyncKeyState(VK_LMENU), 1) << "the Alt key that was pressed does";
  EXPECT_EQ(GetAsyncKeyState(VK_LMENU), 0);
  Win32SimSetKeyDown(VK_MENU, true);
  EXPECT_EQ(static_cast<uint16_t>(GetAsyncKeyState(VK_MENU)), 0x8000u) << "but it is down while either is";
  Win32SimResetKeys();
  EXPECT_EQ(GetAsyncKeyState(VK_MENU), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_LMENU), 0);
  EXPECT_EQ(GetAsyncKeyState(-1), 0);
  EXPECT_EQ(GetAsyncKeyState(256), 0);
}

TEST_F(User32Model, DestroyedWindowsAndTheirItemsStopBeingWindows) {
  const HWND edit = Item(kEdit);
  SetFocus(edit);
  Win32SimDestroyWindow(dialog_);
  EXPECT_FALSE(Win32SimIsWindow(dialog_));
  EXPECT_FALSE(Win32SimIsWindow(edit));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")), 0);

  const HWND window = Win32SimCreateWindow("Plain", RECT{5, 5, 50, 50});
  ASSERT_NE(window, nullptr);
#ifndef _WIN32
  // Only the model can make a handle that something else hands out into a window; on Windows
  // such a handle is a real window from the start.
  char token = 0;
  const HWND adopted = reinterpret_cast<HWND>(&token);
  ASSERT_TRUE(Win32SimAdoptWindow(adopted, "QuorClient", RECT{0, 0, 1000, 700}));
  EXPECT_FALSE(Win32SimAdoptWindow(adopted, "QuorClient", RECT{0, 0, 1, 1}));
  RECT r{};
  ASSERT_EQ(GetWindowRect(adopted, &r), TRUE);
  EXPECT_EQ(r.right, 1000);
  EXPECT_NE(window, adopted);
#endif
  EXPECT_EQ(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("title")), TRUE);
  char title[8];
  EXPECT_EQ(SendMessageA(window, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title)), 5);
  EXPECT_STREQ(title, "title");
}

}  // namespace
