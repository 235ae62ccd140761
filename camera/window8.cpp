// The fast 8-bit window. The rule's division per pixel is what makes the plain loop slow, so
// the kernel evaluates the rule once per pixel value instead (a table) and then either looks
// every pixel up, or, faster, runs a short SIMD formula over the picture: single-precision
// p * scale + offset truncated (or a threshold compare for a zero-width window). The formula is
// used only after it has been checked against the table for every pixel value that occurs in
// the picture, so the result is always exactly the rule's.
#include "camera/window8.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define WINDOW8_HAVE_SSE2 1
#endif

namespace {

constexpr uint32_t kPixelValues = 65536;
// The table is first filled for the 12-bit values a picture of this camera holds.
constexpr uint32_t kFirstTableRange = 4096;
// Below this many pixels, filling the table costs more than evaluating the rule per pixel.
constexpr size_t kRulePerPixelBelow = 16384;

void FillTable(uint8_t* table, uint32_t from, uint32_t to, double low, double high) {
  for (uint32_t v = from; v < to; ++v) table[v] = WindowPixelLiteral(static_cast<uint16_t>(v), low, high);
}

// Bitwise OR of all pixels: no pixel is above it.
uint16_t PixelBound(const uint16_t* pixels, size_t count) {
  uint16_t bound = 0;
  for (size_t i = 0; i < count; ++i) bound = static_cast<uint16_t>(bound | pixels[i]);
  return bound;
}

void LookUpPixels(const uint8_t* table, const uint16_t* pixels, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = table[pixels[i]];
}

#if WINDOW8_HAVE_SSE2

// A formula the SIMD pass evaluates for 8 pixels at a time.
struct FastWindow {
  enum Kind { kNone, kAffine, kThreshold } kind = kNone;
  float scale = 0;        // affine: trunc(p * scale + offset) in single precision, then 0..255
  float offset = 0;
  bool allWhite = false;  // threshold: every pixel is at or above it
  uint16_t belowFirst = 0;  // threshold: the largest value still below it
};

// A double as a float; values beyond the float range become infinite instead of undefined.
float ToFloat(double value) {
  if (value > FLT_MAX) return INFINITY;
  if (value < -FLT_MAX) return -INFINITY;
  return static_cast<float>(value);  // NaN and in-range values convert as they are
}

// Eight results as signed 16-bit values; the final pack saturates them to 0..255 (a negative
// value, and the integer-indefinite value that NaN or overflow give, become 0).
template <FastWindow::Kind kind>
inline __m128i Evaluate8(const FastWindow& w, __m128i p) {
  const __m128i zero = _mm_setzero_si128();
  if constexpr (kind == FastWindow::kThreshold) {
    if (w.allWhite) return _mm_set1_epi16(255);
    const __m128i below = _mm_cmpeq_epi16(_mm_subs_epu16(p, _mm_set1_epi16(static_cast<short>(w.belowFirst))), zero);
    return _mm_andnot_si128(below, _mm_set1_epi16(255));
  }
  const __m128 scale = _mm_set1_ps(w.scale);
  const __m128 offset = _mm_set1_ps(w.offset);
  const __m128 lo = _mm_cvtepi32_ps(_mm_unpacklo_epi16(p, zero));
  const __m128 hi = _mm_cvtepi32_ps(_mm_unpackhi_epi16(p, zero));
  const __m128i vlo = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(lo, scale), offset));
  const __m128i vhi = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(hi, scale), offset));
  return _mm_packs_epi32(vlo, vhi);
}

// Runs the formula over the pixels; returns the bitwise OR of all pixels.
template <FastWindow::Kind kind>
uint16_t RunFastWindowOf(const FastWindow& w, const uint16_t* pixels, size_t count, uint8_t* out) {
  __m128i seen = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i + 8));
    seen = _mm_or_si128(seen, _mm_or_si128(a, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(Evaluate8<kind>(w, a), Evaluate8<kind>(w, b)));
  }
  if (i < count) {  // the last few pixels through the same formula, in a padded block
    alignas(16) uint16_t in[16] = {};
    alignas(16) uint8_t result[16];
    std::memcpy(in, pixels + i, (count - i) * sizeof(uint16_t));
    const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(in + 8));
    seen = _mm_or_si128(seen, _mm_or_si128(a, b));
    _mm_store_si128(reinterpret_cast<__m128i*>(result), _mm_packus_epi16(Evaluate8<kind>(w, a), Evaluate8<kind>(w, b)));
    std::memcpy(out + i, result, count - i);
  }
  alignas(16) uint16_t lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), seen);
  uint16_t bound = 0;
  for (uint16_t lane : lanes) bound = static_cast<uint16_t>(bound | lane);
  return bound;
}

uint16_t RunFastWindow(const FastWindow& w, const uint16_t* pixels, size_t count, uint8_t* out) {
  if (w.kind == FastWindow::kThreshold) return RunFastWindowOf<FastWindow::kThreshold>(w, pixels, count, out);
  return RunFastWindowOf<FastWindow::kAffine>(w, pixels, count, out);
}

// Whether the formula gives the table's value for every pixel value in [from, to).
bool FastWindowMatches(const FastWindow& w, const uint8_t* table, uint32_t from, uint32_t to) {
  constexpr uint32_t kBlock = 1024;
  uint16_t values[kBlock];
  uint8_t results[kBlock];
  for (uint32_t start = from; start < to; start += kBlock) {
    const uint32_t n = to - start < kBlock ? to - start : kBlock;
    for (uint32_t k = 0; k < n; ++k) values[k] = static_cast<uint16_t>(start + k);
    RunFastWindow(w, values, n, results);
    if (std::memcmp(results, table + start, n) != 0) return false;
  }
  return true;
}

// A formula for this window that matches the table on [0, checkedTo), or kNone.
FastWindow ChooseFastWindow(double low, double high, const uint8_t* table, uint32_t checkedTo) {
  FastWindow w;
  if (high == low) {
    // 255 from the first integer at or above low.
    w.kind = FastWindow::kThreshold;
    const double first = std::ceil(low);
    w.allWhite = first <= 0.0;
    w.belowFirst = first > 65536.0 ? uint16_t{65535} : first <= 0.0 ? uint16_t{0} : static_cast<uint16_t>(first - 1.0);
    return FastWindowMatches(w, table, 0, checkedTo) ? w : FastWindow{};
  }
  // s = p * (256 / d) - low * (256 / d); a small bias keeps results that are exact integers
  // from rounding below them in single precision. Tried in turn; the table decides.
  const double scale = 256.0 / (high - low);
  w.kind = FastWindow::kAffine;
  w.scale = ToFloat(scale);
  constexpr double kBiases[] = {1.0 / 4096, 1.0 / 65536, 1.0 / 512, 0.0};
  for (double bias : kBiases) {
    w.offset = ToFloat(-low * scale + bias);
    if (FastWindowMatches(w, table, 0, checkedTo)) return w;
  }
  return FastWindow{};
}

#endif  // WINDOW8_HAVE_SSE2

}  // namespace

void WindowPixels(const uint16_t* pixels, size_t count, double low, double high, uint8_t* out) {
  if (!std::isfinite(low) || !std::isfinite(high)) {
    std::memset(out, 0, count);
    return;
  }
  if (count < kRulePerPixelBelow) {
    for (size_t i = 0; i < count; ++i) out[i] = WindowPixelLiteral(pixels[i], low, high);
    return;
  }
  uint8_t table[kPixelValues];
  uint32_t tableEnd = kFirstTableRange;
  FillTable(table, 0, tableEnd, low, high);

#if WINDOW8_HAVE_SSE2
  const FastWindow fast = ChooseFastWindow(low, high, table, tableEnd);
  if (fast.kind != FastWindow::kNone) {
    const uint32_t bound = RunFastWindow(fast, pixels, count, out);
    if (bound < tableEnd) return;
    // Pixels beyond the checked values: check the formula on them too, or redo by table.
    FillTable(table, tableEnd, bound + 1, low, high);
    if (FastWindowMatches(fast, table, tableEnd, bound + 1)) return;
    LookUpPixels(table, pixels, count, out);
    return;
  }
#endif

  const uint32_t bound = PixelBound(pixels, count);
  if (bound >= tableEnd) FillTable(table, tableEnd, bound + 1, low, high);
  LookUpPixels(table, pixels, count, out);
}
