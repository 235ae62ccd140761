// Parameter blocks of the eight external functions: the declared parameters in reverse order,
// packed, then the double result. A number takes 8 bytes, a text handle the size of a handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostlink/record.h"

#pragma pack(push, 1)
struct ResultOnlyParams {  // QV_InitCam, QV_GetWidth, QV_GetHeight, QV_OpenDialog, QV_ReleaseCam
  double result;
};
struct TakePicture12Params {
  Handle waveName;
  double result;
};
struct TakePicture8Params {
  double high;
  double low;
  Handle waveName;
  double result;
};
struct SetValuesParams {
  double second;
  double first;
  double result;
};
#pragma pack(pop)

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(TakePicture12Params) == 12 && offsetof(TakePicture12Params, result) == 4);
static_assert(offsetof(TakePicture8Params, low) == 8);
static_assert(offsetof(TakePicture8Params, waveName) == 16);
static_assert(offsetof(TakePicture8Params, result) == 20 && sizeof(TakePicture8Params) == 28);
#endif
static_assert(offsetof(SetValuesParams, first) == 8 && offsetof(SetValuesParams, result) == 16);
