// libFuzzer target for the text handling of the dialog helpers and utilities. The first byte
// picks what the rest feeds:
//   0: a ';'-separated list (any bytes, not terminated) for InsertComboItems at a position from
//      the second byte; the combo box must then hold exactly the items a plain split gives,
//      each cut to 255 characters (and at its first NUL, as item text is terminated);
//   1: an edit item's text for GetItemInt, GetItemLong and GetItemDouble; success must agree
//      with the standard scan (for the integers, of a number within the 32-bit range), and so
//      must the value;
//   2: two texts for CompareTextNoCase and UpperCaseText, checked against a folded comparison.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/dialogs.h"
#include "support/utilities.h"
#include "win32sim_control.h"

namespace {

constexpr int kCombo = 1;
constexpr int kEdit = 2;

HWND Dialog() {
  static HWND dialog = [] {
    Win32SimDialogLayout layout;
    layout.items = {{"ComboBox", kCombo, CBS_DROPDOWNLIST, RECT{0, 0, 100, 200}, ""},
                  {"Edit", kEdit, ES_AUTOHSCROLL, RECT{0, 210, 100, 230}, ""}};
    return Win32SimCreateDialog(layout);
  }();
  return dialog;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string> ComboItems() {
  std::vector<std::string> items;
  const LRESULT count = SendDlgItemMessageA(Dialog(), kCombo, CB_GETCOUNT, 0, 0);
  char text[kItemTextBufferSize];
  for (LRESULT i = 0; i < count; ++i) {
    Require(SendDlgItemMessageA(Dialog(), kCombo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < kItemTextBufferSize);
    SendDlgItemMessageA(Dialog(), kCombo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    items.emplace_back(text);
  }
  return items;
}

void CheckList(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const int32_t position = data[0] >= 128 ? kAppendComboItems : 0;
  const std::string list(reinterpret_cast<const char*>(data + 1), size - 1);
  SendDlgItemMessageA(Dialog(), kCombo, CB_RESETCONTENT, 0, 0);
  InsertComboItems(Dialog(), kCombo, list.data(), static_cast<int32_t>(list.size()), position);

  std::vector<std::string> expected;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, std::min<size_t>(end - start, kItemTextBufferSize - 1));
    expected.emplace_back(item.c_str());
    start = end + 1;
  }
  Require(ComboItems() == expected);
}

void CheckNumbers(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, kItemTextBufferSize - 1));
  SetItemText(Dialog(), kEdit, text.c_str());
  const std::string stored = text.c_str();  // the item holds the text up to its first NUL

  int32_t value = -1;
  const int32_t result = GetItemInt(Dialog(), kEdit, &value);
  int32_t longValue = -1;
  Require(GetItemLong(Dialog(), kEdit, &longValue) == result && longValue == value);
  long long reference = 0;
  const bool scanned = std::sscanf(stored.c_str(), "%lld", &reference) == 1;
  const bool fits = scanned && reference >= INT32_MIN && reference <= INT32_MAX;
  Require(result == (fits ? 0 : 1));
  Require(value == (fits ? static_cast<int32_t>(reference) : 0));

  double number = -1;
  const int32_t doubleResult = GetItemDouble(Dialog(), kEdit, &number);
  double doubleReference = 0;
  Require(doubleResult == (std::sscanf(stored.c_str(), "%lf", &doubleReference) == 1 ? 0 : 1));
  if (doubleResult != 0) Require(number == 0);
}

int ReferenceCompare(const std::string& a, const std::string& b) {
  auto fold = [](char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); };
  for (size_t i = 0;; ++i) {
    const unsigned x = i < a.size() ? fold(a[i]) : 0;
    const unsigned y = i < b.size() ? fold(b[i]) : 0;
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

void CheckTexts(const uint8_t* data, size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const size_t split = all.find('\0');
  const std::string first = all.substr(0, split);
  const std::string second = split == std::string::npos ? std::string() : std::string(all.c_str() + split + 1);
  const int32_t order = CompareTextNoCase(first.c_str(), second.c_str());
  Require(order == ReferenceCompare(first, second));
  Require(CompareTextNoCase(second.c_str(), first.c_str()) == -order);

  std::string upper = first;
  Require(UpperCaseText(upper.data()) == static_cast<int32_t>(first.size()));
  Require(CompareTextNoCase(upper.c_str(), first.c_str()) == 0);
  for (size_t i = 0; i < first.size(); ++i) {
    const char c = first[i];
    Require(upper[i] == ((c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || Dialog() == nullptr) return 0;
  Win32SimClearNotifications();
  switch (data[0] % 3) {
    case 0: CheckList(data + 1, size - 1); break;
    case 1: CheckNumbers(data + 1, size - 1); break;
    default: CheckTexts(data + 1, size - 1); break;
  }
  return 0;
}
