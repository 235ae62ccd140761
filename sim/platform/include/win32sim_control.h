// Test controls of the platform stand-in (win32sim): the tick clock behind GetTickCount, the
// file names behind GetModuleFileNameA, the debugger that DebugBreak would break into, and the
// windows, dialog items, user actions, keys and message boxes of USER32.
// Only the stand-ins and the tests use this header; the module never does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
// On Windows the controls drive the real KERNEL32 and USER32 (sim/platform/windows_controls/).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "hostlink/win32_subset.h"
#endif

// The clock. By default GetTickCount reads the real monotonic millisecond clock. In manual
// mode it returns a value that only the test moves; with an auto-advance step, every call of
// GetTickCount first advances the manual clock by that many milliseconds, so a busy poll that
// waits for a time-out ends after an exact, small number of polls.
void Win32SimUseRealClock();
void Win32SimUseManualClock(uint32_t startTicks, uint32_t autoAdvancePerCall = 0);
void Win32SimAdvanceClock(uint32_t milliseconds);
uint32_t Win32SimTickReads();  // how many times GetTickCount has been called since the last mode change
#ifdef _WIN32
// On Windows the clock is the real GetTickCount until a test asks for the manual one; from then
// on the imports of GetTickCount in the program, the driver SENNTCAM.dll and every module the
// host loads (reported here right after loading) go through the controlled clock, which answers
// the real counter again in real mode.
void Win32SimClockModuleLoaded(HMODULE module);
#endif

// Module file names (Linux only; on Windows the loader knows the real ones):
// GetModuleFileNameA answers the path registered for a module handle, and
// 0 for a handle nobody registered; the null handle, unless registered, names the running
// program as on Windows.
void Win32SimRegisterModuleFile(HMODULE module, const std::string& path);
void Win32SimForgetModuleFile(HMODULE module);

// The debugger (Linux only; on Windows the real one). IsDebuggerPresent says yes when a test
// attaches the simulated debugger or a
// real one (a tracer) is attached. DebugBreak counts every break; a real debugger gets SIGTRAP,
// the simulated one takes the break and lets the program go on, and with neither the process
// ends as an unhandled breakpoint ends it on Windows.
void Win32SimSetDebuggerAttached(bool attached);
int Win32SimDebugBreakCount();
void Win32SimResetDebugBreakCount();

// Version resources are read from the file itself: a compiled resource file (.res) or a PE
// file. As on Windows, GetFileVersionInfoSizeA asks for twice the block plus 4 bytes; text
// values ("\StringFileInfo\040904B0\ProductName") are answered only in a buffer of that size
// that GetFileVersionInfoA filled. The simulated Quor.exe versions are built into the folder
// QUORSIM_VERSION_DIR (a CMake variable) as Quor_<major>.<minor>.<third>.res and Quor_none.res.

// ---------------------------------------------------------------- USER32
// Windows are objects behind HWND handles: top-level windows and dialogs (class "#32770") with
// a rectangle in screen coordinates, and their items (child windows) with a rectangle in the
// parent's client coordinates. The system classes behave as their Win32 namesakes: "Edit",
// "Button" (push, check box, three-state, radio; automatic check boxes and three-state boxes
// change their check on a click), "ComboBox" (simple, drop-down, drop-down list; an item list with a selection and a
// dropped-down state). Class names are matched without regard to case and reported with the
// case Win32 registers them with; any other class name makes a plain window that only keeps
// its text. Notifications go to the parent as WM_COMMAND, synchronously, as Win32 sends them:
// every one is recorded, and the parent's sink (if any) is called with it on the spot. A dialog
// that gets the focus hands it on to its first visible, enabled tab stop, else its first visible,
// enabled item (an edit gets its text selected), else its first item.
// On Windows (sim/platform/windows_controls/user32_controls.cpp) the same controls drive the real USER32: a
// dialog is a real "#32770" window whose procedure records the notifications, the items are real
// controls, and the user's actions reach them as the messages that input produces, so every
// notification comes from the real classes. The controls marked "model only" cannot exist on a
// real display and are not defined there.
struct Win32SimItem {
  std::string className;   // "Edit", "Button", "ComboBox" (any case) or a class of the test's
  int id = 0;
  DWORD style = 0;         // WS_CHILD is added; WS_VISIBLE too unless `visible` is false
  RECT rect{0, 0, 0, 0};   // in the dialog's client coordinates
  std::string text;        // window text (a button's caption, an edit's contents)
  bool visible = true;
};

struct Win32SimDialogLayout {
  RECT rect{100, 100, 500, 400};  // screen coordinates of the whole window
  POINT clientOrigin{3, 22};      // where the client area starts inside the window (frame, caption)
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  std::string caption;
  HWND owner = nullptr;
  std::vector<Win32SimItem> items;  // in creation (tab) order
};

// Creates a dialog with its items; null if an item's class is empty or the owner is not a window.
HWND Win32SimCreateDialog(const Win32SimDialogLayout& layout);
// A top-level window of any class (no frame: its client area is its whole rectangle).
HWND Win32SimCreateWindow(const std::string& className, const RECT& screenRect, DWORD style = WS_POPUP | WS_VISIBLE,
                          const std::string& text = {});
// Model only (a real window that something else hands out is a window from the start): makes a
// handle that something else hands out (the host's client window) a top-level window of the
// model; false if the handle is null or already a window.
bool Win32SimAdoptWindow(HWND handle, const std::string& className, const RECT& screenRect,
                         DWORD style = WS_POPUP | WS_VISIBLE);
// Destroys a window and its items; their handles stop being windows.
void Win32SimDestroyWindow(HWND window);
bool Win32SimIsWindow(HWND window);
// Destroys every window and forgets notifications, message boxes, beeps, keys and queued
// answers; the full-screen area goes back to 1280 x 977.
void Win32SimResetUser32();

// ---- notifications
struct Win32SimNotification {
  HWND parent;    // the window that received WM_COMMAND
  int id;         // LOWORD(wParam): the item's identifier
  UINT code;      // HIWORD(wParam): the notification code
  HWND control;   // lParam: the item's window
};
using Win32SimNotificationSink = std::function<void(HWND parent, UINT message, WPARAM wParam, LPARAM lParam)>;
// The parent's window procedure as far as notifications go; an empty sink removes it.
void Win32SimSetNotificationSink(HWND parent, Win32SimNotificationSink sink);
std::vector<Win32SimNotification> Win32SimNotifications();
void Win32SimClearNotifications();

// ---- the user at the keyboard and mouse; each returns false when the item cannot take the
// action (missing, disabled, hidden or of another kind)
// Clicks into an edit item (it gets the focus) and types: each character replaces the
// selection and is followed by EN_UPDATE and EN_CHANGE; '\b' deletes the selection or the
// character before the caret. In the edit field of a simple or drop-down combo box, CBN_EDITUPDATE and
// CBN_EDITCHANGE follow instead.
bool Win32SimTypeText(HWND dialog, int id, const std::string& keys);
// Clicks a button (BM_CLICK, which also acts on a disabled button but gives it no focus):
// automatic check boxes and three-state boxes change their check, then BN_CLICKED.
bool Win32SimClickButton(HWND dialog, int id);
// Opens the list of a drop-down combo box (CBN_DROPDOWN); false for a simple one or when open.
bool Win32SimComboDropDown(HWND dialog, int id);
// Closes an open list: CBN_SELENDOK (accept, as Enter) or CBN_SELENDCANCEL (as Escape), then
// CBN_CLOSEUP. The selection stays as it is.
bool Win32SimComboCloseUp(HWND dialog, int id, bool accept);
// Arrow keys, open or closed: `steps` moves of one item down (positive) or up (negative) from the
// list's focus item (with nothing selected the first key selects the focus item itself). Every
// key sends CBN_SELCHANGE, also where the selection stays at an end, after CBN_SELENDOK while the
// list is closed; the list stays as it is. A combo box that loses the focus sends
// CBN_SELENDCANCEL (and CBN_CLOSEUP if its list was open) before CBN_KILLFOCUS.
bool Win32SimComboArrowKeys(HWND dialog, int id, int steps);
// Clicks an item of the open list (or of a simple combo box's list): selects it; an open list
// then closes (CBN_SELENDOK, CBN_CLOSEUP) before CBN_SELCHANGE is sent.
bool Win32SimComboClickItem(HWND dialog, int id, int index);

// ---- keys behind GetAsyncKeyState: a key going down also sets its "pressed since the last
// query" bit, which the next query of that key reads and clears. The generic codes of Shift,
// Ctrl and Alt press the left key; asked about, a generic code reports only whether either key
// is down, never the pressed bit. On Windows the keys go through SendInput.
void Win32SimSetKeyDown(int virtualKey, bool down);
void Win32SimTapKey(int virtualKey);  // down and up again between two queries
void Win32SimResetKeys();

// ---- message boxes: each MessageBoxA takes the next queued answer (the button the user
// presses); with none queued the user presses Enter on the default button (IDOK when the type
// names a default past the box's buttons). An answer that is not a button of the box makes
// MessageBoxA return 0, like a box that could not be shown. A box whose owner is not a window
// is not made: MessageBoxA returns -1. The model knows the kinds the dialog helpers show
// (MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL) and takes any other for MB_OK. On Windows a
// hook presses the answer on the real box and records what the box shows: its type is read back
// from its buttons and default button.
void Win32SimQueueMessageBoxAnswer(int answer);
struct Win32SimMessageBox {
  HWND owner;  // the top-level window of the one MessageBoxA was given
  std::string text;
  std::string caption;
  UINT type;
  int answer;  // what MessageBoxA returned
};
std::vector<Win32SimMessageBox> Win32SimMessageBoxes();
// The types MessageBeep was called with, in order (on Windows: through the program's import).
std::vector<UINT> Win32SimBeeps();

// ---- the full-screen area, model only (a real display has the size it has: tests read it with
// GetSystemMetrics): SM_CXFULLSCREEN / SM_CYFULLSCREEN
void Win32SimSetFullScreenSize(int width, int height);
