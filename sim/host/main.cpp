// quorsim: runs a command script against the simulated Quor host with a module loaded, the way a
// user of the host would call the module's functions from its command line.
#include <unistd.h>  // access, which MinGW declares too

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "sim/host/camera_commands.h"
#include "sim/host/module_loader.h"
#include "sim/host/script.h"
#include "sim/host/trace.h"

#ifndef QUORSIM_DEFAULT_MODULE
#define QUORSIM_DEFAULT_MODULE ""
#endif

namespace {

constexpr int kUsageError = 2;

void PrintUsage(FILE* stream) {
  std::fprintf(stream,
               "usage: quorsim [--module PATH] [--version N] [--version-file FILE]\n"
               "               [--record-size N] [--out DIR] [--keep-going] [--scramble]\n"
               "               [--trace] [--check] [SCRIPT]\n"
               "\n"
               "Loads a module into the simulated Quor host and runs SCRIPT (standard input if\n"
               "SCRIPT is missing or -). Each script line is one of:\n"
               "  FUNCTION(ARG, ...)     call a function the module declares; arguments are\n"
               "                         numbers (1, -1.5, 1e3, nan, inf), \"texts\" or null\n"
               "  waves                  list the waves of the current data folder\n"
               "  info NAME              dimensions, type, minimum, maximum and mean of a wave,\n"
               "                         and a line of 16 histogram bins over minimum..maximum\n"
               "  savepng NAME FILE      save an unsigned 8- or 16-bit wave as a grey PNG\n"
               "  savepng NAME FILE stretch [LOW HIGH]\n"
               "                         save a real numeric wave with its minimum..maximum (or\n"
               "                         LOW..HIGH) stretched over the PNG's full range: 8-bit\n"
               "                         waves as 8-bit grey, the others as 16-bit\n"
               "  print TEXT             print the text\n"
               "  trace on|off           switch the trace on or off (see --trace)\n"
               "%s"
               "Blank lines and lines starting with # are skipped. The whole script is read and\n"
               "checked before its first line runs: each line that will not run (syntax, an\n"
               "unknown function or command, wrong arguments) is reported, and then none runs.\n"
               "A function that fails prints its error code with what it means, and so does a\n"
               "result that is the driver's failure status; negative codes are the driver's.\n"
               "\n"
               "  --module PATH       the module (default: Ombrel.so beside quorsim, Ombrel.dll\n"
               "                      beside Quor.exe)\n"
               "  --version N         the host's version number, major*100+minor*10+third\n"
               "                      (default 602; 0: the host carries no version)\n"
               "  --version-file FILE the compiled version resource the host's module handle\n"
               "                      names (default: Quor_<major>.<minor>.<third>.res of N)\n"
               "  --record-size N     starting size of the module's record in bytes\n"
               "  --out DIR           folder for files that savepng writes (default .)\n"
               "  --keep-going        go on after a failed call or a refused command\n"
               "  --scramble          move every unlocked memory block on each host call\n"
               "  --check             only check the script against the module's declarations\n"
               "                      (no module code runs, nothing is written)\n"
               "  --trace             trace to standard error, a line each as it happens:\n"
               "                      every message between host and module (code, name,\n"
               "                      items, answer), every function call and return, every\n"
               "                      camera driver entry with its arguments and status; the\n"
               "                      status polls of a picture's wait as one line (polls,\n"
               "                      milliseconds, the last answer)\n"
               "\n"
               "Exit status: 0 all lines ran (or, with --check, can run); 1 a function returned\n"
               "an error or a command was refused; 2 a line will not run (syntax, unknown name,\n"
               "wrong arguments), a file an option names cannot be read, the output folder\n"
               "cannot be written or the module could not be loaded.\n",
               quorsim::kCameraUsage);
}

std::string DefaultModulePath() {
  std::string beside = quorsim::ModuleBesideProgram();
  if (!beside.empty()) return beside;
  return QUORSIM_DEFAULT_MODULE[0] != '\0' ? QUORSIM_DEFAULT_MODULE : quorsim::kModuleFileName;
}

// A file an option names, or the script: it must be there, be a file and open for reading.
// False with a message that names the file and, where the system gives one, the reason.
bool ReadableFile(const std::string& path, const char* what, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = std::string(what) + " " + path + " is a folder, not a file";
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = std::string("cannot open ") + what + " " + path + ": " + std::strerror(errno);
    return false;
  }
  std::fclose(file);
  return true;
}

// The folder savepng writes into: made if missing, and refused unless files can be made in it.
bool WritableFolder(const std::string& path, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    *error = "cannot make the output folder " + path + ": " + ec.message();
    return false;
  }
  if (access(path.c_str(), W_OK) != 0) {
    *error = "cannot write into the output folder " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool ParseInt(const char* text, long min, long max, int* out) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < min || value > max) return false;
  *out = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  quorsim::HostOptions hostOptions;
  quorsim::ScriptOptions scriptOptions;
  std::string modulePath;
  std::string scriptPath;
  bool trace = false;
  bool checkOnly = false;
  bool versionGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quorsim: %s needs a value\n", name);
        std::exit(kUsageError);
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    } else if (arg == "--module") {
      modulePath = value("--module");
    } else if (arg == "--version") {
      versionGiven = true;
      if (!ParseInt(value("--version"), 0, 9999, &hostOptions.version)) {
        std::fprintf(stderr, "quorsim: --version wants a number from 0 to 9999\n");
        return kUsageError;
      }
    } else if (arg == "--version-file") {
      hostOptions.versionFile = value("--version-file");
      versionGiven = true;
    } else if (arg == "--record-size") {
      if (!ParseInt(value("--record-size"), 0, 1 << 20, &hostOptions.recordSize)) {
        std::fprintf(stderr, "quorsim: --record-size wants a number of bytes\n");
        return kUsageError;
      }
    } else if (arg == "--out") {
      scriptOptions.outDir = value("--out");
    } else if (arg == "--keep-going") {
      scriptOptions.keepGoing = true;
    } else if (arg == "--scramble") {
      hostOptions.scramble = true;
    } else if (arg == "--check") {
      checkOnly = true;
    } else if (arg == "--trace") {
      trace = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "quorsim: unknown option %s (try --help)\n", arg.c_str());
      return kUsageError;
    } else if (scriptPath.empty()) {
      scriptPath = arg;
    } else {
      std::fprintf(stderr, "quorsim: only one script at a time\n");
      return kUsageError;
    }
  }
  if (modulePath.empty()) modulePath = DefaultModulePath();

  std::string error;
  auto refused = [&error] {
    std::fprintf(stderr, "quorsim: %s\n", error.c_str());
    return kUsageError;
  };
  std::ifstream file;
  std::istream* script = &std::cin;
  if (!scriptPath.empty() && scriptPath != "-") {
    if (!ReadableFile(scriptPath, "the script", &error)) return refused();
    file.open(scriptPath);
    script = &file;
  }
  // The files the options name, each under its own name: a missing module would otherwise be
  // reported as its missing declarations, and a missing version file read as no version at all.
  if (!ReadableFile(modulePath, "the module", &error) ||
      (versionGiven && !ReadableFile(quorsim::HostVersionFilePath(hostOptions), "the host's version file", &error)))
    return refused();
  // The script is checked against the module's declarations before the module is loaded.
  quorsim::ModuleDeclarations declarations;
  if (!quorsim::ReadDeclarationsOfModule(modulePath, &declarations, &error)) return refused();
  quorsim::CheckedScript checked;
  const int checkStatus = quorsim::CheckScript(declarations, *script, stderr, &checked);
  if (checkOnly || checkStatus != quorsim::kScriptOk) return checkStatus;
  if (!WritableFolder(scriptOptions.outDir, &error)) return refused();

  quorsim::Host host(hostOptions);
  // One trace for the whole run, so that loading and unloading the module show in it too.
  quorsim::Tracer tracer;
  if (trace) quorsim::StartTrace(tracer, host, stderr);
  scriptOptions.tracer = &tracer;
  if (!host.Load(modulePath, &error)) {
    quorsim::StopTrace(tracer);
    return refused();
  }
  int status = quorsim::RunCheckedScript(host, checked, scriptOptions, stdout, stderr);
  host.Unload();
  quorsim::StopTrace(tracer);
  std::fflush(stdout);
  return status;
}
