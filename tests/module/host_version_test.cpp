// The host's version from its executable's file-version resource: the number formed from the
// first three parts, 0 whenever any step fails or the fixed information is damaged, and the
// block borrowed from the host given back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hostlink/host_exports.h"
#include "hostlink/host_version.h"
#include "module_fixture.h"
#include "win32sim_control.h"
#ifndef _WIN32
#include "win32sim_version_faults.h"
#endif

namespace moduletest {
namespace {

TEST(HostVersion, IsMajorTimesHundredPlusMinorTimesTenPlusThird) {
  const std::pair<int, int32_t> cases[] = {
      {602, 602}, {621, 621}, {499, 499}, {313, 313}, {312, 312}, {150, 150}, {0, 0}};
  for (auto [fileVersion, expected] : cases) {
    const size_t pointers = quorsim::MemLivePtrCount();
    LinkedHost linked(Options(fileVersion, 200, false));
    EXPECT_EQ(hostVersion, expected) << fileVersion;
    EXPECT_EQ(GetHostVersion(), expected) << fileVersion;
    EXPECT_EQ(quorsim::MemLivePtrCount(), pointers) << "the version block is given back";
  }
}

TEST(HostVersion, PartsOfTenOrMoreSpillIntoTheNextPlace) {
  for (auto [file, expected] : {std::pair<const char*, int32_t>{"Quor_6.10.0.res", 700}, {"Quor_3.9.9.res", 399}}) {
    quorsim::HostOptions options = Options(602, 200, false);
    options.versionFile = file;
    LinkedHost linked(options);
    EXPECT_EQ(hostVersion, expected) << file;
  }
}

TEST(HostVersion, EveryFailingStepGivesZero) {
  LinkedHost linked(Options(602, 200, false));
  ASSERT_EQ(GetHostVersion(), 602);

  const size_t pointers = quorsim::MemLivePtrCount();
  quorsim::MemFailNewPtr(1);
  EXPECT_EQ(GetHostVersion(), 0) << "no memory for the version block";
  quorsim::MemResetFaults();
  EXPECT_EQ(quorsim::MemLivePtrCount(), pointers);

  Win32SimRegisterModuleFile(GetQuorModule(), "/nonexistent/Quor.exe");
  EXPECT_EQ(GetHostVersion(), 0) << "a file without a version resource";
  Win32SimForgetModuleFile(GetQuorModule());
  EXPECT_EQ(GetHostVersion(), 0) << "a module handle with no file name";
  EXPECT_EQ(quorsim::MemLivePtrCount(), pointers);
}

#ifndef _WIN32
// The damaged answers come from a control of the Linux platform stand-in.

// Fixed file information as VerQueryValueA answers it: signature, structure version, then the
// file version's most and least significant words (here 6.0.2.0), then zeros up to `bytes`.
std::vector<uint8_t> FixedInfo(uint32_t signature, size_t bytes) {
  const uint32_t words[4] = {signature, 0x00010000, 0x00060000, 0x00020000};
  std::vector<uint8_t> info(sizeof(VS_FIXEDFILEINFO), 0);
  std::memcpy(info.data(), words, sizeof words);
  info.resize(bytes, 0);
  return info;
}

TEST(HostVersion, FixedInformationTooShortOrNotSignedGivesZero) {
  LinkedHost linked(Options(602, 200, false));
  const size_t pointers = quorsim::MemLivePtrCount();
  struct Case {
    const char* what;
    std::vector<uint8_t> info;
    int32_t expected;
  };
  const Case cases[] = {
      {"the signed structure itself", FixedInfo(0xFEEF04BD, sizeof(VS_FIXEDFILEINFO)), 602},
      {"cut after the most significant version word", FixedInfo(0xFEEF04BD, 12), 0},
      {"one byte short", FixedInfo(0xFEEF04BD, sizeof(VS_FIXEDFILEINFO) - 1), 0},
      {"nothing", FixedInfo(0xFEEF04BD, 0), 0},
      {"another signature", FixedInfo(0xFEEF04BC, sizeof(VS_FIXEDFILEINFO)), 0},
      {"no signature", FixedInfo(0, sizeof(VS_FIXEDFILEINFO) + 8), 0},
  };
  for (const Case& c : cases) {
    Win32SimSetFixedInfoAnswer(c.info);
    EXPECT_EQ(GetHostVersion(), c.expected) << c.what;
    EXPECT_EQ(quorsim::MemLivePtrCount(), pointers) << c.what << ": the version block is given back";
  }
  Win32SimClearFixedInfoAnswer();
  EXPECT_EQ(GetHostVersion(), 602);
}
#endif

}  // namespace
}  // namespace moduletest
