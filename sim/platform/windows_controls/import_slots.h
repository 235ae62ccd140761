// The import address table of a loaded Windows module, for the test controls that put their
// own function in front of a system one (the tick clock, the beep recorder).
#pragma once

#include <windows.h>

// Points every import of `function` from `library` (by name; names compared without case for
// the library) in `module`'s import table at `replacement`. Returns the address the last slot
// held before, or 0 when the module imports no such function (or is not a module image).
ULONG_PTR ReplaceImport(HMODULE module, const char* library, const char* function, ULONG_PTR replacement);
