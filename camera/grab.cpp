// The single-picture grab cycle. It talks to the driver, measures the wait with the system's
// millisecond tick counter and writes its progress and the driver's errors to standard output.
// A failure returns a code; the process and the board stay as they are.
#include "camera/grab.h"

#include <cstdio>
#include <cstdlib>

#include "camera/driver.h"
#include "hostlink/platform.h"

namespace {

void Print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

void PrintStatus(const char* format, int32_t status) {
  std::printf(format, static_cast<int>(status));
  std::fflush(stdout);
}

// The two readouts, with their messages.
struct Readout12 {
  using Pixel = uint16_t;
  static int32_t Read(int32_t width, int32_t height, Pixel* pixels) {
    return READ_IMAGE_12BIT(0, width, height, pixels);
  }
  static constexpr const char* kFailedFormat = "\nREAD_IMAGE_12BIT failed with error %d\n";
  static constexpr const char* kNoPictureText = "\nREAD_IMAGE_12BIT failed because no picture is in buffer\n";
};

struct Readout8 {
  using Pixel = uint8_t;
  static int32_t Read(int32_t width, int32_t height, Pixel* pixels) {
    return READ_IMAGE_8BIT(0, width, height, pixels);
  }
  static constexpr const char* kFailedFormat = "\nREAD_IMAGE_8BIT failed with error %d\n";
  static constexpr const char* kNoPictureText = "\nREAD_IMAGE_8BIT failed because no picture is in buffer\n";
};

int32_t TimeoutFromDriver() {
  const double delay = GET_DELAY_TIME();
  const double exposure = GET_EXPOSURE_TIME();
  return PictureTimeoutMilliseconds(delay, exposure);
}

struct WaitOutcome {
  int32_t pollStatus;
  int32_t picstat;
};

// Busy poll until the picture is ready, the poll fails or answers other than 0, or the time-out
// has passed. Elapsed time is taken modulo 2^32, so a wrap of the tick counter changes nothing.
WaitOutcome WaitForPicture(int32_t timeoutMilliseconds) {
  const uint32_t timeout = static_cast<uint32_t>(timeoutMilliseconds);
  int32_t picstat = 0;  // a first poll that fails without writing it reports no pending picture
  int32_t status = 0;
  const uint32_t start = GetTickCount();
  uint32_t now = start;
  do {
    status = GET_IMAGE_STATUS(&picstat);
    now = GetTickCount();
  } while (status == 0 && now - start < timeout && (picstat & kPicstatPictureNotReady) != 0);
  return {status, picstat};
}

// Asks the image size and allocates its buffer; prints and returns the failure otherwise.
template <typename Pixel>
int32_t AllocatePictureBuffer(Pixel** buffer, int32_t* width, int32_t* height) {
  int32_t w = 0;
  int32_t h = 0;
  const int32_t status = GET_IMAGE_SIZE(&w, &h);
  if (status < 0) {
    PrintStatus("\nGET_IMAGE_SIZE failed with error %d\n", status);
    return status;
  }
  const int64_t bytes = static_cast<int64_t>(w) * static_cast<int64_t>(h) * static_cast<int64_t>(sizeof(Pixel));
  Pixel* allocated = nullptr;
  if (w > 0 && h > 0 && bytes <= INT32_MAX) allocated = static_cast<Pixel*>(std::malloc(static_cast<size_t>(bytes)));
  if (allocated == nullptr) {
    Print("\nallocating image buffer failed\n");
    return kErrPictureFailed;
  }
  *buffer = allocated;
  *width = w;
  *height = h;
  return 0;
}

template <typename Readout>
int32_t GrabImage(typename Readout::Pixel** pixels, int32_t* width, int32_t* height) {
  using Pixel = typename Readout::Pixel;
  *pixels = nullptr;
  *width = 0;
  *height = 0;

  Pixel* buffer = nullptr;
  int32_t w = 0;
  int32_t h = 0;
  if (int32_t status = AllocatePictureBuffer(&buffer, &w, &h); status != 0) return status;

  const int32_t timeout = TimeoutFromDriver();
  Print("\nCamera grabs one image\n");
  const int32_t runStatus = RUN_COC(kRunSinglePicture);
  if (runStatus < 0) PrintStatus("\nRUN_COC failed with error %d\n", runStatus);

  const WaitOutcome wait = WaitForPicture(timeout);
  if (wait.pollStatus < 0) PrintStatus("\nGET_IMAGE_STATUS failed with error %d\n", wait.pollStatus);
  if ((wait.picstat & kPicstatPictureNotReady) != 0) Print("\nTIMEOUT in waiting for picture\n");

  Print("Read image from board buffer\n");
  const int32_t readStatus = Readout::Read(w, h, buffer);
  if (readStatus < 0) PrintStatus(Readout::kFailedFormat, readStatus);
  if (readStatus == kReadoutNoPicture) Print(Readout::kNoPictureText);
  (void)STOP_COC(0);

  // A time-out or a failed poll alone loses nothing: the readout decides whether a picture came.
  int32_t failure = 0;
  if (runStatus < 0)
    failure = runStatus;
  else if (readStatus < 0 || readStatus == kReadoutNoPicture)
    failure = readStatus;
  if (failure != 0) {
    std::free(buffer);
    return failure;
  }
  *pixels = buffer;
  *width = w;
  *height = h;
  return 0;
}

}  // namespace

int32_t PictureTimeoutMilliseconds(double delayMicroseconds, double exposureMicroseconds) {
  const double sum = delayMicroseconds + exposureMicroseconds;
  int32_t microseconds = 0;
  if (!(sum >= 0.0)) {
    microseconds = 0;  // NaN or negative
  } else if (sum >= 2147483648.0) {
    microseconds = INT32_MAX;
  } else {
    // Below 2^31 the float is in range, but rounding may still carry it up to 2^31.
    const float rounded = static_cast<float>(sum);
    microseconds = rounded >= 2147483648.0f ? INT32_MAX : static_cast<int32_t>(rounded);
  }
  return microseconds / 1000 + kPictureWaitMarginMilliseconds;
}

int32_t grab_image_12bit(uint16_t** pixels, int32_t* width, int32_t* height) {
  return GrabImage<Readout12>(pixels, width, height);
}

int32_t grab_image_8bit(uint8_t** pixels, int32_t* width, int32_t* height) {
  return GrabImage<Readout8>(pixels, width, height);
}

int32_t grab_into_buffer(uint16_t* buffer, int32_t width, int32_t height) {
  if (buffer == nullptr || width <= 0 || height <= 0) return kErrPictureFailed;
  (void)WaitForPicture(TimeoutFromDriver());
  const int32_t runStatus = RUN_COC(kRunSinglePicture);
  if (runStatus < 0) return runStatus;
  const int32_t readStatus = READ_IMAGE_12BIT(0, width, height, buffer);
  (void)STOP_COC(0);
  return readStatus;
}
