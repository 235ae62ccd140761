// The VERSION calls of the platform stand-in: find the version resource (type 16) in a compiled
// resource file (.res) or in a PE file's resource section, hand out a copy of it, and look up
// values in that copy by path the way VerQueryValueA does. Every offset read from a file is
// checked against the bytes that are really there.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "hostlink/win32_subset.h"
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

using Bytes = std::span<const uint8_t>;

// Little-endian reads that fail instead of running past the end.
struct Reader {
  Bytes data;
  bool Has(size_t offset, size_t count) const { return offset <= data.size() && count <= data.size() - offset; }
  uint16_t U16(size_t o) const { return static_cast<uint16_t>(data[o] | data[o + 1] << 8); }
  uint32_t U32(size_t o) const {
    return static_cast<uint32_t>(data[o]) | static_cast<uint32_t>(data[o + 1]) << 8 |
           static_cast<uint32_t>(data[o + 2]) << 16 | static_cast<uint32_t>(data[o + 3]) << 24;
  }
};

constexpr size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

std::optional<std::vector<uint8_t>> ReadWholeFile(const char* name) {
  if (name == nullptr) return std::nullopt;
  std::ifstream in(name, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || static_cast<uint64_t>(size) > kMaxFileSize) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
  return bytes;
}

// ---------------------------------------------------------------- compiled resource file

// A .res file opens with an empty record: no data, a 32-byte header, type and name ordinal 0.
bool LooksLikeResFile(const Reader& r) {
  return r.Has(0, 32) && r.U32(0) == 0 && r.U32(4) == 32 && r.U16(8) == 0xFFFF && r.U16(10) == 0;
}

// Records: DataSize, HeaderSize, type (0xFFFF + ordinal or a UTF-16 name), name, the rest of
// the header, then the data; every record starts on a 4-byte boundary.
std::optional<Bytes> VersionFromResFile(const Reader& r) {
  size_t offset = 0;
  while (r.Has(offset, 12)) {
    const uint32_t dataSize = r.U32(offset);
    const uint32_t headerSize = r.U32(offset + 4);
    if (headerSize < 16 || !r.Has(offset, headerSize) || !r.Has(offset + headerSize, dataSize)) return std::nullopt;
    if (r.U16(offset + 8) == 0xFFFF && r.U16(offset + 10) == kResourceTypeVersion && dataSize > 0)
      return r.data.subspan(offset + headerSize, dataSize);
    offset = Align4(offset + headerSize + dataSize);
  }
  return std::nullopt;
}

// ---------------------------------------------------------------- PE file

struct Section {
  uint32_t virtualAddress, rawSize, rawOffset, virtualSize;
};

// File offset of `count` bytes at a relative virtual address, if they lie in a section's raw data.
std::optional<size_t> RvaToOffset(const Reader& r, const std::vector<Section>& sections, uint32_t rva, uint32_t count) {
  for (const Section& s : sections) {
    if (rva < s.virtualAddress) continue;
    const uint64_t inSection = rva - s.virtualAddress;
    if (inSection + count > s.rawSize) continue;
    const uint64_t offset = s.rawOffset + inSection;
    if (offset <= r.data.size() && r.Has(static_cast<size_t>(offset), count)) return static_cast<size_t>(offset);
  }
  return std::nullopt;
}

// One level of the resource directory: the entry with the wanted identifier, or with
// wanted < 0 the first entry. Returns the entry's OffsetToData field.
std::optional<uint32_t> FindDirectoryEntry(const Reader& tree, uint32_t directory, int wanted) {
  if (!tree.Has(directory, 16)) return std::nullopt;
  const size_t count = size_t{tree.U16(directory + 12)} + tree.U16(directory + 14);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = directory + 16 + 8 * i;
    if (!tree.Has(entry, 8)) return std::nullopt;
    const uint32_t name = tree.U32(entry);
    if (wanted < 0 || (!(name & 0x80000000u) && name == static_cast<uint32_t>(wanted))) return tree.U32(entry + 4);
  }
  return std::nullopt;
}

std::optional<Bytes> VersionFromPeFile(const Reader& r) {
  if (!r.Has(0, 64) || r.U16(0) != 0x5A4D) return std::nullopt;  // "MZ"
  const size_t pe = r.U32(0x3C);
  if (!r.Has(pe, 24) || r.U32(pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
  const size_t coff = pe + 4;
  const size_t sectionCount = r.U16(coff + 2);
  const size_t optionalSize = r.U16(coff + 16);
  const size_t optional = coff + 20;
  if (!r.Has(optional, optionalSize) || optionalSize < 2) return std::nullopt;
  const uint16_t magic = r.U16(optional);
  const size_t directoryCountAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
  if (directoryCountAt == 0 || optionalSize < directoryCountAt + 4 + 3 * 8) return std::nullopt;
  if (r.U32(optional + directoryCountAt) < 3) return std::nullopt;
  const size_t resourceDirectory = optional + directoryCountAt + 4 + 2 * 8;  // data directory 2
  const uint32_t resourceRva = r.U32(resourceDirectory);
  if (resourceRva == 0) return std::nullopt;

  std::vector<Section> sections;
  const size_t table = optional + optionalSize;
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t s = table + 40 * i;
    if (!r.Has(s, 40)) return std::nullopt;
    sections.push_back({r.U32(s + 12), r.U32(s + 16), r.U32(s + 20), r.U32(s + 8)});
  }
  // The directory tree: offsets inside it count from its root, up to the end of its section.
  const auto root = RvaToOffset(r, sections, resourceRva, 16);
  if (!root) return std::nullopt;
  uint64_t treeEnd = *root;
  for (const Section& s : sections)
    if (*root >= s.rawOffset && *root < uint64_t{s.rawOffset} + s.rawSize) treeEnd = uint64_t{s.rawOffset} + s.rawSize;
  const Reader tree{r.data.subspan(*root, static_cast<size_t>(std::min<uint64_t>(treeEnd, r.data.size()) - *root))};

  // Type 16, then the first name (identifier 1 if present), then the first language.
  const auto type = FindDirectoryEntry(tree, 0, kResourceTypeVersion);
  if (!type || !(*type & 0x80000000u)) return std::nullopt;
  auto name = FindDirectoryEntry(tree, *type & 0x7FFFFFFFu, 1);
  if (!name) name = FindDirectoryEntry(tree, *type & 0x7FFFFFFFu, -1);
  if (!name || !(*name & 0x80000000u)) return std::nullopt;
  const auto language = FindDirectoryEntry(tree, *name & 0x7FFFFFFFu, -1);
  if (!language || (*language & 0x80000000u) || !tree.Has(*language, 16)) return std::nullopt;
  const uint32_t dataRva = tree.U32(*language);
  const uint32_t dataSize = tree.U32(*language + 4);
  const auto data = RvaToOffset(r, sections, dataRva, dataSize);
  if (!data || dataSize == 0) return std::nullopt;
  return r.data.subspan(*data, dataSize);
}

// The version resource of a file, in either format.
std::optional<std::vector<uint8_t>> ReadVersionResource(const char* fileName) {
  const auto file = ReadWholeFile(fileName);
  if (!file) return std::nullopt;
  const Reader r{*file};
  const auto found = LooksLikeResFile(r) ? VersionFromResFile(r) : VersionFromPeFile(r);
  // The block's own length field is 16 bits wide, so anything shorter than a header or longer
  // than 64 KiB is not a version block.
  if (!found || found->size() < kBlockHeaderSize || found->size() > 0xFFFF) return std::nullopt;
  return std::vector<uint8_t>(found->begin(), found->end());
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

std::optional<Node> ParseNode(const Reader& block, size_t start, size_t limit) {
  if (start + kBlockHeaderSize > limit) return std::nullopt;
  Node n;
  n.start = start;
  n.end = start + block.U16(start);
  if (n.end < start + kBlockHeaderSize || n.end > limit) return std::nullopt;
  n.valueLength = block.U16(start + 2);
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

bool KeyEquals(const Reader& block, const Node& n, std::string_view name) {
  if (n.keyChars != name.size()) return false;
  const auto fold = [](unsigned c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
  for (size_t i = 0; i < name.size(); ++i)
    if (fold(block.U16(n.keyStart + 2 * i)) != fold(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

std::optional<Node> FindChild(const Reader& block, const Node& parent, std::string_view name) {
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
  const Reader block{Bytes(bytes, blockLength)};
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
    const uint16_t c = block.U16(node->valueStart + 2 * chars);
    if (c == 0) break;
    ansi[chars] = static_cast<uint8_t>(c < 0x100 ? c : '?');
  }
  ansi[chars] = 0;
  *buffer = ansi;
  if (length != nullptr) *length = static_cast<UINT>(chars + 1);
  return TRUE;
}

}  // extern "C"
