// The scissor box of SetClipRect.
#include "canvas/clip_rect.hpp"

#include <algorithm>
#include <limits>

namespace canvas {

namespace {

std::int32_t toInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

ScissorBox scissorBoxFor(std::int32_t clientHeight, std::int32_t x, std::int32_t y, std::int32_t width,
                         std::int32_t height) {
  const std::int64_t w = std::max<std::int64_t>(width, 0);
  const std::int64_t h = std::max<std::int64_t>(height, 0);
  const std::int64_t bottom = static_cast<std::int64_t>(clientHeight) - (static_cast<std::int64_t>(y) + h);
  return ScissorBox{x, toInt32(bottom), toInt32(w), toInt32(h)};
}

}  // namespace canvas
