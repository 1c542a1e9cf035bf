// Limits and pixel conversion of layered presentation.
#include "canvas/layered_frame.hpp"

#include <array>

#include "canvas/srgb_color.hpp"

namespace canvas {

bool layeredFrameAllowed(std::int32_t width, std::int32_t height) {
  return width <= kLayeredMaxDimension && height <= kLayeredMaxDimension;
}

bool layeredBudgetAllows(std::uint64_t totalBytes, std::uint64_t bytes, std::uint64_t currentBytes) {
  return totalBytes + bytes - currentBytes <= kLayeredBudgetBytes;
}

void convertLayeredPixels(std::uint8_t* bgra, std::size_t pixelCount, bool srgbFramebuffer) {
  if (!srgbFramebuffer) return;
  for (std::size_t i = 0; i < pixelCount; ++i) {
    std::uint8_t* p = bgra + i * 4;
    const std::uint8_t alpha = p[3];
    p[0] = linearToSrgbPremultiplied(p[0], alpha);
    p[1] = linearToSrgbPremultiplied(p[1], alpha);
    p[2] = linearToSrgbPremultiplied(p[2], alpha);
  }
}

std::uint32_t layeredTopLeftPixel(const std::uint8_t* bgra, std::int32_t width, std::int32_t height) {
  if (bgra == nullptr || width < 1 || height < 1) return 0;
  const std::uint8_t* p = bgra + static_cast<std::size_t>(height - 1) * static_cast<std::size_t>(width) * 4;
  return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

}  // namespace canvas
