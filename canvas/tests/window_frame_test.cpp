// Hit testing, drag resizing, cursors, caption-button releases and DPI percent of the custom frame.
#include "canvas/window_frame.hpp"

#include <gtest/gtest.h>

namespace canvas {
namespace {

constexpr std::int32_t W = 1000;
constexpr std::int32_t H = 700;

std::int32_t hit(std::int32_t x, std::int32_t y, bool buttons = true) { return hitTestNonClient(W, H, buttons, x, y); }

TEST(HitTestTest, CornersAndEdges) {
  EXPECT_EQ(hit(0, 0), kHitTopLeft);
  EXPECT_EQ(hit(7, 7), kHitTopLeft);
  EXPECT_EQ(hit(W - 1, 0), kHitTopRight);
  EXPECT_EQ(hit(0, H - 1), kHitBottomLeft);
  EXPECT_EQ(hit(W - 8, H - 8), kHitBottomRight);
  EXPECT_EQ(hit(3, 300), kHitLeft);
  EXPECT_EQ(hit(W - 3, 300), kHitRight);
  EXPECT_EQ(hit(500, 2), kHitTop);
  EXPECT_EQ(hit(500, H - 2), kHitBottom);
}

TEST(HitTestTest, CaptionButtonsAndBand) {
  EXPECT_EQ(hit(W - 46, 8), kHitClose);
  EXPECT_EQ(hit(W - 9, 37), kHitClose);
  EXPECT_EQ(hit(W - 47, 20), kHitMaxButton);
  EXPECT_EQ(hit(W - 92, 20), kHitMaxButton);
  EXPECT_EQ(hit(W - 93, 20), kHitMinButton);
  EXPECT_EQ(hit(W - 138, 20), kHitMinButton);
  EXPECT_EQ(hit(W - 139, 20), kHitClient);  // between the buttons and the band
  EXPECT_EQ(hit(W - 153, 20), kHitCaption);
  EXPECT_EQ(hit(W - 60, 38), kHitClient);  // below the buttons, right of the band
  EXPECT_EQ(hit(100, 53), kHitCaption);
  EXPECT_EQ(hit(100, 54), kHitClient);
  EXPECT_EQ(hit(100, 8), kHitCaption);
  EXPECT_EQ(hit(W - 20, 20, false), kHitClient);
  EXPECT_EQ(hit(100, 20, false), kHitCaption);
  EXPECT_EQ(hit(100, 60, false), kHitClient);
}

TEST(HitTestTest, PointsOutsideTheClientArea) {
  EXPECT_EQ(hit(-5, 20), kHitClient);
  EXPECT_EQ(hit(100, -5), kHitClient);
  EXPECT_EQ(hit(W + 5, 300), kHitClient);
}

TEST(DragResizeTest, EdgesMoveAndTheMinimumSizeHolds) {
  const ScreenRect start{100, 100, 1100, 800};
  const ScreenRect wider = dragResizeRect(kHitRight, start, 50, 30);
  EXPECT_EQ(wider.right, 1150);
  EXPECT_EQ(wider.bottom, 800);
  const ScreenRect pinnedLeft = dragResizeRect(kHitLeft, start, 900, 0);
  EXPECT_EQ(pinnedLeft.right, 1100);
  EXPECT_EQ(pinnedLeft.left, 1100 - 320);
  const ScreenRect pinnedBottom = dragResizeRect(kHitBottom, start, 0, -650);
  EXPECT_EQ(pinnedBottom.top, 100);
  EXPECT_EQ(pinnedBottom.bottom, 100 + 240);
  const ScreenRect topLeft = dragResizeRect(kHitTopLeft, start, -10, 800);
  EXPECT_EQ(topLeft.left, 90);
  EXPECT_EQ(topLeft.top, 800 - 240);
  const ScreenRect bottomRight = dragResizeRect(kHitBottomRight, start, -900, -900);
  EXPECT_EQ(bottomRight.right - bottomRight.left, 320);
  EXPECT_EQ(bottomRight.left, 100);
  EXPECT_EQ(bottomRight.bottom - bottomRight.top, 240);
  EXPECT_EQ(bottomRight.top, 100);
}

TEST(FrameCursorTest, EdgeCursors) {
  EXPECT_EQ(cursorForHit(kHitLeft), FrameCursor::kSizeWestEast);
  EXPECT_EQ(cursorForHit(kHitBottom), FrameCursor::kSizeNorthSouth);
  EXPECT_EQ(cursorForHit(kHitBottomRight), FrameCursor::kSizeNorthwestSoutheast);
  EXPECT_EQ(cursorForHit(kHitTopRight), FrameCursor::kSizeNortheastSouthwest);
  EXPECT_EQ(cursorForHit(kHitClose), FrameCursor::kArrow);
}

TEST(CaptionReleaseTest, TheButtonUnderTheReleaseActsAfterAPressOnAnyCaptionButton) {
  struct Case {
    std::int32_t pressed;
    std::int32_t released;
    CaptionAction action;
  };
  const Case cases[] = {
      {kHitClose, kHitClose, CaptionAction::kClose},
      {kHitMinButton, kHitMinButton, CaptionAction::kMinimize},
      {kHitMaxButton, kHitMaxButton, CaptionAction::kMaximizeOrRestore},
      {kHitClose, kHitMaxButton, CaptionAction::kMaximizeOrRestore},  // carried from close to maximise
      {kHitMaxButton, kHitMinButton, CaptionAction::kMinimize},
      {kHitMinButton, kHitClose, CaptionAction::kClose},
      {kHitClose, kHitCaption, CaptionAction::kNone},  // released off the buttons
      {kHitClose, kHitClient, CaptionAction::kNone},
      {0, kHitClose, CaptionAction::kNone},  // pressed elsewhere: never closes
      {0, kHitMaxButton, CaptionAction::kNone},
      {kHitCaption, kHitClose, CaptionAction::kNone},
      {kHitRight, kHitClose, CaptionAction::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(captionReleaseAction(c.pressed, c.released), c.action) << c.pressed << " -> " << c.released;
  }
}

TEST(DpiTest, PercentOfDpi) {
  EXPECT_EQ(dpiPercentFor(96), 100u);
  EXPECT_EQ(dpiPercentFor(120), 125u);
  EXPECT_EQ(dpiPercentFor(144), 150u);
  EXPECT_EQ(dpiPercentFor(192), 200u);
  EXPECT_EQ(dpiPercentFor(72), 75u);
}

}  // namespace
}  // namespace canvas
