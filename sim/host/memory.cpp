// The simulated host's handle-based memory manager and its exported entry points. A handle is
// a pointer to a master pointer that points to the block; unlocked blocks move whenever they
// are resized, and in scramble mode on every entry into the host, so that a module keeping an
// address into an unlocked block reads poisoned or freed memory at once.
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "hostlink/host_exports.h"
#include "sim/host/memory_internal.h"
#include "sim/host/quorsim.h"

namespace quorsim {
namespace {

constexpr unsigned char kPoisonByte = 0xDB;   // written over a block before it is freed
constexpr unsigned char kFreshByte = 0xCD;    // contents of newly allocated, unwritten bytes

struct BlockInfo {
  size_t size = 0;
  int32_t state = 0;      // low 8 bits: lock bit 0x80 and whatever else the caller set
  BlockOwner owner = BlockOwner::Module;
};

struct FaultCounter {
  int skip = 0;
  int fail = 0;
  // True when this call is to fail.
  bool Take() {
    if (fail <= 0) return false;
    if (skip > 0) {
      --skip;
      return false;
    }
    --fail;
    return true;
  }
};

struct MemoryManager {
  std::unordered_map<Handle, BlockInfo> handles;
  std::unordered_set<void*> pointers;
  int32_t lastError = kMemNoErr;
  bool scramble = false;
  FaultCounter setSizeFaults;
  FaultCounter newPtrFaults;
};

MemoryManager& Mm() {
  static MemoryManager* manager = new MemoryManager();  // lives until the process ends
  return *manager;
}

char* AllocateBytes(size_t size, bool fill = true) {
  char* p = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
  if (p != nullptr && fill) std::memset(p, kFreshByte, size == 0 ? 1 : size);
  return p;
}

void PoisonAndFree(char* p, size_t size) {
  if (p == nullptr) return;
  std::memset(p, kPoisonByte, size == 0 ? 1 : size);
  std::free(p);
}

BlockInfo* Find(Handle h) {
  if (h == nullptr) return nullptr;
  auto it = Mm().handles.find(h);
  return it == Mm().handles.end() ? nullptr : &it->second;
}

bool IsLocked(const BlockInfo& info) { return (info.state & kHandleLockedBit) != 0; }

// Moves one block to a fresh allocation of `newSize` bytes, keeping the common prefix (or,
// without `keep`, nothing: the caller rewrites the block). The old copy is poisoned before it
// is freed. False if no memory.
bool MoveBlock(Handle h, BlockInfo& info, size_t newSize, bool keep = true) {
  char* fresh = AllocateBytes(newSize, keep);
  if (fresh == nullptr) return false;
  const size_t kept = !keep ? 0 : newSize < info.size ? newSize : info.size;
  if (kept > 0) std::memcpy(fresh, *h, kept);
  PoisonAndFree(*h, info.size);
  *h = fresh;
  info.size = newSize;
  return true;
}

void ScrambleAll() {
  for (auto& [h, info] : Mm().handles) {
    if (!IsLocked(info)) MoveBlock(h, info, info.size);  // on failure the block just stays
  }
}

// Looks a handle argument of an exported function up and sets MemError for null or unknown ones.
BlockInfo* Checked(Handle h) {
  if (h == nullptr) {
    Mm().lastError = kMemNilHandleErr;
    return nullptr;
  }
  BlockInfo* info = Find(h);
  Mm().lastError = info == nullptr ? kMemWZErr : kMemNoErr;
  return info;
}

}  // namespace

// ---------------------------------------------------------------- internal
Handle MemAllocHandle(size_t size, bool fill) {
  if (size > kMaxBlockBytes) return nullptr;
  char* block = AllocateBytes(size, fill);
  if (block == nullptr) return nullptr;
  Handle h = new char*(block);
  Mm().handles.emplace(h, BlockInfo{size, 0, BlockOwner::Module});
  return h;
}

int32_t MemResizeHandle(Handle h, size_t newSize, bool keep) {
  if (h == nullptr) return kMemNilHandleErr;
  BlockInfo* info = Find(h);
  if (info == nullptr) return kMemWZErr;
  if (newSize > kMaxBlockBytes) return kMemFullErr;
  if (IsLocked(*info)) {
    // A locked block cannot move: it may only shrink where it is.
    if (newSize > info->size) return kMemFullErr;
    info->size = newSize;
    return kMemNoErr;
  }
  return MoveBlock(h, *info, newSize, keep) ? kMemNoErr : kMemFullErr;
}

size_t MemHandleSize(Handle h) {
  const BlockInfo* info = Find(h);
  return info == nullptr ? 0 : info->size;
}

void MemFreeHandle(Handle h) {
  BlockInfo* info = Find(h);
  if (info == nullptr) return;
  PoisonAndFree(*h, info->size);
  Mm().handles.erase(h);
  delete h;
}

void MemSetOwner(Handle h, BlockOwner owner) {
  if (BlockInfo* info = Find(h)) info->owner = owner;
}

BlockOwner MemOwner(Handle h) {
  const BlockInfo* info = Find(h);
  return info == nullptr ? BlockOwner::Module : info->owner;
}

void MemScrambleIfOn() {
  if (Mm().scramble) ScrambleAll();
}

bool MemScrambleOn() { return Mm().scramble; }

// ---------------------------------------------------------------- test controls
void MemSetScramble(bool on) { Mm().scramble = on; }
void MemScrambleAll() { ScrambleAll(); }

void MemFailSetHandleSize(int count, int skip) { Mm().setSizeFaults = FaultCounter{skip, count}; }
void MemFailNewPtr(int count, int skip) { Mm().newPtrFaults = FaultCounter{skip, count}; }
void MemResetFaults() {
  Mm().setSizeFaults = {};
  Mm().newPtrFaults = {};
}

size_t MemLiveHandleCount() { return Mm().handles.size(); }
size_t MemLivePtrCount() { return Mm().pointers.size(); }
bool MemIsLiveHandle(Handle h) { return Find(h) != nullptr; }
bool MemIsLocked(Handle h) {
  const BlockInfo* info = Find(h);
  return info != nullptr && IsLocked(*info);
}

Handle MemNewHandleWithBytes(std::span<const char> bytes) {
  Handle h = MemAllocHandle(bytes.size());
  if (h != nullptr && !bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
  return h;
}

}  // namespace quorsim

// ---------------------------------------------------------------- the exports
using namespace quorsim;

extern "C" {

Ptr NewPtr(int32_t size) {
  MemScrambleIfOn();
  if (size < 0) {
    Mm().lastError = kMemParamErr;
    return nullptr;
  }
  if (Mm().newPtrFaults.Take() || static_cast<size_t>(size) > kMaxBlockBytes) {
    Mm().lastError = kMemFullErr;
    return nullptr;
  }
  char* p = AllocateBytes(static_cast<size_t>(size));
  if (p == nullptr) {
    Mm().lastError = kMemFullErr;
    return nullptr;
  }
  Mm().pointers.insert(p);
  Mm().lastError = kMemNoErr;
  return p;
}

void DisposePtr(Ptr p) {
  MemScrambleIfOn();
  if (p == nullptr) {
    Mm().lastError = kMemNoErr;
    return;
  }
  if (Mm().pointers.erase(p) == 0) {  // not a pointer of ours, or freed already
    Mm().lastError = kMemWZErr;
    return;
  }
  std::free(p);
  Mm().lastError = kMemNoErr;
}

Handle NewHandle(int32_t size) {
  MemScrambleIfOn();
  if (size < 0) {
    Mm().lastError = kMemParamErr;
    return nullptr;
  }
  Handle h = MemAllocHandle(static_cast<size_t>(size));
  Mm().lastError = h == nullptr ? kMemFullErr : kMemNoErr;
  return h;
}

void SetHandleSize(Handle h, int32_t newSize) {
  MemScrambleIfOn();
  const BlockInfo* info = Checked(h);
  if (info == nullptr) return;
  if (info->owner == BlockOwner::HostData) {  // a wave changes size only through the host's requests
    Mm().lastError = kMemWZErr;
    return;
  }
  if (newSize < 0) {
    Mm().lastError = kMemParamErr;
    return;
  }
  if (Mm().setSizeFaults.Take()) {
    Mm().lastError = kMemFullErr;
    return;
  }
  Mm().lastError = MemResizeHandle(h, static_cast<size_t>(newSize));
}

int32_t MemError(void) {
  MemScrambleIfOn();
  return Mm().lastError;
}

int32_t GetHandleSize(Handle h) {
  MemScrambleIfOn();
  const BlockInfo* info = Checked(h);
  return info == nullptr ? 0 : static_cast<int32_t>(info->size);
}

int32_t HGetState(Handle h) {
  MemScrambleIfOn();
  const BlockInfo* info = Checked(h);
  return info == nullptr ? 0 : info->state;
}

void HSetState(Handle h, int32_t state) {
  MemScrambleIfOn();
  if (BlockInfo* info = Checked(h)) info->state = state & 0xFF;
}

void MoveHHi(Handle h) {
  MemScrambleIfOn();
  BlockInfo* info = Checked(h);
  if (info != nullptr && IsLocked(*info)) Mm().lastError = kMemLockedErr;
}

void HLock(Handle h) {
  MemScrambleIfOn();
  if (BlockInfo* info = Checked(h)) info->state |= kHandleLockedBit;
}

void DisposeHandle(Handle h) {
  MemScrambleIfOn();
  if (h == nullptr) {
    Mm().lastError = kMemNoErr;
    return;
  }
  const BlockInfo* info = Checked(h);
  if (info == nullptr) return;
  if (info->owner != BlockOwner::Module) {  // the record, a wave or a data folder: the host's
    Mm().lastError = kMemWZErr;
    return;
  }
  MemFreeHandle(h);
  Mm().lastError = kMemNoErr;
}

}  // extern "C"
