// The window's own frame inside its client area: which hit-test code a client point has (8-pixel
// resize borders, the caption band, three caption buttons), how an edge drag resizes the window
// (320 x 240 minimum), which cursor an edge shows, what a caption-button release does, and the DPI
// scale in percent.
#pragma once

#include <cstdint>

#include "canvas/window_state.hpp"

namespace canvas {

// Win32 hit-test codes used by the frame.
inline constexpr std::int32_t kHitClient = 1;
inline constexpr std::int32_t kHitCaption = 2;
inline constexpr std::int32_t kHitMinButton = 8;
inline constexpr std::int32_t kHitMaxButton = 9;
inline constexpr std::int32_t kHitLeft = 10;
inline constexpr std::int32_t kHitRight = 11;
inline constexpr std::int32_t kHitTop = 12;
inline constexpr std::int32_t kHitTopLeft = 13;
inline constexpr std::int32_t kHitTopRight = 14;
inline constexpr std::int32_t kHitBottom = 15;
inline constexpr std::int32_t kHitBottomLeft = 16;
inline constexpr std::int32_t kHitBottomRight = 17;
inline constexpr std::int32_t kHitClose = 20;

inline constexpr std::int32_t kFrameBorder = 8;
inline constexpr std::int32_t kMinimumWindowWidth = 320;
inline constexpr std::int32_t kMinimumWindowHeight = 240;

// The hit-test code of a point in client coordinates of a client area width x height.
std::int32_t hitTestNonClient(std::int32_t width, std::int32_t height, bool captionButtons, std::int32_t x,
                              std::int32_t y);

bool isCaptionButton(std::int32_t hit);

// The window rectangle after dragging edge `hit` by (dx, dy) from `start`, kept at least 320 x 240.
ScreenRect dragResizeRect(std::int32_t hit, const ScreenRect& start, std::int32_t dx, std::int32_t dy);

enum class FrameCursor { kArrow, kSizeWestEast, kSizeNorthSouth, kSizeNorthwestSoutheast, kSizeNortheastSouthwest };
FrameCursor cursorForHit(std::int32_t hit);

// What a left-button release on the frame does, given the caption button the press was on (0: none)
// and the hit code under the release: after a press on any caption button, the button under the
// release acts (pressed on close and released on maximise maximises); after any other press,
// nothing does.
enum class CaptionAction { kNone, kMinimize, kMaximizeOrRestore, kClose };
CaptionAction captionReleaseAction(std::int32_t pressedButton, std::int32_t releaseHit);

// Scale in percent of a DPI value: (dpi x 100 + 48) / 96 (96 -> 100, 120 -> 125, 144 -> 150).
std::uint32_t dpiPercentFor(std::uint32_t dpi);

}  // namespace canvas
