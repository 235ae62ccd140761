// The one place where the simulated host differs between Linux and Windows: how a module's
// library is opened and its declarations read, what the host's and the module's instance
// handles are, and which file carries the host's version resource. Linux (module_loader_posix.cpp)
// reads the compiled resources beside Ombrel.so and dlopens it; Windows
// (quor_exe/module_loader_win32.cpp) reads them from the DLL with FindResource and LoadLibrary's it.
#pragma once

#include <string>

#include "sim/host/quorsim.h"

namespace quorsim {

using ModuleMainProc = int32_t (*)(IORecHandle);

struct OpenedModule {
  void* library = nullptr;        // what CloseModuleLibrary takes back
  void* instance = nullptr;       // the module's instance handle, as GetZEMModule answers it
  ModuleMainProc main = nullptr;  // its entry point main
};

// Reads the three declaration resources of the module at `libraryPath` without running any of
// its code; false with a message.
bool ReadDeclarationsOfModule(const std::string& libraryPath, ModuleDeclarations* out, std::string* error);
// Opens the library and finds main; false with a message (nothing left open). `token` is a byte
// of the host's whose address stands for the instance handle where the platform has none of
// its own (Linux); Windows answers the library's real module handle.
bool OpenModuleLibrary(const std::string& libraryPath, void* token, OpenedModule* out, std::string* error);
void CloseModuleLibrary(const OpenedModule& module);

// The module's file name on this platform, and its path beside the running program if it is
// there (empty if not).
extern const char* const kModuleFileName;
std::string ModuleBesideProgram();

// The host's module handle for these options (what GetQuorModule answers): a handle whose file,
// as GetModuleFileNameA names it, carries the version resource the options ask for.
void* HostModuleHandleFor(const HostOptions& options);

}  // namespace quorsim
