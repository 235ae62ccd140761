// The camera command of quorsim scripts, over the simulated driver's controls: parses the
// words, sets what the driver does next and describes what it holds.
#include "sim/host/camera_commands.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "senntcam_control.h"
#include "sim/host/script.h"

namespace quorsim {

const char* const kCameraUsage =
    "  camera                 the camera's settings and what is armed\n"
    "  camera fail ENTRY STATUS\n"
    "                         ENTRY answers STATUS until cleared (0: normal work):\n"
    "                         a negative STATUS instead of its work, a positive one\n"
    "                         after it (READ_IMAGE_12BIT 100: no picture in buffer)\n"
    "  camera clear [ENTRY]   every armed fault back to normal (or ENTRY's status)\n"
    "  camera poll busy|off   GET_IMAGE_STATUS reports a picture on its way for ever\n"
    "  camera size W H [AFTER] | camera size off\n"
    "                         GET_IMAGE_SIZE reports W x H, after AFTER calls that\n"
    "                         report the true size\n"
    "  camera noise AMPLITUDE [SEED] | camera noise off\n"
    "                         pixel noise of AMPLITUDE counts (standard deviation)\n"
    "  camera scale FACTOR    the sensor's exposure scale (1 nominal, 0 to 1000)\n"
    "  camera timing DELAY EXPOSURE | camera timing off\n"
    "                         the two timing entries answer these microseconds\n"
    "  ENTRY: INIT_BOARD, PREPARE_BOARD, GET_IMAGE_SIZE, GET_IMAGE_STATUS, RUN_COC,\n"
    "  STOP_COC, WRITE_SETTINGS, READ_IMAGE_8BIT, READ_IMAGE_12BIT, SETTINGS_DIALOG,\n"
    "  CLOSE_BOARD, READ_SETTINGS.\n";

namespace {

bool SameNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 'a' + 'A') : b[i];
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

bool ParseInteger(const std::string& text, long long min, long long max, long long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || value < min || value > max) return false;
  *out = value;
  return true;
}

bool ParseDouble(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

// An entry by name, for the commands that set statuses: the timing entries answer values.
bool FindStatusEntry(const std::string& name, CamEntry* entry, std::string* error) {
  for (const CamEntryName& e : kSimCamEntryNames) {
    if (!SameNoCase(name, e.name)) continue;
    if (e.entry == CamEntry::GetDelayTime || e.entry == CamEntry::GetExposureTime) {
      *error = std::string(e.name) + " answers a time, not a status: use camera timing";
      return false;
    }
    *entry = e.entry;
    return true;
  }
  *error = "no driver entry named " + name;
  return false;
}

const char* NameOf(CamEntry entry) {
  for (const CamEntryName& e : kSimCamEntryNames)
    if (e.entry == entry) return e.name;
  return "?";
}

std::string Thousandths(int32_t value) { return FormatNumber(value / 1000.0); }

std::string Armed() {
  const CamBenchState s = SimCamState();
  std::string text;
  auto add = [&](const std::string& item) { text += (text.empty() ? "" : "; ") + item; };
  for (const CamEntryName& e : kSimCamEntryNames) {
    const int32_t status = SimCamInjectedStatus(e.entry);
    if (status != 0) add(std::string(e.name) + " answers " + std::to_string(status));
  }
  if (s.pollStuck) add("GET_IMAGE_STATUS stays busy");
  if (s.noPicture) add("no picture reaches the buffer");
  if (s.sizeOverride) {
    std::string size = "GET_IMAGE_SIZE reports " + std::to_string(s.overrideWidth) + " x " + std::to_string(s.overrideHeight);
    const int later = s.sizeOverrideFrom - s.sizeCallsSinceOverride;
    if (later > 0) size += " after " + std::to_string(later) + (later == 1 ? " more call" : " more calls");
    add(size);
  }
  if (s.timingOverride)
    add("GET_DELAY_TIME answers " + FormatNumber(s.delayOverride) + " us, GET_EXPOSURE_TIME " +
        FormatNumber(s.exposureOverride) + " us");
  return "armed: " + (text.empty() ? std::string("nothing") : text);
}

std::vector<std::string> Describe() {
  const CamBenchState s = SimCamState();
  const CamSettings settings = SimCamSettings();
  const char* picture = s.picture == CamPicture::Exposing ? "exposing" : s.picture == CamPicture::Ready ? "ready" : "none";
  return {
      std::string("board ") + (s.boardOpen ? "open" : "closed") + ", image " + std::to_string(s.imageWidth) + " x " +
          std::to_string(s.imageHeight) + ", picture " + picture,
      "region " + std::to_string(settings.roix1) + ".." + std::to_string(settings.roix2) + " x " +
          std::to_string(settings.roiy1) + ".." + std::to_string(settings.roiy2) + ", binning " +
          std::to_string(settings.hbin) + " x " + std::to_string(settings.vbin) + ", mode " +
          std::to_string(settings.mode) + ", trigger " + std::to_string(settings.trig),
      "exposure " + std::to_string(s.exposureMs) + " ms, delay " + std::to_string(s.delayMs) + " ms, text \"" +
          settings.text + "\"",
      "exposure scale " + Thousandths(s.exposureScale) + ", noise " +
          (s.noise > 0 ? std::to_string(s.noise) + " counts" : std::string("off")) + ", seed " +
          std::to_string(s.noiseSeed),
      Armed(),
  };
}

bool Usage(const std::string& what, std::string* error) {
  *error = "usage: " + what;
  return false;
}

using Words = std::vector<std::string>;

// `camera VERB off`: the words of a command that disarms what VERB sets.
bool IsOff(const Words& words) { return words.size() == 2 && words[1] == "off"; }

// Each handler runs `camera VERB ...` (words[0] is VERB): on success *shown is the line that
// says what the camera does now; else false and *error.
bool FailEntry(const Words& words, std::string* shown, std::string* error) {
  if (words.size() != 3) return Usage("camera fail ENTRY STATUS", error);
  CamEntry entry{};
  if (!FindStatusEntry(words[1], &entry, error)) return false;
  long long status = 0;
  if (!ParseInteger(words[2], INT32_MIN, INT32_MAX, &status)) {
    *error = "camera fail: the status must be a whole number of 32 bits, not " + words[2];
    return false;
  }
  SimCamFailEntry(entry, static_cast<int32_t>(status));
  *shown = std::string(NameOf(entry)) +
           (status == 0 ? " works normally" : " answers " + std::to_string(status) + " until cleared");
  return true;
}

bool ClearFaults(const Words& words, std::string* shown, std::string* error) {
  if (words.size() > 2) return Usage("camera clear [ENTRY]", error);
  if (words.size() == 1) {
    SimCamClearFaults();
    *shown = "every fault cleared";
    return true;
  }
  CamEntry entry{};
  if (!FindStatusEntry(words[1], &entry, error)) return false;
  SimCamFailEntry(entry, 0);
  *shown = std::string(NameOf(entry)) + " works normally";
  return true;
}

bool KeepPollBusy(const Words& words, std::string* shown, std::string* error) {
  const bool off = IsOff(words);
  if (words.size() != 2 || (words[1] != "busy" && !off)) return Usage("camera poll busy|off", error);
  SimCamSetPollStuck(!off);
  *shown = off ? "GET_IMAGE_STATUS reports pictures as they come" : "GET_IMAGE_STATUS stays busy";
  return true;
}

bool OverrideSize(const Words& words, std::string* shown, std::string* error) {
  if (IsOff(words)) {
    SimCamClearImageSizeOverride();
    *shown = "GET_IMAGE_SIZE reports the size the settings give";
    return true;
  }
  const size_t count = words.size();
  if (count != 3 && count != 4) return Usage("camera size W H [AFTER] | camera size off", error);
  long long width = 0, height = 0, after = 0;
  if (!ParseInteger(words[1], INT32_MIN, INT32_MAX, &width) || !ParseInteger(words[2], INT32_MIN, INT32_MAX, &height) ||
      (count == 4 && !ParseInteger(words[3], 0, INT32_MAX, &after))) {
    *error = "camera size: W and H must be whole numbers of 32 bits, AFTER a count of calls";
    return false;
  }
  SimCamOverrideImageSize(static_cast<int32_t>(width), static_cast<int32_t>(height), static_cast<int>(after));
  *shown = "GET_IMAGE_SIZE reports " + std::to_string(width) + " x " + std::to_string(height);
  *shown += after == 0 ? " from its next call"
                       : " after " + std::to_string(after) + (after == 1 ? " call" : " calls") + " with the true size";
  return true;
}

bool SetNoise(const Words& words, std::string* shown, std::string* error) {
  if (IsOff(words)) {
    SimCamSetNoise(0);
    *shown = "noise off";
    return true;
  }
  const size_t count = words.size();
  if (count != 2 && count != 3) return Usage("camera noise AMPLITUDE [SEED] | camera noise off", error);
  long long amplitude = 0, seed = 0;
  if (!ParseInteger(words[1], 0, kSimCamFullScale, &amplitude) ||
      (count == 3 && !ParseInteger(words[2], 0, UINT32_MAX, &seed))) {
    *error = "camera noise: AMPLITUDE is 0 to " + std::to_string(kSimCamFullScale) + " counts, SEED 0 to " +
             std::to_string(UINT32_MAX);
    return false;
  }
  // The seed first: both restart the sequence, so the first picture is the first of it.
  if (count == 3) SimCamSetNoiseSeed(static_cast<uint32_t>(seed));
  SimCamSetNoise(static_cast<int>(amplitude));
  *shown = amplitude == 0 ? std::string("noise off")
                          : "noise " + std::to_string(amplitude) + " counts, seed " +
                                std::to_string(SimCamState().noiseSeed) + ", from the next picture";
  return true;
}

bool SetScale(const Words& words, std::string* shown, std::string* error) {
  double factor = 0;
  if (words.size() != 2) return Usage("camera scale FACTOR", error);
  const double largest = kSimCamMaxExposureScale / 1000.0;
  const double thousandths = ParseDouble(words[1], &factor) ? factor * 1000.0 : -1.0;
  const double rounded = std::round(thousandths);
  if (!(thousandths >= 0.0 && factor <= largest) || std::fabs(thousandths - rounded) > 1e-6) {
    *error = "camera scale: FACTOR is 0 to " + FormatNumber(largest) + " with at most three decimals, not " + words[1];
    return false;
  }
  SimCamSetExposureScale(static_cast<int32_t>(rounded));
  *shown = "exposure scale " + Thousandths(static_cast<int32_t>(rounded));
  return true;
}

bool OverrideTiming(const Words& words, std::string* shown, std::string* error) {
  if (IsOff(words)) {
    SimCamSetTimingOverride(false, 0, 0);
    *shown = "GET_DELAY_TIME and GET_EXPOSURE_TIME answer the settings' times";
    return true;
  }
  double delay = 0, exposure = 0;
  if (words.size() != 3) return Usage("camera timing DELAY EXPOSURE | camera timing off", error);
  if (!ParseDouble(words[1], &delay) || !ParseDouble(words[2], &exposure)) {
    *error = "camera timing: DELAY and EXPOSURE are numbers of microseconds";
    return false;
  }
  SimCamSetTimingOverride(true, delay, exposure);
  *shown = "GET_DELAY_TIME answers " + FormatNumber(delay) + " us, GET_EXPOSURE_TIME " + FormatNumber(exposure) + " us";
  return true;
}

struct CameraCommand {
  const char* verb;
  bool (*run)(const Words& words, std::string* shown, std::string* error);
};
constexpr CameraCommand kCameraCommands[] = {
    {"fail", FailEntry},     {"clear", ClearFaults}, {"poll", KeepPollBusy},       {"size", OverrideSize},
    {"noise", SetNoise},     {"scale", SetScale},    {"timing", OverrideTiming},
};

}  // namespace

bool RunCameraCommand(const std::vector<std::string>& words, std::vector<std::string>* shown, std::string* error) {
  shown->clear();
  if (words.empty()) {
    *shown = Describe();
    return true;
  }
  std::string verbs = "camera";
  for (const CameraCommand& command : kCameraCommands) {
    if (words[0] == command.verb) {
      std::string line;
      if (!command.run(words, &line, error)) return false;
      shown->push_back(line);
      return true;
    }
    verbs += std::string(", ") + command.verb;
  }
  *error = "unknown camera command " + words[0] + " (" + verbs + ")";
  return false;
}

}  // namespace quorsim
