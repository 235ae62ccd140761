// The functions that Quor.exe exports to its modules, as the module declares and imports them.
// In the DLL they come from Quor.exe's import library; on Linux the program that loads the
// module provides them. All are cdecl with 32-bit sizes; handles and addresses are pointer-sized.
#pragma once

#include <cstdint>

#include "hostlink/record.h"

extern "C" {
void* GetZEMModule(IORecHandle ioRecHandle);   // instance handle of this module
void* GetQuorModule(void);                      // module handle of the host executable, or 0
void* GetQuorClientHWND(void);                  // the host's main client window
int32_t GetWinIndString(void* instance, char* buffer, int32_t listId, int32_t index);
int32_t SetScrapData(int32_t zero, int32_t length, int32_t typeCode, const void* data);
uint32_t TickCount(void);

Ptr NewPtr(int32_t size);
void DisposePtr(Ptr p);
Handle NewHandle(int32_t size);
void SetHandleSize(Handle h, int32_t newSize);
int32_t MemError(void);
int32_t GetHandleSize(Handle h);
int32_t HGetState(Handle h);
void HSetState(Handle h, int32_t state);
void MoveHHi(Handle h);
void HLock(Handle h);
void DisposeHandle(Handle h);

// Never called; imported all the same (see gHostWindowMessageImport).
intptr_t HandleZEMWinMessage(void* instance, void* window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam, intptr_t* handled);
}

// Quor's loader expects a module to import every function Quor.exe exports to modules. A
// function the module never calls would be dropped from the import table by the linker; this
// address of HandleZEMWinMessage, kept in the module's data and never called through, is what
// keeps its import.
using HostWindowMessageProc = decltype(&HandleZEMWinMessage);
extern const HostWindowMessageProc gHostWindowMessageImport;

// The module's wrappers over three of them.
void* GetOwnModule(void);
void* GetHostModule(void);
void* GetHostClientWindow(void);
