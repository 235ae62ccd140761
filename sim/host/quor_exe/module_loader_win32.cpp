// How the simulated host loads a module on Windows, as Quor does: the declaration resources are
// read with FindResource from the DLL mapped as a data file (no module code runs before they are
// known to be sound), then the DLL is loaded with LoadLibrary, its dependencies found beside it,
// and main looked up with GetProcAddress. Module handles are the real ones, so the module reads
// its own file name and the host's version resource through the real KERNEL32 and VERSION.
#include <windows.h>

#include <cstdio>
#include <map>

#include "sim/host/module_loader.h"
#include "win32sim_control.h"

#ifndef QUOR_EXE_VERSION
#define QUOR_EXE_VERSION 602  // the version resource linked into Quor.exe itself
#endif

namespace quorsim {
namespace {

constexpr WORD kPreferredLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033

// The resource of a string type and numeric id: language 1033 if the library has it, else the
// one FindResource picks.
std::optional<std::span<const uint8_t>> FindModuleResource(HMODULE library, const char* type, WORD id) {
  HRSRC found = FindResourceExA(library, type, MAKEINTRESOURCEA(id), kPreferredLanguage);
  if (found == nullptr) found = FindResourceA(library, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(library, found);
  const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
  if (bytes == nullptr) return std::nullopt;
  return std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), SizeofResource(library, found));
}

std::string LastErrorText() {
  const DWORD code = GetLastError();
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) text[--n] = '\0';
  return "error " + std::to_string(code) + (n > 0 ? std::string(": ") + text : std::string());
}

// The folder of the running program, with a trailing backslash.
std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n < MAX_PATH ? n : 0);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}

std::string HostVersionFileName(int version) {
  if (version <= 0) return "Quor_none.dll";
  return "Quor_" + std::to_string(version / 100) + "." + std::to_string(version / 10 % 10) + "." +
         std::to_string(version % 10) + ".dll";
}

}  // namespace

const char* const kModuleFileName = "Ombrel.dll";

std::string ModuleBesideProgram() {
  const std::string beside = ProgramFolder() + kModuleFileName;
  return GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES ? beside : std::string();
}

// The libraries that carry the version resources of the other host versions: resource-only
// DLLs in the program's folder hostversions\, one a version (Quor_none.dll carries none).
std::string HostVersionFilePath(const HostOptions& options) {
  const std::string folder = ProgramFolder() + "hostversions\\";
  if (options.versionFile.empty()) return folder + HostVersionFileName(options.version);
  if (options.versionFile.find_first_of("\\/") == std::string::npos) return folder + options.versionFile;
  return options.versionFile;
}

bool ReadDeclarationsOfModule(const std::string& libraryPath, ModuleDeclarations* out, std::string* error) {
  HMODULE data = LoadLibraryExA(libraryPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (data == nullptr) {
    *error = "cannot read the resources of " + libraryPath + ": " + LastErrorText();
    return false;
  }
  DeclarationResources found;
  found.zemf = FindModuleResource(data, "ZEMF", 1100);
  found.zemi = FindModuleResource(data, "ZEMI", 1100);
  found.strings = FindModuleResource(data, "STR#", 1101);
  found.version = FindModuleResource(data, MAKEINTRESOURCEA(16), 1);  // the version block
  const bool ok = ParseDeclarationResources(found, out, error);  // copies what it keeps
  FreeLibrary(data);
  if (!ok) *error = libraryPath + ": " + *error;
  return ok;
}

bool OpenModuleLibrary(const std::string& libraryPath, void* token, OpenedModule* out, std::string* error) {
  (void)token;  // Windows has real module handles
  *out = {};
  // The module's own folder is searched first for the DLLs it imports (the camera driver).
  HMODULE library = LoadLibraryExA(libraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (library == nullptr) {
    *error = "cannot load " + libraryPath + ": " + LastErrorText();
    return false;
  }
  auto moduleMain = reinterpret_cast<ModuleMainProc>(reinterpret_cast<void*>(GetProcAddress(library, "main")));
  if (moduleMain == nullptr) {
    FreeLibrary(library);
    *error = libraryPath + " has no entry point main";
    return false;
  }
  // A test clock drives the module's GetTickCount as it drives the driver's.
  Win32SimClockModuleLoaded(library);
  out->library = library;
  out->instance = library;
  out->main = moduleMain;
  return true;
}

void CloseModuleLibrary(const OpenedModule& module) {
  if (module.library != nullptr) FreeLibrary(static_cast<HMODULE>(module.library));
}

void* HostModuleHandleFor(const HostOptions& options) {
  if (options.versionFile.empty() && options.version == QUOR_EXE_VERSION) return GetModuleHandleA(nullptr);
  static std::map<std::string, HMODULE> carriers;  // loaded once, kept for the process
  const std::string path = HostVersionFilePath(options);
  auto found = carriers.find(path);
  if (found != carriers.end()) return found->second;
  HMODULE carrier = LoadLibraryA(path.c_str());
  if (carrier == nullptr) {
    std::fprintf(stderr, "quorsim: cannot load the version library %s: %s\n", path.c_str(), LastErrorText().c_str());
    return nullptr;
  }
  carriers[path] = carrier;
  return carrier;
}

}  // namespace quorsim
