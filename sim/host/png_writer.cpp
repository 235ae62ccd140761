// Saves image waves as grey PNG files, written directly around zlib's compress and crc32:
// unsigned 8-bit waves as 8-bit grey, unsigned 16-bit waves as 16-bit grey, as they are or with
// a range of values stretched over the PNG's full range (then any real numeric wave). Dimension
// 0 runs along an image row, dimension 1 down the rows. What the caller knows of the picture
// goes into tEXt chunks before the pixels.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "hostdata/waves.h"
#include "sim/host/host_internal.h"
#include "sim/host/script.h"

#ifdef QUORSIM_HAVE_PNG
#include <zlib.h>
#endif

namespace quorsim {
namespace {

#ifdef QUORSIM_HAVE_PNG
void PutBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// One chunk: length, type, data, and the CRC of type and data.
void PutChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
  PutBigEndian32(out, static_cast<uint32_t>(size));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  if (size > 0) out.insert(out.end(), data, data + size);
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, out.data() + typeAt, static_cast<uInt>(4 + size));
  PutBigEndian32(out, static_cast<uint32_t>(crc));
}

// A tEXt chunk: the keyword (1 to 79 characters), a 0 byte, the text, which holds no 0 byte.
void PutTextChunk(std::vector<uint8_t>& out, const PngTextEntry& entry) {
  std::vector<uint8_t> body(entry.first.begin(), entry.first.begin() + std::min<size_t>(entry.first.size(), 79));
  if (body.empty()) return;
  body.push_back(0);
  for (const char c : entry.second) body.push_back(c == '\0' ? '?' : static_cast<uint8_t>(c));
  PutChunk(out, "tEXt", body.data(), body.size());
}

// The whole file in memory: signature, IHDR, the text chunks, one IDAT holding the zlib stream
// of the rows (each with filter type 0), IEND. Wave data is little-endian; 16-bit PNG samples
// are big-endian.
bool EncodeGreyPng(const uint8_t* data, uint32_t width, uint32_t height, int bitDepth, const PngText& text,
                   std::vector<uint8_t>* file, std::string* error) {
  const size_t bytesPerPixel = bitDepth == 16 ? 2 : 1;
  const size_t rowBytes = size_t{width} * bytesPerPixel;
  std::vector<uint8_t> raw((rowBytes + 1) * height);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = raw.data() + y * (rowBytes + 1);
    const uint8_t* source = data + y * rowBytes;
    row[0] = 0;  // no filter
    if (bitDepth == 16) {
      for (uint32_t x = 0; x < width; ++x) {
        row[1 + 2 * x] = source[2 * x + 1];
        row[2 + 2 * x] = source[2 * x];
      }
    } else {
      std::copy(source, source + rowBytes, row + 1);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (raw.size() > UINT32_MAX || compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                                           Z_DEFAULT_COMPRESSION) != Z_OK) {
    *error = "zlib could not compress the pixels";
    return false;
  }
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  file->assign(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  PutBigEndian32(header, width);
  PutBigEndian32(header, height);
  header.push_back(static_cast<uint8_t>(bitDepth));
  header.push_back(0);  // grey
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering, each row's filter byte
  header.push_back(0);  // not interlaced
  PutChunk(*file, "IHDR", header.data(), header.size());
  for (const PngTextEntry& entry : text) PutTextChunk(*file, entry);
  PutChunk(*file, "IDAT", packed.data(), packedSize);
  PutChunk(*file, "IEND", nullptr, 0);
  return true;
}
#endif

// Width and height of a wave of one or two dimensions with points, and whether its data holds
// them at this many bytes a pixel.
bool ImageShape(const WaveView& wave, size_t bytesPerPixel, uint32_t* width, uint32_t* height, std::string* error) {
  if (wave.dimensions.empty() || wave.dimensions.size() > 2) {
    *error = "only waves of one or two dimensions with points can be saved as PNG";
    return false;
  }
  *width = static_cast<uint32_t>(std::max(wave.dimensions[0], 0));
  *height = wave.dimensions.size() == 2 ? static_cast<uint32_t>(std::max(wave.dimensions[1], 0)) : 1;
  if (*width == 0 || *height == 0 || wave.dataBytes / bytesPerPixel / *width < *height) {
    *error = "the wave has no pixels";
    return false;
  }
  return true;
}

#ifdef QUORSIM_HAVE_PNG
bool WriteFile(const std::vector<uint8_t>& bytes, const std::string& path, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !ok) {
    *error = "cannot finish writing " + path;
    ok = false;
  }
  if (!ok) std::remove(path.c_str());
  return ok;
}
#endif

bool EncodeAndWrite(const uint8_t* pixels, uint32_t width, uint32_t height, int bitDepth, const PngText& text,
                    const std::string& path, std::string* error) {
#ifdef QUORSIM_HAVE_PNG
  std::vector<uint8_t> bytes;
  if (!EncodeGreyPng(pixels, width, height, bitDepth, text, &bytes, error)) return false;
  return WriteFile(bytes, path, error);
#else
  (void)pixels, (void)width, (void)height, (void)bitDepth, (void)text, (void)path;
  *error = "this quorsim was built without PNG support";
  return false;
#endif
}

}  // namespace

uint32_t StretchedValue(double value, double low, double high, uint32_t fullScale) {
  if (low == high) return value >= low ? fullScale : 0;
  // Halves, so that a range as wide as the doubles themselves does not overflow; halving is
  // exact, so the ratio is the same as of the whole values.
  const double t = (value / 2 - low / 2) / (high / 2 - low / 2);
  if (!(t > 0.0)) return 0;  // NaN too
  if (t >= 1.0) return fullScale;
  return static_cast<uint32_t>(std::floor(t * fullScale + 0.5));
}

bool SaveWavePngStretched(const WaveView& wave, const std::string& path, const PngStretch& stretch,
                          PngStretchUsed* used, std::string* error, const PngText& text) {
  if (wave.type == 0 || (wave.type & 1) != 0 || WaveElementBytes(wave.type) == 0) {
    *error = "the wave is " + WaveTypeName(wave.type) + "; only real numeric waves can be stretched into a PNG";
    return false;
  }
  const size_t elementBytes = WaveElementBytes(wave.type);
  uint32_t width = 0, height = 0;
  if (!ImageShape(wave, elementBytes, &width, &height, error)) return false;
  const size_t count = size_t{width} * height;
  double low = stretch.low, high = stretch.high;
  if (!stretch.given) {
    low = std::numeric_limits<double>::infinity();
    high = -low;
    for (size_t i = 0; i < count; ++i) {
      const double v = ReadElement(wave.data + i * elementBytes, wave.type);
      if (!std::isfinite(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
    if (low > high) {
      *error = "the wave has no finite values to stretch";
      return false;
    }
  }
  if (!std::isfinite(low) || !std::isfinite(high)) {
    *error = "the range to stretch must be finite";
    return false;
  }
  // Eight-bit waves stay eight-bit; everything else gets the sixteen bits of a PNG sample.
  const int bitDepth = elementBytes == 1 ? 8 : 16;
  const uint32_t fullScale = bitDepth == 8 ? 255 : 65535;
  std::vector<uint8_t> pixels(count * (bitDepth / 8));
  for (size_t i = 0; i < count; ++i) {
    const uint32_t out = StretchedValue(ReadElement(wave.data + i * elementBytes, wave.type), low, high, fullScale);
    if (bitDepth == 8) {
      pixels[i] = static_cast<uint8_t>(out);
    } else {
      pixels[2 * i] = static_cast<uint8_t>(out & 0xFF);  // little-endian, as wave data
      pixels[2 * i + 1] = static_cast<uint8_t>(out >> 8);
    }
  }
  if (used != nullptr) *used = {low, high, fullScale};
  // How to read the values back: the stretch goes with the picture.
  PngText withStretch = text;
  withStretch.emplace_back("Stretch",
                           FormatNumber(low) + ".." + FormatNumber(high) + " onto 0.." + std::to_string(fullScale));
  return EncodeAndWrite(pixels.data(), width, height, bitDepth, withStretch, path, error);
}

bool PngSupported() {
#ifdef QUORSIM_HAVE_PNG
  return true;
#else
  return false;
#endif
}

bool SaveWavePng(const WaveView& wave, const std::string& path, std::string* error, const PngText& text) {
  if (wave.type != kWaveTypeUInt8 && wave.type != kWaveTypeUInt16) {
    *error = "the wave is " + WaveTypeName(wave.type) +
             "; only unsigned 8-bit and unsigned 16-bit integer waves can be saved as PNG";
    return false;
  }
  const int bitDepth = wave.type == kWaveTypeUInt16 ? 16 : 8;
  uint32_t width = 0, height = 0;
  if (!ImageShape(wave, bitDepth / 8, &width, &height, error)) return false;
  return EncodeAndWrite(wave.data, width, height, bitDepth, text, path, error);
}

}  // namespace quorsim
