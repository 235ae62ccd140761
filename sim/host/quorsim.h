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
};

struct HostOptions {
  int version = 602;               // file version of the host executable (major*100+minor*10+third); 0 = none
  int32_t recordSize = 200;        // starting size of the module's record
  bool scramble = false;           // memory scramble mode from the start
};

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

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The host currently active in this process (the one the exports and the callback serve).
Host* ActiveHost();

// Host error codes the simulated host answers with.
inline constexpr int32_t kErrNoMemory = 1;
inline constexpr int32_t kErrHostTooOld = 163;
inline constexpr int32_t kErrBadName = 34;       // a wave name the host refuses
inline constexpr int32_t kErrNameInUse = 27;     // a name used by an object of another kind
inline constexpr int32_t kErrUnknownMessage = 9999;

}  // namespace quorsim
