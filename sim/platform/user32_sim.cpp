// The USER32 calls of the platform stand-in: windows and dialog items behind HWND handles, the
// messages of the edit, button and combo box classes with the notifications Win32 sends for
// them, focus, visibility, enabling, rectangles and placement, message boxes, beeps and the
// asynchronous key state, with the controls that let tests act as the user. It holds what the
// dialog helpers and their fuzzer use; Wine's USER32 is the reference for the rest.
//
// Where Win32 leaves a choice to the class, the model does what the system classes do (checked
// against Wine's USER32 by the same test cases): an edit reports a WM_SETTEXT with EN_UPDATE and
// EN_CHANGE, CB_SETCURSEL sends no notification, a click in an open list closes it
// (CBN_SELENDOK, CBN_CLOSEUP) before CBN_SELCHANGE, every arrow key in a combo box reports
// CBN_SELCHANGE (after CBN_SELENDOK while the list is closed) even where the selection stays, a
// combo box that loses the focus ends its selection with CBN_SELENDCANCEL, a dialog that gets
// the focus hands it on to its first item, and an edit combo box shows the new item's text only
// after CBN_SELCHANGE. A maximized window keeps its normal rectangle (placement reports the
// state).
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hostlink/win32_subset.h"
#include "win32sim_control.h"

namespace {

enum class Kind { Plain, Dialog, Edit, Button, ComboBox };

struct SystemClass {
  const char* name;  // the case Win32 registers the class with, which GetClassNameA reports
  Kind kind;
};
constexpr SystemClass kSystemClasses[] = {
    {"Button", Kind::Button}, {"Edit", Kind::Edit}, {"ComboBox", Kind::ComboBox},
    {"Static", Kind::Plain},  {"#32770", Kind::Dialog},
};

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Plain;
  std::string className;
  HWND parent = nullptr;
  int id = 0;
  DWORD style = 0;
  RECT rect{};             // top-level: screen coordinates; item: the parent's client coordinates
  POINT clientOrigin{};    // the client area's top-left corner inside the window
  std::string text;        // window text; an edit's contents; the edit field of a combo box
  std::vector<HWND> children;  // creation order
  Win32SimNotificationSink sink;
  // Edit (and the edit field of a combo box): selection anchor and caret, in characters.
  size_t anchor = 0;
  size_t caret = 0;
  // Button
  UINT check = BST_UNCHECKED;
  // Combo box
  std::vector<std::string> items;
  int selected = -1;
  int caretItem = 0;  // the list's focus item, where the arrow keys move on from
  bool dropped = false;
};

constexpr int kDefaultScreenWidth = 1280;
constexpr int kDefaultFullScreenHeight = 977;  // a 1024-line screen less the caption and task bar
constexpr uintptr_t kFirstWindowHandle = 0x10010;
constexpr uintptr_t kWindowHandleStep = 4;

struct User32 {
  std::recursive_mutex mutex;  // recursive: a sink may call back in while a message runs
  std::map<HWND, std::unique_ptr<Window>> windows;
  uintptr_t nextHandle = kFirstWindowHandle;
  HWND focus = nullptr;
  std::vector<Win32SimNotification> notifications;
  std::deque<int> answers;
  std::vector<Win32SimMessageBox> boxes;
  std::vector<UINT> beeps;
  std::array<bool, 256> keyDown{};
  std::array<bool, 256> keyPressedSinceQuery{};
  int fullScreenWidth = kDefaultScreenWidth;
  int fullScreenHeight = kDefaultFullScreenHeight;
};

User32& U() {
  static User32 user32;
  return user32;
}

using Lock = std::lock_guard<std::recursive_mutex>;

Window* Find(HWND handle) {
  if (handle == nullptr) return nullptr;
  auto found = U().windows.find(handle);
  return found == U().windows.end() ? nullptr : found->second.get();
}

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

// wParam and lParam as the 32-bit int that Win32 reads from them.
int AsInt(uintptr_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

const char* AsText(LPARAM lParam) { return reinterpret_cast<const char*>(lParam); }

HWND NextWindowHandle() {
  User32& u = U();
  HWND handle;
  do {
    handle = reinterpret_cast<HWND>(u.nextHandle);
    u.nextHandle += kWindowHandleStep;
  } while (Find(handle) != nullptr);
  return handle;
}

Window* AddWindow(const std::string& className, HWND parent, int id, DWORD style, const RECT& rect,
                  const std::string& text, HWND handle = nullptr) {
  auto w = std::make_unique<Window>();
  w->handle = handle != nullptr ? handle : NextWindowHandle();
  w->className = className;
  for (const SystemClass& c : kSystemClasses) {
    if (SameTextNoCase(className, c.name)) {
      w->className = c.name;
      w->kind = c.kind;
    }
  }
  w->parent = parent;
  w->id = id;
  w->style = style;
  w->rect = rect;
  w->text = text;
  if (w->kind == Kind::ComboBox && (style & 3u) == CBS_DROPDOWNLIST) w->text.clear();
  Window* raw = w.get();
  U().windows[raw->handle] = std::move(w);
  if (Window* p = Find(parent)) p->children.push_back(raw->handle);
  return raw;
}

bool IsChildStyle(const Window& w) { return (w.style & WS_CHILD) != 0; }

// ---------------------------------------------------------------- coordinates

LONG Wrap(int64_t value) { return static_cast<LONG>(value); }  // modular, as 32-bit arithmetic

POINT ClientOriginOnScreen(const Window& w);

RECT ScreenRect(const Window& w) {
  RECT r = w.rect;
  if (const Window* p = Find(w.parent)) {
    const POINT origin = ClientOriginOnScreen(*p);
    r.left = Wrap(int64_t{r.left} + origin.x);
    r.right = Wrap(int64_t{r.right} + origin.x);
    r.top = Wrap(int64_t{r.top} + origin.y);
    r.bottom = Wrap(int64_t{r.bottom} + origin.y);
  }
  return r;
}

POINT ClientOriginOnScreen(const Window& w) {
  const RECT r = ScreenRect(w);
  return POINT{Wrap(int64_t{r.left} + w.clientOrigin.x), Wrap(int64_t{r.top} + w.clientOrigin.y)};
}

// ---------------------------------------------------------------- notifications

// WM_COMMAND to the item's parent: recorded, then handed to the parent's sink on the spot.
void Notify(HWND control, UINT code) {
  Window* w = Find(control);
  if (w == nullptr || w->parent == nullptr) return;
  Window* parent = Find(w->parent);
  if (parent == nullptr) return;
  U().notifications.push_back(Win32SimNotification{parent->handle, w->id, code, control});
  Win32SimNotificationSink sink = parent->sink;  // a copy: the sink may replace or destroy it
  if (sink) sink(parent->handle, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(control));
}

// ---------------------------------------------------------------- focus, visibility, enabling

bool CanTakeFocus(const Window* w) {
  for (; w != nullptr; w = Find(w->parent)) {
    if (w->style & WS_DISABLED) return false;
    if (!IsChildStyle(*w)) break;
  }
  return true;
}

void RollUpList(HWND handle, bool accept);

void NotifyFocus(HWND handle, bool gained) {
  const Window* w = Find(handle);
  if (w == nullptr) return;
  switch (w->kind) {
    case Kind::Edit: Notify(handle, gained ? EN_SETFOCUS : EN_KILLFOCUS); break;
    case Kind::ComboBox:
      // Losing the focus ends the selection as Escape does, closing an open list.
      if (!gained) RollUpList(handle, false);
      Notify(handle, gained ? CBN_SETFOCUS : CBN_KILLFOCUS);
      break;
    case Kind::Button:
      if (w->style & BS_NOTIFY) Notify(handle, gained ? BN_SETFOCUS : BN_KILLFOCUS);
      break;
    default: break;
  }
}

bool TakesPartInDialogNavigation(const Window& w) { return (w.style & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE; }

// The item a dialog hands the focus on to: the first visible and enabled one with WS_TABSTOP,
// else the first visible and enabled one, else its first item whatever its state (a hidden item
// takes the focus, a disabled one refuses it); null when it has no items.
HWND DialogFocusItem(const Window& dialog) {
  for (HWND child : dialog.children) {
    const Window* c = Find(child);
    if (TakesPartInDialogNavigation(*c) && (c->style & WS_TABSTOP)) return child;
  }
  for (HWND child : dialog.children) {
    if (TakesPartInDialogNavigation(*Find(child))) return child;
  }
  return dialog.children.empty() ? nullptr : dialog.children.front();
}

void SelectAllText(Window& w);

HWND SetFocusTo(HWND handle) {
  User32& u = U();
  const HWND previous = u.focus;
  if (handle != nullptr) {
    Window* w = Find(handle);
    if (w == nullptr || !CanTakeFocus(w)) return nullptr;
    if (handle == previous) return previous;
  }
  u.focus = handle;
  NotifyFocus(previous, false);
  NotifyFocus(handle, true);
  // A dialog that gets the focus hands it on to an item; an edit item gets its text selected.
  const Window* w = Find(handle);
  if (w != nullptr && w->kind == Kind::Dialog && u.focus == handle) {
    if (Window* item = Find(DialogFocusItem(*w))) {
      if (item->kind == Kind::Edit) SelectAllText(*item);
      SetFocusTo(item->handle);
    }
  }
  return previous;
}

bool IsVisibleChain(const Window* w) {
  for (; w != nullptr; w = Find(w->parent)) {
    if (!(w->style & WS_VISIBLE)) return false;
  }
  return true;
}

bool IsEnabledChain(const Window* w) {
  for (; w != nullptr; w = Find(w->parent)) {
    if (w->style & WS_DISABLED) return false;
  }
  return true;
}

bool IsAncestorOf(HWND ancestor, HWND handle) {
  for (const Window* w = Find(handle); w != nullptr; w = Find(w->parent)) {
    if (w->parent == ancestor) return true;
  }
  return false;
}

BOOL ShowWindowImpl(HWND handle, int command) {
  Window* w = Find(handle);
  if (w == nullptr) return FALSE;
  const BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
  switch (command) {
    case SW_HIDE:
      w->style &= ~WS_VISIBLE;
      // A hidden window cannot keep the focus: it goes to the parent.
      if (U().focus == handle || IsAncestorOf(handle, U().focus)) SetFocusTo(w->parent);
      break;
    case SW_SHOWNORMAL: w->style = (w->style & ~WS_MAXIMIZE) | WS_VISIBLE; break;
    case SW_SHOWMAXIMIZED: w->style |= WS_MAXIMIZE | WS_VISIBLE; break;
    case SW_SHOW: w->style |= WS_VISIBLE; break;  // as it is, only visible
    default: break;  // the other commands (minimizing among them) change nothing
  }
  return wasVisible;
}

void DestroyTree(HWND handle) {
  Window* w = Find(handle);
  if (w == nullptr) return;
  const std::vector<HWND> children = w->children;
  for (HWND child : children) DestroyTree(child);
  if (Window* p = Find(w->parent)) std::erase(p->children, handle);
  if (U().focus == handle) U().focus = nullptr;
  U().windows.erase(handle);
}

// ---------------------------------------------------------------- text

LRESULT CopyTextOut(const std::string& text, WPARAM capacity, LPARAM buffer) {
  char* out = reinterpret_cast<char*>(buffer);
  const auto room = static_cast<size_t>(static_cast<uint32_t>(AsInt(capacity)));
  if (out == nullptr || AsInt(capacity) <= 0) return 0;
  const size_t n = std::min(text.size(), room - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<LRESULT>(n);
}

// ---------------------------------------------------------------- edit

size_t SelectionLow(const Window& w) { return std::min(w.anchor, w.caret); }
size_t SelectionHigh(const Window& w) { return std::max(w.anchor, w.caret); }

void SelectAllText(Window& w) {
  w.anchor = 0;
  w.caret = w.text.size();
}

void SetEditText(Window& w, const char* text) {
  w.text = text != nullptr ? text : "";
  w.anchor = w.caret = 0;
}

// EM_SETSEL: -1 as the start removes the selection (the caret stays); any other position past
// the end (also -1 as the end) means the end. A start after the end is kept as given.
void SetEditSelection(Window& w, WPARAM start, LPARAM end) {
  const auto s = static_cast<uint32_t>(AsInt(start));
  const auto e = static_cast<uint32_t>(AsInt(static_cast<uintptr_t>(end)));
  if (s == UINT32_MAX) {
    w.anchor = w.caret;
    return;
  }
  w.anchor = std::min<size_t>(s, w.text.size());
  w.caret = std::min<size_t>(e, w.text.size());
}

LRESULT EditMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      SetEditText(w, AsText(lParam));
      const HWND handle = w.handle;
      Notify(handle, EN_UPDATE);
      Notify(handle, EN_CHANGE);
      return TRUE;
    }
    case WM_GETTEXT: return CopyTextOut(w.text, wParam, lParam);
    case EM_SETSEL: SetEditSelection(w, wParam, lParam); return 0;
    case EM_GETSEL: {
      const auto low = static_cast<DWORD>(SelectionLow(w));
      const auto high = static_cast<DWORD>(SelectionHigh(w));
      if (auto* out = reinterpret_cast<DWORD*>(wParam)) *out = low;
      if (auto* out = reinterpret_cast<DWORD*>(lParam)) *out = high;
      return (low > 0xFFFF || high > 0xFFFF) ? -1 : static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(low, high)));
    }
    default: return 0;
  }
}

// One key typed into an edit field; true when the text changed.
bool TypeKey(Window& w, char key) {
  const size_t low = SelectionLow(w);
  const size_t high = SelectionHigh(w);
  if (key == '\b') {
    if (low != high) {
      w.text.erase(low, high - low);
      w.anchor = w.caret = low;
    } else if (low > 0) {
      w.text.erase(low - 1, 1);
      w.anchor = w.caret = low - 1;
    } else {
      return false;
    }
    return true;
  }
  w.text.replace(low, high - low, 1, key);
  w.anchor = w.caret = low + 1;
  return true;
}

// ---------------------------------------------------------------- button

UINT ButtonType(const Window& w) { return w.style & BS_TYPEMASK; }

UINT MaxCheckState(const Window& w) {
  switch (ButtonType(w)) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return BST_CHECKED;
    case BS_3STATE:
    case BS_AUTO3STATE: return BST_INDETERMINATE;
    default: return BST_UNCHECKED;  // push buttons, group boxes and the rest keep no check
  }
}

void ClickButton(Window& w) {
  switch (ButtonType(w)) {
    case BS_AUTOCHECKBOX: w.check = (w.check & BST_CHECKED) ? BST_UNCHECKED : BST_CHECKED; break;
    case BS_AUTO3STATE: w.check = (w.check & BST_INDETERMINATE) ? BST_UNCHECKED : (w.check & 3u) + 1; break;
    default: break;
  }
  Notify(w.handle, BN_CLICKED);
}

LRESULT ButtonMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: w.text = AsText(lParam) != nullptr ? AsText(lParam) : ""; return TRUE;
    case WM_GETTEXT: return CopyTextOut(w.text, wParam, lParam);
    case BM_GETCHECK: return static_cast<LRESULT>(w.check & 3u);
    case BM_SETCHECK: {
      const auto state = static_cast<uint32_t>(AsInt(wParam));
      w.check = std::min<UINT>(state, MaxCheckState(w));
      return 0;
    }
    case BM_CLICK: {
      // The button's own mouse-down takes the focus (which a disabled button refuses) and its
      // mouse-up clicks: the click happens whether the button is enabled or not.
      const HWND handle = w.handle;
      SetFocusTo(handle);
      if (Window* button = Find(handle)) ClickButton(*button);
      return 0;
    }
    default: return 0;
  }
}

// ---------------------------------------------------------------- combo box

UINT ComboKind(const Window& w) { return w.style & 3u; }
bool HasEditField(const Window& w) { return ComboKind(w) == CBS_SIMPLE || ComboKind(w) == CBS_DROPDOWN; }

// What the edit field shows for the selection.
void ShowSelectionInEdit(Window& w) {
  if (!HasEditField(w)) return;
  w.text = w.selected >= 0 ? w.items[static_cast<size_t>(w.selected)] : std::string();
  w.anchor = 0;
  w.caret = w.text.size();
}

LRESULT InsertComboItem(Window& w, int index, const char* text) {
  if (text == nullptr) return CB_ERR;
  const int count = static_cast<int>(w.items.size());
  if (index == -1) index = count;
  if (index < 0 || index > count) return CB_ERR;
  w.items.insert(w.items.begin() + index, text);
  if (w.selected >= index) ++w.selected;
  return index;
}

// Ends the selection of a combo box with a list that drops down, accepted (CBN_SELENDOK) or
// not (CBN_SELENDCANCEL), open or closed; an open list then closes (CBN_CLOSEUP).
void RollUpList(HWND handle, bool accept) {
  Window* w = Find(handle);
  if (w == nullptr || ComboKind(*w) == CBS_SIMPLE) return;
  Notify(handle, accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
  if ((w = Find(handle)) == nullptr || !w->dropped) return;
  w->dropped = false;
  Notify(handle, CBN_CLOSEUP);
}

void OpenList(HWND handle) {
  Notify(handle, CBN_DROPDOWN);
  if (Window* w = Find(handle)) w->dropped = true;
}

// The user changed the selection to `index` (arrow keys or a click); `rollUp` ends the selection
// first, which closes an open list.
void UserSelect(HWND handle, int index, bool rollUp) {
  Window* w = Find(handle);
  if (w == nullptr) return;
  w->selected = index;
  w->caretItem = index;
  if (rollUp) RollUpList(handle, true);
  Notify(handle, CBN_SELCHANGE);
  if ((w = Find(handle)) != nullptr) ShowSelectionInEdit(*w);
}

LRESULT ComboMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const int count = static_cast<int>(w.items.size());
  switch (message) {
    case WM_SETTEXT:
      if (!HasEditField(w)) return CB_ERR;
      SetEditText(w, AsText(lParam));  // the combo box's own edit field reports nothing
      return TRUE;
    case WM_GETTEXT:
      if (HasEditField(w)) return CopyTextOut(w.text, wParam, lParam);
      return CopyTextOut(w.selected >= 0 ? w.items[static_cast<size_t>(w.selected)] : std::string(), wParam, lParam);
    case CB_ADDSTRING: return InsertComboItem(w, count, AsText(lParam));
    case CB_INSERTSTRING: return InsertComboItem(w, AsInt(wParam), AsText(lParam));
    case CB_DELETESTRING: {
      const int index = AsInt(wParam);
      if (index < 0 || index >= count) return CB_ERR;
      w.items.erase(w.items.begin() + index);
      if (w.selected == index) {
        w.selected = -1;
      } else if (w.selected > index) {
        --w.selected;
      }
      w.caretItem = std::clamp(w.caretItem, 0, std::max(count - 2, 0));
      return count - 1;
    }
    case CB_RESETCONTENT:
      w.items.clear();
      w.selected = -1;
      w.caretItem = 0;
      if (HasEditField(w)) SetEditText(w, "");
      return CB_OKAY;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return w.selected;
    case CB_SETCURSEL: {
      // -1 clears the selection; any other index outside the list leaves it as it is. Either
      // way the edit field shows the selected item again.
      const int index = AsInt(wParam);
      if (index >= 0 && index < count) {
        w.selected = index;
        w.caretItem = index;
      } else if (index == -1) {
        w.selected = -1;
      }
      ShowSelectionInEdit(w);
      return index >= 0 && index < count ? index : CB_ERR;
    }
    case CB_GETLBTEXT: {
      const int index = AsInt(wParam);
      char* out = reinterpret_cast<char*>(lParam);
      if (index < 0 || index >= count || out == nullptr) return CB_ERR;
      const std::string& item = w.items[static_cast<size_t>(index)];
      std::memcpy(out, item.c_str(), item.size() + 1);  // the caller's buffer must hold it all
      return static_cast<LRESULT>(item.size());
    }
    case CB_GETLBTEXTLEN: {
      const int index = AsInt(wParam);
      if (index < 0 || index >= count) return CB_ERR;
      return static_cast<LRESULT>(w.items[static_cast<size_t>(index)].size());
    }
    case CB_FINDSTRINGEXACT: {
      const char* text = AsText(lParam);
      if (text == nullptr || count == 0) return CB_ERR;
      int start = AsInt(wParam);
      if (start < -1 || start >= count) start = -1;
      // From the item after `start` to the end, then from the top back to `start` itself.
      for (int i = 1; i <= count; ++i) {
        const int index = (start + i) % count;
        if (SameTextNoCase(w.items[static_cast<size_t>(index)], text)) return index;
      }
      return CB_ERR;
    }
    case CB_GETDROPPEDSTATE: return w.dropped ? TRUE : FALSE;
    default: return 0;
  }
}

LRESULT PlainMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: w.text = AsText(lParam) != nullptr ? AsText(lParam) : ""; return TRUE;
    case WM_GETTEXT: return CopyTextOut(w.text, wParam, lParam);
    default: return 0;
  }
}

LRESULT Dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(handle);
  if (w == nullptr) return 0;
  switch (w->kind) {
    case Kind::Edit: return EditMessage(*w, message, wParam, lParam);
    case Kind::Button: return ButtonMessage(*w, message, wParam, lParam);
    case Kind::ComboBox: return ComboMessage(*w, message, wParam, lParam);
    default: return PlainMessage(*w, message, wParam, lParam);
  }
}

HWND FindItem(HWND dialog, int id) {
  const Window* d = Find(dialog);
  if (d == nullptr) return nullptr;
  for (HWND child : d->children) {
    if (Find(child)->id == id) return child;
  }
  return nullptr;
}

// An item the user can reach: it exists, is visible and enabled, its dialog too.
Window* UserReachableItem(HWND dialog, int id, Kind kind) {
  Window* w = Find(FindItem(dialog, id));
  if (w == nullptr || w->kind != kind || !IsVisibleChain(w) || !IsEnabledChain(w)) return nullptr;
  return w;
}

// Shift, Ctrl and Alt are two keys each on the keyboard; the generic key codes stand for both.
struct SideKeys {
  int generic;
  int left;
  int right;
};
constexpr SideKeys kSideKeys[] = {
    {VK_SHIFT, VK_LSHIFT, VK_RSHIFT}, {VK_CONTROL, VK_LCONTROL, VK_RCONTROL}, {VK_MENU, VK_LMENU, VK_RMENU}};

const SideKeys* SidesOf(int virtualKey) {
  for (const SideKeys& s : kSideKeys) {
    if (s.generic == virtualKey) return &s;
  }
  return nullptr;
}

// The key a test presses for a virtual-key code: the left one for a generic code.
int KeyOnTheKeyboard(int virtualKey) {
  const SideKeys* sides = SidesOf(virtualKey);
  return sides != nullptr ? sides->left : virtualKey;
}

// The buttons of the message box kinds the dialog helpers show, in order, and the answer each
// gives; any other kind is taken for MB_OK.
std::vector<int> MessageBoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    default: return {IDOK};
  }
}

// The top-level window a window belongs to: message boxes are owned by it.
HWND TopLevelOf(HWND handle) {
  const Window* w = Find(handle);
  while (w != nullptr && IsChildStyle(*w) && Find(w->parent) != nullptr) w = Find(w->parent);
  return w != nullptr ? w->handle : nullptr;
}

}  // namespace

// ---------------------------------------------------------------- controls

HWND Win32SimCreateDialog(const Win32SimDialogLayout& layout) {
  Lock lock(U().mutex);
  if (layout.owner != nullptr && Find(layout.owner) == nullptr) return nullptr;
  for (const Win32SimItem& item : layout.items) {
    if (item.className.empty()) return nullptr;
  }
  Window* dialog = AddWindow("#32770", nullptr, 0, layout.style & ~WS_CHILD, layout.rect, layout.caption);
  dialog->clientOrigin = layout.clientOrigin;
  const HWND handle = dialog->handle;
  for (const Win32SimItem& item : layout.items) {
    const DWORD style = item.style | WS_CHILD | (item.visible ? WS_VISIBLE : 0u);
    AddWindow(item.className, handle, item.id, style, item.rect, item.text);
  }
  return handle;
}

HWND Win32SimCreateWindow(const std::string& className, const RECT& screenRect, DWORD style, const std::string& text) {
  Lock lock(U().mutex);
  if (className.empty()) return nullptr;
  return AddWindow(className, nullptr, 0, style & ~WS_CHILD, screenRect, text)->handle;
}

bool Win32SimAdoptWindow(HWND handle, const std::string& className, const RECT& screenRect, DWORD style) {
  Lock lock(U().mutex);
  if (handle == nullptr || Find(handle) != nullptr || className.empty()) return false;
  AddWindow(className, nullptr, 0, style & ~WS_CHILD, screenRect, {}, handle);
  return true;
}

void Win32SimDestroyWindow(HWND window) {
  Lock lock(U().mutex);
  DestroyTree(window);
}

bool Win32SimIsWindow(HWND window) {
  Lock lock(U().mutex);
  return Find(window) != nullptr;
}

void Win32SimResetUser32() {
  Lock lock(U().mutex);
  User32& u = U();
  u.windows.clear();
  u.nextHandle = kFirstWindowHandle;
  u.focus = nullptr;
  u.notifications.clear();
  u.answers.clear();
  u.boxes.clear();
  u.beeps.clear();
  u.keyDown.fill(false);
  u.keyPressedSinceQuery.fill(false);
  u.fullScreenWidth = kDefaultScreenWidth;
  u.fullScreenHeight = kDefaultFullScreenHeight;
}

void Win32SimSetNotificationSink(HWND parent, Win32SimNotificationSink sink) {
  Lock lock(U().mutex);
  if (Window* w = Find(parent)) w->sink = std::move(sink);
}

std::vector<Win32SimNotification> Win32SimNotifications() {
  Lock lock(U().mutex);
  return U().notifications;
}

void Win32SimClearNotifications() {
  Lock lock(U().mutex);
  U().notifications.clear();
}

bool Win32SimTypeText(HWND dialog, int id, const std::string& keys) {
  Lock lock(U().mutex);
  Window* w = Find(FindItem(dialog, id));
  if (w == nullptr || !IsVisibleChain(w) || !IsEnabledChain(w)) return false;
  const bool edit = w->kind == Kind::Edit;
  if (!edit && !(w->kind == Kind::ComboBox && HasEditField(*w))) return false;
  const HWND handle = w->handle;
  SetFocusTo(handle);
  for (char key : keys) {
    if ((w = Find(handle)) == nullptr) return false;
    if (!TypeKey(*w, key)) continue;
    Notify(handle, edit ? EN_UPDATE : CBN_EDITUPDATE);
    Notify(handle, edit ? EN_CHANGE : CBN_EDITCHANGE);
  }
  return true;
}

bool Win32SimClickButton(HWND dialog, int id) {
  Lock lock(U().mutex);
  Window* w = UserReachableItem(dialog, id, Kind::Button);
  if (w == nullptr) return false;
  Dispatch(w->handle, BM_CLICK, 0, 0);
  return true;
}

bool Win32SimComboDropDown(HWND dialog, int id) {
  Lock lock(U().mutex);
  Window* w = UserReachableItem(dialog, id, Kind::ComboBox);
  if (w == nullptr || ComboKind(*w) == CBS_SIMPLE || w->dropped) return false;
  const HWND handle = w->handle;
  SetFocusTo(handle);
  OpenList(handle);
  return true;
}

bool Win32SimComboCloseUp(HWND dialog, int id, bool accept) {
  Lock lock(U().mutex);
  Window* w = UserReachableItem(dialog, id, Kind::ComboBox);
  if (w == nullptr || !w->dropped) return false;
  RollUpList(w->handle, accept);
  return true;
}

bool Win32SimComboArrowKeys(HWND dialog, int id, int steps) {
  Lock lock(U().mutex);
  Window* w = UserReachableItem(dialog, id, Kind::ComboBox);
  if (w == nullptr) return false;
  const HWND handle = w->handle;
  SetFocusTo(handle);
  const int step = steps > 0 ? 1 : -1;
  for (int i = 0; i != steps; i += step) {
    if ((w = Find(handle)) == nullptr) return false;
    const int count = static_cast<int>(w->items.size());
    if (count == 0) break;
    // With nothing selected a key selects the list's focus item; otherwise it moves on from it.
    const int from = std::clamp(w->caretItem, 0, count - 1);
    const int next = w->selected < 0 ? from : std::clamp(from + step, 0, count - 1);
    UserSelect(handle, next, !w->dropped);  // reported also when it stays where it was
  }
  return true;
}

bool Win32SimComboClickItem(HWND dialog, int id, int index) {
  Lock lock(U().mutex);
  Window* w = UserReachableItem(dialog, id, Kind::ComboBox);
  if (w == nullptr || index < 0 || index >= static_cast<int>(w->items.size())) return false;
  if (!w->dropped && ComboKind(*w) != CBS_SIMPLE) return false;  // the list is not on screen
  UserSelect(w->handle, index, true);
  return true;
}

void Win32SimSetKeyDown(int virtualKey, bool down) {
  Lock lock(U().mutex);
  if (virtualKey < 0 || virtualKey > 255) return;
  const auto key = static_cast<size_t>(KeyOnTheKeyboard(virtualKey));
  if (down && !U().keyDown[key]) U().keyPressedSinceQuery[key] = true;
  U().keyDown[key] = down;
}

void Win32SimTapKey(int virtualKey) {
  Win32SimSetKeyDown(virtualKey, true);
  Win32SimSetKeyDown(virtualKey, false);
}

void Win32SimResetKeys() {
  Lock lock(U().mutex);
  U().keyDown.fill(false);
  U().keyPressedSinceQuery.fill(false);
}

void Win32SimQueueMessageBoxAnswer(int answer) {
  Lock lock(U().mutex);
  U().answers.push_back(answer);
}

std::vector<Win32SimMessageBox> Win32SimMessageBoxes() {
  Lock lock(U().mutex);
  return U().boxes;
}

std::vector<UINT> Win32SimBeeps() {
  Lock lock(U().mutex);
  return U().beeps;
}

void Win32SimSetFullScreenSize(int width, int height) {
  Lock lock(U().mutex);
  U().fullScreenWidth = width;
  U().fullScreenHeight = height;
}

// ---------------------------------------------------------------- USER32

extern "C" {

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  Lock lock(U().mutex);
  return FindItem(dialog, id);
}

int WINAPI GetClassNameA(HWND window, LPSTR className, int maxCount) {
  Lock lock(U().mutex);
  const Window* w = Find(window);
  if (w == nullptr || className == nullptr || maxCount <= 0) return 0;
  const size_t n = std::min(w->className.size(), static_cast<size_t>(maxCount) - 1);
  std::memcpy(className, w->className.data(), n);
  className[n] = '\0';
  return static_cast<int>(n);
}

LONG WINAPI GetWindowLongA(HWND window, int index) {
  Lock lock(U().mutex);
  const Window* w = Find(window);
  if (w == nullptr) return 0;
  return index == GWL_STYLE ? static_cast<LONG>(w->style) : 0;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(U().mutex);
  return Dispatch(window, message, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(U().mutex);
  const HWND item = FindItem(dialog, id);
  return item == nullptr ? 0 : Dispatch(item, message, wParam, lParam);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  Lock lock(U().mutex);
  const HWND item = FindItem(dialog, id);
  if (item == nullptr) return FALSE;
  // What WM_SETTEXT answered, as it is: CB_ERR from a drop-down list, which has no edit field.
  return static_cast<BOOL>(Dispatch(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
  Lock lock(U().mutex);
  const HWND item = FindItem(dialog, id);
  if (item == nullptr) {
    if (text != nullptr && maxCount > 0) text[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(Dispatch(item, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

BOOL WINAPI ShowWindow(HWND window, int command) {
  Lock lock(U().mutex);
  return ShowWindowImpl(window, command);
}

BOOL WINAPI IsWindowVisible(HWND window) {
  Lock lock(U().mutex);
  const Window* w = Find(window);
  return w != nullptr && IsVisibleChain(w) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  Lock lock(U().mutex);
  Window* w = Find(window);
  if (w == nullptr) return FALSE;
  const BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    if (U().focus == window) SetFocusTo(nullptr);  // a disabled window cannot keep the focus
  }
  return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
  Lock lock(U().mutex);
  const Window* w = Find(window);
  return w != nullptr && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND window) {
  Lock lock(U().mutex);
  return SetFocusTo(window);
}

HWND WINAPI GetFocus(void) {
  Lock lock(U().mutex);
  return U().focus;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  Lock lock(U().mutex);
  const Window* w = Find(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = ScreenRect(*w);
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND window, LPPOINT point) {
  Lock lock(U().mutex);
  const Window* w = Find(window);
  if (w == nullptr || point == nullptr) return FALSE;
  const POINT origin = ClientOriginOnScreen(*w);
  point->x = Wrap(int64_t{point->x} - origin.x);
  point->y = Wrap(int64_t{point->y} - origin.y);
  return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT rect) {
  if (rect == nullptr) return FALSE;
  *rect = RECT{0, 0, 0, 0};
  return TRUE;
}

BOOL WINAPI GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
  Lock lock(U().mutex);
  const Window* w = Find(window);
  if (w == nullptr || placement == nullptr) return FALSE;
  placement->length = sizeof(WINDOWPLACEMENT);  // read whatever length it came with
  placement->flags = 0;
  placement->showCmd = (w->style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  placement->ptMinPosition = POINT{-1, -1};
  placement->ptMaxPosition = POINT{-1, -1};
  placement->rcNormalPosition = w->rect;  // the parent's client coordinates for an item
  return TRUE;
}

BOOL WINAPI SetWindowPlacement(HWND window, const WINDOWPLACEMENT* placement) {
  Lock lock(U().mutex);
  Window* w = Find(window);
  if (w == nullptr || placement == nullptr || placement->length != sizeof(WINDOWPLACEMENT)) return FALSE;
  w->rect = placement->rcNormalPosition;
  ShowWindowImpl(window, static_cast<int>(placement->showCmd));  // a hidden window is shown again
  return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
  Lock lock(U().mutex);
  switch (index) {
    case SM_CXFULLSCREEN: return U().fullScreenWidth;
    case SM_CYFULLSCREEN: return U().fullScreenHeight;
    default: return 0;
  }
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  Lock lock(U().mutex);
  User32& u = U();
  const std::vector<int> buttons = MessageBoxButtons(type);
  if (owner != nullptr && Find(owner) == nullptr) return -1;  // the dialog box could not be made
  int answer;
  if (!u.answers.empty()) {
    answer = u.answers.front();
    u.answers.pop_front();
    if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) answer = 0;
  } else {
    // Enter presses the default button; a default past the box's buttons leaves the dialog's
    // own default identifier, IDOK, also on a box without an OK button.
    const size_t defaultButton = (type & MB_DEFMASK) >> 8;
    answer = defaultButton < buttons.size() ? buttons[defaultButton] : IDOK;
  }
  u.boxes.push_back(Win32SimMessageBox{TopLevelOf(owner), text != nullptr ? text : "",
                                       caption != nullptr ? caption : "Error", type, answer});
  return answer;
}

BOOL WINAPI MessageBeep(UINT type) {
  Lock lock(U().mutex);
  U().beeps.push_back(type);
  return TRUE;
}

SHORT WINAPI GetAsyncKeyState(int virtualKey) {
  Lock lock(U().mutex);
  if (virtualKey < 0 || virtualKey > 255) return 0;
  if (const SideKeys* sides = SidesOf(virtualKey)) {
    // Down while either side is down; the "pressed since" bit is only the side keys' own.
    const bool down = U().keyDown[static_cast<size_t>(sides->left)] || U().keyDown[static_cast<size_t>(sides->right)];
    return static_cast<SHORT>(down ? 0x8000u : 0u);
  }
  const auto key = static_cast<size_t>(virtualKey);
  uint16_t state = 0;
  if (U().keyDown[key]) state |= 0x8000u;
  if (U().keyPressedSinceQuery[key]) state |= 0x0001u;
  U().keyPressedSinceQuery[key] = false;
  return static_cast<SHORT>(state);
}

}  // extern "C"
