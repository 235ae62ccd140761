// Image waves saved as PNG, read back with libpng (a reader independent of our writer, where the
// build has it) and compared pixel by pixel: 8-bit and 16-bit
// grey, dimension 0 along the rows, and the waves that cannot be saved.
#include <gtest/gtest.h>

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
