// Test controls of the simulated camera driver: failure injection, the record of entries
// called, and the scene and settings of the simulated 1280 x 1024 12-bit camera.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The controls are plain functions of the driver library; the Windows driver DLL exports them
// by name beside its entries, which it exports by ordinal only.
#if defined(_WIN32) && defined(SENNTCAM_BUILDING_DLL)
#define SIMCAM_CONTROL __declspec(dllexport)
#else
#define SIMCAM_CONTROL
#endif

// Driver entries by ordinal, as the DLL imports them.
enum class CamEntry : int {
  InitBoard = 1, PrepareBoard = 2, GetImageSize = 4, GetImageStatus = 5, RunCoc = 6,
  StopCoc = 7, WriteSettings = 8, ReadImage8 = 13, ReadImage12 = 14, SettingsDialog = 20,
  CloseBoard = 21, GetDelayTime = 58, GetExposureTime = 59, ReadSettings = 81,
};

struct CamCall {
  int ordinal;                 // entry called
  std::vector<int64_t> args;   // its integer arguments (mode, width, height, settings values)
  std::string text;            // its text argument, if any
};

// The simulated camera's sensor and the statuses its entries answer besides 0 and 100.
inline constexpr int32_t kSimCamSensorWidth = 1280;
inline constexpr int32_t kSimCamSensorHeight = 1024;
inline constexpr int32_t kSimCamFullScale = 4095;          // 12-bit pixels are clipped here
inline constexpr int32_t kSimCamBias = 64;                 // what a pixel reads with no light
inline constexpr int32_t kSimCamReferenceExposureMs = 10;  // the exposure of the nominal scene
inline constexpr int32_t kSimCamMaxTimeMs = 1000000;       // longest exposure or delay accepted
inline constexpr int32_t kSimCamBoardClosed = -1;          // the entry needs an open board
inline constexpr int32_t kSimCamBadArgument = -2;          // null address or unknown mode
inline constexpr int32_t kSimCamSizeMismatch = -3;         // readout size differs from the image size
inline constexpr int32_t kSimCamSettingsRefused = -5;      // binning, region or text not accepted
// How the camera behaves: settings and the image size work with the board closed; RUN_COC,
// GET_IMAGE_STATUS and the readouts need it open. RUN_COC(4) starts an exposure of delay plus
// exposure time on the GetTickCount clock; picstat has bit value 2 while it runs and bit value
// 1 once the picture waits in the buffer. A readout checks the buffer, then that width and
// height match the settings, then answers 100 unless a finished picture waits; it consumes it.
// The call record keeps this many calls; later calls are only counted.
inline constexpr size_t kSimCamMaxRecordedCalls = 1000000;

// Back to a closed board with default settings (full sensor, binning 1, exposure 10 ms,
// delay 0), no injected faults, no noise (seed 0), the nominal exposure scale, an empty call
// record and no call observer.
SIMCAM_CONTROL void SimCamReset();

// Calls made so far, oldest first; the ordinals alone for comparing with a call order.
SIMCAM_CONTROL const std::vector<CamCall>& SimCamCalls();
SIMCAM_CONTROL std::vector<int> SimCamCallOrdinals();
SIMCAM_CONTROL void SimCamClearCalls();
// How often an entry was called since the last reset or clear, recorded or not.
SIMCAM_CONTROL size_t SimCamCallCount(CamEntry entry);
// Calls beyond kSimCamMaxRecordedCalls that the record left out.
SIMCAM_CONTROL size_t SimCamCallsNotRecorded();

// Make an entry return the given status from now on (the entry still records its call and,
// for a negative status, leaves its outputs unwritten). A status of 0 restores normal work.
// With a positive status the entry works as usual and then answers that status (a failure of
// its own still wins). The timing entries return values, not statuses: see the timing override.
SIMCAM_CONTROL void SimCamFailEntry(CamEntry entry, int32_t status);
// The timing entries answer these values (microseconds) instead of the settings' own.
SIMCAM_CONTROL void SimCamSetTimingOverride(bool on, double delayMicroseconds, double exposureMicroseconds);
// The status poll reports a picture pending for ever (a time-out for the module).
SIMCAM_CONTROL void SimCamSetPollStuck(bool stuck);
// The readout answers 100: no picture in the board's buffer.
SIMCAM_CONTROL void SimCamSetNoPicture(bool noPicture);
// GET_IMAGE_SIZE reports these sizes, from the given call of that entry on (0-based count
// since this call), so the size can change between the grab and the picture function's check.
// The readout still compares its width and height with the size the settings give.
SIMCAM_CONTROL void SimCamOverrideImageSize(int32_t width, int32_t height, int fromCall = 0);
SIMCAM_CONTROL void SimCamClearImageSizeOverride();
// Gaussian-like pixel noise of the given amplitude (standard deviation in counts, 0 = off),
// from the current seed: the n-th picture after this call always carries the same noise.
SIMCAM_CONTROL void SimCamSetNoise(int amplitude);
// The seed of the noise (0 after a reset). Each seed gives its own sequence of noise pictures,
// counted again from this call; seed 0 is the sequence SimCamSetNoise gives after a reset.
SIMCAM_CONTROL void SimCamSetNoiseSeed(uint32_t seed);
// How strongly the sensor answers the light, in thousandths: the signal (not the bias) is scaled
// by it on top of the exposure time. 1000 after a reset; 0 leaves only the bias. False, and
// nothing changed, outside 0 to kSimCamMaxExposureScale.
inline constexpr int32_t kSimCamNominalExposureScale = 1000;
inline constexpr int32_t kSimCamMaxExposureScale = 1000000;
SIMCAM_CONTROL bool SimCamSetExposureScale(int32_t thousandths);
// Every armed fault back to normal work: injected statuses, the stuck poll, the missing
// picture, the size override and the timing override. Settings, noise and scale stay.
SIMCAM_CONTROL void SimCamClearFaults();
// The status injected for an entry with SimCamFailEntry, 0 for none.
SIMCAM_CONTROL int32_t SimCamInjectedStatus(CamEntry entry);

// The bench's switches besides the injected statuses: the faults it arms and how it sets the
// sensor. The entries read them; only GET_IMAGE_SIZE writes, counting its calls.
struct CamBenchControls {
  bool pollStuck = false, noPicture = false;
  bool sizeOverride = false;
  int32_t overrideWidth = 0, overrideHeight = 0;
  int sizeOverrideFrom = 0;        // the GET_IMAGE_SIZE call (0-based) the override starts at
  int sizeCallsSinceOverride = 0;  // GET_IMAGE_SIZE calls since it was set
  bool timingOverride = false;
  double delayOverride = 0, exposureOverride = 0;  // microseconds
  int noise = 0;                                   // amplitude, 0 = off
  uint32_t noiseSeed = 0;
  int32_t exposureScale = kSimCamNominalExposureScale;  // thousandths
};

// What is armed and how the camera stands, for showing it to a person.
enum class CamPicture : int { None = 0, Exposing = 1, Ready = 2 };
struct CamBenchState : CamBenchControls {
  bool boardOpen;
  int32_t imageWidth, imageHeight;  // what the settings give (GET_IMAGE_SIZE without override)
  int32_t delayMs, exposureMs;      // read from the settings text
  CamPicture picture;              // the board's single picture
};
SIMCAM_CONTROL CamBenchState SimCamState();

// An entry's call once it has answered, for a watcher of the driver (a trace). Outputs are
// what the entry wrote: width and height (GET_IMAGE_SIZE), picstat (GET_IMAGE_STATUS) or the
// eight settings and the text (READ_SETTINGS); none when it failed.
struct CamCallReport {
  const CamCall* call;     // the entry and its arguments, as the record keeps them
  int32_t status;          // what it answered (0 for the timing entries)
  double value;            // the timing entries: the microseconds they answered
  int outputCount;
  int64_t outputs[8];
  const char* outputText;  // READ_SETTINGS's text, else null
};
// Called after every entry, before it returns to its caller. The observer must not call the
// driver's entries. Null stops it; a reset removes it too.
using SimCamCallObserver = void (*)(void* context, const CamCallReport& report);
SIMCAM_CONTROL void SimCamSetCallObserver(SimCamCallObserver observer, void* context);
// The entries by the names the driver's maker gives them, in ordinal order.
struct CamEntryName {
  CamEntry entry;
  const char* name;
};
inline constexpr CamEntryName kSimCamEntryNames[] = {
    {CamEntry::InitBoard, "INIT_BOARD"},           {CamEntry::PrepareBoard, "PREPARE_BOARD"},
    {CamEntry::GetImageSize, "GET_IMAGE_SIZE"},    {CamEntry::GetImageStatus, "GET_IMAGE_STATUS"},
    {CamEntry::RunCoc, "RUN_COC"},                 {CamEntry::StopCoc, "STOP_COC"},
    {CamEntry::WriteSettings, "WRITE_SETTINGS"},   {CamEntry::ReadImage8, "READ_IMAGE_8BIT"},
    {CamEntry::ReadImage12, "READ_IMAGE_12BIT"},   {CamEntry::SettingsDialog, "SETTINGS_DIALOG"},
    {CamEntry::CloseBoard, "CLOSE_BOARD"},         {CamEntry::GetDelayTime, "GET_DELAY_TIME"},
    {CamEntry::GetExposureTime, "GET_EXPOSURE_TIME"}, {CamEntry::ReadSettings, "READ_SETTINGS"},
};

// Current settings as the driver holds them. The region is in sensor pixels, 1-based and
// inclusive; binning is 1, 2, 4 or 8. The text reads "delay, exposure, a, b": four integers,
// the first two the delay and the exposure time in milliseconds (0 to kSimCamMaxTimeMs).
struct CamSettings {
  int32_t mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin;
  std::string text;
};
SIMCAM_CONTROL CamSettings SimCamSettings();
SIMCAM_CONTROL bool SimCamBoardOpen();
SIMCAM_CONTROL int32_t SimCamExposureMilliseconds();

// The scene: the value the readout delivers for pixel (x, y) of the current region and
// binning, before noise, as a pure function so tests can check pictures pixel by pixel.
SIMCAM_CONTROL uint16_t SimCamExpectedPixel(int32_t x, int32_t y);
