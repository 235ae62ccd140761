// The board functions. Each is a short sequence of driver calls; driver failures reach the user
// only as results, and every function returns 0 to the host.
#include "camera/board.h"

#include <cmath>
#include <cstdio>

#include "camera/driver.h"
#include "camera/params.h"
#include "hostlink/host_exports.h"

int32_t camera_status = -1;

namespace {

constexpr char kSettingsDialogTitle[] = "Camera Dialog";
constexpr char kSettingsTextFormat[] = "0, %d, -1, -1";

struct ImageSize {
  int32_t width = 0;
  int32_t height = 0;
};

// The driver leaves its outputs unwritten when it fails; they then read as 0.
ImageSize AskImageSize() {
  ImageSize size;
  (void)GET_IMAGE_SIZE(&size.width, &size.height);
  return size;
}

}  // namespace

int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return INT32_MAX;
  if (value <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int32_t image_width(void) { return AskImageSize().width; }

int32_t image_height(void) { return AskImageSize().height; }

int32_t release_camera(void) {
  const int32_t status = STOP_COC(0);
  (void)CLOSE_BOARD();
  (void)INIT_BOARD(kBoardClose);
  std::printf("Camera is released\n");
  std::fflush(stdout);
  return status;
}

extern "C" int32_t QV_InitCam(void* parameterBlock) {
  auto* params = static_cast<ResultOnlyParams*>(parameterBlock);
  (void)PREPARE_BOARD(0);
  camera_status = INIT_BOARD(kBoardOpen);
  params->result = camera_status;
  return 0;
}

extern "C" int32_t QV_GetWidth(void* parameterBlock) {
  auto* params = static_cast<ResultOnlyParams*>(parameterBlock);
  params->result = image_width();
  return 0;
}

extern "C" int32_t QV_GetHeight(void* parameterBlock) {
  auto* params = static_cast<ResultOnlyParams*>(parameterBlock);
  params->result = image_height();
  return 0;
}

extern "C" int32_t QV_OpenDialog(void* parameterBlock) {
  (void)parameterBlock;
  (void)SETTINGS_DIALOG(GetHostClientWindow(), 0, kSettingsDialogTitle);
  return 0;
}

extern "C" int32_t QV_SetValues(void* parameterBlock) {
  auto* params = static_cast<SetValuesParams*>(parameterBlock);
  const double first = params->first;
  const double second = params->second;

  int32_t mode = 0, trig = 0, roix1 = 0, roix2 = 0, roiy1 = 0, roiy2 = 0, hbin = 0, vbin = 0;
  char text[kSettingsTextSize] = {};
  (void)READ_SETTINGS(&mode, &trig, &roix1, &roix2, &roiy1, &roiy2, &hbin, &vbin, text, kSettingsTextSize);

  std::snprintf(text, sizeof text, kSettingsTextFormat, static_cast<int>(TruncateToInt32(second)));
  hbin = TruncateToInt32(first);
  vbin = hbin;
  const int32_t status = WRITE_SETTINGS(mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin, text);
  params->result = status;
  return 0;
}

extern "C" int32_t QV_ReleaseCam(void* parameterBlock) {
  (void)parameterBlock;
  (void)release_camera();
  return 0;
}
