// The host's answers to the support layer's requests about data folders (root, current,
// switching, paths), names (free names, conflicts, legal names, command-text form, look-up),
// notices and output lines, variables of the data folders, and the command text the host is
// executing for the module. The rules are listed beside the declarations in quorsim.h.
#include <algorithm>
#include <iterator>
#include <charconv>
#include <cstring>
#include <map>
#include <string_view>

#include "sim/host/host_internal.h"

namespace quorsim {
namespace {

constexpr size_t kMaxNameLength = kMaxWaveNameLength;  // 31, for every object
constexpr size_t kMaxBaseTextLength = 255;             // a base name or a path element read from an item
constexpr size_t kMaxNoticeLength = 1023;
constexpr size_t kCommandTextBufferChars = 255;        // message 12 writes at most this and a terminator
constexpr int32_t kVariableFlagBit = 0x4000;
constexpr int kTypeWave = 1, kTypeNumeric = 3, kTypeString = 4, kTypeFolder = 11;
constexpr int kVariableReal = 4, kVariableComplex = 5, kVariableString = 0;

// Names of the command language's own functions, operations and keywords.
constexpr std::string_view kReservedNames[] = {
    "abs",   "cos",      "exp",      "floor",    "ceil",   "ln",        "log",       "max",
    "min",   "mod",      "round",    "sin",      "sqrt",   "tan",       "if",        "else",
    "endif", "for",      "endfor",   "do",       "while",  "break",     "continue",  "return",
    "end",   "function", "variable", "string",   "wave",   "make",      "print",     "duplicate",
    "killwaves", "setdatafolder", "newdatafolder", "root", "pi", "inf", "nan", "x", "p"};

struct Variable {
  std::string name;
  int type = kVariableReal;
  int32_t creationType = kVariableReal;
  double value[2] = {0, 0};
  std::string text;
};

struct SupportState {
  // Variables by folder; unique_ptr keeps each variable's address while others come and go.
  std::map<const Folder*, std::vector<std::unique_ptr<Variable>>> variables;
  std::vector<std::string> notices;
  std::vector<std::string> outputLines;
  std::string commandText;
  size_t commandPosition = 0;
};

SupportState& StateOf(Host::State& s) {
  if (!s.supportState) s.supportState = std::make_shared<SupportState>();
  return *static_cast<SupportState*>(s.supportState.get());
}

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(unsigned char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
// Characters a liberal name may not hold.
bool IsForbiddenLiberal(unsigned char c) { return c == '\'' || c == '"' || c == ':' || c == ';' || c < 0x20 || c == 0x7F; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsStatementEnd(char c) { return c == '\0' || c == '\r' || c == ';' || c == '|'; }

const char* TextAt(HostWord item) { return reinterpret_cast<const char*>(item); }
template <typename T>
T* PointerAt(HostWord item) {
  return reinterpret_cast<T*>(item);
}

// A text from an item, read up to its terminator but at most limit + 1 bytes; false when the
// item is null or the text is longer than limit.
bool TextFromItem(HostWord item, size_t limit, std::string* text) {
  const char* p = TextAt(item);
  if (p == nullptr) return false;
  const size_t length = strnlen(p, limit + 1);
  if (length > limit) return false;
  text->assign(p, length);
  return true;
}

void WriteText(HostWord item, const std::string& text) {
  char* out = PointerAt<char>(item);
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
}

// ---------------------------------------------------------------- objects of a folder
std::vector<std::unique_ptr<Variable>>& VariablesOf(Host::State& s, const Folder& folder) {
  return StateOf(s).variables[&folder];
}

Variable* FindVariableNamed(Host::State& s, const Folder& folder, const std::string& name) {
  for (auto& v : VariablesOf(s, folder)) {
    if (SameNameNoCase(v->name, name)) return v.get();
  }
  return nullptr;
}

// The object of that name in the folder: its type code and its data; false if there is none.
bool FindObject(Host::State& s, const Folder& folder, const std::string& name, int* type, void** data) {
  if (Wave* w = FindWaveNamed(folder, name)) {
    *type = kTypeWave;
    *data = w->handle;
    return true;
  }
  if (Variable* v = FindVariableNamed(s, folder, name)) {
    *type = v->type == kVariableString ? kTypeString : kTypeNumeric;
    *data = v->type == kVariableString ? static_cast<void*>(v->text.data()) : static_cast<void*>(v->value);
    return true;
  }
  if (Folder* f = FindFolderNamed(folder, name)) {
    *type = kTypeFolder;
    *data = f->handle;
    return true;
  }
  return false;
}

bool IsModuleFunction(const Host::State& s, const std::string& name) {
  return std::any_of(s.declarations.functions.begin(), s.declarations.functions.end(),
                     [&](const FunctionDeclaration& d) { return SameNameNoCase(d.name, name); });
}

bool NameTaken(Host::State& s, const Folder& folder, const std::string& name) {
  int type = 0;
  void* data = nullptr;
  return IsReservedName(name) || IsModuleFunction(s, name) || FindObject(s, folder, name, &type, &data);
}

// ---------------------------------------------------------------- names
// Message 76: base + counter, counting up until free.
int32_t FreeName(Host::State& s, HostWord space, HostWord baseItem, HostWord outItem, HostWord counterItem) {
  std::string base;
  int32_t* counter = PointerAt<int32_t>(counterItem);
  if (space != 1 || outItem == 0 || counter == nullptr || !TextFromItem(baseItem, kMaxBaseTextLength, &base))
    return kErrBadParameter;
  const Folder& folder = *s.current;
  // Each used name blocks at most one number per count of digits, so this many tries always
  // reach a free one unless the counter runs out.
  const size_t used = folder.waves.size() + folder.children.size() + VariablesOf(s, folder).size() +
                      std::size(kReservedNames) + s.declarations.functions.size();
  const int64_t tries = static_cast<int64_t>(used + 1) * 11;
  for (int64_t n = std::max<int32_t>(*counter, 0), end = n + tries; n < end && n <= INT32_MAX; ++n) {
    const std::string digits = std::to_string(n);
    const std::string name = base.substr(0, kMaxNameLength - digits.size()) + digits;
    if (NameTaken(s, folder, name)) continue;
    WriteText(outItem, name);
    *counter = static_cast<int32_t>(static_cast<uint32_t>(n) + 1u);
    return 0;
  }
  return kErrNoFreeName;
}

// Message 150: may a new object of this type have this name here?
int32_t NameConflict(Host::State& s, HostWord folderItem, HostWord type, HostWord nameItem) {
  Folder* folder = FolderOf(s, folderItem);
  if (folder == nullptr) return kErrNoDataFolder;
  std::string name;
  if (!TextFromItem(nameItem, kMaxNameLength, &name)) return kErrBadName;
  if (IsReservedName(name) || IsModuleFunction(s, name)) return kErrReservedName;
  int existingType = 0;
  void* data = nullptr;
  if (FindObject(s, *folder, name, &existingType, &data) && existingType != type) return kErrNameInUse;
  return 0;
}

// Message 152: the name made legal in place.
int32_t LegalizeName(HostWord liberal, HostWord nameItem, HostWord maxLengthItem) {
  char* name = PointerAt<char>(nameItem);
  if (name == nullptr || maxLengthItem < 1) return kErrBadParameter;
  const size_t limit = std::min(static_cast<size_t>(maxLengthItem), kMaxNameLength);
  // The buffer holds limit + 1 bytes: what lies beyond them is not the name's.
  std::string text(name, strnlen(name, limit + 1));
  if (text.empty()) return kErrBadName;
  if (liberal != 0) {
    for (char& c : text) {
      if (IsForbiddenLiberal(static_cast<unsigned char>(c))) c = '_';
    }
  } else {
    if (!IsLetter(static_cast<unsigned char>(text[0]))) text.insert(text.begin(), 'X');
    for (size_t i = 1; i < text.size(); ++i) {
      if (!IsNameChar(static_cast<unsigned char>(text[i]))) text[i] = '_';
    }
  }
  if (text.size() > limit) text.resize(limit);
  WriteText(nameItem, text);
  return 0;
}

// Message 151: a name in the form command text needs.
int32_t FormatName(HostWord nameItem) {
  std::string name;
  if (!TextFromItem(nameItem, kMaxBaseTextLength, &name)) return kErrBadName;
  if (name.empty() || IsStandardName(name)) return 0;
  if (std::any_of(name.begin(), name.end(), [](char c) { return c == '\'' || c == '"' || c == ':' || c == ';'; }))
    return kErrBadName;
  WriteText(nameItem, "'" + name + "'");
  return 0;
}

// Message 159.
int32_t LookUp(Host::State& s, HostWord folderItem, HostWord nameItem, HostWord typeItem, HostWord dataItem) {
  Folder* folder = FolderOf(s, folderItem);
  if (folder == nullptr) return kErrNoDataFolder;
  int32_t* typeOut = PointerAt<int32_t>(typeItem);
  std::string name;
  if (typeOut == nullptr || !TextFromItem(nameItem, kMaxBaseTextLength, &name)) return kErrBadParameter;
  int type = 0;
  void* data = nullptr;
  if (!FindObject(s, *folder, name, &type, &data)) return kErrNoSuchObject;
  *typeOut = type;
  if (void** dataOut = PointerAt<void*>(dataItem)) *dataOut = data;
  return 0;
}

// ---------------------------------------------------------------- data-folder paths
std::string Unquoted(const std::string& element) {
  if (element.size() >= 2 && element.front() == '\'' && element.back() == '\'')
    return element.substr(1, element.size() - 2);
  return element;
}

// Message 108.
int32_t ResolvePath(Host::State& s, HostWord startItem, HostWord pathItem, HostWord outItem) {
  Handle* out = PointerAt<Handle>(outItem);
  if (out == nullptr) return kErrBadParameter;
  *out = nullptr;
  Folder* folder = FolderOf(s, startItem);
  if (folder == nullptr) return kErrNoDataFolder;
  const char* pathText = TextAt(pathItem);
  if (pathText == nullptr) return kErrBadParameter;
  const std::string path = pathText;
  if (s.options.version < 301 && !path.empty() && path.back() == ':') return kErrBadFolderPath;

  // The rest to walk always starts with ':' (or is empty): "root" moves to the root first, a
  // plain relative path gets the ':' it leaves out.
  std::string rest;
  const std::string first = path.substr(0, path.find(':'));
  if (!first.empty() && SameNameNoCase(Unquoted(first), "root")) {
    folder = s.root.get();
    rest = path.substr(first.size());
  } else {
    rest = (!path.empty() && path[0] == ':') ? path : ":" + path;
  }
  size_t i = 0;
  while (i < rest.size()) {
    ++i;  // the ':'
    const size_t next = std::min(rest.find(':', i), rest.size());
    const std::string element = rest.substr(i, next - i);
    i = next;
    if (element.empty()) {
      if (i == rest.size()) break;  // a trailing ':' adds nothing
      if (folder->parent == nullptr) return kErrNoSuchFolder;
      folder = folder->parent;
      continue;
    }
    Folder* child = FindFolderNamed(*folder, Unquoted(element));
    if (child == nullptr) return kErrNoSuchFolder;
    folder = child;
  }
  *out = folder->handle;
  return 0;
}

// ---------------------------------------------------------------- variables
int32_t ReadNumeric(Host::State& s, HostWord nameItem, HostWord realItem, HostWord imaginaryItem) {
  std::string name;
  double* real = PointerAt<double>(realItem);
  if (real == nullptr || !TextFromItem(nameItem, kMaxBaseTextLength, &name)) return kErrBadParameter;
  Variable* v = FindVariableNamed(s, *s.current, name);
  if (v == nullptr || v->type == kVariableString) return kErrNoSuchVariable;
  *real = v->value[0];
  if (double* imaginary = PointerAt<double>(imaginaryItem)) *imaginary = v->type == kVariableComplex ? v->value[1] : 0;
  return 0;
}

int32_t SetNumeric(Host::State& s, HostWord nameItem, HostWord realItem, HostWord imaginaryItem) {
  std::string name;
  const double* real = PointerAt<const double>(realItem);
  if (real == nullptr || !TextFromItem(nameItem, kMaxBaseTextLength, &name)) return kErrBadParameter;
  Variable* v = FindVariableNamed(s, *s.current, name);
  if (v == nullptr || v->type == kVariableString) return kNoSuchNumericVariableAnswer;
  v->value[0] = *real;
  const double* imaginary = PointerAt<const double>(imaginaryItem);
  v->value[1] = (v->type == kVariableComplex && imaginary != nullptr) ? *imaginary : 0;
  return 0;
}

int32_t SetString(Host::State& s, HostWord nameItem, HostWord textItem) {
  std::string name;
  const char* text = TextAt(textItem);
  if (text == nullptr || !TextFromItem(nameItem, kMaxBaseTextLength, &name)) return kErrBadParameter;
  Variable* v = FindVariableNamed(s, *s.current, name);
  if (v == nullptr || v->type != kVariableString) return kErrNoSuchVariable;
  v->text = text;
  return 0;
}

int32_t CreateVariableIn(Host::State& s, Folder& folder, const std::string& name, int32_t creationType) {
  if ((creationType & kVariableFlagBit) != 0 && s.options.version < 200) return kErrHostTooOld;
  const int type = creationType & ~kVariableFlagBit;
  if (type != kVariableReal && type != kVariableComplex && type != kVariableString) return kErrBadType;
  if (!IsStandardName(name)) return kErrBadName;
  if (IsReservedName(name) || IsModuleFunction(s, name)) return kErrReservedName;
  if (Variable* v = FindVariableNamed(s, folder, name)) return v->type == type ? 0 : kErrNameInUse;
  if (FindWaveNamed(folder, name) != nullptr || FindFolderNamed(folder, name) != nullptr) return kErrNameInUse;
  auto v = std::make_unique<Variable>();
  v->name = name;
  v->type = type;
  v->creationType = creationType;
  VariablesOf(s, folder).push_back(std::move(v));
  return 0;
}

int32_t CreateVariableRequest(Host::State& s, HostWord nameItem, HostWord typeItem) {
  std::string name;
  if (!TextFromItem(nameItem, kMaxNameLength, &name)) return kErrBadName;
  if (typeItem < INT32_MIN || typeItem > INT32_MAX) return kErrBadType;
  return CreateVariableIn(s, *s.current, name, static_cast<int32_t>(typeItem));
}

// ---------------------------------------------------------------- command text
struct Reader {
  const std::string& text;
  size_t& position;
  char At(size_t i) const { return i < text.size() ? text[i] : '\0'; }
  // Position of the next character that is not a blank.
  size_t NextItem() const {
    size_t i = position;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return i;
  }
};

Reader CommandReader(Host::State& s) {
  SupportState& st = StateOf(s);
  return Reader{st.commandText, st.commandPosition};
}

// Message 12: a quoted text, or the rest of the statement.
int32_t ReadText(Host::State& s, HostWord bufferItem) {
  if (bufferItem == 0) return kCommandTextBroken;
  Reader r = CommandReader(s);
  size_t i = r.NextItem();
  std::string text;
  if (r.At(i) == '"') {
    const size_t close = r.text.find('"', i + 1);
    if (close == std::string::npos) return kCommandTextBroken;
    text = r.text.substr(i + 1, close - i - 1);
    i = close + 1;
  } else {
    const size_t start = i;
    while (!IsStatementEnd(r.At(i))) ++i;
    text = r.text.substr(start, i - start);
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
  }
  if (text.size() > kCommandTextBufferChars) text.resize(kCommandTextBufferChars);
  r.position = i;
  WriteText(bufferItem, text);
  return static_cast<int32_t>(text.size());
}

// Message 13: a number with an optional sign.
int32_t ReadNumber(Host::State& s, HostWord valueItem) {
  double* value = PointerAt<double>(valueItem);
  if (value == nullptr) return kErrBadParameter;
  Reader r = CommandReader(s);
  size_t i = r.NextItem();
  if (r.At(i) == '+' && r.At(i + 1) != '-') ++i;
  const char* first = r.text.data() + std::min(i, r.text.size());
  const char* last = r.text.data() + r.text.size();
  double parsed = 0;
  const auto [end, error] = std::from_chars(first, last, parsed, std::chars_format::general);
  if (error != std::errc() || end == first) return kErrExpectedNumber;
  *value = parsed;
  r.position = static_cast<size_t>(end - r.text.data());
  return 0;
}

// A name at the reader's position: a standard name or a liberal one in single quotes. Answers
// 0 (name and whether it was quoted), ';' at a ';', kErrNameTooLong or kErrExpectedName.
// Consumes the name only on success.
int32_t ScanName(Reader& r, std::string* name, bool* quoted) {
  size_t i = r.NextItem();
  const char c = r.At(i);
  if (c == ';') return ';';
  size_t end = i;
  if (IsLetter(static_cast<unsigned char>(c))) {
    while (IsNameChar(static_cast<unsigned char>(r.At(end)))) ++end;
    *name = r.text.substr(i, end - i);
    *quoted = false;
  } else if (c == '\'') {
    const size_t close = r.text.find('\'', i + 1);
    if (close == std::string::npos || close == i + 1) return kErrExpectedName;
    *name = r.text.substr(i + 1, close - i - 1);
    if (std::any_of(name->begin(), name->end(), [](char ch) { return IsForbiddenLiberal(static_cast<unsigned char>(ch)); }))
      return kErrExpectedName;
    end = close + 1;
    *quoted = true;
  } else {
    return kErrExpectedName;
  }
  if (name->size() > kMaxNameLength) return kErrNameTooLong;
  r.position = end;
  return 0;
}

int32_t ReadName(Host::State& s, HostWord bufferItem) {
  if (bufferItem == 0) return kErrBadParameter;
  Reader r = CommandReader(s);
  std::string name;
  bool quoted = false;
  if (int32_t answer = ScanName(r, &name, &quoted); answer != 0) return answer;
  WriteText(bufferItem, name);
  return 0;
}

// Message 124: the newer name reader.
int32_t ReadQuotableName(Host::State& s, HostWord quotedItem, HostWord bufferItem, HostWord liberalAllowed) {
  int32_t* quotedOut = PointerAt<int32_t>(quotedItem);
  if (quotedOut == nullptr || bufferItem == 0) return kErrBadParameter;
  Reader r = CommandReader(s);
  const size_t before = r.position;
  std::string name;
  bool quoted = false;
  const int32_t answer = ScanName(r, &name, &quoted);
  if (answer == ';') return kErrStatementEndBeforeName;
  if (answer != 0) return answer;
  if (quoted && liberalAllowed == 0) {
    r.position = before;
    return kErrExpectedName;
  }
  WriteText(bufferItem, name);
  *quotedOut = quoted ? 1 : 0;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- the requests
bool AnswerSupportMessage(Host::State& s, int message, std::span<const HostWord> items, HostWord* result) {
  auto item = [&](size_t k) -> HostWord { return k < items.size() ? items[k] : 0; };
  const int version = s.options.version;
  switch (message) {
    case kMsgRootDataFolder: {  // 0, &out
      Handle* out = PointerAt<Handle>(item(1));
      if (item(0) != 0 || out == nullptr) { *result = kErrBadParameter; return true; }
      *out = s.root->handle;
      *result = 0;
      return true;
    }
    case kMsgCurrentDataFolder: {  // &out
      Handle* out = PointerAt<Handle>(item(0));
      if (out == nullptr) { *result = kErrBadParameter; return true; }
      *out = s.current->handle;
      *result = 0;
      return true;
    }
    case kMsgSetCurrentDataFolder: {  // folder
      Folder* folder = FolderOf(s, item(0));
      if (folder == nullptr) { *result = kErrNoDataFolder; return true; }
      s.current = folder;
      *result = 0;
      return true;
    }
    case kMsgResolveFolderPath: *result = ResolvePath(s, item(0), item(1), item(2)); return true;
    case kMsgFreeName: *result = FreeName(s, item(0), item(1), item(2), item(3)); return true;
    case kMsgNameConflict: *result = NameConflict(s, item(0), item(1), item(2)); return true;
    case kMsgFormatNameForCommand:
      if (version < 300) return false;
      *result = FormatName(item(0));
      return true;
    case kMsgLegalizeName:
      if (version < 300) return false;
      *result = LegalizeName(item(0), item(1), item(2));
      return true;
    case kMsgLookUpFolderObject: *result = LookUp(s, item(0), item(1), item(2), item(3)); return true;
    case kMsgPostNotice: {
      std::string text;
      if (!TextFromItem(item(0), kMaxNoticeLength, &text)) { *result = kErrBadParameter; return true; }
      StateOf(s).notices.push_back(std::move(text));
      *result = 0;
      return true;
    }
    case kMsgTextRequest9: {  // a text line
      std::string text;
      if (!TextFromItem(item(0), kMaxNoticeLength, &text)) { *result = kErrBadParameter; return true; }
      StateOf(s).outputLines.push_back(std::move(text));
      *result = 0;
      return true;
    }
    case kMsgBlankRequest71:  // an empty line
      if (version < 200) return false;
      StateOf(s).outputLines.emplace_back();
      *result = 0;
      return true;
    case kMsgReadNumericVariable: *result = ReadNumeric(s, item(0), item(1), item(2)); return true;
    case kMsgSetNumericVariable: *result = SetNumeric(s, item(0), item(1), item(2)); return true;
    case kMsgSetStringVariable: *result = SetString(s, item(0), item(1)); return true;
    case kMsgCreateVariable: *result = CreateVariableRequest(s, item(0), item(1)); return true;
    case kMsgNameQuery59: {  // is it a string variable?
      std::string name;
      Variable* v = TextFromItem(item(0), kMaxBaseTextLength, &name) ? FindVariableNamed(s, *s.current, name) : nullptr;
      *result = (v != nullptr && v->type == kVariableString) ? 1 : 0;
      return true;
    }
    case kMsgPeekCommandChar: {
      Reader r = CommandReader(s);
      *result = static_cast<unsigned char>(r.At(r.NextItem()));
      return true;
    }
    case kMsgSkipCommandChar: {
      Reader r = CommandReader(s);
      r.position = std::min(r.NextItem() + 1, r.text.size());
      *result = 0;
      return true;
    }
    case kMsgReadCommandText: *result = ReadText(s, item(0)); return true;
    case kMsgReadCommandNumber: *result = ReadNumber(s, item(0)); return true;
    case kMsgReadCommandName: *result = ReadName(s, item(0)); return true;
    case kMsgReadCommandName124:
      if (version < 300) return false;
      *result = ReadQuotableName(s, item(0), item(1), item(2));
      return true;
    case kMsgAtStatementEnd: {
      if (version < 400) return false;
      Reader r = CommandReader(s);
      *result = IsStatementEnd(r.At(r.NextItem())) ? 1 : 0;
      return true;
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------- for tests
void SetCommandText(Host& host, std::string text) {
  SupportState& st = StateOf(host.InternalState());
  st.commandText = std::move(text);
  st.commandPosition = 0;
}

std::string UnreadCommandText(Host& host) {
  SupportState& st = StateOf(host.InternalState());
  return st.commandText.substr(std::min(st.commandPosition, st.commandText.size()));
}

std::vector<std::string> Notices(Host& host) { return StateOf(host.InternalState()).notices; }
std::vector<std::string> OutputLines(Host& host) { return StateOf(host.InternalState()).outputLines; }

bool FindVariable(Host& host, Handle folder, const std::string& name, VariableView* out) {
  Host::State& s = host.InternalState();
  Folder* f = FolderOf(s, reinterpret_cast<HostWord>(folder));
  Variable* v = f == nullptr ? nullptr : FindVariableNamed(s, *f, name);
  if (v == nullptr) return false;
  if (out != nullptr) {
    out->name = v->name;
    out->type = v->type;
    out->creationType = v->creationType;
    out->real = v->value[0];
    out->imaginary = v->value[1];
    out->text = v->text;
  }
  return true;
}

int32_t MakeTestVariable(Host& host, Handle folder, const VariableView& variable) {
  Host::State& s = host.InternalState();
  Folder* f = FolderOf(s, reinterpret_cast<HostWord>(folder));
  if (f == nullptr) return kErrNoDataFolder;
  if (int32_t err = CreateVariableIn(s, *f, variable.name, variable.creationType | variable.type); err != 0) return err;
  Variable* v = FindVariableNamed(s, *f, variable.name);
  v->value[0] = variable.real;
  v->value[1] = variable.type == kVariableComplex ? variable.imaginary : 0;
  v->text = variable.text;
  return 0;
}

bool IsReservedName(const std::string& name) {
  return std::any_of(std::begin(kReservedNames), std::end(kReservedNames),
                     [&](std::string_view reserved) { return SameNameNoCase(std::string(reserved), name); });
}

}  // namespace quorsim
