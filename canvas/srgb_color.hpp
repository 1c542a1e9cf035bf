// Colour conversion between the sRGB bytes callers give and what GL is sent or hands back: the
// sRGB-to-linear table, the clear-colour rule, and the premultiplied sRGB bytes of a layered frame.
#pragma once

#include <array>
#include <cstdint>

namespace canvas {

// Entry c is the IEC 61966-2-1 decoding of c/255 (entries 0 and 255 are exactly 0 and 1).
const std::array<float, 256>& srgbToLinearTable();

// The table entry of a channel clamped to 0..255.
float srgbToLinear(std::int64_t channel);

// The clear-colour component of a channel: linear light on an sRGB framebuffer; otherwise the
// channel / 255 for values above 1, 0 for negatives, 0 and 1 kept as they are, capped at 1.
float colorChannelToFloat(std::int64_t channel, bool srgbFramebuffer);

// A channel clamped to 0..255 as a byte.
std::uint8_t clampChannel(std::int64_t channel);

// The premultiplied sRGB byte UpdateLayeredWindow expects for a framebuffer channel and its alpha:
// decoded to linear, divided by alpha, re-encoded to the nearest sRGB byte, multiplied by alpha.
std::uint8_t linearToSrgbPremultiplied(std::uint8_t channel, std::uint8_t alpha);

}  // namespace canvas
