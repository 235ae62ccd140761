// What the camera bench knows of each picture a script's call took (the function, the camera's
// exposure and binning at that moment, the window of an 8-bit picture, the time), and how a
// saved PNG and the line that saves it name these settings.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include "sim/host/script.h"

namespace quorsim {

struct PictureNote {
  std::string function;     // the function that made or changed the wave
  bool camera = false;      // it read a picture out of the camera, whose settings follow
  int32_t exposureMs = 0;
  int32_t hbin = 0, vbin = 0;
  bool windowed = false;    // an 8-bit picture, mapped through the window low..high
  double low = 0, high = 0;
  std::time_t taken = 0;
};
// Per wave name, the note of the call that last made or changed the wave.
using PictureNotes = std::map<std::string, PictureNote>;

// Taken before a call, to tell after it which waves it made or changed (how often each wave of
// the current folder was marked modified) and whether it read a picture out of the camera.
struct CallMarks {
  std::map<std::string, int> modified;
  size_t readouts = 0;
};
CallMarks MarkBeforeCall(const Host& host);
void NoteCallPictures(const Host& host, const CallMarks& before, const ScriptLine& call, PictureNotes* notes);

// "QV_TakePicture_8, window 0..4096, exposure 2 ms, binning 2 x 2, 640 x 512": what of it the
// note knows, and the size.
std::string PictureSettingsText(const PictureNote* note, const WaveView& wave);
// The same as PNG text: Title (the wave), Function, Exposure, Binning, Window, Size, Creation
// Time (UTC, when the call made the wave) and Software (the module and its version).
PngText PicturePngText(const PictureNote* note, const WaveView& wave, const std::string& moduleVersion);

}  // namespace quorsim
