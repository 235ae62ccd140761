// Names of the host's data objects (waves, numeric and string variables, data folders) and
// data-folder paths: turning a requested name into one the host accepts and that does not
// clash with what exists, a local legaliser for standard names, command-text formatting of
// names, and resolving a path text into a data-folder handle. Most of the work is one host
// message each; the routines here decide the order of the questions, the length limits, the
// suffix numbering, the fall-backs for older hosts and the notice about a rename.
#pragma once

#include <cstdint>

#include "hostlink/error_codes.h"
#include "hostlink/host_messages.h"
#include "hostlink/record.h"
#include "support/utilities.h"

// Object type codes.
inline constexpr int32_t kObjectTypeWave = 1;
inline constexpr int32_t kObjectTypeNumericVariable = 3;
inline constexpr int32_t kObjectTypeStringVariable = 4;
inline constexpr int32_t kObjectTypeDataFolder = 11;

// An object name is at most 31 characters (a 32-byte buffer); a base name that gets a number
// appended is at most 26, leaving room for five digits.
inline constexpr int32_t kMaxObjectNameLength = 31;
inline constexpr int32_t kObjectNameBufferSize = kMaxObjectNameLength + 1;
inline constexpr int32_t kMaxBaseNameLength = 26;
// Data-folder path texts that older hosts take from the module (longer ones fail with
// kErrFolderPathTooLong).
inline constexpr int32_t kMaxFolderPathLength = 400;
// The only name space the free-name request is asked about: the data objects.
inline constexpr int32_t kNameSpaceDataObjects = 1;

// Host versions from which the naming requests exist.
inline constexpr int32_t kHostVersionNameRequests = 300;   // 151 and 152
inline constexpr int32_t kHostVersionFolderPaths = 301;    // 108 takes any path

// ---- one host request each (a null data-folder handle means the current data folder)
// The folder fetches set *folderOut to null first; a host that answers success without a
// handle gives kErrNullHandle.
int32_t FetchCurrentDataFolder(Handle* folderOut);
int32_t SwitchCurrentDataFolder(Handle folder);
int32_t FetchRootDataFolder(Handle* folderOut);
// Writes a name formed from baseName and a number not in use into nameOut (32 bytes) and
// advances *suffixCounter past the number used.
int32_t AskHostForFreeName(const char* baseName, char* nameOut, int32_t* suffixCounter);
// Nonzero when the name may not be used for a new object of that type in the folder.
int32_t AskHostNameConflict(Handle folder, int32_t objectType, const char* name);
// Rewrites the name in place into a legal name of at most maxLength characters (the buffer
// holds maxLength + 1 bytes). Hosts before 300 cannot: kErrHostTooOld without asking.
int32_t AskHostToLegalizeName(int32_t liberal, char* name, int32_t maxLength);
// 0 when the folder holds an object of that name, with its type code in *objectType and, when
// dataPointer is not null, its data (a wave's or folder's handle, a variable's value) there.
int32_t LookUpFolderObject(Handle folder, const char* name, int32_t* objectType, void** dataPointer);
// Rewrites the name in place for use in command text (a liberal name gets quotes: two more
// characters). Hosts before 300 leave it as it is: 0 without asking.
int32_t FormatNameForCommand(char* name);
// Shows the text (which carries its own trailing carriage return) to the user as a notice.
int32_t PostNotice(const char* text);

// ---- routines with logic of their own

// Makes a name for a new object of objectType in folder (null: the current folder) from
// inName: cut to 31 characters (26 when inNameIsBase, which numbers it from *suffixCounter),
// made legal by the host (liberal names only for waves and data folders), and renamed with a
// number when it clashes; with printNotice a rename is posted as a notice. With allowOverwrite
// an object of the same type and name is no clash: *doOverwrite becomes 1. *nameChanged tells
// whether the final name differs from inName. outName (32 bytes) receives the final name and
// is untouched on any error; a lookup or clash question that could not be sent to the host is
// one (kExchangeStopped). The caller's current data folder is the same afterwards.
// suffixCounter must point to a counter when inNameIsBase is set or a clash may occur.
int32_t CreateValidDataObjectName(Handle folder, const char* inName, char* outName, int32_t* suffixCounter,
                                  int32_t objectType, int32_t liberal, int32_t allowOverwrite,
                                  int32_t inNameIsBase, int32_t printNotice, int32_t* nameChanged,
                                  int32_t* doOverwrite);

// Makes a standard name (an ASCII letter, then letters, digits and '_', at most 31
// characters) in place without asking the host; returns 1 when it changed the name, else 0.
// An empty name becomes NoName followed by the number.
// PRECONDITION: the buffer holds at least strlen(name) + 2 bytes (a leading 'X' may be put in
// front of the whole name before it is cut to 31 characters), and for an empty name room for
// "NoName" and the number in decimal with its terminator (at most kNoNameBufferSize bytes).
// A 32-byte name buffer holding a name of at most 30 characters meets both.
inline constexpr int32_t kNoNameBufferSize = 18;  // "NoName-2147483648" and the terminator
int32_t MakeStandardNameLegal(char* name, int32_t number);

// Appends name to the text and formats the appended part for command text (see
// FormatNameForCommand); returns that routine's result.
// PRECONDITION: text's buffer holds strlen(text) + strlen(name) + 3 bytes (the quotes the host
// may add, and the terminator).
int32_t AppendNameForCommand(char* text, const char* name);

// The data folder that path names, relative to startFolder (null: the current folder), in
// *folderOut (set to null first). Hosts from 301 resolve every path; for older ones the
// module itself answers ":" (the start folder) and "root:" in any case of the letters, and
// refuses a path longer than 400 characters with kErrFolderPathTooLong; a trailing ':' is
// removed before the rest goes to the host. A host that answers success without a handle
// gives kErrNullHandle.
int32_t ResolveDataFolderPath(Handle startFolder, const char* path, Handle* folderOut);

// ---- requests of the data-folder family passed to the host unchanged
HostWord SendFolderRequest100(HostWord a1, HostWord a2, HostWord a3);
HostWord SendFolderRequest101(HostWord a1, HostWord a2);
HostWord SendFolderRequest102(HostWord a1, HostWord a2);
HostWord SendFolderRequest103(HostWord a1, HostWord a2);
HostWord SendFolderRequest104(HostWord a1, HostWord a2, HostWord a3);
HostWord SendFolderRequest109(HostWord a1, HostWord a2);
HostWord SendFolderRequest110(HostWord a1, HostWord a2);
HostWord SendFolderRequest111(HostWord a1, HostWord a2);
HostWord SendFolderRequest112(HostWord a1, HostWord a2, HostWord a3);
HostWord SendFolderRequest113(HostWord a1, HostWord a2);
HostWord SendFolderRequest114(HostWord a1, HostWord a2, HostWord a3);
HostWord SendFolderRequest115(HostWord a1);
HostWord SendFolderRequest116(HostWord a1, HostWord a2, HostWord a3);
HostWord SendFolderRequest117(HostWord a1, HostWord a2);
HostWord SendFolderRequest118(HostWord a1, HostWord a2);
HostWord SendFolderRequest119(HostWord a1, HostWord a2, HostWord a3);
HostWord SendFolderRequest120(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5);
HostWord SendFolderRequest121(HostWord a1, HostWord a2, HostWord a3);
HostWord SendFolderRequest122(HostWord a1, HostWord a2, HostWord a3, HostWord a4);
HostWord SendFolderRequest123(HostWord a1, HostWord a2, HostWord a3, HostWord a4);
HostWord SendFolderRequest125(void);
HostWord SendFolderRequest126(void);
HostWord SendFolderRequest127(HostWord a1, HostWord a2);
HostWord SendFolderRequest128(HostWord a1, HostWord a2, HostWord a3, HostWord a4, HostWord a5, HostWord a6);
HostWord SendFolderRequest160(HostWord a1, HostWord a2, HostWord a3, HostWord a4);
