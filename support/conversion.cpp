// Numeric conversion kernels. Each (source kind, destination kind) pair has its own loop,
// instantiated from one template, so no loop tests a type per element; a request picks its
// loop from an 8 x 8 table once. Elements are read and written with memcpy because wave data
// need not be aligned to its element size (layout-0 data starts at byte 110 of the block).
//
// The float-to-integer rule selects in floating point before converting: a value whose
// truncation lies outside the intermediate integer (or NaN, which fails every comparison) is
// replaced by the intermediate's most negative value, so the conversion that follows is always
// in range and has no undefined case. Where SSE2 is there (every build of the module), the
// pairs the compiler vectorizes poorly by itself get a vector prefix written with intrinsics:
// floating point into integers, whose truncating instructions give the rule's intermediate
// directly, and small integers into wider kinds.
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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// ---------------------------------------------------------------- element rules

// Truncation toward zero to int32; INT32_MIN for NaN and values whose truncation is outside
// int32. In range means -2^31 - 1 < x < 2^31; for floats the lower bound is -2^31 itself, as
// no float lies between the two.
template <typename F>
inline int32_t TruncateToInt32(F x) {
  constexpr F kMostNegative = static_cast<F>(-0x1p31);
  bool inRange;
  if constexpr (std::is_same_v<F, double>) {
    inRange = x > -0x1p31 - 1.0 && x < 0x1p31;
  } else {
    inRange = x >= -0x1p31f && x < 0x1p31f;
  }
  return static_cast<int32_t>(inRange ? x : kMostNegative);
}

// Truncation toward zero to int64; INT64_MIN for NaN and values outside -2^63 <= x < 2^63
// (no double or float lies between -2^63 - 1 and -2^63).
template <typename F>
inline int64_t TruncateToInt64(F x) {
  constexpr F kMostNegative = static_cast<F>(-0x1p63);
  const bool inRange = x >= kMostNegative && x < static_cast<F>(0x1p63);
  return static_cast<int64_t>(inRange ? x : kMostNegative);
}

// One element of source kind S as destination kind D.
template <typename S, typename D>
inline D ConvertElement(S value) {
  if constexpr (std::is_floating_point_v<D>) {
    // Integers exactly (4-byte unsigned read as unsigned), rounded to nearest for float;
    // double to float rounds to nearest (beyond the float range: infinity).
    return static_cast<D>(value);
  } else if constexpr (std::is_floating_point_v<S>) {
    if constexpr (std::is_same_v<D, uint32_t>) {
      return static_cast<D>(TruncateToInt64(value));
    } else {
      return static_cast<D>(TruncateToInt32(value));
    }
  } else {
    // Between integers: wider by sign or zero extension after the source's signedness,
    // narrower or of other signedness by keeping the low-order bytes (modular conversion).
    return static_cast<D>(value);
  }
}

// Rounds half away from zero without the double rounding of floor(x + 0.5): adding and
// subtracting 2^52 gives the nearest integer with ties to even, exactly for |x| < 2^52, and a
// tie that went down to even is moved one up. Larger magnitudes, infinities and NaN are
// integers or unchanged already. No branches, so the loops below vectorize.
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

// ---------------------------------------------------------------- float to integer, eight at a time
#if defined(__SSE2__)
// The x86 truncating conversions (cvttpd2dq, cvttps2dq) give INT32_MIN for NaN and for values
// whose truncation lies outside int32: exactly the intermediate of the rule above, so the
// vector loops below need no range test except for 4-byte unsigned destinations.

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
inline bool HasInt32Min(__m128i lanes) {
  return _mm_movemask_epi8(_mm_cmpeq_epi32(lanes, _mm_set1_epi32(INT32_MIN))) != 0;
}

inline bool TruncateFourToUInt32(const unsigned char* p, double, __m128i* lanes) {
  const __m128d x0 = _mm_loadu_pd(reinterpret_cast<const double*>(p));
  const __m128d x1 = _mm_loadu_pd(reinterpret_cast<const double*>(p + 16));
  const __m128d half = _mm_set1_pd(0x1p31);
  const __m128d upper0 = _mm_cmpge_pd(x0, half), upper1 = _mm_cmpge_pd(x1, half);
  const __m128i truncated = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_sub_pd(x0, _mm_and_pd(upper0, half))),
                                               _mm_cvttpd_epi32(_mm_sub_pd(x1, _mm_and_pd(upper1, half))));
  if (HasInt32Min(truncated)) return false;
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
  if (HasInt32Min(truncated)) return false;
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
          for (size_t k = half; k < half + 4; ++k)
            Store<D>(out + k * 4, ConvertElement<S, D>(Load<S>(in + k * sizeof(S))));
        }
      }
    } else {
      EightLanes lanes = TruncateEight<S>(in);
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

// ---------------------------------------------------------------- integers to wider kinds, sixteen at a time

// Sixteen elements of a 1- or 2-byte integer kind as 16-bit lanes (1-byte sources) or 32-bit
// lanes, sign- or zero-extended after the source's signedness.
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

// Converts the leading multiple of sixteen elements of an integer run into a floating-point
// kind or a wider integer kind and returns how many it did. Loads come before the stores of
// the same group, so equal widths may also share one address.
template <typename S, typename D>
inline size_t IntegerWideningPrefix(const unsigned char* source, unsigned char* destination, size_t count) {
  const size_t whole = count - count % 16;
  for (size_t i = 0; i < whole; i += 16) {
    const unsigned char* in = source + i * sizeof(S);
    unsigned char* out = destination + i * sizeof(D);
    if constexpr (sizeof(S) == 1 && sizeof(D) == 2) {
      __m128i words[2];
      WidenBytesToWords<S>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), words);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), words[0]);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), words[1]);
    } else {
      __m128i lanes[4];
      WidenSixteen<S>(in, lanes);
      for (int q = 0; q < 4; ++q) {
        unsigned char* o = out + q * 4 * sizeof(D);
        if constexpr (std::is_same_v<D, float>) {
          _mm_storeu_ps(reinterpret_cast<float*>(o), LanesToFloats<S>(lanes[q]));
        } else if constexpr (std::is_same_v<D, double>) {
          __m128d low, high;
          LanesToDoubles<S>(lanes[q], &low, &high);
          _mm_storeu_pd(reinterpret_cast<double*>(o), low);
          _mm_storeu_pd(reinterpret_cast<double*>(o + 16), high);
        } else {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), lanes[q]);
        }
      }
    }
  }
  return whole;
}

// The vector prefix of a pair, where there is one: floating point into integers, and integers
// into floating point or into wider integers. Other pairs are left to the scalar loop, which
// the compiler vectorizes well enough by itself.
template <typename S, typename D>
inline size_t ConvertVectorPrefix(const unsigned char* source, unsigned char* destination, size_t count) {
  if constexpr (std::is_floating_point_v<S> && std::is_integral_v<D>) {
    return FloatToIntegerPrefix<S, D>(source, destination, count);
  } else if constexpr (std::is_integral_v<S> && (std::is_floating_point_v<D> || sizeof(D) > sizeof(S))) {
    return IntegerWideningPrefix<S, D>(source, destination, count);
  } else {
    (void)source, (void)destination, (void)count;
    return 0;
  }
}
#else
template <typename S, typename D>
inline size_t ConvertVectorPrefix(const unsigned char*, unsigned char*, size_t) {
  return 0;
}
#endif

// ---------------------------------------------------------------- conversion loops

using ConvertKernel = void (*)(const unsigned char* source, unsigned char* destination, size_t count);

// Elements of one local block of the in-place walks.
inline constexpr size_t kLocalBlock = 512;

// Separate buffers: the vector prefix where there is one, then one straight loop that the
// compiler may vectorize.
template <typename S, typename D>
void ConvertSeparate(const unsigned char* __restrict source, unsigned char* __restrict destination, size_t count) {
  for (size_t i = ConvertVectorPrefix<S, D>(source, destination, count); i < count; ++i)
    Store<D>(destination + i * sizeof(D), ConvertElement<S, D>(Load<S>(source + i * sizeof(S))));
}

// Through a local block: converts [first, first + n) into the block, then writes the block
// out, so the block's elements are all read before any of them is written.
template <typename S, typename D>
void ConvertThroughBlock(const unsigned char* source, unsigned char* destination, size_t first, size_t n) {
  alignas(16) unsigned char block[kLocalBlock * sizeof(D)];
  ConvertSeparate<S, D>(source + first * sizeof(S), block, n);
  std::memcpy(destination + first * sizeof(D), block, n * sizeof(D));
}

// Walks the run in local blocks: from the last block to the first when elements grow, from the
// first to the last otherwise; a block's destination bytes then cover only source elements of
// that block or of blocks already done.
template <typename S, typename D>
void ConvertInLocalBlocks(const unsigned char* source, unsigned char* destination, size_t count) {
  if constexpr (sizeof(D) > sizeof(S)) {
    for (size_t end = count; end > 0;) {
      const size_t n = std::min(end, kLocalBlock);
      end -= n;
      ConvertThroughBlock<S, D>(source, destination, end, n);
    }
  } else {
    for (size_t first = 0; first < count; first += kLocalBlock)
      ConvertThroughBlock<S, D>(source, destination, first, std::min(count - first, kLocalBlock));
  }
}

// In place (one address). Same width: every element is read before its own slot is written,
// in one pass. Growing elements: from the end, the largest tail whose destination lies wholly
// above its own source (and so above every element still unread) is converted directly as a
// pair of separate runs; that leaves at most half of the run each time, and the last small
// part goes through a local block. Shrinking elements: the mirror image, from the start.
template <typename S, typename D>
void ConvertInPlace(unsigned char* data, size_t count) {
  if constexpr (sizeof(D) == sizeof(S)) {
    for (size_t i = ConvertVectorPrefix<S, D>(data, data, count); i < count; ++i)
      Store<D>(data + i * sizeof(D), ConvertElement<S, D>(Load<S>(data + i * sizeof(S))));
  } else if constexpr (sizeof(D) > sizeof(S)) {
    size_t end = count;
    while (end > kLocalBlock) {
      const size_t first = (end * sizeof(S) + sizeof(D) - 1) / sizeof(D);
      ConvertSeparate<S, D>(data + first * sizeof(S), data + first * sizeof(D), end - first);
      end = first;
    }
    ConvertInLocalBlocks<S, D>(data, data, end);
  } else {
    size_t first = std::min(count, kLocalBlock);
    ConvertInLocalBlocks<S, D>(data, data, first);
    while (first < count) {
      const size_t last = std::min(count, first * sizeof(S) / sizeof(D));
      ConvertSeparate<S, D>(data + first * sizeof(S), data + first * sizeof(D), last - first);
      first = last;
    }
  }
}

bool RunsOverlap(const void* a, size_t aBytes, const void* b, size_t bBytes) {
  const uintptr_t aStart = reinterpret_cast<uintptr_t>(a);
  const uintptr_t bStart = reinterpret_cast<uintptr_t>(b);
  return aStart < bStart + bBytes && bStart < aStart + aBytes;
}

template <typename S, typename D>
void ConvertRun(const unsigned char* source, unsigned char* destination, size_t count) {
  if (source == destination) {
    ConvertInPlace<S, D>(destination, count);
  } else if (RunsOverlap(source, count * sizeof(S), destination, count * sizeof(D))) {
    // Outside the routine's contract (runs that overlap at different addresses): no byte
    // outside either run is touched, the values are as good as the walk order makes them.
    ConvertInLocalBlocks<S, D>(source, destination, count);
  } else {
    ConvertSeparate<S, D>(source, destination, count);
  }
}

template <size_t... pairs>
constexpr std::array<ConvertKernel, sizeof...(pairs)> MakeConvertKernels(std::index_sequence<pairs...>) {
  return {&ConvertRun<std::tuple_element_t<pairs / kKindCount, KindTypes>,
                      std::tuple_element_t<pairs % kKindCount, KindTypes>>...};
}

// Row: source kind; column: destination kind (the diagonal is never used: same kinds copy).
constexpr auto kConvertKernels = MakeConvertKernels(std::make_index_sequence<kKindCount * kKindCount>{});

// ---------------------------------------------------------------- in-place transforms

// Applies an operation to each element as a double and stores the result back by the element
// rules of ConvertElements. Floating-point elements take one pass; integer elements go through
// a local block of doubles, read and written by the conversion loops, so that each part is one
// simple loop.
template <typename T, typename Operation>
void TransformAsDoubles(unsigned char* data, size_t count, const Operation& operation) {
  if constexpr (std::is_floating_point_v<T>) {
    for (size_t i = 0; i < count; ++i) {
      unsigned char* p = data + i * sizeof(T);
      Store<T>(p, ConvertElement<double, T>(operation(static_cast<double>(Load<T>(p)))));
    }
  } else {
    alignas(16) double block[kLocalBlock];
    unsigned char* blockBytes = reinterpret_cast<unsigned char*>(block);
    for (size_t first = 0; first < count; first += kLocalBlock) {
      const size_t n = std::min(count - first, kLocalBlock);
      unsigned char* elements = data + first * sizeof(T);
      ConvertSeparate<T, double>(elements, blockBytes, n);
      for (size_t i = 0; i < n; ++i) block[i] = operation(block[i]);
      ConvertSeparate<double, T>(blockBytes, elements, n);
    }
  }
}

// Elements of one or two bytes have few values: for a run long enough, the operation is
// applied once to each possible value (by TransformAsDoubles, on a table holding them all) and
// the run is then mapped through the table, with the same results element for element.
template <typename T, typename Operation>
void MapThroughTable(unsigned char* data, size_t count, const Operation& operation, std::make_unsigned_t<T>* table) {
  using Bits = std::make_unsigned_t<T>;
  constexpr size_t kValues = size_t{1} << (8 * sizeof(T));
  for (size_t v = 0; v < kValues; ++v) table[v] = static_cast<Bits>(v);
  TransformAsDoubles<T>(reinterpret_cast<unsigned char*>(table), kValues, operation);
  for (size_t i = 0; i < count; ++i) {
    unsigned char* p = data + i * sizeof(T);
    Store<Bits>(p, table[Load<Bits>(p)]);
  }
}

template <typename T, typename Operation>
void Transform(unsigned char* data, size_t count, const Operation& operation) {
  using Bits = std::make_unsigned_t<std::conditional_t<std::is_integral_v<T>, T, int>>;
  if constexpr (std::is_integral_v<T> && sizeof(T) == 1) {
    if (count >= 256) {
      Bits table[256];
      MapThroughTable<T>(data, count, operation, table);
      return;
    }
  } else if constexpr (std::is_integral_v<T> && sizeof(T) == 2) {
    if (count >= 65536) {
      std::unique_ptr<Bits[]> table(new (std::nothrow) Bits[65536]);
      if (table != nullptr) {
        MapThroughTable<T>(data, count, operation, table.get());
        return;
      }
    }
  }
  TransformAsDoubles<T>(data, count, operation);
}

template <typename T>
void OffsetAndScaleRun(unsigned char* data, size_t count, double offset, double scale) {
  Transform<T>(data, count, [offset, scale](double x) { return (x + offset) * scale; });
}

struct ClipLimits {
  double low, high;
};

template <typename T, bool kScale, bool kClip, bool kRound>
void ScaleClipRoundRun(unsigned char* data, size_t count, double offset, double scale, ClipLimits limits) {
  Transform<T>(data, count, [&](double x) {
    if constexpr (kScale) x = (x + offset) * scale;
    if constexpr (kClip) {
      x = x < limits.low ? limits.low : x;
      x = x > limits.high ? limits.high : x;
    }
    if constexpr (kRound) x = RoundHalfAwayInline(x);
    return x;
  });
}

// One loop per combination of the three steps, chosen before the data is touched.
template <typename T>
void ScaleClipRoundType(unsigned char* data, size_t count, double offset, double scale, bool scaling,
                        bool clipping, ClipLimits limits, bool rounding) {
  using Run = void (*)(unsigned char*, size_t, double, double, ClipLimits);
  static constexpr Run kRuns[8] = {
      &ScaleClipRoundRun<T, false, false, false>, &ScaleClipRoundRun<T, false, false, true>,
      &ScaleClipRoundRun<T, false, true, false>,  &ScaleClipRoundRun<T, false, true, true>,
      &ScaleClipRoundRun<T, true, false, false>,  &ScaleClipRoundRun<T, true, false, true>,
      &ScaleClipRoundRun<T, true, true, false>,   &ScaleClipRoundRun<T, true, true, true>,
  };
  kRuns[(scaling ? 4 : 0) | (clipping ? 2 : 0) | (rounding ? 1 : 0)](data, count, offset, scale, limits);
}

template <size_t bytes, typename Word>
void ReverseWords(unsigned char* data, size_t count, Word (*swap)(Word)) {
  for (size_t i = 0; i < count; ++i) Store<Word>(data + i * bytes, swap(Load<Word>(data + i * bytes)));
}

uint16_t Swap16(uint16_t v) { return __builtin_bswap16(v); }
uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }
uint64_t Swap64(uint64_t v) { return __builtin_bswap64(v); }

}  // namespace

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
    kConvertKernels[static_cast<size_t>(from * kKindCount + to)](static_cast<const unsigned char*>(source),
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
  unsigned char* p = static_cast<unsigned char*>(data);
  const size_t n = static_cast<size_t>(count);
  const double o = *offset, s = *scale;
  switch (numberType) {
    case 2: OffsetAndScaleRun<float>(p, n, o, s); break;
    case 4: OffsetAndScaleRun<double>(p, n, o, s); break;
    case 8: OffsetAndScaleRun<int8_t>(p, n, o, s); break;
    case 16: OffsetAndScaleRun<int16_t>(p, n, o, s); break;
    case 32: OffsetAndScaleRun<int32_t>(p, n, o, s); break;
    case 72: OffsetAndScaleRun<uint8_t>(p, n, o, s); break;
    case 80: OffsetAndScaleRun<uint16_t>(p, n, o, s); break;
    case 96: OffsetAndScaleRun<uint32_t>(p, n, o, s); break;
    default: break;  // complex and text data are left alone
  }
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
  unsigned char* p = static_cast<unsigned char*>(data);
  const size_t n = static_cast<size_t>(count);
  const ClipLimits limits{low, high};
  switch (numberType) {
    case 2: ScaleClipRoundType<float>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    case 4: ScaleClipRoundType<double>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    case 8: ScaleClipRoundType<int8_t>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    case 16: ScaleClipRoundType<int16_t>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    case 32: ScaleClipRoundType<int32_t>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    case 72: ScaleClipRoundType<uint8_t>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    case 80: ScaleClipRoundType<uint16_t>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    case 96: ScaleClipRoundType<uint32_t>(p, n, offset, scale, scaling, clipping, limits, rounding); break;
    default: break;  // complex and text data are left alone
  }
}

double RoundHalfAway(double x) { return RoundHalfAwayInline(x); }
