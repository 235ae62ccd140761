// The few Win32 calls the module makes: the real ones in the DLL, the platform stand-in's on Linux.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // keep std::min and std::max usable beside <windows.h>
#endif
#include <windows.h>
#else
#include "hostlink/win32_subset.h"
#endif
