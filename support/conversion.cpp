// Numeric conversion: the type-code tables, the entry points and the choice of kernels. Each
// (source kind, destination kind) pair has its own loop, instantiated from one template, so no
// loop tests a type per element; a request picks its loop from an 8 x 8 table once, and the
// in-place transforms pick one loop per numeric type and combination of steps. Elements are
// read and written with memcpy because wave data need not be aligned to its element size
// (layout-0 data starts at byte 110 of the block).
//
// The conversion kernels are in support/conversion_kernels.inc and the in-place transforms in
// support/transform_kernels.inc, compiled here over small vector layers: for SSE2, which every
// build of the module has, and for AVX2 and AVX-512, which are used only when the processor
// has them (the DLL must load and run without them). AVX-512 adds the conversions of 4-byte
// unsigned integers and the byte permutes that map runs of bytes through a table; its
// conversions use the 256-bit vectors of AVX2, its transforms 512-bit ones. Every variant
// gives the bits of the element rules below.
//
// The float-to-integer rule: one element at a time it is TruncatedLowBits below. The vector
// forms of SSE2 and AVX2 use the x86 32-bit truncating instructions, exact for values whose
// truncation fits 32 bits (the common case), and hand a group with any other value to the
// element rule; AVX-512 truncates to 64 bits, which gives the rule's integer or, for NaN and
// beyond, INT64_MIN, the rule's choice there.
#include "support/conversion.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#if !defined(__SSE2__)
#error "the conversion kernels need SSE2, which every build of the module has"
#endif
#include <immintrin.h>

#include "support/utilities.h"

namespace {

// ---------------------------------------------------------------- element kinds

// The eight element kinds, in the order of the kernel table's rows and columns.
using KindTypes = std::tuple<float, double, int8_t, int16_t, int32_t, uint8_t, uint16_t, uint32_t>;
inline constexpr int kKindCount = static_cast<int>(std::tuple_size_v<KindTypes>);

// Table index of an element kind, or -1 for a pair that names none.
int KindIndex(int32_t bytes, int32_t format) {
  switch (format) {
    case kDataFormatFloatingPoint:
      return bytes == 4 ? 0 : bytes == 8 ? 1 : -1;
    case kDataFormatSignedInteger:
      return bytes == 1 ? 2 : bytes == 2 ? 3 : bytes == 4 ? 4 : -1;
    case kDataFormatUnsignedInteger:
      return bytes == 1 ? 5 : bytes == 2 ? 6 : bytes == 4 ? 7 : -1;
    default:
      return -1;
  }
}

template <typename T>
inline T Load(const unsigned char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <typename T>
inline void Store(unsigned char* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

bool RunsOverlap(const void* a, size_t aBytes, const void* b, size_t bBytes) {
  const uintptr_t aStart = reinterpret_cast<uintptr_t>(a);
  const uintptr_t bStart = reinterpret_cast<uintptr_t>(b);
  return aStart < bStart + bBytes && bStart < aStart + aBytes;
}

// ---------------------------------------------------------------- element rules

// The low 32 bits of x truncated toward zero, of which an integer element keeps its own width
// of low-order bytes. 0 (the low bytes of INT64_MIN) for NaN, infinities and values whose
// truncation lies outside the 64-bit integers. Values that truncate into int32 (-2^31 - 1 < x
// < 2^31) are converted directly; the others, at least 2^31 in magnitude, are taken apart
// into mantissa and exponent, which needs no conversion that could leave the defined range.
inline uint32_t TruncatedLowBits(double x) {
  if (x > -0x1p31 - 1.0 && x < 0x1p31) return static_cast<uint32_t>(static_cast<int32_t>(x));
  if (!(x >= -0x1p63 && x < 0x1p63)) return 0;
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  // |x| = mantissa * 2^exponent, the exponent from -21 (|x| >= 2^31) to 10 (|x| < 2^63).
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1075;
  const uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const uint32_t low = static_cast<uint32_t>(exponent >= 0 ? mantissa << exponent : mantissa >> -exponent);
  return bits >> 63 != 0 ? 0u - low : low;
}

// One element of source kind S as destination kind D.
template <typename S, typename D>
inline D ConvertElement(S value) {
  if constexpr (std::is_floating_point_v<D>) {
    // Integers exactly (4-byte unsigned read as unsigned), rounded to nearest for float;
    // double to float rounds to nearest (beyond the float range: infinity).
    return static_cast<D>(value);
  } else if constexpr (std::is_floating_point_v<S>) {
    return static_cast<D>(TruncatedLowBits(static_cast<double>(value)));  // floats widen exactly
  } else {
    // Between integers: wider by sign or zero extension after the source's signedness,
    // narrower or of other signedness by keeping the low-order bytes (modular conversion).
    return static_cast<D>(value);
  }
}

// n elements one at a time; in place too when the widths are equal.
template <typename S, typename D>
inline void ConvertOneByOne(const unsigned char* source, unsigned char* destination, size_t n) {
  for (size_t k = 0; k < n; ++k)
    Store<D>(destination + k * sizeof(D), ConvertElement<S, D>(Load<S>(source + k * sizeof(S))));
}

// Rounds half away from zero without the double rounding of floor(x + 0.5): adding and
// subtracting 2^52 gives the nearest integer with ties to even, exactly for |x| < 2^52, and a
// tie that went down to even is moved one up. Larger magnitudes, infinities and NaN are
// integers or unchanged already.
// (Doubles must be evaluated in double precision, not in x87 extended registers.)
static_assert(FLT_EVAL_METHOD == 0, "RoundHalfAway needs double arithmetic in double precision");
inline double RoundHalfAwayInline(double x) {
  constexpr double kIntegral = 0x1p52;
  const double magnitude = std::fabs(x);
  const double nearestEven = (magnitude + kIntegral) - kIntegral;
  const double away = magnitude - nearestEven == 0.5 ? nearestEven + 1.0 : nearestEven;
  const double withSign = x < 0 ? -away : away;
  return magnitude < kIntegral ? withSign : x;
}

// How many elements come before the first address of a run aligned to kBytes (none when the
// run is not aligned to its own element size): vector accesses that straddle cache lines cost
// more than a few elements done first.
template <typename T, size_t kBytes>
inline size_t ElementsBeforeBoundary(const unsigned char* run, size_t count) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(run);
  if (address % sizeof(T) != 0) return 0;
  return std::min(count, (kBytes - address % kBytes) % kBytes / sizeof(T));
}

// The steps of one ScaleClipRound or OffsetAndScale call, decided before the data is touched.
struct TransformSteps {
  double offset, scale, low, high;
  bool scaling, clipping, rounding;
};

using ConvertKernel = void (*)(const unsigned char* source, unsigned char* destination, size_t count);

// Elements of one local block of the in-place walks.
inline constexpr size_t kLocalBlock = 512;

// data[i] = table[data[i]] for count bytes (with the byte permutes where the processor has them).
void MapBytes(unsigned char* data, size_t count, const uint8_t* table);

// The same for count 2-byte elements, one at a time and never inlined into the kernels: there
// the compiler vectorizes the loop into element-by-element extracts and inserts, which are
// slower.
__attribute__((noinline)) void MapWords(unsigned char* data, size_t count, const uint16_t* table) {
  for (size_t i = 0; i < count; ++i) {
    unsigned char* p = data + 2 * i;
    Store<uint16_t>(p, table[Load<uint16_t>(p)]);
  }
}

// ---------------------------------------------------------------- small integers widened with SSE2

// A 1- or 2-byte integer kind as 16-bit lanes (1-byte sources) or 32-bit lanes, sign- or
// zero-extended after the source's signedness.
// (The extension bytes are built whole, from a comparison or shift, rather than left to an
// arithmetic shift of half-filled lanes: that form let the compiler chain every iteration to
// the previous one through a scratch register.)
template <typename S>
inline void WidenBytesToWords(__m128i bytes, __m128i words[2]) {
  const __m128i extension =
      std::is_signed_v<S> ? _mm_cmpgt_epi8(_mm_setzero_si128(), bytes) : _mm_setzero_si128();
  words[0] = _mm_unpacklo_epi8(bytes, extension);
  words[1] = _mm_unpackhi_epi8(bytes, extension);
}

template <bool kSigned>
inline void WidenWordsToInt32(__m128i words, __m128i* low, __m128i* high) {
  const __m128i extension = kSigned ? _mm_srai_epi16(words, 15) : _mm_setzero_si128();
  *low = _mm_unpacklo_epi16(words, extension);
  *high = _mm_unpackhi_epi16(words, extension);
}

// Whether a lane of either vector holds INT32_MIN: what the x86 32-bit truncations (cvttpd2dq,
// cvttps2dq) give for NaN and for values whose truncation lies outside int32, and for -2^31
// itself. The vector forms of the float-to-integer rule refuse such a group, and the caller
// converts it one element at a time.
inline bool HasInt32Min(__m128i a, __m128i b) {
  const __m128i lowest = _mm_set1_epi32(INT32_MIN);
  return _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi32(a, lowest), _mm_cmpeq_epi32(b, lowest))) != 0;
}

// Runs of 2-byte elements at least this long may take a layer's single-precision form of the
// steps, once it has been proved for the call's steps (TransformWordsProved in
// support/transform_kernels.inc).
inline constexpr size_t kWordsProvedMinimum = size_t{1} << 19;

// ---------------------------------------------------------------- SSE2: groups of four elements

namespace sse2 {

inline constexpr size_t kGroup = 4;
inline constexpr size_t kAlignment = 16;  // bytes of a vector

using Doubles = __m128d;  // half a group
using Floats = __m128;
using Int32s = __m128i;
struct GroupDoubles {
  Doubles low, high;
};

inline Doubles Splat(double x) { return _mm_set1_pd(x); }
inline Doubles Add(Doubles a, Doubles b) { return _mm_add_pd(a, b); }
inline Doubles Sub(Doubles a, Doubles b) { return _mm_sub_pd(a, b); }
inline Doubles Mul(Doubles a, Doubles b) { return _mm_mul_pd(a, b); }
inline Doubles And(Doubles a, Doubles b) { return _mm_and_pd(a, b); }
inline Doubles Or(Doubles a, Doubles b) { return _mm_or_pd(a, b); }
inline Doubles Xor(Doubles a, Doubles b) { return _mm_xor_pd(a, b); }
inline Doubles AndNot(Doubles a, Doubles b) { return _mm_andnot_pd(a, b); }  // ~a & b
// Comparisons as C++ writes them: false when either side is NaN.
inline Doubles Less(Doubles a, Doubles b) { return _mm_cmplt_pd(a, b); }
inline Doubles NotBelow(Doubles a, Doubles b) { return _mm_cmpge_pd(a, b); }
inline Doubles Equal(Doubles a, Doubles b) { return _mm_cmpeq_pd(a, b); }
inline Doubles Select(Doubles mask, Doubles yes, Doubles no) { return Or(And(mask, yes), AndNot(mask, no)); }
// x < low ? low : x and x > high ? high : x: maxpd and minpd give their second operand when
// the comparison fails, so NaN and signed zeros come out as the conditions say.
inline Doubles RaiseTo(Doubles low, Doubles x) { return _mm_max_pd(low, x); }
inline Doubles LowerTo(Doubles high, Doubles x) { return _mm_min_pd(high, x); }

// RoundHalfAwayInline, two at a time (the same operations).
template <bool kKeepNaNBits>
inline Doubles RoundHalfAwayLanes(Doubles x) {
  const Doubles integral = Splat(0x1p52);
  const Doubles magnitude = AndNot(Splat(-0.0), x);
  const Doubles nearestEven = Sub(Add(magnitude, integral), integral);
  const Doubles away = Add(nearestEven, And(Equal(Sub(magnitude, nearestEven), Splat(0.5)), Splat(1.0)));
  const Doubles withSign = Xor(away, And(Less(x, Splat(0.0)), Splat(-0.0)));
  return Select(Less(magnitude, integral), withSign, x);
}

inline GroupDoubles LoadDoubles(const unsigned char* p) {
  return {_mm_loadu_pd(reinterpret_cast<const double*>(p)), _mm_loadu_pd(reinterpret_cast<const double*>(p + 16))};
}
inline void StoreDoubles(unsigned char* p, const GroupDoubles& g) {
  _mm_storeu_pd(reinterpret_cast<double*>(p), g.low);
  _mm_storeu_pd(reinterpret_cast<double*>(p + 16), g.high);
}
inline Floats LoadFloats(const unsigned char* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }
inline void StoreFloats(unsigned char* p, Floats f) { _mm_storeu_ps(reinterpret_cast<float*>(p), f); }
inline GroupDoubles LoadFloatsAsDoubles(const unsigned char* p) {
  const Floats f = LoadFloats(p);
  return {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))};
}
inline void StoreDoublesAsFloats(unsigned char* p, const GroupDoubles& g) {
  StoreFloats(p, _mm_movelh_ps(_mm_cvtpd_ps(g.low), _mm_cvtpd_ps(g.high)));
}

// A group of integer elements as 32-bit lanes, sign- or zero-extended after their kind
// (4-byte kinds as they are).
template <typename T>
inline Int32s LoadAsInt32(const unsigned char* p) {
  if constexpr (sizeof(T) == 1) {
    const __m128i bytes = _mm_cvtsi32_si128(Load<int32_t>(p));
    const __m128i extension = std::is_signed_v<T> ? _mm_cmpgt_epi8(_mm_setzero_si128(), bytes) : _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi8(bytes, extension);
    return _mm_unpacklo_epi16(words, std::is_signed_v<T> ? _mm_srai_epi16(words, 15) : _mm_setzero_si128());
  } else if constexpr (sizeof(T) == 2) {
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_unpacklo_epi16(words, std::is_signed_v<T> ? _mm_srai_epi16(words, 15) : _mm_setzero_si128());
  } else {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
}

// Stores the low-order bytes of each lane as an element of kind T.
template <typename T>
inline void StoreFromInt32(unsigned char* p, Int32s lanes) {
  if constexpr (sizeof(T) == 1) {
    // The low 8 bits, which the two saturating packs keep unchanged.
    const __m128i low = _mm_and_si128(lanes, _mm_set1_epi32(0xFF));
    const __m128i words = _mm_packs_epi32(low, low);
    Store<int32_t>(p, _mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
  } else if constexpr (sizeof(T) == 2) {
    // The low 16 bits sign-extended, which the saturating pack keeps unchanged.
    const __m128i low = _mm_srai_epi32(_mm_slli_epi32(lanes, 16), 16);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(low, low));
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), lanes);
  }
}

// Exact. Unsigned lanes are converted with their top bit flipped, which subtracts 2^31, and
// 2^31 is added back.
template <bool kUnsigned>
inline GroupDoubles Int32ToDoubles(Int32s lanes) {
  if constexpr (kUnsigned) {
    const __m128i biased = _mm_xor_si128(lanes, _mm_set1_epi32(INT32_MIN));
    const Doubles bias = Splat(0x1p31);
    return {Add(_mm_cvtepi32_pd(biased), bias),
            Add(_mm_cvtepi32_pd(_mm_shuffle_epi32(biased, _MM_SHUFFLE(3, 2, 3, 2))), bias)};
  } else {
    return {_mm_cvtepi32_pd(lanes), _mm_cvtepi32_pd(_mm_shuffle_epi32(lanes, _MM_SHUFFLE(3, 2, 3, 2)))};
  }
}

// One rounding each. Unsigned lanes are split into their 16-bit halves, which convert
// exactly; the only rounding is in the sum.
template <bool kUnsigned>
inline Floats Int32ToFloats(Int32s lanes) {
  if constexpr (kUnsigned) {
    const __m128 high = _mm_cvtepi32_ps(_mm_srli_epi32(lanes, 16));
    const __m128 low = _mm_cvtepi32_ps(_mm_and_si128(lanes, _mm_set1_epi32(0xFFFF)));
    return _mm_add_ps(_mm_mul_ps(high, _mm_set1_ps(65536.0f)), low);
  } else {
    return _mm_cvtepi32_ps(lanes);
  }
}

inline Int32s TruncateLanes(const GroupDoubles& g) {
  return _mm_unpacklo_epi64(_mm_cvttpd_epi32(g.low), _mm_cvttpd_epi32(g.high));
}

// A group of integer elements as doubles (exact).
template <typename T>
inline GroupDoubles LoadIntegersAsDoubles(const unsigned char* p) {
  return Int32ToDoubles<std::is_same_v<T, uint32_t>>(LoadAsInt32<T>(p));
}

// 4-byte unsigned elements take the low 32 bits of a 64-bit truncation. For values above
// -2^31 - 1 and below 2^32 these are found in 32 bits: values of 2^31 and more are truncated
// after subtracting 2^31 (exact, and still positive, so truncation is still floor) and get the
// top bit back. Everything else (and the value -2^31 itself) truncates to INT32_MIN there:
// false, with nothing stored, when a lane did, and the caller converts the group one by one.
inline bool TruncateToUInt32Lanes(const GroupDoubles& g, Int32s* lanes) {
  const Doubles half = Splat(0x1p31);
  const Doubles upperLow = And(NotBelow(g.low, half), half), upperHigh = And(NotBelow(g.high, half), half);
  const Int32s truncated = TruncateLanes({Sub(g.low, upperLow), Sub(g.high, upperHigh)});
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(truncated, _mm_set1_epi32(INT32_MIN))) != 0) return false;
  // 2^31 itself truncates to INT32_MIN: the top bit, where it was taken away.
  *lanes = _mm_xor_si128(truncated, TruncateLanes({upperLow, upperHigh}));
  return true;
}

// A group of doubles truncated into integer elements of kind T by the rule: the low bytes of
// the 32-bit truncation where it is in range (for 4-byte unsigned elements up to 2^32, above);
// false, with nothing stored, for a group with a lane beyond it (see HasInt32Min).
template <typename T>
inline bool StoreTruncated(unsigned char* p, const GroupDoubles& g) {
  Int32s lanes;
  if constexpr (std::is_same_v<T, uint32_t>) {
    if (!TruncateToUInt32Lanes(g, &lanes)) return false;
  } else {
    lanes = TruncateLanes(g);
    if (HasInt32Min(lanes, lanes)) return false;
  }
  StoreFromInt32<T>(p, lanes);
  return true;
}

// The same from a group of floats, which widen exactly. (Floating point into integers takes the
// layer's own loops below; the kernels still name this.)
template <typename T>
inline bool StoreTruncatedFloats(unsigned char* p, Floats f) {
  return StoreTruncated<T>(p, {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))});
}

// ---------------------------------------------------------------- SSE2: the layer's own loops

// Floating point into integers eight at a time, and integers into floating point sixteen at a
// time: with only SSE2 these do better than groups of four.
namespace own {

// The x86 truncating conversions (cvttpd2dq, cvttps2dq) give the rule's low 32 bits wherever
// the truncation lies in int32; eight elements with a lane beyond it (HasInt32Min) are
// converted one by one.

// Eight int32 lanes from eight elements of a floating-point kind.
struct EightLanes {
  __m128i low, high;
};

inline __m128i TruncateFourDoubles(const unsigned char* p) {
  const __m128i first = _mm_cvttpd_epi32(_mm_loadu_pd(reinterpret_cast<const double*>(p)));
  const __m128i second = _mm_cvttpd_epi32(_mm_loadu_pd(reinterpret_cast<const double*>(p + 16)));
  return _mm_unpacklo_epi64(first, second);
}

template <typename F>
inline EightLanes TruncateEight(const unsigned char* p) {
  if constexpr (std::is_same_v<F, double>) {
    return {TruncateFourDoubles(p), TruncateFourDoubles(p + 32)};
  } else {
    return {_mm_cvttps_epi32(_mm_loadu_ps(reinterpret_cast<const float*>(p))),
            _mm_cvttps_epi32(_mm_loadu_ps(reinterpret_cast<const float*>(p + 16)))};
  }
}

// 4-byte unsigned destinations take the low 32 bits of a 64-bit truncation. For values from
// just above -2^31 - 1 up to 2^32 these are found in 32 bits: values of 2^31 and more are
// truncated after subtracting 2^31 (exact, and still positive, so truncation is still floor)
// and get the top bit back. Everything else (and the value -2^31 itself) gives INT32_MIN in
// that truncation; four elements at a time, false when one of them did, and the caller
// converts those four one by one.
inline bool TruncateFourToUInt32(const unsigned char* p, double, __m128i* lanes) {
  const __m128d x0 = _mm_loadu_pd(reinterpret_cast<const double*>(p));
  const __m128d x1 = _mm_loadu_pd(reinterpret_cast<const double*>(p + 16));
  const __m128d half = _mm_set1_pd(0x1p31);
  const __m128d upper0 = _mm_cmpge_pd(x0, half), upper1 = _mm_cmpge_pd(x1, half);
  const __m128i truncated = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_sub_pd(x0, _mm_and_pd(upper0, half))),
                                               _mm_cvttpd_epi32(_mm_sub_pd(x1, _mm_and_pd(upper1, half))));
  if (HasInt32Min(truncated, truncated)) return false;
  // The low halves of the four 64-bit masks, as 32-bit lanes: where to put the top bit back.
  const __m128 upper = _mm_shuffle_ps(_mm_castpd_ps(upper0), _mm_castpd_ps(upper1), _MM_SHUFFLE(2, 0, 2, 0));
  *lanes = _mm_xor_si128(truncated, _mm_and_si128(_mm_castps_si128(upper), _mm_set1_epi32(INT32_MIN)));
  return true;
}

inline bool TruncateFourToUInt32(const unsigned char* p, float, __m128i* lanes) {
  const __m128 x = _mm_loadu_ps(reinterpret_cast<const float*>(p));
  const __m128 half = _mm_set1_ps(0x1p31f);
  const __m128 upper = _mm_cmpge_ps(x, half);
  const __m128i truncated = _mm_cvttps_epi32(_mm_sub_ps(x, _mm_and_ps(upper, half)));
  if (HasInt32Min(truncated, truncated)) return false;
  *lanes = _mm_xor_si128(truncated, _mm_and_si128(_mm_castps_si128(upper), _mm_set1_epi32(INT32_MIN)));
  return true;
}

// Converts the leading multiple of eight elements of a floating-point run into an integer kind
// and returns how many it did. Each group of elements is loaded before its results are stored,
// so source and destination may also be the same address when the widths are equal.
template <typename S, typename D>
inline size_t FloatToIntegerPrefix(const unsigned char* source, unsigned char* destination, size_t count) {
  const size_t whole = count - count % 8;
  for (size_t i = 0; i < whole; i += 8) {
    const unsigned char* in = source + i * sizeof(S);
    unsigned char* out = destination + i * sizeof(D);
#if defined(__x86_64__)
    if constexpr (std::is_same_v<D, uint32_t> && std::is_same_v<S, double>) {
      // On x86-64 one at a time through the 64-bit truncation, which gives INT64_MIN for NaN
      // and out of range itself: faster than the four-wide work on two-double vectors.
      for (size_t k = 0; k < 8; ++k) {
        const int64_t wide = _mm_cvttsd_si64(_mm_load_sd(reinterpret_cast<const double*>(in + k * 8)));
        Store<uint32_t>(out + k * 4, static_cast<uint32_t>(wide));
      }
      continue;
    }
#endif
    if constexpr (std::is_same_v<D, uint32_t>) {
      for (size_t half = 0; half < 8; half += 4) {
        __m128i lanes;
        if (TruncateFourToUInt32(in + half * sizeof(S), S{}, &lanes)) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + half * 4), lanes);
        } else {
          ConvertOneByOne<S, D>(in + half * sizeof(S), out + half * 4, 4);
        }
      }
    } else {
      EightLanes lanes = TruncateEight<S>(in);
      if (HasInt32Min(lanes.low, lanes.high)) {
        ConvertOneByOne<S, D>(in, out, 8);
        continue;
      }
      if constexpr (sizeof(D) == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lanes.low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), lanes.high);
      } else if constexpr (sizeof(D) == 2) {
        // The low 16-bit halves of the eight lanes, in order: three rounds of interleaving
        // the halves gather them (the compiler's own choice for such a narrowing).
        const __m128i mixed0 = _mm_unpacklo_epi16(lanes.low, lanes.high);
        const __m128i mixed1 = _mm_unpackhi_epi16(lanes.low, lanes.high);
        const __m128i even = _mm_unpacklo_epi16(mixed0, mixed1);
        const __m128i odd = _mm_unpackhi_epi16(mixed0, mixed1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(even, odd));
      } else {
        // Low 8 bits, which the two saturating packs keep unchanged.
        const __m128i byteMask = _mm_set1_epi32(0xFF);
        const __m128i words = _mm_packs_epi32(_mm_and_si128(lanes.low, byteMask), _mm_and_si128(lanes.high, byteMask));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
      }
    }
  }
  return whole;
}


// Sixteen elements of an integer kind as four vectors of 32-bit lanes (4-byte kinds as they are).
template <typename S>
inline void WidenSixteen(const unsigned char* p, __m128i lanes[4]) {
  if constexpr (sizeof(S) == 1) {
    __m128i words[2];
    WidenBytesToWords<S>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), words);
    WidenWordsToInt32<std::is_signed_v<S>>(words[0], &lanes[0], &lanes[1]);
    WidenWordsToInt32<std::is_signed_v<S>>(words[1], &lanes[2], &lanes[3]);
  } else if constexpr (sizeof(S) == 2) {
    WidenWordsToInt32<std::is_signed_v<S>>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), &lanes[0], &lanes[1]);
    WidenWordsToInt32<std::is_signed_v<S>>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), &lanes[2],
                                          &lanes[3]);
  } else {
    for (int q = 0; q < 4; ++q) lanes[q] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * q));
  }
}

// Four 32-bit lanes of source kind S as floats: one rounding each. Unsigned 32-bit lanes are
// split into their 16-bit halves, which convert exactly; the only rounding is in the sum.
template <typename S>
inline __m128 LanesToFloats(__m128i lanes) {
  if constexpr (std::is_same_v<S, uint32_t>) {
    const __m128 high = _mm_cvtepi32_ps(_mm_srli_epi32(lanes, 16));
    const __m128 low = _mm_cvtepi32_ps(_mm_and_si128(lanes, _mm_set1_epi32(0xFFFF)));
    return _mm_add_ps(_mm_mul_ps(high, _mm_set1_ps(65536.0f)), low);
  } else {
    return _mm_cvtepi32_ps(lanes);
  }
}

// Four 32-bit lanes of source kind S as doubles (exact). Unsigned 32-bit lanes are converted
// with their top bit flipped, which subtracts 2^31, and 2^31 is added back.
template <typename S>
inline void LanesToDoubles(__m128i lanes, __m128d* low, __m128d* high) {
  if constexpr (std::is_same_v<S, uint32_t>) {
    const __m128i biased = _mm_xor_si128(lanes, _mm_set1_epi32(INT32_MIN));
    const __m128d bias = _mm_set1_pd(0x1p31);
    *low = _mm_add_pd(_mm_cvtepi32_pd(biased), bias);
    *high = _mm_add_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(biased, _MM_SHUFFLE(3, 2, 3, 2))), bias);
  } else {
    *low = _mm_cvtepi32_pd(lanes);
    *high = _mm_cvtepi32_pd(_mm_shuffle_epi32(lanes, _MM_SHUFFLE(3, 2, 3, 2)));
  }
}

// Integers into floating point, sixteen at a time.
template <typename S, typename D>
inline size_t IntegerToFloatingPrefix(const unsigned char* source, unsigned char* destination, size_t count) {
  const size_t whole = count - count % 16;
  for (size_t i = 0; i < whole; i += 16) {
    const unsigned char* in = source + i * sizeof(S);
    unsigned char* out = destination + i * sizeof(D);
    __m128i lanes[4];
    WidenSixteen<S>(in, lanes);
    for (int q = 0; q < 4; ++q) {
      unsigned char* o = out + q * 4 * sizeof(D);
      if constexpr (std::is_same_v<D, float>) {
        _mm_storeu_ps(reinterpret_cast<float*>(o), LanesToFloats<S>(lanes[q]));
      } else {
        __m128d low, high;
        LanesToDoubles<S>(lanes[q], &low, &high);
        _mm_storeu_pd(reinterpret_cast<double*>(o), low);
        _mm_storeu_pd(reinterpret_cast<double*>(o + 16), high);
      }
    }
  }
  return whole;
}

}  // namespace own

// Between floating point and integers the loops above; between the two floating-point kinds
// none (the compiler's own loop does as well).
template <typename S, typename D>
constexpr bool HasOwnPrefix() {
  return std::is_floating_point_v<S> || std::is_floating_point_v<D>;
}

template <typename S, typename D>
inline size_t OwnPrefix(const unsigned char* source, unsigned char* destination, size_t count) {
  if constexpr (std::is_floating_point_v<S> && std::is_integral_v<D>) {
    return own::FloatToIntegerPrefix<S, D>(source, destination, count);
  } else if constexpr (std::is_integral_v<S> && std::is_floating_point_v<D>) {
    return own::IntegerToFloatingPrefix<S, D>(source, destination, count);
  } else {
    (void)source, (void)destination, (void)count;
    return 0;
  }
}

inline constexpr bool kWordTable = true;  // the table's lookups beat four lanes of doubles

// No single-precision form of the steps for 2-byte elements: four float lanes gain nothing on
// the table.
struct WordsInFloats {
  static constexpr bool kAvailable = false;
};

#include "support/conversion_kernels.inc"
#include "support/transform_kernels.inc"

}  // namespace sse2

// ---------------------------------------------------------------- AVX2: groups of eight elements

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

// Eight elements as doubles: the groups of the AVX2 and AVX-512 layers, kept outside both so
// that a call made in one of them finds that layer's functions only.
struct EightDoubles {
  __m256d low, high;
};

namespace avx2 {

inline constexpr size_t kGroup = 8;
inline constexpr size_t kAlignment = 32;

// No loops of its own: the groups do best.
template <typename S, typename D>
constexpr bool HasOwnPrefix() {
  return false;
}
template <typename S, typename D>
inline size_t OwnPrefix(const unsigned char*, unsigned char*, size_t) {
  return 0;
}

using Doubles = __m256d;  // half a group
using Floats = __m256;
using Int32s = __m256i;
using GroupDoubles = EightDoubles;

inline Doubles Splat(double x) { return _mm256_set1_pd(x); }
inline Doubles Add(Doubles a, Doubles b) { return _mm256_add_pd(a, b); }
inline Doubles Sub(Doubles a, Doubles b) { return _mm256_sub_pd(a, b); }
inline Doubles Mul(Doubles a, Doubles b) { return _mm256_mul_pd(a, b); }
inline Doubles And(Doubles a, Doubles b) { return _mm256_and_pd(a, b); }
inline Doubles Or(Doubles a, Doubles b) { return _mm256_or_pd(a, b); }
inline Doubles AndNot(Doubles a, Doubles b) { return _mm256_andnot_pd(a, b); }  // ~a & b
inline Doubles Less(Doubles a, Doubles b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
inline Doubles NotBelow(Doubles a, Doubles b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
inline Doubles Select(Doubles mask, Doubles yes, Doubles no) { return _mm256_blendv_pd(no, yes, mask); }
inline Doubles RaiseTo(Doubles low, Doubles x) { return _mm256_max_pd(low, x); }
inline Doubles LowerTo(Doubles high, Doubles x) { return _mm256_min_pd(high, x); }

// RoundHalfAwayInline, four at a time: x plus 0.49999999999999994 away from zero, truncated,
// is the nearest integer with halves away from zero for every |x| below 2^52 (the sum rounds
// up to the next integer exactly when the fraction is a half or more), and x itself above.
// The direction is taken from x < 0, so -0.0 gives +0.0 as in the rule. NaN comes back quiet;
// with kKeepNaNBits, and for 2^52 and above, x itself is returned.
template <bool kKeepNaNBits>
inline Doubles RoundHalfAwayLanes(Doubles x) {
  const Doubles away = Or(Splat(0.49999999999999994), And(Less(x, Splat(0.0)), Splat(-0.0)));
  const Doubles rounded = _mm256_round_pd(Add(x, away), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  if constexpr (kKeepNaNBits) {
    return Select(Less(AndNot(Splat(-0.0), x), Splat(0x1p52)), rounded, x);
  } else {
    return rounded;
  }
}

inline GroupDoubles LoadDoubles(const unsigned char* p) {
  return {_mm256_loadu_pd(reinterpret_cast<const double*>(p)),
          _mm256_loadu_pd(reinterpret_cast<const double*>(p + 32))};
}
inline void StoreDoubles(unsigned char* p, const GroupDoubles& g) {
  _mm256_storeu_pd(reinterpret_cast<double*>(p), g.low);
  _mm256_storeu_pd(reinterpret_cast<double*>(p + 32), g.high);
}
inline Floats LoadFloats(const unsigned char* p) { return _mm256_loadu_ps(reinterpret_cast<const float*>(p)); }
inline void StoreFloats(unsigned char* p, Floats f) { _mm256_storeu_ps(reinterpret_cast<float*>(p), f); }
// Floats in 16-byte halves: no shuffle across the halves of a vector, and with the usual
// 16-byte alignment of heap blocks no access that straddles a cache line.
inline GroupDoubles LoadFloatsAsDoubles(const unsigned char* p) {
  return {_mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float*>(p))),
          _mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float*>(p + 16)))};
}
inline void StoreDoublesAsFloats(unsigned char* p, const GroupDoubles& g) {
  _mm_storeu_ps(reinterpret_cast<float*>(p), _mm256_cvtpd_ps(g.low));
  _mm_storeu_ps(reinterpret_cast<float*>(p + 16), _mm256_cvtpd_ps(g.high));
}

template <typename T>
inline Int32s LoadAsInt32(const unsigned char* p) {
  if constexpr (sizeof(T) == 1) {
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return std::is_signed_v<T> ? _mm256_cvtepi8_epi32(bytes) : _mm256_cvtepu8_epi32(bytes);
  } else if constexpr (sizeof(T) == 2) {
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return std::is_signed_v<T> ? _mm256_cvtepi16_epi32(words) : _mm256_cvtepu16_epi32(words);
  } else {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
}

template <typename T>
inline void StoreFromInt32(unsigned char* p, Int32s lanes) {
  if constexpr (sizeof(T) == 1) {
    // Byte 0 of each lane to the front of each half, then the two halves' first four together.
    const __m256i gathered =
        _mm256_shuffle_epi8(lanes, _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                                    0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i joined = _mm256_permutevar8x32_epi32(gathered, _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(joined));
  } else if constexpr (sizeof(T) == 2) {
    const __m256i gathered =
        _mm256_shuffle_epi8(lanes, _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                                    0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i joined = _mm256_permute4x64_epi64(gathered, _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(joined));
  } else {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), lanes);
  }
}

template <bool kUnsigned>
inline Floats Int32ToFloats(Int32s lanes) {
  if constexpr (kUnsigned) {
    const __m256 high = _mm256_cvtepi32_ps(_mm256_srli_epi32(lanes, 16));
    const __m256 low = _mm256_cvtepi32_ps(_mm256_and_si256(lanes, _mm256_set1_epi32(0xFFFF)));
    return _mm256_add_ps(_mm256_mul_ps(high, _mm256_set1_ps(65536.0f)), low);
  } else {
    return _mm256_cvtepi32_ps(lanes);
  }
}

inline Int32s TruncateLanes(const GroupDoubles& g) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm256_cvttpd_epi32(g.low)), _mm256_cvttpd_epi32(g.high), 1);
}

// Each half of a group on its own, in 128-bit lanes: the shuffles between the two halves of a
// 256-bit vector are what limits the one- and two-byte kinds.
template <typename T>
inline GroupDoubles LoadIntegersAsDoubles(const unsigned char* p) {
  if constexpr (sizeof(T) == 4) {
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    if constexpr (std::is_same_v<T, uint32_t>) {
      const Doubles bias = Splat(0x1p31);
      low = _mm_xor_si128(low, _mm_set1_epi32(INT32_MIN));
      high = _mm_xor_si128(high, _mm_set1_epi32(INT32_MIN));
      return {Add(_mm256_cvtepi32_pd(low), bias), Add(_mm256_cvtepi32_pd(high), bias)};
    } else {
      return {_mm256_cvtepi32_pd(low), _mm256_cvtepi32_pd(high)};
    }
  } else {
    __m128i low, high;
    if constexpr (sizeof(T) == 1) {
      const __m128i first = _mm_cvtsi32_si128(Load<int32_t>(p)), second = _mm_cvtsi32_si128(Load<int32_t>(p + 4));
      low = std::is_signed_v<T> ? _mm_cvtepi8_epi32(first) : _mm_cvtepu8_epi32(first);
      high = std::is_signed_v<T> ? _mm_cvtepi8_epi32(second) : _mm_cvtepu8_epi32(second);
    } else {
      const __m128i first = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
      const __m128i second = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8));
      low = std::is_signed_v<T> ? _mm_cvtepi16_epi32(first) : _mm_cvtepu16_epi32(first);
      high = std::is_signed_v<T> ? _mm_cvtepi16_epi32(second) : _mm_cvtepu16_epi32(second);
    }
    return {_mm256_cvtepi32_pd(low), _mm256_cvtepi32_pd(high)};
  }
}

// As in the SSE2 layer.
inline bool TruncateToUInt32Lanes(const GroupDoubles& g, Int32s* lanes) {
  const Doubles half = Splat(0x1p31);
  const Doubles upperLow = And(NotBelow(g.low, half), half), upperHigh = And(NotBelow(g.high, half), half);
  const Int32s truncated = TruncateLanes({Sub(g.low, upperLow), Sub(g.high, upperHigh)});
  if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(truncated, _mm256_set1_epi32(INT32_MIN))) != 0) return false;
  *lanes = _mm256_xor_si256(truncated, TruncateLanes({upperLow, upperHigh}));
  return true;
}

inline bool TruncateFloatsToUInt32(Floats f, Int32s* lanes) {
  const __m256 upper = _mm256_and_ps(_mm256_cmp_ps(f, _mm256_set1_ps(0x1p31f), _CMP_GE_OQ), _mm256_set1_ps(0x1p31f));
  const __m256i truncated = _mm256_cvttps_epi32(_mm256_sub_ps(f, upper));
  if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(truncated, _mm256_set1_epi32(INT32_MIN))) != 0) return false;
  *lanes = _mm256_xor_si256(truncated, _mm256_cvttps_epi32(upper));
  return true;
}

// As in the SSE2 layer: the low bytes of the 32-bit truncation, false for a group with a lane
// beyond it. Other than 4-byte elements, each half of the group on its own in 128-bit lanes.
template <typename T>
inline bool StoreTruncated(unsigned char* p, const GroupDoubles& g) {
  if constexpr (sizeof(T) == 4) {
    Int32s lanes;
    if (!TruncateToUInt32Lanes(g, &lanes)) return false;
    StoreFromInt32<T>(p, lanes);
  } else {
    const __m128i low = _mm256_cvttpd_epi32(g.low), high = _mm256_cvttpd_epi32(g.high);
    if (HasInt32Min(low, high)) return false;
    if constexpr (sizeof(T) == 1) {
      // The low 8 bits, which the two saturating packs keep unchanged.
      const __m128i mask = _mm_set1_epi32(0xFF);
      const __m128i words = _mm_packs_epi32(_mm_and_si128(low, mask), _mm_and_si128(high, mask));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(words, words));
    } else if constexpr (sizeof(T) == 2) {
      // The low 16 bits sign-extended, which the saturating pack keeps unchanged.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(low, 16), 16),
                                                                      _mm_srai_epi32(_mm_slli_epi32(high, 16), 16)));
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), high);
    }
  }
  return true;
}

// The same from a group of floats.
template <typename T>
inline bool StoreTruncatedFloats(unsigned char* p, Floats f) {
  Int32s lanes;
  if constexpr (std::is_same_v<T, uint32_t>) {
    if (!TruncateFloatsToUInt32(f, &lanes)) return false;
  } else {
    lanes = _mm256_cvttps_epi32(f);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(lanes, _mm256_set1_epi32(INT32_MIN))) != 0) return false;
  }
  StoreFromInt32<T>(p, lanes);
  return true;
}

inline constexpr bool kWordTable = true;

// The steps in single precision on eight 2-byte elements (see WordsInFloats in
// support/transform_kernels.inc for when this form is used).
struct WordsInFloats {
  static constexpr bool kAvailable = true;
  static constexpr size_t kGroup = 8;
  __m256 offset, scale, low, high;

  // A double as the nearest float (infinity beyond the float range), in every lane.
  static __m256 Splat(double x) { return _mm256_broadcastss_ps(_mm256_cvtpd_ps(_mm256_set1_pd(x))); }
  explicit WordsInFloats(const TransformSteps& steps)
      : offset(Splat(steps.offset)), scale(Splat(steps.scale)), low(Splat(steps.low)), high(Splat(steps.high)) {}

  template <typename T, bool kScale, bool kClip, bool kRound>
  void Apply(unsigned char* p) const {
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m256 x = _mm256_cvtepi32_ps(std::is_signed_v<T> ? _mm256_cvtepi16_epi32(words) : _mm256_cvtepu16_epi32(words));
    if constexpr (kScale) x = _mm256_mul_ps(_mm256_add_ps(x, offset), scale);
    if constexpr (kClip) x = _mm256_min_ps(high, _mm256_max_ps(low, x));
    if constexpr (kRound)
      x = _mm256_add_ps(x, _mm256_or_ps(_mm256_and_ps(x, _mm256_set1_ps(-0.0f)), _mm256_set1_ps(0.49999997f)));
    StoreFromInt32<T>(p, _mm256_cvttps_epi32(x));
  }
};

#include "support/conversion_kernels.inc"
#include "support/transform_kernels.inc"

}  // namespace avx2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// ---------------------------------------------------------------- AVX-512: the AVX2 groups, and 4-byte unsigned lanes

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi")
#endif

namespace avx512 {

// The conversions: the same vectors as AVX2; what differs is the 4-byte unsigned kind, which
// AVX-512 converts to doubles and floats directly, and floating point into integers, which it
// truncates to 64 bits, the rule itself. (The transforms have a layer of their own below.)
using avx2::Doubles;
using avx2::Floats;
using avx2::GroupDoubles;
using avx2::Int32s;
using avx2::kAlignment;
using avx2::kGroup;
using avx2::HasOwnPrefix;
using avx2::OwnPrefix;

using avx2::LoadAsInt32;
using avx2::LoadDoubles;
using avx2::LoadFloats;
using avx2::LoadFloatsAsDoubles;
using avx2::StoreDoubles;
using avx2::StoreDoublesAsFloats;
using avx2::StoreFloats;

template <typename T>
inline GroupDoubles LoadIntegersAsDoubles(const unsigned char* p) {
  if constexpr (std::is_same_v<T, uint32_t>) {
    return {_mm256_cvtepu32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm256_cvtepu32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)))};
  } else {
    return avx2::LoadIntegersAsDoubles<T>(p);
  }
}

template <bool kUnsigned>
inline Floats Int32ToFloats(Int32s lanes) {
  if constexpr (kUnsigned) {
    return _mm256_cvtepu32_ps(lanes);
  } else {
    return avx2::Int32ToFloats<false>(lanes);
  }
}

// Doubles into 4-byte elements, signed or not: the low 32 bits of the 64-bit truncation, which
// is the rule for every value, so no group is refused. Into the 1- and 2-byte kinds the 32-bit
// truncation of the whole group at once, refused as in the AVX2 layer when a lane is INT32_MIN.
// Floats into them: as AVX2 does. (The narrowing moves are written with a full zero mask:
// GCC's unmasked forms warn of an uninitialised operand.)
template <typename T>
inline bool StoreTruncated(unsigned char* p, const GroupDoubles& g) {
  if constexpr (sizeof(T) == 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_maskz_cvtepi64_epi32(0xF, _mm256_cvttpd_epi64(g.low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm256_maskz_cvtepi64_epi32(0xF, _mm256_cvttpd_epi64(g.high)));
  } else {
    const __m512d doubles = _mm512_maskz_insertf64x4(0xFF, _mm512_castpd256_pd512(g.low), g.high, 1);
    const __m256i lanes = _mm512_maskz_cvttpd_epi32(0xFF, doubles);
    if (_mm256_cmpeq_epi32_mask(lanes, _mm256_set1_epi32(INT32_MIN)) != 0) return false;
    if constexpr (sizeof(T) == 2) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_maskz_cvtepi32_epi16(0xFF, lanes));
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm256_maskz_cvtepi32_epi8(0xFF, lanes));
    }
  }
  return true;
}
template <typename T>
inline bool StoreTruncatedFloats(unsigned char* p, Floats f) {
  if constexpr (std::is_same_v<T, uint32_t>) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvtepi64_epi32(0xFF, _mm512_cvttps_epi64(f)));
    return true;
  } else {
    return avx2::StoreTruncatedFloats<T>(p, f);
  }
}

#include "support/conversion_kernels.inc"

}  // namespace avx512

// ---------------------------------------------------------------- AVX-512 at full width: the in-place transforms

// The transforms are bound by the arithmetic on doubles, not by memory: 512-bit vectors halve
// the instructions per element. A group is sixteen elements, two vectors of eight doubles.
namespace avx512wide {

inline constexpr size_t kGroup = 16;
inline constexpr size_t kAlignment = 64;
// Two-byte elements are converted directly: looking them up in a table of 65,536 values goes
// to the second-level cache for every element of random data and is slower than the vectors.
inline constexpr bool kWordTable = false;

using Doubles = __m512d;  // half a group
struct GroupDoubles {
  Doubles low, high;
};

inline Doubles Splat(double x) { return _mm512_set1_pd(x); }
inline Doubles Add(Doubles a, Doubles b) { return _mm512_add_pd(a, b); }
inline Doubles Mul(Doubles a, Doubles b) { return _mm512_mul_pd(a, b); }
inline Doubles And(Doubles a, Doubles b) { return _mm512_and_pd(a, b); }
inline Doubles Or(Doubles a, Doubles b) { return _mm512_or_pd(a, b); }
// As in the narrower layers: vmaxpd and vminpd give their second operand when the comparison
// fails, so NaN and signed zeros come out as the conditions say.
inline Doubles RaiseTo(Doubles low, Doubles x) { return _mm512_maskz_max_pd(0xFF, low, x); }
inline Doubles LowerTo(Doubles high, Doubles x) { return _mm512_maskz_min_pd(0xFF, high, x); }

// The AVX2 layer's RoundHalfAwayLanes eight at a time, with masks for its comparisons.
template <bool kKeepNaNBits>
inline Doubles RoundHalfAwayLanes(Doubles x) {
  const __mmask8 negative = _mm512_cmp_pd_mask(x, Splat(0.0), _CMP_LT_OQ);
  const Doubles away = _mm512_mask_mov_pd(Splat(0.49999999999999994), negative, Splat(-0.49999999999999994));
  const Doubles rounded = _mm512_maskz_roundscale_pd(0xFF, Add(x, away), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  if constexpr (kKeepNaNBits) {
    const Doubles magnitude = And(x, _mm512_castsi512_pd(_mm512_set1_epi64(INT64_MAX)));
    const __mmask8 small = _mm512_cmp_pd_mask(magnitude, Splat(0x1p52), _CMP_LT_OQ);
    return _mm512_mask_mov_pd(x, small, rounded);
  } else {
    return rounded;
  }
}

inline GroupDoubles LoadDoubles(const unsigned char* p) {
  return {_mm512_loadu_pd(p), _mm512_loadu_pd(p + 64)};
}
inline void StoreDoubles(unsigned char* p, const GroupDoubles& g) {
  _mm512_storeu_pd(p, g.low);
  _mm512_storeu_pd(p + 64, g.high);
}
inline GroupDoubles LoadFloatsAsDoubles(const unsigned char* p) {
  return {_mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(reinterpret_cast<const float*>(p))),
          _mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(reinterpret_cast<const float*>(p + 32)))};
}
inline void StoreDoublesAsFloats(unsigned char* p, const GroupDoubles& g) {
  _mm256_storeu_ps(reinterpret_cast<float*>(p), _mm512_maskz_cvtpd_ps(0xFF, g.low));
  _mm256_storeu_ps(reinterpret_cast<float*>(p + 32), _mm512_maskz_cvtpd_ps(0xFF, g.high));
}

// A group of integer elements as doubles (exact): each half of the group widened to 32-bit
// lanes after its kind's signedness and converted.
template <typename T>
inline GroupDoubles LoadIntegersAsDoubles(const unsigned char* p) {
  __m256i low, high;
  if constexpr (sizeof(T) == 4) {
    low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    if constexpr (std::is_same_v<T, uint32_t>)
      return {_mm512_maskz_cvtepu32_pd(0xFF, low), _mm512_maskz_cvtepu32_pd(0xFF, high)};
  } else if constexpr (sizeof(T) == 2) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    low = std::is_signed_v<T> ? _mm256_cvtepi16_epi32(first) : _mm256_cvtepu16_epi32(first);
    high = std::is_signed_v<T> ? _mm256_cvtepi16_epi32(second) : _mm256_cvtepu16_epi32(second);
  } else {
    const __m128i first = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    const __m128i second = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8));
    low = std::is_signed_v<T> ? _mm256_cvtepi8_epi32(first) : _mm256_cvtepu8_epi32(first);
    high = std::is_signed_v<T> ? _mm256_cvtepi8_epi32(second) : _mm256_cvtepu8_epi32(second);
  }
  return {_mm512_maskz_cvtepi32_pd(0xFF, low), _mm512_maskz_cvtepi32_pd(0xFF, high)};
}

// The low bytes of eight 64-bit lanes as eight elements of integer kind T.
template <typename T>
inline void StoreLowBytesOfInt64s(unsigned char* p, __m512i wide) {
  if constexpr (sizeof(T) == 4) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvtepi64_epi32(0xFF, wide));
  } else if constexpr (sizeof(T) == 2) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_maskz_cvtepi64_epi16(0xFF, wide));
  } else {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm512_maskz_cvtepi64_epi8(0xFF, wide));
  }
}

// A group of doubles truncated into integer elements of any kind by the 64-bit truncation,
// which gives the rule's integer wherever it is in range and INT64_MIN (the rule's choice) for
// NaN and beyond: never refuses a group.
template <typename T>
inline bool StoreTruncated(unsigned char* p, const GroupDoubles& g) {
  StoreLowBytesOfInt64s<T>(p, _mm512_maskz_cvttpd_epi64(0xFF, g.low));
  StoreLowBytesOfInt64s<T>(p + 8 * sizeof(T), _mm512_maskz_cvttpd_epi64(0xFF, g.high));
  return true;
}

// The steps in single precision on sixteen 2-byte elements (see WordsInFloats in
// support/transform_kernels.inc for when this form is used).
struct WordsInFloats {
  static constexpr bool kAvailable = true;
  static constexpr size_t kGroup = 16;
  __m512 offset, scale, low, high;

  // A double as the nearest float (infinity beyond the float range), in every lane.
  static __m512 Splat(double x) {
    return _mm512_maskz_broadcastss_ps(0xFFFF, _mm_cvtsd_ss(_mm_setzero_ps(), _mm_set_sd(x)));
  }
  explicit WordsInFloats(const TransformSteps& steps)
      : offset(Splat(steps.offset)), scale(Splat(steps.scale)), low(Splat(steps.low)), high(Splat(steps.high)) {}

  template <typename T, bool kScale, bool kClip, bool kRound>
  void Apply(unsigned char* p) const {
    const __m256i words = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m512i lanes =
        std::is_signed_v<T> ? _mm512_maskz_cvtepi16_epi32(0xFFFF, words) : _mm512_maskz_cvtepu16_epi32(0xFFFF, words);
    __m512 x = _mm512_maskz_cvtepi32_ps(0xFFFF, lanes);
    if constexpr (kScale) x = _mm512_maskz_mul_ps(0xFFFF, _mm512_maskz_add_ps(0xFFFF, x, offset), scale);
    if constexpr (kClip) x = _mm512_maskz_min_ps(0xFFFF, high, _mm512_maskz_max_ps(0xFFFF, low, x));
    if constexpr (kRound) {
      const __m512 away = _mm512_or_ps(_mm512_and_ps(x, _mm512_set1_ps(-0.0f)), _mm512_set1_ps(0.49999997f));
      x = _mm512_maskz_add_ps(0xFFFF, x, away);
    }
    const __m512i truncated = _mm512_maskz_cvttps_epi32(0xFFFF, x);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvtepi32_epi16(0xFFFF, truncated));
  }
};

#include "support/transform_kernels.inc"

}  // namespace avx512wide

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// ---------------------------------------------------------------- the instruction set in use

int32_t ProcessorInstructionSet() {
  static const int32_t best = [] {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2")) return kConversionSse2;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512vbmi"))
      return kConversionAvx512;
    return kConversionAvx2;
  }();
  return best;
}

int32_t instructionSetLimit = kConversionAvx512;

// Sixty-four bytes at a time: the low and high halves of the table each by one two-register
// permute (which reads seven bits of the index), chosen by the index's top bit.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void MapBytesWithPermutes(unsigned char* data, size_t count,
                                                                                  const uint8_t* table) {
  const __m512i t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64);
  const __m512i t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i bytes = _mm512_loadu_si512(data + i);
    const __m512i low = _mm512_permutex2var_epi8(t0, bytes, t1);
    const __m512i high = _mm512_permutex2var_epi8(t2, bytes, t3);
    _mm512_storeu_si512(data + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(bytes), low, high));
  }
  for (; i < count; ++i) data[i] = table[data[i]];
}

void MapBytes(unsigned char* data, size_t count, const uint8_t* table) {
  if (ConversionInstructionSet() >= kConversionAvx512) return MapBytesWithPermutes(data, count, table);
  for (size_t i = 0; i < count; ++i) data[i] = table[data[i]];
}

const ConvertKernel* ConvertKernels() {
  switch (ConversionInstructionSet()) {
    case kConversionSse2: return sse2::kConvertKernels.data();
    case kConversionAvx2: return avx2::kConvertKernels.data();
    default: return avx512::kConvertKernels.data();
  }
}

// The bits of a NaN, quiet.
inline uint64_t QuietNaNBits(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits | (uint64_t{1} << 51);
}

// Scaling with a NaN offset or scale: every element becomes NaN, whatever the clipping and
// rounding; an element that is NaN keeps its own (quiet), the others take the offset's, or
// the scale's when the offset is a number. Integer elements keep the low bytes of the NaN's
// conversion, 0. Spelt out here, one element at a time, rather than left to the arithmetic:
// with two NaN operands the processor keeps the first one's, and the compiler may put either
// operand first.
void ScaleByNaN(int32_t numberType, unsigned char* data, size_t count, double offset, double scale) {
  const uint64_t parameter = QuietNaNBits(std::isnan(offset) ? offset : scale);
  switch (numberType) {
    case 2: {
      // A float NaN keeps the sign and the top 23 bits of a double NaN's payload.
      const uint32_t parameterFloat = static_cast<uint32_t>(parameter >> 32 & 0x80000000u) | 0x7F800000u |
                                      static_cast<uint32_t>(parameter >> 29 & 0x7FFFFFu);
      for (size_t i = 0; i < count; ++i) {
        const uint32_t bits = Load<uint32_t>(data + 4 * i);
        const bool isNaN = (bits & 0x7FFFFFFFu) > 0x7F800000u;
        Store<uint32_t>(data + 4 * i, isNaN ? bits | 0x400000u : parameterFloat);
      }
      return;
    }
    case 4:
      for (size_t i = 0; i < count; ++i) {
        const uint64_t bits = Load<uint64_t>(data + 8 * i);
        const bool isNaN = (bits & ~(uint64_t{1} << 63)) > 0x7FF0000000000000u;
        Store<uint64_t>(data + 8 * i, isNaN ? bits | (uint64_t{1} << 51) : parameter);
      }
      return;
    case 8: case 72: std::memset(data, 0, count); return;
    case 16: case 80: std::memset(data, 0, 2 * count); return;
    case 32: case 96: std::memset(data, 0, 4 * count); return;
    default: return;  // complex and text data are left alone
  }
}

void TransformElements(int32_t numberType, unsigned char* data, size_t count, const TransformSteps& steps) {
  if (steps.scaling && (std::isnan(steps.offset) || std::isnan(steps.scale)))
    return ScaleByNaN(numberType, data, count, steps.offset, steps.scale);
  switch (ConversionInstructionSet()) {
    case kConversionSse2: return sse2::TransformElements(numberType, data, count, steps);
    case kConversionAvx2: return avx2::TransformElements(numberType, data, count, steps);
    default: return avx512wide::TransformElements(numberType, data, count, steps);
  }
}

template <size_t bytes, typename Word>
void ReverseWords(unsigned char* data, size_t count, Word (*swap)(Word)) {
  for (size_t i = 0; i < count; ++i) Store<Word>(data + i * bytes, swap(Load<Word>(data + i * bytes)));
}

uint16_t Swap16(uint16_t v) { return __builtin_bswap16(v); }
uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }
uint64_t Swap64(uint64_t v) { return __builtin_bswap64(v); }

}  // namespace

int32_t ConversionInstructionSet() { return std::min(ProcessorInstructionSet(), instructionSetLimit); }

void LimitConversionInstructionSet(int32_t widest) { instructionSetLimit = widest; }

// ---------------------------------------------------------------- type codes

int32_t DecodeNumberType(int32_t numberType, int32_t* NumBytesPerPoint, int32_t* DataFormat, int32_t* IsComplex) {
  *IsComplex = numberType & 1;
  const int32_t real = numberType & ~1;
  int32_t bytes = 0, format = 0;
  switch (real) {
    case 0: return kErrTextType;
    case 2: bytes = 4, format = kDataFormatFloatingPoint; break;
    case 4: bytes = 8, format = kDataFormatFloatingPoint; break;
    case 8: bytes = 1, format = kDataFormatSignedInteger; break;
    case 16: bytes = 2, format = kDataFormatSignedInteger; break;
    case 32: bytes = 4, format = kDataFormatSignedInteger; break;
    case 72: bytes = 1, format = kDataFormatUnsignedInteger; break;
    case 80: bytes = 2, format = kDataFormatUnsignedInteger; break;
    case 96: bytes = 4, format = kDataFormatUnsignedInteger; break;
    default: return kErrNumberType;
  }
  *NumBytesPerPoint = bytes;
  *DataFormat = format;
  return 0;
}

int32_t EncodeNumberType(int32_t numBytesPerPoint, int32_t dataFormat, int32_t* numberType) {
  int32_t code;
  switch (dataFormat) {
    case kDataFormatSignedInteger:
    case kDataFormatUnsignedInteger: {
      const int32_t base = dataFormat == kDataFormatSignedInteger ? 8 : 72;
      switch (numBytesPerPoint) {
        case 1: code = base; break;
        case 2: code = base + 8; break;
        case 4: code = base + 24; break;
        default: return kErrNumberType;
      }
      break;
    }
    case kDataFormatFloatingPoint:
      switch (numBytesPerPoint) {
        case 4: code = 2; break;
        case 8: code = 4; break;
        default: return kErrNumberType;
      }
      break;
    default:
      return kErrNumberType;
  }
  *numberType = code;
  return 0;
}

// ---------------------------------------------------------------- conversion

int32_t ConvertElementRun(const void* source, void* destination, size_t count, int32_t sourceBytes,
                          int32_t sourceFormat, int32_t destinationBytes, int32_t destinationFormat) {
  const int from = KindIndex(sourceBytes, sourceFormat);
  const int to = KindIndex(destinationBytes, destinationFormat);
  if (from < 0 || to < 0) return kInvalidElementKind;
  if (from == to) {
    if (source != destination && count > 0)
      std::memmove(destination, source, count * static_cast<size_t>(sourceBytes));
    return kCopiedSameKind;
  }
  if (count > 0)
    ConvertKernels()[static_cast<size_t>(from * kKindCount + to)](static_cast<const unsigned char*>(source),
                                                                   static_cast<unsigned char*>(destination), count);
  return kConvertedElements;
}

int32_t ConvertElements(const void* source, void* destination, int32_t count, int32_t sourceBytes,
                        int32_t sourceFormat, int32_t destinationBytes, int32_t destinationFormat) {
  const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
  return ConvertElementRun(source, destination, n, sourceBytes, sourceFormat, destinationBytes, destinationFormat);
}

int32_t ConvertNumberTypes(const void* source, void* destination, int32_t count, int32_t sourceType,
                           int32_t destinationType) {
  int32_t sourceBytes = 0, sourceFormat = 0, sourceComplex = 0;
  int32_t destinationBytes = 0, destinationFormat = 0, destinationComplex = 0;
  if (DecodeNumberType(sourceType, &sourceBytes, &sourceFormat, &sourceComplex) != 0 ||
      DecodeNumberType(destinationType, &destinationBytes, &destinationFormat, &destinationComplex) != 0 ||
      sourceComplex != 0 || destinationComplex != 0)
    return kInvalidElementKind;
  return ConvertElements(source, destination, count, sourceBytes, sourceFormat, destinationBytes, destinationFormat);
}

void ReverseElementBytes(void* data, int32_t bytesPerElement, int32_t count) {
  if (bytesPerElement < 2 || count <= 0) return;
  unsigned char* bytes = static_cast<unsigned char*>(data);
  const size_t n = static_cast<size_t>(count);
  switch (bytesPerElement) {
    case 2: ReverseWords<2, uint16_t>(bytes, n, &Swap16); return;
    case 4: ReverseWords<4, uint32_t>(bytes, n, &Swap32); return;
    case 8: ReverseWords<8, uint64_t>(bytes, n, &Swap64); return;
    default: {
      const size_t width = static_cast<size_t>(bytesPerElement);
      for (size_t i = 0; i < n; ++i) std::reverse(bytes + i * width, bytes + (i + 1) * width);
      return;
    }
  }
}

// ---------------------------------------------------------------- in-place transforms

void OffsetAndScale(int32_t numberType, void* data, const double* offset, const double* scale, int32_t count) {
  if (*offset == 0 && *scale == 1) return;
  if (count <= 0) return;
  TransformElements(numberType, static_cast<unsigned char*>(data), static_cast<size_t>(count),
                    TransformSteps{*offset, *scale, 0, 0, true, false, false});
}

void ScaleClipRound(int32_t numberType, void* data, int32_t count, double offset, double scale, double low,
                    double high, int32_t round) {
  const bool scaling = offset != 0 || scale != 1;
  bool clipping = !(IsInf64(&low) != 0 && low < 0 && IsInf64(&high) != 0 && high > 0);
  if (low == 0 && high == 0) {
    switch (numberType) {
      case 2: case 4: clipping = false; break;
      case 8: low = -128, high = 127; break;
      case 16: low = -32768, high = 32767; break;
      case 32: low = -2147483648.0, high = 2147483647.0; break;
      case 72: low = 0, high = 255; break;
      case 80: low = 0, high = 65535; break;
      case 96: low = 0, high = 4294967295.0; break;
      default: break;
    }
  }
  const bool rounding = round != 0;
  if (!scaling && !clipping && !rounding) return;
  if (count <= 0) return;
  TransformElements(numberType, static_cast<unsigned char*>(data), static_cast<size_t>(count),
                    TransformSteps{offset, scale, low, high, scaling, clipping, rounding});
}

double RoundHalfAway(double x) { return RoundHalfAwayInline(x); }
