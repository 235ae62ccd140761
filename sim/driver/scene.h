// The picture the simulated camera sees: a fixed synthetic scene on its 1280 x 1024 sensor,
// binned, scaled by the exposure time and clipped to 12 bits, with optional noise.
#pragma once

#include <cstdint>

// What of the settings shapes a picture: where the region starts (0-based sensor pixels),
// the binning, the exposure time and the sensor's exposure scale (thousandths).
struct SceneView {
  int32_t left, top, hbin, vbin, exposureMs, exposureScale;
};

// Signal of one sensor pixel at the reference exposure, without bias (0-based coordinates).
uint32_t SceneSignal(int32_t sensorX, int32_t sensorY);
// Value of picture pixel (x, y): bias plus the summed signal of its binned sensor pixels,
// scaled by the exposure and the exposure scale, clipped to full scale; 0 outside the sensor.
uint16_t ScenePixel(const SceneView& view, int32_t x, int32_t y);
// Deterministic noise for pixel (x, y) of the given frame of a seed's sequence, roughly normal
// with standard deviation `amplitude` counts.
int32_t SceneNoise(uint32_t seed, uint32_t frame, int32_t x, int32_t y, int amplitude);
