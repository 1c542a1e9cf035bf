// Hit testing, drag resizing and caption buttons of the custom frame.
#include "canvas/window_frame.hpp"

namespace canvas {

namespace {

// The resize border (8 pixels on each side) under a point, or 0 when the point is on none.
std::int32_t borderHit(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) {
  const bool left = x >= 0 && x < kFrameBorder;
  const bool right = x >= w - kFrameBorder && x < w;
  const bool top = y >= 0 && y < kFrameBorder;
  const bool bottom = y >= h - kFrameBorder && y < h;
  if (left && top) return kHitTopLeft;
  if (top && right) return kHitTopRight;
  if (left && bottom) return kHitBottomLeft;
  if (right && bottom) return kHitBottomRight;
  if (left) return kHitLeft;
  if (right) return kHitRight;
  if (top) return kHitTop;
  if (bottom) return kHitBottom;
  return 0;
}

// A point on no border: a caption button (46 pixels wide each, at the right end of rows 8..37),
// the caption band (rows up to 53, left of the last 152 columns) or the client area.
std::int32_t captionHit(std::int32_t w, bool captionButtons, std::int32_t x, std::int32_t y) {
  if (y >= 8 && y <= 37 && captionButtons) {
    if (x >= w - 46 && x < w) return kHitClose;
    if (x >= w - 92 && x < w - 46) return kHitMaxButton;
    if (x >= w - 138 && x < w - 92) return kHitMinButton;
  } else if (y < 0 || y > 53) {
    return kHitClient;
  }
  if (x < 0) return kHitClient;
  if (x < w - 152) return kHitCaption;
  return kHitClient;
}

}  // namespace

std::int32_t hitTestNonClient(std::int32_t w, std::int32_t h, bool captionButtons, std::int32_t x, std::int32_t y) {
  const std::int32_t border = borderHit(w, h, x, y);
  return border != 0 ? border : captionHit(w, captionButtons, x, y);
}

bool isCaptionButton(std::int32_t hit) { return hit == kHitMinButton || hit == kHitMaxButton || hit == kHitClose; }

ScreenRect dragResizeRect(std::int32_t hit, const ScreenRect& start, std::int32_t dx, std::int32_t dy) {
  ScreenRect r = start;
  const bool movesLeft = hit == kHitLeft || hit == kHitTopLeft || hit == kHitBottomLeft;
  const bool movesRight = hit == kHitRight || hit == kHitTopRight || hit == kHitBottomRight;
  const bool movesTop = hit == kHitTop || hit == kHitTopLeft || hit == kHitTopRight;
  const bool movesBottom = hit == kHitBottom || hit == kHitBottomLeft || hit == kHitBottomRight;
  if (movesLeft) r.left += dx;
  if (movesRight) r.right += dx;
  if (movesTop) r.top += dy;
  if (movesBottom) r.bottom += dy;
  if (r.right - r.left < kMinimumWindowWidth) {
    if (movesLeft) {
      r.left = r.right - kMinimumWindowWidth;
    } else {
      r.right = r.left + kMinimumWindowWidth;
    }
  }
  if (r.bottom - r.top < kMinimumWindowHeight) {
    if (movesTop) {
      r.top = r.bottom - kMinimumWindowHeight;
    } else {
      r.bottom = r.top + kMinimumWindowHeight;
    }
  }
  return r;
}

FrameCursor cursorForHit(std::int32_t hit) {
  switch (hit) {
    case kHitLeft:
    case kHitRight:
      return FrameCursor::kSizeWestEast;
    case kHitTop:
    case kHitBottom:
      return FrameCursor::kSizeNorthSouth;
    case kHitTopLeft:
    case kHitBottomRight:
      return FrameCursor::kSizeNorthwestSoutheast;
    case kHitTopRight:
    case kHitBottomLeft:
      return FrameCursor::kSizeNortheastSouthwest;
    default:
      return FrameCursor::kArrow;
  }
}

CaptionAction captionReleaseAction(std::int32_t pressedButton, std::int32_t releaseHit) {
  // Any caption button may take the release of a press that began on one of them, so a press
  // can still be carried to another button; a press that began elsewhere never acts.
  if (!isCaptionButton(pressedButton)) return CaptionAction::kNone;
  switch (releaseHit) {
    case kHitMinButton:
      return CaptionAction::kMinimize;
    case kHitMaxButton:
      return CaptionAction::kMaximizeOrRestore;
    case kHitClose:
      return CaptionAction::kClose;
    default:
      return CaptionAction::kNone;
  }
}

std::uint32_t dpiPercentFor(std::uint32_t dpi) { return (dpi * 100u + 48u) / 96u; }

}  // namespace canvas
