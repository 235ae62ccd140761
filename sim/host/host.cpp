// The simulated host itself: loads a module as Quor does (declarations first, then the library,
// main and the function addresses), calls its external functions with packed parameter blocks
// built from the declarations, and answers the module's callback requests, recording each one.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "sim/host/host_internal.h"
#include "sim/host/memory_internal.h"
#include "sim/host/module_loader.h"

namespace quorsim {
namespace {

Host* gActiveHost = nullptr;
std::vector<Host*> gLiveHosts;  // every host in existence; the callback finds its own by record

constexpr uint16_t kNumberType = 4;
constexpr uint16_t kTextHandleType = 0x2000;
constexpr size_t kResultBytes = 8;

// Written into the result slot before a call; a function that sets its result overwrites it.
constexpr uint8_t kResultSentinel[kResultBytes] = {0xAD, 0x0B, 0xEF, 0xBE, 0xAD, 0xDE, 0xF4, 0x7F};

// The host's own fields of the record hold these while the module runs; the module has no
// business with them, so a change shows a module writing where it should not.
constexpr int16_t kHostField0 = 0x5151;
constexpr int32_t kHostField2 = 0x51514802;
constexpr int32_t kHostField10 = 0x5151480A;
constexpr int32_t kHostField22 = 0x51514816;
constexpr int32_t kHostField26 = 0x5151481A;
constexpr int8_t kHostField32 = 0x32;

IORec* RecordPtr(IORecHandle record) { return *record; }
size_t RecordBytes(IORecHandle record) { return MemHandleSize(reinterpret_cast<Handle>(record)); }

void WriteHostFields(IORec* r) {
  r->hostField0 = kHostField0;
  r->hostField2 = kHostField2;
  r->hostField10 = kHostField10;
  r->hostField22 = kHostField22;
  r->hostField26 = kHostField26;
  std::memset(r->hostField32, kHostField32, sizeof r->hostField32);
}

bool HostFieldsIntact(const IORec* r) {
  for (int8_t b : r->hostField32) {
    if (b != kHostField32) return false;
  }
  return r->hostField0 == kHostField0 && r->hostField2 == kHostField2 && r->hostField10 == kHostField10 &&
         r->hostField22 == kHostField22 && r->hostField26 == kHostField26;
}

int32_t HostCallback(IORecHandle ioRecHandle);

}  // namespace

// The token the host hands out for its client window: the address of a byte of the host's, so
// it is unique and never null.
char gQuorClientWindowToken;

Host* ActiveHost() { return gActiveHost; }

Host* HostOfRecord(IORecHandle record) {
  if (record == nullptr) return nullptr;
  for (Host* host : gLiveHosts) {
    if (host->Record() == record) return host;
  }
  return nullptr;
}

Host* HostOfModuleInstance(const void* instance) {
  for (Host* host : gLiveHosts) {
    if (host->Loaded() && host->InternalState().moduleInstance == instance) return host;
  }
  return nullptr;
}

Host::Host(const HostOptions& options) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.options = options;
  s.previousScramble = MemScrambleOn();
  if (options.scramble) MemSetScramble(true);
  s.root = std::make_unique<Folder>();
  s.root->name = "root";
  s.root->handle = MemNewHandleWithBytes(std::span<const char>("root", 4));
  MemSetOwner(s.root->handle, BlockOwner::HostData);
  s.foldersByHandle[s.root->handle] = s.root.get();
  s.current = s.root.get();
  s.moduleInstance = &s.moduleToken;
  s.hostModule = HostModuleHandleFor(options);
  gActiveHost = this;
  gLiveHosts.push_back(this);
}

Host::~Host() {
  if (Loaded()) Unload();
  DisposeFolderTree(*state_, *state_->root);
  if (state_->options.scramble) MemSetScramble(state_->previousScramble);
  std::erase(gLiveHosts, this);
  if (gActiveHost == this) gActiveHost = gLiveHosts.empty() ? nullptr : gLiveHosts.back();
}

bool Host::Loaded() const { return state_->library != nullptr; }
const ModuleDeclarations& Host::Declarations() const { return state_->declarations; }
IORecHandle Host::Record() const { return state_->record; }
int Host::Version() const { return state_->options.version; }
const std::vector<Exchange>& Host::Exchanges() const { return state_->exchanges; }
void Host::ClearExchanges() { state_->exchanges.clear(); }
void Host::SetScriptedAnswer(ScriptedAnswer answer) { state_->scripted = std::move(answer); }
void Host::SetObserver(HostObserver observer) { state_->observer = std::move(observer); }
int Host::HostFieldViolations() const { return state_->hostFieldViolations; }

HostWord Host::FunctionAddress(int index) const {
  const auto& addresses = state_->functionAddresses;
  return index >= 0 && static_cast<size_t>(index) < addresses.size() ? addresses[static_cast<size_t>(index)] : 0;
}

bool Host::Load(const std::string& libraryPath, std::string* error) {
  State& s = *state_;
  if (Loaded()) {
    *error = "a module is loaded already";
    return false;
  }
  if (s.options.recordSize < static_cast<int32_t>(kRecordHeaderSize)) {
    *error = "record size " + std::to_string(s.options.recordSize) + " is smaller than the record header (" +
             std::to_string(kRecordHeaderSize) + " bytes)";
    return false;
  }
  ModuleDeclarations declarations;
  if (!ReadDeclarationsOfModule(libraryPath, &declarations, error)) return false;
  OpenedModule opened;
  if (!OpenModuleLibrary(libraryPath, &s.moduleToken, &opened, error)) return false;

  // The record: made empty, then sized, as the host's memory manager would.
  Handle recordHandle = MemAllocHandle(0);
  if (recordHandle == nullptr || MemResizeHandle(recordHandle, static_cast<size_t>(s.options.recordSize)) != kMemNoErr) {
    MemFreeHandle(recordHandle);
    CloseModuleLibrary(opened);
    *error = "no memory for the record";
    return false;
  }
  MemSetOwner(recordHandle, BlockOwner::HostRecord);
  std::memset(*recordHandle, 0, static_cast<size_t>(s.options.recordSize));
  s.record = reinterpret_cast<IORecHandle>(recordHandle);
  IORec* r = RecordPtr(s.record);
  WriteHostFields(r);
  r->hostCallback = &HostCallback;

  s.declarations = std::move(declarations);
  s.libraryPath = libraryPath;
  s.library = opened.library;
  s.moduleInstance = opened.instance;
  gActiveHost = this;

  opened.main(s.record);
  if (RecordPtr(s.record)->entryRoutine == nullptr) {
    *error = libraryPath + ": main did not install an entry routine";
    Unload();
    return false;
  }
  s.functionAddresses.clear();
  for (size_t i = 0; i < s.declarations.functions.size(); ++i) {
    HostWord item = static_cast<HostWord>(i);
    s.functionAddresses.push_back(SendToModule(kMsgFunctionAddress, std::span<const HostWord>(&item, 1)));
  }
  return true;
}

void Host::Unload() {
  State& s = *state_;
  if (!Loaded()) return;
  if (RecordPtr(s.record)->entryRoutine != nullptr) SendToModule(kMsgShutdown, {});
  OpenedModule opened;
  opened.library = s.library;
  opened.instance = s.moduleInstance;
  CloseModuleLibrary(opened);
  s.library = nullptr;
  s.moduleInstance = &s.moduleToken;
  MemFreeHandle(reinterpret_cast<Handle>(s.record));
  s.record = nullptr;
  s.functionAddresses.clear();
}

HostWord Host::SendToModule(int message, std::span<const HostWord> items) {
  State& s = *state_;
  if (s.record == nullptr) return 0;
  size_t count = std::min(items.size(), static_cast<size_t>(kRecordMaxItems));
  if (RecordBytes(s.record) < RecordSizeForItems(static_cast<int>(count))) {
    MemResizeHandle(reinterpret_cast<Handle>(s.record), RecordSizeForItems(static_cast<int>(count)));
  }
  IORec* r = RecordPtr(s.record);
  if (RecordBytes(s.record) < RecordSizeForItems(static_cast<int>(count)) || r->entryRoutine == nullptr) return 0;
  r->message = static_cast<int16_t>(message);
  r->itemCount = static_cast<int16_t>(count);
  for (size_t i = 0; i < count; ++i) r->items[i] = items[i];
  r->result = 0;
  r->entryRoutine();
  // The module may have resized the record, and scramble moves it.
  if (RecordBytes(s.record) < kRecordHeaderSize) return 0;
  r = RecordPtr(s.record);
  if (!HostFieldsIntact(r)) {
    ++s.hostFieldViolations;
    WriteHostFields(r);
  }
  const HostWord answer = r->result;
  if (s.observer) {
    HostEvent event;
    event.kind = HostEvent::MessageToModule;
    event.message = message;
    event.items = items.first(count);
    event.result = answer;
    s.observer(event);
  }
  return answer;
}

const FunctionDeclaration* MatchCall(const ModuleDeclarations& declarations, const std::string& function,
                                     const std::vector<Argument>& args, std::string* error) {
  const auto& functions = declarations.functions;
  auto found = std::find_if(functions.begin(), functions.end(),
                            [&](const FunctionDeclaration& d) { return SameNameNoCase(d.name, function); });
  if (found == functions.end()) {
    *error = "unknown function " + function;
    return nullptr;
  }
  const FunctionDeclaration& decl = *found;
  if (args.size() != decl.parameterTypes.size()) {
    *error = decl.name + " takes " + std::to_string(decl.parameterTypes.size()) + " argument" +
             (decl.parameterTypes.size() == 1 ? "" : "s") + ", " + std::to_string(args.size()) + " given";
    return nullptr;
  }
  if (decl.resultType != kNumberType) {
    *error = decl.name + " has a result type the host cannot take (" + std::to_string(decl.resultType) + ")";
    return nullptr;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const uint16_t type = decl.parameterTypes[i];
    const std::string which = "argument " + std::to_string(i + 1) + " of " + decl.name;
    if (type == kNumberType) {
      if (args[i].kind != Argument::Number) {
        *error = which + " must be a number";
        return nullptr;
      }
    } else if (type == kTextHandleType) {
      if (args[i].kind == Argument::Number) {
        *error = which + " must be text";
        return nullptr;
      }
    } else {
      *error = which + " has a parameter type the host cannot pass (" + std::to_string(type) + ")";
      return nullptr;
    }
  }
  return &decl;
}

bool Host::Call(const std::string& function, const std::vector<Argument>& args, CallOutcome* outcome,
                std::string* error) {
  State& s = *state_;
  *outcome = {};
  if (!Loaded()) {
    *error = "no module is loaded";
    return false;
  }
  const FunctionDeclaration* found = MatchCall(s.declarations, function, args, error);
  if (found == nullptr) return false;
  const FunctionDeclaration& decl = *found;
  const size_t index = static_cast<size_t>(found - s.declarations.functions.data());
  // Sizes are known from the match, so nothing is allocated for a call that is refused.
  size_t blockBytes = kResultBytes;
  for (uint16_t type : decl.parameterTypes) blockBytes += type == kNumberType ? sizeof(double) : sizeof(Handle);
  const HostWord address = FunctionAddress(static_cast<int>(index));
  if (address == 0) {
    *error = "the module gave no address for " + decl.name;
    return false;
  }

  // The block: the last declared parameter at offset 0, each at its own size with no padding,
  // then the result slot. Kept in 8-byte units so the block itself starts aligned.
  std::vector<uint64_t> storage((blockBytes + 7) / 8);
  uint8_t* block = reinterpret_cast<uint8_t*>(storage.data());
  size_t offset = 0;
  std::vector<Handle> texts;  // made for this call; the function owns them once it runs
  for (size_t k = args.size(); k-- > 0;) {
    const Argument& a = args[k];
    if (decl.parameterTypes[k] == kNumberType) {
      std::memcpy(block + offset, &a.number, sizeof(double));
      offset += sizeof(double);
    } else {
      Handle text = nullptr;
      if (a.kind == Argument::Text) {
        text = MemNewHandleWithBytes(std::span<const char>(a.text.data(), a.text.size()));
        if (text == nullptr) {
          for (Handle made : texts) MemFreeHandle(made);  // the function never ran: they are ours
          *error = "no memory for argument " + std::to_string(k + 1) + " of " + decl.name;
          return false;
        }
        texts.push_back(text);
      }
      std::memcpy(block + offset, &text, sizeof(Handle));
      offset += sizeof(Handle);
    }
  }
  std::memcpy(block + offset, kResultSentinel, kResultBytes);

  if (s.observer) {
    HostEvent event;
    event.kind = HostEvent::CallStarts;
    event.function = &decl;
    event.args = &args;
    s.observer(event);
  }
  auto entry = reinterpret_cast<ExternalFunctionProc>(address);
  outcome->errorCode = entry(block);

  if (s.record != nullptr) {
    IORec* r = RecordPtr(s.record);
    if (RecordBytes(s.record) >= kRecordHeaderSize && !HostFieldsIntact(r)) {
      ++s.hostFieldViolations;
      WriteHostFields(r);
    }
  }
  outcome->resultWritten = std::memcmp(block + offset, kResultSentinel, kResultBytes) != 0;
  if (outcome->resultWritten) std::memcpy(&outcome->result, block + offset, sizeof(double));
  if (s.observer) {
    HostEvent event;
    event.kind = HostEvent::CallReturns;
    event.function = &decl;
    event.args = &args;
    event.outcome = outcome;
    s.observer(event);
  }
  return true;
}

// ---------------------------------------------------------------- the callback
namespace {

int32_t HostCallback(IORecHandle ioRecHandle) {
  MemScrambleIfOn();
  Host* host = HostOfRecord(ioRecHandle);
  if (host == nullptr) return 0;
  Host::State& s = host->InternalState();
  if (RecordBytes(ioRecHandle) < kRecordHeaderSize) return 0;  // cut below its header: nothing to read
  IORec* r = RecordPtr(ioRecHandle);
  if (!HostFieldsIntact(r)) {
    ++s.hostFieldViolations;
    WriteHostFields(r);
  }
  Exchange exchange;
  exchange.message = r->message;
  // Only the items that lie inside the record's block are read.
  const size_t room = (RecordBytes(ioRecHandle) - kRecordHeaderSize) / sizeof(HostWord);
  const size_t count = std::min({static_cast<size_t>(std::max<int16_t>(r->itemCount, 0)), room,
                                 static_cast<size_t>(kRecordMaxItems)});
  exchange.items.resize(count);
  if (count > 0) std::memcpy(exchange.items.data(), r->items, count * sizeof(HostWord));  // packed field

  HostWord result = 0;
  const bool scripted = s.scripted && s.scripted(exchange.message, exchange.items, &result);
  if (!scripted && !AnswerWaveMessage(s, exchange.message, exchange.items, &result) &&
      !AnswerUtilityMessage(s, exchange.message, exchange.items, &result) &&
      !AnswerSupportMessage(s, exchange.message, exchange.items, &result))
    result = kErrUnknownMessage;
  exchange.result = result;
  if (s.observer) {
    HostEvent event;
    event.kind = HostEvent::ModuleRequest;
    event.message = exchange.message;
    event.items = exchange.items;
    event.result = result;
    s.observer(event);
  }
  s.exchanges.push_back(std::move(exchange));
  if (RecordBytes(ioRecHandle) >= kRecordHeaderSize) RecordPtr(ioRecHandle)->result = result;
  return 0;
}

}  // namespace

void InstallHostCallback(IORecHandle record) {
  IORec* r = RecordPtr(record);
  WriteHostFields(r);
  r->hostCallback = &HostCallback;
}

// ---------------------------------------------------------------- waves and folders for tests
bool Host::FindWave(const std::string& name, WaveView* out) const {
  return FindWaveIn(nullptr, name, out);
}

std::vector<std::string> Host::WaveNames() const { return WaveNamesIn(nullptr); }

bool Host::FindWaveIn(Handle folder, const std::string& name, WaveView* out) const {
  Folder* f = FolderOf(*state_, reinterpret_cast<HostWord>(folder));
  Wave* w = f == nullptr ? nullptr : FindWaveNamed(*f, name);
  if (w == nullptr) return false;
  if (out != nullptr) *out = ViewOf(*w);
  return true;
}

std::vector<std::string> Host::WaveNamesIn(Handle folder) const {
  std::vector<std::string> names;
  if (Folder* f = FolderOf(*state_, reinterpret_cast<HostWord>(folder))) {
    for (const auto& w : f->waves) names.push_back(w->name);
  }
  return names;
}

bool Host::FindWaveByHandle(Handle wave, WaveView* out) const {
  Wave* w = WaveOf(*state_, reinterpret_cast<HostWord>(wave));
  if (w == nullptr) return false;
  if (out != nullptr) *out = ViewOf(*w);
  return true;
}

void Host::RefuseWaveName(const std::string& name, int32_t errorCode) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  state_->refusedNames[upper] = errorCode;
}

Handle Host::MakeTestWave(const std::string& name, int layout, int type, std::vector<int32_t> dimensions) {
  if (dimensions.size() > static_cast<size_t>(kMaxDimensions)) return nullptr;
  std::array<int32_t, kMaxDimensions> dims{};
  std::copy(dimensions.begin(), dimensions.end(), dims.begin());
  Wave* w = nullptr;
  if (MakeWave(*state_, *state_->current, name, layout, type, dims, true, &w) != 0) return nullptr;
  return w->handle;
}

bool Host::WaveHeader(Handle wave, WaveHeaderValues* out) const {
  Wave* w = WaveOf(*state_, reinterpret_cast<HostWord>(wave));
  if (w == nullptr) return false;
  *out = w->header;
  return true;
}

bool Host::SetWaveHeader(Handle wave, const WaveHeaderValues& values) {
  Wave* w = WaveOf(*state_, reinterpret_cast<HostWord>(wave));
  if (w == nullptr) return false;
  w->header = values;
  w->header.dataUnits.resize(std::min(w->header.dataUnits.size(), kMaxUnitsLength));
  for (std::string& u : w->header.dimensionUnits) u.resize(std::min(u.size(), kMaxUnitsLength));
  WriteWaveHeader(*w);
  return true;
}

Handle Host::RootDataFolder() const { return state_->root->handle; }
Handle Host::CurrentDataFolder() const { return state_->current->handle; }

bool Host::SetCurrentDataFolder(Handle folder) {
  Folder* f = FolderOf(*state_, reinterpret_cast<HostWord>(folder));
  if (f == nullptr || folder == nullptr) return false;
  state_->current = f;
  return true;
}

Handle Host::NewDataFolder(Handle parent, const std::string& name) {
  State& s = *state_;
  Folder* p = FolderOf(s, reinterpret_cast<HostWord>(parent));
  if (p == nullptr || !IsStandardName(name) || FindFolderNamed(*p, name) != nullptr || FindWaveNamed(*p, name) != nullptr)
    return nullptr;
  auto folder = std::make_unique<Folder>();
  folder->name = name;
  folder->parent = p;
  folder->handle = MemNewHandleWithBytes(std::span<const char>(name.data(), name.size()));
  if (folder->handle == nullptr) return nullptr;
  MemSetOwner(folder->handle, BlockOwner::HostData);
  s.foldersByHandle[folder->handle] = folder.get();
  Handle h = folder->handle;
  p->children.push_back(std::move(folder));
  return h;
}

}  // namespace quorsim
