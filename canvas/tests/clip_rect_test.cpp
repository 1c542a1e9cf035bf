// The scissor box of SetClipRect.
#include "canvas/clip_rect.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace canvas {
namespace {

TEST(ScissorBoxTest, ClientRectanglesTurnIntoBoxesFromTheBottomEdge) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  struct Case {
    std::int32_t clientHeight, x, y, width, height;
    ScissorBox expected;
  };
  const Case cases[] = {
      {700, 392, 258, 542, 46, {392, 396, 542, 46}},  // a form field
      {700, 0, 0, 1000, 700, {0, 0, 1000, 700}},      // the whole client area
      {700, 36, 650, 302, 100, {36, -50, 302, 100}},  // past the bottom edge
      {700, -10, -20, 5, 5, {-10, 715, 5, 5}},        // above and left of the window
      {700, 10, 10, -5, -7, {10, 690, 0, 0}},         // a negative size is empty
      {700, 0, kMax, 10, kMax, {0, kMin, 10, kMax}},  // far below: held within 32 bits
      {1, 0, kMin, 1, 1, {0, kMax, 1, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scissorBoxFor(c.clientHeight, c.x, c.y, c.width, c.height), c.expected)
        << c.x << "," << c.y << " " << c.width << "x" << c.height;
  }
}

}  // namespace
}  // namespace canvas
