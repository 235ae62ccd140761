// The variable setters and the command-text readers against the simulated host: creation on a
// missing variable only, the flag gate at 200, the doubles handed over as addresses, and the
// readers on both sides of the 200, 300 and 400 gates and on a host without a version, over
// command lines the test supplies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hostdata/waves.h"
#include "hostlink/host_exports.h"
#include "hostlink/transport.h"
#include "linked_host/linked_host_fixture.h"
#include "support/command_text.h"

namespace namingtest {
namespace {

using testhost::StopNextExchange;

class CommandTextTest : public testhost::LinkedHostTest {
 protected:
  void Text(const std::string& text) { quorsim::SetCommandText(host(), text); }
  std::string Unread() { return quorsim::UnreadCommandText(host()); }
  quorsim::VariableView Variable(const std::string& name) {
    quorsim::VariableView v;
    EXPECT_TRUE(quorsim::FindVariable(host(), nullptr, name, &v)) << name;
    return v;
  }
  bool Exists(const std::string& name) { return quorsim::FindVariable(host(), nullptr, name, nullptr); }
  void Answer(int message, HostWord answer) {
    host().SetScriptedAnswer([message, answer](int m, std::span<const HostWord>, HostWord* result) {
      if (m != message) return false;
      *result = answer;
      return true;
    });
  }
};

// ---------------------------------------------------------------- numeric variables

TEST_F(CommandTextTest, MissingNumericVariableIsCreatedAsRealAndSet) {
  const double value = 2.5;
  EXPECT_EQ(SetNumericVariable("gain", &value, 0), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgSetNumericVariable, kMsgCreateVariable, kMsgSetNumericVariable}));
  EXPECT_EQ(host().Exchanges().at(0).result, -1);
  EXPECT_EQ(host().Exchanges().at(1).items.at(1), kVariableTypeReal);
  EXPECT_EQ(host().Exchanges().at(2).items.at(1), AsItem(&value)) << "the caller's double itself";
  const quorsim::VariableView v = Variable("gain");
  EXPECT_EQ(v.type, 4);
  EXPECT_EQ(v.creationType, 4);
  EXPECT_EQ(v.real, 2.5);

  Clear();
  const double again = -1e300;
  EXPECT_EQ(SetNumericVariable("GAIN", &again, 0), 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgSetNumericVariable}) << "an existing one is only set";
  EXPECT_EQ(Variable("gain").real, -1e300);
}

TEST_F(CommandTextTest, TheFlagNeedsHost200) {
  const double value = 1;
  for (int version : {199, 0}) {
    Start(version);
    EXPECT_EQ(SetNumericVariable("gain", &value, 1), kErrHostTooOld) << version;
    EXPECT_EQ(SetNumericVariableInt("gain", 3, 1), kErrHostTooOld);
    EXPECT_EQ(SetComplexVariable("gain", &value, &value, 1), kErrHostTooOld);
    EXPECT_EQ(SetStringVariable("text", "x", 1), kErrHostTooOld);
    EXPECT_EQ(CreateVariable("gain", kVariableTypeReal | kVariableCreationFlag), kErrHostTooOld);
    EXPECT_TRUE(Messages().empty()) << "nothing sent";
    EXPECT_EQ(SetNumericVariable("gain", &value, 0), 0) << "without the flag an old host is asked";
    EXPECT_EQ(Variable("gain").creationType, 4);
  }
  Start(200);
  EXPECT_EQ(SetNumericVariable("gain", &value, 1), 0);
  EXPECT_EQ(Variable("gain").creationType, 0x4004);
  EXPECT_EQ(SetComplexVariable("pair", &value, &value, 1), 0);
  EXPECT_EQ(Variable("pair").creationType, 0x4005);
  EXPECT_EQ(SetStringVariable("text", "x", 1), 0);
  EXPECT_EQ(Variable("text").creationType, 0x4000);
}

TEST_F(CommandTextTest, OtherSettingFailuresAreNotReportedAndCreateNothing) {
  Answer(kMsgSetNumericVariable, 7);
  const double value = 1;
  EXPECT_EQ(SetNumericVariable("gain", &value, 0), 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgSetNumericVariable});
  Clear();
  StopNextExchange(3);
  EXPECT_EQ(SetNumericVariable("gain", &value, 0), kExchangeStopped) << "a request never sent is no success";
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(Exists("gain"));
}

TEST_F(CommandTextTest, FailedCreationIsReturnedAndTheSecondSetIsNotExamined) {
  host().MakeTestWave("gain", 1, kWaveTypeFloat64, {2});
  const double value = 1;
  EXPECT_EQ(SetNumericVariable("gain", &value, 0), quorsim::kErrNameInUse);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgSetNumericVariable, kMsgCreateVariable}));

  // The second setting request fails: still 0.
  Start(602);
  int sets = 0;
  host().SetScriptedAnswer([&sets](int m, std::span<const HostWord>, HostWord* result) {
    if (m != kMsgSetNumericVariable || ++sets == 1) return false;
    *result = 99;
    return true;
  });
  EXPECT_EQ(SetNumericVariable("gain", &value, 0), 0);
  EXPECT_EQ(host().Exchanges().back().result, 99);
  EXPECT_EQ(Variable("gain").real, 0) << "created, but the second set failed";

  // The second setting request cannot be sent at all: nothing was set.
  Start(602);
  host().SetScriptedAnswer([](int m, std::span<const HostWord>, HostWord*) {
    if (m == kMsgCreateVariable) StopNextExchange(3);
    return false;
  });
  EXPECT_EQ(SetNumericVariable("gain", &value, 0), kExchangeStopped);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgSetNumericVariable, kMsgCreateVariable}));
}

TEST_F(CommandTextTest, IntegerAndComplexSetters) {
  EXPECT_EQ(SetNumericVariableInt("count", -2147483647 - 1, 0), 0);
  EXPECT_EQ(Variable("count").real, -2147483648.0) << "converted exactly";
  EXPECT_EQ(host().Exchanges().at(1).items.at(1), kVariableTypeReal);

  const double re = 1.5, im = -0.25;
  Clear();
  EXPECT_EQ(SetComplexVariable("z", &re, &im, 0), 0);
  EXPECT_EQ(host().Exchanges().at(1).items.at(1), kVariableTypeComplex);
  EXPECT_EQ(host().Exchanges().back().items.at(1), AsItem(&re)) << "the caller's doubles themselves";
  EXPECT_EQ(host().Exchanges().back().items.at(2), AsItem(&im));
  const quorsim::VariableView z = Variable("z");
  EXPECT_EQ(z.type, 5);
  EXPECT_EQ(z.real, 1.5);
  EXPECT_EQ(z.imaginary, -0.25);

  // A real variable set through the complex setter keeps no imaginary part.
  EXPECT_EQ(SetComplexVariable("count", &re, &im, 0), 0);
  EXPECT_EQ(Variable("count").real, 1.5);
  EXPECT_EQ(Variable("count").imaginary, 0);
}

// ---------------------------------------------------------------- string variables

TEST_F(CommandTextTest, StringVariableIsCreatedOnAnyFailureAndTheSecondResultReturned) {
  EXPECT_EQ(SetStringVariable("title", "first light", 0), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgSetStringVariable, kMsgCreateVariable, kMsgSetStringVariable}));
  EXPECT_EQ(host().Exchanges().at(1).items.at(1), kVariableTypeString);
  EXPECT_EQ(Variable("title").text, "first light");
  Clear();
  EXPECT_EQ(SetStringVariable("title", "", 0), 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgSetStringVariable});
  EXPECT_EQ(Variable("title").text, "");

  // Any failure of the first request leads to the creation; the second request's answer is the result.
  Start(602);
  int sets = 0;
  host().SetScriptedAnswer([&sets](int m, std::span<const HostWord>, HostWord* result) {
    if (m != kMsgSetStringVariable) return false;
    *result = ++sets == 1 ? 5 : 6;
    return true;
  });
  EXPECT_EQ(SetStringVariable("title", "x", 0), 6);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgSetStringVariable, kMsgCreateVariable, kMsgSetStringVariable}));
  // A first request that never reached the host is no failure to create on.
  Clear();
  StopNextExchange(2);
  EXPECT_EQ(SetStringVariable("fresh", "x", 0), kExchangeStopped);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CommandTextTest, StringVariableWhoseCreationFails) {
  quorsim::VariableView number;
  number.name = "title";
  number.type = 4;
  ASSERT_EQ(quorsim::MakeTestVariable(host(), nullptr, number), 0);
  EXPECT_EQ(SetStringVariable("title", "x", 0), quorsim::kErrNameInUse);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgSetStringVariable, kMsgCreateVariable}));
  EXPECT_EQ(CreateVariable("9bad", kVariableTypeString), quorsim::kErrBadName);
  EXPECT_EQ(CreateVariable("fine", 7), quorsim::kErrBadType);
}

// ---------------------------------------------------------------- command text

TEST_F(CommandTextTest, AtCommandEndOnBothSidesOf400) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {";x", 1}, {"|x", 1}, {"\rx", 1}, {"", 1}, {"  ;", 1}, {"abc", 0}, {"=1", 0}, {" 7", 0}};
  for (int version : {399, 0, 400, 602}) {
    Start(version);
    for (const auto& [text, end] : cases) {
      Text(text);
      Clear();
      EXPECT_EQ(AtCommandEnd(), end) << version << " '" << text << "'";
      EXPECT_EQ(Messages(), std::vector<int>{version >= 400 ? kMsgAtStatementEnd : kMsgPeekCommandChar});
      EXPECT_EQ(Unread(), text) << "nothing consumed";
    }
    Clear();
    StopNextExchange(0);
    EXPECT_EQ(AtCommandEnd(), kExchangeStoppedValue) << version << ": the host was not asked";
    EXPECT_TRUE(Messages().empty());
  }
}

TEST_F(CommandTextTest, FindKeywordFoldsTheTextAndFindsTheIndex) {
  const char* const keywords[] = {"WIDTH", "HEIGHT", ""};
  char text[] = "height";
  EXPECT_EQ(FindKeyword(keywords, text), 1);
  EXPECT_STREQ(text, "HEIGHT");
  char width[] = "Width";
  EXPECT_EQ(FindKeyword(keywords, width), 0);
  char part[] = "heigh";
  EXPECT_EQ(FindKeyword(keywords, part), -1);
  char longer[] = "heights";
  EXPECT_EQ(FindKeyword(keywords, longer), -1);
  char accented[] = "h\xE9ight";
  EXPECT_EQ(FindKeyword(keywords, accented), -1);
  EXPECT_STREQ(accented, "H\xE9IGHT") << "only ASCII letters are folded";
  const char* const empty[] = {""};
  char any[] = "x";
  EXPECT_EQ(FindKeyword(empty, any), -1);
}

TEST_F(CommandTextTest, ReadKeyword) {
  const char* const keywords[] = {"WIDTH", "HEIGHT", ""};
  int32_t index = -5;
  Text("  height=3");
  EXPECT_EQ(ReadKeyword(keywords, &index), 0);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(Unread(), "=3");
  Text(";");
  index = -5;
  EXPECT_EQ(ReadKeyword(keywords, &index), ';');
  Text("depth");
  EXPECT_EQ(ReadKeyword(keywords, &index), kErrExpectedKeyword);
  Text("42");
  EXPECT_EQ(ReadKeyword(keywords, &index), kErrExpectedKeyword) << "a failed name read";
  EXPECT_EQ(index, -5) << "untouched unless found";
}

TEST_F(CommandTextTest, ReadFlagValueSetsAndClears) {
  struct Case {
    std::string text;
    int32_t result;
    int32_t word;
    std::string unread;
  };
  const std::vector<Case> cases = {
      {"=0", 0, 0x10, ""},
      {"=2 /X", 0, 0x14, " /X"},
      {" /X", 0, 0x14, " /X"},
      {"", 0, 0x14, ""},
      {" = -0.0;", 0, 0x10, ";"},
      {"=1e-300", 0, 0x14, ""},
      {"=nan", 0, 0x14, ""},
      {"=x", quorsim::kErrExpectedNumber, 0x14, "x"},
  };
  for (const Case& c : cases) {
    Text(c.text);
    int32_t word = 0x10;
    EXPECT_EQ(ReadFlagValue(0x04, &word), c.result) << c.text;
    EXPECT_EQ(word, c.word) << c.text;
    EXPECT_EQ(Unread(), c.unread) << c.text;
  }
  Text("=0");
  Clear();
  int32_t word = 0x04;
  EXPECT_EQ(ReadFlagValue(0x04, &word), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgPeekCommandChar, kMsgSkipCommandChar, kMsgReadCommandNumber}));
  Text("=0");
  StopNextExchange(0);
  EXPECT_EQ(ReadFlagValue(0x04, &word), kExchangeStopped) << "the command text was not read";
  EXPECT_EQ(Unread(), "=0");
}

TEST_F(CommandTextTest, ReadTextLastChar) {
  char buffer[256];
  Text("\"hello\" rest");
  EXPECT_EQ(ReadTextLastChar(buffer), 'o');
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(Unread(), " rest");
  Text("abc  ;x");
  EXPECT_EQ(ReadTextLastChar(buffer), 'c');
  Text("\"\"");
  EXPECT_EQ(ReadTextLastChar(buffer), 0) << "no characters: the answer itself";
  Text("\"open");
  EXPECT_EQ(ReadTextLastChar(buffer), quorsim::kCommandTextBroken);
  Text("caf\xE9");
  EXPECT_EQ(ReadTextLastChar(buffer), 0xE9);
  Text(std::string(300, 'w') + "!");
  EXPECT_EQ(ReadTextLastChar(buffer), 'w') << "the host's 255 characters";
  EXPECT_EQ(std::strlen(buffer), 255u);
}

TEST_F(CommandTextTest, ReadTextLastCharReadsNothingBeyondTheBuffer) {
  // The buffer is exactly the size the routine states, its bytes marked, and the host's count
  // is scripted: only a count inside the buffer picks a character.
  char buffer[kCommandTextBufferSize];
  std::memset(buffer, 'm', sizeof buffer);
  buffer[kCommandTextBufferSize - 1] = 'z';
  for (HostWord count : {HostWord{kCommandTextBufferSize + 1}, HostWord{100000}, HostWord{INT32_MAX}}) {
    Answer(kMsgReadCommandText, count);
    EXPECT_EQ(ReadTextLastChar(buffer), count) << "the host's answer, unchanged";
  }
  Answer(kMsgReadCommandText, kCommandTextBufferSize);
  EXPECT_EQ(ReadTextLastChar(buffer), 'z') << "the last byte of the buffer is still inside it";
  Answer(kMsgReadCommandText, 1);
  EXPECT_EQ(ReadTextLastChar(buffer), 'm');

  // A stopped exchange answers 1 without the host having written anything: that is no count,
  // and no character either.
  host().SetScriptedAnswer({});
  Clear();
  StopNextExchange(1);
  EXPECT_EQ(ReadTextLastChar(buffer), kExchangeStoppedValue);
  quorsim::MemResetFaults();
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CommandTextTest, ReadNameGatedOnBothSidesOf300) {
  for (int version : {299, 0}) {
    Start(version);
    char name[32];
    int32_t out = 7;
    Text("gain");
    EXPECT_EQ(ReadNameGated(&out, name, 1), 0);
    EXPECT_EQ(out, 0);
    EXPECT_STREQ(name, "gain");
    EXPECT_EQ(Messages(), std::vector<int>{kMsgReadCommandName});
    Text(" ;");
    EXPECT_EQ(ReadNameGated(&out, name, 1), kErrNameAtStatementEnd);
    Text("3x");
    EXPECT_EQ(ReadNameGated(&out, name, 1), quorsim::kErrExpectedName) << "other failures as the host answered";
  }
  Start(300);
  char name[32];
  int32_t quoted = 7;
  Text("'my data' next");
  EXPECT_EQ(ReadNameGated(&quoted, name, 1), 0);
  EXPECT_EQ(quoted, 1);
  EXPECT_STREQ(name, "my data");
  ASSERT_EQ(Messages(), std::vector<int>{kMsgReadCommandName124});
  EXPECT_EQ(host().Exchanges().back().items, (std::vector<HostWord>{AsItem(&quoted), AsItem(name), 1}));
  Text("'my data'");
  EXPECT_EQ(ReadNameGated(&quoted, name, 0), quorsim::kErrExpectedName) << "no liberal names wanted";
  Text(";");
  EXPECT_EQ(ReadNameGated(&quoted, name, 1), kErrNameAtStatementEnd);
}

TEST_F(CommandTextTest, ReadWaveName) {
  host().MakeTestWave("img", 1, kWaveTypeFloat64, {3});
  char name[32];
  Text("img, other");
  EXPECT_EQ(ReadWaveName(name), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgReadCommandName, kMsgFetchWave}));
  Text("other");
  EXPECT_EQ(ReadWaveName(name), kErrExpectedWaveName);
  Clear();
  Text("!");
  EXPECT_EQ(ReadWaveName(name), kErrExpectedWaveName);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgReadCommandName}) << "no look-up without a name";
}

TEST_F(CommandTextTest, ReadVariableName) {
  const double value = 4;
  ASSERT_EQ(SetNumericVariable("gain", &value, 0), 0);
  char name[32];
  Text("gain");
  Clear();
  EXPECT_EQ(ReadVariableName(name), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgReadCommandName, kMsgReadNumericVariable}));
  Text("loss");
  EXPECT_EQ(ReadVariableName(name), quorsim::kErrNoSuchVariable) << "the reading request's result";
  Text("");
  EXPECT_EQ(ReadVariableName(name), kErrExpectedVariableName);
}

TEST_F(CommandTextTest, ReadNameForQuery59) {
  ASSERT_EQ(SetStringVariable("title", "t", 0), 0);
  const double value = 4;
  ASSERT_EQ(SetNumericVariable("gain", &value, 0), 0);
  char name[32];
  Text("title");
  EXPECT_EQ(ReadNameForQuery59(name), 0);
  Text("gain");
  EXPECT_EQ(ReadNameForQuery59(name), kErrExpectedQueryName);
  Text(";");
  Clear();
  EXPECT_EQ(ReadNameForQuery59(name), kErrExpectedQueryName);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgReadCommandName});
  // The name is read, but the query about it cannot be sent.
  Text("title");
  Clear();
  host().SetScriptedAnswer([](int m, std::span<const HostWord>, HostWord*) {
    if (m == kMsgReadCommandName) StopNextExchange(1);
    return false;
  });
  EXPECT_EQ(ReadNameForQuery59(name), kErrExpectedQueryName);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgReadCommandName});
}

TEST_F(CommandTextTest, SendBlankRequestOnBothSidesOf200) {
  for (int version : {199, 0}) {
    Start(version);
    EXPECT_EQ(SendBlankRequest(), 0);
    ASSERT_EQ(Messages(), std::vector<int>{kMsgTextRequest9});
    EXPECT_EQ(quorsim::OutputLines(host()), std::vector<std::string>{""});
    Answer(kMsgTextRequest9, 31);
    EXPECT_EQ(SendBlankRequest(), 31) << "its result";
  }
  Start(200);
  EXPECT_EQ(SendBlankRequest(), 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgBlankRequest71});
  EXPECT_EQ(quorsim::OutputLines(host()), std::vector<std::string>{""});
  Answer(kMsgBlankRequest71, 31);
  EXPECT_EQ(SendBlankRequest(), 0) << "the result is 0 whatever the host says";
  StopNextExchange(0);
  EXPECT_EQ(SendBlankRequest(), kExchangeStopped) << "but a request never sent is no success";
}

}  // namespace
}  // namespace namingtest
