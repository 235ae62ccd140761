// The 8-bit window of QV_TakePicture_8: each 16-bit pixel p maps to
//   s = (p - low) * 256 / (high - low)   (double, in that order),  v = trunc(s),
// with v above 255 stored as 255 and a negative s as 0. A window of zero width is a threshold
// (p >= low gives 255, else 0); a low or high that is NaN or infinite gives 0 for every pixel,
// and so does an s that is NaN. WindowPixelLiteral is the rule written out for one pixel;
// WindowPixels applies it to a whole picture in one pass, bit for bit the same as the rule.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

inline uint8_t WindowPixelLiteral(uint16_t p, double low, double high) {
  if (!std::isfinite(low) || !std::isfinite(high)) return 0;
  const double pixel = static_cast<double>(p);
  if (high == low) return pixel >= low ? 255 : 0;
  const double s = (pixel - low) * 256.0 / (high - low);
  if (std::isnan(s) || s < 0.0) return 0;
  if (s >= 256.0) return 255;  // trunc(s) > 255
  return static_cast<uint8_t>(static_cast<int32_t>(s));
}

// Writes count bytes to out, out[i] == WindowPixelLiteral(pixels[i], low, high) for every i.
void WindowPixels(const uint16_t* pixels, size_t count, double low, double high, uint8_t* out);
