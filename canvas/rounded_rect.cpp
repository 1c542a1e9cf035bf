// Corner table and fan vertices of the rounded rectangle.
#include "canvas/rounded_rect.hpp"

#include <algorithm>
#include <cmath>

namespace canvas {

const std::array<std::array<FanVertex, 9>, 4>& roundedCornerTable() {
  static const std::array<std::array<FanVertex, 9>, 4> table = [] {
    std::array<std::array<FanVertex, 9>, 4> t{};
    constexpr double kPi = 3.14159265358979323846;
    for (int corner = 0; corner < 4; ++corner) {
      for (int i = 0; i < 9; ++i) {
        const int quarterSteps = corner * 8 + i;  // in 11.25-degree steps from -90 degrees
        // Exact values on the axes keep neighbouring corners' shared points identical.
        const int step = quarterSteps % 32;
        double c = 0;
        double s = 0;
        switch (step) {
          case 0:
            c = 0, s = -1;
            break;
          case 8:
            c = 1, s = 0;
            break;
          case 16:
            c = 0, s = 1;
            break;
          case 24:
            c = -1, s = 0;
            break;
          default: {
            const double angle = (-90.0 + 11.25 * quarterSteps) * kPi / 180.0;
            c = std::cos(angle);
            s = std::sin(angle);
          }
        }
        t[corner][i] = {static_cast<float>(c), static_cast<float>(s)};
      }
    }
    return t;
  }();
  return table;
}

RectQuad rectQuad(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
  const double left = static_cast<double>(x);
  const double top = static_cast<double>(y);
  return {static_cast<float>(left), static_cast<float>(top),
          static_cast<float>(left + static_cast<double>(std::max<std::int64_t>(width, 0))),
          static_cast<float>(top + static_cast<double>(height))};
}

RoundedRectPlan planRoundedRect(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
                                std::int64_t radius) {
  RoundedRectPlan plan;
  const float w = static_cast<float>(std::max<std::int64_t>(width, 0));
  const float h = static_cast<float>(height);
  if (w <= 0.0f || h <= 0.0f) return plan;
  const float r = std::min(h / 2.0f, std::min(w / 2.0f, static_cast<float>(radius)));
  if (r <= 0.5f) {
    plan.shape = RoundedRectShape::kPlainRect;
    return plan;
  }
  plan.shape = RoundedRectShape::kFan;
  const float fx = static_cast<float>(x);
  const float fy = static_cast<float>(y);
  const std::array<FanVertex, 4> centres = {
      {{fx + w - r, fy + r}, {fx + w - r, fy + h - r}, {fx + r, fy + h - r}, {fx + r, fy + r}}};
  plan.fan[0] = {fx + w / 2.0f, fy + h / 2.0f};
  int n = 1;
  for (int corner = 0; corner < 4; ++corner) {
    for (const FanVertex& p : roundedCornerTable()[corner]) {
      plan.fan[n++] = {p.x * r + centres[corner].x, p.y * r + centres[corner].y};
    }
  }
  plan.fan[n] = plan.fan[1];
  return plan;
}

}  // namespace canvas
