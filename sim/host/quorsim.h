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
};
// Parse the raw bytes of the three resources; false with a message on malformed data.
bool ParseFunctionDeclarations(std::span<const uint8_t> zemf, std::vector<FunctionDeclaration>* out,
                               std::string* error);
bool ParseStringList(std::span<const uint8_t> strList, std::vector<std::string>* out, std::string* error);
// ZEMI: whole 16-bit words, at least five.
bool ParseInformationWords(std::span<const uint8_t> zemi, std::vector<uint16_t>* out, std::string* error);
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

struct CallOutcome {
  int32_t errorCode = 0;     // what the function returned
  double result = 0;         // the result slot after the call
  bool resultWritten = false;  // whether the function wrote the result slot
};

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

}  // namespace quorsim
