// The host's version number, read once at load from the host executable's file version.
#pragma once

#include <cstdint>

// major * 100 + minor * 10 + third part of the host's file version, or 0 when unknown (no
// version resource, or fixed file information that is too short or not signed as such).
// Written once by InitModuleRecord; the wave wrappers compare it with fixed thresholds.
extern int32_t hostVersion;

int32_t GetHostVersion(void);
