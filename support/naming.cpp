// Data-object names and data-folder paths: the host requests of the naming family, the name
// maker for new objects with its rename notice, the local standard-name legaliser and the
// path resolver with its fall-back for hosts before 301.
#include "support/naming.h"

#include <cstdio>
#include <cstring>

#include "hostdata/handles.h"
#include "hostdata/waves.h"
#include "hostlink/host_version.h"
#include "hostlink/transport.h"
#include "support/utilities.h"

namespace {

int32_t HostCode(HostWord result) { return static_cast<int32_t>(result); }

// A folder request that the host answers with success but no handle has found nothing: passed
// on, the null handle would silently stand for the current data folder.
int32_t FolderAnswer(int32_t answer, const Handle* folderOut) {
  return answer == 0 && *folderOut == nullptr ? kErrNullHandle : answer;
}

constexpr size_t kNoticeBufferSize = 256;
constexpr size_t kObjectTypeWordSize = 64;

// Copies at most maxLength characters of text into buffer and terminates it.
void CopyCut(char* buffer, const char* text, size_t maxLength) {
  const size_t length = strnlen(text, maxLength);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

// The word for an object type in the rename notice.
void ObjectTypeWord(int32_t objectType, char (&word)[kObjectTypeWordSize]) {
  switch (objectType) {
    case kObjectTypeWave: std::snprintf(word, sizeof word, "Wave"); break;
    case kObjectTypeNumericVariable: std::snprintf(word, sizeof word, "Variable"); break;
    case kObjectTypeStringVariable: std::snprintf(word, sizeof word, "String"); break;
    case kObjectTypeDataFolder: std::snprintf(word, sizeof word, "Data folder"); break;
    default:
      std::snprintf(word, sizeof word, "BUG: CreateValidDataObjectName, objectType=%ld", static_cast<long>(objectType));
      break;
  }
}

// base followed by the counter in decimal, into a name buffer. When both do not fit in 31
// characters the base is shortened so that the whole number does: the number is what makes
// the name unique. The counter moves on by one (past the largest value it wraps around, as a
// 32-bit counter does).
void NumberedName(const char* base, int32_t* suffixCounter, char (&name)[kObjectNameBufferSize]) {
  char digits[16];
  const int digitCount = std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(*suffixCounter));
  const size_t baseRoom = static_cast<size_t>(kMaxObjectNameLength) - static_cast<size_t>(digitCount);
  const size_t baseLength = strnlen(base, baseRoom);
  std::memcpy(name, base, baseLength);
  std::memcpy(name + baseLength, digits, static_cast<size_t>(digitCount) + 1);
  *suffixCounter = static_cast<int32_t>(static_cast<uint32_t>(*suffixCounter) + 1u);
}

// The lookup and the conflict question, with *stopped telling that the host was not asked: a
// stopped exchange is neither "no such object" nor "in conflict".
int32_t LookUpFolderObjectChecked(Handle folder, const char* name, int32_t* objectType, void** dataPointer,
                                  bool* stopped) {
  return HostCode(CallHostChecked4(kMsgLookUpFolderObject, stopped, AsItem(folder), AsItem(name), AsItem(objectType),
                                   AsItem(dataPointer)));
}

int32_t AskHostNameConflictChecked(Handle folder, int32_t objectType, const char* name, bool* stopped) {
  return HostCode(CallHostChecked3(kMsgNameConflict, stopped, AsItem(folder), objectType, AsItem(name)));
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

// ---------------------------------------------------------------- one request each

int32_t FetchCurrentDataFolder(Handle* folderOut) {
  *folderOut = nullptr;
  return FolderAnswer(HostCode(CallHost1(kMsgCurrentDataFolder, AsItem(folderOut))), folderOut);
}

int32_t SwitchCurrentDataFolder(Handle folder) {
  return HostCode(CallHost1(kMsgSetCurrentDataFolder, AsItem(folder)));
}

int32_t FetchRootDataFolder(Handle* folderOut) {
  *folderOut = nullptr;
  return FolderAnswer(HostCode(CallHost2(kMsgRootDataFolder, 0, AsItem(folderOut))), folderOut);
}

int32_t AskHostForFreeName(const char* baseName, char* nameOut, int32_t* suffixCounter) {
  return HostCode(CallHost4(kMsgFreeName, kNameSpaceDataObjects, AsItem(baseName), AsItem(nameOut),
                            AsItem(suffixCounter)));
}

int32_t AskHostNameConflict(Handle folder, int32_t objectType, const char* name) {
  bool stopped = false;
  return AskHostNameConflictChecked(folder, objectType, name, &stopped);
}

int32_t AskHostToLegalizeName(int32_t liberal, char* name, int32_t maxLength) {
  if (hostVersion < kHostVersionNameRequests) return kErrHostTooOld;
  return HostCode(CallHost3(kMsgLegalizeName, liberal, AsItem(name), maxLength));
}

int32_t LookUpFolderObject(Handle folder, const char* name, int32_t* objectType, void** dataPointer) {
  bool stopped = false;
  return LookUpFolderObjectChecked(folder, name, objectType, dataPointer, &stopped);
}

int32_t FormatNameForCommand(char* name) {
  if (hostVersion < kHostVersionNameRequests) return 0;
  return HostCode(CallHost1(kMsgFormatNameForCommand, AsItem(name)));
}

int32_t PostNotice(const char* text) { return HostCode(CallHost1(kMsgPostNotice, AsItem(text))); }

// ---------------------------------------------------------------- names of new objects

int32_t CreateValidDataObjectName(Handle folder, const char* inName, char* outName, int32_t* suffixCounter,
                                  int32_t objectType, int32_t liberal, int32_t allowOverwrite,
                                  int32_t inNameIsBase, int32_t printNotice, int32_t* nameChanged,
                                  int32_t* doOverwrite) {
  *doOverwrite = 0;
  *nameChanged = 0;

  Handle oldCurrentDataFolderH = nullptr;
  if (folder != nullptr) {
    if (FetchCurrentDataFolder(&oldCurrentDataFolderH) != 0) oldCurrentDataFolderH = nullptr;
    if (int32_t err = SwitchCurrentDataFolder(folder); err != 0) return err;
  }

  char trimmedName[kObjectNameBufferSize];
  char name[kObjectNameBufferSize];
  CopyCut(trimmedName, inName, static_cast<size_t>(inNameIsBase ? kMaxBaseNameLength : kMaxObjectNameLength));
  std::memcpy(name, trimmedName, std::strlen(trimmedName) + 1);

  if (inNameIsBase) {
    if (allowOverwrite) {
      NumberedName(trimmedName, suffixCounter, name);  // taken as it is: an existing one is overwritten
    } else {
      AskHostForFreeName(trimmedName, name, suffixCounter);  // goes on with whatever name it leaves
    }
  }

  if (objectType != kObjectTypeWave && objectType != kObjectTypeDataFolder) liberal = 0;

  int32_t result = AskHostToLegalizeName(liberal, name, kMaxObjectNameLength);
  bool noticeArmed = false;
  if (result == 0) {
    bool stopped = false;
    bool conflict = false;
    int32_t existingType = 0;
    if (LookUpFolderObjectChecked(folder, name, &existingType, nullptr, &stopped) == 0) {
      if (allowOverwrite && existingType == objectType) {
        *doOverwrite = 1;
      } else {
        conflict = true;
      }
    } else if (!stopped) {
      conflict = AskHostNameConflictChecked(folder, objectType, name, &stopped) != 0;
    }

    if (stopped) {
      result = kExchangeStopped;  // the name was not judged: neither taken nor renamed
    } else if (conflict) {
      char scratch[kNoticeBufferSize];
      CopyCut(scratch, name, kMaxObjectNameLength);
      result = AskHostForFreeName(scratch, name, suffixCounter);
      noticeArmed = printNotice != 0;
    }
  }

  if (result == 0) {
    name[kMaxObjectNameLength] = '\0';  // whatever the host left, the name ends in its buffer
    *nameChanged = std::strcmp(name, inName) != 0 ? 1 : 0;
    if (noticeArmed) {
      char objectTypeStr[kObjectTypeWordSize];
      char notice[kNoticeBufferSize];
      ObjectTypeWord(objectType, objectTypeStr);
      std::snprintf(notice, sizeof notice, "%s '%s' changed to '%s' because of a conflict.\r", objectTypeStr,
                    trimmedName, name);
      PostNotice(notice);
    }
    std::memcpy(outName, name, std::strlen(name) + 1);
  }

  if (oldCurrentDataFolderH != nullptr) SwitchCurrentDataFolder(oldCurrentDataFolderH);
  return result;
}

int32_t MakeStandardNameLegal(char* name, int32_t number) {
  if (name[0] == '\0') {
    char noName[kNoNameBufferSize];
    const int length = std::snprintf(noName, sizeof noName, "NoName%ld", static_cast<long>(number));
    std::memcpy(name, noName, static_cast<size_t>(length) + 1);  // exactly what the name needs
    return 1;
  }
  int32_t changed = 0;
  size_t length = std::strlen(name);
  if (!IsAsciiLetter(static_cast<unsigned char>(name[0]))) {
    std::memmove(name + 1, name, length + 1);
    name[0] = 'X';
    ++length;
    changed = 1;
  }
  if (length > static_cast<size_t>(kMaxObjectNameLength)) {
    length = kMaxObjectNameLength;
    name[length] = '\0';
    changed = 1;
  }
  for (size_t i = 1; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_') continue;  // an underscore is already legal
    name[i] = '_';
    changed = 1;
  }
  return changed;
}

int32_t AppendNameForCommand(char* text, const char* name) {
  char* appended = text + std::strlen(text);
  std::memcpy(appended, name, std::strlen(name) + 1);
  return FormatNameForCommand(appended);
}

// ---------------------------------------------------------------- data-folder paths

int32_t ResolveDataFolderPath(Handle startFolder, const char* path, Handle* folderOut) {
  *folderOut = nullptr;
  if (hostVersion >= kHostVersionFolderPaths)
    return FolderAnswer(HostCode(CallHost3(kMsgResolveFolderPath, AsItem(startFolder), AsItem(path), AsItem(folderOut))),
                        folderOut);

  const size_t length = strnlen(path, static_cast<size_t>(kMaxFolderPathLength) + 1);
  if (length > static_cast<size_t>(kMaxFolderPathLength)) return kErrFolderPathTooLong;
  char localPath[kMaxFolderPathLength + 1];
  std::memcpy(localPath, path, length + 1);

  if (length > 0 && localPath[length - 1] == ':') {
    localPath[length - 1] = '\0';
    if (localPath[0] == '\0') {  // ":" alone: the start folder itself
      if (startFolder != nullptr) {
        *folderOut = startFolder;
        return 0;
      }
      return FetchCurrentDataFolder(folderOut);
    }
    if (CompareTextNoCase(localPath, "root") == 0) return FetchRootDataFolder(folderOut);
  }
  return FolderAnswer(HostCode(CallHost3(kMsgResolveFolderPath, AsItem(startFolder), AsItem(localPath), AsItem(folderOut))),
                      folderOut);
}

// ---------------------------------------------------------------- passed on unchanged

HostWord SendFolderRequest100(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgFolderRequest100, a1, a2, a3); }
HostWord SendFolderRequest101(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest101, a1, a2); }
HostWord SendFolderRequest102(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest102, a1, a2); }
HostWord SendFolderRequest103(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest103, a1, a2); }
HostWord SendFolderRequest104(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgFolderRequest104, a1, a2, a3); }
HostWord SendFolderRequest109(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest109, a1, a2); }
HostWord SendFolderRequest110(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest110, a1, a2); }
HostWord SendFolderRequest111(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest111, a1, a2); }
HostWord SendFolderRequest112(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgFolderRequest112, a1, a2, a3); }
HostWord SendFolderRequest113(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest113, a1, a2); }
HostWord SendFolderRequest114(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgFolderRequest114, a1, a2, a3); }
HostWord SendFolderRequest115(HostWord a1) { return CallHost1(kMsgFolderRequest115, a1); }
HostWord SendFolderRequest116(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgFolderRequest116, a1, a2, a3); }
HostWord SendFolderRequest117(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest117, a1, a2); }
HostWord SendFolderRequest118(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest118, a1, a2); }
HostWord SendFolderRequest119(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgFolderRequest119, a1, a2, a3); }
HostWord SendFolderRequest120(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5) {
  return CallHost5(kMsgFolderRequest120, a1, a2, a3, a4, a5);
}
HostWord SendFolderRequest121(HostWord a1, HostWord a2, HostWord a3) { return CallHost3(kMsgFolderRequest121, a1, a2, a3); }
HostWord SendFolderRequest122(HostWord a1, HostWord a2, HostWord a3, HostWord a4) {
  return CallHost4(kMsgFolderRequest122, a1, a2, a3, a4);
}
HostWord SendFolderRequest123(HostWord a1, HostWord a2, HostWord a3, HostWord a4) {
  return CallHost4(kMsgFolderRequest123, a1, a2, a3, a4);
}
HostWord SendFolderRequest125(void) { return CallHost0(kMsgFolderRequest125); }
HostWord SendFolderRequest126(void) { return CallHost0(kMsgFolderRequest126); }
HostWord SendFolderRequest127(HostWord a1, HostWord a2) { return CallHost2(kMsgFolderRequest127, a1, a2); }
HostWord SendFolderRequest128(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5, HostWord a6) {
  return CallHost6(kMsgFolderRequest128, a1, a2, a3, a4, a5, a6);
}
HostWord SendFolderRequest160(HostWord a1, HostWord a2, HostWord a3, HostWord a4) {
  return CallHost4(kMsgFolderRequest160, a1, a2, a3, a4);
}
