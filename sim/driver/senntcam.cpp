// The simulated camera driver SENNTCAM: the board, its settings and one picture at a time,
// driven through the same entries as the maker's library, plus the controls that tests and the
// quorsim script use to watch the calls and to inject faults. Time comes from GetTickCount, the
// clock the module reads.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "hostlink/win32_subset.h"
#endif

#include "camera/driver.h"
#include "scene.h"
#include "senntcam_control.h"

namespace {

struct Settings {
  int32_t mode = 0, trig = 0;
  int32_t roix1 = 1, roix2 = kSimCamSensorWidth, roiy1 = 1, roiy2 = kSimCamSensorHeight;
  int32_t hbin = 1, vbin = 1;
  std::string text = "0, 10, -1, -1";
  int32_t delayMs = 0, exposureMs = 10;  // read from the text
};

// The board: what the driver's entries read and write.
struct Device {
  Settings settings;
  bool boardOpen = false;
  CamPicture picture = CamPicture::None;           // none, being exposed since a tick count, or ready
  uint32_t exposureStart = 0, exposureLength = 0;  // milliseconds on the tick clock
  uint32_t frame = 0;                              // pictures read since the noise was set
};

// The bench around it: the statuses and switches it arms, the record of the calls and who
// watches them, and the noise-free picture of the last view read out (the scene is the same
// for the same region, binning and exposure, so a readout with unchanged settings copies it).
struct Bench {
  std::map<int, int32_t> injected;  // ordinal -> status
  CamBenchControls controls;

  std::vector<CamCall> calls;
  std::map<int, size_t> callCounts;
  size_t callsNotRecorded = 0;
  CamCall current{0, {}, {}};  // the call of the entry running now
  SimCamCallObserver observer = nullptr;
  void* observerContext = nullptr;

  std::vector<uint16_t> sceneCache;
  SceneView sceneCacheView{};
  int32_t sceneCacheWidth = 0, sceneCacheHeight = 0;
};

struct Driver {
  Device device;
  Bench bench;
};

Driver& TheDriver() {
  static Driver driver;
  return driver;
}
Device& Board() { return TheDriver().device; }
Bench& TheBench() { return TheDriver().bench; }
CamBenchControls& Controls() { return TheBench().controls; }

// Records the call and answers the status injected for the entry (0 for none).
int32_t Enter(CamEntry entry, std::vector<int64_t> args = {}, std::string text = {}) {
  Bench& b = TheBench();
  const int ordinal = static_cast<int>(entry);
  ++b.callCounts[ordinal];
  b.current = {ordinal, std::move(args), std::move(text)};
  if (b.calls.size() < kSimCamMaxRecordedCalls)
    b.calls.push_back(b.current);
  else
    ++b.callsNotRecorded;
  const auto found = b.injected.find(ordinal);
  return found != b.injected.end() ? found->second : 0;
}

// Tells the observer, if any, what the entry entered last answers; returns the status.
int32_t Leave(int32_t status, std::initializer_list<int64_t> outputs = {}, const char* outputText = nullptr,
              double value = 0) {
  const Bench& b = TheBench();
  if (b.observer == nullptr) return status;
  CamCallReport report{&b.current, status, value, 0, {}, outputText};
  for (int64_t output : outputs) {
    if (report.outputCount == static_cast<int>(std::size(report.outputs))) break;
    report.outputs[report.outputCount++] = output;
  }
  b.observer(b.observerContext, report);
  return status;
}

// A text argument as the record keeps it (cut at the settings text size).
std::string TextArgument(const char* text) {
  return text != nullptr ? std::string(text, strnlen(text, kSettingsTextSize)) : std::string();
}

// The entry's own status, unless a positive status was injected and the entry succeeded.
int32_t Answer(int32_t injected, int32_t own) { return own == 0 && injected > 0 ? injected : own; }

int32_t ImageWidth(const Settings& s) { return (s.roix2 - s.roix1 + 1) / s.hbin; }
int32_t ImageHeight(const Settings& s) { return (s.roiy2 - s.roiy1 + 1) / s.vbin; }

SceneView ViewOf(const Settings& s, int32_t exposureScale) {
  return {s.roix1 - 1, s.roiy1 - 1, s.hbin, s.vbin, s.exposureMs, exposureScale};
}

// The settings text: four integers separated by commas, spaces allowed around each.
bool ParseSettingsText(const char* text, int32_t* delayMs, int32_t* exposureMs) {
  const size_t length = strnlen(text, kSettingsTextSize);
  if (length >= static_cast<size_t>(kSettingsTextSize)) return false;
  const char* at = text;
  const char* end = text + length;
  int32_t values[4];
  for (int i = 0; i < 4; ++i) {
    while (at < end && *at == ' ') ++at;
    const auto [next, error] = std::from_chars(at, end, values[i]);
    if (error != std::errc()) return false;
    at = next;
    while (at < end && *at == ' ') ++at;
    if (i < 3) {
      if (at == end || *at != ',') return false;
      ++at;
    }
  }
  if (at != end) return false;
  if (values[0] < 0 || values[0] > kSimCamMaxTimeMs || values[1] < 0 || values[1] > kSimCamMaxTimeMs) return false;
  *delayMs = values[0];
  *exposureMs = values[1];
  return true;
}

bool ValidBinning(int32_t bin) { return bin == 1 || bin == 2 || bin == 4 || bin == 8; }

bool ValidRegion(int32_t first, int32_t last, int32_t sensorSize, int32_t bin) {
  return first >= 1 && first <= last && last <= sensorSize && last - first + 1 >= bin;
}

// Moves an exposure whose time has passed on to a ready picture.
void UpdatePicture() {
  Device& d = Board();
  if (d.picture == CamPicture::Exposing && GetTickCount() - d.exposureStart >= d.exposureLength)
    d.picture = CamPicture::Ready;
}

template <typename Pixel>
int32_t ReadImage(int32_t width, int32_t height, Pixel* pixels, int shift) {
  Device& d = Board();
  Bench& b = TheBench();
  if (!d.boardOpen) return kSimCamBoardClosed;
  if (pixels == nullptr) return kSimCamBadArgument;
  if (width != ImageWidth(d.settings) || height != ImageHeight(d.settings)) return kSimCamSizeMismatch;
  UpdatePicture();
  if (b.controls.noPicture || d.picture != CamPicture::Ready) return kReadoutNoPicture;
  const SceneView view = ViewOf(d.settings, b.controls.exposureScale);
  if (b.sceneCacheWidth != width || b.sceneCacheHeight != height ||
      std::memcmp(&b.sceneCacheView, &view, sizeof view) != 0) {
    b.sceneCache.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        b.sceneCache[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
            ScenePixel(view, x, y);
    b.sceneCacheView = view;
    b.sceneCacheWidth = width;
    b.sceneCacheHeight = height;
  }
  const uint16_t* scene = b.sceneCache.data();
  if (b.controls.noise == 0 && shift == 0) {
    std::memcpy(pixels, scene, b.sceneCache.size() * sizeof(uint16_t));
  } else {
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
        const int32_t value = scene[at] + SceneNoise(b.controls.noiseSeed, d.frame, x, y, b.controls.noise);
        pixels[at] = static_cast<Pixel>(std::clamp(value, 0, kSimCamFullScale) >> shift);
      }
    }
  }
  ++d.frame;
  d.picture = CamPicture::None;  // the board's buffer is read out
  return 0;
}

// What each entry does once the call is recorded and no negative status was injected; each
// answers its own status, which Answer then combines with an injected positive one.
int32_t InitBoard(int32_t mode) {
  Device& d = Board();
  if (mode != kBoardOpen && mode != kBoardClose) return kSimCamBadArgument;
  d.boardOpen = mode == kBoardOpen;
  d.picture = CamPicture::None;
  return 0;
}

int32_t ImageSize(int32_t* width, int32_t* height) {
  CamBenchControls& c = Controls();
  if (width == nullptr || height == nullptr) return kSimCamBadArgument;
  const bool overridden = c.sizeOverride && c.sizeCallsSinceOverride >= c.sizeOverrideFrom;
  if (c.sizeCallsSinceOverride < INT32_MAX) ++c.sizeCallsSinceOverride;
  if (overridden) {
    *width = c.overrideWidth;
    *height = c.overrideHeight;
  } else {
    *width = ImageWidth(Board().settings);
    *height = ImageHeight(Board().settings);
  }
  return 0;
}

int32_t RunCoc(int32_t mode) {
  Device& d = Board();
  if (!d.boardOpen) return kSimCamBoardClosed;
  if (mode != 4) return kSimCamBadArgument;  // single picture is the only mode simulated
  d.picture = CamPicture::Exposing;
  d.exposureStart = GetTickCount();
  d.exposureLength = static_cast<uint32_t>(d.settings.delayMs) + static_cast<uint32_t>(d.settings.exposureMs);
  return 0;
}

int32_t ImageStatus(int32_t* picstat) {
  const Device& d = Board();
  if (!d.boardOpen) return kSimCamBoardClosed;
  if (picstat == nullptr) return kSimCamBadArgument;
  UpdatePicture();
  // Bit value 2: a picture is on its way; bit value 1: a finished picture waits to be read.
  const bool pending = Controls().pollStuck || d.picture == CamPicture::Exposing;
  *picstat = (pending ? kPicstatPictureNotReady : 0) | (d.picture == CamPicture::Ready ? 1 : 0);
  return 0;
}

int32_t ReadSettings(int32_t* mode, int32_t* trig, int32_t* roix1, int32_t* roix2, int32_t* roiy1, int32_t* roiy2,
                     int32_t* hbin, int32_t* vbin, char* text, int32_t textSize) {
  for (const int32_t* out : {mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin})
    if (out == nullptr) return kSimCamBadArgument;
  if (text == nullptr && textSize > 0) return kSimCamBadArgument;
  const Settings& s = Board().settings;
  *mode = s.mode;
  *trig = s.trig;
  *roix1 = s.roix1;
  *roix2 = s.roix2;
  *roiy1 = s.roiy1;
  *roiy2 = s.roiy2;
  *hbin = s.hbin;
  *vbin = s.vbin;
  if (textSize > 0) {
    const size_t copied = std::min(s.text.size(), static_cast<size_t>(textSize) - 1);
    std::memcpy(text, s.text.data(), copied);
    text[copied] = '\0';
  }
  return 0;
}

int32_t WriteSettings(int32_t mode, int32_t trig, int32_t roix1, int32_t roix2, int32_t roiy1, int32_t roiy2,
                      int32_t hbin, int32_t vbin, const char* text) {
  if (text == nullptr) return kSimCamBadArgument;
  Settings next{mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin, {}, 0, 0};
  if (!ValidBinning(hbin) || !ValidBinning(vbin) || !ValidRegion(roix1, roix2, kSimCamSensorWidth, hbin) ||
      !ValidRegion(roiy1, roiy2, kSimCamSensorHeight, vbin) || !ParseSettingsText(text, &next.delayMs, &next.exposureMs))
    return kSimCamSettingsRefused;
  next.text = text;
  Board().settings = std::move(next);
  return 0;
}

// What a timing entry answers, in microseconds: the bench's value while the timing override is
// on, else the settings' milliseconds.
double AnswerTime(CamEntry entry, double overrideMicroseconds, int32_t settingMilliseconds) {
  Enter(entry);
  const double value = Controls().timingOverride ? overrideMicroseconds : settingMilliseconds * 1000.0;
  Leave(0, {}, nullptr, value);
  return value;
}

// The status an entry answers: an injected negative one at once, else its own work's status
// combined with an injected positive one.
template <typename Work>
int32_t Run(int32_t injected, Work work) {
  return injected < 0 ? injected : Answer(injected, work());
}

}  // namespace

// ---------------------------------------------------------------- driver entries

extern "C" {

int32_t DRIVER_CALL PREPARE_BOARD(int32_t zero) {
  return Leave(Run(Enter(CamEntry::PrepareBoard, {zero}), [] { return 0; }));
}

int32_t DRIVER_CALL INIT_BOARD(int32_t mode) {
  return Leave(Run(Enter(CamEntry::InitBoard, {mode}), [&] { return InitBoard(mode); }));
}

int32_t DRIVER_CALL GET_IMAGE_SIZE(int32_t* width, int32_t* height) {
  const int32_t status = Run(Enter(CamEntry::GetImageSize), [&] { return ImageSize(width, height); });
  if (status < 0 || width == nullptr || height == nullptr) return Leave(status);
  return Leave(status, {*width, *height});
}

double DRIVER_CALL GET_DELAY_TIME(void) {
  return AnswerTime(CamEntry::GetDelayTime, Controls().delayOverride, Board().settings.delayMs);
}

double DRIVER_CALL GET_EXPOSURE_TIME(void) {
  return AnswerTime(CamEntry::GetExposureTime, Controls().exposureOverride, Board().settings.exposureMs);
}

int32_t DRIVER_CALL RUN_COC(int32_t mode) {
  return Leave(Run(Enter(CamEntry::RunCoc, {mode}), [&] { return RunCoc(mode); }));
}

int32_t DRIVER_CALL GET_IMAGE_STATUS(int32_t* picstat) {
  const int32_t status = Run(Enter(CamEntry::GetImageStatus), [&] { return ImageStatus(picstat); });
  if (status < 0 || picstat == nullptr) return Leave(status);
  return Leave(status, {*picstat});
}

int32_t DRIVER_CALL READ_IMAGE_12BIT(int32_t zero, int32_t width, int32_t height, uint16_t* pixels) {
  return Leave(Run(Enter(CamEntry::ReadImage12, {zero, width, height}),
                   [&] { return ReadImage(width, height, pixels, 0); }));
}

int32_t DRIVER_CALL READ_IMAGE_8BIT(int32_t zero, int32_t width, int32_t height, uint8_t* pixels) {
  return Leave(Run(Enter(CamEntry::ReadImage8, {zero, width, height}),
                   [&] { return ReadImage(width, height, pixels, 4); }));
}

int32_t DRIVER_CALL STOP_COC(int32_t zero) {
  return Leave(Run(Enter(CamEntry::StopCoc, {zero}), [] { return 0; }));
}

int32_t DRIVER_CALL CLOSE_BOARD(void) { return Leave(Run(Enter(CamEntry::CloseBoard), [] { return 0; })); }

int32_t DRIVER_CALL READ_SETTINGS(int32_t* mode, int32_t* trig, int32_t* roix1, int32_t* roix2, int32_t* roiy1,
                                  int32_t* roiy2, int32_t* hbin, int32_t* vbin, char* text, int32_t textSize) {
  const int32_t status = Run(Enter(CamEntry::ReadSettings, {textSize}), [&] {
    return ReadSettings(mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin, text, textSize);
  });
  if (status < 0) return Leave(status);
  // Written only when every output is there; the text only when its buffer has room.
  return Leave(status, {*mode, *trig, *roix1, *roix2, *roiy1, *roiy2, *hbin, *vbin}, textSize > 0 ? text : nullptr);
}

int32_t DRIVER_CALL WRITE_SETTINGS(int32_t mode, int32_t trig, int32_t roix1, int32_t roix2, int32_t roiy1,
                                   int32_t roiy2, int32_t hbin, int32_t vbin, const char* text) {
  return Leave(Run(Enter(CamEntry::WriteSettings, {mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin}, TextArgument(text)),
                   [&] { return WriteSettings(mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin, text); }));
}

int32_t DRIVER_CALL SETTINGS_DIALOG(void* parentWindow, int32_t zero, const char* title) {
  // The stand-in shows no window: the call is recorded and the settings stay as they are.
  return Leave(Run(Enter(CamEntry::SettingsDialog,
                         {static_cast<int64_t>(reinterpret_cast<intptr_t>(parentWindow)), zero}, TextArgument(title)),
                   [] { return 0; }));
}

}  // extern "C"

// ---------------------------------------------------------------- test controls

void SimCamReset() { TheDriver() = Driver(); }

const std::vector<CamCall>& SimCamCalls() { return TheBench().calls; }

std::vector<int> SimCamCallOrdinals() {
  std::vector<int> ordinals;
  ordinals.reserve(TheBench().calls.size());
  for (const CamCall& call : TheBench().calls) ordinals.push_back(call.ordinal);
  return ordinals;
}

void SimCamClearCalls() {
  TheBench().calls.clear();
  TheBench().callCounts.clear();
  TheBench().callsNotRecorded = 0;
}

size_t SimCamCallCount(CamEntry entry) {
  const auto found = TheBench().callCounts.find(static_cast<int>(entry));
  return found != TheBench().callCounts.end() ? found->second : 0;
}

size_t SimCamCallsNotRecorded() { return TheBench().callsNotRecorded; }

void SimCamFailEntry(CamEntry entry, int32_t status) {
  if (status == 0)
    TheBench().injected.erase(static_cast<int>(entry));
  else
    TheBench().injected[static_cast<int>(entry)] = status;
}

void SimCamSetTimingOverride(bool on, double delayMicroseconds, double exposureMicroseconds) {
  Controls().timingOverride = on;
  Controls().delayOverride = delayMicroseconds;
  Controls().exposureOverride = exposureMicroseconds;
}

void SimCamSetPollStuck(bool stuck) { Controls().pollStuck = stuck; }
void SimCamSetNoPicture(bool noPicture) { Controls().noPicture = noPicture; }

void SimCamOverrideImageSize(int32_t width, int32_t height, int fromCall) {
  CamBenchControls& c = Controls();
  c.sizeOverride = true;
  c.overrideWidth = width;
  c.overrideHeight = height;
  c.sizeOverrideFrom = fromCall;
  c.sizeCallsSinceOverride = 0;
}

void SimCamClearImageSizeOverride() { Controls().sizeOverride = false; }

void SimCamSetNoise(int amplitude) {
  Controls().noise = amplitude;
  Board().frame = 0;
}

void SimCamSetNoiseSeed(uint32_t seed) {
  Controls().noiseSeed = seed;
  Board().frame = 0;
}

bool SimCamSetExposureScale(int32_t thousandths) {
  if (thousandths < 0 || thousandths > kSimCamMaxExposureScale) return false;
  Controls().exposureScale = thousandths;
  return true;
}

void SimCamClearFaults() {
  CamBenchControls& c = Controls();
  TheBench().injected.clear();
  c.pollStuck = false;
  c.noPicture = false;
  c.sizeOverride = false;
  c.timingOverride = false;
}

int32_t SimCamInjectedStatus(CamEntry entry) {
  const auto found = TheBench().injected.find(static_cast<int>(entry));
  return found != TheBench().injected.end() ? found->second : 0;
}

CamBenchState SimCamState() {
  UpdatePicture();  // an exposure whose time has passed is a picture waiting, as the entries see it
  const Device& d = Board();
  return {Controls(), d.boardOpen, ImageWidth(d.settings), ImageHeight(d.settings), d.settings.delayMs,
          d.settings.exposureMs, d.picture};
}

void SimCamSetCallObserver(SimCamCallObserver observer, void* context) {
  TheBench().observer = observer;
  TheBench().observerContext = observer != nullptr ? context : nullptr;
}

CamSettings SimCamSettings() {
  const Settings& s = Board().settings;
  return {s.mode, s.trig, s.roix1, s.roix2, s.roiy1, s.roiy2, s.hbin, s.vbin, s.text};
}

bool SimCamBoardOpen() { return Board().boardOpen; }
int32_t SimCamExposureMilliseconds() { return Board().settings.exposureMs; }

uint16_t SimCamExpectedPixel(int32_t x, int32_t y) {
  const Settings& s = Board().settings;
  if (x >= ImageWidth(s) || y >= ImageHeight(s)) return 0;
  return ScenePixel(ViewOf(s, Controls().exposureScale), x, y);
}
