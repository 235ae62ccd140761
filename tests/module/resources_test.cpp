// The compiled resources as the host reads them (through the stand-ins' resource reader): the
// three declaration resources byte for byte, the version block and the manifest, all under
// U.S. English.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/host/quorsim.h"
#include "sim/resource_reader/resource_reader.h"

namespace {

using resourcereader::Resource;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The bytes of the resource of this type (a name or a number) and numeric name.
template <typename Type>
std::optional<std::vector<uint8_t>> Find(const std::vector<Resource>& all, Type type, uint16_t id) {
  for (const Resource& e : all)
    if (e.type.Is(type) && e.name.Is(id)) return std::vector<uint8_t>(e.data.begin(), e.data.end());
  return std::nullopt;
}

void PutWord(std::vector<uint8_t>* out, uint16_t w) {
  out->push_back(static_cast<uint8_t>(w & 0xFF));
  out->push_back(static_cast<uint8_t>(w >> 8));
}

struct Declaration {
  const char* name;
  uint16_t category;
  std::vector<uint16_t> parameters;
  size_t offset;
};

const std::vector<Declaration>& Declarations() {
  static const std::vector<Declaration> declarations = {
      {"QV_InitCam", 0x2100, {}, 0},
      {"QV_GetWidth", 0x2100, {}, 17},
      {"QV_GetHeight", 0x2100, {}, 35},
      {"QV_OpenDialog", 0x2100, {}, 54},
      {"QV_TakePicture_12", 0x6100, {0x2000}, 74},
      {"QV_TakePicture_8", 0x6100, {0x2000, 4, 4}, 100},
      {"QV_SetValues", 0x2100, {4, 4}, 129},
      {"QV_ReleaseCam", 0x2100, {}, 152},
  };
  return declarations;
}

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(resourcereader::ReadWholeFile(OMBREL_RES_FILE, &file_, &error)) << error;
    ASSERT_TRUE(resourcereader::ReadResources(file_, &entries_, &error)) << error;
    ASSERT_FALSE(entries_.empty());
  }
  std::vector<uint8_t> file_;
  std::vector<Resource> entries_;
};

TEST_F(ResourcesTest, FunctionDeclarationsAreExactlyTheEightEntriesWithoutPadding) {
  const auto zemf = Find(entries_, "ZEMF", 1100);
  ASSERT_TRUE(zemf);
  std::vector<uint8_t> expected;
  for (const Declaration& d : Declarations()) {
    EXPECT_EQ(expected.size(), d.offset) << d.name;
    expected.insert(expected.end(), d.name, d.name + std::strlen(d.name) + 1);
    PutWord(&expected, d.category);
    PutWord(&expected, 4);
    for (uint16_t p : d.parameters) PutWord(&expected, p);
    PutWord(&expected, 0);
  }
  ASSERT_EQ(expected.size(), 172u);
  EXPECT_EQ(*zemf, expected);
  // The first declaration as the host reads it: the name, its 0 byte, then 00 21 04 00 00 00.
  const uint8_t first[] = {'Q', 'V', '_', 'I', 'n', 'i', 't', 'C', 'a', 'm', 0, 0x00, 0x21, 0x04, 0x00, 0x00, 0x00};
  ASSERT_GE(zemf->size(), sizeof first);
  EXPECT_EQ(0, std::memcmp(zemf->data(), first, sizeof first));
}

TEST_F(ResourcesTest, InformationRecordAndStringListHoldTheirFixedBytes) {
  const auto zemi = Find(entries_, "ZEMI", 1100);
  ASSERT_TRUE(zemi);
  EXPECT_EQ(*zemi, (std::vector<uint8_t>{0x04, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0x01}));

  const auto strings = Find(entries_, "STR#", 1101);
  ASSERT_TRUE(strings);
  const std::string expected("-1\0---\0Ombrel\0\0", 15);
  EXPECT_EQ(std::string(strings->begin(), strings->end()), expected);
}

TEST_F(ResourcesTest, TheHostsParserReadsTheSameDeclarations) {
  quorsim::ModuleDeclarations declarations;
  std::string error;
  ASSERT_TRUE(quorsim::ReadModuleDeclarations(OMBREL_RES_FILE, &declarations, &error)) << error;
  ASSERT_EQ(declarations.functions.size(), Declarations().size());
  for (size_t i = 0; i < Declarations().size(); ++i) {
    const quorsim::FunctionDeclaration& f = declarations.functions[i];
    EXPECT_EQ(f.name, Declarations()[i].name);
    EXPECT_EQ(f.category, Declarations()[i].category);
    EXPECT_EQ(f.resultType, 4);
    EXPECT_EQ(f.parameterTypes, Declarations()[i].parameters) << f.name;
  }
  EXPECT_EQ(declarations.information, (std::vector<uint16_t>{4, 0, 0, 0, 500}));
  EXPECT_EQ(declarations.strings, (std::vector<std::string>{"-1", "---", "Ombrel"}));
}

TEST_F(ResourcesTest, EveryResourceIsUnderUsEnglish) {
  for (const Resource& e : entries_) EXPECT_EQ(e.language, 0x0409) << e.type.name << e.type.id << " " << e.name.id;
}

// A UTF-16LE text as it appears inside the version block.
std::vector<uint8_t> Utf16(const std::string& text) {
  std::vector<uint8_t> out;
  for (char c : text) PutWord(&out, static_cast<uint8_t>(c));
  return out;
}

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST_F(ResourcesTest, VersionBlockDescribesADebugDllOfVersion1020) {
  const auto version = Find(entries_, 16, 1);
  ASSERT_TRUE(version);
  const std::vector<uint8_t>& b = *version;
  const std::vector<uint8_t> signature = {0xBD, 0x04, 0xEF, 0xFE};
  auto at = std::search(b.begin(), b.end(), signature.begin(), signature.end());
  ASSERT_NE(at, b.end());
  const size_t fixed = static_cast<size_t>(at - b.begin());
  ASSERT_LE(fixed + 52, b.size());
  EXPECT_EQ(U32(b, fixed + 8), 0x00010000u);   // file version 1.0
  EXPECT_EQ(U32(b, fixed + 12), 0x00020000u);  // .2.0
  EXPECT_EQ(U32(b, fixed + 16), 0x00010000u);  // product version 1.0
  EXPECT_EQ(U32(b, fixed + 20), 0x00020000u);  // .2.0
  EXPECT_EQ(U32(b, fixed + 28) & 1u, 1u);      // VS_FF_DEBUG
  EXPECT_EQ(U32(b, fixed + 32), 0x00040004u);  // VOS_NT_WINDOWS32
  EXPECT_EQ(U32(b, fixed + 36), 2u);           // VFT_DLL
  EXPECT_TRUE(Contains(b, Utf16("040904B0")));
  EXPECT_TRUE(Contains(b, Utf16("Ombrel camera module for Quor")));
  EXPECT_TRUE(Contains(b, Utf16("1.0.2.0")));
  // VarFileInfo Translation: 0x0409, 1200.
  std::vector<uint8_t> translation = Utf16("Translation");
  translation.insert(translation.end(), {0, 0, 0, 0, 0x09, 0x04, 0xB0, 0x04});
  EXPECT_TRUE(Contains(b, translation));
}

TEST_F(ResourcesTest, ManifestAsksToRunAsTheInvoker) {
  const auto manifest = Find(entries_, 24, 2);
  ASSERT_TRUE(manifest);
  const std::string text(manifest->begin(), manifest->end());
  EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF") << "UTF-8 with a byte-order mark";
  EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
}

}  // namespace
