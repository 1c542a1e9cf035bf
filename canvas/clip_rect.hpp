// The scissor box of SetClipRect: a rectangle in client pixels (y down) turned into OpenGL's
// window coordinates (y up from the bottom edge), with what GL refuses made harmless: a negative
// size becomes an empty box, and coordinates far outside the window stay within 32 bits.
#pragma once

#include <cstdint>

namespace canvas {

struct ScissorBox {
  std::int32_t x = 0;
  std::int32_t y = 0;  // from the bottom edge of the client area
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const ScissorBox&, const ScissorBox&) = default;
};

ScissorBox scissorBoxFor(std::int32_t clientHeight, std::int32_t x, std::int32_t y, std::int32_t width,
                         std::int32_t height);

}  // namespace canvas
