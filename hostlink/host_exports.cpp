// The module's wrappers over the host's module and window queries.
#include "hostlink/host_exports.h"

#include "hostlink/transport.h"

void* GetOwnModule(void) { return GetZEMModule(gIORecHandle); }

void* GetHostModule(void) { return GetQuorModule(); }

void* GetHostClientWindow(void) { return GetQuorClientHWND(); }
