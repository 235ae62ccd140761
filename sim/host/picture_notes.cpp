// The notes the camera bench keeps of the pictures a script's calls take, from the simulated
// driver's settings, and the texts that carry them into the saved PNG files.
#include "sim/host/picture_notes.h"

#include "hostdata/waves.h"
#include "sim/host/host_internal.h"
#include "senntcam_control.h"

namespace quorsim {
namespace {

// The function whose last two arguments are the window of its 8-bit picture.
constexpr const char* kWindowedPictureFunction = "QV_TakePicture_8";

std::string SizeText(const WaveView& wave) {
  std::string text;
  for (size_t d = 0; d < wave.dimensions.size(); ++d) text += (d > 0 ? " x " : "") + std::to_string(wave.dimensions[d]);
  return text;
}

std::string WindowText(const PictureNote& note) { return FormatNumber(note.low) + ".." + FormatNumber(note.high); }

}  // namespace

CallMarks MarkBeforeCall(const Host& host) {
  CallMarks marks;
  for (const std::string& name : host.WaveNames()) {
    WaveView view;
    if (host.FindWave(name, &view)) marks.modified[name] = view.modifiedCount;
  }
  marks.readouts = SimCamCallCount(CamEntry::ReadImage12) + SimCamCallCount(CamEntry::ReadImage8);
  return marks;
}

void NoteCallPictures(const Host& host, const CallMarks& before, const ScriptLine& call, PictureNotes* notes) {
  const CallMarks after = MarkBeforeCall(host);
  for (const auto& [name, modified] : after.modified) {
    const auto old = before.modified.find(name);
    if (old != before.modified.end() && old->second == modified) continue;
    WaveView view;
    host.FindWave(name, &view);
    PictureNote note;
    note.function = call.name;
    note.taken = std::time(nullptr);
    // The driver's count starts again at a reset or clear: any change means a readout.
    note.camera = after.readouts != before.readouts;
    if (note.camera) {
      const CamSettings settings = SimCamSettings();
      note.exposureMs = SimCamExposureMilliseconds();
      note.hbin = settings.hbin;
      note.vbin = settings.vbin;
      const size_t n = call.args.size();
      note.windowed = view.type == kWaveTypeUInt8 && SameNameNoCase(call.name, kWindowedPictureFunction) && n >= 2 &&
                      call.args[n - 2].kind == Argument::Number && call.args[n - 1].kind == Argument::Number;
      if (note.windowed) {
        note.low = call.args[n - 2].number;
        note.high = call.args[n - 1].number;
      }
    }
    (*notes)[name] = note;
  }
}

std::string PictureSettingsText(const PictureNote* note, const WaveView& wave) {
  if (note == nullptr) return SizeText(wave);
  std::string text = note->function;
  if (note->windowed) text += ", window " + WindowText(*note);
  if (note->camera)
    text += ", exposure " + std::to_string(note->exposureMs) + " ms, binning " + std::to_string(note->hbin) + " x " +
            std::to_string(note->vbin);
  return text + ", " + SizeText(wave);
}

PngText PicturePngText(const PictureNote* note, const WaveView& wave, const std::string& moduleVersion) {
  PngText text = {{"Title", wave.name}};
  if (note != nullptr) text.emplace_back("Function", note->function);
  if (note != nullptr && note->camera) {
    text.emplace_back("Exposure", std::to_string(note->exposureMs) + " ms");
    text.emplace_back("Binning", std::to_string(note->hbin) + " x " + std::to_string(note->vbin));
    if (note->windowed) text.emplace_back("Window", WindowText(*note));
  }
  text.emplace_back("Size", SizeText(wave));
  if (note != nullptr) {
    char taken[32] = {};
    const std::tm* utc = std::gmtime(&note->taken);
    if (utc != nullptr && std::strftime(taken, sizeof taken, "%Y-%m-%dT%H:%M:%SZ", utc) > 0)
      text.emplace_back("Creation Time", taken);
  }
  text.emplace_back("Software", moduleVersion.empty() ? "Ombrel" : "Ombrel " + moduleVersion);
  return text;
}

}  // namespace quorsim
