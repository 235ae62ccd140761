// The camera state and the board functions: open, size, settings dialog, settings, release.
#pragma once

#include <cstdint>

// The driver's answer to the last open call: -1 until QV_InitCam ran, 0 while the board is
// open and ready for pictures, otherwise the driver's error code.
extern int32_t camera_status;

extern "C" {
int32_t QV_InitCam(void* parameterBlock);
int32_t QV_GetWidth(void* parameterBlock);
int32_t QV_GetHeight(void* parameterBlock);
int32_t QV_OpenDialog(void* parameterBlock);
int32_t QV_SetValues(void* parameterBlock);
int32_t QV_ReleaseCam(void* parameterBlock);
}

// Stops, closes and shuts the board, prints "Camera is released"; returns the stop status.
int32_t release_camera(void);
// The image size as the driver reports it now (0 when the driver does not answer).
int32_t image_width(void);
int32_t image_height(void);

// A number from the host as a 32-bit integer: truncated toward zero, NaN as 0, and values
// beyond the 32-bit range saturated at INT32_MIN or INT32_MAX.
int32_t TruncateToInt32(double value);
