// A slow element-by-element model of the numeric conversions, written from the rules rather
// than from the kernels: every element is read into an exact value (a 64-bit integer or a
// double), the float-to-integer rules are spelt out with std::trunc and explicit limits, and
// integer results are reduced modulo 2^bits. The unit tests and the fuzzers compare the
// kernels and the point stores with it byte for byte.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace conversionref {

struct Kind {
  int32_t bytes;
  int32_t format;  // 1 signed, 2 unsigned, 3 floating point
  int32_t typeCode;
  const char* name;
};

// The eight element kinds.
inline constexpr Kind kKinds[8] = {
    {4, 3, 2, "float32"}, {8, 3, 4, "float64"}, {1, 1, 8, "int8"},   {2, 1, 16, "int16"},
    {4, 1, 32, "int32"},  {1, 2, 72, "uint8"},  {2, 2, 80, "uint16"}, {4, 2, 96, "uint32"},
};

inline bool IsFloat(const Kind& k) { return k.format == 3; }

// An element's value: exact integer for integer kinds, double for floating-point kinds.
struct Value {
  bool isFloat;
  int64_t integer;
  double real;
};

inline Value ReadValue(const Kind& k, const unsigned char* p) {
  Value v{IsFloat(k), 0, 0};
  if (k.format == 3) {
    if (k.bytes == 4) {
      float f;
      std::memcpy(&f, p, 4);
      v.real = f;
    } else {
      std::memcpy(&v.real, p, 8);
    }
    return v;
  }
  uint64_t raw = 0;
  for (int i = 0; i < k.bytes; ++i) raw |= uint64_t{p[i]} << (8 * i);
  const int bits = 8 * k.bytes;
  if (k.format == 1 && (raw >> (bits - 1)) != 0) {
    v.integer = static_cast<int64_t>(raw) - (int64_t{1} << bits);  // negative: two's complement
  } else {
    v.integer = static_cast<int64_t>(raw);
  }
  return v;
}

// Writes the low-order bytes of an integer (two's complement), little-endian.
inline void WriteLowBytes(int64_t value, int bytes, unsigned char* p) {
  const uint64_t raw = static_cast<uint64_t>(value);
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(raw >> (8 * i));
}

// Floating point into integer elements: truncation toward zero to the whole integer, of which
// the element keeps the low-order bytes. Where that integer is beyond the 64-bit integers, and
// for NaN and the infinities, INT64_MIN (whose low-order bytes are 0).
inline int64_t WholeInteger(double x) {
  if (std::isnan(x)) return INT64_MIN;
  const double t = std::trunc(x);
  if (t < -9223372036854775808.0 || t >= 9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(t);
}

// The point stores' own rule: truncation toward zero to a 32-bit (for 4-byte unsigned
// elements, 64-bit) integer, the most negative value when NaN or out of range.
inline int64_t PointIntermediate(double x, bool wide) {
  const double lowest = wide ? -9223372036854775808.0 : -2147483648.0;
  const double highestExclusive = wide ? 9223372036854775808.0 : 2147483648.0;
  if (std::isnan(x)) return wide ? INT64_MIN : INT32_MIN;
  const double t = std::trunc(x);
  if (t < lowest || t >= highestExclusive) return wide ? INT64_MIN : INT32_MIN;
  return static_cast<int64_t>(t);
}

inline void WriteValue(const Kind& k, const Value& v, unsigned char* p) {
  if (k.format == 3) {
    const double d = v.isFloat ? v.real : static_cast<double>(v.integer);  // integers below 2^33: exact
    if (k.bytes == 8) {
      std::memcpy(p, &d, 8);
    } else {
      const float f = static_cast<float>(d);
      std::memcpy(p, &f, 4);
    }
    return;
  }
  WriteLowBytes(v.isFloat ? WholeInteger(v.real) : v.integer, k.bytes, p);
}

// A double as a point store writes it into an element of kind k.
inline void WritePointValue(const Kind& k, double x, unsigned char* p) {
  if (k.format == 3) return WriteValue(k, {true, 0, x}, p);
  WriteLowBytes(PointIntermediate(x, k.bytes == 4 && k.format == 2), k.bytes, p);
}

// Converts count elements from separate buffers; the same kind on both sides is a plain copy
// (bit for bit, signalling NaNs included).
inline void Convert(const Kind& from, const Kind& to, const unsigned char* source, unsigned char* destination,
                    size_t count) {
  if (from.bytes == to.bytes && from.format == to.format) {
    if (count > 0) std::memcpy(destination, source, count * from.bytes);
    return;
  }
  for (size_t i = 0; i < count; ++i)
    WriteValue(to, ReadValue(from, source + i * from.bytes), destination + i * to.bytes);
}

// Round half away from zero, from std::round; -0.0 gives +0.0.
inline double RoundHalfAwayModel(double x) {
  if (std::isnan(x) || std::isinf(x)) return x;
  const double r = std::round(x);
  return x < 0 ? r : r + 0.0;
}

// A NaN made quiet, its sign and payload kept.
inline double QuietNaN(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, 8);
  bits |= uint64_t{1} << 51;
  std::memcpy(&x, &bits, 8);
  return x;
}

// ScaleClipRound on one element of a real kind, with the limits already chosen. Scaling with a
// NaN among the element, the offset and the scale gives the first of them that is NaN, quiet.
inline void ScaleClipRoundElement(const Kind& k, unsigned char* p, bool scaling, double offset, double scale,
                                  bool clipping, double low, double high, bool rounding) {
  const Value in = ReadValue(k, p);
  double x = in.isFloat ? in.real : static_cast<double>(in.integer);
  if (scaling) {
    if (std::isnan(x)) {
      x = QuietNaN(x);
    } else if (std::isnan(offset)) {
      x = QuietNaN(offset);
    } else if (std::isnan(scale)) {
      x = QuietNaN(scale);
    } else {
      x = (x + offset) * scale;
    }
  }
  if (clipping) {
    if (x < low) x = low;
    if (x > high) x = high;
  }
  if (rounding) x = RoundHalfAwayModel(x);
  WriteValue(k, Value{true, 0, x}, p);
}

inline std::string Hex(const unsigned char* p, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

}  // namespace conversionref
