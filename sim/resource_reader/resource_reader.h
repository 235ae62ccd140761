// The one reader of resource data for the stand-ins and the tests: the resources of a compiled
// resource file (.res) or of a PE file's resource section, each with its type, name, language
// and bytes. The host reads a module's declarations with it, the platform stand-in the version
// resource of an executable. Every offset and size read from the file is checked against the
// data before it is used.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace resourcereader {

// A little-endian reader over a span that refuses to read past its end.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}
  size_t Size() const { return data_.size(); }
  bool Has(uint64_t offset, uint64_t count) const { return offset <= data_.size() && count <= data_.size() - offset; }
  std::optional<uint16_t> U16(uint64_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::optional<uint32_t> U32(uint64_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16) | (static_cast<uint32_t>(data_[offset + 3]) << 24);
  }
  // The bytes at offset; the caller has checked them with Has.
  std::span<const uint8_t> Sub(uint64_t offset, uint64_t count) const {
    return data_.subspan(static_cast<size_t>(offset), static_cast<size_t>(count));
  }

 private:
  std::span<const uint8_t> data_;
};

// ASCII names equal but for case.
bool SameNameNoCase(std::string_view a, std::string_view b);

// A resource type or name: a number or a name (UTF-16 in the file; units outside ASCII read as '?').
struct ResourceKey {
  bool isName = false;
  uint16_t id = 0;
  std::string name;
  bool Is(uint16_t number) const { return !isName && id == number; }
  bool Is(std::string_view text) const { return isName && SameNameNoCase(name, text); }
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  std::span<const uint8_t> data;  // inside the file's bytes
};

// Every resource of the file, in the file's order (a .res file's opening empty record is not
// one). On damage: false with a message, and `out` holds the resources read before it.
bool ReadResources(std::span<const uint8_t> file, std::vector<Resource>* out, std::string* error);

// The whole file, if it opens, reads and holds at most maxBytes; false with a message otherwise.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* error,
                   uint64_t maxBytes = UINT64_MAX);

}  // namespace resourcereader
