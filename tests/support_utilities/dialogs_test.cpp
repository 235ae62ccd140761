// The dialog helpers against the USER32 model and the simulated host: message boxes with the
// user's answers, item state and rectangles, check boxes and radio groups, item text and
// numbers with the scan rules, combo boxes filled from lists and from the host's name lists,
// and IsItemHitNotification called from inside the notifications as a dialog procedure would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "support/dialogs.h"
#include "utility_fixture.h"
#include "win32sim_control.h"

// NewHandle as the module sees it in this test program (linked with --wrap=NewHandle): the
// host's own, unless a test makes the next call fail.
namespace {
enum class NewHandleFault { None, WithMemError, WithoutMemError };
NewHandleFault gNewHandleFault = NewHandleFault::None;
}  // namespace

extern "C" Handle __real_NewHandle(int32_t size);
extern "C" Handle __wrap_NewHandle(int32_t size) {
  const NewHandleFault fault = gNewHandleFault;
  gNewHandleFault = NewHandleFault::None;
  switch (fault) {
    case NewHandleFault::WithMemError: return __real_NewHandle(-1);  // refused: MemError reports it
    case NewHandleFault::WithoutMemError:
      DisposeHandle(nullptr);  // leaves MemError reporting success
      return nullptr;
    default: return __real_NewHandle(size);
  }
}

namespace utilitytest {
namespace {

constexpr int32_t kEdit = 100;
constexpr int32_t kOtherEdit = 101;
constexpr int32_t kCheck = 200;
constexpr int32_t kThreeState = 201;
constexpr int32_t kFirstRadio = 300;
constexpr int32_t kLastRadio = 303;
constexpr int32_t kList = 400;       // drop-down list
constexpr int32_t kDropDown = 401;   // drop-down with edit field
constexpr int32_t kSimple = 402;
constexpr int32_t kKindless = 403;   // class ComboBox, no kind in the style
constexpr int32_t kCustomRadio = 500;
constexpr int32_t kCustomCheck = 501;
constexpr int32_t kStatic = 502;
constexpr int32_t kMissing = 999;

struct Hit {
  int32_t id;
  UINT code;
  int32_t hit;
  bool operator==(const Hit&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Hit& h) {
  return out << "{" << h.id << ", " << h.code << ", " << h.hit << "}";
}

class DialogTest : public UtilityTest {
 protected:
  void SetUp() override {
    UtilityTest::SetUp();
    Win32SimDialogLayout layout;
    layout.rect = RECT{300, 200, 800, 700};
    layout.clientOrigin = POINT{3, 25};
    layout.owner = ClientWindow();
    layout.items = {
        {"Edit", kEdit, ES_AUTOHSCROLL, RECT{10, 20, 110, 45}, ""},
        {"Edit", kOtherEdit, ES_AUTOHSCROLL, RECT{10, 50, 110, 75}, ""},
        {"Button", kCheck, BS_AUTOCHECKBOX, RECT{200, 20, 300, 40}, "Check"},
        {"Button", kThreeState, BS_AUTO3STATE, RECT{200, 50, 300, 70}, "Three"},
        {"Button", kFirstRadio, BS_RADIOBUTTON | WS_GROUP, RECT{200, 80, 300, 100}, "A"},
        {"Button", kFirstRadio + 1, BS_RADIOBUTTON, RECT{200, 110, 300, 130}, "B"},
        {"Button", kFirstRadio + 2, BS_RADIOBUTTON, RECT{200, 140, 300, 160}, "C"},
        {"Button", kLastRadio, BS_RADIOBUTTON, RECT{200, 170, 300, 190}, "D"},
        {"ComboBox", kList, CBS_DROPDOWNLIST, RECT{10, 100, 150, 300}, ""},
        {"ComboBox", kDropDown, CBS_DROPDOWN, RECT{10, 310, 150, 450}, ""},
        {"ComboBox", kSimple, CBS_SIMPLE, RECT{160, 310, 300, 450}, ""},
        {"ComboBox", kKindless, 0, RECT{310, 310, 450, 450}, ""},
        {"RadioButton", kCustomRadio, 0, RECT{310, 20, 400, 40}, "custom"},
        {"CheckBox", kCustomCheck, 0, RECT{310, 50, 400, 70}, "custom"},
        {"Static", kStatic, 0, RECT{310, 80, 400, 100}, "label"},
    };
    dialog_ = Win32SimCreateDialog(layout);
    ASSERT_NE(dialog_, nullptr);
    Win32SimClearNotifications();
  }
  void TearDown() override {
    gNewHandleFault = NewHandleFault::None;
    UtilityTest::TearDown();
  }

  // The dialog procedure asks IsItemHitNotification about every notification on the spot.
  void AskAboutEveryNotification() {
    Win32SimSetNotificationSink(dialog_, [this](HWND dialog, UINT message, WPARAM wParam, LPARAM) {
      if (message != WM_COMMAND) return;
      const int32_t id = LOWORD(wParam);
      const UINT code = HIWORD(wParam);
      hits_.push_back(Hit{id, code, IsItemHitNotification(dialog, id, static_cast<int32_t>(code))});
    });
  }
  std::vector<Hit> HitsOf(int32_t id, std::initializer_list<UINT> codes) const {
    std::vector<Hit> selected;
    for (const Hit& h : hits_) {
      if (h.id == id && std::find(codes.begin(), codes.end(), h.code) != codes.end()) selected.push_back(h);
    }
    return selected;
  }

  LRESULT Send(int32_t id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog_, id, message, wParam, lParam);
  }
  std::string Text(int32_t id) {
    char buffer[kItemTextBufferSize];
    GetItemText(dialog_, id, buffer);
    return buffer;
  }
  std::vector<std::string> Items(int32_t id) {
    std::vector<std::string> items;
    const LRESULT count = Send(id, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
      std::string item(static_cast<size_t>(Send(id, CB_GETLBTEXTLEN, static_cast<WPARAM>(i))), '\0');
      Send(id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
      items.push_back(item);
    }
    return items;
  }
  void SetItems(int32_t id, const std::vector<std::string>& items) {
    Send(id, CB_RESETCONTENT);
    for (const std::string& item : items) Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }

  HWND dialog_ = nullptr;
  std::vector<Hit> hits_;
};

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------- message boxes

TEST_F(DialogTest, MessageBoxesAreOwnedByTheHostsClientWindowAndMapTheAnswers) {
  ShowOkBox("Ombrel", "Picture taken");
  Win32SimQueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(ShowOkCancelBox("Ombrel", "Overwrite?"), 1);
  Win32SimQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(ShowOkCancelBox("Ombrel", "Overwrite?"), -1);
  Win32SimQueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(ShowYesNoBox("Ombrel", "Keep?"), 1);
  Win32SimQueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(ShowYesNoBox("Ombrel", "Keep?"), 2);
  Win32SimQueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(ShowYesNoCancelBox("Ombrel", "Save?"), 1);
  Win32SimQueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(ShowYesNoCancelBox("Ombrel", "Save?"), 2);
  Win32SimQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(ShowYesNoCancelBox("Ombrel", "Save?"), -1);

  const std::vector<Win32SimMessageBox> boxes = Win32SimMessageBoxes();
  ASSERT_EQ(boxes.size(), 8u);
  const UINT types[] = {MB_OK, MB_OKCANCEL, MB_OKCANCEL, MB_YESNO, MB_YESNO, MB_YESNOCANCEL, MB_YESNOCANCEL,
                        MB_YESNOCANCEL};
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].owner, ClientWindow()) << i;
    EXPECT_EQ(boxes[i].caption, "Ombrel") << i;
    EXPECT_EQ(boxes[i].type, types[i]) << i;
  }
  EXPECT_EQ(boxes[0].text, "Picture taken");
}

TEST_F(DialogTest, AFailedBoxCountsAsTheNegativeAnswer) {
  Win32SimDestroyWindow(ClientWindow());  // the owner is gone: MessageBoxA fails with 0
  EXPECT_EQ(ShowOkCancelBox("Ombrel", "x"), -1);
  EXPECT_EQ(ShowYesNoBox("Ombrel", "x"), 2);
  EXPECT_EQ(ShowYesNoCancelBox("Ombrel", "x"), -1);
  EXPECT_TRUE(Win32SimMessageBoxes().empty());
}

// ---------------------------------------------------------------- items

TEST_F(DialogTest, ItemsAreHiddenShownDisabledAndEnabled) {
  HWND edit = GetDlgItem(dialog_, kEdit);
  HideDialogItem(dialog_, kEdit);
  EXPECT_EQ(IsWindowVisible(edit), FALSE);
  ShowDialogItem(dialog_, kEdit);
  EXPECT_EQ(IsWindowVisible(edit), TRUE);
  DisableDialogItem(dialog_, kEdit);
  EXPECT_EQ(IsWindowEnabled(edit), FALSE);
  EnableDialogItem(dialog_, kEdit);
  EXPECT_EQ(IsWindowEnabled(edit), TRUE);
  SetDialogItemEnabled(dialog_, kEdit, 0);
  EXPECT_EQ(IsWindowEnabled(edit), FALSE);
  SetDialogItemEnabled(dialog_, kEdit, -5);
  EXPECT_EQ(IsWindowEnabled(edit), TRUE);

  // A missing item: nothing happens (in particular the dialog itself is not touched).
  HideDialogItem(dialog_, kMissing);
  DisableDialogItem(dialog_, kMissing);
  SetDialogItemEnabled(dialog_, kMissing, 0);
  EXPECT_EQ(IsWindowVisible(dialog_), TRUE);
  EXPECT_EQ(IsWindowEnabled(dialog_), TRUE);

  ShowWindow(dialog_, SW_HIDE);
  EXPECT_EQ(WindowOfDialog(dialog_), dialog_);
  ShowDialogWindow(dialog_);
  EXPECT_EQ(IsWindowVisible(dialog_), TRUE);
}

TEST_F(DialogTest, ItemRectangleIsInTheDialogsClientCoordinates) {
  HostRect r{};
  GetDialogItemRect(dialog_, kEdit, &r);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.bottom, 45);
  EXPECT_EQ(r.right, 110);
  r = HostRect{1, 2, 3, 4};
  GetDialogItemRect(dialog_, kMissing, &r);
  EXPECT_EQ(r.top | r.left | r.bottom | r.right, 0) << "empty for a missing item";
}

TEST_F(DialogTest, RectanglesConvertByTheLow16BitsAndBackWithTheSign) {
  const RECT wide{70000, -70000, 32768, -32769};
  HostRect h{};
  RectToHostRect(&wide, &h);
  EXPECT_EQ(h.left, 4464);
  EXPECT_EQ(h.top, -4464);
  EXPECT_EQ(h.right, -32768);
  EXPECT_EQ(h.bottom, 32767);
  const HostRect narrow{-1, -32768, 32767, 5};
  RECT r{};
  HostRectToRect(&narrow, &r);
  EXPECT_EQ(r.top, -1);
  EXPECT_EQ(r.left, -32768);
  EXPECT_EQ(r.bottom, 32767);
  EXPECT_EQ(r.right, 5);
}

// ---------------------------------------------------------------- check boxes and radio groups

TEST_F(DialogTest, CheckBoxesReadOnlyCheckedAsOne) {
  EXPECT_EQ(GetCheckBox(dialog_, kCheck), 0);
  EXPECT_EQ(SetCheckBox(dialog_, kCheck, 1), 1);
  EXPECT_EQ(GetCheckBox(dialog_, kCheck), 1);
  EXPECT_EQ(GetDialogCheckBox(dialog_, kCheck), 1);
  SetCheckBox(dialog_, kThreeState, BST_INDETERMINATE);
  EXPECT_EQ(GetCheckBox(dialog_, kThreeState), 0) << "indeterminate is not checked";
  EXPECT_EQ(GetDialogCheckBox(dialog_, kThreeState), 0);
  EXPECT_EQ(SetCheckBox(dialog_, kCheck, 5), 5) << "the state given comes back";
  EXPECT_EQ(GetCheckBox(dialog_, kCheck), 1);
  EXPECT_TRUE(Win32SimNotifications().empty());
}

TEST_F(DialogTest, ToggleCheckBoxSetsAndReturnsTheOpposite) {
  EXPECT_EQ(ToggleCheckBox(dialog_, kCheck), 1);
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_CHECKED);
  EXPECT_EQ(ToggleCheckBox(dialog_, kCheck), 0);
  EXPECT_EQ(Send(kCheck, BM_GETCHECK), BST_UNCHECKED);
  Send(kThreeState, BM_SETCHECK, BST_INDETERMINATE);
  EXPECT_EQ(ToggleCheckBox(dialog_, kThreeState), 1);
  EXPECT_EQ(Send(kThreeState, BM_GETCHECK), BST_CHECKED);
}

TEST_F(DialogTest, MissingCheckBoxReadsZeroAndTogglesToOne) {
  EXPECT_EQ(GetCheckBox(dialog_, kMissing), 0);
  EXPECT_EQ(GetDialogCheckBox(dialog_, kMissing), 0);
  EXPECT_EQ(ToggleCheckBox(dialog_, kMissing), 1);
  EXPECT_EQ(SetCheckBox(dialog_, kMissing, 1), 1);
}

TEST_F(DialogTest, RadioGroupChecksOnlyTheChosenItem) {
  for (int32_t id = kFirstRadio; id <= kLastRadio; ++id) Send(id, BM_SETCHECK, BST_CHECKED);
  SetRadioGroup(dialog_, kFirstRadio, kLastRadio, kFirstRadio + 2);
  for (int32_t id = kFirstRadio; id <= kLastRadio; ++id)
    EXPECT_EQ(Send(id, BM_GETCHECK), id == kFirstRadio + 2 ? BST_CHECKED : BST_UNCHECKED) << id;
  SetRadioGroup(dialog_, kFirstRadio, kLastRadio, kMissing);
  for (int32_t id = kFirstRadio; id <= kLastRadio; ++id) EXPECT_EQ(Send(id, BM_GETCHECK), BST_UNCHECKED) << id;
  SetRadioGroup(dialog_, kFirstRadio, kFirstRadio + 1, kLastRadio);
  EXPECT_EQ(Send(kLastRadio, BM_GETCHECK), BST_UNCHECKED) << "outside the range nothing changes";
  SetRadioGroup(dialog_, INT32_MAX - 1, INT32_MAX, INT32_MAX);  // ends after two identifiers
  SetRadioGroup(dialog_, kLastRadio, kFirstRadio, kFirstRadio);
  EXPECT_EQ(Send(kFirstRadio, BM_GETCHECK), BST_UNCHECKED) << "an empty range does nothing";
}

// ---------------------------------------------------------------- item text

TEST_F(DialogTest, ItemTextIsReadUpTo255Characters) {
  const std::string long_text(300, 'q');
  SetItemText(dialog_, kEdit, long_text.c_str());
  char buffer[kItemTextBufferSize + 8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetItemText(dialog_, kEdit, buffer), 255);
  EXPECT_EQ(std::string(buffer), long_text.substr(0, 255));
  EXPECT_EQ(buffer[kItemTextBufferSize], 'x') << "nothing past the 256 bytes";
  std::strcpy(buffer, "junk");
  EXPECT_EQ(GetItemText(dialog_, kMissing, buffer), 0);
  EXPECT_STREQ(buffer, "");
  SetDialogItemText(dialog_, kEdit, "second entry");
  EXPECT_EQ(Text(kEdit), "second entry");
}

TEST_F(DialogTest, SetItemTextRaisesTheFlagOnlyWhileItRunsAndKeepsAnOuterOne) {
  std::vector<int32_t> flagDuringChange;
  Win32SimSetNotificationSink(dialog_, [&](HWND, UINT, WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) == EN_CHANGE) flagDuringChange.push_back(settingItemText);
  });
  SetItemText(dialog_, kEdit, "one");
  SetDialogItemText(dialog_, kEdit, "two");
  EXPECT_EQ(flagDuringChange, (std::vector<int32_t>{1, 1}));
  EXPECT_EQ(settingItemText, 0);
  settingItemText = 1;  // as inside an outer SetItemText
  SetItemText(dialog_, kEdit, "three");
  EXPECT_EQ(settingItemText, 1);
  settingItemText = 0;
  SetItemText(dialog_, kMissing, "nowhere");
  EXPECT_EQ(settingItemText, 0);
}

TEST_F(DialogTest, NumbersAreFormattedIntoTheItem) {
  SetItemInt(dialog_, kEdit, -12345);
  EXPECT_EQ(Text(kEdit), "-12345");
  SetItemInt(dialog_, kEdit, INT32_MIN);
  EXPECT_EQ(Text(kEdit), "-2147483648");
  SetItemLong(dialog_, kEdit, INT32_MAX);
  EXPECT_EQ(Text(kEdit), "2147483647");
  const double values[] = {1.5, 1e-5, 0.1 + 0.2, 1e300, -0.0, 123456789.0};
  const char* texts[] = {"1.5", "1e-05", "0.3", "1e+300", "-0", "1.23457e+08"};
  for (size_t i = 0; i < std::size(values); ++i) {
    SetItemDouble(dialog_, kEdit, &values[i]);
    EXPECT_EQ(Text(kEdit), texts[i]);
  }
}

TEST_F(DialogTest, IntegersAreScannedFromTheStartOfTheText) {
  struct Case {
    const char* text;
    int32_t result;
    int32_t value;
  };
  const Case cases[] = {
      {"12abc", 0, 12},          {"", 1, 0},           {"   -7", 0, -7},       {"\t\n+5", 0, 5},
      {"abc", 1, 0},             {"-", 1, 0},          {"+ 3", 1, 0},         {"0x1A", 0, 0},
      {"007", 0, 7},             {"2147483647", 0, INT32_MAX},                {"-2147483648", 0, INT32_MIN},
      // A number beyond the 32-bit range is refused, not wrapped.
      {"2147483648", 1, 0},      {"-2147483649", 1, 0},                       {"4294967296", 1, 0},
      {"99999999999", 1, 0},     {"99999999999999999999", 1, 0},              {"-0000000000002147483648x", 0, INT32_MIN},
  };
  for (const Case& c : cases) {
    SetItemText(dialog_, kEdit, c.text);
    int32_t value = 99;
    EXPECT_EQ(GetItemInt(dialog_, kEdit, &value), c.result) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    value = 99;
    EXPECT_EQ(GetItemLong(dialog_, kEdit, &value), c.result) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  int32_t value = 99;
  EXPECT_EQ(GetItemInt(dialog_, kMissing, &value), 1);
  EXPECT_EQ(value, 0);
}

TEST_F(DialogTest, DoublesAreScannedWithTheStandardScan) {
  struct Case {
    const char* text;
    int32_t result;
    double value;
  };
  const Case cases[] = {{"abc", 1, 0.0},      {"", 1, 0.0},    {"1.5e3xyz", 0, 1500.0}, {"  .5", 0, 0.5},
                        {"-12", 0, -12.0},    {"1e999", 0, HUGE_VAL}, {"12abc", 0, 12.0}};
  for (const Case& c : cases) {
    SetItemText(dialog_, kEdit, c.text);
    double value = 99;
    EXPECT_EQ(GetItemDouble(dialog_, kEdit, &value), c.result) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  double value = 99;
  EXPECT_EQ(GetItemDouble(dialog_, kMissing, &value), 1);
  EXPECT_EQ(value, 0.0);
}

TEST_F(DialogTest, SelectItemTextSelectsAllOfItAndFocusesTheItem) {
  SetItemText(dialog_, kEdit, "hello");
  SetFocus(GetDlgItem(dialog_, kOtherEdit));
  SelectItemText(dialog_, kEdit);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog_, kEdit));
  DWORD start = 99, end = 99;
  Send(kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 5u);
  ASSERT_TRUE(Win32SimTypeText(dialog_, kEdit, "x"));
  EXPECT_EQ(Text(kEdit), "x") << "typing replaces the selected text";

  SelectItemText(dialog_, 0);
  SelectItemText(dialog_, kMissing);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog_, kEdit)) << "identifier 0 and missing items leave the focus alone";
}

// ---------------------------------------------------------------- combo boxes

TEST_F(DialogTest, ComboBoxesAreRecognisedByClassAndKind) {
  EXPECT_EQ(ItemIsComboBox(dialog_, kList), 1);
  EXPECT_EQ(ItemIsComboBox(dialog_, kDropDown), 1);
  EXPECT_EQ(ItemIsComboBox(dialog_, kSimple), 1);
  EXPECT_EQ(ItemIsComboBox(dialog_, kKindless), 0) << "no kind in the style's two lowest bits";
  EXPECT_EQ(ItemIsComboBox(dialog_, kEdit), 0);
  EXPECT_EQ(ItemIsComboBox(dialog_, kMissing), 0);
}

TEST_F(DialogTest, ListsSplitAtSemicolons) {
  AppendComboItems(dialog_, kList, "red;green;blue");
  EXPECT_EQ(Items(kList), (Strings{"red", "green", "blue"}));
  SetItems(kList, {});
  AppendComboItems(dialog_, kList, "red;;blue");
  EXPECT_EQ(Items(kList), (Strings{"red", "", "blue"}));
  SetItems(kList, {});
  AppendComboItems(dialog_, kList, "red;green;");
  EXPECT_EQ(Items(kList), (Strings{"red", "green"})) << "a trailing ';' adds no item";
  SetItems(kList, {});
  AppendComboItems(dialog_, kList, ";");
  EXPECT_EQ(Items(kList), (Strings{""}));
  AppendComboItems(dialog_, kList, "");
  EXPECT_EQ(Items(kList), (Strings{""}));
}

TEST_F(DialogTest, InsertComboItemsKeepsTheirOrderFromThePosition) {
  SetItems(kList, {"w", "x", "y", "z"});
  InsertComboItems(dialog_, kList, "a;b", 3, 2);
  EXPECT_EQ(Items(kList), (Strings{"w", "x", "a", "b", "y", "z"}));
  InsertComboItems(dialog_, kList, "c;d", 3, 10000);
  InsertComboItems(dialog_, kList, "e", 1, 12345);
  EXPECT_EQ(Items(kList), (Strings{"w", "x", "a", "b", "y", "z", "c", "d", "e"}));
  InsertComboItems(dialog_, kList, "p;q;r", 3, 0);
  EXPECT_EQ(Items(kList).front(), "p") << "only the given length is read";
  EXPECT_EQ(Items(kList)[1], "q");
  EXPECT_EQ(Items(kList).size(), 11u);
}

TEST_F(DialogTest, InsertComboItemsDoesNothingWithoutItemOrLength) {
  InsertComboItems(dialog_, kList, "a;b", 0, 10000);
  InsertComboItems(dialog_, kList, "a;b", -3, 10000);
  InsertComboItems(dialog_, kMissing, "a;b", 3, 10000);
  EXPECT_TRUE(Items(kList).empty());
}

TEST_F(DialogTest, LongItemsAreCutTo255AndTheNextItemStillFollows) {
  const std::string list = std::string(300, 'A') + ";next;" + std::string(255, 'B');
  AppendComboItems(dialog_, kList, list.c_str());
  EXPECT_EQ(Items(kList), (Strings{std::string(255, 'A'), "next", std::string(255, 'B')}));
}

TEST_F(DialogTest, FillComboAndSelectAppendsThenSelectsByOneBasedIndex) {
  EXPECT_EQ(FillComboAndSelect(dialog_, kList, 12345, "one;two;three", 2), 0);
  EXPECT_EQ(Items(kList), (Strings{"one", "two", "three"}));
  EXPECT_EQ(Send(kList, CB_GETCURSEL), 1);
  EXPECT_EQ(FillComboAndSelect(dialog_, kList, 0, "four", 0), 0);
  EXPECT_EQ(Send(kList, CB_GETCURSEL), CB_ERR) << "index 0 selects nothing";
  SetComboSelection(dialog_, kList, 4);
  EXPECT_EQ(Text(kList), "four");
  SetComboSelection(dialog_, kList, INT32_MIN);  // wraps to a Win32 index past the end
  EXPECT_EQ(Send(kList, CB_GETCURSEL), 3) << "an index outside the list leaves the selection";
  SetComboSelection(dialog_, kList, 9);
  EXPECT_EQ(Send(kList, CB_GETCURSEL), 3);
  EXPECT_TRUE(Win32SimNotifications().empty()) << "selection by the program reports nothing";
}

TEST_F(DialogTest, TrimComboItemsDeletesFromTheEnd) {
  SetItems(kList, {"a", "b", "c", "d", "e"});
  TrimComboItems(dialog_, kList, 10);
  EXPECT_EQ(Items(kList).size(), 5u);
  TrimComboItems(dialog_, kList, 2);
  EXPECT_EQ(Items(kList), (Strings{"a", "b"}));
  TrimComboItems(dialog_, kList, -3);
  EXPECT_TRUE(Items(kList).empty()) << "a negative count keeps nothing";
  TrimComboItems(dialog_, kMissing, 0);
}

TEST_F(DialogTest, GetComboSelectionGivesTheOneBasedIndexAndText) {
  SetItems(kList, {"alpha", "beta", "gamma"});
  int32_t index = 99;
  char text[kItemTextBufferSize] = "junk";
  GetComboSelection(dialog_, kList, &index, text);
  EXPECT_EQ(index, 1) << "nothing selected";
  EXPECT_STREQ(text, "");
  Send(kList, CB_SETCURSEL, 2);
  GetComboSelection(dialog_, kList, &index, text);
  EXPECT_EQ(index, 3);
  EXPECT_STREQ(text, "gamma");
  Send(kList, CB_SETCURSEL, 1);
  GetComboSelection(dialog_, kList, &index, nullptr);
  EXPECT_EQ(index, 2);
  index = 99;
  std::strcpy(text, "kept");
  GetComboSelection(dialog_, kMissing, &index, text);
  EXPECT_EQ(index, 99) << "a missing item leaves the outputs alone";
  EXPECT_STREQ(text, "kept");
}

TEST_F(DialogTest, GetComboSelectionNeedsRoomForTheSelectedItemExactly) {
  // The buffer holds exactly the selected item and its terminator: a byte more written would
  // be caught by the address sanitizer.
  const std::string longest(kItemTextBufferSize - 1, 'L');
  AppendComboItems(dialog_, kList, ("short;" + longest).c_str());
  Send(kList, CB_SETCURSEL, 1);
  auto text = std::make_unique<char[]>(longest.size() + 1);
  int32_t index = 0;
  GetComboSelection(dialog_, kList, &index, text.get());
  EXPECT_EQ(index, 2);
  EXPECT_EQ(std::string(text.get()), longest);
  Send(kList, CB_SETCURSEL, 0);
  auto small = std::make_unique<char[]>(6);
  GetComboSelection(dialog_, kList, &index, small.get());
  EXPECT_STREQ(small.get(), "short");
}

TEST_F(DialogTest, SelectComboTextFindsTheItemWithoutRegardToCase) {
  SetItems(kList, {"Alpha", "beta", "BETA"});
  EXPECT_EQ(SelectComboText(dialog_, kList, "BETA"), 2) << "the first match";
  EXPECT_EQ(Send(kList, CB_GETCURSEL), 1);
  EXPECT_EQ(SelectComboText(dialog_, kList, "gamma"), 0);
  EXPECT_EQ(Send(kList, CB_GETCURSEL), 1) << "no match leaves the selection";
  EXPECT_EQ(SelectComboText(dialog_, kList, "alph"), 0) << "whole items only";
  EXPECT_EQ(SelectComboText(dialog_, kMissing, "Alpha"), 0);
}

// ---------------------------------------------------------------- lists from the host

class HostListTest : public DialogTest {};

TEST_F(HostListTest, WaveNamesOfTheCurrentFolderFillTheCombo) {
  host().MakeTestWave("wave0", 1, 4, {10});
  host().MakeTestWave("image", 1, 80, {4, 4});
  host().MakeTestWave("wave1", 1, 4, {10});
  Handle other = host().NewDataFolder(nullptr, "other");
  ASSERT_TRUE(host().SetCurrentDataFolder(other));
  host().MakeTestWave("elsewhere", 1, 4, {1});
  ASSERT_TRUE(host().SetCurrentDataFolder(host().RootDataFolder()));
  host().ClearExchanges();
  const size_t liveHandles = quorsim::MemLiveHandleCount();

  SetItems(kList, {"first"});
  EXPECT_EQ(FillComboWithWaveNames(dialog_, kList, 0, 0, 10000), 0);
  EXPECT_EQ(Items(kList), (Strings{"first", "wave0", "image", "wave1"}));
  EXPECT_EQ(quorsim::MemLiveHandleCount(), liveHandles) << "the list's handle is disposed of";

  ASSERT_EQ(Messages(), std::vector<int>{kMsgWaveNameList});
  const std::vector<HostWord>& items = host().Exchanges()[0].items;
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[1], 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(items[2]), ";");
  EXPECT_EQ(items[3], 0);
}

TEST_F(HostListTest, PassThroughValuesReachTheHostAndThePositionIsKept) {
  host().MakeTestWave("wave0", 1, 4, {10});
  host().MakeTestWave("image", 1, 80, {4, 4});
  host().MakeTestWave("wave1", 1, 4, {10});
  host().ClearExchanges();
  SetItems(kList, {"x", "y"});
  const char pattern[] = "WAVE*";
  EXPECT_EQ(FillComboWithWaveNames(dialog_, kList, AsItem(pattern), 77, 1), 0);
  EXPECT_EQ(Items(kList), (Strings{"x", "wave0", "wave1", "y"}));
  EXPECT_EQ(host().Exchanges()[0].items[1], AsItem(pattern));
  EXPECT_EQ(host().Exchanges()[0].items[3], 77);
}

TEST_F(HostListTest, VariableAndStringNamesComeFromTheirOwnMessages) {
  quorsim::SetNameList(host(), kMsgVariableNameList, {"V_flag", "gain"});
  quorsim::SetNameList(host(), kMsgStringNameList, {"S_path"});
  EXPECT_EQ(FillComboWithVariableNames(dialog_, kList, 0, 0, 10000), 0);
  EXPECT_EQ(FillComboWithStringNames(dialog_, kDropDown, 0, 0, 10000), 0);
  EXPECT_EQ(Items(kList), (Strings{"V_flag", "gain"}));
  EXPECT_EQ(Items(kDropDown), (Strings{"S_path"}));
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgVariableNameList, kMsgStringNameList}));
  EXPECT_EQ(FillComboWithStringNames(dialog_, kSimple, 0, 0, 10000), 0);
  EXPECT_EQ(FillComboWithWaveNames(dialog_, kSimple, 0, 0, 10000), 0);
  EXPECT_TRUE(Items(kSimple).size() == 1 && Items(kSimple)[0] == "S_path") << "no waves: no items";
}

TEST_F(HostListTest, WhateverTheHostPutInTheHandleIsAddedAndItsResultReturned) {
  host().SetScriptedAnswer([](int message, std::span<const HostWord> items, HostWord* result) {
    if (message != kMsgWaveNameList) return false;
    Handle list = reinterpret_cast<Handle>(items[0]);
    const char names[] = "partial;list";
    SetHandleSize(list, sizeof names - 1);
    std::memcpy(*list, names, sizeof names - 1);
    *result = 1234;
    return true;
  });
  EXPECT_EQ(FillComboWithWaveNames(dialog_, kList, 0, 0, 10000), 1234);
  EXPECT_EQ(Items(kList), (Strings{"partial", "list"}));
}

TEST_F(HostListTest, NoHandleForTheListMeansNoRequest) {
  const size_t liveHandles = quorsim::MemLiveHandleCount();
  gNewHandleFault = NewHandleFault::WithMemError;
  EXPECT_EQ(FillComboWithWaveNames(dialog_, kList, 0, 0, 10000), -50) << "the memory manager's error";
  gNewHandleFault = NewHandleFault::WithoutMemError;
  EXPECT_EQ(FillComboWithVariableNames(dialog_, kList, 0, 0, 10000), 1) << "1 when it reports none";
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Items(kList).empty());
  EXPECT_EQ(quorsim::MemLiveHandleCount(), liveHandles);
}

// ---------------------------------------------------------------- IsItemHitNotification

TEST_F(DialogTest, EditChangesCountOnlyWhenTheUserTyped) {
  AskAboutEveryNotification();
  SetItemText(dialog_, kEdit, "from the module");
  SetItemInt(dialog_, kEdit, 5);
  ASSERT_TRUE(Win32SimTypeText(dialog_, kEdit, "7"));
  EXPECT_EQ(HitsOf(kEdit, {EN_CHANGE}),
            (std::vector<Hit>{{kEdit, EN_CHANGE, 0}, {kEdit, EN_CHANGE, 0}, {kEdit, EN_CHANGE, 1}}));
  EXPECT_EQ(HitsOf(kEdit, {EN_UPDATE, EN_SETFOCUS}),
            (std::vector<Hit>{{kEdit, EN_UPDATE, 0}, {kEdit, EN_UPDATE, 0}, {kEdit, EN_SETFOCUS, 0},
                              {kEdit, EN_UPDATE, 0}}));
}

TEST_F(DialogTest, ComboSelectionCountsWhenMadeClosedOrWhenTheListCloses) {
  SetItems(kList, {"a", "b", "c"});
  AskAboutEveryNotification();
  ASSERT_TRUE(Win32SimComboArrowKeys(dialog_, kList, 1));  // closed: counts at once
  ASSERT_TRUE(Win32SimComboDropDown(dialog_, kList));
  ASSERT_TRUE(Win32SimComboArrowKeys(dialog_, kList, 1));  // open: counts when it closes
  ASSERT_TRUE(Win32SimComboCloseUp(dialog_, kList, true));
  EXPECT_EQ(HitsOf(kList, {CBN_SELCHANGE, CBN_CLOSEUP}),
            (std::vector<Hit>{{kList, CBN_SELCHANGE, 1}, {kList, CBN_SELCHANGE, 0}, {kList, CBN_CLOSEUP, 1}}));
  EXPECT_EQ(HitsOf(kList, {CBN_DROPDOWN, CBN_SELENDOK, CBN_SETFOCUS}),
            (std::vector<Hit>{{kList, CBN_SETFOCUS, 0},
                              {kList, CBN_SELENDOK, 0},  // the key in the closed list ends the selection
                              {kList, CBN_DROPDOWN, 0},
                              {kList, CBN_SELENDOK, 0}}));

  hits_.clear();
  SetComboSelection(dialog_, kList, 1);
  EXPECT_TRUE(hits_.empty()) << "the program's own selection sends nothing";
  ASSERT_TRUE(Win32SimComboDropDown(dialog_, kList));
  ASSERT_TRUE(Win32SimComboClickItem(dialog_, kList, 2));  // the list closes before the change
  EXPECT_EQ(HitsOf(kList, {CBN_SELCHANGE, CBN_CLOSEUP}),
            (std::vector<Hit>{{kList, CBN_CLOSEUP, 1}, {kList, CBN_SELCHANGE, 1}}));
}

TEST_F(DialogTest, ButtonsOfAnyCaseAndTheirNamesakeClassesCountClicks) {
  for (int32_t id : {kCheck, kFirstRadio, kCustomRadio, kCustomCheck}) {
    EXPECT_EQ(IsItemHitNotification(dialog_, id, BN_CLICKED), 1) << id;
    EXPECT_EQ(IsItemHitNotification(dialog_, id, BN_SETFOCUS), 0) << id;
  }
  AskAboutEveryNotification();
  ASSERT_TRUE(Win32SimClickButton(dialog_, kCheck));
  EXPECT_EQ(HitsOf(kCheck, {BN_CLICKED}), (std::vector<Hit>{{kCheck, BN_CLICKED, 1}}));
}

TEST_F(DialogTest, OtherClassesAndMissingItemsNeverCount) {
  for (int32_t code : {0, 1, 8, 0x300}) {
    EXPECT_EQ(IsItemHitNotification(dialog_, kStatic, code), 0) << code;
    EXPECT_EQ(IsItemHitNotification(dialog_, kMissing, code), 0) << code;
  }
  EXPECT_EQ(IsItemHitNotification(dialog_, kList, CBN_DROPDOWN), 0);
  EXPECT_EQ(IsItemHitNotification(dialog_, kList, CBN_SELCHANGE), 1);
  EXPECT_EQ(IsItemHitNotification(dialog_, kEdit, BN_CLICKED), 0);
  EXPECT_EQ(IsItemHitNotification(dialog_, kEdit, EN_CHANGE), 1);
}

}  // namespace
}  // namespace utilitytest
