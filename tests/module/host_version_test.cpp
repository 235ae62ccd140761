// The host's version from its executable's file-version resource: the number formed from the
// first three parts, 0 whenever any step fails, and the block borrowed from the host given back.
#include <gtest/gtest.h>

#include <string>

#include "hostlink/host_exports.h"
#include "hostlink/host_version.h"
#include "module_fixture.h"
#include "win32sim_control.h"

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

}  // namespace
}  // namespace moduletest
