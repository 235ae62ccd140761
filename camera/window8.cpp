// The 8-bit windowing kernel of QV_TakePicture_8.
//
// The rule (WindowPixelLiteral) divides in double precision for every pixel, which costs more
// than everything else in a picture. The result depends only on the pixel value, and for a
// window of nonzero, finite width it is a monotone step function of the pixel value. Cheaper
// formulas evaluated many pixels at a time are also monotone; two monotone step functions
// agree on every 16-bit value exactly when they step up (or down) at the same values, which
// takes a few hundred evaluations of each to prove. So each call tries a few cheap formulas
// (first whole-number arithmetic on 16-bit pixels, then single precision), proves one of them
// equal to the rule over all 65,536 pixel values, and only then uses it; when none can be
// proved, it falls back to a table made with the rule itself.
#include "camera/window8.h"

#include <cstring>
#include <initializer_list>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define WINDOW8_X86 1
#endif

namespace {

// v = clamp(trunc((p - low) * scale), 0, 255), or with divide set
// v = clamp(trunc((p - low) * 256 / width), 0, 255), all in single precision. A NaN gives 0.
struct FastWindow {
  float low;
  float factor;  // scale, or width when divide is set
  bool divide;
};

inline uint8_t FastPixel(uint16_t p, const FastWindow& w) {
  float x = static_cast<float>(p) - w.low;
  x = w.divide ? (x * 256.0f) / w.factor : x * w.factor;
  x = x > 0.0f ? x : 0.0f;
  x = x < 255.0f ? x : 255.0f;
  return static_cast<uint8_t>(static_cast<int32_t>(x));
}

// v = min(255, (d * multiplier) >> 16) with d = p - base for a rising window and base - p for a
// falling one, 0 where that would be negative: whole numbers on 16-bit pixels, so that one
// vector instruction handles eight or sixteen of them. The multiplier stays below 2^15, so v
// fits a signed 16-bit word and the saturating pack to bytes gives the 255.
struct FixedWindow {
  uint16_t base;
  uint16_t multiplier;
  bool falling;
};

inline uint8_t FixedPixel(uint16_t p, const FixedWindow& w) {
  const uint32_t d = w.falling ? (w.base > p ? w.base - p : 0u) : (p > w.base ? p - w.base : 0u);
  const uint32_t v = (d * w.multiplier) >> 16;
  return static_cast<uint8_t>(v < 255 ? v : 255);
}

// True when a formula gives the rule's value for every 16-bit pixel value. Both are monotone
// in the same direction (the sign of high - low), so it is enough that for every output level
// k the first pixel value reaching k is the same for both.
template <typename Formula>
bool WindowFormulaIsExact(const Formula& formula, double low, double high) {
  const bool rising = high > low;
  auto fast = [&](uint32_t q) { return formula(static_cast<uint16_t>(rising ? q : 65535 - q)); };
  auto exact = [&](uint32_t q) { return WindowPixelLiteral(static_cast<uint16_t>(rising ? q : 65535 - q), low, high); };
  uint32_t from = 0;
  for (int level = 1; level <= 255; ++level) {
    // First q in [from, 65536) with fast(q) >= level; 65536 when there is none.
    uint32_t lo = from, hi = 65536;
    while (lo < hi) {
      uint32_t mid = lo + (hi - lo) / 2;
      if (fast(mid) >= level) hi = mid; else lo = mid + 1;
    }
    const uint32_t first = lo;
    if (first == 65536) {
      if (exact(65535) >= level) return false;
      return true;  // no higher level is reached by either
    }
    if (exact(first) < level) return false;
    if (first > 0 && exact(first - 1) >= level) return false;
    from = first;
  }
  return true;
}

void ApplyFastScalar(const uint16_t* pixels, size_t count, const FastWindow& w, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = FastPixel(pixels[i], w);
}

void ApplyFixedScalar(const uint16_t* pixels, size_t count, const FixedWindow& w, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = FixedPixel(pixels[i], w);
}

// The candidates for a window: the base on either side of low, the multiplier nearest
// 2^16 * 256 / |high - low| and its neighbours. None when low is outside the pixel range or the
// window is too narrow for a multiplier below 2^15.
int FixedWindowCandidates(double low, double high, FixedWindow candidates[6]) {
  const double width = std::fabs(high - low);
  if (!(low >= 0.0 && low <= 65535.0) || !(width > 0.0)) return 0;
  const double nearest = std::nearbyint(0x1p24 / width);
  if (!(nearest >= 2.0 && nearest <= 32766.0)) return 0;
  int n = 0;
  for (double base : {std::floor(low), std::ceil(low)}) {
    for (double multiplier : {nearest, nearest - 1.0, nearest + 1.0}) {
      candidates[n++] = {static_cast<uint16_t>(base), static_cast<uint16_t>(multiplier), high < low};
    }
  }
  return n;
}

#ifdef WINDOW8_X86
// Sixteen pixels per step with SSE2, which every x86 build of the module can rely on.
template <bool kDivide>
inline __m128 FastSse2(__m128i pixels32, __m128 low, __m128 factor) {
  __m128 x = _mm_sub_ps(_mm_cvtepi32_ps(pixels32), low);
  x = kDivide ? _mm_div_ps(_mm_mul_ps(x, _mm_set1_ps(256.0f)), factor) : _mm_mul_ps(x, factor);
  return _mm_min_ps(_mm_max_ps(x, _mm_setzero_ps()), _mm_set1_ps(255.0f));
}

template <bool kDivide>
void ApplyFastSse2(const uint16_t* pixels, size_t count, const FastWindow& w, uint8_t* out) {
  const __m128 low = _mm_set1_ps(w.low), factor = _mm_set1_ps(w.factor);
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i + 8));
    __m128i v0 = _mm_cvttps_epi32(FastSse2<kDivide>(_mm_unpacklo_epi16(a, zero), low, factor));
    __m128i v1 = _mm_cvttps_epi32(FastSse2<kDivide>(_mm_unpackhi_epi16(a, zero), low, factor));
    __m128i v2 = _mm_cvttps_epi32(FastSse2<kDivide>(_mm_unpacklo_epi16(b, zero), low, factor));
    __m128i v3 = _mm_cvttps_epi32(FastSse2<kDivide>(_mm_unpackhi_epi16(b, zero), low, factor));
    __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v0, v1), _mm_packs_epi32(v2, v3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
  }
  ApplyFastScalar(pixels + i, count - i, w, out + i);
}

template <bool kFalling>
void ApplyFixedSse2(const uint16_t* pixels, size_t count, const FixedWindow& w, uint8_t* out) {
  const __m128i base = _mm_set1_epi16(static_cast<int16_t>(w.base));
  const __m128i multiplier = _mm_set1_epi16(static_cast<int16_t>(w.multiplier));
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i + 8));
    a = kFalling ? _mm_subs_epu16(base, a) : _mm_subs_epu16(a, base);
    b = kFalling ? _mm_subs_epu16(base, b) : _mm_subs_epu16(b, base);
    const __m128i bytes = _mm_packus_epi16(_mm_mulhi_epu16(a, multiplier), _mm_mulhi_epu16(b, multiplier));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
  }
  ApplyFixedScalar(pixels + i, count - i, w, out + i);
}

// The same with AVX2 where the processor has it: the values are identical, only wider.
template <bool kFalling>
__attribute__((target("avx2"))) void ApplyFixedAvx2(const uint16_t* pixels, size_t count, const FixedWindow& w,
                                                    uint8_t* out) {
  const __m256i base = _mm256_set1_epi16(static_cast<int16_t>(w.base));
  const __m256i multiplier = _mm256_set1_epi16(static_cast<int16_t>(w.multiplier));
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + i + 16));
    a = kFalling ? _mm256_subs_epu16(base, a) : _mm256_subs_epu16(a, base);
    b = kFalling ? _mm256_subs_epu16(base, b) : _mm256_subs_epu16(b, base);
    // The pack works on each 128-bit half: the quarters come out as a0 b0 a1 b1.
    const __m256i bytes = _mm256_packus_epi16(_mm256_mulhi_epu16(a, multiplier), _mm256_mulhi_epu16(b, multiplier));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute4x64_epi64(bytes, _MM_SHUFFLE(3, 1, 2, 0)));
  }
  ApplyFixedSse2<kFalling>(pixels + i, count - i, w, out + i);
}

template <bool kDivide>
__attribute__((target("avx2"))) inline __m256i FastAvx2(__m128i eightPixels, __m256 low, __m256 factor) {
  __m256 x = _mm256_sub_ps(_mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(eightPixels)), low);
  x = kDivide ? _mm256_div_ps(_mm256_mul_ps(x, _mm256_set1_ps(256.0f)), factor) : _mm256_mul_ps(x, factor);
  return _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(x, _mm256_setzero_ps()), _mm256_set1_ps(255.0f)));
}

template <bool kDivide>
__attribute__((target("avx2"))) void ApplyFastAvx2(const uint16_t* pixels, size_t count, const FastWindow& w,
                                                   uint8_t* out) {
  const __m256 low = _mm256_set1_ps(w.low), factor = _mm256_set1_ps(w.factor);
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m256i v0 = FastAvx2<kDivide>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i)), low, factor);
    __m256i v1 = FastAvx2<kDivide>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i + 8)), low, factor);
    __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(v0, v1), 0xD8);
    __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
  }
  ApplyFastScalar(pixels + i, count - i, w, out + i);
}

bool ProcessorHasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

void ApplyFixed(const uint16_t* pixels, size_t count, const FixedWindow& w, uint8_t* out) {
#ifdef WINDOW8_X86
  if (ProcessorHasAvx2())
    return w.falling ? ApplyFixedAvx2<true>(pixels, count, w, out) : ApplyFixedAvx2<false>(pixels, count, w, out);
  return w.falling ? ApplyFixedSse2<true>(pixels, count, w, out) : ApplyFixedSse2<false>(pixels, count, w, out);
#else
  ApplyFixedScalar(pixels, count, w, out);
#endif
}

void ApplyFast(const uint16_t* pixels, size_t count, const FastWindow& w, uint8_t* out) {
#ifdef WINDOW8_X86
  if (ProcessorHasAvx2())
    return w.divide ? ApplyFastAvx2<true>(pixels, count, w, out) : ApplyFastAvx2<false>(pixels, count, w, out);
  return w.divide ? ApplyFastSse2<true>(pixels, count, w, out) : ApplyFastSse2<false>(pixels, count, w, out);
#else
  ApplyFastScalar(pixels, count, w, out);
#endif
}

// 255 where a pixel is at or above the threshold, else 0.
void ApplyThreshold(const uint16_t* pixels, size_t count, uint16_t threshold, uint8_t* out) {
  size_t i = 0;
#ifdef WINDOW8_X86
  // p >= t exactly when the saturating difference t - p is zero.
  const __m128i t = _mm_set1_epi16(static_cast<int16_t>(threshold)), zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i + 8));
    __m128i atOrAboveA = _mm_cmpeq_epi16(_mm_subs_epu16(t, a), zero);
    __m128i atOrAboveB = _mm_cmpeq_epi16(_mm_subs_epu16(t, b), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi16(atOrAboveA, atOrAboveB));
  }
#endif
  for (; i < count; ++i) out[i] = pixels[i] >= threshold ? 255 : 0;
}

// The rule evaluated once per pixel value up to the largest present, then looked up.
void ApplyRuleTable(const uint16_t* pixels, size_t count, double low, double high, uint8_t* out) {
  uint16_t largest = 0;
  for (size_t i = 0; i < count; ++i) largest = pixels[i] > largest ? pixels[i] : largest;
  uint8_t table[65536];
  for (uint32_t v = 0; v <= largest; ++v) table[v] = WindowPixelLiteral(static_cast<uint16_t>(v), low, high);
  for (size_t i = 0; i < count; ++i) out[i] = table[pixels[i]];
}

}  // namespace

void WindowPixels(const uint16_t* pixels, size_t count, double low, double high, uint8_t* out) {
  if (count == 0) return;
  if (!std::isfinite(low) || !std::isfinite(high)) {
    std::memset(out, 0, count);
    return;
  }
  if (high == low) {
    // A threshold: for a whole pixel value p, p >= low exactly when p >= ceil(low), so the
    // comparison can be made on integers, sixteen pixels at a time.
    if (low <= 0.0) return static_cast<void>(std::memset(out, 255, count));
    if (low > 65535.0) return static_cast<void>(std::memset(out, 0, count));
    ApplyThreshold(pixels, count, static_cast<uint16_t>(std::ceil(low)), out);
    return;
  }
  FixedWindow fixed[6];
  const int fixedCount = FixedWindowCandidates(low, high, fixed);
  for (int i = 0; i < fixedCount; ++i) {
    const FixedWindow& w = fixed[i];
    if (WindowFormulaIsExact([&w](uint16_t p) { return FixedPixel(p, w); }, low, high))
      return ApplyFixed(pixels, count, w, out);
  }
  const double width = high - low;
  const FastWindow candidates[] = {
      {static_cast<float>(low), static_cast<float>(256.0 / width), false},
      {static_cast<float>(low), static_cast<float>(width), true},
  };
  for (const FastWindow& w : candidates)
    if (WindowFormulaIsExact([&w](uint16_t p) { return FastPixel(p, w); }, low, high))
      return ApplyFast(pixels, count, w, out);
  ApplyRuleTable(pixels, count, low, high, out);
}
