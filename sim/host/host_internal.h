// Inside the simulated host: the state behind a Host, its data folders and waves, and the wave
// services that the callback answers with. Shared by the host's source files only.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "hostlink/host_messages.h"
#include "sim/host/quorsim.h"

namespace quorsim {

inline constexpr size_t kMaxWaveNameLength = 31;
inline constexpr size_t kMaxUnitsLength = 49;
inline constexpr int kMaxDimensions = 4;

// Where the header layouts put the data, and the header of layouts the module does not read
// itself (the host's own, reached only through messages).
inline constexpr size_t kLayout0DataOffset = 110;
inline constexpr size_t kLayout1DataOffset = 320;
inline constexpr size_t kLayout1TextDataOffset = 412;
inline constexpr size_t kOwnLayoutDataOffset = 128;

struct Folder;

struct Wave {
  std::string name;
  Folder* folder = nullptr;
  Handle handle = nullptr;
  int layout = 1;
  int type = 4;
  std::array<int32_t, kMaxDimensions> dimensions{};  // sizes, 0 after the last dimension
  int32_t points = 0;
  WaveHeaderValues header;
  int modifiedCount = 0;
};

struct Folder {
  std::string name;
  Folder* parent = nullptr;
  Handle handle = nullptr;  // the folder's handle as the module sees it
  std::vector<std::unique_ptr<Wave>> waves;
  std::vector<std::unique_ptr<Folder>> children;
};


struct Host::State {
  HostOptions options;
  ModuleDeclarations declarations;
  std::string libraryPath;
  void* library = nullptr;
  IORecHandle record = nullptr;
  std::vector<HostWord> functionAddresses;
  std::vector<Exchange> exchanges;
  ScriptedAnswer scripted;
  HostObserver observer;
  std::map<std::string, int32_t> refusedNames;  // upper-cased names
  std::unique_ptr<Folder> root;
  Folder* current = nullptr;
  std::unordered_map<Handle, Wave*> wavesByHandle;
  std::unordered_map<Handle, Folder*> foldersByHandle;
  int32_t nextSerial = 1;
  int hostFieldViolations = 0;
  bool previousScramble = false;
  char moduleToken = 0;  // its address stands for the module's instance handle where no library gives one
  void* moduleInstance = nullptr;  // what GetZEMModule answers: the loaded library's, else &moduleToken
  void* hostModule = nullptr;      // what GetQuorModule answers while this host is active
  // State of the support-layer requests, each kept by the file that answers them.
  std::shared_ptr<void> utilityState;  // utility_requests.cpp
  std::shared_ptr<void> supportState;  // support_requests.cpp
};

// For tests that link the module's code and make the record themselves: gives that record the
// host's own fields and callback, so its requests are answered and recorded exactly as those of
// a loaded module (the host's State::record must be this record).
void InstallHostCallback(IORecHandle record);

// The live host whose record this is, or whose module has this instance handle; null if none.
Host* HostOfRecord(IORecHandle record);
Host* HostOfModuleInstance(const void* instance);

// ---------------------------------------------------------------- waves (waves.cpp)
bool IsValidWaveType(int type);
bool IsStandardName(const std::string& name);
bool SameNameNoCase(const std::string& a, const std::string& b);
size_t WaveDataOffset(int layout, int type);
size_t WaveDataBytes(int type, int32_t points);

Wave* FindWaveNamed(const Folder& folder, const std::string& name);
Folder* FindFolderNamed(const Folder& folder, const std::string& name);
Wave* WaveOf(Host::State& s, HostWord item);
Folder* FolderOf(Host::State& s, HostWord item);  // null item: the current folder

// Makes a wave (or reuses one of the name when `overwrite`). The dimension list holds up to four
// sizes, ended early by 0. Returns a host error code; *out is the wave on success.
int32_t MakeWave(Host::State& s, Folder& folder, const std::string& name, int layout, int type,
                 const std::array<int32_t, kMaxDimensions>& dimensions, bool overwrite, Wave** out);
// Gives a wave new dimensions and type, converting the values that fit.
int32_t ChangeWave(Host::State& s, Wave& wave, int type, const std::array<int32_t, kMaxDimensions>& dimensions);
// Rewrites the header part of the block from the wave's description.
void WriteWaveHeader(const Wave& wave);
void DisposeWave(Host::State& s, Wave& wave);
void DisposeFolderTree(Host::State& s, Folder& folder);
WaveView ViewOf(const Wave& wave);

// The host's answer to one wave request of the module (messages 1, 7, 34 to 95 of the wave
// family). Returns false if the message is not a wave message.
bool AnswerWaveMessage(Host::State& s, int message, std::span<const HostWord> items, HostWord* result);

// The host's answers to the support layer's requests: signals, history and clipboard text,
// name lists and character search (utility_requests.cpp); data folders, naming, notices,
// variables and command text (support_requests.cpp). Each returns false for a message that
// is not its own.
bool AnswerUtilityMessage(Host::State& s, int message, std::span<const HostWord> items, HostWord* result);
bool AnswerSupportMessage(Host::State& s, int message, std::span<const HostWord> items, HostWord* result);

// Element access by numeric type (without the complex bit): the value widened to double, and a
// double stored by truncation toward zero, keeping the element's low-order bytes. One point
// goes through a 32-bit integer (64-bit for type 96), NaN and out-of-range values becoming the
// most negative one first, as the x86 conversion does; a whole wave (wholeWave) goes through
// the whole integer, 0 for NaN, infinities and values beyond the 64-bit integers, as the
// module's own element conversion does.
double ReadElement(const uint8_t* p, int baseType);
void WriteElement(uint8_t* p, int baseType, double value, bool wholeWave = false);

}  // namespace quorsim
