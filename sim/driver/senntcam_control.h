// Test controls of the simulated camera driver: failure injection, the record of entries
// called, and the scene and settings of the simulated 1280 x 1024 12-bit camera.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Back to a closed board with default settings (full sensor, binning 1, exposure 10 ms,
// delay 0), no injected faults, no noise, and an empty call record.
void SimCamReset();

// Calls made so far, oldest first; the ordinals alone for comparing with a call order.
const std::vector<CamCall>& SimCamCalls();
std::vector<int> SimCamCallOrdinals();
void SimCamClearCalls();

// Make an entry return the given status from now on (the entry still records its call and,
// for a negative status, leaves its outputs unwritten). A status of 0 restores normal work.
void SimCamFailEntry(CamEntry entry, int32_t status);
// The timing entries answer these values (microseconds) instead of the settings' own.
void SimCamSetTimingOverride(bool on, double delayMicroseconds, double exposureMicroseconds);
// The status poll reports a picture pending for ever (a time-out for the module).
void SimCamSetPollStuck(bool stuck);
// The readout answers 100: no picture in the board's buffer.
void SimCamSetNoPicture(bool noPicture);
// GET_IMAGE_SIZE reports these sizes, from the given call of that entry on (0-based count
// since this call), so the size can change between the grab and the picture function's check.
void SimCamOverrideImageSize(int32_t width, int32_t height, int fromCall = 0);
void SimCamClearImageSizeOverride();
// Gaussian-like pixel noise of the given amplitude (0 = off), from a fixed seed.
void SimCamSetNoise(int amplitude);

// Current settings as the driver holds them.
struct CamSettings {
  int32_t mode, trig, roix1, roix2, roiy1, roiy2, hbin, vbin;
  std::string text;
};
CamSettings SimCamSettings();
bool SimCamBoardOpen();
int32_t SimCamExposureMilliseconds();

// The scene: the value the readout delivers for pixel (x, y) of the current region and
// binning, before noise, as a pure function so tests can check pictures pixel by pixel.
uint16_t SimCamExpectedPixel(int32_t x, int32_t y);
