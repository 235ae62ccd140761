// The few Win32 calls the module makes: the real ones in the DLL, the platform stand-in's on Linux.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "win32_subset.h"
#endif
