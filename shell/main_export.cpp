// The module's one exported symbol, main, which the host calls once right after loading.
// The symbol is given its name explicitly, as a C++ function cannot be called main: on 32-bit
// Windows C symbols carry a leading underscore, elsewhere they do not. Everything else in the
// library is hidden.
#include <cstdint>

#include "hostlink/record.h"
#include "shell/entry.h"

#if defined(_WIN32) && defined(__i386__)
#define MAIN_SYMBOL "_main"
#else
#define MAIN_SYMBOL "main"
#endif

#if defined(_WIN32)
#define MAIN_EXPORT_VISIBILITY
#else
#define MAIN_EXPORT_VISIBILITY __attribute__((visibility("default")))
#endif

extern "C" MAIN_EXPORT_VISIBILITY int32_t ExportedMain(IORecHandle ioRecHandle) __asm__(MAIN_SYMBOL);

extern "C" int32_t ExportedMain(IORecHandle ioRecHandle) { return ModuleMain(ioRecHandle); }
