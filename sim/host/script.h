// The quorsim command script: one function call or host command per line, run against a
// simulated host with a loaded module. Also the host commands' helpers (wave summaries and
// saving image waves as PNG files).
#pragma once

#include <cstdio>
#include <istream>
#include <string>
#include <utility>
#include <vector>

#include "sim/host/quorsim.h"

namespace quorsim {

// Exit statuses of a script run.
inline constexpr int kScriptOk = 0;
inline constexpr int kScriptFailed = 1;  // a function returned an error, or a host command was refused
inline constexpr int kScriptError = 2;   // a line the host cannot run: syntax, unknown name, wrong arguments

struct ScriptLine {
  enum Kind { Empty, Call, Command } kind = Empty;
  std::string name;                // function or command name
  std::vector<Argument> args;      // of a call
  std::string callText;            // the call as written, without a trailing comment
  std::vector<std::string> words;  // command arguments (info NAME, savepng NAME FILE)
  std::string text;                // the text of print
};

// Parses one line; false with a message for bad syntax. Blank lines and '#' comments are Empty.
bool ParseScriptLine(const std::string& line, ScriptLine* out, std::string* error);

struct Tracer;

struct ScriptOptions {
  std::string outDir = ".";  // where savepng puts files given by relative paths
  bool keepGoing = false;    // go on after a failed call or refused command
  // The trace that the script's `trace on` and `trace off` switch, which may be on already
  // (the program's --trace) and is left as the script leaves it. Null: the script has a trace
  // of its own, writing to `err` and stopped at its end.
  Tracer* tracer = nullptr;
};

// A line that will not run: bad syntax (a line that starts with neither a name nor a comment,
// a text without its closing quote, an unknown escape, a call without its ')', an argument
// that is neither a number, a text nor null, text after a call); a function the module does
// not declare, or a call with the wrong number or kind of arguments; an unknown command, or a
// command with the wrong number of words, savepng with stretch words other than "stretch
// [LOW HIGH]" with finite numbers, trace with other than on or off. (The camera command's words
// are the driver bench's and are checked when the line runs.)
//
// Reads the whole script and reports every line that will not run to `err` (each names its
// line), running nothing: kScriptOk when every line can run, else kScriptError. The lines to
// run (blank lines and comments left out) go to *checked.
struct CheckedScript {
  struct Line {
    int number;  // in the script, from 1
    ScriptLine line;
  };
  std::vector<Line> lines;
};
int CheckScript(const ModuleDeclarations& declarations, std::istream& script, FILE* err, CheckedScript* checked);

// Runs a checked script against the loaded module, whose declarations it was checked against.
// Results go to `out`, refusals and errors to `err` (each names its line). Stops at a line that
// turns out not to run (a camera command's words) and, unless keepGoing, at the first failure.
// Returns one of the exit statuses above.
int RunCheckedScript(Host& host, const CheckedScript& script, const ScriptOptions& options, FILE* out, FILE* err);
// CheckScript against the loaded module's declarations, then RunCheckedScript if every line can run.
int RunScript(Host& host, std::istream& script, const ScriptOptions& options, FILE* out, FILE* err);

// A double as the shortest text that reads back to the same value ("1280", "0.02", "nan").
std::string FormatNumber(double value);
// "640 x 512, unsigned 8-bit integer, min 0, max 255, mean 93.25".
std::string WaveSummary(const WaveView& wave, bool withStatistics);

// Keyword and text of one PNG tEXt chunk (Latin-1; a keyword of 1 to 79 characters).
using PngTextEntry = std::pair<std::string, std::string>;
using PngText = std::vector<PngTextEntry>;

// Saves a two-dimensional (or one-dimensional) image wave as a grey PNG: type 72 as 8-bit,
// type 80 as 16-bit. Dimension 0 runs along an image row. False with a message otherwise.
// The text goes into the file as tEXt chunks.
bool SaveWavePng(const WaveView& wave, const std::string& path, std::string* error, const PngText& text = {});
bool PngSupported();

// Saving with a range of values stretched over the full range of the PNG, so a raw picture is
// visible: low maps to black, high to white, values between them in proportion (rounded),
// values beyond them clipped, NaN black. A range of no width splits at its value: below is
// black, the rest white. Any real numeric wave: 8-bit waves as 8-bit grey, the others as 16-bit.
// The text, and a "Stretch" entry with the range used, go into the file as tEXt chunks.
struct PngStretch {
  bool given = false;        // the range is low..high; else the wave's finite minimum..maximum
  double low = 0, high = 0;  // finite, when given (low above high maps in reverse)
};
struct PngStretchUsed {
  double low = 0, high = 0;  // the range stretched
  uint32_t fullScale = 0;    // 255 or 65535
};
bool SaveWavePngStretched(const WaveView& wave, const std::string& path, const PngStretch& stretch,
                          PngStretchUsed* used, std::string* error, const PngText& text = {});
// One value of a stretched picture.
uint32_t StretchedValue(double value, double low, double high, uint32_t fullScale);

// A line of 16 counts over the wave's minimum..maximum ("histogram 66..4095 in 16 bins of
// 251.812: 8 120 ..."), of the real parts of complex waves, NaNs left out; empty for a wave
// without numeric values.
std::string WaveHistogram(const WaveView& wave);

}  // namespace quorsim
