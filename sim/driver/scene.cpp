// The simulated camera's scene: a smooth radial glow, a few bright soft-edged disks, a
// staircase of bars along the bottom and a horizontal ramp strip at the top, all in integer
// arithmetic so every build delivers the same pixels. At the reference exposure nothing in it
// reaches full scale.
#include "scene.h"

#include <algorithm>
#include <cstdint>

#include "senntcam_control.h"

namespace {

struct Disk {
  int32_t x, y, radius, peak;
};
constexpr Disk kDisks[] = {
    {260, 260, 70, 2200}, {1000, 230, 110, 1500}, {840, 700, 45, 2600}, {330, 720, 28, 2900}, {600, 420, 14, 3000},
};
constexpr int32_t kHalo = 12;  // width of a disk's soft edge

constexpr int32_t kCentreX = kSimCamSensorWidth / 2, kCentreY = kSimCamSensorHeight / 2;
constexpr int64_t kCornerDistance2 = int64_t{kCentreX} * kCentreX + int64_t{kCentreY} * kCentreY;

constexpr int32_t kRampTop = 24, kRampBottom = 56, kRampPeak = 3200;
// The staircase: eight bars, each taller and brighter than the one to its left, bar n adding
// (n + 1) steps of signal, so the eight read as eight levels in any window over the scene.
constexpr int32_t kBarsLeft = 420, kBarPitch = 56, kBarWidth = 40, kBarCount = 8, kBarBase = 990, kBarStep = 350;

uint32_t Mix(uint32_t a) {
  a ^= a >> 16;
  a *= 0x7feb352du;
  a ^= a >> 15;
  a *= 0x846ca68bu;
  a ^= a >> 16;
  return a;
}

}  // namespace

uint32_t SceneSignal(int32_t sx, int32_t sy) {
  if (sx < 0 || sy < 0 || sx >= kSimCamSensorWidth || sy >= kSimCamSensorHeight) return 0;
  if (sy >= kRampTop && sy < kRampBottom) return static_cast<uint32_t>(sx * kRampPeak / (kSimCamSensorWidth - 1));

  const int64_t dx = sx - kCentreX, dy = sy - kCentreY;
  int64_t signal = 200 + 700 * (kCornerDistance2 - std::min(dx * dx + dy * dy, kCornerDistance2)) / kCornerDistance2;
  for (const Disk& d : kDisks) {
    const int64_t ex = sx - d.x, ey = sy - d.y, d2 = ex * ex + ey * ey;
    const int64_t inner = int64_t{d.radius} * d.radius, outer = int64_t{d.radius + kHalo} * (d.radius + kHalo);
    if (d2 <= inner)
      signal += d.peak;
    else if (d2 < outer)
      signal += d.peak * (outer - d2) / (outer - inner);
  }
  const int32_t bar = (sx - kBarsLeft) / kBarPitch;
  if (sx >= kBarsLeft && bar < kBarCount && (sx - kBarsLeft) % kBarPitch < kBarWidth && sy < kBarBase &&
      sy >= kBarBase - 25 * (bar + 1))
    signal += kBarStep * (bar + 1);
  return static_cast<uint32_t>(signal);
}

uint16_t ScenePixel(const SceneView& v, int32_t x, int32_t y) {
  const int64_t sx0 = v.left + int64_t{x} * v.hbin, sy0 = v.top + int64_t{y} * v.vbin;
  if (x < 0 || y < 0 || sx0 + v.hbin > kSimCamSensorWidth || sy0 + v.vbin > kSimCamSensorHeight) return 0;
  int64_t sum = 0;
  for (int32_t j = 0; j < v.vbin; ++j)
    for (int32_t i = 0; i < v.hbin; ++i)
      sum += SceneSignal(static_cast<int32_t>(sx0) + i, static_cast<int32_t>(sy0) + j);
  // The charge grows with the exposure and the sensor's scale; the bias is added once per
  // read-out pixel. At most 64 pixels of below 2^14 each, times 10^6 ms, times 10^6
  // thousandths: below 2^63.
  const int64_t value = kSimCamBias + sum * v.exposureMs * v.exposureScale /
                                          (int64_t{kSimCamReferenceExposureMs} * kSimCamNominalExposureScale);
  return static_cast<uint16_t>(std::min<int64_t>(value, kSimCamFullScale));
}

int32_t SceneNoise(uint32_t seed, uint32_t frame, int32_t x, int32_t y, int amplitude) {
  if (amplitude <= 0) return 0;
  uint32_t frameKey = Mix(frame * 0x9E3779B9u);
  if (seed != 0) frameKey = Mix(frameKey ^ Mix(seed ^ 0x5BD1E995u));  // seed 0: the sequence of old
  const uint32_t a = Mix(frameKey ^ static_cast<uint32_t>(y * kSimCamSensorWidth + x));
  const uint32_t b = Mix(a + 0x632BE5ABu);
  // The sum of four uniform 16-bit values is close to normal, with standard deviation 37837.
  const int64_t sum = int64_t{a & 0xFFFF} + (a >> 16) + (b & 0xFFFF) + (b >> 16) - 2 * 65535;
  return static_cast<int32_t>(sum * amplitude / 37837);
}
