// The corner table and the fan of DrawRoundedRectRgba.
#include "canvas/rounded_rect.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace canvas {
namespace {

TEST(RoundedCornerTableTest, CornersRunClockwiseOnScreenAndShareTheirEnds) {
  const auto& t = roundedCornerTable();
  EXPECT_EQ(t[0][0].x, 0.0f);
  EXPECT_EQ(t[0][0].y, -1.0f);
  EXPECT_EQ(t[0][8].x, 1.0f);
  EXPECT_EQ(t[1][8].y, 1.0f);
  EXPECT_EQ(t[2][8].x, -1.0f);
  EXPECT_EQ(t[3][8].y, -1.0f);
  for (int c = 1; c < 4; ++c) {
    EXPECT_EQ(t[c][0].x, t[c - 1][8].x);
    EXPECT_EQ(t[c][0].y, t[c - 1][8].y);
  }
  EXPECT_NEAR(t[0][1].x, std::sin(11.25 * 3.14159265358979 / 180), 1e-6);
  for (const auto& corner : t) {
    for (const FanVertex& p : corner) EXPECT_NEAR(p.x * p.x + p.y * p.y, 1.0f, 1e-6f);
  }
}

TEST(RoundedRectPlanTest, SmallRadiiAndThinBoxesArePlainRectangles) {
  EXPECT_EQ(planRoundedRect(0, 0, 100, 40, 0).shape, RoundedRectShape::kPlainRect);
  EXPECT_EQ(planRoundedRect(0, 0, 100, 40, -4).shape, RoundedRectShape::kPlainRect);
  EXPECT_EQ(planRoundedRect(0, 0, 1, 40, 8).shape, RoundedRectShape::kPlainRect);
  EXPECT_EQ(planRoundedRect(0, 0, 100, 1, 8).shape, RoundedRectShape::kPlainRect);
  EXPECT_EQ(planRoundedRect(0, 0, 100, 40, 1).shape, RoundedRectShape::kFan);
}

TEST(RoundedRectPlanTest, EmptyBoxesDrawNothing) {
  EXPECT_EQ(planRoundedRect(0, 0, 0, 40, 8).shape, RoundedRectShape::kNothing);
  EXPECT_EQ(planRoundedRect(0, 0, -5, 40, 8).shape, RoundedRectShape::kNothing);
  EXPECT_EQ(planRoundedRect(0, 0, 40, 0, 8).shape, RoundedRectShape::kNothing);
}

TEST(RectQuadTest, NegativeWidthsCollapseAndHeightsAreKept) {
  const RectQuad q = rectQuad(10, 20, 30, 40);
  EXPECT_EQ(q.left, 10.0f);
  EXPECT_EQ(q.top, 20.0f);
  EXPECT_EQ(q.right, 40.0f);
  EXPECT_EQ(q.bottom, 60.0f);
  EXPECT_EQ(rectQuad(10, 20, -5, 40).right, 10.0f);   // an empty quad
  EXPECT_EQ(rectQuad(10, 20, 30, -15).bottom, 5.0f);  // the height is not clamped
}

TEST(RectQuadTest, BoxesAtTheEndsOfTheRangeDoNotWrapAround) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  const RectQuad far = rectQuad(kMax - 10, kMax - 10, 1000, 1000);
  EXPECT_GT(far.left, 9e18f);
  EXPECT_GE(far.right, far.left);
  EXPECT_GE(far.bottom, far.top);
  const RectQuad low = rectQuad(kMin, 0, kMax, kMin);
  EXPECT_LT(low.left, -9e18f);
  EXPECT_GE(low.right, low.left);
  EXPECT_LT(low.bottom, -9e18f);
}

TEST(RoundedRectPlanTest, TheFanStaysInsideTheBoxAndCloses) {
  const RoundedRectPlan plan = planRoundedRect(10, 20, 100, 40, 500);  // radius limited to 20: round ends
  ASSERT_EQ(plan.shape, RoundedRectShape::kFan);
  EXPECT_EQ(plan.fan[0].x, 60.0f);
  EXPECT_EQ(plan.fan[0].y, 40.0f);
  EXPECT_EQ(plan.fan[37].x, plan.fan[1].x);
  EXPECT_EQ(plan.fan[37].y, plan.fan[1].y);
  EXPECT_EQ(plan.fan[1].x, 90.0f);  // corner 0 starts at the top of the right end
  EXPECT_EQ(plan.fan[1].y, 20.0f);
  for (const FanVertex& v : plan.fan) {
    EXPECT_GE(v.x, 10.0f - 1e-4f);
    EXPECT_LE(v.x, 110.0f + 1e-4f);
    EXPECT_GE(v.y, 20.0f - 1e-4f);
    EXPECT_LE(v.y, 60.0f + 1e-4f);
  }
}

}  // namespace
}  // namespace canvas
