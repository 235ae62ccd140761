// Version resources through GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA:
// every simulated Quor.exe version, a PE library against the same block compiled as a .res,
// short buffers, text values, and files that are missing, lack the resource or are damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "hostlink/win32_subset.h"

namespace {

const std::string kVersionDir = QUORSIM_VERSION_DIR;

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The whole block as a caller gets it with the size Windows asks for.
std::optional<std::vector<uint8_t>> VersionBlock(const std::string& path) {
  DWORD handle = 99;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  EXPECT_EQ(handle, 0u);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::nullopt;
  return block;
}

std::optional<VS_FIXEDFILEINFO> FixedInfo(const void* block) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block, "\\", &value, &length)) return std::nullopt;
  EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, value, sizeof info);
  return info;
}

std::optional<std::string> Text(const void* block, const char* path) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block, path, &value, &length)) return std::nullopt;
  const std::string text(static_cast<const char*>(value));
  EXPECT_EQ(length, text.size() + 1) << path;
  return text;
}

// major * 100 + minor * 10 + third, the host's version number.
int VersionNumber(const VS_FIXEDFILEINFO& info) {
  return HIWORD(info.dwFileVersionMS) * 100 + LOWORD(info.dwFileVersionMS) * 10 + HIWORD(info.dwFileVersionLS);
}

struct HostVersion {
  const char* name;
  WORD major, minor, third;
  int number;
};
constexpr HostVersion kHostVersions[] = {
    {"1.5.0", 1, 5, 0, 150},   {"1.9.9", 1, 9, 9, 199},   {"2.0.0", 2, 0, 0, 200},  {"2.5.0", 2, 5, 0, 250},
    {"2.9.9", 2, 9, 9, 299},   {"3.0.0", 3, 0, 0, 300},   {"3.0.1", 3, 0, 1, 301},  {"3.1.2", 3, 1, 2, 312},
    {"3.1.3", 3, 1, 3, 313},   {"3.9.9", 3, 9, 9, 399},   {"4.0.0", 4, 0, 0, 400},  {"4.9.9", 4, 9, 9, 499},
    {"5.0.0", 5, 0, 0, 500},   {"6.0.2", 6, 0, 2, 602},   {"6.2.1", 6, 2, 1, 621},  {"6.10.0", 6, 10, 0, 700},
};

TEST(HostVersionFiles, EachFileCarriesItsVersionLikeAReleasedExecutable) {
  for (const HostVersion& v : kHostVersions) {
    SCOPED_TRACE(v.name);
    const auto block = VersionBlock(kVersionDir + "/Quor_" + v.name + ".res");
    ASSERT_TRUE(block);
    const auto info = FixedInfo(block->data());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info->dwFileVersionMS, DWORD{v.major} << 16 | v.minor);
    EXPECT_EQ(info->dwFileVersionLS, DWORD{v.third} << 16);
    EXPECT_EQ(info->dwProductVersionMS, info->dwFileVersionMS);
    EXPECT_EQ(info->dwProductVersionLS, info->dwFileVersionLS);
    EXPECT_EQ(info->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(info->dwFileFlags, 0u);        // no debug flag
    EXPECT_EQ(info->dwFileOS, 0x40004u);     // 32-bit Windows NT
    EXPECT_EQ(info->dwFileType, 1u);         // application
    EXPECT_EQ(VersionNumber(*info), v.number);
    EXPECT_EQ(Text(block->data(), "\\StringFileInfo\\040904B0\\ProductName"), "Quor");
    EXPECT_EQ(Text(block->data(), "\\StringFileInfo\\040904b0\\FileVersion"),
              std::string(v.name) + ".0");  // keys match regardless of case
  }
}

TEST(HostVersionFiles, TranslationNamesUsEnglishInUnicode) {
  const auto block = VersionBlock(kVersionDir + "/Quor_6.0.2.res");
  ASSERT_TRUE(block);
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block->data(), "\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  WORD pair[2];
  std::memcpy(pair, value, sizeof pair);
  EXPECT_EQ(pair[0], 0x0409);
  EXPECT_EQ(pair[1], 1200);
  EXPECT_FALSE(VerQueryValueA(block->data(), "\\VarFileInfo\\Nothing", &value, &length));
  EXPECT_FALSE(VerQueryValueA(block->data(), "\\StringFileInfo\\040904B0\\NoSuchName", &value, &length));
}

TEST(HostVersionFiles, NoVersionResourceOrNoFileGivesSizeZero) {
  std::vector<uint8_t> block(512, 0xAB);
  for (const std::string& path : {kVersionDir + "/Quor_none.res", kVersionDir + "/Quor_9.9.9.res", kVersionDir}) {
    SCOPED_TRACE(path);
    DWORD handle = 5;
    EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  }
  EXPECT_EQ(block, std::vector<uint8_t>(512, 0xAB));
  EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
  EXPECT_FALSE(GetFileVersionInfoA((kVersionDir + "/Quor_6.0.2.res").c_str(), 0, 512, nullptr));
}

TEST(PeLibrary, ReadsTheSameBlockAsTheCompiledResourceFile) {
  const auto fromPe = VersionBlock(TINY_LIBRARY_PATH);
  const auto fromRes = VersionBlock(TINY_VERSION_RES_PATH);
  ASSERT_TRUE(fromPe);
  ASSERT_TRUE(fromRes);
  EXPECT_EQ(*fromPe, *fromRes);
  const auto info = FixedInfo(fromPe->data());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dwFileVersionMS, 0x00070003u);
  EXPECT_EQ(info->dwFileVersionLS, 0x00050000u);
  EXPECT_EQ(info->dwFileType, 2u);  // library
  EXPECT_EQ(Text(fromPe->data(), "\\StringFileInfo\\040904B0\\ProductName"), "Tiny");
  EXPECT_EQ(Text(fromPe->data(), "\\StringFileInfo\\040904B0\\OriginalFilename"), "tiny.dll");
}

TEST(ShortBuffers, CopyIsCutToTheSizeAndQueriesStayInsideIt) {
  const std::string path = kVersionDir + "/Quor_3.1.3.res";
  const DWORD full = GetFileVersionInfoSizeA(path.c_str(), nullptr);
  const DWORD blockSize = (full - 4) / 2;  // the resource alone
  ASSERT_GT(blockSize, 200u);

  // The fixed information ends at byte 92: a copy of 100 bytes still answers it.
  std::vector<uint8_t> buffer(full, 0xAB);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, 100, buffer.data()));
  EXPECT_TRUE(std::all_of(buffer.begin() + 100, buffer.end(), [](uint8_t b) { return b == 0xAB; }));
  const auto info = FixedInfo(buffer.data());
  ASSERT_TRUE(info);
  EXPECT_EQ(VersionNumber(*info), 313);
  void* value = nullptr;
  UINT length = 0;
  EXPECT_FALSE(VerQueryValueA(buffer.data(), "\\VarFileInfo\\Translation", &value, &length));

  // A copy that ends inside the fixed information does not answer it.
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, 60, buffer.data()));
  EXPECT_FALSE(FixedInfo(buffer.data()));
  // Less than a block header is refused outright.
  EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), 0, 5, buffer.data()));

  // The whole resource without the room for ANSI texts: binary values only.
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, blockSize, buffer.data()));
  EXPECT_TRUE(FixedInfo(buffer.data()));
  EXPECT_TRUE(VerQueryValueA(buffer.data(), "\\VarFileInfo\\Translation", &value, &length));
  EXPECT_FALSE(Text(buffer.data(), "\\StringFileInfo\\040904B0\\ProductName"));
  EXPECT_TRUE(std::all_of(buffer.begin() + blockSize, buffer.end(), [](uint8_t b) { return b == 0xAB; }));
}

// Reads a damaged file the way the module does; it may fail, but must not crash or read
// outside the file, and when it does answer, the answer is a proper fixed information.
void ReadDamaged(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteFile(path, bytes);
  const auto block = VersionBlock(path);
  if (!block) return;
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(block->data(), "\\", &value, &length)) {
    EXPECT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(static_cast<const VS_FIXEDFILEINFO*>(value)->dwSignature, 0xFEEF04BDu);
  }
  // A damaged text may come back as anything, but only from inside the caller's buffer.
  if (VerQueryValueA(block->data(), "\\StringFileInfo\\040904B0\\ProductName", &value, &length)) {
    const auto* text = static_cast<const uint8_t*>(value);
    EXPECT_GE(text, block->data());
    EXPECT_LE(text + length, block->data() + block->size());
  }
}

TEST(DamagedFiles, CutOrAlteredResourceFilesAreReadSafely) {
  const auto good = FileBytes(kVersionDir + "/Quor_6.2.1.res");
  ASSERT_GT(good.size(), 700u);
  const std::string path = std::string(TEST_SCRATCH_DIR) + "/damaged.res";
  for (size_t cut = 0; cut < good.size(); ++cut)
    ReadDamaged(path, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
  for (size_t at = 0; at < good.size(); ++at) {
    SCOPED_TRACE(at);
    auto bytes = good;
    bytes[at] ^= 0xFF;
    ReadDamaged(path, bytes);
  }
}

TEST(DamagedFiles, CutOrAlteredPeFilesAreReadSafely) {
  const auto good = FileBytes(TINY_LIBRARY_PATH);
  ASSERT_GT(good.size(), 1024u);
  const std::string path = std::string(TEST_SCRATCH_DIR) + "/damaged.dll";
  for (size_t cut = 0; cut < good.size(); cut += 7)
    ReadDamaged(path, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
  for (size_t at = 0; at < good.size(); ++at) {
    SCOPED_TRACE(at);
    auto bytes = good;
    bytes[at] ^= 0xFF;
    ReadDamaged(path, bytes);
  }
  WriteFile(path, good);  // and the undamaged copy reads as before
  EXPECT_TRUE(VersionBlock(path));
}

}  // namespace
