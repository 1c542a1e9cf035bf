// WindowState: everything the runtime keeps about one window: its handles and GL context, layered
// presentation buffers, fonts, geometry and status flags, the last input event, the input log,
// typed and composed text, and the custom-frame drag state. Owned by the WindowRegistry; written by
// the window procedure while messages are pumped and read by the polling queries and the frame loop.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "canvas/text_runs.hpp"
#include "canvas/window_handles.hpp"

namespace canvas {

// One bitmap-font size and weight: the base of its 96 glyph display lists (0: not built), its font,
// and the advances of its printable glyphs as the lists were built with them.
struct FontSlot {
  std::uint32_t listBase = 0;
  FontHandle font = nullptr;
  GlyphAdvances advances{};
};

// Slot order: 12 px 400, 12 px 700, 13 px 400, 13 px 700, 15 px 400, 15 px 700, 20 px 400, 20 px 700,
// 28 px 400, 28 px 700.
inline constexpr int kFontSlotCount = 10;
inline constexpr std::array<int, kFontSlotCount> kFontSlotPixelHeights = {12, 12, 13, 13, 15, 15, 20, 20, 28, 28};
inline constexpr std::array<int, kFontSlotCount> kFontSlotWeights = {400, 700, 400, 700, 400, 700, 400, 700, 400, 700};

// Texture caches: nothing in this program fills them; closing a window deletes whatever they hold.
struct TextureCacheEntryA {
  std::string firstKey;
  std::string secondKey;
  std::uint32_t texture = 0;
};
struct TextureCacheEntryB {
  std::string key;
  std::uint32_t texture = 0;
};

// The latest pointer event of a window (also the shape of the press snapshot).
struct PointerRecord {
  std::uint64_t pointerId = 0;
  std::uint64_t pointerType = 0;  // 1 mouse, 2 touch, 3 pen
  std::uint64_t pointerButtons = 0;
  std::uint64_t pressure = 0;  // 0..1000
  std::uint64_t reserved = 0;
  std::int64_t wheelDelta = 0;
  std::int64_t x = 0;  // client pixels
  std::int64_t y = 0;
  std::int64_t rawX = 0;  // the point as the message carried it
  std::int64_t rawY = 0;
  std::uint64_t active = 0;
  std::uint64_t captureLost = 0;
  std::uint64_t cancelled = 0;
};

struct PressSnapshot {
  std::uint64_t eventSequence = 0;
  std::uint64_t pointerId = 0;
  std::uint64_t pointerType = 0;
  std::uint64_t pressure = 0;
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t rawX = 0;
  std::int64_t rawY = 0;
  std::uint64_t active = 0;
};

// A window rectangle in screen pixels (left, top, right, bottom), and a screen point.
struct ScreenRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};
struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};
// A point in a window's client pixels.
struct ClientPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const ClientPoint&, const ClientPoint&) = default;
};

// One press in the window's input log: a fresh key press (its virtual key) or a left-button press
// (virtual key 0, at its client point and message time), and how many bytes of typed text had come
// before it, so that text, keys and clicks can be replayed in the order they came.
struct LoggedInput {
  std::size_t textOffset = 0;
  std::uint8_t virtualKey = 0;
  ClientPoint point;
  std::uint32_t time = 0;
};

// Limits of the text buffers.
inline constexpr std::size_t kTypedTextLimitBytes = 512;
inline constexpr std::size_t kCompositionLimitBytes = 512;
// Limits of the input log between two frames: its key presses, and its left-button presses.
inline constexpr std::size_t kKeyLogLimit = 512;
inline constexpr std::size_t kLeftPressLimit = 16;

struct WindowState {
  // Identity and GL context.
  std::int32_t id = 0;
  WindowHandle window = nullptr;  // null once destroyed
  DeviceContextHandle deviceContext = nullptr;
  GlContextHandle glContext = nullptr;
  bool strictSrgbFormat = false;      // the pixel format came from the strict sRGB list and passed its re-check
  bool srgbFramebuffer = false;       // GL_FRAMEBUFFER_SRGB on and verified: colours go to GL in linear light
  bool translucent = false;           // presented as a layered window
  void* blendFuncSeparate = nullptr;  // glBlendFuncSeparate, or null

  // Layered presentation.
  DeviceContextHandle layeredDc = nullptr;
  BitmapHandle layeredBitmap = nullptr;
  GdiObjectHandle previousBitmap = nullptr;
  void* layeredBits = nullptr;
  std::int32_t layeredWidth = 0;
  std::int32_t layeredHeight = 0;
  std::uint64_t layeredBytes = 0;
  std::uint64_t layeredPresents = 0;
  std::uint32_t layeredSamplePixel = 0;  // top-left pixel of the last layered frame, A<<24|R<<16|G<<8|B
  bool layeredPresented = false;

  std::array<FontSlot, kFontSlotCount> fonts{};

  // Geometry and status.
  std::int32_t width = 0;  // client size, at least 1 while open
  std::int32_t height = 0;
  std::int32_t clientX = 0;
  std::int32_t clientY = 0;
  bool open = false;
  bool visible = false;
  bool focused = false;
  bool minimized = false;
  bool closeRequested = false;
  std::int32_t ownerId = 0;
  std::uint32_t dpiPercent = 100;
  std::uint32_t monitorNumber = 1;  // 1-based; 0 when no monitor is known

  // Last-event record.
  std::uint64_t lastSequence = 0;
  std::uint64_t lastEventCode = 0;
  std::uint64_t eventSequence = 0;
  std::uint64_t payloadA = 0;
  std::uint64_t payloadB = 0;
  std::uint64_t keyModifiers = 0;
  std::uint64_t keyRepeat = 0;
  std::uint64_t keySequence = 0;
  PointerRecord pointer;
  PressSnapshot press;
  std::uint64_t touchPoints = 0;

  // Text and keys.
  std::string droppedPath;
  std::uint64_t modifierMask = 0;                  // shift 1, control 2, alt 4
  std::array<std::uint8_t, 256> pendingPresses{};  // fresh key downs not yet taken, per virtual key
  // Key presses (at most kKeyLogLimit) and left-button presses (at most kLeftPressLimit) not yet
  // taken, in input order: a press and release between two frames is a click all the same.
  std::vector<LoggedInput> inputLog;
  std::string typedText;  // at most kTypedTextLimitBytes
  std::uint64_t typedCount = 0;
  std::uint16_t pendingHighSurrogate = 0;
  std::string composition;  // at most kCompositionLimitBytes
  std::uint64_t compositionRevision = 0;
  bool composing = false;
  std::int32_t caretX = -1;
  std::int32_t caretY = -1;
  std::int32_t caretHeight = 0;

  // Custom frame.
  bool captionButtons = true;
  bool customFrame = true;
  bool resizing = false;
  std::int32_t resizeHit = 0;
  ScreenPoint resizeStartCursor;
  ScreenRect resizeStartRect;
  std::int32_t captionButtonPressed = 0;  // hit code of the caption button under the last press, 0: none

  // GPU caches.
  std::vector<TextureCacheEntryA> textureCacheA;
  std::uint64_t textureCacheAHits = 0;
  std::uint64_t textureCacheAMisses = 0;
  std::vector<TextureCacheEntryB> textureCacheB;
  std::uint64_t textureCacheBHits = 0;
  std::uint64_t textureCacheBMisses = 0;
  std::uint32_t singleTexture = 0;
  std::int32_t singleTextureWidth = 0;
  std::int32_t singleTextureHeight = 0;
};

// How many left-button presses (or, with false, key presses) the window's input log holds.
inline std::size_t loggedPresses(const WindowState& window, bool leftButton) {
  std::size_t count = 0;
  for (const LoggedInput& logged : window.inputLog) count += (logged.virtualKey == 0) == leftButton ? 1 : 0;
  return count;
}

}  // namespace canvas
