// The VERSION calls of the platform stand-in: find the version resource (type 16) of a compiled
// resource file (.res) or a PE file with the stand-ins' resource reader, hand out a copy of it,
// and look up values in that copy by path the way VerQueryValueA does. Every offset read from
// the block is checked against the bytes that are really there.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hostlink/win32_subset.h"
#include "sim/resource_reader/resource_reader.h"
#include "win32sim_version_faults.h"

namespace {

constexpr uint16_t kResourceTypeVersion = 16;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr size_t kBlockHeaderSize = 6;        // wLength, wValueLength, wType
constexpr size_t kMaxFileSize = 256u << 20;   // larger files are not executables we simulate
// Beyond the block itself a caller's buffer holds 4 spare bytes and room for an ANSI copy of
// the block's texts, which is where VerQueryValueA answers text values (Windows asks for the
// same room).
constexpr size_t RoomForBlock(size_t blockSize) { return 2 * blockSize + 4; }

using resourcereader::ByteReader;

constexpr size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

// The version resource of a file, in either format: the first of type 16, the one named 1 if
// there are several. A damaged file still gives what it holds before the damage.
std::optional<std::vector<uint8_t>> ReadVersionResource(const char* fileName) {
  std::vector<uint8_t> file;
  std::string error;
  if (fileName == nullptr || !resourcereader::ReadWholeFile(fileName, &file, &error, kMaxFileSize)) return std::nullopt;
  std::vector<resourcereader::Resource> all;
  resourcereader::ReadResources(file, &all, &error);
  const resourcereader::Resource* found = nullptr;
  for (const resourcereader::Resource& res : all) {
    if (!res.type.Is(kResourceTypeVersion) || res.data.empty()) continue;
    if (found == nullptr || (res.name.Is(1) && !found->name.Is(1))) found = &res;
  }
  // The block's own length field is 16 bits wide, so anything shorter than a header or longer
  // than 64 KiB is not a version block.
  if (found == nullptr || found->data.size() < kBlockHeaderSize || found->data.size() > 0xFFFF) return std::nullopt;
  return std::vector<uint8_t>(found->data.begin(), found->data.end());
}

// ---------------------------------------------------------------- version block

// One node of the block: wLength, wValueLength, wType, UTF-16 key, padding to 4 bytes, value,
// padding, children. Offsets count from the start of the block.
struct Node {
  size_t start = 0, end = 0;
  size_t keyStart = 0, keyChars = 0;
  size_t valueStart = 0, valueBytes = 0;
  uint16_t valueLength = 0;
  bool text = false;
  size_t childrenStart = 0;
};

std::optional<Node> ParseNode(const ByteReader& block, size_t start, size_t limit) {
  if (start + kBlockHeaderSize > limit) return std::nullopt;
  Node n;
  n.start = start;
  n.end = start + block.U16(start).value_or(0);
  if (n.end < start + kBlockHeaderSize || n.end > limit) return std::nullopt;
  n.valueLength = block.U16(start + 2).value_or(0);
  n.text = block.U16(start + 4) == 1;
  n.keyStart = start + kBlockHeaderSize;
  size_t at = n.keyStart;
  while (at + 2 <= n.end && block.U16(at) != 0) at += 2;
  if (at + 2 > n.end) return std::nullopt;  // key without its terminator
  n.keyChars = (at - n.keyStart) / 2;
  n.valueStart = std::min(Align4(at + 2), n.end);
  // A text value counts UTF-16 characters, a binary value bytes. Text lengths that run past
  // the node (some resource compilers miscount) are cut at the node's end.
  const size_t wanted = n.text ? size_t{n.valueLength} * 2 : n.valueLength;
  if (n.valueStart + wanted > n.end && !n.text) return std::nullopt;
  n.valueBytes = std::min(wanted, n.end - n.valueStart);
  n.childrenStart = std::min(Align4(n.valueStart + n.valueBytes), n.end);
  return n;
}

bool KeyEquals(const ByteReader& block, const Node& n, std::string_view name) {
  if (n.keyChars != name.size()) return false;
  const auto fold = [](unsigned c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
  for (size_t i = 0; i < name.size(); ++i)
    if (fold(block.U16(n.keyStart + 2 * i).value_or(0)) != fold(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

std::optional<Node> FindChild(const ByteReader& block, const Node& parent, std::string_view name) {
  for (size_t at = parent.childrenStart; at + kBlockHeaderSize <= parent.end;) {
    const auto child = ParseNode(block, at, parent.end);
    if (!child) return std::nullopt;
    if (KeyEquals(block, *child, name)) return child;
    at = Align4(child->end);
  }
  return std::nullopt;
}

// Buffers filled by GetFileVersionInfoA that have the room for ANSI texts, by address. Text
// queries answer only in those, so a query never writes past a buffer it does not know.
std::mutex roomMutex;
std::map<const void*, size_t>& BlocksWithRoom() {
  static std::map<const void*, size_t> blocks;
  return blocks;
}

bool HasRoomForTexts(const void* block, size_t blockLength) {
  std::lock_guard lock(roomMutex);
  const auto found = BlocksWithRoom().find(block);
  return found != BlocksWithRoom().end() && found->second >= RoomForBlock(blockLength);
}

// The test's answer to the root query, when one is set: a heap block of exactly its bytes, so
// that a read past it is a read past an allocation.
struct FixedInfoAnswer {
  std::mutex mutex;
  std::unique_ptr<uint8_t[]> bytes;
  size_t size = 0;
};
FixedInfoAnswer& TestFixedInfo() {
  static FixedInfoAnswer answer;
  return answer;
}

}  // namespace

void Win32SimSetFixedInfoAnswer(const std::vector<uint8_t>& bytes) {
  FixedInfoAnswer& answer = TestFixedInfo();
  std::lock_guard lock(answer.mutex);
  answer.bytes = std::make_unique<uint8_t[]>(bytes.size());  // new[] of 0 bytes is a distinct, non-null block
  std::copy(bytes.begin(), bytes.end(), answer.bytes.get());
  answer.size = bytes.size();
}

void Win32SimClearFixedInfoAnswer() {
  FixedInfoAnswer& answer = TestFixedInfo();
  std::lock_guard lock(answer.mutex);
  answer.bytes.reset();
  answer.size = 0;
}

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
  if (handle != nullptr) *handle = 0;
  const auto resource = ReadVersionResource(fileName);
  if (!resource) return 0;
  return static_cast<DWORD>(RoomForBlock(resource->size()));
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD /*handle*/, DWORD size, LPVOID data) {
  if (data == nullptr || size < kBlockHeaderSize) return FALSE;
  const auto resource = ReadVersionResource(fileName);
  if (!resource) return FALSE;
  auto* out = static_cast<uint8_t*>(data);
  const size_t copied = std::min<size_t>(size, resource->size());
  std::memcpy(out, resource->data(), copied);
  if (size_t{out[0]} + (size_t{out[1]} << 8) > copied) {
    // A cut copy (or a block claiming more than its resource holds) says so in its own
    // length, so no query reads past what was copied.
    out[0] = static_cast<uint8_t>(copied);
    out[1] = static_cast<uint8_t>(copied >> 8);
  }
  std::lock_guard lock(roomMutex);
  if (copied == resource->size() && size >= RoomForBlock(copied))
    BlocksWithRoom()[data] = size;
  else
    BlocksWithRoom().erase(data);
  return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID blockAddress, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
  if (blockAddress == nullptr || subBlock == nullptr || buffer == nullptr) return FALSE;
  const auto* bytes = static_cast<const uint8_t*>(blockAddress);
  const size_t blockLength = static_cast<size_t>(bytes[0] | bytes[1] << 8);
  const ByteReader block(std::span<const uint8_t>(bytes, blockLength));
  auto node = ParseNode(block, 0, blockLength);
  if (!node || !KeyEquals(block, *node, "VS_VERSION_INFO")) return FALSE;

  std::string_view path(subBlock);
  bool root = true;
  while (!path.empty()) {
    const size_t separator = path.find('\\');
    const std::string_view part = path.substr(0, separator);
    path = separator == std::string_view::npos ? std::string_view() : path.substr(separator + 1);
    if (part.empty()) continue;
    node = FindChild(block, *node, part);
    if (!node) return FALSE;
    root = false;
  }

  if (root) {  // "\": the fixed file information
    FixedInfoAnswer& answer = TestFixedInfo();
    std::lock_guard lock(answer.mutex);
    if (answer.bytes != nullptr) {
      *buffer = answer.bytes.get();
      if (length != nullptr) *length = static_cast<UINT>(answer.size);
      return TRUE;
    }
    if (node->valueBytes < sizeof(VS_FIXEDFILEINFO) || node->valueStart % 4 != 0 ||
        block.U32(node->valueStart) != kFixedInfoSignature)
      return FALSE;
    *buffer = const_cast<uint8_t*>(bytes + node->valueStart);
    if (length != nullptr) *length = static_cast<UINT>(node->valueBytes);
    return TRUE;
  }
  if (!node->text) {
    *buffer = const_cast<uint8_t*>(bytes + node->valueStart);
    if (length != nullptr) *length = node->valueLength;
    return TRUE;
  }
  // Text is UTF-16 in the block; the ANSI answer is a converted copy in the room after the
  // block, at the same distance from the room's start as the text from the block's start.
  if (!HasRoomForTexts(blockAddress, blockLength)) return FALSE;
  if (node->valueBytes < 2) {  // an empty text
    static char empty[1] = "";
    *buffer = empty;
    if (length != nullptr) *length = 0;
    return TRUE;
  }
  auto* ansi = const_cast<uint8_t*>(bytes) + blockLength + 4 + node->valueStart;
  size_t chars = 0;
  for (; chars < node->valueBytes / 2; ++chars) {
    const uint16_t c = block.U16(node->valueStart + 2 * chars).value_or(0);
    if (c == 0) break;
    ansi[chars] = static_cast<uint8_t>(c < 0x100 ? c : '?');
  }
  ansi[chars] = 0;
  *buffer = ansi;
  if (length != nullptr) *length = static_cast<UINT>(chars + 1);
  return TRUE;
}

}  // extern "C"
