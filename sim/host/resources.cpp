// Reads a module's declaration resources without running any of its code: the function
// declarations (ZEMF 1100), the information words (ZEMI 1100), the string list (STR# 1101) and
// the file version of its version block, from a compiled resource file (.res) or from the
// resource section of a PE library, found there by the stand-ins' resource reader. Every offset
// and size read from the data is checked before it is used.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "sim/host/quorsim.h"
#include "sim/resource_reader/resource_reader.h"

namespace quorsim {
namespace {

using resourcereader::ByteReader;
using resourcereader::Resource;

constexpr uint16_t kZemfId = 1100;
constexpr uint16_t kZemiId = 1100;
constexpr uint16_t kStringListId = 1101;
constexpr uint16_t kVersionType = 16, kVersionId = 1;
constexpr uint16_t kPreferredLanguage = 1033;
constexpr size_t kMaxFunctionNameLength = 31;
constexpr size_t kMinZemiWords = 5;

bool IsStandardNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsStandardNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// The resource of the type (a name or a number) and numeric id; language 1033 if there is one,
// else the first.
template <typename Type>
const Resource* FindResource(const std::vector<Resource>& all, Type type, uint16_t id) {
  const Resource* found = nullptr;
  for (const Resource& res : all) {
    if (!res.type.Is(type) || !res.name.Is(id)) continue;
    if (res.language == kPreferredLanguage) return &res;
    if (found == nullptr) found = &res;
  }
  return found;
}

}  // namespace

bool ParseFunctionDeclarations(std::span<const uint8_t> zemf, std::vector<FunctionDeclaration>* out,
                               std::string* error) {
  out->clear();
  ByteReader r(zemf);
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
      if (resourcereader::SameNameNoCase(earlier.name, decl.name)) {
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
  ByteReader r(zemi);
  for (size_t pos = 0; pos < zemi.size(); pos += 2) out->push_back(*r.U16(pos));
  return true;
}

bool ParseModuleDeclarations(std::span<const uint8_t> file, ModuleDeclarations* out, std::string* error) {
  *out = {};
  std::vector<Resource> all;
  if (!resourcereader::ReadResources(file, &all, error)) return false;
  DeclarationResources found;
  if (const Resource* zemf = FindResource(all, "ZEMF", kZemfId)) found.zemf = zemf->data;
  if (const Resource* zemi = FindResource(all, "ZEMI", kZemiId)) found.zemi = zemi->data;
  if (const Resource* strings = FindResource(all, "STR#", kStringListId)) found.strings = strings->data;
  if (const Resource* version = FindResource(all, kVersionType, kVersionId)) found.version = version->data;
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
  const ByteReader r(versionBlock);
  const auto valueBytes = r.U16(2);
  const auto signature = r.U32(kFixedInfoAt), high = r.U32(kFixedInfoAt + 8), low = r.U32(kFixedInfoAt + 12);
  if (!valueBytes || *valueBytes < kFixedInfoBytes || signature != kFixedInfoSignature || !high || !low) return {};
  return std::to_string(*high >> 16) + "." + std::to_string(*high & 0xFFFF) + "." + std::to_string(*low >> 16) + "." +
         std::to_string(*low & 0xFFFF);
}

bool ReadModuleDeclarations(const std::string& path, ModuleDeclarations* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!resourcereader::ReadWholeFile(path, &bytes, error)) return false;
  if (!ParseModuleDeclarations(bytes, out, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace quorsim
