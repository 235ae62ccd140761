// The host's version number, read from the file-version resource of the host executable.
#include "hostlink/host_version.h"

#include <cstring>

#include "hostlink/host_exports.h"
#include "hostlink/platform.h"

int32_t hostVersion = 0;

namespace {
constexpr DWORD kModuleFileNameSize = 256;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;
}

int32_t GetHostVersion(void) {
  HMODULE hostModule = static_cast<HMODULE>(GetHostModule());
  if (hostModule == nullptr) return 0;

  char fileName[kModuleFileNameSize] = {};
  if (GetModuleFileNameA(hostModule, fileName, kModuleFileNameSize) == 0) return 0;
  fileName[kModuleFileNameSize - 1] = '\0';  // a cut-off name is not terminated on every system

  DWORD unusedHandle = 0;
  const DWORD infoSize = GetFileVersionInfoSizeA(fileName, &unusedHandle);
  if (infoSize == 0 || infoSize > static_cast<DWORD>(INT32_MAX)) return 0;

  Ptr block = NewPtr(static_cast<int32_t>(infoSize));
  if (block == nullptr) return 0;
  if (!GetFileVersionInfoA(fileName, 0, infoSize, block)) {
    DisposePtr(block);
    return 0;
  }

  LPVOID fixedInfoAddress = nullptr;
  UINT fixedInfoLength = 0;
  // A damaged resource can answer a fixed-information block shorter than the structure, or
  // one that is not fixed file information at all: neither is read beyond what it holds.
  if (!VerQueryValueA(block, "\\", &fixedInfoAddress, &fixedInfoLength) || fixedInfoAddress == nullptr ||
      fixedInfoLength < sizeof(VS_FIXEDFILEINFO)) {
    DisposePtr(block);
    return 0;
  }
  VS_FIXEDFILEINFO fixedInfo;
  std::memcpy(&fixedInfo, fixedInfoAddress, sizeof fixedInfo);
  if (fixedInfo.dwSignature != kFixedFileInfoSignature) {
    DisposePtr(block);
    return 0;
  }

  const int32_t major = HIWORD(fixedInfo.dwFileVersionMS);
  const int32_t minor = LOWORD(fixedInfo.dwFileVersionMS);
  const int32_t third = HIWORD(fixedInfo.dwFileVersionLS);
  DisposePtr(block);
  return major * 100 + minor * 10 + third;
}
