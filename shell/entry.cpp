// main's steps, the dispatch of the host's messages and the external-function table, whose
// order is the order of the declarations in the ZEMF resource.
#include "shell/entry.h"

#include "camera/board.h"
#include "camera/picture.h"
#include "hostlink/transport.h"

namespace {

constexpr ExternalFunctionProc kExternalFunctions[kExternalFunctionCount] = {
    QV_InitCam,        // 0
    QV_GetWidth,       // 1
    QV_GetHeight,      // 2
    QV_OpenDialog,     // 3
    QV_TakePicture_12, // 4
    QV_TakePicture_8,  // 5
    QV_SetValues,      // 6
    QV_ReleaseCam,     // 7
};

}  // namespace

int32_t ModuleMain(IORecHandle ioRecHandle) {
  camera_status = -1;
  (void)InitModuleRecord(ioRecHandle);
  SetModuleEntry(ModuleEntry);
  SetModuleResult(0);
  return 0;
}

extern "C" void ModuleEntry(void) {
  HostWord result = 0;
  switch (GetModuleMessage()) {
    case kMsgShutdown:
      (void)release_camera();
      break;
    case kMsgFunctionAddress:
      result = GetFunctionAddress();
      break;
    default:
      break;
  }
  SetModuleResult(result);
}

HostWord GetFunctionAddress(void) {
  const HostWord index = GetModuleItem(0);
  if (static_cast<uintptr_t>(index) >= static_cast<uintptr_t>(kExternalFunctionCount)) return 0;
  return reinterpret_cast<HostWord>(kExternalFunctions[index]);
}
