// Helpers that drive a plug-in's own dialogs on Win32: message boxes owned by the host's client
// window, showing, enabling and measuring items, check boxes and radio groups, numbers in edit
// items, combo boxes filled from ';'-separated lists or from the host's name lists, and the
// test that tells a dialog procedure whether a WM_COMMAND notification is a real user action.
// Every routine takes the dialog's window and, where it concerns one item, the item's
// identifier. Combo-box items are counted from 1 in every interface here.
#pragma once

#include <cstdint>

#include "hostlink/host_messages.h"
#include "hostlink/platform.h"
#include "hostlink/record.h"

// The host's rectangle: four 16-bit values, top first.
struct HostRect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

// Item text is read into buffers of this size (at most 255 characters and the terminator);
// a combo-box item is cut to 255 characters when it is added.
inline constexpr int32_t kItemTextBufferSize = 256;
// Numbers are formatted into buffers of this size.
inline constexpr int32_t kNumberTextBufferSize = 32;
// Class names are read into buffers of this size.
inline constexpr int32_t kClassNameBufferSize = 32;
// Separator of the items in a combo-box list.
inline constexpr char kComboItemSeparator = ';';
// A position of this value or more appends the items.
inline constexpr int32_t kAppendComboItems = 10000;

// 1 while SetItemText runs (the edit's EN_CHANGE then comes from the module itself), else 0.
extern int32_t settingItemText;

// ---- message boxes, owned by the host's client window
void ShowOkBox(const char* caption, const char* message);
int32_t ShowOkCancelBox(const char* caption, const char* message);     // 1 OK, else -1
int32_t ShowYesNoBox(const char* caption, const char* message);        // 1 Yes, else 2
int32_t ShowYesNoCancelBox(const char* caption, const char* message);  // 1 Yes, 2 No, else -1

// ---- items; those that look the item up do nothing when it does not exist
void HideDialogItem(HWND dialog, int32_t item);
void ShowDialogItem(HWND dialog, int32_t item);
void DisableDialogItem(HWND dialog, int32_t item);
void EnableDialogItem(HWND dialog, int32_t item);
void SetDialogItemEnabled(HWND dialog, int32_t item, int32_t enable);
// The item's rectangle in the dialog's client coordinates, or the empty rectangle.
void GetDialogItemRect(HWND dialog, int32_t item, HostRect* rect);
// Low 16 bits of each value / the values widened with their sign.
void RectToHostRect(const RECT* rect, HostRect* hostRect);
void HostRectToRect(const HostRect* hostRect, RECT* rect);

// ---- check boxes and radio groups
// 1 when the box is checked, else 0 (also for a missing item). The two entries are the same.
int32_t GetCheckBox(HWND dialog, int32_t item);
int32_t GetDialogCheckBox(HWND dialog, int32_t item);
// BM_SETCHECK with the state; returns the state.
int32_t SetCheckBox(HWND dialog, int32_t item, int32_t state);
// Sets the opposite of what GetCheckBox reads; returns the new state (0 or 1).
int32_t ToggleCheckBox(HWND dialog, int32_t item);
// Checks `chosen` and clears every other item from `first` to `last`.
void SetRadioGroup(HWND dialog, int32_t first, int32_t last, int32_t chosen);

// ---- item text and numbers
// `buffer` holds kItemTextBufferSize bytes; returns the text's length (0 and the empty text for
// a missing item).
int32_t GetItemText(HWND dialog, int32_t item, char* buffer);
// Sets the item's text with settingItemText raised. The two entries are the same.
void SetItemText(HWND dialog, int32_t item, const char* text);
void SetDialogItemText(HWND dialog, int32_t item, const char* text);
void SetItemInt(HWND dialog, int32_t item, int32_t value);     // "%d"
void SetItemLong(HWND dialog, int32_t item, int32_t value);    // "%ld"
void SetItemDouble(HWND dialog, int32_t item, const double* value);  // "%g"
// Read one number from the start of the item's text (leading white space skipped, the rest
// ignored): 0 when a number was read, else 1 with the value 0. An integer outside the 32-bit
// range (below -2147483648 or above 2147483647) is refused the same way.
int32_t GetItemInt(HWND dialog, int32_t item, int32_t* value);
int32_t GetItemLong(HWND dialog, int32_t item, int32_t* value);
int32_t GetItemDouble(HWND dialog, int32_t item, double* value);
// Selects the item's whole text and gives it the focus; nothing for the identifier 0.
void SelectItemText(HWND dialog, int32_t item);

// ---- the dialog window
HWND WindowOfDialog(HWND dialog);
void ShowDialogWindow(HWND dialog);

// ---- combo boxes
// 1 when the item is a combo box (class "COMBOBOX" in any case, a kind in the style's two
// lowest bits), else 0.
int32_t ItemIsComboBox(HWND dialog, int32_t item);
void SetComboSelection(HWND dialog, int32_t item, int32_t index);
// Adds the ';'-separated items of `list` (`length` characters, not necessarily terminated):
// inserted in order from the zero-based `position`, or appended when it is kAppendComboItems
// or more. Each item is cut to 255 characters; a trailing ';' adds no item.
void InsertComboItems(HWND dialog, int32_t item, const char* list, int32_t length, int32_t position);
void AppendComboItems(HWND dialog, int32_t item, const char* list);
// Appends the list and selects `index`; `unused` is not looked at. Returns 0.
int32_t FillComboAndSelect(HWND dialog, int32_t item, int32_t unused, const char* list, int32_t index);
// Deletes items from the last one down until `keep` remain (a negative count keeps none).
void TrimComboItems(HWND dialog, int32_t item, int32_t keep);
// The selection's index (1 when nothing is selected) and, when `text` is not null, its text
// (empty when nothing is selected). Precondition: `text` must have room for the selected
// item's text and its terminator, that is for the longest item the box may hold; items added
// through InsertComboItems need at most kItemTextBufferSize bytes. Nothing is stored when the
// item does not exist.
void GetComboSelection(HWND dialog, int32_t item, int32_t* index, char* text);
// Selects the item whose text matches without regard to case; its index, or 0 (selection
// unchanged) when none matches or the combo box does not exist.
int32_t SelectComboText(HWND dialog, int32_t item, const char* text);
// Ask the host for a list of names (waves of the current data folder / numeric variables /
// string variables) and add them at `position` as InsertComboItems does. The two pass-through
// values go to the host unchanged. Returns the host's result, or the memory manager's error
// (1 if it reports none) without asking the host when no handle could be made for the list.
int32_t FillComboWithWaveNames(HWND dialog, int32_t item, HostWord select1, HostWord select2, int32_t position);
int32_t FillComboWithVariableNames(HWND dialog, int32_t item, HostWord select1, HostWord select2, int32_t position);
int32_t FillComboWithStringNames(HWND dialog, int32_t item, HostWord select1, HostWord select2, int32_t position);

// ---- notifications
// Whether a WM_COMMAND notification `code` from the item is a user action: a click of a button,
// a combo-box selection made with the list closed or the list closing, a change of an edit's
// text that SetItemText did not make. 1 or 0.
int32_t IsItemHitNotification(HWND dialog, int32_t item, int32_t code);

// ---- four entries of the family that do nothing
void DialogNoOperation1(void);
void DialogNoOperation2(void);
void DialogNoOperation3(void);
void DialogNoOperation4(void);
