// The picture functions: check the board, take one picture, check its size against what the
// driver reports afterwards, make the wave at its final size and type, fill it while its handle
// is locked and mark it modified. The name handle is the function's and is disposed of on
// every path; the pixel buffer is freed on every path.
#include "camera/picture.h"

#include <cstdlib>
#include <cstring>

#include "camera/board.h"
#include "camera/grab.h"
#include "camera/params.h"
#include "camera/window8.h"
#include "hostdata/handles.h"
#include "hostdata/waves.h"
#include "hostlink/host_exports.h"

namespace {

constexpr int kPictureDimensionListEntries = 10;
constexpr int32_t kOverwriteExistingWave = 1;

// Frees the pixel buffer when the picture function leaves.
struct PixelBuffer {
  uint16_t* pixels = nullptr;
  ~PixelBuffer() { std::free(pixels); }
};

// Takes the picture and asks the size again, as the wave is made from the second answer. A
// size that changed in between would make the wave disagree with the buffer: refused.
int32_t TakeCheckedPicture(PixelBuffer* buffer, int32_t* width, int32_t* height) {
  int32_t grabbedWidth = 0;
  int32_t grabbedHeight = 0;
  const int32_t status = grab_image_12bit(&buffer->pixels, &grabbedWidth, &grabbedHeight);
  if (status != 0) return status;
  *width = image_width();
  *height = image_height();
  if (*width != grabbedWidth || *height != grabbedHeight) return kErrPictureFailed;
  return 0;
}

// Makes the wave (width rows, height columns) and lets fill write its data while the handle
// is locked. Returns MakeWaveMD's code, or kErrPictureFailed when the wave gives no data address
// (a block too short for its header, or none from the host). A wave the host reports made
// without handing back its handle (kErrNullHandle from MakeWaveMD) is never touched.
template <typename Fill>
int32_t StoreInWave(const char* waveName, int32_t typeCode, int32_t width, int32_t height, Fill fill) {
  int32_t dimensionSizes[kPictureDimensionListEntries] = {};
  dimensionSizes[0] = width;
  dimensionSizes[1] = height;
  dimensionSizes[2] = 0;
  Handle wavH = nullptr;
  const int32_t made = MakeWaveMD(&wavH, waveName, nullptr, dimensionSizes, typeCode, kOverwriteExistingWave);
  if (made != 0) return made;

  const int32_t state = SaveAndLockHandle(wavH);
  char* data = WaveDataAddress(wavH);
  if (data != nullptr) fill(data);
  HSetState(wavH, state);
  if (data == nullptr) return kErrPictureFailed;
  (void)MarkWaveModified(wavH);
  return 0;
}

// Whether a failure of StoreInWave leaves the result unwritten, as the host's refusals of the
// wave do; a made wave without a handle is the module's own finding, written into the result
// like the picture's own failures.
bool ResultStaysUnwritten(int32_t stored) { return stored != kErrNullHandle; }

}  // namespace

extern "C" int32_t QV_TakePicture_12(void* parameterBlock) {
  auto* params = static_cast<TakePicture12Params*>(parameterBlock);
  Handle nameH = params->waveName;
  if (camera_status != 0) {
    DisposeHandle(nameH);
    params->result = camera_status;
    return camera_status;
  }

  char waveName[kWaveNameMaxLength + 1];
  (void)CopyHandleText(nameH, waveName, kWaveNameMaxLength);  // a null handle gives the empty name

  PixelBuffer buffer;
  int32_t width = 0;
  int32_t height = 0;
  if (int32_t failed = TakeCheckedPicture(&buffer, &width, &height); failed != 0) {
    DisposeHandle(nameH);
    params->result = failed;
    return failed;
  }

  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(uint16_t);
  const int32_t stored = StoreInWave(waveName, kWaveTypeUInt16, width, height,
                                     [&](char* data) { std::memcpy(data, buffer.pixels, bytes); });
  DisposeHandle(nameH);
  if (stored != 0) {
    if (!ResultStaysUnwritten(stored)) params->result = stored;
    return stored;
  }
  params->result = 0.0;
  return 0;
}

extern "C" int32_t QV_TakePicture_8(void* parameterBlock) {
  auto* params = static_cast<TakePicture8Params*>(parameterBlock);
  Handle nameH = params->waveName;
  const double low = params->low;
  const double high = params->high;
  if (camera_status != 0) {
    DisposeHandle(nameH);
    params->result = camera_status;
    return camera_status;
  }

  PixelBuffer buffer;
  int32_t width = 0;
  int32_t height = 0;
  if (int32_t failed = TakeCheckedPicture(&buffer, &width, &height); failed != 0) {
    DisposeHandle(nameH);
    params->result = failed;
    return failed;
  }

  char waveName[kWaveNameMaxLength + 1];
  (void)CopyHandleText(nameH, waveName, kWaveNameMaxLength);

  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  const int32_t stored = StoreInWave(waveName, kWaveTypeUInt8, width, height, [&](char* data) {
    WindowPixels(buffer.pixels, count, low, high, reinterpret_cast<uint8_t*>(data));
  });
  DisposeHandle(nameH);
  if (stored != 0) {
    if (!ResultStaysUnwritten(stored)) params->result = stored;
    return stored;
  }
  params->result = 0.0;
  return 0;
}
