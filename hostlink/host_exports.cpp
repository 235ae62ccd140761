// The module's wrappers over the host's module and window queries, and the reference that
// keeps the import of the one host export the module never calls.
#include "hostlink/host_exports.h"

#include "hostlink/transport.h"

const HostWindowMessageProc gHostWindowMessageImport = &HandleZEMWinMessage;

void* GetOwnModule(void) { return GetZEMModule(gIORecHandle); }

void* GetHostModule(void) { return GetQuorModule(); }

void* GetHostClientWindow(void) { return GetQuorClientHWND(); }
