// Reading declaration resources: the real module's compiled resources, the fake module's .res
// and PE forms, the language preference, and malformed data of every kind (hand-made bytes,
// cut files, corrupted headers, directory loops) that must be refused without reading past
// the end.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/host/quorsim.h"
#include "tests/sim_host/host_test_support.h"

namespace {

using namespace quorsim;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool ParseZemf(const std::vector<uint8_t>& data, std::vector<FunctionDeclaration>* out, std::string* error) {
  return ParseFunctionDeclarations(data, out, error);
}

// ---------------------------------------------------------------- function declarations
TEST(FunctionDeclarations, PackedEntriesWithWordsAtOddOffsets) {
  // "AB\0" puts the first word at offset 3.
  auto data = Concat({Text("AB"), Bytes({0, 0x00, 0x21, 4, 0, 0, 0}),
                      Text("Take_2"), Bytes({0, 0x00, 0x61, 4, 0, 0x00, 0x20, 4, 0, 4, 0, 0, 0})});
  std::vector<FunctionDeclaration> out;
  std::string error;
  ASSERT_TRUE(ParseZemf(data, &out, &error)) << error;
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].name, "AB");
  EXPECT_EQ(out[0].category, 0x2100);
  EXPECT_EQ(out[0].resultType, 4);
  EXPECT_TRUE(out[0].parameterTypes.empty());
  EXPECT_EQ(out[1].name, "Take_2");
  EXPECT_EQ(out[1].category, 0x6100);
  EXPECT_EQ(out[1].parameterTypes, (std::vector<uint16_t>{0x2000, 4, 4}));

  ASSERT_TRUE(ParseZemf({}, &out, &error));  // no declarations at all is a valid, empty list
  EXPECT_TRUE(out.empty());
}

TEST(FunctionDeclarations, MalformedDataIsRefusedWithAMessage) {
  const std::vector<uint8_t> good = Concat({Text("Fn"), Bytes({0, 0x00, 0x21, 4, 0, 4, 0, 0, 0})});
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    const char* mentions;
  };
  const Case cases[] = {
      {"name not terminated", Text("QV_Init"), "not terminated"},
      {"cut inside the category", Concat({Text("Fn"), Bytes({0, 0x00})}), "cut short"},
      {"cut inside the result type", Concat({Text("Fn"), Bytes({0, 0x00, 0x21, 4})}), "cut short"},
      {"no terminating word", Concat({Text("Fn"), Bytes({0, 0x00, 0x21, 4, 0, 4, 0})}), "terminating 0 word"},
      {"half a terminating word", Concat({Text("Fn"), Bytes({0, 0x00, 0x21, 4, 0, 0})}), "terminating 0 word"},
      {"odd byte after a good entry", Concat({good, Bytes({'X'})}), "not terminated"},
      {"second entry cut", Concat({good, Text("G"), Bytes({0, 0x00, 0x21, 4, 0})}), "terminating 0 word"},
      {"empty name", Bytes({0, 0x00, 0x21, 4, 0, 0, 0}), "empty function name"},
      {"name too long", Concat({Text(std::string(32, 'a')), Bytes({0, 0x00, 0x21, 4, 0, 0, 0})}), "longer than 31"},
      {"name not standard", Concat({Text("1st"), Bytes({0, 0x00, 0x21, 4, 0, 0, 0})}), "standard name"},
      {"name declared twice", Concat({good, Text("FN"), Bytes({0, 0x00, 0x21, 4, 0, 0, 0})}), "declared twice"},
  };
  for (const Case& c : cases) {
    std::vector<FunctionDeclaration> out;
    std::string error;
    EXPECT_FALSE(ParseZemf(c.data, &out, &error)) << c.what;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.what << ": " << error;
  }
  // Exactly 31 characters is still a name.
  std::vector<FunctionDeclaration> out;
  std::string error;
  EXPECT_TRUE(ParseZemf(Concat({Text(std::string(31, 'a')), Bytes({0, 0x00, 0x21, 4, 0, 0, 0})}), &out, &error))
      << error;
}

TEST(StringList, TerminatedStringsEndedByAnEmptyOne) {
  std::vector<std::string> out;
  std::string error;
  ASSERT_TRUE(ParseStringList(Concat({Text("-1"), Bytes({0}), Text("---"), Bytes({0, 0})}), &out, &error)) << error;
  EXPECT_EQ(out, (std::vector<std::string>{"-1", "---"}));
  ASSERT_TRUE(ParseStringList(Bytes({0}), &out, &error));
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(ParseStringList(Concat({Text("a"), Bytes({0, 0, 0, 0})}), &out, &error));  // zero padding
  EXPECT_EQ(out, (std::vector<std::string>{"a"}));

  EXPECT_FALSE(ParseStringList({}, &out, &error));
  EXPECT_FALSE(ParseStringList(Concat({Text("a"), Bytes({0})}), &out, &error));  // no closing empty string
  EXPECT_NE(error.find("closing empty string"), std::string::npos);
  EXPECT_FALSE(ParseStringList(Concat({Text("a"), Bytes({0}), Text("bc")}), &out, &error));
  EXPECT_NE(error.find("not terminated"), std::string::npos);
  EXPECT_FALSE(ParseStringList(Concat({Text("a"), Bytes({0, 0}), Text("junk"), Bytes({0})}), &out, &error));
  EXPECT_NE(error.find("after the end"), std::string::npos);
}

TEST(InformationWords, FiveOrMoreWholeWords) {
  std::vector<uint16_t> out;
  std::string error;
  ASSERT_TRUE(ParseInformationWords(Bytes({4, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0x01}), &out, &error));
  EXPECT_EQ(out, (std::vector<uint16_t>{4, 0, 0, 0, 500}));
  EXPECT_FALSE(ParseInformationWords(Bytes({4, 0, 0, 0, 0, 0, 0, 0, 0xF4}), &out, &error));
  EXPECT_FALSE(ParseInformationWords(Bytes({4, 0, 0, 0, 0, 0, 0, 0}), &out, &error));
  EXPECT_TRUE(ParseInformationWords(Bytes({4, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0x01, 1, 0}), &out, &error));
}

// ---------------------------------------------------------------- files
TEST(ResourceFiles, TheModulesOwnCompiledResources) {
  if (!std::filesystem::exists(OMBREL_RES_PATH)) GTEST_SKIP() << "Ombrel.res not built";
  ModuleDeclarations d;
  std::string error;
  ASSERT_TRUE(ReadModuleDeclarations(OMBREL_RES_PATH, &d, &error)) << error;
  const char* names[] = {"QV_InitCam",        "QV_GetWidth",      "QV_GetHeight", "QV_OpenDialog",
                         "QV_TakePicture_12", "QV_TakePicture_8", "QV_SetValues", "QV_ReleaseCam"};
  ASSERT_EQ(d.functions.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(d.functions[i].name, names[i]);
    EXPECT_EQ(d.functions[i].resultType, 4);
    EXPECT_EQ(d.functions[i].category, (i == 4 || i == 5) ? 0x6100 : 0x2100);
  }
  EXPECT_EQ(d.functions[4].parameterTypes, (std::vector<uint16_t>{0x2000}));
  EXPECT_EQ(d.functions[5].parameterTypes, (std::vector<uint16_t>{0x2000, 4, 4}));
  EXPECT_EQ(d.functions[6].parameterTypes, (std::vector<uint16_t>{4, 4}));
  EXPECT_EQ(d.information, (std::vector<uint16_t>{4, 0, 0, 0, 500}));
  EXPECT_EQ(d.strings, (std::vector<std::string>{"-1", "---", "Ombrel"}));
}

TEST(ResourceFiles, FakeModuleResAndDllCarryTheSameDeclarations) {
  ModuleDeclarations res;
  std::string error;
  ASSERT_TRUE(ReadModuleDeclarations(hosttest::kFakeDir + "/FakeModule.res", &res, &error)) << error;
  ASSERT_EQ(res.functions.size(), 10u);
  EXPECT_EQ(res.functions[2].name, "FK_TextNumNum");
  EXPECT_EQ(res.functions[2].parameterTypes, (std::vector<uint16_t>{0x2000, 4, 4}));
  EXPECT_EQ(res.functions[9].resultType, 0x2000);
  EXPECT_EQ(res.strings, (std::vector<std::string>{"-1", "---", "FakeModule"}));
  if (!HAVE_FAKE_DLLS) GTEST_SKIP() << "no mingw-w64 to link a PE library";
  ModuleDeclarations dll;
  ASSERT_TRUE(ReadModuleDeclarations(hosttest::kFakeDir + "/FakeModule.dll", &dll, &error)) << error;
  ASSERT_EQ(dll.functions.size(), res.functions.size());
  for (size_t i = 0; i < res.functions.size(); ++i) {
    EXPECT_EQ(dll.functions[i].name, res.functions[i].name);
    EXPECT_EQ(dll.functions[i].parameterTypes, res.functions[i].parameterTypes);
  }
  EXPECT_EQ(dll.information, res.information);
  EXPECT_EQ(dll.strings, res.strings);
}

TEST(ResourceFiles, USEnglishIsPreferredOverAnEarlierLanguage) {
  std::vector<std::string> files = {hosttest::kFakeDir + "/Languages.res"};
  if (HAVE_FAKE_DLLS) files.push_back(hosttest::kFakeDir + "/Languages.dll");
  for (const std::string& file : files) {
    ModuleDeclarations d;
    std::string error;
    ASSERT_TRUE(ReadModuleDeclarations(file, &d, &error)) << file << ": " << error;
    ASSERT_EQ(d.functions.size(), 1u) << file;
    EXPECT_EQ(d.functions[0].name, "English") << file;
    EXPECT_EQ(d.version, "3.14.15.926") << file;
    EXPECT_TRUE(d.strings.empty()) << file;  // the string list is optional
  }
}

TEST(ResourceFiles, MissingAndForeignFilesAreRefused) {
  ModuleDeclarations d;
  std::string error;
  EXPECT_FALSE(ReadModuleDeclarations(hosttest::kFakeDir + "/NoSuchFile.res", &d, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
  EXPECT_FALSE(ParseModuleDeclarations(Text("#!/bin/sh\necho not resources\n"), &d, &error));
  EXPECT_NE(error.find("neither"), std::string::npos);
  EXPECT_FALSE(ParseModuleDeclarations({}, &d, &error));
}

// Every cut of a good file is read without reading past its end, and refused unless only the
// last record's alignment padding is missing.
TEST(ResourceFiles, EveryCutOfAResFileIsRefused) {
  const std::vector<uint8_t> whole = ReadFile(hosttest::kFakeDir + "/FakeModule.res");
  ASSERT_GT(whole.size(), 64u);
  for (size_t n = 0; n + 3 < whole.size(); ++n) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    ModuleDeclarations d;
    std::string error;
    EXPECT_FALSE(ParseModuleDeclarations(cut, &d, &error)) << "cut at " << n;
  }
}

TEST(ResourceFiles, CorruptedResHeadersAreRefused) {
  const std::vector<uint8_t> whole = ReadFile(hosttest::kFakeDir + "/FakeModule.res");
  ASSERT_GT(whole.size(), 64u);
  auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  ModuleDeclarations d;
  std::string error;
  std::vector<uint8_t> bad = whole;
  put32(bad, 32, 0x7FFFFFF0);  // second record: data size far beyond the file
  EXPECT_FALSE(ParseModuleDeclarations(bad, &d, &error));
  bad = whole;
  put32(bad, 36, 0xFFFFFFF0);  // header size beyond the file
  EXPECT_FALSE(ParseModuleDeclarations(bad, &d, &error));
  bad = whole;
  put32(bad, 36, 12);  // header too small for its own type, name and fixed fields
  EXPECT_FALSE(ParseModuleDeclarations(bad, &d, &error));
  bad = whole;
  put32(bad, 36, 4);
  EXPECT_FALSE(ParseModuleDeclarations(bad, &d, &error));
}

TEST(ResourceFiles, EveryCutOfAPeLibraryIsRefused) {
  if (!HAVE_FAKE_DLLS) GTEST_SKIP() << "no mingw-w64 to link a PE library";
  const std::vector<uint8_t> whole = ReadFile(hosttest::kFakeDir + "/FakeModule.dll");
  ASSERT_GT(whole.size(), 512u);
  ModuleDeclarations d;
  std::string error;
  ASSERT_TRUE(ParseModuleDeclarations(whole, &d, &error)) << error;
  for (size_t n = 0; n < whole.size(); n += (n < 1024 ? 1 : 7)) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    ParseModuleDeclarations(cut, &d, &error);  // must not read past the end (the sanitizers watch)
  }
  std::vector<uint8_t> bad = whole;
  bad[0x3C] = 0xF0;
  bad[0x3D] = 0xFF;
  bad[0x3E] = 0xFF;
  bad[0x3F] = 0x7F;  // PE header offset far outside
  EXPECT_FALSE(ParseModuleDeclarations(bad, &d, &error));
}

// ---------------------------------------------------------------- hand-built PE libraries
// A PE32 image with one section, .rsrc, at RVA 0x1000 and file offset 0x200, whose resource
// tree holds `resources` (type name, id, language 1033).
struct PeResource {
  std::string type;
  uint16_t id;
  std::vector<uint8_t> data;
};

struct PeImage {
  std::vector<uint8_t> bytes;
  size_t sectionStart = 0x200;
  std::vector<size_t> typeEntryOffsets;  // section-relative offsets of the root's entries
  std::vector<size_t> dataEntryOffsets;  // section-relative offsets of the data entries
};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

PeImage BuildPe(const std::vector<PeResource>& resources) {
  constexpr uint32_t kRva = 0x1000;
  const size_t n = resources.size();
  // Section layout: root dir, then per resource a name dir and a language dir, data entries,
  // type name strings, data.
  std::vector<uint8_t> s;
  const size_t root = 0;
  const size_t nameDirs = 16 + 8 * n;
  const size_t langDirs = nameDirs + 24 * n;
  const size_t dataEntries = langDirs + 24 * n;
  size_t strings = dataEntries + 16 * n;
  PeImage image;
  Put16(s, root + 12, static_cast<uint32_t>(n));  // all named entries
  size_t next = strings;
  std::vector<size_t> nameOffsets;
  for (const PeResource& r : resources) {
    nameOffsets.push_back(next);
    Put16(s, next, static_cast<uint32_t>(r.type.size()));
    for (size_t i = 0; i < r.type.size(); ++i) Put16(s, next + 2 + 2 * i, static_cast<uint8_t>(r.type[i]));
    next += 2 + 2 * r.type.size();
  }
  next = (next + 3) & ~size_t{3};
  for (size_t i = 0; i < n; ++i) {
    const size_t typeEntry = root + 16 + 8 * i;
    image.typeEntryOffsets.push_back(typeEntry);
    Put32(s, typeEntry, 0x80000000u | static_cast<uint32_t>(nameOffsets[i]));
    Put32(s, typeEntry + 4, 0x80000000u | static_cast<uint32_t>(nameDirs + 24 * i));
    Put16(s, nameDirs + 24 * i + 14, 1);
    Put32(s, nameDirs + 24 * i + 16, resources[i].id);
    Put32(s, nameDirs + 24 * i + 20, 0x80000000u | static_cast<uint32_t>(langDirs + 24 * i));
    Put16(s, langDirs + 24 * i + 14, 1);
    Put32(s, langDirs + 24 * i + 16, 1033);
    Put32(s, langDirs + 24 * i + 20, static_cast<uint32_t>(dataEntries + 16 * i));
    image.dataEntryOffsets.push_back(dataEntries + 16 * i);
    Put32(s, dataEntries + 16 * i, kRva + static_cast<uint32_t>(next));
    Put32(s, dataEntries + 16 * i + 4, static_cast<uint32_t>(resources[i].data.size()));
    s.resize(next + resources[i].data.size());
    std::copy(resources[i].data.begin(), resources[i].data.end(), s.begin() + static_cast<std::ptrdiff_t>(next));
    next = (s.size() + 3) & ~size_t{3};
  }
  s.resize((s.size() + 511) & ~size_t{511});

  std::vector<uint8_t>& b = image.bytes;
  b.assign(image.sectionStart, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  Put32(b, 0x40, 0x00004550);
  Put16(b, 0x44, 0x14C);   // machine
  Put16(b, 0x46, 1);       // sections
  Put16(b, 0x54, 224);     // optional header size
  const size_t opt = 0x58;
  Put16(b, opt, 0x10B);
  Put32(b, opt + 92, 16);  // data directories
  Put32(b, opt + 96 + 2 * 8, kRva);
  Put32(b, opt + 96 + 2 * 8 + 4, static_cast<uint32_t>(s.size()));
  const size_t section = opt + 224;
  std::memcpy(&b[section], ".rsrc", 5);
  Put32(b, section + 8, static_cast<uint32_t>(s.size()));
  Put32(b, section + 12, kRva);
  Put32(b, section + 16, static_cast<uint32_t>(s.size()));
  Put32(b, section + 20, static_cast<uint32_t>(image.sectionStart));
  b.resize(image.sectionStart);
  b.insert(b.end(), s.begin(), s.end());
  return image;
}

std::vector<PeResource> GoodResources() {
  return {{"ZEMF", 1100, Concat({Text("Fn"), Bytes({0, 0x00, 0x21, 4, 0, 0, 0})})},
          {"ZEMI", 1100, Bytes({4, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0x01})},
          {"STR#", 1101, Concat({Text("x"), Bytes({0, 0})})}};
}

TEST(PeLibraries, AHandBuiltImageReads) {
  PeImage image = BuildPe(GoodResources());
  ModuleDeclarations d;
  std::string error;
  ASSERT_TRUE(ParseModuleDeclarations(image.bytes, &d, &error)) << error;
  ASSERT_EQ(d.functions.size(), 1u);
  EXPECT_EQ(d.functions[0].name, "Fn");
  EXPECT_EQ(d.strings, (std::vector<std::string>{"x"}));
}

TEST(PeLibraries, DirectoryLoopsEndInsteadOfRunningForever) {
  PeImage image = BuildPe(GoodResources());
  // Point a type's subdirectory back at the root: the walk meets a directory where data is due.
  Put32(image.bytes, image.sectionStart + image.typeEntryOffsets[0] + 4, 0x80000000u);
  ModuleDeclarations d;
  std::string error;
  EXPECT_FALSE(ParseModuleDeclarations(image.bytes, &d, &error));
  EXPECT_NE(error.find("malformed"), std::string::npos) << error;
}

TEST(PeLibraries, OffsetsOutsideTheDataAreRefused) {
  ModuleDeclarations d;
  std::string error;
  {
    PeImage image = BuildPe(GoodResources());
    Put32(image.bytes, image.sectionStart + image.dataEntryOffsets[0], 0x7FFF0000);  // data RVA
    EXPECT_FALSE(ParseModuleDeclarations(image.bytes, &d, &error));
    EXPECT_NE(error.find("outside"), std::string::npos) << error;
  }
  {
    PeImage image = BuildPe(GoodResources());
    Put32(image.bytes, image.sectionStart + image.dataEntryOffsets[0] + 4, 0xFFFFFFF0);  // data size
    EXPECT_FALSE(ParseModuleDeclarations(image.bytes, &d, &error));
  }
  {
    PeImage image = BuildPe(GoodResources());
    Put32(image.bytes, image.sectionStart + image.typeEntryOffsets[0], 0x8000FFF0);  // type name string
    EXPECT_FALSE(ParseModuleDeclarations(image.bytes, &d, &error));
  }
  {
    PeImage image = BuildPe(GoodResources());
    Put16(image.bytes, image.sectionStart + 12, 0xFFFF);  // entry count beyond the directory
    EXPECT_FALSE(ParseModuleDeclarations(image.bytes, &d, &error));
  }
  {
    PeImage image = BuildPe(GoodResources());
    Put32(image.bytes, 0x58 + 224 + 20, 0x7FFFFF00);  // section's file data outside the file
    EXPECT_FALSE(ParseModuleDeclarations(image.bytes, &d, &error));
  }
}

TEST(PeLibraries, MissingDeclarationsAreNamed) {
  ModuleDeclarations d;
  std::string error;
  auto resources = GoodResources();
  resources.erase(resources.begin());  // no ZEMF
  EXPECT_FALSE(ParseModuleDeclarations(BuildPe(resources).bytes, &d, &error));
  EXPECT_NE(error.find("ZEMF"), std::string::npos);
  resources = GoodResources();
  resources.erase(resources.begin() + 1);  // no ZEMI
  EXPECT_FALSE(ParseModuleDeclarations(BuildPe(resources).bytes, &d, &error));
  EXPECT_NE(error.find("ZEMI"), std::string::npos);
  resources = GoodResources();
  resources[0].data.pop_back();  // a cut ZEMF: the error says which resource
  EXPECT_FALSE(ParseModuleDeclarations(BuildPe(resources).bytes, &d, &error));
  EXPECT_NE(error.find("ZEMF 1100:"), std::string::npos);
}

}  // namespace
