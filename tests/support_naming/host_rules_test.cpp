// The simulated host's own rules behind the naming, folder, variable and command-text
// requests, asked directly through the transport: path walking, free names, conflicts, legal
// names, command-text form, the readers of the command text, and the host's version gates.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hostdata/waves.h"
#include "hostlink/transport.h"
#include "linked_host/linked_host_fixture.h"
#include "sim/host/host_internal.h"
#include "support/command_text.h"
#include "support/naming.h"

namespace namingtest {
namespace {

class HostRulesTest : public testhost::LinkedHostTest {
 protected:
  HostRulesTest() : testhost::LinkedHostTest(false) {}
  HostWord Path(Handle start, const std::string& path, Handle* out) {
    *out = reinterpret_cast<Handle>(uintptr_t{0x5A5A5A50});
    return CallHost3(kMsgResolveFolderPath, AsItem(start), AsItem(path.c_str()), AsItem(out));
  }
};

TEST_F(HostRulesTest, PathWalking) {
  Handle a = host().NewDataFolder(nullptr, "a");
  Handle b = host().NewDataFolder(a, "b");
  Handle c = host().NewDataFolder(b, "c");
  Handle root = host().RootDataFolder();
  struct Case {
    Handle start;
    std::string path;
    HostWord result;
    Handle folder;
  };
  const std::vector<Case> cases = {
      {nullptr, "root:a:b", 0, b},     {b, "root:a:b:c:", 0, c},   {b, "ROOT:A", 0, a},
      {a, ":b:c", 0, c},               {a, "b:c", 0, c},            {a, "b", 0, b},
      {c, "::", 0, b},                 {c, ":::", 0, a},            {c, "::::", 0, root},
      {c, "::c", 0, c},                {a, "b::b", 0, b},           {b, ":", 0, b},
      {b, "", 0, b},                   {nullptr, "root", 0, root},  {nullptr, "root:", 0, root},
      {c, "root::", quorsim::kErrNoSuchFolder, nullptr},           {a, "'b':'c'", 0, c},
      {a, "x", quorsim::kErrNoSuchFolder, nullptr},                {a, "b:x:c", quorsim::kErrNoSuchFolder, nullptr},
      {nullptr, "rootx", quorsim::kErrNoSuchFolder, nullptr},      {nullptr, "a:root", quorsim::kErrNoSuchFolder, nullptr},
  };
  for (const Case& k : cases) {
    Handle out;
    EXPECT_EQ(Path(k.start, k.path, &out), k.result) << k.path;
    EXPECT_EQ(out, k.folder) << k.path;
  }
  ASSERT_TRUE(host().SetCurrentDataFolder(b));
  Handle out;
  EXPECT_EQ(Path(nullptr, "c", &out), 0) << "a null start is the current folder";
  EXPECT_EQ(out, c);
  EXPECT_EQ(Path(reinterpret_cast<Handle>(AsItem(&out)), "c", &out), quorsim::kErrNoDataFolder);
  EXPECT_EQ(out, nullptr);
}

TEST_F(HostRulesTest, OlderHostsRefuseATrailingColon) {
  for (int version : {300, 0}) {
    Start(version);
    Handle a = host().NewDataFolder(nullptr, "a");
    Handle out;
    EXPECT_EQ(Path(nullptr, "root:a:", &out), quorsim::kErrBadFolderPath) << version;
    EXPECT_EQ(Path(nullptr, ":", &out), quorsim::kErrBadFolderPath);
    EXPECT_EQ(Path(nullptr, "root:a", &out), 0);
    EXPECT_EQ(out, a);
  }
  Start(301);
  Handle out;
  EXPECT_EQ(Path(nullptr, ":", &out), 0);
  EXPECT_EQ(out, host().RootDataFolder());
}

TEST_F(HostRulesTest, FreeNames) {
  host().MakeTestWave("w0", 1, kWaveTypeFloat64, {1});
  host().MakeTestWave("w2", 1, kWaveTypeFloat64, {1});
  char name[kObjectNameBufferSize];
  int32_t counter = -9;
  EXPECT_EQ(AskHostForFreeName("w", name, &counter), 0);
  EXPECT_STREQ(name, "w1") << "a negative counter starts at 0";
  EXPECT_EQ(counter, 2);
  EXPECT_EQ(AskHostForFreeName("w", name, &counter), 0);
  EXPECT_STREQ(name, "w3");
  EXPECT_EQ(counter, 4);

  const std::string base31(31, 'k');
  counter = 123;
  EXPECT_EQ(AskHostForFreeName(base31.c_str(), name, &counter), 0);
  EXPECT_EQ(std::string(name), std::string(28, 'k') + "123");
  counter = 2147483647;
  EXPECT_EQ(AskHostForFreeName("big", name, &counter), 0);
  EXPECT_STREQ(name, "big2147483647");
  EXPECT_EQ(counter, -2147483647 - 1);

  EXPECT_EQ(AskHostForFreeName("p", name, &(counter = 0)), 0);
  EXPECT_STREQ(name, "p0") << "a reserved base gets its number";
  EXPECT_EQ(CallHost4(kMsgFreeName, 2, AsItem("w"), AsItem(name), AsItem(&counter)), quorsim::kErrBadParameter)
      << "only name space 1";
}

TEST_F(HostRulesTest, FreeNameRunsOutAtTheLargestCounter) {
  host().MakeTestWave("v2147483647", 1, kWaveTypeFloat64, {1});
  char name[kObjectNameBufferSize] = "unchanged";
  int32_t counter = 2147483647;
  EXPECT_EQ(AskHostForFreeName("v", name, &counter), quorsim::kErrNoFreeName);
  EXPECT_STREQ(name, "unchanged");
  EXPECT_EQ(counter, 2147483647);
}

TEST_F(HostRulesTest, LegalNamesStandardAndLiberal) {
  struct Case {
    int liberal;
    std::string in;
    int maxLength;
    HostWord result;
    std::string out;
  };
  const std::vector<Case> cases = {
      {0, "abc", 31, 0, "abc"},           {0, "1abc", 31, 0, "X1abc"},         {0, "a b;c", 31, 0, "a_b_c"},
      {0, "abcdef", 3, 0, "abc"},          {0, "9abc", 3, 0, "X9a"},             {1, "9 lives", 31, 0, "9 lives"},
      {1, "a:b;c'd\"e", 31, 0, "a_b_c_d_e"}, {1, "tab\there", 31, 0, "tab_here"}, {1, "\xE9t\xE9", 31, 0, "\xE9t\xE9"},
      {0, "", 31, quorsim::kErrBadName, ""}, {0, "abc", 0, quorsim::kErrBadParameter, "abc"},
  };
  for (const Case& c : cases) {
    char name[kObjectNameBufferSize];
    std::memcpy(name, c.in.c_str(), c.in.size() + 1);
    EXPECT_EQ(CallHost3(kMsgLegalizeName, c.liberal, AsItem(name), c.maxLength), c.result) << c.in;
    EXPECT_EQ(std::string(name), c.out) << c.in;
  }
}

TEST_F(HostRulesTest, CommandFormAndTheGateAt300) {
  char liberal[kObjectNameBufferSize] = "9 lives";
  EXPECT_EQ(CallHost1(kMsgFormatNameForCommand, AsItem(liberal)), 0);
  EXPECT_STREQ(liberal, "'9 lives'");
  char bad[kObjectNameBufferSize] = "a:b";
  EXPECT_EQ(CallHost1(kMsgFormatNameForCommand, AsItem(bad)), quorsim::kErrBadName);
  EXPECT_STREQ(bad, "a:b");

  Start(299);
  EXPECT_EQ(CallHost1(kMsgFormatNameForCommand, AsItem(liberal)), quorsim::kErrUnknownMessage);
  EXPECT_EQ(CallHost3(kMsgLegalizeName, 0, AsItem(liberal), 31), quorsim::kErrUnknownMessage);
  EXPECT_EQ(CallHost0(kMsgAtStatementEnd), quorsim::kErrUnknownMessage);
  EXPECT_EQ(CallHost3(kMsgReadCommandName124, 0, 0, 0), quorsim::kErrUnknownMessage);
  Start(399);
  EXPECT_EQ(CallHost0(kMsgAtStatementEnd), quorsim::kErrUnknownMessage);
  Start(199);
  EXPECT_EQ(CallHost0(kMsgBlankRequest71), quorsim::kErrUnknownMessage);
}

TEST_F(HostRulesTest, ConflictsWithTheLoadedModulesFunctions) {
  quorsim::FunctionDeclaration f;
  f.name = "QV_InitCam";
  host().InternalState().declarations.functions.push_back(f);
  EXPECT_EQ(AskHostNameConflict(nullptr, kObjectTypeWave, "qv_initcam"), quorsim::kErrReservedName);
  EXPECT_EQ(CreateVariable("QV_InitCam", kVariableTypeReal), quorsim::kErrReservedName);
  char name[kObjectNameBufferSize];
  int32_t counter = 0;
  EXPECT_EQ(AskHostForFreeName("QV_InitCam", name, &counter), 0);
  EXPECT_STREQ(name, "QV_InitCam0");
}

TEST_F(HostRulesTest, VariablesLiveInTheCurrentFolder) {
  Handle work = host().NewDataFolder(nullptr, "work");
  const double value = 3;
  ASSERT_EQ(SetNumericVariable("gain", &value, 0), 0);
  ASSERT_TRUE(host().SetCurrentDataFolder(work));
  double re = 0, im = 0;
  EXPECT_EQ(CallHost3(kMsgReadNumericVariable, AsItem("gain"), AsItem(&re), AsItem(&im)), quorsim::kErrNoSuchVariable);
  EXPECT_EQ(CallHost3(kMsgSetNumericVariable, AsItem("gain"), AsItem(&value), AsItem(&value)), -1);
  EXPECT_EQ(CreateVariable("gain", kVariableTypeString), 0) << "another folder, another name space";
  ASSERT_TRUE(host().SetCurrentDataFolder(host().RootDataFolder()));
  EXPECT_EQ(CallHost3(kMsgReadNumericVariable, AsItem("GAIN"), AsItem(&re), AsItem(&im)), 0);
  EXPECT_EQ(re, 3);
  EXPECT_EQ(CreateVariable("gain", kVariableTypeReal), 0) << "the same type again: kept";
  EXPECT_EQ(CreateVariable("gain", kVariableTypeComplex), quorsim::kErrNameInUse);
  EXPECT_EQ(CallHost3(kMsgReadNumericVariable, AsItem("gain"), AsItem(&re), AsItem(&im)), 0);
  EXPECT_EQ(re, 3) << "kept with its value";
  EXPECT_EQ(CallHost2(kMsgSetStringVariable, AsItem("gain"), AsItem("x")), quorsim::kErrNoSuchVariable);
}

TEST_F(HostRulesTest, NumbersAndNamesFromTheCommandText) {
  struct NumberCase {
    std::string text;
    HostWord result;
    double value;
    std::string unread;
  };
  const std::vector<NumberCase> numbers = {
      {"12", 0, 12, ""},       {" +1.5e2,", 0, 150, ","}, {"-0.25", 0, -0.25, ""}, {".5", 0, 0.5, ""},
      {"+-1", quorsim::kErrExpectedNumber, 0, "+-1"},   {"abc", quorsim::kErrExpectedNumber, 0, "abc"},
      {"", quorsim::kErrExpectedNumber, 0, ""},         {"1e999", quorsim::kErrExpectedNumber, 0, "1e999"},
  };
  for (const NumberCase& c : numbers) {
    quorsim::SetCommandText(host(), c.text);
    double value = 0;
    EXPECT_EQ(CallHost1(kMsgReadCommandNumber, AsItem(&value)), c.result) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(quorsim::UnreadCommandText(host()), c.unread) << c.text;
  }

  struct NameCase {
    std::string text;
    HostWord result;
    std::string name;
  };
  const std::vector<NameCase> names = {
      {"abc_1 x", 0, "abc_1"},
      {"'my data';", 0, "my data"},
      {";", ';', ""},
      {"''", quorsim::kErrExpectedName, ""},
      {"'a:b'", quorsim::kErrExpectedName, ""},
      {"'open", quorsim::kErrExpectedName, ""},
      {"_x", quorsim::kErrExpectedName, ""},
      {std::string(31, 'n'), 0, std::string(31, 'n')},
      {std::string(32, 'n'), quorsim::kErrNameTooLong, ""},
  };
  for (const NameCase& c : names) {
    quorsim::SetCommandText(host(), c.text);
    char name[kObjectNameBufferSize] = "";
    EXPECT_EQ(CallHost1(kMsgReadCommandName, AsItem(name)), c.result) << c.text;
    EXPECT_EQ(std::string(name), c.name) << c.text;
  }
  quorsim::SetCommandText(host(), "ab");
  EXPECT_EQ(CallHost0(kMsgPeekCommandChar), 'a');
  EXPECT_EQ(CallHost0(kMsgSkipCommandChar), 0);
  EXPECT_EQ(CallHost0(kMsgSkipCommandChar), 0);
  EXPECT_EQ(CallHost0(kMsgSkipCommandChar), 0) << "at the end nothing more to consume";
  EXPECT_EQ(CallHost0(kMsgPeekCommandChar), 0);
}

}  // namespace
}  // namespace namingtest
