// The USER32 test controls of win32sim_control.h over the real USER32, for the Windows build of
// the tests (run under Wine). A dialog is a real "#32770" window made from an in-memory template,
// with its items as real child windows; its procedure records every WM_COMMAND and hands it to
// the test's sink. The user's typing, clicks and keys reach the real controls as the messages
// that input produces (WM_CHAR, BM_CLICK, WM_KEYDOWN, mouse buttons on the list), so every
// notification comes from the controls themselves. Message boxes are answered by a hook that
// presses the queued button on the real box; key states go through SendInput; beeps are counted
// by a patch of the program's own import of MessageBeep, which still calls the real one.
//
// The model's screen-size and window-adoption controls have no counterpart on a real display
// and are not defined here.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "import_slots.h"
#include "win32sim_control.h"

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;       // the static text of a message box
constexpr UINT kMessageBoxDeadlineMs = 10000;   // a box nobody answered is closed after this

struct OwnWindow {
  Win32SimNotificationSink sink;
  POINT clientOrigin{0, 0};  // where the client area starts inside the window
};

struct Controls {
  std::map<HWND, OwnWindow> windows;  // top-level windows and dialogs made by the controls
  std::vector<Win32SimNotification> notifications;
  std::deque<int> answers;
  std::vector<Win32SimMessageBox> boxes;
  std::vector<UINT> beeps;
  std::set<int> keysDown;     // keys the controls hold down
  std::set<int> keysTouched;  // keys the controls pressed since the last reset
  // While a dialog of the controls is being made: its frame, and that it is not a message box.
  bool creatingDialog = false;
  POINT creatingOrigin{0, 0};
  HWND pendingBox = nullptr;  // the message box last answered
  UINT_PTR deadlineTimer = 0;
};

Controls& C() {
  static Controls controls;
  return controls;
}

HINSTANCE ProgramInstance() { return GetModuleHandleA(nullptr); }

bool SameTextNoCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string ClassOf(HWND window) {
  char name[64];
  const int n = GetClassNameA(window, name, sizeof name);
  return n > 0 ? std::string(name, static_cast<size_t>(n)) : std::string();
}

std::string TextOf(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

// Delivers whatever is waiting in this thread's queue, without waiting for more.
void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// ---------------------------------------------------------------- notifications

void RecordCommand(HWND parent, WPARAM wParam, LPARAM lParam) {
  C().notifications.push_back(
      Win32SimNotification{parent, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)});
  auto found = C().windows.find(parent);
  if (found == C().windows.end() || !found->second.sink) return;
  const Win32SimNotificationSink sink = found->second.sink;  // a copy: the sink may replace itself
  sink(parent, WM_COMMAND, wParam, lParam);
}

POINT ClientOriginOf(HWND window) {
  if (C().creatingDialog) return C().creatingOrigin;
  auto found = C().windows.find(window);
  return found == C().windows.end() ? POINT{0, 0} : found->second.clientOrigin;
}

// The client area starts at the layout's origin; the frame is as wide on the right and bottom
// as on the left.
void PlaceClientArea(HWND window, RECT* proposed) {
  const POINT origin = ClientOriginOf(window);
  proposed->left += origin.x;
  proposed->top += origin.y;
  proposed->right = std::max(proposed->left, proposed->right - origin.x);
  proposed->bottom = std::max(proposed->top, proposed->bottom - origin.x);
}

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return FALSE;  // where the focus goes is the test's business
    case WM_NCCALCSIZE:
      // Both forms of the message start with the proposed window rectangle.
      PlaceClientArea(dialog, reinterpret_cast<RECT*>(lParam));
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_COMMAND:
      RecordCommand(dialog, wParam, lParam);
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
      return TRUE;
    default: return FALSE;
  }
}

// The window procedure of the tests' own classes ("QuorClient", "RadioButton", ...).
LRESULT CALLBACK PlainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    RecordCommand(window, wParam, lParam);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A system class, a class registered before, or else one registered now with the plain procedure.
bool EnsureClass(const std::string& className) {
  WNDCLASSA existing;
  if (GetClassInfoA(nullptr, className.c_str(), &existing)) return true;
  if (GetClassInfoA(ProgramInstance(), className.c_str(), &existing)) return true;
  WNDCLASSA plain{};
  plain.lpfnWndProc = PlainWindowProcedure;
  plain.hInstance = ProgramInstance();
  plain.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  plain.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  plain.lpszClassName = className.c_str();
  return RegisterClassA(&plain) != 0;
}

// ---------------------------------------------------------------- items the user can reach

bool IsReachable(HWND item) {
  if (!IsWindowVisible(item)) return false;
  for (HWND w = item; w != nullptr; w = GetParent(w)) {
    if (!IsWindowEnabled(w)) return false;
    if (!(GetWindowLongA(w, GWL_STYLE) & WS_CHILD)) break;
  }
  return true;
}

HWND ReachableItemOfClass(HWND dialog, int id, const char* className) {
  if (dialog == nullptr) return nullptr;
  HWND item = GetDlgItem(dialog, id);
  if (item == nullptr || !SameTextNoCase(ClassOf(item), className) || !IsReachable(item)) return nullptr;
  return item;
}

UINT ComboKind(HWND combo) { return static_cast<UINT>(GetWindowLongA(combo, GWL_STYLE)) & 3u; }
bool IsDropped(HWND combo) { return SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0) != FALSE; }

COMBOBOXINFO ComboParts(HWND combo) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(combo, &info)) info = COMBOBOXINFO{};
  return info;
}

// WM_KEYDOWN as the keyboard produces it: repeat count 1 and the key's scan code.
void PressKeyOn(HWND window, UINT virtualKey) {
  const UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
  SendMessageA(window, WM_KEYDOWN, virtualKey, static_cast<LPARAM>(1u | (scan << 16)));
}

// ---------------------------------------------------------------- message boxes

struct BoxKind {
  UINT type;
  std::vector<int> buttons;  // in the order the box shows them
};

const BoxKind kBoxKinds[] = {
    {MB_OK, {IDOK}},
    {MB_OKCANCEL, {IDOK, IDCANCEL}},
    {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
    {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
    {MB_YESNO, {IDYES, IDNO}},
    {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}},
    {MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},
    // A box of a type of no known kind keeps every button; it reads as type 0xF.
    {MB_TYPEMASK, {IDYES, IDNO, IDABORT, IDRETRY, IDOK, IDCANCEL, IDIGNORE, IDTRYAGAIN, IDCONTINUE}},
};
constexpr int kAllBoxButtons[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE};

// The buttons a box shows (those that exist and carry WS_VISIBLE; the box itself is not shown
// yet when it is answered).
std::vector<int> ShownButtons(HWND box) {
  std::vector<int> shown;
  for (int id : kAllBoxButtons) {
    HWND button = GetDlgItem(box, id);
    if (button != nullptr && (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE)) shown.push_back(id);
  }
  return shown;
}

bool IsMessageBox(HWND window) {
  if (C().creatingDialog || C().windows.count(window) != 0) return false;
  if (ClassOf(window) != "#32770") return false;
  return GetDlgItem(window, kMessageBoxTextId) != nullptr && !ShownButtons(window).empty();
}

// The type as the box shows it: its buttons and which of them is the default.
UINT TypeShownBy(HWND box, int defaultButton) {
  std::vector<int> shown = ShownButtons(box);
  std::sort(shown.begin(), shown.end());
  for (const BoxKind& kind : kBoxKinds) {
    std::vector<int> buttons = kind.buttons;
    std::sort(buttons.begin(), buttons.end());
    if (buttons != shown) continue;
    const auto position = std::find(kind.buttons.begin(), kind.buttons.end(), defaultButton);
    const auto index = static_cast<UINT>(position == kind.buttons.end() ? 0 : position - kind.buttons.begin());
    return kind.type | (index << 8);  // MB_DEFBUTTON1 to MB_DEFBUTTON4
  }
  return 0xFFFFFFFFu;
}

// What Enter answers: the button drawn as the default push button, else the identifier the
// dialog names as its default (IDOK unless set), whether or not the box shows that button.
int DefaultButtonOf(HWND box) {
  for (int id : ShownButtons(box)) {
    if ((GetWindowLongA(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return id;
  }
  const LRESULT definition = SendMessageA(box, DM_GETDEFID, 0, 0);
  return HIWORD(definition) == DC_HASDEFID ? LOWORD(definition) : IDOK;
}

void CALLBACK CloseUnansweredBox(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  if (C().deadlineTimer == timer) C().deadlineTimer = 0;
  HWND box = C().pendingBox;
  C().pendingBox = nullptr;
  if (box != nullptr && IsWindow(box)) {
    std::fprintf(stderr, "win32sim: a message box was not answered within %u ms; closed without an answer\n",
                 kMessageBoxDeadlineMs);
    EndDialog(box, 0);
  }
}

// Called when the box has run WM_INITDIALOG: record what it shows and press the user's answer.
void AnswerMessageBox(HWND box) {
  Controls& c = C();
  Win32SimMessageBox record{};
  record.owner = GetWindow(box, GW_OWNER);
  record.text = TextOf(GetDlgItem(box, kMessageBoxTextId));
  record.caption = TextOf(box);
  const int defaultButton = DefaultButtonOf(box);
  record.type = TypeShownBy(box, defaultButton);
  const std::vector<int> shown = ShownButtons(box);

  if (!c.answers.empty()) {
    const int answer = c.answers.front();
    c.answers.pop_front();
    if (std::find(shown.begin(), shown.end(), answer) != shown.end()) {
      record.answer = answer;
      PostMessageA(GetDlgItem(box, answer), BM_CLICK, 0, 0);  // the user clicks it
    } else {
      // No such button to press: the box goes away without an answer, as one that failed.
      record.answer = 0;
      EndDialog(box, 0);
    }
  } else {
    record.answer = defaultButton;
    PostMessageA(box, WM_KEYDOWN, VK_RETURN, 1);  // the user presses Enter
  }
  c.boxes.push_back(record);

  if (record.answer != 0) {
    if (c.deadlineTimer != 0) KillTimer(nullptr, c.deadlineTimer);
    c.pendingBox = box;
    c.deadlineTimer = SetTimer(nullptr, 0, kMessageBoxDeadlineMs, CloseUnansweredBox);
  }
}

LRESULT CALLBACK AfterWindowProcedure(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (call->message == WM_INITDIALOG && IsMessageBox(call->hwnd)) AnswerMessageBox(call->hwnd);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---------------------------------------------------------------- beeps

using MessageBeepFunction = BOOL(WINAPI*)(UINT);
MessageBeepFunction gRealMessageBeep = nullptr;

BOOL WINAPI RecordedMessageBeep(UINT type) {
  C().beeps.push_back(type);
  return gRealMessageBeep != nullptr ? gRealMessageBeep(type) : TRUE;
}

// Points the program's import of USER32!MessageBeep (if it has one) at RecordedMessageBeep.
void PatchMessageBeepImport() {
  const ULONG_PTR real = ReplaceImport(ProgramInstance(), "USER32.dll", "MessageBeep",
                                       reinterpret_cast<ULONG_PTR>(&RecordedMessageBeep));
  if (real != 0) gRealMessageBeep = reinterpret_cast<MessageBeepFunction>(real);
}

// The hook and the patch are in place before any test runs.
bool InstallHooks() {
  SetWindowsHookExA(WH_CALLWNDPROCRET, AfterWindowProcedure, nullptr, GetCurrentThreadId());
  PatchMessageBeepImport();
  return true;
}
const bool gHooksInstalled = InstallHooks();

// ---------------------------------------------------------------- keys

// The key a test presses for a virtual-key code: the left one of Shift, Ctrl and Alt for their
// generic codes, as the keyboard has no key that sends those.
int KeyOnTheKeyboard(int virtualKey) {
  switch (virtualKey) {
    case VK_SHIFT: return VK_LSHIFT;
    case VK_CONTROL: return VK_LCONTROL;
    case VK_MENU: return VK_LMENU;
    default: return virtualKey;
  }
}

void SendKey(int virtualKey, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = static_cast<WORD>(virtualKey);
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC));
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
  // The keys are for GetAsyncKeyState only: the messages they put into this thread's queue are
  // dropped, so no window acts on them (Alt would open a menu loop).
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
}

void DestroyOwnWindows() {
  std::vector<HWND> own;
  for (const auto& entry : C().windows) own.push_back(entry.first);
  for (HWND window : own) {
    if (IsWindow(window)) DestroyWindow(window);
  }
  C().windows.clear();
}

}  // namespace

// ---------------------------------------------------------------- windows

HWND Win32SimCreateDialog(const Win32SimDialogLayout& layout) {
  (void)gHooksInstalled;
  if (layout.owner != nullptr && !IsWindow(layout.owner)) return nullptr;
  for (const Win32SimItem& item : layout.items) {
    if (item.className.empty() || !EnsureClass(item.className)) return nullptr;
  }

  // An empty template: the items are made below with their rectangles in pixels.
  struct alignas(4) EmptyTemplate {
    DLGTEMPLATE dialog;
    WORD menu;
    WORD windowClass;
    WORD title;
  } tmpl{};
  tmpl.dialog.style = layout.style & ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE);

  Controls& c = C();
  c.creatingDialog = true;
  c.creatingOrigin = layout.clientOrigin;
  HWND dialog = CreateDialogIndirectParamA(ProgramInstance(), &tmpl.dialog, layout.owner, DialogProcedure, 0);
  c.creatingDialog = false;
  if (dialog == nullptr) return nullptr;
  c.windows[dialog].clientOrigin = layout.clientOrigin;
  SetWindowTextA(dialog, layout.caption.c_str());
  const RECT& r = layout.rect;
  SetWindowPos(dialog, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

  for (const Win32SimItem& item : layout.items) {
    const DWORD style = item.style | WS_CHILD | (item.visible ? WS_VISIBLE : 0u);
    const RECT& ir = item.rect;
    HWND control = CreateWindowExA(0, item.className.c_str(), item.text.c_str(), style, ir.left, ir.top,
                                   ir.right - ir.left, ir.bottom - ir.top, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)), ProgramInstance(), nullptr);
    if (control == nullptr) {
      c.windows.erase(dialog);
      DestroyWindow(dialog);
      return nullptr;
    }
  }
  if (layout.style & WS_VISIBLE) ShowWindow(dialog, SW_SHOWNA);
  PumpMessages();
  return dialog;
}

HWND Win32SimCreateWindow(const std::string& className, const RECT& screenRect, DWORD style, const std::string& text) {
  if (className.empty() || !EnsureClass(className)) return nullptr;
  HWND window = CreateWindowExA(0, className.c_str(), text.c_str(), style & ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE),
                                screenRect.left, screenRect.top, screenRect.right - screenRect.left,
                                screenRect.bottom - screenRect.top, nullptr, nullptr, ProgramInstance(), nullptr);
  if (window == nullptr) return nullptr;
  C().windows[window] = OwnWindow{};
  if (style & WS_VISIBLE) ShowWindow(window, SW_SHOWNA);
  PumpMessages();
  return window;
}

void Win32SimDestroyWindow(HWND window) {
  C().windows.erase(window);
  if (window != nullptr && IsWindow(window)) DestroyWindow(window);
  PumpMessages();
}

bool Win32SimIsWindow(HWND window) { return window != nullptr && IsWindow(window) != FALSE; }

void Win32SimResetUser32() {
  DestroyOwnWindows();
  Win32SimResetKeys();
  Controls& c = C();
  c.notifications.clear();
  c.answers.clear();
  c.boxes.clear();
  c.beeps.clear();
  PumpMessages();
}

// ---------------------------------------------------------------- notifications

void Win32SimSetNotificationSink(HWND parent, Win32SimNotificationSink sink) {
  auto found = C().windows.find(parent);
  if (found != C().windows.end()) found->second.sink = std::move(sink);
}

std::vector<Win32SimNotification> Win32SimNotifications() { return C().notifications; }

void Win32SimClearNotifications() { C().notifications.clear(); }

// ---------------------------------------------------------------- the user

bool Win32SimTypeText(HWND dialog, int id, const std::string& keys) {
  if (dialog == nullptr) return false;
  HWND item = GetDlgItem(dialog, id);
  if (item == nullptr || !IsReachable(item)) return false;
  const std::string className = ClassOf(item);
  HWND field = nullptr;
  bool takesText = true;
  if (SameTextNoCase(className, "Edit")) {
    field = item;
    takesText = (GetWindowLongA(item, GWL_STYLE) & ES_READONLY) == 0;
  } else if (SameTextNoCase(className, "ComboBox") && ComboKind(item) != CBS_DROPDOWNLIST) {
    field = ComboParts(item).hwndItem;
  }
  if (field == nullptr) return false;
  SetFocus(item);  // a combo box hands the focus on to its edit field
  for (char key : keys) {
    // WM_CHAR is what the keyboard produces for a character; '\b' is the backspace key's.
    SendMessageA(field, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(key)), 1);
  }
  PumpMessages();
  return takesText;
}

bool Win32SimClickButton(HWND dialog, int id) {
  HWND button = ReachableItemOfClass(dialog, id, "Button");
  if (button == nullptr) return false;
  SendMessageA(button, BM_CLICK, 0, 0);  // the button's own mouse-down and mouse-up
  PumpMessages();
  return true;
}

bool Win32SimComboDropDown(HWND dialog, int id) {
  HWND combo = ReachableItemOfClass(dialog, id, "ComboBox");
  if (combo == nullptr || ComboKind(combo) == CBS_SIMPLE || IsDropped(combo)) return false;
  SetFocus(combo);
  PressKeyOn(combo, VK_F4);
  PumpMessages();
  return true;
}

bool Win32SimComboCloseUp(HWND dialog, int id, bool accept) {
  HWND combo = ReachableItemOfClass(dialog, id, "ComboBox");
  if (combo == nullptr || !IsDropped(combo)) return false;
  PressKeyOn(combo, accept ? VK_RETURN : VK_ESCAPE);
  PumpMessages();
  return true;
}

bool Win32SimComboArrowKeys(HWND dialog, int id, int steps) {
  HWND combo = ReachableItemOfClass(dialog, id, "ComboBox");
  if (combo == nullptr) return false;
  SetFocus(combo);
  const UINT key = steps > 0 ? VK_DOWN : VK_UP;
  for (int i = 0; i < std::abs(steps); ++i) {
    if (!IsWindow(combo)) return false;
    PressKeyOn(combo, key);
  }
  PumpMessages();
  return true;
}

bool Win32SimComboClickItem(HWND dialog, int id, int index) {
  HWND combo = ReachableItemOfClass(dialog, id, "ComboBox");
  if (combo == nullptr) return false;
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  if (index < 0 || index >= count) return false;
  if (ComboKind(combo) != CBS_SIMPLE && !IsDropped(combo)) return false;  // the list is not on screen
  HWND list = ComboParts(combo).hwndList;
  if (list == nullptr) return false;
  RECT client{};
  GetClientRect(list, &client);
  RECT itemRect{};
  SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&itemRect));
  if (itemRect.top < client.top || itemRect.bottom > client.bottom) {
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);  // the user scrolls to it
    SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&itemRect));
  }
  const LPARAM point = MAKELPARAM((itemRect.left + itemRect.right) / 2, (itemRect.top + itemRect.bottom) / 2);
  SendMessageA(list, WM_MOUSEMOVE, 0, point);
  SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageA(list, WM_LBUTTONUP, 0, point);
  PumpMessages();
  return true;
}

// ---------------------------------------------------------------- keys

void Win32SimSetKeyDown(int virtualKey, bool down) {
  if (virtualKey < 0 || virtualKey > 255) return;
  virtualKey = KeyOnTheKeyboard(virtualKey);
  Controls& c = C();
  const bool isDown = c.keysDown.count(virtualKey) != 0;
  if (down == isDown) return;  // held keys are not pressed again
  SendKey(virtualKey, down);
  if (down) {
    c.keysDown.insert(virtualKey);
    c.keysTouched.insert(virtualKey);
  } else {
    c.keysDown.erase(virtualKey);
  }
}

void Win32SimTapKey(int virtualKey) {
  Win32SimSetKeyDown(virtualKey, true);
  Win32SimSetKeyDown(virtualKey, false);
}

void Win32SimResetKeys() {
  Controls& c = C();
  const std::set<int> held = c.keysDown;
  for (int key : held) Win32SimSetKeyDown(key, false);
  // Reading a key clears its "pressed since the last query" bit.
  for (int key : c.keysTouched) GetAsyncKeyState(key);
  c.keysTouched.clear();
}

// ---------------------------------------------------------------- message boxes and beeps

void Win32SimQueueMessageBoxAnswer(int answer) { C().answers.push_back(answer); }

std::vector<Win32SimMessageBox> Win32SimMessageBoxes() { return C().boxes; }

std::vector<UINT> Win32SimBeeps() { return C().beeps; }
