// The geometry of DrawRoundedRectRgba: a triangle fan from the box centre around four corner arcs
// of nine points each, closed by repeating the first arc point (38 vertices); and the plain quad of
// DrawRectRgba.
#pragma once

#include <array>
#include <cstdint>

namespace canvas {

struct FanVertex {
  float x;
  float y;
};

// Corner k's nine unit-circle points (cos, sin) in y-down coordinates, 11.25 degrees apart, from
// -90 + 90k to 90k degrees; each corner starts where the previous one ended.
const std::array<std::array<FanVertex, 9>, 4>& roundedCornerTable();

inline constexpr int kRoundedFanVertices = 38;

enum class RoundedRectShape { kNothing, kPlainRect, kFan };

struct RoundedRectPlan {
  RoundedRectShape shape = RoundedRectShape::kNothing;
  std::array<FanVertex, kRoundedFanVertices> fan{};  // filled for kFan
};

// W = max(w, 0), H = h: nothing when either is not positive; R = min(H/2, W/2, radius); a plain
// rectangle when R <= 0.5; otherwise the fan.
// DrawRectRgba's quad: from (x, y) to (x + max(w, 0), y + h); the height is not clamped. The sums
// are taken in floating point, so a box near the ends of the 64-bit range stays far off screen
// instead of wrapping around to the other end.
struct RectQuad {
  float left;
  float top;
  float right;
  float bottom;
};
RectQuad rectQuad(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height);

RoundedRectPlan planRoundedRect(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
                                std::int64_t radius);

}  // namespace canvas
