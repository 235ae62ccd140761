// Parses and runs quorsim scripts: calls of the module's declared functions with numbers and
// quoted texts, and the host commands waves, info, savepng, print, trace and camera.
#include "sim/host/script.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "sim/host/camera_commands.h"
#include "sim/host/codes.h"
#include "sim/host/host_internal.h"
#include "sim/host/picture_notes.h"
#include "sim/host/trace.h"

namespace quorsim {
namespace {

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted text starting at line[pos] == '"'. Escapes: \" \\ \n \t \r \0 \xHH.
bool ParseQuoted(const std::string& line, size_t& pos, std::string* text, std::string* error) {
  ++pos;
  text->clear();
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      text->push_back(c);
      continue;
    }
    if (pos >= line.size()) break;
    char e = line[pos++];
    switch (e) {
      case '"': text->push_back('"'); break;
      case '\\': text->push_back('\\'); break;
      case 'n': text->push_back('\n'); break;
      case 't': text->push_back('\t'); break;
      case 'r': text->push_back('\r'); break;
      case '0': text->push_back('\0'); break;
      case 'x': {
        int hi = pos < line.size() ? HexDigit(line[pos]) : -1;
        int lo = pos + 1 < line.size() ? HexDigit(line[pos + 1]) : -1;
        if (hi < 0 || lo < 0) {
          *error = "\\x needs two hexadecimal digits";
          return false;
        }
        text->push_back(static_cast<char>(hi * 16 + lo));
        pos += 2;
        break;
      }
      default:
        *error = std::string("unknown escape \\") + e + " in a text";
        return false;
    }
  }
  *error = "text is not closed with \"";
  return false;
}

// The rest of a line after `pos`, which must be blank or a comment.
bool OnlyCommentFollows(const std::string& line, size_t pos) {
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  return pos == line.size() || line[pos] == '#';
}

bool ParseNumber(const std::string& token, double* value) {
  if (token.empty()) return false;
  const char* begin = token.c_str();
  char* end = nullptr;
  *value = std::strtod(begin, &end);
  return end == begin + token.size();
}

bool ParseCall(const std::string& line, size_t pos, ScriptLine* out, std::string* error) {
  // `pos` is at the '(' after the name.
  ++pos;
  for (;;) {
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size()) {
      *error = "missing ) at the end of the call";
      return false;
    }
    if (line[pos] == ')' && out->args.empty()) {
      ++pos;
      break;
    }
    if (line[pos] == '"') {
      std::string text;
      if (!ParseQuoted(line, pos, &text, error)) return false;
      out->args.push_back(Argument::Str(std::move(text)));
    } else {
      size_t start = pos;
      while (pos < line.size() && line[pos] != ',' && line[pos] != ')' && line[pos] != '#' && line[pos] != '"') ++pos;
      std::string token = Trim(line.substr(start, pos - start));
      double number = 0;
      if (token == "null") {
        out->args.push_back(Argument::Null());
      } else if (ParseNumber(token, &number)) {
        out->args.push_back(Argument::Num(number));
      } else {
        *error = token.empty() ? "missing argument " + std::to_string(out->args.size() + 1)
                               : "argument " + std::to_string(out->args.size() + 1) + " is neither a number nor a text: " + token;
        return false;
      }
    }
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] == '#') {
      *error = "missing ) at the end of the call";
      return false;
    }
    if (line[pos] == ',') {
      ++pos;
      continue;
    }
    if (pos < line.size() && line[pos] == ')') {
      ++pos;
      break;
    }
    *error = "expected , or ) after argument " + std::to_string(out->args.size());
    return false;
  }
  if (!OnlyCommentFollows(line, pos)) {
    *error = "unexpected text after the call";
    return false;
  }
  out->callText = Trim(line.substr(0, pos));
  return true;
}

bool ParseCommandWords(const std::string& line, size_t pos, ScriptLine* out, std::string* error) {
  for (;;) {
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] == '#') return true;
    std::string word;
    if (line[pos] == '"') {
      if (!ParseQuoted(line, pos, &word, error)) return false;
    } else {
      while (pos < line.size() && !IsSpace(line[pos])) word.push_back(line[pos++]);
    }
    out->words.push_back(std::move(word));
  }
}

void Report(FILE* stream, const char* prefix, int lineNumber, const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stream, "%sline %d: %s\n", prefix, lineNumber, message.c_str());
  std::fflush(stream);
}

std::string OutputPath(const ScriptOptions& options, const std::string& file) {
  std::filesystem::path p(file);
  if (p.is_absolute()) return file;
  return (std::filesystem::path(options.outDir) / p).string();
}

// The stretch words of savepng (after NAME and FILE): none, "stretch", or "stretch LOW HIGH".
bool ParseStretch(const std::vector<std::string>& words, bool* stretched, PngStretch* stretch, std::string* error) {
  *stretched = words.size() > 2;
  if (!*stretched) return true;
  if (words[2] != "stretch" || words.size() == 4) {
    *error = "usage: savepng NAME FILE [stretch [LOW HIGH]]";
    return false;
  }
  if (words.size() == 5) {
    stretch->given = true;
    if (!ParseNumber(words[3], &stretch->low) || !ParseNumber(words[4], &stretch->high) ||
        !std::isfinite(stretch->low) || !std::isfinite(stretch->high)) {
      *error = "savepng: LOW and HIGH of stretch must be finite numbers";
      return false;
    }
  }
  return true;
}

std::string DimensionText(const WaveView& wave) {
  if (wave.dimensions.empty()) return "0 points";
  std::string text;
  for (size_t d = 0; d < wave.dimensions.size(); ++d) {
    if (d > 0) text += " x ";
    text += std::to_string(wave.dimensions[d]);
  }
  return wave.dimensions.size() == 1 ? text + " points" : text;
}

}  // namespace

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "?";
  return std::string(buffer, end);
}

std::string WaveSummary(const WaveView& wave, bool withStatistics) {
  std::string text = DimensionText(wave) + ", " + WaveTypeName(wave.type);
  if (!withStatistics || wave.type == 0) return text;
  const size_t elementBytes = WaveElementBytes(wave.type);
  const size_t perPoint = (wave.type & 1) ? 2 : 1;
  const size_t points = elementBytes == 0 ? 0 : wave.dataBytes / (elementBytes * perPoint);
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -minimum;
  double sum = 0;
  size_t counted = 0;
  for (size_t i = 0; i < points; ++i) {
    double v = ReadElement(wave.data + i * perPoint * elementBytes, wave.type & ~1);
    if (std::isnan(v)) continue;
    minimum = std::min(minimum, v);
    maximum = std::max(maximum, v);
    sum += v;
    ++counted;
  }
  if (counted == 0) return text + ", no values";
  char stats[160];
  std::snprintf(stats, sizeof stats, ", min %s, max %s, mean %.6g%s", FormatNumber(minimum).c_str(),
                FormatNumber(maximum).c_str(), sum / static_cast<double>(counted), perPoint == 2 ? " (real parts)" : "");
  return text + stats;
}

std::string WaveHistogram(const WaveView& wave) {
  constexpr size_t kBins = 16;
  const size_t elementBytes = WaveElementBytes(wave.type);
  if (wave.type == 0 || elementBytes == 0) return {};
  const size_t perPoint = (wave.type & 1) ? 2 : 1;
  const size_t points = wave.dataBytes / (elementBytes * perPoint);
  const int baseType = wave.type & ~1;
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -minimum;
  size_t counted = 0;
  for (size_t i = 0; i < points; ++i) {
    const double v = ReadElement(wave.data + i * perPoint * elementBytes, baseType);
    if (!std::isfinite(v)) continue;
    minimum = std::min(minimum, v);
    maximum = std::max(maximum, v);
    ++counted;
  }
  if (counted == 0) return {};
  const std::string parts = perPoint == 2 ? " (real parts)" : "";
  if (minimum == maximum)
    return "histogram: all " + std::to_string(counted) + " finite values are " + FormatNumber(minimum) + parts;
  // In halves, so that the widest range of doubles does not overflow (halving is exact).
  size_t bins[kBins] = {};
  const double halfRange = maximum / 2 - minimum / 2;
  const double width = halfRange / (kBins / 2);
  for (size_t i = 0; i < points; ++i) {
    const double v = ReadElement(wave.data + i * perPoint * elementBytes, baseType);
    if (!std::isfinite(v)) continue;
    const double at = (v / 2 - minimum / 2) / halfRange * kBins;  // 0 .. 16, the maximum in the last bin
    bins[at >= kBins - 1 ? kBins - 1 : static_cast<size_t>(at)]++;
  }
  char binWidth[32];
  std::snprintf(binWidth, sizeof binWidth, "%.6g", width);
  std::string text = "histogram " + FormatNumber(minimum) + ".." + FormatNumber(maximum) + " in 16 bins of " + binWidth +
                     parts + ":";
  for (size_t count : bins) text += " " + std::to_string(count);
  return text;
}

bool ParseScriptLine(const std::string& rawLine, ScriptLine* out, std::string* error) {
  *out = {};
  std::string line = rawLine;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  size_t pos = 0;
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos == line.size() || line[pos] == '#') return true;
  if (!IsNameStart(line[pos])) {
    *error = "a line must start with a function call or a command";
    return false;
  }
  size_t nameStart = pos;
  while (pos < line.size() && IsNameChar(line[pos])) ++pos;
  out->name = line.substr(nameStart, pos - nameStart);
  size_t afterName = pos;
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos < line.size() && line[pos] == '(') {
    out->kind = ScriptLine::Call;
    return ParseCall(line, pos, out, error);  // sets callText: the call up to its ')'
  }
  if (afterName < line.size() && !IsSpace(line[afterName]) && line[afterName] != '#') {
    *error = "unexpected character '" + std::string(1, line[afterName]) + "' after " + out->name;
    return false;
  }
  out->kind = ScriptLine::Command;
  if (out->name == "print") {
    std::string rest = Trim(line.substr(afterName));
    if (!rest.empty() && rest.front() == '"') {
      size_t p = 0;
      if (!ParseQuoted(rest, p, &out->text, error)) return false;
      if (!OnlyCommentFollows(rest, p)) {
        *error = "unexpected text after the text of print";
        return false;
      }
    } else {
      out->text = rest;
    }
    return true;
  }
  return ParseCommandWords(line, afterName, out, error);
}

namespace {

// What a host command's handler works with while the script runs.
struct RunContext {
  Host& host;
  const ScriptOptions& options;
  Tracer& tracer;
  FILE* out;
  FILE* err;
  int lineNumber;
  PictureNotes& notes;  // what saved pictures tell of themselves
};

// A handler's answer is an exit status: kScriptOk, kScriptFailed for a refusal (the script goes
// on only with keep-going) or kScriptError for a line that cannot run; it reports either itself.
int Refuse(const RunContext& at, const std::string& message) {
  Report(at.err, "quorsim: ", at.lineNumber, message);
  return kScriptFailed;
}

int CannotRun(const RunContext& at, const std::string& message) {
  Report(at.err, "quorsim: ", at.lineNumber, message);
  return kScriptError;
}

int RunCall(const ScriptLine& line, const RunContext& at) {
  CallOutcome outcome;
  std::string error;
  const CallMarks before = MarkBeforeCall(at.host);
  if (!at.host.Call(line.name, line.args, &outcome, &error)) return CannotRun(at, error);
  NoteCallPictures(at.host, before, line, &at.notes);
  if (outcome.errorCode != 0) {
    Report(at.out, "", at.lineNumber, line.callText + " failed with error code " + ErrorCodeText(outcome.errorCode));
    return kScriptFailed;
  }
  if (!outcome.resultWritten) {
    Report(at.out, "", at.lineNumber, line.callText + " done, no result");
    return kScriptOk;
  }
  const std::string meaning = ResultStatusMeaning(line.name, outcome.result);
  Report(at.out, "", at.lineNumber,
         line.callText + " = " + FormatNumber(outcome.result) + (meaning.empty() ? "" : " (" + meaning + ")"));
  return kScriptOk;
}

int RunPrint(const ScriptLine& line, const RunContext& at) {
  std::fflush(stdout);
  std::fprintf(at.out, "%s\n", line.text.c_str());
  std::fflush(at.out);
  return kScriptOk;
}

int RunWaves(const ScriptLine&, const RunContext& at) {
  const std::vector<std::string> names = at.host.WaveNames();
  Report(at.out, "", at.lineNumber, std::to_string(names.size()) + (names.size() == 1 ? " wave" : " waves"));
  for (const std::string& name : names) {
    WaveView view;
    at.host.FindWave(name, &view);
    std::fprintf(at.out, "  %s: %s\n", name.c_str(), WaveSummary(view, false).c_str());
  }
  std::fflush(at.out);
  return kScriptOk;
}

int RunInfo(const ScriptLine& line, const RunContext& at) {
  WaveView view;
  if (!at.host.FindWave(line.words[0], &view)) return Refuse(at, "no wave named " + line.words[0]);
  Report(at.out, "", at.lineNumber, view.name + ": " + WaveSummary(view, true));
  const std::string histogram = WaveHistogram(view);
  if (!histogram.empty()) std::fprintf(at.out, "  %s\n", histogram.c_str());
  std::fflush(at.out);
  return kScriptOk;
}

bool CheckSavePngWords(const std::vector<std::string>& words, std::string* error) {
  bool stretched = false;
  PngStretch stretch;
  return ParseStretch(words, &stretched, &stretch, error);
}

int RunSavePng(const ScriptLine& line, const RunContext& at) {
  bool stretched = false;
  PngStretch stretch;
  std::string error;
  ParseStretch(line.words, &stretched, &stretch, &error);  // checked before the script started
  WaveView view;
  if (!at.host.FindWave(line.words[0], &view)) return Refuse(at, "no wave named " + line.words[0]);
  const std::string path = OutputPath(at.options, line.words[1]);
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  PngStretchUsed used;
  const auto note = at.notes.find(view.name);
  const PictureNote* picture = note != at.notes.end() ? &note->second : nullptr;
  const PngText text = PicturePngText(picture, view, at.host.Declarations().version);
  const bool saved = stretched ? SaveWavePngStretched(view, path, stretch, &used, &error, text)
                               : SaveWavePng(view, path, &error, text);
  if (!saved) return Refuse(at, "savepng " + view.name + ": " + error);
  std::string done = "saved " + view.name + " as " + path;
  if (stretched)
    done += ", stretched " + FormatNumber(used.low) + ".." + FormatNumber(used.high) + " onto 0.." +
            std::to_string(used.fullScale);
  Report(at.out, "", at.lineNumber, done + ": " + PictureSettingsText(picture, view));
  return kScriptOk;
}

bool CheckTraceWords(const std::vector<std::string>& words, std::string* error) {
  if (words[0] == "on" || words[0] == "off") return true;
  *error = "usage: trace on|off";
  return false;
}

int RunTrace(const ScriptLine& line, const RunContext& at) {
  if (line.words[0] == "on")
    StartTrace(at.tracer, at.host, at.tracer.on ? at.tracer.stream : at.err);
  else
    StopTrace(at.tracer);
  return kScriptOk;
}

int RunCamera(const ScriptLine& line, const RunContext& at) {
  std::vector<std::string> shown;
  std::string error;
  if (!RunCameraCommand(line.words, &shown, &error)) return CannotRun(at, error);
  Report(at.out, "", at.lineNumber, "camera: " + shown.front());
  for (size_t i = 1; i < shown.size(); ++i) std::fprintf(at.out, "  %s\n", shown[i].c_str());
  std::fflush(at.out);
  return kScriptOk;
}

// The host commands: the words each takes after its name, a check of the words beyond their
// number (null: the number is all), and what runs the line. The script's check and its run
// read this one table, so a line the check lets through is a line the runner knows.
struct CommandHandler {
  const char* name;
  size_t fewestWords, mostWords;
  const char* usage;
  bool (*checkWords)(const std::vector<std::string>& words, std::string* error);
  int (*run)(const ScriptLine& line, const RunContext& at);
};
constexpr CommandHandler kCommandHandlers[] = {
    {"print", 0, 0, "print TEXT", nullptr, RunPrint},  // the parser keeps its text whole
    {"waves", 0, 0, "waves", nullptr, RunWaves},
    {"info", 1, 1, "info NAME", nullptr, RunInfo},
    {"savepng", 2, 5, "savepng NAME FILE [stretch [LOW HIGH]]", CheckSavePngWords, RunSavePng},
    {"trace", 1, 1, "trace on|off", CheckTraceWords, RunTrace},
    // The camera's own words are checked when the line runs (RunCameraCommand).
    {"camera", 0, 4, "camera [fail|clear|poll|size|noise|scale|timing ...]", nullptr, RunCamera},
};

const CommandHandler* FindCommandHandler(const std::string& name) {
  for (const CommandHandler& handler : kCommandHandlers)
    if (name == handler.name) return &handler;
  return nullptr;
}

// Whether a parsed line will run: a call of a declared function with arguments that fit its
// declaration, or a known command with the words it takes. False with the reason otherwise.
bool CheckLine(const ScriptLine& line, const ModuleDeclarations& declarations, std::string* error) {
  if (line.kind == ScriptLine::Call) return MatchCall(declarations, line.name, line.args, error) != nullptr;
  const CommandHandler* handler = FindCommandHandler(line.name);
  if (handler == nullptr) {
    *error = "unknown command " + line.name + " (a function call needs parentheses)";
    return false;
  }
  if (line.words.size() < handler->fewestWords || line.words.size() > handler->mostWords) {
    *error = std::string("usage: ") + handler->usage;
    return false;
  }
  return handler->checkWords == nullptr || handler->checkWords(line.words, error);
}

}  // namespace

int CheckScript(const ModuleDeclarations& declarations, std::istream& script, FILE* err, CheckedScript* checked) {
  int lineNumber = 0;
  int refused = 0;
  for (std::string raw; std::getline(script, raw);) {
    ++lineNumber;
    ScriptLine line;
    std::string error;
    if (!ParseScriptLine(raw, &line, &error)) {
      error = "syntax error: " + error;
    } else if (line.kind == ScriptLine::Empty || CheckLine(line, declarations, &error)) {
      if (line.kind != ScriptLine::Empty) checked->lines.push_back({lineNumber, std::move(line)});
      continue;
    }
    Report(err, "quorsim: ", lineNumber, error);
    ++refused;
  }
  if (refused == 0) return kScriptOk;
  std::fprintf(err, "quorsim: %d line%s will not run; the script was not started\n", refused, refused == 1 ? "" : "s");
  std::fflush(err);
  return kScriptError;
}

int RunCheckedScript(Host& host, const CheckedScript& script, const ScriptOptions& options, FILE* out, FILE* err) {
  Tracer ownTracer;
  Tracer& tracer = options.tracer != nullptr ? *options.tracer : ownTracer;
  int status = kScriptOk;
  PictureNotes notes;
  for (const CheckedScript::Line& numbered : script.lines) {
    const RunContext at{host, options, tracer, out, err, numbered.number, notes};
    const ScriptLine& line = numbered.line;
    const CommandHandler* handler = FindCommandHandler(line.name);
    const int lineStatus = line.kind == ScriptLine::Call ? RunCall(line, at)
                           : handler != nullptr         ? handler->run(line, at)
                                                        : CannotRun(at, "unknown command " + line.name);
    if (lineStatus == kScriptOk) continue;
    status = lineStatus;
    if (lineStatus == kScriptError || !options.keepGoing) break;
  }
  StopTrace(ownTracer);  // a tracer of the caller's goes on, to see the module unloaded
  return status;
}

int RunScript(Host& host, std::istream& script, const ScriptOptions& options, FILE* out, FILE* err) {
  CheckedScript checked;
  if (CheckScript(host.Declarations(), script, err, &checked) != kScriptOk) return kScriptError;
  return RunCheckedScript(host, checked, options, out, err);
}

}  // namespace quorsim
