// Small utilities of the support layer: the throttled abort poll and host signal, text for the
// host's history or the clipboard, strings of the module's string list, window placement on a
// reference window, the alert sound, ASCII case folding, character search and the NaN tests.
#include "support/utilities.h"

#include <cstring>

#include "hostlink/host_exports.h"
#include "hostlink/host_version.h"
#include "hostlink/transport.h"

uint32_t lastAbortPollTick = 0;
uint32_t lastSignalTick = 0;

namespace {

static_assert(sizeof(WINDOWPLACEMENT) == 44, "the placement record has the Win32 layout");

// A key counts when it is down now (0x8000) or was pressed since the last query (0x0001).
bool KeyCounts(int virtualKey) { return (static_cast<uint16_t>(GetAsyncKeyState(virtualKey)) & 0x8001u) != 0; }

// Window coordinates are 32-bit; sums of them keep their low-order 32 bits, as on the 32-bit
// platform, instead of overflowing.
LONG Coordinate(int64_t value) { return static_cast<LONG>(value); }

char UpperCaseOf(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int32_t SendSignal(int32_t code) { return static_cast<int32_t>(CallHost1(kMsgHostSignal, code)); }

}  // namespace

// ---------------------------------------------------------------- polling and signals

int32_t PollUserAbort(uint32_t deadlineTick) {
  const uint32_t tick = TickCount();
  if (tick - lastAbortPollTick < kThrottleTicks) return 0;  // elapsed ticks, modulo 2^32
  lastAbortPollTick = tick;
  if (deadlineTick != 0 && static_cast<int32_t>(tick - deadlineTick) > 0) return 1;
  if (!KeyCounts(VK_CANCEL)) return 0;
  return KeyCounts(VK_MENU) ? 0 : -1;  // Ctrl+Break with Alt is not an abort
}

void PaceHostSignal(void) {
  if (TickCount() - lastSignalTick > kThrottleTicks) {  // elapsed ticks, modulo 2^32
    SendSignal(kPacedSignalCode);
    lastSignalTick = TickCount();  // read after the host has answered
  }
}

int32_t SendHostSignalCode1(void) { return SendSignal(1); }
int32_t SendHostSignalCode3(void) { return SendSignal(3); }
int32_t SendHostSignalCode2(void) { return SendSignal(2); }
int32_t SendHostSignalCode4(void) { return SendSignal(4); }

// ---------------------------------------------------------------- text to the host

void PlaceText(const char* text, int32_t destination) {
  switch (destination) {
    case kPlaceTextHistory: CallHost2(kMsgHistoryText, AsItem(text), 3); break;
    case kPlaceTextHistoryPlain: CallHost2(kMsgHistoryText, AsItem(text), 1); break;
    case kPlaceTextClipboard:
      SetScrapData(0, static_cast<int32_t>(std::strlen(text)), static_cast<int32_t>(kScrapTypeText), text);
      break;
    default: break;
  }
}

void LoadIndexedString(char* buffer, int32_t listId, int32_t index) {
  buffer[0] = '\0';
  GetWinIndString(GetOwnModule(), buffer, listId, index);
}

int32_t PostResourceNotice(int32_t listId, int32_t index) {
  char notice[kIndexedStringBufferSize];
  LoadIndexedString(notice, listId, index);
  return static_cast<int32_t>(CallHost1(kMsgPostNotice, AsItem(notice)));
}

// ---------------------------------------------------------------- windows and sound

BOOL PositionWindowOnReference(HWND window, HWND reference) {
  const int64_t screenWidth = GetSystemMetrics(SM_CXFULLSCREEN);
  const int64_t screenHeight = GetSystemMetrics(SM_CYFULLSCREEN);
  if (reference == nullptr) reference = static_cast<HWND>(GetHostClientWindow());
  // Failures of the reading calls are not examined; what they leave is then the empty rectangle.
  RECT referenceRect{0, 0, 0, 0};
  GetWindowRect(reference, &referenceRect);
  WINDOWPLACEMENT placement;
  std::memset(&placement, 0, sizeof placement);
  placement.length = sizeof placement;
  GetWindowPlacement(window, &placement);

  const RECT& normal = placement.rcNormalPosition;
  const LONG width = Coordinate(int64_t{normal.right} - normal.left);
  const LONG height = Coordinate(int64_t{normal.bottom} - normal.top);
  LONG top = Coordinate(int64_t{referenceRect.top} + kReferenceTopOffset);
  LONG bottom = Coordinate(int64_t{top} + height);
  // Centred on the reference; each division truncates toward zero.
  LONG left = Coordinate((int64_t{referenceRect.left} + referenceRect.right) / 2 - width / 2);
  LONG right = Coordinate(int64_t{left} + width);
  if (left < 0) {
    left = 0;
    right = width;
  }
  if (right > screenWidth) {
    right = Coordinate(screenWidth);
    left = Coordinate(screenWidth - width);
  }
  if (bottom > screenHeight) {
    bottom = Coordinate(screenHeight);
    top = Coordinate(screenHeight - height);
  }
  placement.flags = 0;
  placement.rcNormalPosition = RECT{left, top, right, bottom};
  return SetWindowPlacement(window, &placement);
}

void SoundAlert(void) { MessageBeep(MB_ICONEXCLAMATION); }

// ---------------------------------------------------------------- text

int32_t UpperCaseText(char* text) {
  size_t n = 0;
  for (; text[n] != '\0'; ++n) text[n] = UpperCaseOf(text[n]);
  return static_cast<int32_t>(n);
}

int32_t CompareTextNoCase(const char* first, const char* second) {
  for (size_t i = 0;; ++i) {
    const auto a = static_cast<unsigned char>(UpperCaseOf(first[i]));
    const auto b = static_cast<unsigned char>(UpperCaseOf(second[i]));
    if (a != b) return a < b ? -1 : 1;
    if (a == '\0') return 0;
  }
}

const char* FindCharacter(const char* text, int32_t character) {
  if (hostVersion >= kHostVersionCharacterSearch)
    return reinterpret_cast<const char*>(CallHostForAddress2(kMsgFindCharacter, AsItem(text), character));
  return text == nullptr ? nullptr : std::strchr(text, static_cast<char>(character));
}

const char* FindLastCharacter(const char* text, int32_t character) {
  if (hostVersion >= kHostVersionCharacterSearch)
    return reinterpret_cast<const char*>(CallHostForAddress2(kMsgFindLastCharacter, AsItem(text), character));
  return text == nullptr ? nullptr : std::strrchr(text, static_cast<char>(character));
}

// ---------------------------------------------------------------- NaN and infinity

namespace {

uint32_t Bits32(const float* value) {
  uint32_t bits;
  std::memcpy(&bits, value, sizeof bits);
  return bits;
}

// The upper 32 bits of a double: sign, exponent and the top of the mantissa.
uint32_t UpperBits64(const double* value) {
  uint64_t bits;
  std::memcpy(&bits, value, sizeof bits);
  return static_cast<uint32_t>(bits >> 32);
}

constexpr uint32_t kSignCleared = 0x7FFFFFFFu;
constexpr uint32_t kInfinity32 = 0x7F800000u;
constexpr uint32_t kInfinityUpper64 = 0x7FF00000u;
constexpr uint32_t kNaNPattern32 = 0xFFFFFFFFu;
constexpr uint64_t kNaNPattern64 = 0x7FFFFFFFFFFFFFFFu;

}  // namespace

int32_t IsNaN32(const float* value) { return (Bits32(value) & kSignCleared) > kInfinity32 ? 1 : 0; }
int32_t IsInf32(const float* value) { return (Bits32(value) & kSignCleared) == kInfinity32 ? 1 : 0; }
int32_t IsNaN64(const double* value) { return (UpperBits64(value) & kSignCleared) > kInfinityUpper64 ? 1 : 0; }
int32_t IsInf64(const double* value) { return (UpperBits64(value) & kSignCleared) == kInfinityUpper64 ? 1 : 0; }

void SetNaN32(float* value) { std::memcpy(value, &kNaNPattern32, sizeof kNaNPattern32); }
void SetNaN64(double* value) { std::memcpy(value, &kNaNPattern64, sizeof kNaNPattern64); }
