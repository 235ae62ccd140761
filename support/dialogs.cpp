// Dialog helpers over the Win32 dialog-item calls: message boxes, item state and rectangles,
// check boxes and radio groups, item text and numbers, combo boxes and their lists, and the
// user-action test for WM_COMMAND notifications.
#include "support/dialogs.h"

#include <cstdio>
#include <cstring>

#include "hostdata/handles.h"
#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "support/utilities.h"

int32_t settingItemText = 0;

namespace {

constexpr char kComboItemSeparatorText[] = ";";
constexpr size_t kMaxComboItemLength = kItemTextBufferSize - 1;

HWND HostClientWindow() { return static_cast<HWND>(GetHostClientWindow()); }

int MessageBoxOfHost(const char* caption, const char* message, UINT type) {
  return MessageBoxA(HostClientWindow(), message, caption, type);
}

LRESULT SendToItem(HWND dialog, int32_t item, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageA(dialog, item, message, wParam, lParam);
}

template <typename T>
LPARAM AsLParam(T* address) {
  return reinterpret_cast<LPARAM>(address);
}

// A 32-bit signed value as the WPARAM Win32 reads back as a 32-bit int.
WPARAM AsWParam(int64_t value) { return static_cast<WPARAM>(static_cast<int32_t>(value)); }

bool IsClass(const char* className, const char* name) { return CompareTextNoCase(className, name) == 0; }

// One integer as the formatted scan reads it with "%d" or "%ld": white space skipped, an
// optional sign, then at least one decimal digit; what follows is ignored. A number outside
// the 32-bit range is no value: it is refused, however many digits it has.
bool ScanInteger(const char* text, int32_t* value) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (*p < '0' || *p > '9') return false;
  const uint64_t limit = negative ? uint64_t{1} << 31 : uint64_t{INT32_MAX};
  uint64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10u + static_cast<uint64_t>(*p - '0');
    if (magnitude > limit) return false;  // stops before the 64-bit sum could overflow
  }
  *value = static_cast<int32_t>(negative ? 0u - static_cast<uint32_t>(magnitude) : static_cast<uint32_t>(magnitude));
  return true;
}

int32_t GetItemInteger(HWND dialog, int32_t item, int32_t* value) {
  *value = 0;
  char text[kItemTextBufferSize];
  GetItemText(dialog, item, text);
  int32_t scanned = 0;
  if (!ScanInteger(text, &scanned)) return 1;
  *value = scanned;
  return 0;
}

int32_t FillComboFromHostList(int32_t message, HWND dialog, int32_t item, HostWord select1, HostWord select2,
                              int32_t position) {
  Handle list = NewHandle(0);
  if (list == nullptr) {
    // Every later step needs the handle: the host is not asked.
    const int32_t error = MemError();
    return error != 0 ? error : kErrHandleResizeFailed;
  }
  const HostWord result = CallHost4(message, AsItem(list), select1, AsItem(kComboItemSeparatorText), select2);
  const int32_t state = SaveAndLockHandle(list);
  const int32_t size = GetHandleSize(list);
  InsertComboItems(dialog, item, *list, size, position);  // whatever the host answered
  HSetState(list, state);
  DisposeHandle(list);
  return static_cast<int32_t>(result);
}

}  // namespace

// ---------------------------------------------------------------- message boxes

void ShowOkBox(const char* caption, const char* message) { MessageBoxOfHost(caption, message, MB_OK); }

int32_t ShowOkCancelBox(const char* caption, const char* message) {
  return MessageBoxOfHost(caption, message, MB_OKCANCEL) == IDOK ? 1 : -1;
}

int32_t ShowYesNoBox(const char* caption, const char* message) {
  return MessageBoxOfHost(caption, message, MB_YESNO) == IDYES ? 1 : 2;
}

int32_t ShowYesNoCancelBox(const char* caption, const char* message) {
  switch (MessageBoxOfHost(caption, message, MB_YESNOCANCEL)) {
    case IDYES: return 1;
    case IDNO: return 2;
    default: return -1;
  }
}

// ---------------------------------------------------------------- items

void HideDialogItem(HWND dialog, int32_t item) {
  if (HWND control = GetDlgItem(dialog, item)) ShowWindow(control, SW_HIDE);
}

void ShowDialogItem(HWND dialog, int32_t item) {
  if (HWND control = GetDlgItem(dialog, item)) ShowWindow(control, SW_SHOW);
}

void DisableDialogItem(HWND dialog, int32_t item) {
  if (HWND control = GetDlgItem(dialog, item)) EnableWindow(control, FALSE);
}

void EnableDialogItem(HWND dialog, int32_t item) {
  if (HWND control = GetDlgItem(dialog, item)) EnableWindow(control, TRUE);
}

void SetDialogItemEnabled(HWND dialog, int32_t item, int32_t enable) {
  if (enable != 0) {
    EnableDialogItem(dialog, item);
  } else {
    DisableDialogItem(dialog, item);
  }
}

void GetDialogItemRect(HWND dialog, int32_t item, HostRect* rect) {
  RECT r{0, 0, 0, 0};
  if (HWND control = GetDlgItem(dialog, item)) {
    GetWindowRect(control, &r);
    POINT topLeft{r.left, r.top};
    POINT bottomRight{r.right, r.bottom};
    ScreenToClient(dialog, &topLeft);
    ScreenToClient(dialog, &bottomRight);
    r = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  } else {
    SetRectEmpty(&r);
  }
  RectToHostRect(&r, rect);
}

void RectToHostRect(const RECT* rect, HostRect* hostRect) {
  hostRect->top = static_cast<int16_t>(rect->top);
  hostRect->left = static_cast<int16_t>(rect->left);
  hostRect->bottom = static_cast<int16_t>(rect->bottom);
  hostRect->right = static_cast<int16_t>(rect->right);
}

void HostRectToRect(const HostRect* hostRect, RECT* rect) {
  rect->left = hostRect->left;
  rect->top = hostRect->top;
  rect->right = hostRect->right;
  rect->bottom = hostRect->bottom;
}

// ---------------------------------------------------------------- check boxes and radio groups

int32_t GetCheckBox(HWND dialog, int32_t item) {
  return SendToItem(dialog, item, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

int32_t GetDialogCheckBox(HWND dialog, int32_t item) {
  return SendToItem(dialog, item, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

int32_t SetCheckBox(HWND dialog, int32_t item, int32_t state) {
  SendToItem(dialog, item, BM_SETCHECK, AsWParam(state), 0);
  return state;
}

int32_t ToggleCheckBox(HWND dialog, int32_t item) {
  return SetCheckBox(dialog, item, GetCheckBox(dialog, item) != 0 ? 0 : 1);
}

void SetRadioGroup(HWND dialog, int32_t first, int32_t last, int32_t chosen) {
  for (int64_t id = first; id <= last; ++id) {  // 64-bit, so a last of INT32_MAX ends the loop
    const auto item = static_cast<int32_t>(id);
    SendToItem(dialog, item, BM_SETCHECK, item == chosen ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

// ---------------------------------------------------------------- item text and numbers

int32_t GetItemText(HWND dialog, int32_t item, char* buffer) {
  return static_cast<int32_t>(GetDlgItemTextA(dialog, item, buffer, kItemTextBufferSize));
}

void SetItemText(HWND dialog, int32_t item, const char* text) {
  const int32_t wasSetting = settingItemText;
  settingItemText = 1;
  SetDlgItemTextA(dialog, item, text);
  settingItemText = wasSetting;
}

void SetDialogItemText(HWND dialog, int32_t item, const char* text) {
  const int32_t wasSetting = settingItemText;
  settingItemText = 1;
  SetDlgItemTextA(dialog, item, text);
  settingItemText = wasSetting;
}

void SetItemInt(HWND dialog, int32_t item, int32_t value) {
  char text[kNumberTextBufferSize];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  SetItemText(dialog, item, text);
}

void SetItemLong(HWND dialog, int32_t item, int32_t value) {
  char text[kNumberTextBufferSize];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  SetItemText(dialog, item, text);
}

void SetItemDouble(HWND dialog, int32_t item, const double* value) {
  char text[kNumberTextBufferSize];
  std::snprintf(text, sizeof text, "%g", *value);
  SetItemText(dialog, item, text);
}

int32_t GetItemInt(HWND dialog, int32_t item, int32_t* value) { return GetItemInteger(dialog, item, value); }

int32_t GetItemLong(HWND dialog, int32_t item, int32_t* value) { return GetItemInteger(dialog, item, value); }

int32_t GetItemDouble(HWND dialog, int32_t item, double* value) {
  *value = 0;
  char text[kItemTextBufferSize];
  GetItemText(dialog, item, text);
  double scanned = 0;
  if (std::sscanf(text, "%lf", &scanned) != 1) return 1;
  *value = scanned;
  return 0;
}

void SelectItemText(HWND dialog, int32_t item) {
  if (item == 0) return;
  HWND control = GetDlgItem(dialog, item);
  if (control == nullptr) return;  // no item: the focus stays where it is
  char text[kItemTextBufferSize];
  const int32_t length = GetItemText(dialog, item, text);
  SendToItem(dialog, item, EM_SETSEL, 0, length);
  SetFocus(control);
}

// ---------------------------------------------------------------- the dialog window

HWND WindowOfDialog(HWND dialog) { return dialog; }

void ShowDialogWindow(HWND dialog) { ShowWindow(dialog, SW_SHOW); }

// ---------------------------------------------------------------- combo boxes

int32_t ItemIsComboBox(HWND dialog, int32_t item) {
  HWND control = GetDlgItem(dialog, item);
  if (control == nullptr) return 0;
  char className[kClassNameBufferSize];
  if (GetClassNameA(control, className, kClassNameBufferSize) == 0) return 0;
  if (!IsClass(className, "COMBOBOX")) return 0;
  return (GetWindowLongA(control, GWL_STYLE) & 3) != 0 ? 1 : 0;
}

void SetComboSelection(HWND dialog, int32_t item, int32_t index) {
  SendToItem(dialog, item, CB_SETCURSEL, AsWParam(int64_t{index} - 1), 0);
}

void InsertComboItems(HWND dialog, int32_t item, const char* list, int32_t length, int32_t position) {
  if (GetDlgItem(dialog, item) == nullptr || length <= 0 || list == nullptr) return;
  char entry[kItemTextBufferSize];
  const char* next = list;
  size_t remaining = static_cast<size_t>(length);
  while (remaining > 0) {
    const void* separator = std::memchr(next, kComboItemSeparator, remaining);
    const size_t itemLength = separator != nullptr ? static_cast<size_t>(static_cast<const char*>(separator) - next)
                                                   : remaining;
    const size_t copied = itemLength < kMaxComboItemLength ? itemLength : kMaxComboItemLength;
    std::memcpy(entry, next, copied);
    entry[copied] = '\0';
    if (position >= kAppendComboItems) {
      SendToItem(dialog, item, CB_ADDSTRING, 0, AsLParam(entry));
    } else {
      SendToItem(dialog, item, CB_INSERTSTRING, AsWParam(position), AsLParam(entry));
      ++position;
    }
    // Past the whole item (also when its copy was cut) and its separator.
    const size_t consumed = itemLength < remaining ? itemLength + 1 : remaining;
    next += consumed;
    remaining -= consumed;
  }
}

void AppendComboItems(HWND dialog, int32_t item, const char* list) {
  InsertComboItems(dialog, item, list, static_cast<int32_t>(std::strlen(list)), kAppendComboItems);
}

int32_t FillComboAndSelect(HWND dialog, int32_t item, int32_t unused, const char* list, int32_t index) {
  (void)unused;
  AppendComboItems(dialog, item, list);
  SetComboSelection(dialog, item, index);
  return 0;
}

void TrimComboItems(HWND dialog, int32_t item, int32_t keep) {
  LRESULT count = SendToItem(dialog, item, CB_GETCOUNT, 0, 0);
  if (count == CB_ERR) return;
  const LRESULT target = keep > 0 ? keep : 0;
  while (count > target) {
    --count;
    SendToItem(dialog, item, CB_DELETESTRING, static_cast<WPARAM>(count), 0);
  }
}

void GetComboSelection(HWND dialog, int32_t item, int32_t* index, char* text) {
  if (GetDlgItem(dialog, item) == nullptr) return;
  const LRESULT selected = SendToItem(dialog, item, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) {
    if (index != nullptr) *index = 1;
    if (text != nullptr) text[0] = '\0';
    return;
  }
  if (index != nullptr) *index = static_cast<int32_t>(selected + 1);
  if (text != nullptr) SendToItem(dialog, item, CB_GETLBTEXT, static_cast<WPARAM>(selected), AsLParam(text));
}

int32_t SelectComboText(HWND dialog, int32_t item, const char* text) {
  if (GetDlgItem(dialog, item) == nullptr) return 0;
  const LRESULT found = SendToItem(dialog, item, CB_FINDSTRINGEXACT, AsWParam(-1), AsLParam(text));
  if (found < 0) return 0;
  SendToItem(dialog, item, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
  return static_cast<int32_t>(found + 1);
}

int32_t FillComboWithWaveNames(HWND dialog, int32_t item, HostWord select1, HostWord select2, int32_t position) {
  return FillComboFromHostList(kMsgWaveNameList, dialog, item, select1, select2, position);
}

int32_t FillComboWithVariableNames(HWND dialog, int32_t item, HostWord select1, HostWord select2, int32_t position) {
  return FillComboFromHostList(kMsgVariableNameList, dialog, item, select1, select2, position);
}

int32_t FillComboWithStringNames(HWND dialog, int32_t item, HostWord select1, HostWord select2, int32_t position) {
  return FillComboFromHostList(kMsgStringNameList, dialog, item, select1, select2, position);
}

// ---------------------------------------------------------------- notifications

int32_t IsItemHitNotification(HWND dialog, int32_t item, int32_t code) {
  HWND control = GetDlgItem(dialog, item);
  if (control == nullptr) return 0;
  char className[kClassNameBufferSize];
  if (GetClassNameA(control, className, kClassNameBufferSize) == 0) return 0;
  if (IsClass(className, "BUTTON") || IsClass(className, "RADIOBUTTON") || IsClass(className, "CHECKBOX"))
    return code == BN_CLICKED ? 1 : 0;
  if (IsClass(className, "COMBOBOX")) {
    if (code == CBN_CLOSEUP) return 1;
    // A change while the list is open counts only when the list closes.
    if (code == CBN_SELCHANGE) return SendMessageA(control, CB_GETDROPPEDSTATE, 0, 0) == 0 ? 1 : 0;
    return 0;
  }
  if (IsClass(className, "EDIT")) return code == EN_CHANGE && settingItemText == 0 ? 1 : 0;
  return 0;
}

// ---------------------------------------------------------------- entries that do nothing

void DialogNoOperation1(void) {}
void DialogNoOperation2(void) {}
void DialogNoOperation3(void) {}
void DialogNoOperation4(void) {}
