// Loading a module as Quor does, calling its functions with parameter blocks built from the
// declarations, refusing calls that do not fit them, and the host's module queries.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

#include "hostlink/host_exports.h"
#include "tests/sim_host/host_test_support.h"
#include "win32sim_control.h"

namespace {

using namespace quorsim;
using hosttest::FakeSeen;
using hosttest::HostFixture;
using hosttest::kFakeModule;

template <typename T>
T At(const FakeObservations& seen, size_t offset) {
  T value;
  std::memcpy(&value, seen.block + offset, sizeof value);
  return value;
}

std::string ModuleFileOf(void* module) {
  char buffer[512] = {0};
  DWORD n = GetModuleFileNameA(module, buffer, sizeof buffer);
  return std::string(buffer, n);
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    MemSetScramble(false);
    before_ = MemLiveHandleCount();
  }
  void TearDown() override { EXPECT_EQ(MemLiveHandleCount(), before_); }
  size_t before_ = 0;
};

TEST_F(LoaderTest, LoadCallsMainThenAsksForEveryDeclaredAddress) {
  HostOptions options;
  options.recordSize = 200;
  Host host(options);
  std::string error;
  ASSERT_TRUE(host.Load(kFakeModule, &error)) << error;
  ASSERT_TRUE(host.Loaded());
  FakeObservations* seen = FakeSeen();
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->mainCalls, 1);
  EXPECT_EQ(seen->mainRecordBytes, 200);
  EXPECT_NE(seen->ownModule, nullptr);  // GetZEMModule already answers during main
  ASSERT_EQ(host.Declarations().functions.size(), 10u);
  ASSERT_EQ(seen->messageCount, 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(seen->messages[i], kMsgFunctionAddress);
    EXPECT_EQ(seen->firstItems[i], i);
    EXPECT_NE(host.FunctionAddress(i), 0);
  }
  EXPECT_NE(host.FunctionAddress(0), host.FunctionAddress(1));
  EXPECT_EQ(host.FunctionAddress(10), 0);
  EXPECT_EQ(host.FunctionAddress(-1), 0);
  HostCallbackProc callback = (*host.Record())->hostCallback;  // copied: the field is packed
  EXPECT_NE(callback, nullptr);
  EXPECT_EQ(host.HostFieldViolations(), 0);

  seen->messageCount = 0;
  host.Unload();
  EXPECT_FALSE(host.Loaded());
  EXPECT_EQ(host.Record(), nullptr);
  EXPECT_EQ(FakeSeen(), nullptr);  // the library is gone
}

TEST_F(LoaderTest, UnloadSendsShutdownOnce) {
  Host host;
  std::string error;
  ASSERT_TRUE(host.Load(kFakeModule, &error)) << error;
  // Hold the library so its observations outlive the unload.
  void* library = dlopen(kFakeModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  auto* seen = static_cast<FakeObservations*>(dlsym(library, "gFakeSeen"));
  seen->messageCount = 0;
  host.Unload();
  host.Unload();  // twice is harmless
  EXPECT_EQ(seen->shutdowns, 1);
  ASSERT_EQ(seen->messageCount, 1);
  EXPECT_EQ(seen->messages[0], kMsgShutdown);
  dlclose(library);
}

TEST_F(LoaderTest, LoadFailuresSayWhatIsWrongAndLeaveNothingBehind) {
  std::string error;
  {
    Host host;
    EXPECT_FALSE(host.Load(hosttest::kFakeDir + "/Missing.so", &error));
    EXPECT_NE(error.find("Missing.res"), std::string::npos) << error;
  }
  {
    Host host;
    EXPECT_FALSE(host.Load(hosttest::kNoMainModule, &error));
    EXPECT_NE(error.find("no entry point main"), std::string::npos) << error;
    EXPECT_FALSE(host.Loaded());
  }
  {
    // Declarations present, library missing.
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "quorsim_loader_test";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(hosttest::kFakeDir + "/FakeModule.res", dir / "Gone.res",
                               std::filesystem::copy_options::overwrite_existing);
    Host host;
    EXPECT_FALSE(host.Load((dir / "Gone.so").string(), &error));
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
  }
  {
    HostOptions options;
    options.recordSize = static_cast<int32_t>(kRecordHeaderSize) - 1;
    Host host(options);
    EXPECT_FALSE(host.Load(kFakeModule, &error));
    EXPECT_NE(error.find("record size"), std::string::npos) << error;
  }
  {
    Host host;
    ASSERT_TRUE(host.Load(kFakeModule, &error)) << error;
    EXPECT_FALSE(host.Load(kFakeModule, &error));
    EXPECT_NE(error.find("loaded already"), std::string::npos);
  }
  {
    // A module whose main does not install its entry routine.
    void* library = dlopen(kFakeModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    *static_cast<int32_t*>(dlsym(library, "gFakeSkipEntryInstall")) = 1;
    Host host;
    EXPECT_FALSE(host.Load(kFakeModule, &error));
    EXPECT_NE(error.find("entry routine"), std::string::npos) << error;
    EXPECT_FALSE(host.Loaded());
    *static_cast<int32_t*>(dlsym(library, "gFakeSkipEntryInstall")) = 0;
    dlclose(library);
  }
}

TEST_F(LoaderTest, ASmallRecordIsHandedOverAsItIs) {
  HostOptions options;
  options.recordSize = static_cast<int32_t>(RecordSizeForItems(5));
  Host host(options);
  std::string error;
  ASSERT_TRUE(host.Load(kFakeModule, &error)) << error;
  EXPECT_EQ(FakeSeen()->mainRecordBytes, options.recordSize);
  CallOutcome outcome;
  ASSERT_TRUE(host.Call("FK_Ask", {Argument::Num(34), Argument::Num(0), Argument::Num(0)}, &outcome, &error));
  // The module's transport sized the record for 16 items.
  EXPECT_EQ(static_cast<size_t>(GetHandleSize(reinterpret_cast<Handle>(host.Record()))), kRecordFullSize);
}

TEST_F(LoaderTest, EachHostAnswersTheModuleItLoaded) {
  Host first;
  std::string error;
  ASSERT_TRUE(first.Load(kFakeModule, &error)) << error;
  Handle wave = first.MakeTestWave("mine", 1, 4, {9});
  Host second;  // made later, so the active one; it has no module
  EXPECT_EQ(ActiveHost(), &second);
  EXPECT_EQ(hosttest::SendAsModule(first, 35, {hosttest::Item(wave)}), 9);
  EXPECT_EQ(first.Exchanges().size(), 1u);
  EXPECT_TRUE(second.Exchanges().empty());
  void* module = GetZEMModule(first.Record());
  ASSERT_NE(module, nullptr);
  char buffer[64] = "";
  GetWinIndString(module, buffer, 1101, 3);
  EXPECT_STREQ(buffer, "FakeModule");
}

// ---------------------------------------------------------------- calls
class CallTest : public HostFixture {
 protected:
  CallOutcome CallOk(const std::string& name, const std::vector<Argument>& args) {
    CallOutcome outcome;
    std::string error;
    EXPECT_TRUE(host_->Call(name, args, &outcome, &error)) << error;
    return outcome;
  }
  std::string CallRefused(const std::string& name, const std::vector<Argument>& args) {
    CallOutcome outcome;
    std::string error;
    EXPECT_FALSE(host_->Call(name, args, &outcome, &error)) << name;
    return error;
  }
};

TEST_F(CallTest, ResultOnlyBlock) {
  CallOutcome outcome = CallOk("FK_Plain", {});
  EXPECT_EQ(outcome.errorCode, 0);
  EXPECT_TRUE(outcome.resultWritten);
  EXPECT_EQ(outcome.result, 42.0);
  EXPECT_EQ(FakeSeen()->blockBytes, 8);
  EXPECT_EQ(CallOk("fk_PLAIN", {}).result, 42.0);  // names are matched without regard to case
}

TEST_F(CallTest, TextBlockHandsOverAFreshHandleOfExactlyTheText) {
  const size_t live = MemLiveHandleCount();
  CallOutcome outcome = CallOk("FK_Text", {Argument::Str("abc")});
  EXPECT_EQ(outcome.result, 3.0);
  EXPECT_STREQ(FakeSeen()->text, "abc");
  EXPECT_EQ(FakeSeen()->textWasNull, 0);
  EXPECT_EQ(MemLiveHandleCount(), live);  // the function disposed of it

  outcome = CallOk("FK_Text", {Argument::Str(std::string("a\0b", 3))});
  EXPECT_EQ(outcome.result, 3.0);  // no terminator added, none needed
  outcome = CallOk("FK_Text", {Argument::Str("")});
  EXPECT_EQ(outcome.result, 0.0);
  EXPECT_EQ(FakeSeen()->textWasNull, 0);
  outcome = CallOk("FK_Text", {Argument::Null()});
  EXPECT_EQ(FakeSeen()->textWasNull, 1);
  EXPECT_EQ(outcome.result, 0.0);
}

TEST_F(CallTest, ParametersLieInReverseOrderPackedBeforeTheResult) {
  CallOutcome outcome = CallOk("FK_TextNumNum", {Argument::Str("img"), Argument::Num(100), Argument::Num(4096)});
  EXPECT_EQ(outcome.result, 3996.0);
  const FakeObservations& seen = *FakeSeen();
  EXPECT_EQ(At<double>(seen, 0), 4096.0);  // third declared parameter first
  EXPECT_EQ(At<double>(seen, 8), 100.0);
  EXPECT_STREQ(seen.text, "img");
  EXPECT_EQ(seen.blockBytes, static_cast<int32_t>(16 + sizeof(Handle) + 8));
#if INTPTR_MAX == INT32_MAX
  EXPECT_EQ(seen.blockBytes, 28);  // the handle at 16, the result at 20
#endif

  outcome = CallOk("FK_NumNum", {Argument::Num(3), Argument::Num(4)});
  EXPECT_EQ(At<double>(*FakeSeen(), 0), 4.0);
  EXPECT_EQ(At<double>(*FakeSeen(), 8), 3.0);
  EXPECT_EQ(outcome.result, 34.0);
  outcome = CallOk("FK_NumNum", {Argument::Num(-1.5), Argument::Num(1e3)});
  EXPECT_EQ(outcome.result, 985.0);
}

TEST_F(CallTest, UnwrittenResultsAndErrorCodesAreReported) {
  CallOutcome outcome = CallOk("FK_NoResult", {});
  EXPECT_EQ(outcome.errorCode, 0);
  EXPECT_FALSE(outcome.resultWritten);
  EXPECT_EQ(outcome.result, 0.0);
  outcome = CallOk("FK_Fails", {Argument::Num(163)});
  EXPECT_EQ(outcome.errorCode, 163);
  EXPECT_FALSE(outcome.resultWritten);
  outcome = CallOk("FK_Fails", {Argument::Num(-1)});
  EXPECT_EQ(outcome.errorCode, -1);
}

TEST_F(CallTest, CallsThatDoNotFitTheDeclarationAreRefusedBeforeAnythingIsMade) {
  const size_t live = MemLiveHandleCount();
  EXPECT_NE(CallRefused("FK_Nothing", {}).find("unknown function FK_Nothing"), std::string::npos);
  EXPECT_NE(CallRefused("FK_Plain", {Argument::Num(1)}).find("takes 0 arguments, 1 given"), std::string::npos);
  EXPECT_NE(CallRefused("FK_TextNumNum", {Argument::Str("a")}).find("takes 3 arguments, 1 given"), std::string::npos);
  EXPECT_NE(CallRefused("FK_Text", {Argument::Num(2)}).find("argument 1 of FK_Text must be text"), std::string::npos);
  EXPECT_NE(CallRefused("FK_TextNumNum", {Argument::Str("a"), Argument::Str("b"), Argument::Num(1)})
                .find("argument 2 of FK_TextNumNum must be a number"),
            std::string::npos);
  EXPECT_NE(CallRefused("FK_NumNum", {Argument::Num(1), Argument::Null()}).find("must be a number"), std::string::npos);
  EXPECT_NE(CallRefused("FK_OddParam", {Argument::Num(1)}).find("parameter type"), std::string::npos);
  EXPECT_NE(CallRefused("FK_TextResult", {}).find("result type"), std::string::npos);
  EXPECT_EQ(MemLiveHandleCount(), live);
  host_->Unload();
  EXPECT_NE(CallRefused("FK_Plain", {}).find("no module"), std::string::npos);
}

TEST_F(CallTest, AFunctionMayCallBackIntoTheHostWhileItRuns) {
  host_->ClearExchanges();
  CallOutcome outcome = CallOk("FK_Ask", {Argument::Num(1), Argument::Num(0), Argument::Num(0)});
  EXPECT_EQ(outcome.result, static_cast<double>(kErrNotAWave));  // marking a non-wave modified
  ASSERT_EQ(host_->Exchanges().size(), 1u);
  EXPECT_EQ(host_->Exchanges()[0].message, 1);
  EXPECT_EQ(host_->Exchanges()[0].items, (std::vector<HostWord>{0, 0}));
  EXPECT_EQ(host_->Exchanges()[0].result, kErrNotAWave);
}

TEST_F(CallTest, APictureLikeFunctionWorksUnderScramble) {
  HostOptions options;
  options.scramble = true;
  Start(options);
  IORec* recordBefore = *host_->Record();
  CallOutcome outcome = CallOk("FK_MakeImage", {Argument::Str("pic"), Argument::Num(4), Argument::Num(3)});
  EXPECT_EQ(outcome.errorCode, 0);
  EXPECT_NE(*host_->Record(), recordBefore);  // the record moved while the module worked
  WaveView view;
  ASSERT_TRUE(host_->FindWave("pic", &view));
  EXPECT_EQ(view.type, 80);
  EXPECT_EQ(view.dimensions, (std::vector<int32_t>{4, 3}));
  EXPECT_EQ(view.modifiedCount, 1);
  EXPECT_FALSE(MemIsLocked(view.handle));
  ASSERT_EQ(view.dataBytes, 24u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      uint16_t v;
      std::memcpy(&v, view.data + 2 * (x + 4 * y), 2);
      EXPECT_EQ(v, x + 10 * y);
    }
  }
  EXPECT_EQ(host_->HostFieldViolations(), 0);
}

TEST_F(CallTest, WritesIntoTheHostsOwnRecordFieldsAreNoticed) {
  (*host_->Record())->hostField22 = 0;  // as a module writing where it must not
  CallOk("FK_Plain", {});
  EXPECT_EQ(host_->HostFieldViolations(), 1);
  CallOk("FK_Plain", {});
  EXPECT_EQ(host_->HostFieldViolations(), 1);  // the host restored its field
}

// ---------------------------------------------------------------- module queries
TEST_F(CallTest, ModuleAndWindowQueries) {
  IORecHandle record = host_->Record();
  void* module = GetZEMModule(record);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetZEMModule(nullptr), nullptr);
  EXPECT_EQ(ModuleFileOf(module), kFakeModule);
  EXPECT_NE(GetQuorClientHWND(), nullptr);
  EXPECT_EQ(GetQuorClientHWND(), GetQuorClientHWND());
  intptr_t handled = 7;
  EXPECT_EQ(HandleZEMWinMessage(module, GetQuorClientHWND(), 0x111, 1, 2, &handled), 0);
  EXPECT_EQ(handled, 0);

  char buffer[300] = "";
  EXPECT_EQ(GetWinIndString(module, buffer, 1101, 3), 0);
  EXPECT_STREQ(buffer, "FakeModule");
  GetWinIndString(module, buffer, 1101, 1);
  EXPECT_STREQ(buffer, "-1");
  std::strcpy(buffer, "untouched");
  GetWinIndString(module, buffer, 1101, 4);
  GetWinIndString(module, buffer, 1101, 0);
  GetWinIndString(module, buffer, 1100, 1);
  GetWinIndString(nullptr, buffer, 1101, 1);
  EXPECT_STREQ(buffer, "untouched");
}

TEST_F(CallTest, HostModuleFileFollowsTheVersion) {
  EXPECT_EQ(ModuleFileOf(GetQuorModule()), std::string(QUORSIM_VERSION_DIR) + "/Quor_6.0.2.res");
  EXPECT_TRUE(std::filesystem::exists(ModuleFileOf(GetQuorModule())));
  HostOptions options;
  options.version = 0;
  Start(options);
  EXPECT_EQ(ModuleFileOf(GetQuorModule()), std::string(QUORSIM_VERSION_DIR) + "/Quor_none.res");
  options.version = 621;
  Start(options);
  EXPECT_EQ(ModuleFileOf(GetQuorModule()), std::string(QUORSIM_VERSION_DIR) + "/Quor_6.2.1.res");
  options.version = 700;
  options.versionFile = "Quor_6.10.0.res";
  Start(options);
  EXPECT_EQ(ModuleFileOf(GetQuorModule()), std::string(QUORSIM_VERSION_DIR) + "/Quor_6.10.0.res");
  EXPECT_EQ(host_->Version(), 700);
}

TEST_F(CallTest, ClipboardKeepsTheLastText) {
  EXPECT_EQ(SetScrapData(0, 5, 0x54455854, "hello world"), 0);
  EXPECT_EQ(ClipboardText(), "hello");
  EXPECT_EQ(ClipboardType(), 0x54455854u);
  EXPECT_EQ(SetScrapData(0, 0, 0x54455854, nullptr), 0);
  EXPECT_EQ(ClipboardText(), "");
  EXPECT_NE(SetScrapData(0, -1, 0x54455854, "x"), 0);
  EXPECT_NE(SetScrapData(0, 3, 0x54455854, nullptr), 0);
}

}  // namespace
