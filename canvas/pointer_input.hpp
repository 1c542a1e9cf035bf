// The pointer record of a window from mouse, pointer (mouse, touch, pen) and touch messages, once
// the Win32 side has read the message and the system state: event codes, button bits, pressure,
// coordinates, the active flag and the press snapshot.
#pragma once

#include <cstdint>

#include "canvas/window_state.hpp"

namespace canvas {

inline constexpr std::int32_t kEventPointerMove = 200;
inline constexpr std::int32_t kEventPointerPress = 201;
inline constexpr std::int32_t kEventPointerRelease = 202;
inline constexpr std::int32_t kEventPointerWheel = 203;
inline constexpr std::int32_t kEventCaptureLost = 204;
inline constexpr std::int32_t kEventPointerCancelled = 205;
inline constexpr std::int32_t kEventFileDrop = 210;

inline constexpr std::uint64_t kPointerMouse = 1;
inline constexpr std::uint64_t kPointerTouch = 2;
inline constexpr std::uint64_t kPointerPen = 3;

// True for the extra-info signature of mouse messages that Windows makes from touch or pen input.
bool isTouchOrPenMouseMessage(std::uint64_t messageExtraInfo);

// The button bits of a message: for WM_POINTER* the five POINTER_MESSAGE_FLAG_*BUTTON bits of the
// high word of wParam (bits 20..24), for mouse messages the MK_ flags of the low word.
std::uint64_t pointerButtonsOf(std::uint64_t wParam, bool fromPointerMessage);

// A pen's 0..1024 pressure in the 0..1000 range, rounded down and capped at 1000.
std::uint64_t penPressureFrom(std::uint32_t rawPressure);

// The signed low and high words of a packed message point.
std::int32_t pointX(std::int64_t packed);
std::int32_t pointY(std::int64_t packed);

// Touch positions come in hundredths of a pixel; truncated to whole pixels.
std::int32_t touchPixel(std::int32_t hundredths);

// One pointer event after the Win32 side resolved the point and the capture.
struct PointerEvent {
  std::int32_t code = 0;
  std::int32_t pointerId = 0;
  std::uint64_t pointerType = kPointerMouse;
  std::uint64_t wParam = 0;
  std::int32_t rawX = 0;  // the point as the message gave it
  std::int32_t rawY = 0;
  std::int32_t x = 0;  // the point in client coordinates
  std::int32_t y = 0;
  std::int32_t pressure = -1;  // -1: 1000 for a press, else 0
  bool fromPointerMessage = false;
  bool windowHasCapture = false;
  std::uint64_t messageExtraInfo = 0;
};

// Writes the pointer record (and the snapshot on a press) and stamps the event. A mouse event made
// from touch or pen (code below 204) is dropped: returns false and changes nothing.
bool applyPointerEvent(WindowState& window, const PointerEvent& event);

// Logs a left-button press at its client point and message time (the tick clock's milliseconds),
// after the text typed so far, for the application (takeInput), which samples input once per frame
// and would otherwise miss a press released before its next frame. Presses beyond kLeftPressLimit
// not yet taken are dropped.
void recordLeftPress(WindowState& window, std::int32_t x, std::int32_t y, std::uint32_t time);

// One touch point: flags are TOUCHEVENTF_* (down 0x2, up 0x4), the screen point in whole pixels.
void applyTouchPoint(WindowState& window, std::uint32_t flags, std::uint32_t pointId, std::int32_t screenX,
                     std::int32_t screenY, std::int32_t clientX, std::int32_t clientY);

// Adds raw motion to the registry's accumulators with one compare-and-exchange, each half clamped
// to the int32 range; and reads them.
void accumulatePointerMotion(std::int32_t dx, std::int32_t dy);
std::int32_t pointerMotionX();
std::int32_t pointerMotionY();
void clearPointerMotion();

}  // namespace canvas
