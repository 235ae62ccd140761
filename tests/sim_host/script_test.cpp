// The quorsim script: parsing each kind of line and each kind of mistake, running scripts
// against the fake module with their output and exit statuses, and the program's own
// command line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/host/script.h"
#include "tests/sim_host/host_test_support.h"

namespace {

using namespace quorsim;
using hosttest::HostFixture;

ScriptLine Parsed(const std::string& text) {
  ScriptLine line;
  std::string error;
  EXPECT_TRUE(ParseScriptLine(text, &line, &error)) << text << ": " << error;
  return line;
}

std::string ParseError(const std::string& text) {
  ScriptLine line;
  std::string error;
  EXPECT_FALSE(ParseScriptLine(text, &line, &error)) << text;
  return error;
}

TEST(ScriptParser, CallsWithNumbersAndTexts) {
  ScriptLine line = Parsed("QV_TakePicture_8(\"img8\", 0, 4096)");
  EXPECT_EQ(line.kind, ScriptLine::Call);
  EXPECT_EQ(line.name, "QV_TakePicture_8");
  ASSERT_EQ(line.args.size(), 3u);
  EXPECT_EQ(line.args[0].kind, Argument::Text);
  EXPECT_EQ(line.args[0].text, "img8");
  EXPECT_EQ(line.args[1].kind, Argument::Number);
  EXPECT_EQ(line.args[2].number, 4096.0);
  EXPECT_EQ(line.callText, "QV_TakePicture_8(\"img8\", 0, 4096)");

  line = Parsed("  F ( -1.5 ,1e3,nan, inf, -inf, 0x10, +2 )   # trailing comment");
  ASSERT_EQ(line.args.size(), 7u);
  EXPECT_EQ(line.args[0].number, -1.5);
  EXPECT_EQ(line.args[1].number, 1000.0);
  EXPECT_TRUE(std::isnan(line.args[2].number));
  EXPECT_EQ(line.args[3].number, INFINITY);
  EXPECT_EQ(line.args[4].number, -INFINITY);
  EXPECT_EQ(line.args[5].number, 16.0);
  EXPECT_EQ(line.args[6].number, 2.0);
  EXPECT_EQ(line.callText, "F ( -1.5 ,1e3,nan, inf, -inf, 0x10, +2 )");

  line = Parsed(R"raw(G("a\"b\\c\n\x41#", null, "", "x,y)"))raw");
  ASSERT_EQ(line.args.size(), 4u);
  EXPECT_EQ(line.args[0].text, "a\"b\\c\nA#");
  EXPECT_EQ(line.args[1].kind, Argument::NullHandle);
  EXPECT_EQ(line.args[2].text, "");
  EXPECT_EQ(line.args[3].text, "x,y)");
  EXPECT_EQ(Parsed("H()").args.size(), 0u);
  EXPECT_EQ(Parsed("H()\r").kind, ScriptLine::Call);
}

TEST(ScriptParser, BlankLinesCommentsAndCommands) {
  EXPECT_EQ(Parsed("").kind, ScriptLine::Empty);
  EXPECT_EQ(Parsed("   \t ").kind, ScriptLine::Empty);
  EXPECT_EQ(Parsed("# QV_InitCam()").kind, ScriptLine::Empty);
  EXPECT_EQ(Parsed("   # indented").kind, ScriptLine::Empty);

  ScriptLine line = Parsed("info img8");
  EXPECT_EQ(line.kind, ScriptLine::Command);
  EXPECT_EQ(line.name, "info");
  EXPECT_EQ(line.words, (std::vector<std::string>{"img8"}));
  line = Parsed("savepng img8 \"my picture.png\"  # saved");
  EXPECT_EQ(line.words, (std::vector<std::string>{"img8", "my picture.png"}));
  line = Parsed("print the camera is open, 100% # not a comment inside print?");
  EXPECT_EQ(line.text, "the camera is open, 100% # not a comment inside print?");
  line = Parsed("print \"  padded  \"");
  EXPECT_EQ(line.text, "  padded  ");
  EXPECT_EQ(Parsed("print").text, "");
  EXPECT_EQ(Parsed("waves").words.size(), 0u);
}

TEST(ScriptParser, EachKindOfMistakeIsNamed) {
  EXPECT_NE(ParseError("F(1, 2").find("missing )"), std::string::npos);
  EXPECT_NE(ParseError("F(1,)").find("missing argument 2"), std::string::npos);
  EXPECT_NE(ParseError("F(,1)").find("missing argument 1"), std::string::npos);
  EXPECT_NE(ParseError("F(1x)").find("neither a number nor a text: 1x"), std::string::npos);
  EXPECT_NE(ParseError("F(\"abc)").find("not closed"), std::string::npos);
  EXPECT_NE(ParseError("F(\"a\\q\")").find("unknown escape"), std::string::npos);
  EXPECT_NE(ParseError("F(\"\\x4\")").find("two hexadecimal digits"), std::string::npos);
  EXPECT_NE(ParseError("F(1 2)").find("neither a number nor a text: 1 2"), std::string::npos);
  EXPECT_NE(ParseError("F(1 # comment").find("missing )"), std::string::npos);
  EXPECT_NE(ParseError("F(\"a\" \"b\")").find("expected , or )"), std::string::npos);
  EXPECT_NE(ParseError("F() extra").find("after the call"), std::string::npos);
  EXPECT_NE(ParseError("3D()").find("must start with"), std::string::npos);
  EXPECT_NE(ParseError("info! x").find("unexpected character"), std::string::npos);
  EXPECT_NE(ParseError("savepng a \"b").find("not closed"), std::string::npos);
}

TEST(ScriptFormat, NumbersReadBackExactly) {
  EXPECT_EQ(FormatNumber(1280), "1280");
  EXPECT_EQ(FormatNumber(-1), "-1");
  EXPECT_EQ(FormatNumber(0.02), "0.02");
  EXPECT_EQ(FormatNumber(1e21), "1e+21");
  EXPECT_EQ(FormatNumber(NAN), "nan");
  EXPECT_EQ(FormatNumber(-INFINITY), "-inf");
}

// ---------------------------------------------------------------- running scripts
class ScriptRun : public HostFixture {
 protected:
  struct Result {
    int status;
    std::string out;
    std::string err;
  };
  Result Run(const std::string& script, bool keepGoing = false) {
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    std::istringstream in(script);
    ScriptOptions options;
    options.outDir = outDir_.string();
    options.keepGoing = keepGoing;
    Result r;
    r.status = RunScript(*host_, in, options, out, err);
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }
  static std::string Slurp(FILE* f) { return hosttest::Slurp(f); }
  void SetUp() override {
    HostFixture::SetUp();
    outDir_ = std::filesystem::temp_directory_path() / ("quorsim_script_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(outDir_);
  }
  void TearDown() override {
    std::filesystem::remove_all(outDir_);
    HostFixture::TearDown();
  }
  std::filesystem::path outDir_;
};

TEST_F(ScriptRun, ResultsAreReportedWithTheirLineNumbers) {
  Result r = Run("# demo\n"
                 "FK_Plain()\n"
                 "\n"
                 "FK_NumNum(1.5, -2)   # comment\n"
                 "FK_NoResult()\n"
                 "fk_text(\"hello\")\n"
                 "print done here\n");
  EXPECT_EQ(r.status, kScriptOk);
  EXPECT_EQ(r.out,
            "line 2: FK_Plain() = 42\n"
            "line 4: FK_NumNum(1.5, -2) = 13\n"
            "line 5: FK_NoResult() done, no result\n"
            "line 6: fk_text(\"hello\") = 5\n"
            "done here\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(ScriptRun, AFailedCallStopsTheScriptUnlessKeepGoing) {
  const std::string script = "FK_Fails(163)\nFK_Plain()\n";
  Result r = Run(script);
  EXPECT_EQ(r.status, kScriptFailed);
  EXPECT_EQ(r.out, "line 1: FK_Fails(163) failed with error code 163 (the host is too old for this request)\n");
  r = Run(script, true);
  EXPECT_EQ(r.status, kScriptFailed);
  EXPECT_NE(r.out.find("line 2: FK_Plain() = 42"), std::string::npos);
}

TEST_F(ScriptRun, LinesThatCannotRunStopWithStatus2) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"FK_Plain()\nFK_Missing()\nFK_Plain()\n", "quorsim: line 2: unknown function FK_Missing"},
      {"FK_Plain(1)\n", "quorsim: line 1: FK_Plain takes 0 arguments, 1 given"},
      {"FK_Text(5)\n", "quorsim: line 1: argument 1 of FK_Text must be text"},
      {"\n\nFK_Plain(\n", "quorsim: line 3: syntax error: missing )"},
      {"frobnicate x\n", "quorsim: line 1: unknown command frobnicate"},
      {"info\n", "quorsim: line 1: usage: info NAME"},
      {"savepng a\n", "quorsim: line 1: usage: savepng NAME FILE"},
      {"waves now\n", "quorsim: line 1: usage: waves"},
      {"trace maybe\n", "quorsim: line 1: usage: trace on|off"},
      // Every line that will not run is found, not only the first.
      {"FK_Missing()\nFK_Plain()\ninfo\n", "quorsim: line 3: usage: info NAME\nquorsim: 2 lines will not run"},
  };
  for (const Case& c : cases) {
    Result r = Run(c.script, true);  // even with keep-going
    EXPECT_EQ(r.status, kScriptError) << c.script;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.script << " gave: " << r.err;
    EXPECT_EQ(r.out, "") << "a line ran before the script was checked";
  }
}

TEST_F(ScriptRun, HostCommandsDescribeAndSaveWaves) {
  Result r = Run("FK_MakeImage(\"pic\", 4, 3)\n"
                 "waves\n"
                 "info pic\n"
                 "info nothing\n",
                 true);
  EXPECT_EQ(r.status, kScriptFailed);
  EXPECT_NE(r.out.find("line 2: 1 wave\n  pic: 4 x 3, unsigned 16-bit integer\n"), std::string::npos) << r.out;
  // Values x + 10 y: 0 .. 23, mean 11.5.
  EXPECT_NE(r.out.find("line 3: pic: 4 x 3, unsigned 16-bit integer, min 0, max 23, mean 11.5\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("quorsim: line 4: no wave named nothing"), std::string::npos) << r.err;

  if (!PngSupported()) GTEST_SKIP() << "built without libpng";
  r = Run("FK_MakeImage(\"pic\", 4, 3)\nsavepng pic sub/pic.png\n");
  EXPECT_EQ(r.status, kScriptOk) << r.err;
  EXPECT_TRUE(std::filesystem::exists(outDir_ / "sub" / "pic.png"));
  EXPECT_NE(r.out.find("line 2: saved pic as "), std::string::npos);

  host_->MakeTestWave("dbl", 1, 4, {3});
  r = Run("savepng dbl dbl.png\n");
  EXPECT_EQ(r.status, kScriptFailed);
  EXPECT_NE(r.err.find("quorsim: line 1: savepng dbl: the wave is 64-bit float"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(outDir_ / "dbl.png"));
}

TEST(WaveSummaries, StatisticsSkipNaNsAndNameComplexParts) {
  Host host;
  Handle h = host.MakeTestWave("f", 1, 4, {4});
  double values[4] = {1, NAN, -3, 8};
  std::memcpy(*h + 320, values, sizeof values);
  WaveView v;
  ASSERT_TRUE(host.FindWave("f", &v));
  EXPECT_EQ(WaveSummary(v, true), "4 points, 64-bit float, min -3, max 8, mean 2");
  h = host.MakeTestWave("c", 1, 3, {2, 1});
  float parts[4] = {1, 100, 3, 100};
  std::memcpy(*h + 320, parts, sizeof parts);
  ASSERT_TRUE(host.FindWave("c", &v));
  EXPECT_EQ(WaveSummary(v, true), "2 x 1, complex 32-bit float, min 1, max 3, mean 2 (real parts)");
  host.MakeTestWave("t", 1, 0, {5});
  ASSERT_TRUE(host.FindWave("t", &v));
  EXPECT_EQ(WaveSummary(v, true), "5 points, text");
  host.MakeTestWave("e", 1, 4, {});
  ASSERT_TRUE(host.FindWave("e", &v));
  EXPECT_EQ(WaveSummary(v, true), "0 points, 64-bit float, no values");
}

// ---------------------------------------------------------------- the program
#ifdef QUORSIM_PROGRAM
// Runs quorsim with the arguments and the script written to a file, given as the last argument
// unless `scriptLast` is false.
int RunProgram(const std::string& arguments, const std::string& script, std::string* output, bool scriptLast = true) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("quorsim_program_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    std::ofstream(dir / "script.qsc") << script;
  }
  const std::string command = std::string(QUORSIM_PROGRAM) + " " + arguments + " " +
                              (scriptLast ? (dir / "script.qsc").string() : "") + " > " + (dir / "out.txt").string() +
                              " 2>&1";
  int raw = std::system(command.c_str());
  std::ifstream in(dir / "out.txt");
  std::stringstream text;
  text << in.rdbuf();
  *output = text.str();
  std::filesystem::remove_all(dir);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(QuorsimProgram, ExitStatusFollowsTheScript) {
  const std::string module = "--module " + hosttest::kFakeModule;
  std::string output;
  EXPECT_EQ(RunProgram(module, "FK_Plain()\n", &output), 0);
  EXPECT_NE(output.find("line 1: FK_Plain() = 42"), std::string::npos) << output;
  EXPECT_EQ(RunProgram(module, "FK_Fails(7)\n", &output), 1);
  EXPECT_EQ(RunProgram(module, "FK_Plain()\nFK_Unknown()\n", &output), 2);
  EXPECT_NE(output.find("line 2"), std::string::npos) << output;
  EXPECT_EQ(RunProgram(module + " --version 250", "FK_Ask(77, 0, 0)\n", &output), 0);
  EXPECT_NE(output.find("= 9999"), std::string::npos) << output;  // an old host does not know 77
  // --check runs nothing: no module code, no function.
  EXPECT_EQ(RunProgram(module + " --check", "FK_Plain()\n", &output), 0);
  EXPECT_EQ(output, "");
  EXPECT_EQ(RunProgram(module + " --check", "FK_Plain()\nFK_Plain(1)\n", &output), 2);
  EXPECT_EQ(output, "quorsim: line 2: FK_Plain takes 0 arguments, 1 given\n"
                    "quorsim: 1 line will not run; the script was not started\n");
  // Files the options name are refused under their own names, with the system's reason.
  const struct {
    std::string arguments;
    bool scriptLast;
    const char* message;
  } refused[] = {
      {"--module /nonexistent/Module.so", true,
       "cannot open the module /nonexistent/Module.so: No such file or directory"},
      {module + " --version-file /nonexistent/v.res", true,
       "cannot open the host's version file /nonexistent/v.res: No such file or directory"},
      // Refused to root too (not permitted), where a folder without write permission is not.
      {module + " --out /proc/self", true, "cannot write into the output folder /proc/self: "},
      {module + " /tmp", false, "the script /tmp is a folder, not a file"},
      {module + " /nonexistent/a.qsc", false, "cannot open the script /nonexistent/a.qsc: No such file or directory"},
  };
  for (const auto& row : refused) {
    EXPECT_EQ(RunProgram(row.arguments, "FK_Plain()\n", &output, row.scriptLast), 2) << row.arguments;
    EXPECT_NE(output.find(row.message), std::string::npos) << output;
    EXPECT_EQ(output.find("FK_Plain"), std::string::npos) << output;
  }
  EXPECT_EQ(RunProgram(module + " --bogus", "", &output), 2);
  EXPECT_EQ(RunProgram("--help", "", &output), 0);
  EXPECT_NE(output.find("usage: quorsim"), std::string::npos);
}
#endif

}  // namespace
