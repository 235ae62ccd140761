// Small utilities of the support layer: a throttled poll for a user abort, host signals, text
// for the clipboard or the host, strings from the module's string list, placing a window on a
// reference window, an alert sound, ASCII case folding and comparison, character search, and
// the NaN and infinity tests and patterns.
#pragma once

#include <cstdint>

#include "hostlink/host_messages.h"
#include "hostlink/platform.h"

// From this host version on the host searches for characters itself (messages 173 and 174).
inline constexpr int32_t kHostVersionCharacterSearch = 313;

// Both throttles let one action through per this many host ticks.
inline constexpr uint32_t kThrottleTicks = 6;

// The code PaceHostSignal sends with message 33.
inline constexpr int32_t kPacedSignalCode = 5;

// Destinations of PlaceText.
inline constexpr int32_t kPlaceTextHistory = 1;        // message 49, mode 3
inline constexpr int32_t kPlaceTextHistoryPlain = 2;   // message 49, mode 1
inline constexpr int32_t kPlaceTextClipboard = 3;      // SetScrapData
inline constexpr uint32_t kScrapTypeText = 0x54455854;  // 'TEXT'

// Buffers for strings of the module's string list.
inline constexpr int32_t kIndexedStringBufferSize = 256;

// The window placement: PositionWindowOnReference puts the window this far below the top
// edge of the reference window.
inline constexpr int32_t kReferenceTopOffset = 20;

// Host ticks of the last poll that looked at the keyboard and of the last paced signal; 0 at
// load. The tick counter wraps every 49.7 days, so both throttles and the deadline measure
// elapsed ticks modulo 2^32 (tick - last as unsigned; tick - deadline as signed), which is the
// plain comparison whenever the counter has not wrapped in between.
extern uint32_t lastAbortPollTick;
extern uint32_t lastSignalTick;

// Called often from a long loop. It looks only when at least 6 ticks passed since the last
// look: 1 when the deadline tick (0 for none) has passed ((int32_t)(tick - deadline) > 0),
// -1 when Ctrl+Break was pressed without Alt, else 0.
int32_t PollUserAbort(uint32_t deadlineTick);
// Host message 33 with code 5 when more than 6 ticks passed since the last one.
void PaceHostSignal(void);
// Host message 33 with a fixed code; the host's result.
int32_t SendHostSignalCode1(void);
int32_t SendHostSignalCode3(void);
int32_t SendHostSignalCode2(void);
int32_t SendHostSignalCode4(void);

// Puts a terminated text into the host's history (1: mode 3, 2: mode 1) or on the clipboard
// (3); any other destination does nothing. Errors are not reported.
void PlaceText(const char* text, int32_t destination);
// Empties the buffer (256 bytes), then copies item `index` of string list `listId` of the
// module's own resources into it; it stays empty when there is no such item.
void LoadIndexedString(char* buffer, int32_t listId, int32_t index);
// Loads a string of the module's string list and posts it to the host as a notice for the
// user (message 8); the host's result.
int32_t PostResourceNotice(int32_t listId, int32_t index);
// Places the window centred horizontally on the reference window (null: the host's client
// window), 20 pixels below its top, kept inside the full-screen area on the right and at the
// bottom; returns SetWindowPlacement's result.
BOOL PositionWindowOnReference(HWND window, HWND reference);
// MessageBeep with MB_ICONEXCLAMATION.
void SoundAlert(void);

// 'a' to 'z' become 'A' to 'Z' in place; every other byte stays. Returns the length.
int32_t UpperCaseText(char* text);
// Compares byte by byte as unsigned values with 'a' to 'z' folded to upper case: -1, 0 or 1.
int32_t CompareTextNoCase(const char* first, const char* second);
// The first / last occurrence of the character (converted to char) in the text, the terminator
// included as strchr / strrchr do, or null. From host version 313 on the host searches (null
// also when that exchange stopped).
const char* FindCharacter(const char* text, int32_t character);
const char* FindLastCharacter(const char* text, int32_t character);

// NaN and infinity by the bits (the sign ignored); the 64-bit tests look at the upper 32 bits
// only. Each returns 1 or 0.
int32_t IsNaN32(const float* value);
int32_t IsInf32(const float* value);
int32_t IsNaN64(const double* value);
int32_t IsInf64(const double* value);
// Store the NaN patterns 0xFFFFFFFF and 0x7FFFFFFFFFFFFFFF.
void SetNaN32(float* value);
void SetNaN64(double* value);
