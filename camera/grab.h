// Taking one picture with the open board: size, buffer, time-out, start, wait, readout, stop.
#pragma once

#include <cstdint>

#include "hostlink/error_codes.h"

// Mode of RUN_COC that takes one picture.
inline constexpr int32_t kRunSinglePicture = 4;
// Margin added to the exposure time when waiting for the picture.
inline constexpr int32_t kPictureWaitMarginMilliseconds = 20;

// The wait for a picture in milliseconds: the whole milliseconds of delay + exposure (in
// microseconds, summed in double and rounded to float) plus the 20 ms margin. A sum that is
// NaN or negative counts as 0; a sum of 2^31 microseconds or more as INT32_MAX microseconds.
int32_t PictureTimeoutMilliseconds(double delayMicroseconds, double exposureMicroseconds);

// Takes one picture into a new malloc'ed buffer of width x height pixels, printing progress and
// driver errors. Returns 0 and hands over the buffer (the caller frees it), or an error code
// with *pixels null: GET_IMAGE_SIZE's negative status, kErrPictureFailed for a size that is
// not positive or too large or a buffer that cannot be had, RUN_COC's negative status, or the
// readout's status when it is negative or kReadoutNoPicture. The board is stopped after every
// readout and never closed here.
int32_t grab_image_12bit(uint16_t** pixels, int32_t* width, int32_t* height);
// The same with the 8-bit readout, one byte per pixel.
int32_t grab_image_8bit(uint8_t** pixels, int32_t* width, int32_t* height);
// Into a caller's buffer of width x height pixels, silently: waits within the time-out until
// no picture is pending, starts one (returning RUN_COC's status at once when it is negative),
// reads it out, stops the board and returns the readout's status. kErrPictureFailed without
// any driver call for a null buffer or a size that is not positive.
int32_t grab_into_buffer(uint16_t* buffer, int32_t width, int32_t height);
