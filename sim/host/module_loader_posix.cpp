// How the simulated host loads a module on Linux: the declarations come from the compiled
// resources beside the library (Ombrel.res beside Ombrel.so, or the PE file itself for a .dll
// path), the library is dlopen'ed, and module handles are tokens the platform stand-in maps to
// file names for GetModuleFileNameA.
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "sim/host/module_loader.h"
#include "win32sim_control.h"

#ifndef QUORSIM_VERSION_DIR
#define QUORSIM_VERSION_DIR "."
#endif

namespace quorsim {
namespace {

// The byte whose address is the host's module handle; the platform stand-in names the version
// file of the host that registered it last.
char gQuorModuleToken;

std::string ResourcePathFor(const std::string& libraryPath) {
  std::string lower = libraryPath;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) return libraryPath;
  size_t slash = libraryPath.find_last_of('/');
  size_t dot = libraryPath.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return libraryPath + ".res";
  return libraryPath.substr(0, dot) + ".res";
}

std::string HostVersionFileName(int version) {
  if (version <= 0) return "Quor_none.res";
  return "Quor_" + std::to_string(version / 100) + "." + std::to_string(version / 10 % 10) + "." +
         std::to_string(version % 10) + ".res";
}

}  // namespace

const char* const kModuleFileName = "Ombrel.so";

std::string ModuleBesideProgram() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  std::filesystem::path beside = self.parent_path() / kModuleFileName;
  return std::filesystem::exists(beside, ec) ? beside.string() : std::string();
}

std::string HostVersionFilePath(const HostOptions& options) {
  const std::string folder = QUORSIM_VERSION_DIR;
  if (options.versionFile.empty()) return folder + "/" + HostVersionFileName(options.version);
  if (options.versionFile.find('/') == std::string::npos) return folder + "/" + options.versionFile;
  return options.versionFile;
}

bool ReadDeclarationsOfModule(const std::string& libraryPath, ModuleDeclarations* out, std::string* error) {
  return ReadModuleDeclarations(ResourcePathFor(libraryPath), out, error);
}

bool OpenModuleLibrary(const std::string& libraryPath, void* token, OpenedModule* out, std::string* error) {
  *out = {};
  void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    *error = "cannot load " + libraryPath + ": " + (why ? why : "unknown reason");
    return false;
  }
  auto moduleMain = reinterpret_cast<ModuleMainProc>(dlsym(library, "main"));
  if (moduleMain == nullptr) {
    dlclose(library);
    *error = libraryPath + " has no entry point main";
    return false;
  }
  out->library = library;
  out->main = moduleMain;
  // The host's token serves as the instance handle; the stand-in answers its file name.
  out->instance = token;
  Win32SimRegisterModuleFile(token, libraryPath);
  return true;
}

void CloseModuleLibrary(const OpenedModule& module) {
  if (module.library == nullptr) return;
  Win32SimForgetModuleFile(module.instance);
  dlclose(module.library);
}

void* HostModuleHandleFor(const HostOptions& options) {
  Win32SimRegisterModuleFile(&gQuorModuleToken, HostVersionFilePath(options));
  return &gQuorModuleToken;
}

}  // namespace quorsim
