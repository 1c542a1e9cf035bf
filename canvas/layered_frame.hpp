// The decisions of presenting a translucent window as a layered window: which frame sizes are
// presented, whether a new DIB fits the process-wide 64 MiB budget, and the conversion of the read
// back framebuffer rows into the premultiplied sRGB pixels UpdateLayeredWindow takes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace canvas {

inline constexpr std::int32_t kLayeredMaxDimension = 2048;
inline constexpr std::uint64_t kLayeredBudgetBytes = 0x4000000;  // 64 MiB over all windows

// Frames wider or higher than 2048 pixels are not presented.
bool layeredFrameAllowed(std::int32_t width, std::int32_t height);

// Whether a DIB of `bytes` may replace this window's DIB of `currentBytes` with `totalBytes` live.
bool layeredBudgetAllows(std::uint64_t totalBytes, std::uint64_t bytes, std::uint64_t currentBytes);

// Turns read-back BGRA pixels in place into the premultiplied sRGB bytes UpdateLayeredWindow
// takes. An sRGB framebuffer blends in linear light and stores it encoded, so each colour channel
// goes through linearToSrgbPremultiplied with the pixel's alpha; a framebuffer without sRGB
// blends the sRGB bytes themselves and already holds the premultiplied values, which stay as they
// are. Alpha is never changed.
void convertLayeredPixels(std::uint8_t* bgra, std::size_t pixelCount, bool srgbFramebuffer);

// The top-left pixel on screen of bottom-up BGRA rows (the first pixel of the last row) as
// alpha<<24 | red<<16 | green<<8 | blue.
std::uint32_t layeredTopLeftPixel(const std::uint8_t* bgra, std::int32_t width, std::int32_t height);

}  // namespace canvas
