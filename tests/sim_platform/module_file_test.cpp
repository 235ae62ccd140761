// Module file names through GetModuleFileNameA: registered paths, the Win32 rules for buffers
// that are too small, unknown handles and the null handle.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostlink/win32_subset.h"
#include "win32sim_control.h"

namespace {

int hostImage, otherImage;  // their addresses serve as module handles
const HMODULE kHost = &hostImage;
const HMODULE kOther = &otherImage;
const std::string kPath = "/opt/quor/bin/Quor.exe";  // 22 characters

class ModuleFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Win32SimRegisterModuleFile(kHost, kPath);
    std::memset(buffer, '#', sizeof buffer);
  }
  void TearDown() override {
    Win32SimForgetModuleFile(kHost);
    Win32SimForgetModuleFile(kOther);
  }
  // Bytes after the first n that still hold the fill.
  bool UntouchedFrom(size_t n) const {
    for (size_t i = n; i < sizeof buffer; ++i)
      if (buffer[i] != '#') return false;
    return true;
  }
  char buffer[64];
};

TEST_F(ModuleFile, RoomyBufferGetsTheWholePathAndItsLength) {
  EXPECT_EQ(GetModuleFileNameA(kHost, buffer, sizeof buffer), kPath.size());
  EXPECT_STREQ(buffer, kPath.c_str());
  EXPECT_TRUE(UntouchedFrom(kPath.size() + 1));
  // Exactly room for the path and its terminator.
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetModuleFileNameA(kHost, buffer, static_cast<DWORD>(kPath.size() + 1)), kPath.size());
  EXPECT_STREQ(buffer, kPath.c_str());
}

TEST_F(ModuleFile, ShortBufferGetsACutTerminatedPathAndItsOwnSize) {
  const DWORD size = static_cast<DWORD>(kPath.size());  // one byte short
  EXPECT_EQ(GetModuleFileNameA(kHost, buffer, size), size);
  EXPECT_EQ(std::string(buffer), kPath.substr(0, size - 1));
  EXPECT_TRUE(UntouchedFrom(size));

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetModuleFileNameA(kHost, buffer, 1), 1u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_TRUE(UntouchedFrom(1));

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetModuleFileNameA(kHost, buffer, 0), 0u);
  EXPECT_TRUE(UntouchedFrom(0));
}

TEST_F(ModuleFile, UnknownOrForgottenHandleAnswersZero) {
  EXPECT_EQ(GetModuleFileNameA(kOther, buffer, sizeof buffer), 0u);
  EXPECT_TRUE(UntouchedFrom(0));
  Win32SimRegisterModuleFile(kOther, "/a/Other.dll");
  EXPECT_EQ(GetModuleFileNameA(kOther, buffer, sizeof buffer), 12u);
  Win32SimRegisterModuleFile(kOther, "/b/Renamed.dll");  // a new registration replaces the old
  EXPECT_EQ(GetModuleFileNameA(kOther, buffer, sizeof buffer), 14u);
  EXPECT_STREQ(buffer, "/b/Renamed.dll");
  Win32SimForgetModuleFile(kOther);
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetModuleFileNameA(kOther, buffer, sizeof buffer), 0u);
  EXPECT_TRUE(UntouchedFrom(0));
  // The host's registration is not disturbed by the other's.
  EXPECT_EQ(GetModuleFileNameA(kHost, buffer, sizeof buffer), kPath.size());
}

TEST_F(ModuleFile, NullHandleNamesTheRunningProgram) {
  char path[4096];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(length, 0u);
  EXPECT_NE(std::string(path, length).find("sim_platform_test"), std::string::npos) << path;
}

}  // namespace
