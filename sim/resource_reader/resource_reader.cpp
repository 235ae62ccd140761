// The resource reader of the stand-ins and the tests: the record walk of a compiled resource
// file and the three-level directory walk of a PE file's resource section.
#include "sim/resource_reader/resource_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace resourcereader {
namespace {

// UTF-16 code units to text; anything outside ASCII becomes '?' (the names we look for are ASCII).
char NarrowUnit(uint16_t unit) { return unit < 0x80 ? static_cast<char>(unit) : '?'; }

// ---------------------------------------------------------------- .res files
// The first record of a compiled resource file is an empty one: data size 0, header size 32,
// type and name both the ordinal 0.
bool LooksLikeResFile(const ByteReader& r) {
  return r.U32(0) == 0u && r.U32(4) == 32u && r.U16(8) == 0xFFFF && r.U16(10) == 0 && r.U16(12) == 0xFFFF &&
         r.U16(14) == 0;
}

// Reads a type or name field of a resource header: 0xFFFF and an ordinal, or a terminated
// UTF-16 string. `end` bounds the header. Advances `pos`.
bool ReadResKey(const ByteReader& r, uint64_t& pos, uint64_t end, ResourceKey* key) {
  std::optional<uint16_t> first = r.U16(pos);
  if (!first || pos + 2 > end) return false;
  if (*first == 0xFFFF) {
    std::optional<uint16_t> id = r.U16(pos + 2);
    if (!id || pos + 4 > end) return false;
    key->isName = false;
    key->id = *id;
    pos += 4;
    return true;
  }
  key->isName = true;
  key->name.clear();
  for (;;) {
    std::optional<uint16_t> unit = r.U16(pos);
    if (!unit || pos + 2 > end) return false;
    pos += 2;
    if (*unit == 0) return true;
    key->name.push_back(NarrowUnit(*unit));
  }
}

bool ParseResFile(const ByteReader& r, std::vector<Resource>* out, std::string* error) {
  uint64_t offset = 0;
  int record = 0;
  while (offset < r.Size()) {
    std::optional<uint32_t> dataSize = r.U32(offset);
    std::optional<uint32_t> headerSize = r.U32(offset + 4);
    if (!dataSize || !headerSize) {
      *error = "resource record " + std::to_string(record) + " is cut short";
      return false;
    }
    uint64_t headerEnd = offset + *headerSize;
    if (*headerSize < 8 || !r.Has(offset, *headerSize)) {
      *error = "resource record " + std::to_string(record) + " has a header size outside the file";
      return false;
    }
    Resource res;
    uint64_t pos = offset + 8;
    if (!ReadResKey(r, pos, headerEnd, &res.type) || !ReadResKey(r, pos, headerEnd, &res.name)) {
      *error = "resource record " + std::to_string(record) + " has a malformed type or name";
      return false;
    }
    pos = (pos + 3) & ~uint64_t{3};
    // DataVersion (4), MemoryFlags (2), LanguageId (2), Version (4), Characteristics (4).
    if (pos + 16 > headerEnd) {
      *error = "resource record " + std::to_string(record) + " header is too short";
      return false;
    }
    res.language = *r.U16(pos + 6);
    if (!r.Has(headerEnd, *dataSize)) {
      *error = "resource record " + std::to_string(record) + " has data beyond the end of the file";
      return false;
    }
    res.data = r.Sub(headerEnd, *dataSize);
    if (record > 0) out->push_back(std::move(res));  // record 0 is the file's opening marker
    offset = (headerEnd + *dataSize + 3) & ~uint64_t{3};
    ++record;
  }
  return true;
}

// ---------------------------------------------------------------- PE files
struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

// File offset of the `count` bytes at `rva`, if they lie in one section's file data.
std::optional<uint64_t> RvaToOffset(const std::vector<Section>& sections, const ByteReader& r, uint32_t rva,
                                    uint32_t count) {
  for (const Section& s : sections) {
    if (rva < s.virtualAddress) continue;
    uint64_t within = uint64_t{rva} - s.virtualAddress;
    if (within + count > s.rawSize) continue;
    uint64_t offset = uint64_t{s.rawOffset} + within;
    if (!r.Has(offset, count)) return std::nullopt;
    return offset;
  }
  return std::nullopt;
}

// Entries visited in one resource tree at most: directories may point at each other, so a
// hostile file could otherwise make the three-level walk visit the same entries endlessly often.
constexpr uint32_t kMaxDirectoryEntriesVisited = 65536;

struct ResourceTree {
  ByteReader dir;  // the resource directory, offsets relative to its start
  uint32_t visited = 0;
};

bool ReadDirKey(const ResourceTree& t, uint32_t nameField, ResourceKey* key) {
  if ((nameField & 0x80000000u) == 0) {
    key->isName = false;
    key->id = static_cast<uint16_t>(nameField & 0xFFFF);
    return true;
  }
  uint64_t offset = nameField & 0x7FFFFFFFu;
  std::optional<uint16_t> length = t.dir.U16(offset);
  if (!length || !t.dir.Has(offset + 2, uint64_t{*length} * 2)) return false;
  key->isName = true;
  key->name.clear();
  for (uint16_t i = 0; i < *length; ++i) key->name.push_back(NarrowUnit(*t.dir.U16(offset + 2 + 2u * i)));
  return true;
}

// Calls `visit(key, isDirectory, offset)` for each entry of the directory at `offset`.
template <typename Visit>
bool ForEachDirEntry(ResourceTree& t, uint64_t offset, Visit visit) {
  std::optional<uint16_t> named = t.dir.U16(offset + 12);
  std::optional<uint16_t> ids = t.dir.U16(offset + 14);
  if (!named || !ids) return false;
  uint32_t count = uint32_t{*named} + *ids;
  if (!t.dir.Has(offset + 16, uint64_t{count} * 8)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (++t.visited > kMaxDirectoryEntriesVisited) return false;
    uint64_t entry = offset + 16 + uint64_t{i} * 8;
    uint32_t nameField = *t.dir.U32(entry);
    uint32_t dataField = *t.dir.U32(entry + 4);
    ResourceKey key;
    if (!ReadDirKey(t, nameField, &key)) return false;
    if (!visit(key, (dataField & 0x80000000u) != 0, uint64_t{dataField & 0x7FFFFFFFu})) return false;
  }
  return true;
}

bool ParsePeFile(const ByteReader& r, std::vector<Resource>* out, std::string* error) {
  std::optional<uint32_t> peOffset = r.U32(0x3C);
  if (!peOffset || r.U32(*peOffset) != 0x00004550u) {  // "PE\0\0"
    *error = "not a PE file: no PE signature";
    return false;
  }
  uint64_t coff = uint64_t{*peOffset} + 4;
  std::optional<uint16_t> sectionCount = r.U16(coff + 2);
  std::optional<uint16_t> optionalSize = r.U16(coff + 16);
  if (!sectionCount || !optionalSize) {
    *error = "PE file header is cut short";
    return false;
  }
  uint64_t opt = coff + 20;
  std::optional<uint16_t> magic = r.U16(opt);
  uint64_t countField = 0, directories = 0;
  if (magic == 0x10b) {
    countField = opt + 92;
    directories = opt + 96;
  } else if (magic == 0x20b) {
    countField = opt + 108;
    directories = opt + 112;
  } else {
    *error = "PE optional header has an unknown format";
    return false;
  }
  std::optional<uint32_t> directoryCount = r.U32(countField);
  if (!directoryCount || countField + 4 > opt + *optionalSize) {
    *error = "PE optional header is cut short";
    return false;
  }
  constexpr uint32_t kResourceDirectory = 2;
  uint64_t resEntry = directories + kResourceDirectory * 8;
  if (*directoryCount <= kResourceDirectory || resEntry + 8 > opt + *optionalSize || !r.Has(resEntry, 8)) {
    *error = "PE file has no resource section";
    return false;
  }
  uint32_t resRva = *r.U32(resEntry);
  uint32_t resSize = *r.U32(resEntry + 4);
  if (resRva == 0 || resSize == 0) {
    *error = "PE file has no resource section";
    return false;
  }
  std::vector<Section> sections;
  uint64_t table = opt + *optionalSize;
  if (!r.Has(table, uint64_t{*sectionCount} * 40)) {
    *error = "PE section table is cut short";
    return false;
  }
  for (uint16_t i = 0; i < *sectionCount; ++i) {
    uint64_t s = table + uint64_t{i} * 40;
    sections.push_back({*r.U32(s + 12), *r.U32(s + 8), *r.U32(s + 16), *r.U32(s + 20)});
  }
  std::optional<uint64_t> resOffset = RvaToOffset(sections, r, resRva, resSize);
  if (!resOffset) {
    *error = "PE resource section lies outside the file";
    return false;
  }
  ResourceTree tree{ByteReader(r.Sub(*resOffset, resSize))};
  bool dataOk = true;
  // Three fixed levels: type, name, language; a subdirectory where data is due (or the other
  // way round) makes the file malformed, so no directory is visited twice.
  bool ok = ForEachDirEntry(tree, 0, [&](const ResourceKey& type, bool typeIsDir, uint64_t typeOffset) {
    if (!typeIsDir) return false;
    return ForEachDirEntry(tree, typeOffset, [&](const ResourceKey& name, bool nameIsDir, uint64_t nameOffset) {
      if (!nameIsDir) return false;
      return ForEachDirEntry(tree, nameOffset, [&](const ResourceKey& lang, bool langIsDir, uint64_t dataOffset) {
        if (langIsDir) return false;
        std::optional<uint32_t> dataRva = tree.dir.U32(dataOffset);
        std::optional<uint32_t> dataSize = tree.dir.U32(dataOffset + 4);
        if (!dataRva || !dataSize) return false;
        std::optional<uint64_t> fileOffset = RvaToOffset(sections, r, *dataRva, *dataSize);
        if (!fileOffset) {
          dataOk = false;
          return false;
        }
        out->push_back({type, name, lang.id, r.Sub(*fileOffset, *dataSize)});
        return true;
      });
    });
  });
  if (!ok) {
    *error = dataOk ? "PE resource directory is malformed" : "PE resource data lies outside the file";
    return false;
  }
  return true;
}

}  // namespace

bool SameNameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

bool ReadResources(std::span<const uint8_t> file, std::vector<Resource>* out, std::string* error) {
  out->clear();
  const ByteReader r(file);
  if (r.U16(0) == 0x5A4D) return ParsePeFile(r, out, error);  // "MZ": a PE file
  if (LooksLikeResFile(r)) return ParseResFile(r, out, error);
  *error = "neither a compiled resource file nor a PE library";
  return false;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* error, uint64_t maxBytes) {
  out->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path + ": " + std::strerror(errno);  // the open's reason
    return false;
  }
  char chunk[1 << 14];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    const auto count = static_cast<size_t>(in.gcount());
    if (out->size() + count > maxBytes) {
      *error = path + " is larger than " + std::to_string(maxBytes) + " bytes";
      return false;
    }
    out->insert(out->end(), chunk, chunk + count);
  }
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

}  // namespace resourcereader
