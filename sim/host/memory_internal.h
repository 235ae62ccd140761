// The simulated host's own view of its memory manager: allocation and resizing without the
// scramble and the injected faults that the exported entry points add, and the mark that keeps
// the module from disposing of blocks that belong to the host (record, waves, data folders).
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostlink/record.h"

namespace quorsim {

// Classic memory manager result codes that MemError reports.
inline constexpr int32_t kMemNoErr = 0;
inline constexpr int32_t kMemParamErr = -50;      // negative size
inline constexpr int32_t kMemFullErr = -108;      // no room (or a locked block cannot grow)
inline constexpr int32_t kMemNilHandleErr = -109; // null handle
inline constexpr int32_t kMemWZErr = -111;        // not a live block of this memory manager
inline constexpr int32_t kMemLockedErr = -117;    // operation not allowed on a locked block

// Lock bit of the handle state word.
inline constexpr int32_t kHandleLockedBit = 0x80;

// Largest block the simulated memory manager hands out; bigger requests fail with memFullErr
// instead of reaching the system allocator.
inline constexpr size_t kMaxBlockBytes = size_t{1} << 30;

// A new handle of `size` bytes (contents undefined: filled with 0xCD), nullptr on failure.
// Without `fill`, for a caller that writes every byte itself, the bytes are left as they come.
Handle MemAllocHandle(size_t size, bool fill = true);
// Resize by the memory manager's rules (unlocked blocks move; locked ones only shrink in place).
// Returns a MemError-style code. Without `keep`, for a caller that rewrites the whole block,
// neither the old contents nor the fill of new bytes are copied into the moved block.
int32_t MemResizeHandle(Handle h, size_t newSize, bool keep = true);
size_t MemHandleSize(Handle h);         // 0 for null or dead handles
void MemFreeHandle(Handle h);           // also host-owned handles; null and dead tolerated
// Who may do what with a block through the exported functions: the module's own blocks take
// everything; the record may be resized by the module but not disposed of; the host's data
// (waves, data folders) may be locked and read but neither resized nor disposed of, as their
// size belongs to the host's description of them.
enum class BlockOwner { Module, HostRecord, HostData };
void MemSetOwner(Handle h, BlockOwner owner);
BlockOwner MemOwner(Handle h);
// Scramble if the mode is on (every host entry calls this first).
void MemScrambleIfOn();
bool MemScrambleOn();

}  // namespace quorsim
