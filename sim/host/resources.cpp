// Reads a module's declaration resources without running any of its code: the function
// declarations (ZEMF 1100), the information words (ZEMI 1100), the string list (STR# 1101) and
// the file version of its version block, from a compiled resource file (.res) or from the
// resource section of a PE library. Every offset and size read from the file is checked against
// the data before it is used.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "sim/host/quorsim.h"

namespace quorsim {
namespace {

constexpr uint16_t kZemfId = 1100;
constexpr uint16_t kZemiId = 1100;
constexpr uint16_t kStringListId = 1101;
constexpr uint16_t kVersionType = 16, kVersionId = 1;
constexpr uint16_t kPreferredLanguage = 1033;
constexpr size_t kMaxFunctionNameLength = 31;
constexpr size_t kMinZemiWords = 5;

// A little-endian reader over a span that refuses to read past its end.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  size_t Size() const { return data_.size(); }
  bool Has(uint64_t offset, uint64_t count) const {
    return offset <= data_.size() && count <= data_.size() - offset;
  }
  std::optional<uint16_t> U16(uint64_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::optional<uint32_t> U32(uint64_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16) | (static_cast<uint32_t>(data_[offset + 3]) << 24);
  }
  std::span<const uint8_t> Sub(uint64_t offset, uint64_t count) const {
    return data_.subspan(static_cast<size_t>(offset), static_cast<size_t>(count));
  }

 private:
  std::span<const uint8_t> data_;
};

// A resource identifier: a number or a name (names compare without regard to case).
struct ResourceKey {
  bool isName = false;
  uint16_t id = 0;
  std::string name;
};

struct RawResource {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  std::span<const uint8_t> data;
};

bool SameNameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

// UTF-16 code units to text; anything outside ASCII becomes '?' (the names we look for are ASCII).
char NarrowUnit(uint16_t unit) { return unit < 0x80 ? static_cast<char>(unit) : '?'; }

bool IsStandardNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsStandardNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// ---------------------------------------------------------------- .res files
// The first record of a compiled resource file is an empty one: data size 0, header size 32,
// type and name both the ordinal 0.
bool LooksLikeResFile(const Reader& r) {
  return r.U32(0) == 0u && r.U32(4) == 32u && r.U16(8) == 0xFFFF && r.U16(10) == 0 && r.U16(12) == 0xFFFF &&
         r.U16(14) == 0;
}

// Reads a type or name field of a resource header: 0xFFFF and an ordinal, or a terminated
// UTF-16 string. `end` bounds the header. Advances `pos`.
bool ReadResKey(const Reader& r, uint64_t& pos, uint64_t end, ResourceKey* key) {
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

bool ParseResFile(const Reader& r, std::vector<RawResource>* out, std::string* error) {
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
    RawResource res;
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
    out->push_back(std::move(res));
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
std::optional<uint64_t> RvaToOffset(const std::vector<Section>& sections, const Reader& r, uint32_t rva,
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
  Reader dir;  // the resource directory, offsets relative to its start
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

bool ParsePeFile(const Reader& r, std::vector<RawResource>* out, std::string* error) {
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
  ResourceTree tree{Reader(r.Sub(*resOffset, resSize))};
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

// The resource of the type (a name, or a number when typeName is null) and numeric id; language
// 1033 if there is one, else the first.
const RawResource* FindResource(const std::vector<RawResource>& all, const char* typeName, uint16_t id,
                                uint16_t typeId = 0) {
  const RawResource* found = nullptr;
  for (const RawResource& res : all) {
    const bool sameType = typeName != nullptr ? res.type.isName && SameNameNoCase(res.type.name, typeName)
                                              : !res.type.isName && res.type.id == typeId;
    if (!sameType || res.name.isName || res.name.id != id) continue;
    if (res.language == kPreferredLanguage) return &res;
    if (found == nullptr) found = &res;
  }
  return found;
}

}  // namespace

bool ParseFunctionDeclarations(std::span<const uint8_t> zemf, std::vector<FunctionDeclaration>* out,
                               std::string* error) {
  out->clear();
  Reader r(zemf);
  size_t pos = 0;
  while (pos < zemf.size()) {
    const size_t start = pos;
    const std::string where = "declaration " + std::to_string(out->size()) + " (byte " + std::to_string(start) + ")";
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(zemf.data() + pos, 0, zemf.size() - pos));
    if (nul == nullptr) {
      *error = where + ": function name is not terminated";
      return false;
    }
    FunctionDeclaration decl;
    decl.name.assign(reinterpret_cast<const char*>(zemf.data() + pos), static_cast<size_t>(nul - (zemf.data() + pos)));
    if (decl.name.empty()) {
      *error = where + ": empty function name";
      return false;
    }
    if (decl.name.size() > kMaxFunctionNameLength) {
      *error = where + ": function name is longer than 31 characters";
      return false;
    }
    if (!IsStandardNameStart(decl.name[0]) || !std::all_of(decl.name.begin(), decl.name.end(), IsStandardNameChar)) {
      *error = where + ": function name is not a standard name";
      return false;
    }
    pos += decl.name.size() + 1;
    std::optional<uint16_t> category = r.U16(pos);
    std::optional<uint16_t> resultType = r.U16(pos + 2);
    if (!category || !resultType) {
      *error = where + ": " + decl.name + " is cut short before its result type";
      return false;
    }
    decl.category = *category;
    decl.resultType = *resultType;
    pos += 4;
    for (;;) {
      std::optional<uint16_t> type = r.U16(pos);
      if (!type) {
        *error = where + ": parameter list of " + decl.name + " has no terminating 0 word";
        return false;
      }
      pos += 2;
      if (*type == 0) break;
      decl.parameterTypes.push_back(*type);
    }
    for (const FunctionDeclaration& earlier : *out) {
      if (SameNameNoCase(earlier.name, decl.name)) {
        *error = where + ": function " + decl.name + " is declared twice";
        return false;
      }
    }
    out->push_back(std::move(decl));
  }
  return true;
}

bool ParseStringList(std::span<const uint8_t> strList, std::vector<std::string>* out, std::string* error) {
  out->clear();
  size_t pos = 0;
  for (;;) {
    if (pos >= strList.size()) {
      *error = "string list has no closing empty string";
      return false;
    }
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(strList.data() + pos, 0, strList.size() - pos));
    if (nul == nullptr) {
      *error = "string " + std::to_string(out->size() + 1) + " of the string list is not terminated";
      return false;
    }
    size_t length = static_cast<size_t>(nul - (strList.data() + pos));
    if (length == 0) break;
    out->emplace_back(reinterpret_cast<const char*>(strList.data() + pos), length);
    pos += length + 1;
  }
  // Zero bytes of padding may follow the closing empty string; anything else is not a list.
  for (size_t i = pos + 1; i < strList.size(); ++i) {
    if (strList[i] != 0) {
      *error = "data after the end of the string list";
      return false;
    }
  }
  return true;
}

bool ParseInformationWords(std::span<const uint8_t> zemi, std::vector<uint16_t>* out, std::string* error) {
  out->clear();
  if (zemi.size() % 2 != 0 || zemi.size() < kMinZemiWords * 2) {
    *error = "information record has " + std::to_string(zemi.size()) + " bytes, not 5 or more whole words";
    return false;
  }
  Reader r(zemi);
  for (size_t pos = 0; pos < zemi.size(); pos += 2) out->push_back(*r.U16(pos));
  return true;
}

bool ParseModuleDeclarations(std::span<const uint8_t> file, ModuleDeclarations* out, std::string* error) {
  *out = {};
  Reader r(file);
  std::vector<RawResource> all;
  bool ok = false;
  if (r.U16(0) == 0x5A4D) {  // "MZ": a PE library
    ok = ParsePeFile(r, &all, error);
  } else if (LooksLikeResFile(r)) {
    ok = ParseResFile(r, &all, error);
  } else {
    *error = "neither a compiled resource file nor a PE library";
  }
  if (!ok) return false;

  DeclarationResources found;
  if (const RawResource* zemf = FindResource(all, "ZEMF", kZemfId)) found.zemf = zemf->data;
  if (const RawResource* zemi = FindResource(all, "ZEMI", kZemiId)) found.zemi = zemi->data;
  if (const RawResource* strings = FindResource(all, "STR#", kStringListId)) found.strings = strings->data;
  if (const RawResource* version = FindResource(all, nullptr, kVersionId, kVersionType)) found.version = version->data;
  return ParseDeclarationResources(found, out, error);
}

bool ParseDeclarationResources(const DeclarationResources& found, ModuleDeclarations* out, std::string* error) {
  *out = {};
  if (!found.zemf) {
    *error = "no ZEMF 1100 resource (function declarations)";
    return false;
  }
  if (!ParseFunctionDeclarations(*found.zemf, &out->functions, error)) {
    *error = "ZEMF 1100: " + *error;
    return false;
  }
  if (!found.zemi) {
    *error = "no ZEMI 1100 resource (information record)";
    return false;
  }
  if (!ParseInformationWords(*found.zemi, &out->information, error)) {
    *error = "ZEMI 1100: " + *error;
    return false;
  }
  if (found.strings && !ParseStringList(*found.strings, &out->strings, error)) {
    *error = "STR# 1101: " + *error;
    return false;
  }
  if (found.version) out->version = FileVersionText(*found.version);
  return true;
}

std::string FileVersionText(std::span<const uint8_t> versionBlock) {
  // The block's header (length, value length, type, "VS_VERSION_INFO" in UTF-16 with its 0,
  // padded to 40 bytes), then the fixed file information: signature, structure version, and the
  // file version's high and low double words.
  constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
  constexpr size_t kFixedInfoAt = 40, kFixedInfoBytes = 52;
  const Reader r(versionBlock);
  const auto valueBytes = r.U16(2);
  const auto signature = r.U32(kFixedInfoAt), high = r.U32(kFixedInfoAt + 8), low = r.U32(kFixedInfoAt + 12);
  if (!valueBytes || *valueBytes < kFixedInfoBytes || signature != kFixedInfoSignature || !high || !low) return {};
  return std::to_string(*high >> 16) + "." + std::to_string(*high & 0xFFFF) + "." + std::to_string(*low >> 16) + "." +
         std::to_string(*low & 0xFFFF);
}

bool ReadModuleDeclarations(const std::string& path, ModuleDeclarations* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path + ": " + std::strerror(errno);  // the open's reason
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  if (!ParseModuleDeclarations(bytes, out, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace quorsim
