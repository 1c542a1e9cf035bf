// sRGB tables and conversions.
#include "canvas/srgb_color.hpp"

#include <cmath>

namespace canvas {

const std::array<float, 256>& srgbToLinearTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int c = 0; c < 256; ++c) {
      const double v = c / 255.0;
      t[c] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    t[0] = 0.0f;
    t[255] = 1.0f;
    return t;
  }();
  return table;
}

std::uint8_t clampChannel(std::int64_t channel) {
  if (channel < 0) return 0;
  if (channel > 255) return 255;
  return static_cast<std::uint8_t>(channel);
}

float srgbToLinear(std::int64_t channel) { return srgbToLinearTable()[clampChannel(channel)]; }

float colorChannelToFloat(std::int64_t channel, bool srgbFramebuffer) {
  if (srgbFramebuffer) return srgbToLinear(channel);
  float v = static_cast<float>(channel);
  if (v > 1.0f) v /= 255.0f;
  if (v < 0.0f) v = 0.0f;
  return v > 1.0f ? 1.0f : v;
}

std::uint8_t linearToSrgbPremultiplied(std::uint8_t channel, std::uint8_t alpha) {
  if (alpha == 0) return 0;
  const std::array<float, 256>& table = srgbToLinearTable();
  float v = table[channel] * 255.0f / static_cast<float>(alpha);
  if (v < 0.0f) v = 0.0f;
  if (v > 1.0f) v = 1.0f;
  int lo = 0;
  int hi = 255;
  while (hi > lo + 1) {
    const int mid = (lo + hi) / 2;
    if (v >= table[mid]) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  const int s = (v - table[lo] > table[hi] - v) ? hi : lo;
  return static_cast<std::uint8_t>((alpha * s + 127) / 255);
}

}  // namespace canvas
