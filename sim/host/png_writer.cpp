// Saves image waves as grey PNG files with libpng: unsigned 8-bit waves as 8-bit grey, unsigned
// 16-bit waves as 16-bit grey. Dimension 0 runs along an image row, dimension 1 down the rows.
#include <cstdio>
#include <vector>

#include "sim/host/script.h"

#ifdef QUORSIM_HAVE_PNG
#include <png.h>
#endif

namespace quorsim {
namespace {

constexpr int kUnsigned8Type = 72;
constexpr int kUnsigned16Type = 80;

#ifdef QUORSIM_HAVE_PNG
// libpng reports errors by jumping back to the setjmp point; this function holds no object
// with a destructor between the setjmp and the calls that may jump.
bool WriteGreyPng(FILE* file, const uint8_t* data, uint32_t width, uint32_t height, int bitDepth,
                  std::vector<uint8_t>& row, std::string* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) {
    *error = "libpng could not start";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = "libpng failed while writing";
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, bitDepth, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t bytesPerPixel = bitDepth == 16 ? 2 : 1;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source = data + static_cast<size_t>(y) * width * bytesPerPixel;
    if (bitDepth == 16) {
      // Wave data is little-endian; PNG samples are big-endian.
      for (uint32_t x = 0; x < width; ++x) {
        row[2 * x] = source[2 * x + 1];
        row[2 * x + 1] = source[2 * x];
      }
    } else {
      for (uint32_t x = 0; x < width; ++x) row[x] = source[x];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}
#endif

}  // namespace

bool PngSupported() {
#ifdef QUORSIM_HAVE_PNG
  return true;
#else
  return false;
#endif
}

bool SaveWavePng(const WaveView& wave, const std::string& path, std::string* error) {
  if (wave.type != kUnsigned8Type && wave.type != kUnsigned16Type) {
    *error = "the wave is " + WaveTypeName(wave.type) +
             "; only unsigned 8-bit and unsigned 16-bit integer waves can be saved as PNG";
    return false;
  }
  if (wave.dimensions.empty() || wave.dimensions.size() > 2) {
    *error = "only waves of one or two dimensions with points can be saved as PNG";
    return false;
  }
  const uint32_t width = static_cast<uint32_t>(wave.dimensions[0]);
  const uint32_t height = wave.dimensions.size() == 2 ? static_cast<uint32_t>(wave.dimensions[1]) : 1;
  const int bitDepth = wave.type == kUnsigned16Type ? 16 : 8;
  const size_t bytesPerPixel = bitDepth == 16 ? 2 : 1;
  if (width == 0 || height == 0 || wave.dataBytes < size_t{width} * height * bytesPerPixel) {
    *error = "the wave has no pixels";
    return false;
  }
#ifdef QUORSIM_HAVE_PNG
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + path;
    return false;
  }
  std::vector<uint8_t> row(size_t{width} * bytesPerPixel);
  bool ok = WriteGreyPng(file, wave.data, width, height, bitDepth, row, error);
  if (std::fclose(file) != 0 && ok) {
    *error = "cannot finish writing " + path;
    ok = false;
  }
  if (!ok) std::remove(path.c_str());
  return ok;
#else
  (void)path;
  *error = "this quorsim was built without PNG support";
  return false;
#endif
}

}  // namespace quorsim
