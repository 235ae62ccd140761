// The simulated Quor host: what the host application is to the module. It provides the
// exports of Quor.exe (memory manager, module and window queries, tick counter), reads a
// module's declaration resources without running its code, loads it, calls main, asks for the
// function addresses, builds parameter blocks from the declarations, answers the module's
// callback requests (waves in data folders among them) and records every exchange.
// One host is active per process at a time, as the exports are plain functions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hostlink/record.h"

namespace quorsim {

// ---------------------------------------------------------------- memory manager controls
// Scramble mode: on every host call (each export and each callback) every unlocked block
// moves to a new address and its old copy is poisoned, so a pointer kept into an unlocked
// handle fails loudly.
void MemSetScramble(bool on);
// The next `count` calls of SetHandleSize (NewPtr) fail, after `skip` calls that succeed.
void MemFailSetHandleSize(int count, int skip = 0);
void MemFailNewPtr(int count, int skip = 0);
void MemResetFaults();
// Live handles (allocated and not disposed of), for leak checks at the end of a test.
size_t MemLiveHandleCount();
bool MemIsLiveHandle(Handle h);
bool MemIsLocked(Handle h);
// A fresh handle holding exactly these bytes (a string parameter as the host makes it).
Handle MemNewHandleWithBytes(std::span<const char> bytes);
// Move every unlocked block now, whatever the scramble mode (old copies poisoned and freed).
void MemScrambleAll();
// Live blocks from NewPtr (not yet given back with DisposePtr).
size_t MemLivePtrCount();

// ---------------------------------------------------------------- clipboard
// The text last put on the clipboard with SetScrapData, and its type code.
std::string ClipboardText();
uint32_t ClipboardType();

// ---------------------------------------------------------------- declaration resources
struct FunctionDeclaration {
  std::string name;
  uint16_t category = 0;
  uint16_t resultType = 0;
  std::vector<uint16_t> parameterTypes;  // declaration order
};
struct ModuleDeclarations {
  std::vector<FunctionDeclaration> functions;  // ZEMF 1100, in index order
  std::vector<uint16_t> information;           // ZEMI 1100 words
  std::vector<std::string> strings;            // STR# 1101
  std::string version;                         // the version block's file version ("1.0.2.0"), or empty
};
// Parse the raw bytes of the three resources; false with a message on malformed data.
bool ParseFunctionDeclarations(std::span<const uint8_t> zemf, std::vector<FunctionDeclaration>* out,
                               std::string* error);
bool ParseStringList(std::span<const uint8_t> strList, std::vector<std::string>* out, std::string* error);
// ZEMI: whole 16-bit words, at least five.
bool ParseInformationWords(std::span<const uint8_t> zemi, std::vector<uint16_t>* out, std::string* error);
// The three resources as a reader found them (a missing one empty), checked and parsed: ZEMF and
// ZEMI must be there, STR# may be missing. Shared by the file reader and the Windows loader,
// which finds them with FindResource in the loaded library.
struct DeclarationResources {
  std::optional<std::span<const uint8_t>> zemf, zemi, strings, version;
};
// The file version of a version block (resource type 16) as "major.minor.build.revision"; empty
// for a block without sound fixed file information.
std::string FileVersionText(std::span<const uint8_t> versionBlock);
bool ParseDeclarationResources(const DeclarationResources& found, ModuleDeclarations* out, std::string* error);
// The whole content of a .res file or PE library, already in memory (what the file reader uses).
bool ParseModuleDeclarations(std::span<const uint8_t> file, ModuleDeclarations* out, std::string* error);
// Read them from a compiled resource file (.res) or from a PE file's resource section.
bool ReadModuleDeclarations(const std::string& path, ModuleDeclarations* out, std::string* error);

// ---------------------------------------------------------------- the host
struct Exchange {            // one module-to-host request as the callback saw it
  int message = 0;
  std::vector<HostWord> items;
  HostWord result = 0;
};

// Scripted answer: return true to answer the request with *result instead of the host's own
// behaviour. Tests use it for cases a real host cannot be pushed into.
using ScriptedAnswer = std::function<bool(int message, std::span<const HostWord> items, HostWord* result)>;

struct Argument {            // one argument of an external function call
  enum Kind { Number, Text, NullHandle } kind = Number;
  double number = 0;
  std::string text;
  static Argument Num(double v) { return {Number, v, {}}; }
  static Argument Str(std::string s) { return {Text, 0, std::move(s)}; }
  static Argument Null() { return {NullHandle, 0, {}}; }
};

// The declaration a call of `function` with `args` fits: a declared name (in any case), the
// declared number of arguments, each of its declared kind (a number, or a text or null for a
// text handle), and a numeric result. Null with a message otherwise. Host::Call refuses what
// this refuses, and the script's check asks it before anything runs.
const FunctionDeclaration* MatchCall(const ModuleDeclarations& declarations, const std::string& function,
                                     const std::vector<Argument>& args, std::string* error);

struct CallOutcome {
  int32_t errorCode = 0;     // what the function returned
  double result = 0;         // the result slot after the call
  bool resultWritten = false;  // whether the function wrote the result slot
};

// One exchange as a watcher of the host sees it (quorsim's trace), at the moment it happens: a
// request of the module once the host has answered it, a message to the module once the module
// has answered, an external function call just before it runs and once it has returned.
struct HostEvent {
  enum Kind { ModuleRequest, MessageToModule, CallStarts, CallReturns } kind = ModuleRequest;
  int message = 0;                                // ModuleRequest, MessageToModule
  std::span<const HostWord> items;                // ModuleRequest, MessageToModule
  HostWord result = 0;                            // ModuleRequest, MessageToModule: the answer
  const FunctionDeclaration* function = nullptr;  // CallStarts, CallReturns
  const std::vector<Argument>* args = nullptr;    // CallStarts, CallReturns
  const CallOutcome* outcome = nullptr;           // CallReturns
};
using HostObserver = std::function<void(const HostEvent& event)>;

struct WaveView {            // a wave as the host keeps it, for tests and host commands
  std::string name;
  int type = 0;                    // numeric type code
  std::vector<int32_t> dimensions; // dimension 0 first
  const uint8_t* data = nullptr;   // valid until the next host or module call
  size_t dataBytes = 0;
  int modifiedCount = 0;           // how often the module marked it modified
  Handle handle = nullptr;
  int layout = 1;                  // header layout indicator
  size_t dataOffset = 0;           // where the data starts in the block
};

// Header values of a wave that the wave messages answer and layouts 0 and 1 carry in their
// headers (layout 0 holds only the value pair of dimension 0).
struct WaveHeaderValues {
  double dimensionPairs[4][2] = {{0, 1}, {0, 1}, {0, 1}, {0, 1}};
  double dataPair[2] = {0, 0};
  int16_t dataPairFlag = 0;        // the data pair is present
  int32_t value93 = 0;             // message-93 value
  int16_t value94 = 0;             // message-94 value
  int16_t value95 = 0;             // message-95 value
  std::string dataUnits;           // at most 49 characters each
  std::string dimensionUnits[4];
};

struct HostOptions {
  int version = 602;               // file version of the host executable (major*100+minor*10+third); 0 = none
  int32_t recordSize = 200;        // starting size of the module's record
  bool scramble = false;           // memory scramble mode from the start
  // The file behind the host's module handle, whose version resource the module reads. Empty:
  // Quor_<major>.<minor>.<third>.res of `version` (Quor_none.res for 0) in the folder of the
  // compiled host versions. A name without '/' is taken from that folder, anything else as a path
  // (for versions whose parts do not follow from the number, such as 6.10.0).
  std::string versionFile;
};

// Where the host's module handle points for these options.
std::string HostVersionFilePath(const HostOptions& options);

// Text names of numeric type codes ("unsigned 16-bit integer", "complex 64-bit float", "text"),
// empty for a code that is not a wave type.
std::string WaveTypeName(int type);
// Bytes per element of a type code without its complex bit (0 for text or unknown codes).
size_t WaveElementBytes(int type);

// What the callback answers (every other message: kErrUnknownMessage, recorded like the rest):
//   1 mark a wave modified; 7 a wave of the current folder by name (handle or 0);
//   42 / 77 make a wave (1D / up to 4 dimensions, data zeroed; an existing wave is remade in
//   place with overwrite, else kErrNameInUse); 43 / 79 change a wave, keeping the values that fit;
//   34 type, 35 points, 37 data address, 78 dimensions, 80 value pairs, 82 / 83 and 52 / 53
//   units, 86 data offset, 93 / 94 / 95 header values, 87 / 88 one point and 89 / 90 the whole
//   wave as doubles, for waves of any header layout.
// The host's own version gates: below 300 it knows neither 77 nor 79, makes 42's waves in the
// one-dimensional layout 0 and refuses text waves in 42 / 43 with kErrHostTooOld; below 200 it
// also refuses every type but 4- and 8-byte floating point (real or complex) there.
class Host {
 public:
  explicit Host(const HostOptions& options = {});
  ~Host();  // unloads the module if still loaded
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Load as Quor does: read the declarations (library path with .res beside it, or a DLL),
  // load the library, call main, ask MSG_FUNCTION_ADDRESS for each declared index.
  bool Load(const std::string& libraryPath, std::string* error);
  // MSG_SHUTDOWN, then unload.
  void Unload();
  bool Loaded() const;

  const ModuleDeclarations& Declarations() const;
  // Call an external function by its declared name; false (with a message) for an unknown
  // name or a wrong argument count or kind. The text parameters are handed over as fresh
  // handles that the function owns.
  bool Call(const std::string& function, const std::vector<Argument>& args, CallOutcome* outcome,
            std::string* error);
  // Send a host-to-module message with items and return the record's result.
  HostWord SendToModule(int message, std::span<const HostWord> items);
  HostWord FunctionAddress(int index) const;

  IORecHandle Record() const;
  int Version() const;

  const std::vector<Exchange>& Exchanges() const;
  void ClearExchanges();
  void SetScriptedAnswer(ScriptedAnswer answer);
  // The watcher of every exchange from now on (an empty one: none). It must not call the module.
  void SetObserver(HostObserver observer);

  // Waves of the current data folder (root unless changed).
  bool FindWave(const std::string& name, WaveView* out) const;
  std::vector<std::string> WaveNames() const;
  // Names the host refuses for a new wave (answered with a host error code).
  void RefuseWaveName(const std::string& name, int32_t errorCode);
  // Make a wave directly, with a chosen header layout (0, 1, or any other indicator), for
  // tests of the wave routines.
  Handle MakeTestWave(const std::string& name, int layout, int type, std::vector<int32_t> dimensions);

  // Header values of a wave (by handle); setting them rewrites the header of layouts 0 and 1.
  bool WaveHeader(Handle wave, WaveHeaderValues* out) const;
  bool SetWaveHeader(Handle wave, const WaveHeaderValues& values);
  bool FindWaveByHandle(Handle wave, WaveView* out) const;

  // Data folders. Folder handles are host handles the module may not dispose of.
  Handle RootDataFolder() const;
  Handle CurrentDataFolder() const;
  bool SetCurrentDataFolder(Handle folder);
  // A new folder inside `parent` (null: the current folder); null if the name is taken or bad.
  Handle NewDataFolder(Handle parent, const std::string& name);
  bool FindWaveIn(Handle folder, const std::string& name, WaveView* out) const;
  std::vector<std::string> WaveNamesIn(Handle folder) const;

  // How often the module wrote into the host's own fields of the record (found when the host
  // next looks at the record: on each callback and after each call into the module).
  int HostFieldViolations() const;

  // The host's inside, for the host's own source files (defined in host_internal.h).
  struct State;
  State& InternalState() { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

// The host currently active in this process (the one the exports and the callback serve).
Host* ActiveHost();

// Host error codes the simulated host answers with.
inline constexpr int32_t kErrNoMemory = 1;
inline constexpr int32_t kErrHostTooOld = 163;
inline constexpr int32_t kErrBadName = 34;       // a wave name the host refuses
inline constexpr int32_t kErrNameInUse = 27;     // the name is taken (a wave and no overwrite, or a data folder)
inline constexpr int32_t kErrUnknownMessage = 9999;
inline constexpr int32_t kErrBadType = 190;          // not a numeric type code of a wave
inline constexpr int32_t kErrBadDimensionIndex = 380;
inline constexpr int32_t kErrNotNumeric = 412;       // a value transfer on a text wave
inline constexpr int32_t kErrIndexOutOfRange = 414;
inline constexpr int32_t kErrBadParameter = 1001;    // a required address item is null
inline constexpr int32_t kErrNotAWave = 1002;        // the item is not a wave handle of this host
inline constexpr int32_t kErrNoDataFolder = 1003;    // the item is not a data folder of this host
inline constexpr int32_t kErrWaveInUse = 1004;       // a locked wave would have to change size
inline constexpr int32_t kErrBadDimensions = 1005;   // a negative size, or too many dimensions


// ================================================================ support layer: data folders,
// naming, notices, variables and command text (answered in support_requests.cpp)
//
// Data folders: 105 (0, &out) the root; 106 (&out) the current one; 107 (folder) makes it current
// (null: stays); 108 (start, path, &out) resolves a path relative to `start` (null: the current
// folder). Path rules: elements are separated by ':'; a first element "root" (any case) starts
// at the root, anything else at the start folder; a leading ':' only marks the path as relative
// ("a" and ":a" are the same); a ':' followed by another ':' goes up one level ("::" is the
// parent, ":::" its parent); one trailing ':' adds nothing ("root:" is the root, ":" the start
// folder, "" too); an element in single quotes is a liberal name without its quotes. Folder
// names compare without regard to case. Going above the root or naming a folder that does not
// exist fails with kErrNoSuchFolder. Below version 301 the host refuses every path that ends in
// ':' with kErrBadFolderPath.
// Names (one name space per folder: waves, variables and folders): 76 (1, base, out[32],
// &counter) writes base + counter (counter from 0 when negative; the base is shortened so that
// the whole number fits in 31 characters), counting up until the name is not used in the current
// folder and not reserved, and leaves the counter one past the number used; 150 (folder, type,
// name) answers kErrReservedName for a built-in name or one of the loaded module's functions,
// kErrNameInUse for a name used by an object of another type, else 0; 152 (liberal, name,
// maxLength) rewrites the name in place: standard names get an 'X' before a first character
// that is not a letter and '_' for every later character that is not a letter, digit or '_';
// liberal names keep every character but ' " : ; and control characters, which become '_'; both
// are cut to maxLength (at most 31); an empty name is kErrBadName; 151 (name) puts a name that
// is not standard in single quotes in place (kErrBadName for one holding ' " : or ;); 159
// (folder, name, &type, &data or null) answers 0 with the type code (1, 3, 4, 11) and a wave's
// or folder's handle, a numeric variable's two doubles or a string variable's text as data,
// else kErrNoSuchObject. Below version 300 the host knows neither 151 nor 152.
// Notices: 8 (text) keeps the text. Output lines: 9 (text) adds the text, 71 an empty line
// (from version 200).
// Variables of the current folder: 3 (name, &re, &im) reads a numeric one (kErrNoSuchVariable);
// 5 (name, &re, &im) sets one (-1 when there is none); 6 (name, text) sets a string one
// (kErrNoSuchVariable when there is none); 45 (name, type) creates one of type 4 (real), 5
// (complex) or 0 (string), the bit 0x4000 kept as given (below version 200 that bit is
// kErrHostTooOld); an existing variable of the same type stays as it is; 59 (name) answers 1
// when a string variable of that name exists, else 0.
// Command text (a line the test supplies; blanks and tabs between items are skipped): 10 the
// next character (0 at the end), not consumed; 11 consumes it; 12 (buffer of 256) reads a
// quoted text without its quotes, or the rest of the statement without trailing blanks, and
// answers the number of characters (kCommandTextBroken for a missing closing quote); 13
// (&double) reads a number (kErrExpectedNumber, nothing consumed); 14 (name buffer of 32) reads
// a standard name or a quoted liberal one: 0, ';' (59) at a ';', kErrNameTooLong or
// kErrExpectedName; 124 (&quoted, buffer, liberalAllowed) reads a name as 14 does, answering
// kErrStatementEndBeforeName at a ';' and setting *quoted (from version 300); 182 answers 1 at
// the end of the statement (the end, a carriage return, ';' or '|'), else 0 (from version 400).
inline constexpr int32_t kErrNoSuchObject = 1101;
inline constexpr int32_t kErrNoSuchFolder = 1102;
inline constexpr int32_t kErrBadFolderPath = 1103;
inline constexpr int32_t kErrNoFreeName = 1104;
inline constexpr int32_t kErrNoSuchVariable = 1105;
inline constexpr int32_t kErrExpectedNumber = 1106;
inline constexpr int32_t kErrExpectedName = 1107;
inline constexpr int32_t kErrNameTooLong = 1108;
inline constexpr int32_t kErrReservedName = 1109;
inline constexpr int32_t kErrStatementEndBeforeName = 458;
inline constexpr int32_t kCommandTextBroken = -1;
inline constexpr int32_t kNoSuchNumericVariableAnswer = -1;

struct VariableView {
  std::string name;
  int type = 0;                  // 4 real, 5 complex, 0 string
  int32_t creationType = 0;      // as the module gave it, flag bit included
  double real = 0, imaginary = 0;
  std::string text;
};

// The command text the next requests read, from its start.
void SetCommandText(Host& host, std::string text);
// What the requests have not consumed yet.
std::string UnreadCommandText(Host& host);
// Texts of the notices (message 8) and the output lines (9, 71), in order.
std::vector<std::string> Notices(Host& host);
std::vector<std::string> OutputLines(Host& host);
// A variable of a folder (null: the current one).
bool FindVariable(Host& host, Handle folder, const std::string& name, VariableView* out);
// Makes a variable directly (as message 45 and 5 or 6 would); a host error code.
int32_t MakeTestVariable(Host& host, Handle folder, const VariableView& variable);
// Whether the host keeps the name for itself (compared without regard to case).
bool IsReservedName(const std::string& name);
// ================================================================ end of the support-layer block

// ================================================================ support layer: signals,
// history text, name lists and character search (answered in utility_requests.cpp)
//
// 33 (code): a signal; the codes are kept in order; answers 0.
// 49 (text, mode): a text for the history; kept with its mode; answers 0 (kErrBadParameter for a
// null text).
// 56 / 57 / 58 (handle, match, separator, options): put names, joined by the separator text,
// into the handle (no terminator: its size is the list's length): 56 the waves of the
// current data folder in creation order, 57 the numeric and 58 the string variable names a test
// set with SetNameList. `match` is null for every name, or the address of a pattern in which
// '*' stands for any run of characters, compared without regard to case; `options` is not
// looked at. Answers 0; kErrBadParameter for a handle that is not live or a null separator;
// kErrNoMemory when the handle cannot take the list (it is then left as it was).
// 173 / 174 (text, character): the address of the first / last occurrence of the character
// (converted to char; the terminator counts, as with strchr and strrchr), or 0; 0 for a null text.
struct HistoryText {
  std::string text;
  int32_t mode = 0;
};
std::vector<int32_t> HostSignals(Host& host);
std::vector<HistoryText> HistoryTexts(Host& host);
// The names that message 57 (numeric variables) or 58 (string variables) lists.
void SetNameList(Host& host, int message, std::vector<std::string> names);
// ================================================================ end of the utilities block

}  // namespace quorsim
