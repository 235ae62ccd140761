// Image waves saved as PNG, read back with libpng (a reader independent of our writer, where the
// build has it) and compared pixel by pixel: 8-bit and 16-bit grey, dimension 0 along the rows,
// a range of values stretched over the full range, and the waves that cannot be saved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "sim/host/script.h"

#if defined(QUORSIM_HAVE_PNG) && defined(PNG_TEST_HAVE_LIBPNG)
#include <png.h>
#endif

namespace {

using namespace quorsim;

#if defined(QUORSIM_HAVE_PNG) && defined(PNG_TEST_HAVE_LIBPNG)
struct Image {
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colorType = -1;
  std::vector<std::vector<uint8_t>> rows;
  PngText text;
};

bool ReadPng(const std::string& path, Image* image) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  image->width = png_get_image_width(png, info);
  image->height = png_get_image_height(png, info);
  image->bitDepth = png_get_bit_depth(png, info);
  image->colorType = png_get_color_type(png, info);
  png_bytepp rows = png_get_rows(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  for (uint32_t y = 0; y < image->height; ++y) image->rows.emplace_back(rows[y], rows[y] + rowBytes);
  png_textp text = nullptr;
  const int texts = png_get_text(png, info, &text, nullptr);
  for (int i = 0; i < texts; ++i) image->text.emplace_back(text[i].key, std::string(text[i].text, text[i].text_length));
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return true;
}
#endif

class PngTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("quorsim_png_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string PathOf(const char* name) { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

#if defined(QUORSIM_HAVE_PNG) && defined(PNG_TEST_HAVE_LIBPNG)
TEST_F(PngTest, EightBitWaveBecomesEightBitGreyWithDimension0AlongTheRows) {
  Host host;
  Handle h = host.MakeTestWave("img8", 1, 72, {5, 3});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) (*h)[320 + x + 5 * y] = static_cast<char>(x + 10 * y + 200);
  WaveView v;
  ASSERT_TRUE(host.FindWave("img8", &v));
  std::string error;
  ASSERT_TRUE(SaveWavePng(v, PathOf("img8.png"), &error)) << error;
  Image image;
  ASSERT_TRUE(ReadPng(PathOf("img8.png"), &image));
  EXPECT_EQ(image.width, 5u);
  EXPECT_EQ(image.height, 3u);
  EXPECT_EQ(image.bitDepth, 8);
  EXPECT_EQ(image.colorType, PNG_COLOR_TYPE_GRAY);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(image.rows[y][x], x + 10 * y + 200) << x << "," << y;
}

TEST_F(PngTest, SixteenBitWaveKeepsEveryBit) {
  Host host;
  Handle h = host.MakeTestWave("raw", 1, 80, {4, 2});
  uint16_t values[8] = {0, 1, 255, 256, 4095, 4096, 0x1234, 0xFFFF};
  std::memcpy(*h + 320, values, sizeof values);
  WaveView v;
  ASSERT_TRUE(host.FindWave("raw", &v));
  std::string error;
  ASSERT_TRUE(SaveWavePng(v, PathOf("raw.png"), &error)) << error;
  Image image;
  ASSERT_TRUE(ReadPng(PathOf("raw.png"), &image));
  EXPECT_EQ(image.bitDepth, 16);
  ASSERT_EQ(image.width, 4u);
  ASSERT_EQ(image.height, 2u);
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 4; ++x) {
      uint16_t sample = static_cast<uint16_t>(image.rows[y][2 * x] << 8 | image.rows[y][2 * x + 1]);
      EXPECT_EQ(sample, values[x + 4 * y]) << x << "," << y;
    }
  }
}

uint16_t Sample16(const Image& image, uint32_t x, uint32_t y) {
  return static_cast<uint16_t>(image.rows[y][2 * x] << 8 | image.rows[y][2 * x + 1]);
}

TEST_F(PngTest, StretchMapsTheRangeOverSixteenBitsPixelByPixel) {
  Host host;
  Handle h = host.MakeTestWave("raw", 1, 80, {3, 2});
  const uint16_t values[6] = {66, 100, 2080, 4095, 3000, 66};
  std::memcpy(*h + 320, values, sizeof values);
  WaveView v;
  ASSERT_TRUE(host.FindWave("raw", &v));
  std::string error;
  PngStretchUsed used;
  ASSERT_TRUE(SaveWavePngStretched(v, PathOf("wide.png"), PngStretch{}, &used, &error)) << error;
  EXPECT_EQ(used.low, 66.0);
  EXPECT_EQ(used.high, 4095.0);
  EXPECT_EQ(used.fullScale, 65535u);
  Image image;
  ASSERT_TRUE(ReadPng(PathOf("wide.png"), &image));
  EXPECT_EQ(image.bitDepth, 16);
  ASSERT_EQ(image.width, 3u);
  ASSERT_EQ(image.height, 2u);
  for (uint32_t i = 0; i < 6; ++i)
    EXPECT_EQ(Sample16(image, i % 3, i / 3), StretchedValue(values[i], 66, 4095, 65535)) << i;
  EXPECT_EQ(Sample16(image, 0, 0), 0u);
  EXPECT_EQ(Sample16(image, 0, 1), 65535u);  // 4095 is the maximum

  PngStretch given;
  given.given = true;
  given.low = 100;
  given.high = 3000;
  const PngText text = {{"Function", "QV_TakePicture_12"}, {"Creation Time", "2026-12-09T18:00:00Z"}};
  ASSERT_TRUE(SaveWavePngStretched(v, PathOf("given.png"), given, &used, &error, text)) << error;
  EXPECT_EQ(used.low, 100.0);
  Image window;
  ASSERT_TRUE(ReadPng(PathOf("given.png"), &window));
  PngText withStretch = text;
  withStretch.emplace_back("Stretch", "100..3000 onto 0..65535");
  EXPECT_EQ(window.text, withStretch);
  EXPECT_EQ(Sample16(window, 0, 0), 0u);       // 66, below: clipped
  EXPECT_EQ(Sample16(window, 1, 0), 0u);       // 100
  EXPECT_EQ(Sample16(window, 0, 1), 65535u);   // 4095, above: clipped
  EXPECT_EQ(Sample16(window, 1, 1), 65535u);   // 3000
  EXPECT_EQ(Sample16(window, 2, 0), StretchedValue(2080, 100, 3000, 65535));
}

TEST_F(PngTest, StretchKeepsEightBitWavesEightBitAndTakesFloatWaves) {
  Host host;
  Handle h = host.MakeTestWave("img8", 1, 72, {4});
  const uint8_t bytes[4] = {10, 20, 30, 40};
  std::memcpy(*h + 320, bytes, sizeof bytes);
  WaveView v;
  ASSERT_TRUE(host.FindWave("img8", &v));
  std::string error;
  PngStretchUsed used;
  ASSERT_TRUE(SaveWavePngStretched(v, PathOf("img8.png"), PngStretch{}, &used, &error)) << error;
  EXPECT_EQ(used.fullScale, 255u);
  Image image;
  ASSERT_TRUE(ReadPng(PathOf("img8.png"), &image));
  EXPECT_EQ(image.bitDepth, 8);
  EXPECT_EQ(image.rows[0], (std::vector<uint8_t>{0, 85, 170, 255}));

  h = host.MakeTestWave("f", 1, 2, {2, 2});
  const float floats[4] = {-1.5f, NAN, 0.5f, INFINITY};
  std::memcpy(*h + 320, floats, sizeof floats);
  ASSERT_TRUE(host.FindWave("f", &v));
  ASSERT_TRUE(SaveWavePngStretched(v, PathOf("f.png"), PngStretch{}, &used, &error)) << error;
  EXPECT_EQ(used.low, -1.5);  // the finite values only
  EXPECT_EQ(used.high, 0.5);
  Image floatImage;
  ASSERT_TRUE(ReadPng(PathOf("f.png"), &floatImage));
  EXPECT_EQ(floatImage.bitDepth, 16);
  EXPECT_EQ(Sample16(floatImage, 0, 0), 0u);
  EXPECT_EQ(Sample16(floatImage, 1, 0), 0u);  // NaN is black
  EXPECT_EQ(Sample16(floatImage, 0, 1), 65535u);
  EXPECT_EQ(Sample16(floatImage, 1, 1), 65535u);  // infinity clipped white

  h = host.MakeTestWave("nan", 1, 4, {2});
  const double nans[2] = {NAN, INFINITY};
  std::memcpy(*h + 320, nans, sizeof nans);
  ASSERT_TRUE(host.FindWave("nan", &v));
  EXPECT_FALSE(SaveWavePngStretched(v, PathOf("nan.png"), PngStretch{}, &used, &error));
  EXPECT_NE(error.find("no finite values"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(PathOf("nan.png")));
}

TEST_F(PngTest, OneDimensionalWaveIsOneRow) {
  Host host;
  host.MakeTestWave("line", 0, 72, {7});
  WaveView v;
  ASSERT_TRUE(host.FindWave("line", &v));
  std::string error;
  ASSERT_TRUE(SaveWavePng(v, PathOf("line.png"), &error)) << error;
  Image image;
  ASSERT_TRUE(ReadPng(PathOf("line.png"), &image));
  EXPECT_EQ(image.width, 7u);
  EXPECT_EQ(image.height, 1u);
}
#endif

TEST_F(PngTest, WavesThatAreNotGreyImagesAreRefused) {
  Host host;
  host.MakeTestWave("f", 1, 4, {4, 4});
  host.MakeTestWave("cube", 1, 72, {2, 2, 2});
  host.MakeTestWave("none", 1, 80, {});
  host.MakeTestWave("s16", 1, 16, {2, 2});
  host.MakeTestWave("c8", 1, 73, {2, 2});
  for (const char* name : {"f", "cube", "none", "s16", "c8"}) {
    WaveView v;
    ASSERT_TRUE(host.FindWave(name, &v));
    std::string error;
    EXPECT_FALSE(SaveWavePng(v, PathOf("x.png"), &error)) << name;
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(PathOf("x.png"))) << name;
  }
  if (!PngSupported()) return;
  WaveView v;
  host.MakeTestWave("ok", 1, 72, {2, 2});
  ASSERT_TRUE(host.FindWave("ok", &v));
  std::string error;
  EXPECT_FALSE(SaveWavePng(v, (dir_ / "no_such_dir" / "x.png").string(), &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos);
}

}  // namespace
