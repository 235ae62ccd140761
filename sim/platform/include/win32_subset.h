/* The Win32 calls that the module makes, declared for Linux with Win32's own names, types and
   calling convention. The platform stand-in library (win32sim) implements them. */
#ifndef OMBREL_WIN32_SUBSET_H
#define OMBREL_WIN32_SUBSET_H

#include <stdint.h>

#if defined(__i386__)
#define WINAPI __attribute__((stdcall))
#else
#define WINAPI
#endif

typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef void* HMODULE;
typedef void* HINSTANCE;
typedef void* HWND;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef UINT* PUINT;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

typedef struct tagVS_FIXEDFILEINFO {
  DWORD dwSignature; /* 0xFEEF04BD */
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

#define HIWORD(l) ((WORD)((((DWORD)(l)) >> 16) & 0xffff))
#define LOWORD(l) ((WORD)(((DWORD)(l)) & 0xffff))

#ifdef __cplusplus
extern "C" {
#endif

/* KERNEL32 */
DWORD WINAPI GetTickCount(void);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
void WINAPI DebugBreak(void);
BOOL WINAPI IsDebuggerPresent(void);

/* VERSION */
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data);
BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length);

#ifdef __cplusplus
}
#endif

#endif
