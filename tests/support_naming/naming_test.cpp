// The naming routines against the simulated host's own answers: the name maker's order of
// questions, overwrite, rename and notice, its folder switching and error paths (scripted only
// where a real host cannot fail), the numbered base names past five digits, the local
// legaliser at its buffer boundary, command-text formatting and data-folder paths on both
// sides of the 300 and 301 gates, and the requests passed on unchanged.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostdata/handles.h"
#include "hostdata/waves.h"
#include "hostlink/host_version.h"
#include "hostlink/transport.h"
#include "linked_host/linked_host_fixture.h"
#include "support/naming.h"

namespace namingtest {
namespace {

using testhost::StopNextExchange;

class NamingTest : public testhost::LinkedHostTest {
 protected:
  Handle NewWave(const std::string& name) {
    Handle h = host().MakeTestWave(name, 1, kWaveTypeFloat64, {4});
    EXPECT_NE(h, nullptr) << name;
    return h;
  }
  void NewVariable(const std::string& name, int type, double value = 0) {
    quorsim::VariableView v;
    v.name = name;
    v.type = type;
    v.real = value;
    ASSERT_EQ(quorsim::MakeTestVariable(host(), nullptr, v), 0) << name;
  }
  // Calls the name maker with the usual flags; the out values are kept in the fixture.
  int32_t Create(Handle folder, const char* inName, int32_t objectType, int32_t liberal, int32_t allowOverwrite,
                 int32_t inNameIsBase, int32_t printNotice) {
    std::memset(outName_, '#', sizeof outName_);
    outName_[sizeof outName_ - 1] = '\0';
    nameChanged_ = -7;
    doOverwrite_ = -7;
    return CreateValidDataObjectName(folder, inName, outName_, &counter_, objectType, liberal, allowOverwrite,
                                     inNameIsBase, printNotice, &nameChanged_, &doOverwrite_);
  }
  // Records the name text the module hands the host with a message, while the host answers as
  // it would.
  void WatchNameOf(int message, size_t itemIndex) {
    host().SetScriptedAnswer([this, message, itemIndex](int m, std::span<const HostWord> items, HostWord*) {
      if (m == message && itemIndex < items.size() && items[itemIndex] != 0)
        watched_.push_back(reinterpret_cast<const char*>(items[itemIndex]));
      return false;
    });
  }

  char outName_[40];
  int32_t counter_ = 0;
  int32_t nameChanged_ = 0;
  int32_t doOverwrite_ = 0;
  std::vector<std::string> watched_;
};

std::string Untouched() { return std::string(39, '#'); }

// ---------------------------------------------------------------- the name maker

TEST_F(NamingTest, SameTypeWithOverwriteKeepsTheNameAndSetsOverwrite) {
  NewWave("img");
  Clear();
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 1, 0, 1), 0);
  EXPECT_STREQ(outName_, "img");
  EXPECT_EQ(doOverwrite_, 1);
  EXPECT_EQ(nameChanged_, 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgLegalizeName, kMsgLookUpFolderObject}))
      << "no conflict question, no rename, no notice";
  EXPECT_TRUE(quorsim::Notices(host()).empty());

  // The lookup cannot be sent: that is no "not there" to go on from, and no rename.
  Clear();
  host().SetScriptedAnswer([](int m, std::span<const HostWord>, HostWord*) {
    if (m == kMsgLegalizeName) StopNextExchange(4);
    return false;
  });
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 1, 0, 1), kExchangeStopped);
  EXPECT_EQ(outName_, Untouched());
  EXPECT_EQ(Messages(), std::vector<int>{kMsgLegalizeName});
  EXPECT_TRUE(quorsim::Notices(host()).empty());
}

TEST_F(NamingTest, SameTypeWithoutOverwriteIsAConflict) {
  NewWave("img");
  Clear();
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 0, 0, 0), 0);
  EXPECT_STREQ(outName_, "img0");
  EXPECT_EQ(doOverwrite_, 0);
  EXPECT_EQ(nameChanged_, 1);
  EXPECT_EQ(counter_, 1);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgLegalizeName, kMsgLookUpFolderObject, kMsgFreeName}));
}

TEST_F(NamingTest, AnotherTypesNameIsRenamedWithTheExactNotice) {
  NewVariable("data", 4);
  NewWave("data3");
  counter_ = 3;
  Clear();
  EXPECT_EQ(Create(nullptr, "data", kObjectTypeWave, 0, 1, 0, 1), 0);
  EXPECT_STREQ(outName_, "data4") << "the host skips the number in use";
  EXPECT_EQ(counter_, 5);
  EXPECT_EQ(nameChanged_, 1);
  EXPECT_EQ(doOverwrite_, 0) << "overwrite needs the same type";
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgLegalizeName, kMsgLookUpFolderObject, kMsgFreeName, kMsgPostNotice}))
      << "the conflict question is not asked about an existing name";
  EXPECT_EQ(quorsim::Notices(host()), std::vector<std::string>{"Wave 'data' changed to 'data4' because of a conflict.\r"});
}

TEST_F(NamingTest, NoticeWordsForEveryObjectTypeAndTheBugTextForOthers) {
  const std::vector<std::pair<int32_t, std::string>> words = {
      {kObjectTypeWave, "Wave"},
      {kObjectTypeNumericVariable, "Variable"},
      {kObjectTypeStringVariable, "String"},
      {kObjectTypeDataFolder, "Data folder"},
      {2, "BUG: CreateValidDataObjectName, objectType=2"},
      {5, "BUG: CreateValidDataObjectName, objectType=5"},
      {10, "BUG: CreateValidDataObjectName, objectType=10"},
      {-2147483647 - 1, "BUG: CreateValidDataObjectName, objectType=-2147483648"},
  };
  for (const auto& [type, word] : words) {
    Start(602);
    host().NewDataFolder(nullptr, "taken");  // without overwrite a conflict for every type
    NewVariable("taken0", 4);                // so the numbering moves on
    counter_ = 0;
    EXPECT_EQ(Create(nullptr, "taken", type, 0, 0, 0, 1), 0) << word;
    EXPECT_STREQ(outName_, "taken1") << "the rename happens for type " << type;
    EXPECT_EQ(quorsim::Notices(host()),
              std::vector<std::string>{word + " 'taken' changed to 'taken1' because of a conflict.\r"});
  }
}

TEST_F(NamingTest, NoNoticeWithoutPrintNotice) {
  NewWave("img");
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeNumericVariable, 0, 1, 0, 0), 0);
  EXPECT_STREQ(outName_, "img0");
  EXPECT_TRUE(quorsim::Notices(host()).empty());
}

TEST_F(NamingTest, ReservedNameIsAConflictFoundByTheConflictQuestion) {
  Clear();
  EXPECT_EQ(Create(nullptr, "sin", kObjectTypeWave, 0, 1, 0, 1), 0);
  EXPECT_STREQ(outName_, "sin0");
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgLegalizeName, kMsgLookUpFolderObject, kMsgNameConflict, kMsgFreeName,
                                         kMsgPostNotice}));
  EXPECT_EQ(quorsim::Notices(host()).at(0), "Wave 'sin' changed to 'sin0' because of a conflict.\r");
}

TEST_F(NamingTest, AFreeLegalNameGoesThroughUnchanged) {
  Clear();
  EXPECT_EQ(Create(nullptr, "fresh", kObjectTypeStringVariable, 0, 0, 0, 1), 0);
  EXPECT_STREQ(outName_, "fresh");
  EXPECT_EQ(nameChanged_, 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgLegalizeName, kMsgLookUpFolderObject, kMsgNameConflict}));
}

TEST_F(NamingTest, NameChangedComparesExactlyWithTheRequestedName) {
  EXPECT_EQ(Create(nullptr, "a b", kObjectTypeWave, 0, 0, 0, 1), 0);
  EXPECT_STREQ(outName_, "a_b");
  EXPECT_EQ(nameChanged_, 1) << "made legal";
  EXPECT_TRUE(quorsim::Notices(host()).empty()) << "making a name legal is no conflict";

  // A host that changes only the case of the letters: still a change.
  host().SetScriptedAnswer([](int m, std::span<const HostWord> items, HostWord* result) {
    if (m != kMsgLegalizeName) return false;
    for (char* p = reinterpret_cast<char*>(items[1]); *p; ++p) *p = static_cast<char>(std::toupper(*p));
    *result = 0;
    return true;
  });
  EXPECT_EQ(Create(nullptr, "abc", kObjectTypeWave, 0, 0, 0, 1), 0);
  EXPECT_STREQ(outName_, "ABC");
  EXPECT_EQ(nameChanged_, 1);
}

TEST_F(NamingTest, LiberalOnlyForWavesAndDataFolders) {
  for (int32_t type : {kObjectTypeWave, kObjectTypeDataFolder, kObjectTypeNumericVariable, kObjectTypeStringVariable, 2}) {
    Start(602);
    EXPECT_EQ(Create(nullptr, "my data", type, 1, 0, 0, 0), 0);
    const quorsim::Exchange& legalize = host().Exchanges().at(0);
    ASSERT_EQ(legalize.message, kMsgLegalizeName);
    const bool liberal = type == kObjectTypeWave || type == kObjectTypeDataFolder;
    EXPECT_EQ(legalize.items.at(0), liberal ? 1 : 0) << type;
    EXPECT_EQ(legalize.items.at(2), kMaxObjectNameLength);
    EXPECT_STREQ(outName_, liberal ? "my data" : "my_data") << type;
  }
}

TEST_F(NamingTest, LongNamesAreCutBeforeAnyQuestionAboutThem) {
  const std::string forty = "abcdefghijABCDEFGHIJabcdefghijABCDEFGHIJ";
  WatchNameOf(kMsgLegalizeName, 1);
  EXPECT_EQ(Create(nullptr, forty.c_str(), kObjectTypeWave, 0, 0, 0, 0), 0);
  ASSERT_EQ(watched_.size(), 1u);
  EXPECT_EQ(watched_[0], forty.substr(0, 31));
  EXPECT_EQ(outName_, forty.substr(0, 31));
  EXPECT_EQ(nameChanged_, 1) << "compared with the whole requested name";

  watched_.clear();
  WatchNameOf(kMsgFreeName, 1);
  counter_ = 0;
  EXPECT_EQ(Create(nullptr, forty.c_str(), kObjectTypeWave, 0, 0, 1, 0), 0);
  ASSERT_EQ(watched_.size(), 1u);
  EXPECT_EQ(watched_[0], forty.substr(0, 26)) << "a base is cut to 26";
  EXPECT_EQ(outName_, forty.substr(0, 26) + "0");
  EXPECT_EQ(counter_, 1);
}

TEST_F(NamingTest, BaseWithOverwriteIsNumberedLocallyWithoutAsking) {
  counter_ = 7;
  NewWave("img7");
  Clear();
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 1, 1, 1), 0);
  EXPECT_STREQ(outName_, "img7");
  EXPECT_EQ(counter_, 8);
  EXPECT_EQ(doOverwrite_, 1) << "the existing img7 is overwritten";
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgLegalizeName, kMsgLookUpFolderObject}));
}

TEST_F(NamingTest, BaseWithoutOverwriteAsksForAFreeNameAndIgnoresItsResult) {
  NewWave("img0");
  counter_ = 0;
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 0, 1, 0), 0);
  EXPECT_STREQ(outName_, "img1");
  EXPECT_EQ(counter_, 2);
  EXPECT_EQ(Messages().at(0), kMsgFreeName);
  EXPECT_EQ(host().Exchanges().at(0).items.at(0), kNameSpaceDataObjects);

  // A failing free-name request leaves the base, and the work goes on with it.
  Start(602);
  host().SetScriptedAnswer([](int m, std::span<const HostWord>, HostWord* result) {
    if (m != kMsgFreeName) return false;
    *result = 77;
    return true;
  });
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 0, 1, 0), 0);
  EXPECT_STREQ(outName_, "img");
  EXPECT_EQ(nameChanged_, 0);
}

// Fault mended: base + counter never passes 31 characters, whatever the counter.
TEST_F(NamingTest, NumberedBaseShortensTheBaseSoTheWholeNumberFits) {
  const std::string base26 = "abcdefghijklmnopqrstuvwxyz";
  struct Case {
    int32_t counter;
    std::string name;
    int32_t next;
  };
  const std::vector<Case> cases = {
      {99999, base26 + "99999", 100000},
      {100000, base26.substr(0, 25) + "100000", 100001},
      {2147483647, base26.substr(0, 21) + "2147483647", -2147483647 - 1},
      {-5, base26 + "_5", -4},  // the host makes the '-' legal
      {-2147483647 - 1, base26.substr(0, 20) + "_2147483648", -2147483647},
  };
  for (const Case& c : cases) {
    Start(602);
    counter_ = c.counter;
    EXPECT_EQ(Create(nullptr, base26.c_str(), kObjectTypeWave, 0, 1, 1, 0), 0) << c.counter;
    EXPECT_EQ(outName_, c.name) << c.counter;
    EXPECT_LE(std::strlen(outName_), 31u);
    EXPECT_EQ(counter_, c.next) << "the counter moves on by one, wrapping as a 32-bit counter";
  }
  // What the module formed itself, before the host made it legal.
  Start(602);
  WatchNameOf(kMsgLegalizeName, 1);
  counter_ = -2147483647 - 1;
  EXPECT_EQ(Create(nullptr, base26.c_str(), kObjectTypeWave, 0, 1, 1, 0), 0);
  ASSERT_EQ(watched_.size(), 1u);
  EXPECT_EQ(watched_[0], base26.substr(0, 20) + "-2147483648");
}

TEST_F(NamingTest, FolderIsMadeCurrentAndTheCallersFolderRestored) {
  Handle work = host().NewDataFolder(nullptr, "work");
  Handle other = host().NewDataFolder(nullptr, "other");
  ASSERT_TRUE(host().SetCurrentDataFolder(other));
  Clear();
  EXPECT_EQ(Create(work, "img", kObjectTypeWave, 0, 0, 0, 0), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgCurrentDataFolder, kMsgSetCurrentDataFolder, kMsgLegalizeName,
                                         kMsgLookUpFolderObject, kMsgNameConflict, kMsgSetCurrentDataFolder}));
  EXPECT_EQ(host().Exchanges().at(1).items.at(0), AsItem(work));
  EXPECT_EQ(host().Exchanges().back().items.at(0), AsItem(other));
  EXPECT_EQ(host().CurrentDataFolder(), other);
}

TEST_F(NamingTest, TheNameIsJudgedInTheGivenFolder) {
  Handle work = host().NewDataFolder(nullptr, "work");
  ASSERT_TRUE(host().SetCurrentDataFolder(work));
  NewWave("img");
  ASSERT_TRUE(host().SetCurrentDataFolder(host().RootDataFolder()));
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 0, 0, 0), 0);
  EXPECT_STREQ(outName_, "img") << "free in root";
  EXPECT_EQ(Create(work, "img", kObjectTypeWave, 0, 0, 0, 0), 0);
  EXPECT_STREQ(outName_, "img0") << "taken in work";
  EXPECT_EQ(host().CurrentDataFolder(), host().RootDataFolder());
}

TEST_F(NamingTest, OldHostFailsWith163AfterSwitchingAndRestoring) {
  for (int version : {299, 0}) {
    Start(version);
    Handle work = host().NewDataFolder(nullptr, "work");
    Clear();
    EXPECT_EQ(Create(work, "img", kObjectTypeWave, 0, 0, 0, 1), kErrHostTooOld) << version;
    EXPECT_EQ(Messages(), (std::vector<int>{kMsgCurrentDataFolder, kMsgSetCurrentDataFolder, kMsgSetCurrentDataFolder}));
    EXPECT_EQ(outName_, Untouched()) << "outName untouched on an error";
    EXPECT_EQ(nameChanged_, 0);
    EXPECT_EQ(doOverwrite_, 0);
    EXPECT_EQ(host().CurrentDataFolder(), host().RootDataFolder());
  }
  Start(300);
  EXPECT_EQ(Create(nullptr, "img", kObjectTypeWave, 0, 0, 0, 1), 0);
}

TEST_F(NamingTest, FailedSwitchReturnsAtOnce) {
  Handle bogus = reinterpret_cast<Handle>(uintptr_t{0x5A5A5A50});
  Clear();
  EXPECT_EQ(Create(bogus, "img", kObjectTypeWave, 0, 0, 0, 1), quorsim::kErrNoDataFolder);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgCurrentDataFolder, kMsgSetCurrentDataFolder}));
  EXPECT_EQ(outName_, Untouched());
  EXPECT_EQ(nameChanged_, 0);
  EXPECT_EQ(doOverwrite_, 0);
}

// A host whose current-folder request fails: nothing known to restore, so nothing is restored.
TEST_F(NamingTest, FailedFetchOfTheCurrentFolderMeansNoRestore) {
  Handle work = host().NewDataFolder(nullptr, "work");
  host().SetScriptedAnswer([](int m, std::span<const HostWord>, HostWord* result) {
    if (m != kMsgCurrentDataFolder) return false;
    *result = 55;
    return true;
  });
  Clear();
  EXPECT_EQ(Create(work, "img", kObjectTypeWave, 0, 0, 0, 1), 0);
  EXPECT_STREQ(outName_, "img");
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgCurrentDataFolder, kMsgSetCurrentDataFolder, kMsgLegalizeName,
                                         kMsgLookUpFolderObject, kMsgNameConflict}));
  EXPECT_EQ(host().CurrentDataFolder(), work);
}

TEST_F(NamingTest, FailedRenameReturnsItsErrorAndRestores) {
  Handle work = host().NewDataFolder(nullptr, "work");
  ASSERT_TRUE(host().SetCurrentDataFolder(work));
  NewWave("img");
  ASSERT_TRUE(host().SetCurrentDataFolder(host().RootDataFolder()));
  host().SetScriptedAnswer([](int m, std::span<const HostWord>, HostWord* result) {
    if (m != kMsgFreeName) return false;
    *result = 1234;
    return true;
  });
  Clear();
  EXPECT_EQ(Create(work, "img", kObjectTypeWave, 0, 0, 0, 1), 1234);
  EXPECT_EQ(outName_, Untouched());
  EXPECT_EQ(nameChanged_, 0);
  EXPECT_TRUE(quorsim::Notices(host()).empty()) << "no notice for a rename that failed";
  EXPECT_EQ(Messages().back(), kMsgSetCurrentDataFolder);
  EXPECT_EQ(host().CurrentDataFolder(), host().RootDataFolder());
}

TEST_F(NamingTest, LegalizeErrorsEndTheWork) {
  Clear();
  EXPECT_EQ(Create(nullptr, "", kObjectTypeWave, 0, 0, 0, 1), quorsim::kErrBadName) << "the host has no name for nothing";
  EXPECT_EQ(Messages(), std::vector<int>{kMsgLegalizeName});
  EXPECT_EQ(outName_, Untouched());
}

// ---------------------------------------------------------------- the local legaliser

// Each name in a heap block of exactly the size the routine may need, so that AddressSanitizer
// catches a single byte written beyond it.
std::pair<int32_t, std::string> LegalizeInExactBuffer(const std::string& name, int32_t number, size_t size) {
  std::unique_ptr<char[]> buffer(new char[size]);
  std::memset(buffer.get(), '?', size);
  std::memcpy(buffer.get(), name.c_str(), name.size() + 1);
  const int32_t changed = MakeStandardNameLegal(buffer.get(), number);
  return {changed, std::string(buffer.get())};
}

TEST(MakeStandardNameLegal, EdgeCasesInBuffersOfTheStatedSize) {
  struct Case {
    std::string in;
    int32_t number;
    int32_t changed;
    std::string out;
  };
  const std::string letters31 = "abcdefghijklmnopqrstuvwxyzABCDE";
  const std::vector<Case> cases = {
      {"abc", 0, 0, "abc"},
      {"a b-c", 0, 1, "a_b_c"},
      {"9lives", 0, 1, "X9lives"},
      {"1abc", 0, 1, "X1abc"},
      {"a_b", 0, 0, "a_b"},  // an underscore is legal: nothing changed
      {"_ab", 0, 1, "X_ab"},
      {"\xE9t\xE9", 0, 1, "X_t_"},
      {"t\xFF", 0, 1, "t_"},
      {letters31, 0, 0, letters31},
      {letters31 + "xyz", 0, 1, letters31},
      {"9" + letters31.substr(0, 30), 0, 1, "X9" + letters31.substr(0, 29)},
      {"9" + letters31, 0, 1, "X9" + letters31.substr(0, 29)},
      {std::string(300, 'q'), 0, 1, std::string(31, 'q')},
  };
  for (const Case& c : cases) {
    const auto [changed, out] = LegalizeInExactBuffer(c.in, c.number, c.in.size() + 2);
    EXPECT_EQ(changed, c.changed) << c.in;
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(MakeStandardNameLegal, EmptyNameBecomesNoNameWithTheNumber) {
  EXPECT_EQ(LegalizeInExactBuffer("", 3, 8), (std::pair<int32_t, std::string>{1, "NoName3"}));
  EXPECT_EQ(LegalizeInExactBuffer("", -2147483647 - 1, kNoNameBufferSize),
            (std::pair<int32_t, std::string>{1, "NoName-2147483648"}));
  EXPECT_EQ(LegalizeInExactBuffer("", 2147483647, 17), (std::pair<int32_t, std::string>{1, "NoName2147483647"}));
}

TEST(MakeStandardNameLegal, ThirtyCharactersInA32ByteBufferMeetTheCondition) {
  char name[kObjectNameBufferSize] = "0123456789012345678901234567890";  // 31: one too many for a leading X
  name[30] = '\0';
  EXPECT_EQ(MakeStandardNameLegal(name, 0), 1);
  EXPECT_STREQ(name, "X012345678901234567890123456789");
  EXPECT_EQ(std::strlen(name), 31u);
}

// ---------------------------------------------------------------- single requests

TEST_F(NamingTest, FolderRequestsAnswerWithTheHostsFolders) {
  Handle root = nullptr, current = nullptr;
  EXPECT_EQ(FetchRootDataFolder(&root), 0);
  EXPECT_EQ(root, host().RootDataFolder());
  EXPECT_EQ(host().Exchanges().back().items, (std::vector<HostWord>{0, AsItem(&root)}));
  Handle work = host().NewDataFolder(nullptr, "work");
  EXPECT_EQ(SwitchCurrentDataFolder(work), 0);
  EXPECT_EQ(FetchCurrentDataFolder(&current), 0);
  EXPECT_EQ(current, work);
  EXPECT_EQ(SwitchCurrentDataFolder(nullptr), 0) << "null: stays where it is";
  EXPECT_EQ(host().CurrentDataFolder(), work);
  EXPECT_EQ(SwitchCurrentDataFolder(reinterpret_cast<Handle>(AsItem(&current))), quorsim::kErrNoDataFolder);
  EXPECT_EQ(host().CurrentDataFolder(), work);
}

TEST_F(NamingTest, FreeNameAndConflictAndLookUp) {
  NewWave("img0");
  NewVariable("img1", 4, 2.5);
  host().NewDataFolder(nullptr, "img2");
  char name[kObjectNameBufferSize];
  const char base[] = "img";
  int32_t counter = 0;
  EXPECT_EQ(AskHostForFreeName(base, name, &counter), 0);
  EXPECT_STREQ(name, "img3");
  EXPECT_EQ(counter, 4);
  EXPECT_EQ(host().Exchanges().back().items,
            (std::vector<HostWord>{kNameSpaceDataObjects, AsItem(base), AsItem(name), AsItem(&counter)}));

  EXPECT_EQ(AskHostNameConflict(nullptr, kObjectTypeWave, "img0"), 0) << "same type: no conflict";
  EXPECT_EQ(AskHostNameConflict(nullptr, kObjectTypeNumericVariable, "img0"), quorsim::kErrNameInUse);
  EXPECT_EQ(AskHostNameConflict(nullptr, kObjectTypeWave, "ROOT"), quorsim::kErrReservedName);
  EXPECT_EQ(AskHostNameConflict(nullptr, kObjectTypeWave, "fresh"), 0);

  int32_t type = 0;
  void* data = nullptr;
  EXPECT_EQ(LookUpFolderObject(nullptr, "IMG1", &type, &data), 0);
  EXPECT_EQ(type, kObjectTypeNumericVariable);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(*static_cast<double*>(data), 2.5);
  EXPECT_EQ(LookUpFolderObject(nullptr, "img0", &type, nullptr), 0) << "no data wanted";
  EXPECT_EQ(type, kObjectTypeWave);
  EXPECT_EQ(LookUpFolderObject(host().RootDataFolder(), "img2", &type, &data), 0);
  EXPECT_EQ(type, kObjectTypeDataFolder);
  EXPECT_EQ(LookUpFolderObject(nullptr, "img9", &type, &data), quorsim::kErrNoSuchObject);
}

TEST_F(NamingTest, LegalizeNeeds300) {
  for (int version : {299, 0}) {
    Start(version);
    char name[kObjectNameBufferSize] = "9 lives";
    EXPECT_EQ(AskHostToLegalizeName(0, name, kMaxObjectNameLength), kErrHostTooOld);
    EXPECT_STREQ(name, "9 lives");
    EXPECT_TRUE(Messages().empty());
  }
  Start(300);
  char name[kObjectNameBufferSize] = "9 lives";
  EXPECT_EQ(AskHostToLegalizeName(0, name, kMaxObjectNameLength), 0);
  EXPECT_STREQ(name, "X9_lives");
  char liberal[kObjectNameBufferSize] = "my \"data\": 2";
  EXPECT_EQ(AskHostToLegalizeName(1, liberal, 8), 0);
  EXPECT_STREQ(liberal, "my _data");
}

TEST_F(NamingTest, FormatNameNeeds300) {
  for (int version : {299, 0}) {
    Start(version);
    char name[kObjectNameBufferSize] = "my data";
    EXPECT_EQ(FormatNameForCommand(name), 0);
    EXPECT_STREQ(name, "my data");
    EXPECT_TRUE(Messages().empty());
  }
  Start(300);
  char name[kObjectNameBufferSize] = "my data";
  EXPECT_EQ(FormatNameForCommand(name), 0);
  EXPECT_STREQ(name, "'my data'");
  char standard[kObjectNameBufferSize] = "data_1";
  EXPECT_EQ(FormatNameForCommand(standard), 0);
  EXPECT_STREQ(standard, "data_1");
}

TEST_F(NamingTest, AppendNameFormatsOnlyTheAppendedPartInAnExactBuffer) {
  const std::string text = "Display ";
  const std::string name = "my wave";
  std::unique_ptr<char[]> buffer(new char[text.size() + name.size() + 3]);
  std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
  EXPECT_EQ(AppendNameForCommand(buffer.get(), name.c_str()), 0);
  EXPECT_STREQ(buffer.get(), "Display 'my wave'");
  EXPECT_EQ(host().Exchanges().back().items.at(0), AsItem(buffer.get() + text.size()));

  Start(299);
  char old[40] = "Display ";
  EXPECT_EQ(AppendNameForCommand(old, "my wave"), 0);
  EXPECT_STREQ(old, "Display my wave");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(NamingTest, NoticeKeepsTheText) {
  EXPECT_EQ(PostNotice("hello\r"), 0);
  EXPECT_EQ(quorsim::Notices(host()), std::vector<std::string>{"hello\r"});
  EXPECT_EQ(Messages(), std::vector<int>{kMsgPostNotice});
}

// ---------------------------------------------------------------- data-folder paths

class PathTest : public NamingTest {
 protected:
  void Folders() {
    a_ = host().NewDataFolder(nullptr, "a");
    b_ = host().NewDataFolder(a_, "b");
    ASSERT_NE(b_, nullptr);
  }
  Handle Resolve(Handle start, const std::string& path, int32_t* err) {
    Handle out = reinterpret_cast<Handle>(uintptr_t{0x5A5A5A50});
    *err = ResolveDataFolderPath(start, path.c_str(), &out);
    return out;
  }
  Handle a_ = nullptr, b_ = nullptr;
};

TEST_F(PathTest, NewHostsResolveEveryPathThemselves) {
  for (int version : {301, 602}) {
    Start(version);
    Folders();
    Clear();
    int32_t err = -1;
    const std::string path = "root:a:b";
    Handle out = nullptr;
    EXPECT_EQ(ResolveDataFolderPath(nullptr, path.c_str(), &out), 0);
    EXPECT_EQ(out, b_);
    ASSERT_EQ(Messages(), std::vector<int>{kMsgResolveFolderPath});
    EXPECT_EQ(host().Exchanges().back().items, (std::vector<HostWord>{0, AsItem(path.c_str()), AsItem(&out)}))
        << "the caller's text itself";
    Clear();
    EXPECT_EQ(Resolve(b_, ":", &err), b_);
    EXPECT_EQ(Messages(), std::vector<int>{kMsgResolveFolderPath}) << "the host answers ':' itself";
    EXPECT_EQ(Resolve(nullptr, "ROOT:", &err), host().RootDataFolder());
    EXPECT_EQ(err, 0);
    // No length test on new hosts: a long path goes to the host.
    Clear();
    EXPECT_EQ(Resolve(nullptr, "root:" + std::string(500, 'z'), &err), nullptr);
    EXPECT_EQ(err, quorsim::kErrNoSuchFolder);
    EXPECT_EQ(Messages(), std::vector<int>{kMsgResolveFolderPath});
  }
}

TEST_F(PathTest, OldHostsAnswerTheColonAndRootThemselves) {
  for (int version : {300, 0}) {
    Start(version);
    Folders();
    ASSERT_TRUE(host().SetCurrentDataFolder(a_));
    int32_t err = -1;
    Clear();
    EXPECT_EQ(Resolve(nullptr, ":", &err), a_) << "the current folder";
    EXPECT_EQ(err, 0);
    EXPECT_EQ(Messages(), std::vector<int>{kMsgCurrentDataFolder});
    Clear();
    EXPECT_EQ(Resolve(b_, ":", &err), b_) << "the start folder, without asking";
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(Messages().empty());
    Clear();
    EXPECT_EQ(Resolve(b_, "ROOT:", &err), host().RootDataFolder());
    EXPECT_EQ(Messages(), std::vector<int>{kMsgRootDataFolder});
    EXPECT_EQ(host().Exchanges().back().items.at(0), 0);
    Clear();
    watched_.clear();
    WatchNameOf(kMsgResolveFolderPath, 1);
    EXPECT_EQ(Resolve(nullptr, "root", &err), host().RootDataFolder()) << "without a colon: the host's";
    EXPECT_EQ(Messages(), std::vector<int>{kMsgResolveFolderPath});
    EXPECT_EQ(Resolve(nullptr, "root:a:b:", &err), b_) << "the trailing colon is removed for the host";
    EXPECT_EQ(err, 0);
    EXPECT_EQ(Resolve(a_, "b", &err), b_);
    EXPECT_EQ(watched_, (std::vector<std::string>{"root", "root:a:b", "b"}));
  }
}

TEST_F(PathTest, OldHostsRefuseLongPathsBeforeAsking) {
  Start(300);
  Folders();
  int32_t err = -1;
  Clear();
  const std::string tooLong = ":" + std::string(400, 'z');
  EXPECT_EQ(Resolve(nullptr, tooLong, &err), nullptr);
  EXPECT_EQ(err, kErrFolderPathTooLong);
  EXPECT_TRUE(Messages().empty());
  // Exactly 400 characters: still taken, the trailing colon removed for the host. From a, each
  // "::a" goes up to the root and down to a again.
  std::string four = "root:a";
  for (int i = 0; i < 131; ++i) four += "::a";
  four += ":";
  ASSERT_EQ(four.size(), 400u);
  EXPECT_EQ(Resolve(nullptr, four, &err), a_);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgResolveFolderPath});
}

// Fault mended: an empty path has no last character to look at; it goes to the host as it is.
TEST_F(PathTest, EmptyPathOnAnOldHostGoesToTheHost) {
  Start(300);
  Folders();
  int32_t err = -1;
  Clear();
  EXPECT_EQ(Resolve(a_, "", &err), a_);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgResolveFolderPath});
}

TEST_F(PathTest, TheGateIsAt301) {
  Start(300);
  Clear();
  int32_t err = -1;
  Resolve(nullptr, ":", &err);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgCurrentDataFolder});
  Start(301);
  Clear();
  Resolve(nullptr, ":", &err);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgResolveFolderPath});
}

TEST_F(PathTest, AFolderReportedFoundWithoutItsHandleIsAFailure) {
  // A host that does not serve the folder requests may still answer 0 and write nothing: a
  // null handle handed on would silently stand for the current data folder.
  const auto answerWithoutHandle = [this]() {
    host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
      *result = 0;
      return message == kMsgRootDataFolder || message == kMsgCurrentDataFolder || message == kMsgResolveFolderPath;
    });
  };
  const Handle garbage = reinterpret_cast<Handle>(uintptr_t{0x5A5A5A50});
  int32_t err = -1;
  for (int version : {602, 300}) {
    Start(version);
    Folders();
    answerWithoutHandle();
    Handle out = garbage;
    EXPECT_EQ(FetchCurrentDataFolder(&out), kErrNullHandle);
    EXPECT_EQ(out, nullptr);
    out = garbage;
    EXPECT_EQ(FetchRootDataFolder(&out), kErrNullHandle);
    EXPECT_EQ(out, nullptr);
    for (const char* path : {"root:a", ":", "ROOT:", "a:b:"}) {
      EXPECT_EQ(Resolve(nullptr, path, &err), nullptr) << version << " " << path;
      EXPECT_EQ(err, kErrNullHandle) << version << " " << path;
    }
  }
  EXPECT_EQ(Resolve(b_, ":", &err), b_) << "an older host's start folder needs no answer";
  EXPECT_EQ(err, 0);
}

// ---------------------------------------------------------------- passed on unchanged

TEST_F(NamingTest, FolderRequestsPassTheirItemsAndAnswersUnchanged) {
  struct Case {
    int message;
    std::function<HostWord()> call;
    std::vector<HostWord> items;
  };
  const std::vector<Case> cases = {
      {100, [] { return SendFolderRequest100(1, 2, 3); }, {1, 2, 3}},
      {101, [] { return SendFolderRequest101(1, 2); }, {1, 2}},
      {102, [] { return SendFolderRequest102(1, 2); }, {1, 2}},
      {103, [] { return SendFolderRequest103(1, 2); }, {1, 2}},
      {104, [] { return SendFolderRequest104(1, 2, 3); }, {1, 2, 3}},
      {109, [] { return SendFolderRequest109(1, 2); }, {1, 2}},
      {110, [] { return SendFolderRequest110(1, 2); }, {1, 2}},
      {111, [] { return SendFolderRequest111(1, 2); }, {1, 2}},
      {112, [] { return SendFolderRequest112(1, 2, 3); }, {1, 2, 3}},
      {113, [] { return SendFolderRequest113(1, 2); }, {1, 2}},
      {114, [] { return SendFolderRequest114(1, 2, 3); }, {1, 2, 3}},
      {115, [] { return SendFolderRequest115(1); }, {1}},
      {116, [] { return SendFolderRequest116(1, 2, 3); }, {1, 2, 3}},
      {117, [] { return SendFolderRequest117(1, 2); }, {1, 2}},
      {118, [] { return SendFolderRequest118(1, 2); }, {1, 2}},
      {119, [] { return SendFolderRequest119(1, 2, 3); }, {1, 2, 3}},
      {120, [] { return SendFolderRequest120(1, 2, 3, 4, 5); }, {1, 2, 3, 4, 5}},
      {121, [] { return SendFolderRequest121(1, 2, 3); }, {1, 2, 3}},
      {122, [] { return SendFolderRequest122(1, 2, 3, 4); }, {1, 2, 3, 4}},
      {123, [] { return SendFolderRequest123(1, 2, 3, 4); }, {1, 2, 3, 4}},
      {125, [] { return SendFolderRequest125(); }, {}},
      {126, [] { return SendFolderRequest126(); }, {}},
      {127, [] { return SendFolderRequest127(1, 2); }, {1, 2}},
      {128, [] { return SendFolderRequest128(1, 2, 3, 4, 5, 6); }, {1, 2, 3, 4, 5, 6}},
      {160, [] { return SendFolderRequest160(1, 2, 3, 4); }, {1, 2, 3, 4}},
  };
  host().SetScriptedAnswer([](int m, std::span<const HostWord> items, HostWord* result) {
    *result = -(m * 10 + static_cast<HostWord>(items.size()));
    return true;
  });
  for (const Case& c : cases) {
    Clear();
    EXPECT_EQ(c.call(), -(c.message * 10 + static_cast<HostWord>(c.items.size()))) << c.message;
    ASSERT_EQ(Messages(), std::vector<int>{c.message});
    EXPECT_EQ(host().Exchanges().back().items, c.items) << c.message;
  }
}

}  // namespace
}  // namespace namingtest
