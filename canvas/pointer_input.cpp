// Pointer, touch and raw-motion records.
#include "canvas/pointer_input.hpp"

#include <algorithm>

#include "canvas/window_registry.hpp"

namespace canvas {

bool isTouchOrPenMouseMessage(std::uint64_t messageExtraInfo) {
  return (messageExtraInfo & 0xFFFFFF00u) == 0xFF515700u;
}

std::uint64_t pointerButtonsOf(std::uint64_t wParam, bool fromPointerMessage) {
  if (fromPointerMessage) return (wParam >> 20) & 31;
  return wParam & 0xFFFF;
}

std::uint64_t penPressureFrom(std::uint32_t rawPressure) {
  const std::uint64_t scaled = static_cast<std::uint64_t>(rawPressure) * 1000 / 1024;
  return std::min<std::uint64_t>(scaled, 1000);
}

std::int32_t pointX(std::int64_t packed) { return static_cast<std::int16_t>(packed & 0xFFFF); }
std::int32_t pointY(std::int64_t packed) { return static_cast<std::int16_t>((packed >> 16) & 0xFFFF); }

std::int32_t touchPixel(std::int32_t hundredths) { return hundredths / 100; }

namespace {

void takePressSnapshot(WindowState& w) {
  w.press.eventSequence = w.eventSequence;
  w.press.pointerId = w.pointer.pointerId;
  w.press.pointerType = w.pointer.pointerType;
  w.press.pressure = w.pointer.pressure;
  w.press.x = w.pointer.x;
  w.press.y = w.pointer.y;
  w.press.rawX = w.pointer.rawX;
  w.press.rawY = w.pointer.rawY;
  w.press.active = w.pointer.active;
}

}  // namespace

bool applyPointerEvent(WindowState& w, const PointerEvent& e) {
  if (e.pointerType == kPointerMouse && e.code < kEventCaptureLost && isTouchOrPenMouseMessage(e.messageExtraInfo)) {
    return false;
  }
  PointerRecord& p = w.pointer;
  p.pointerId = static_cast<std::uint64_t>(static_cast<std::int64_t>(e.pointerId));
  p.pointerType = e.pointerType;
  p.pointerButtons = pointerButtonsOf(e.wParam, e.fromPointerMessage);
  if (e.pressure == -1) {
    p.pressure = e.code == kEventPointerPress ? 1000 : 0;
  } else {
    p.pressure = static_cast<std::uint64_t>(std::clamp(e.pressure, 0, 1000));
  }
  p.reserved = 0;
  p.wheelDelta = e.code == kEventPointerWheel ? static_cast<std::int16_t>((e.wParam >> 16) & 0xFFFF) : 0;
  p.rawX = e.rawX;
  p.rawY = e.rawY;
  p.x = e.x;
  p.y = e.y;
  if (e.code == kEventPointerPress) {
    p.active = 1;
  } else if (e.code == kEventCaptureLost || e.code == kEventPointerCancelled) {
    p.active = 0;
  } else {
    p.active = e.windowHasCapture ? 1 : 0;
  }
  p.captureLost = e.code == kEventCaptureLost ? 1 : 0;
  p.cancelled = e.code == kEventPointerCancelled ? 1 : 0;
  stampInputEvent(w, e.code);
  if (e.code == kEventPointerPress) takePressSnapshot(w);
  return true;
}

void recordLeftPress(WindowState& w, std::int32_t x, std::int32_t y, std::uint32_t time) {
  if (loggedPresses(w, true) < kLeftPressLimit) {
    w.inputLog.push_back(LoggedInput{w.typedText.size(), 0, ClientPoint{x, y}, time});
  }
}

void applyTouchPoint(WindowState& w, std::uint32_t flags, std::uint32_t pointId, std::int32_t screenX,
                     std::int32_t screenY, std::int32_t clientX, std::int32_t clientY) {
  constexpr std::uint32_t kTouchDown = 0x2;
  constexpr std::uint32_t kTouchUp = 0x4;
  ++w.touchPoints;
  const std::int32_t code =
      (flags & kTouchDown) ? kEventPointerPress : ((flags & kTouchUp) ? kEventPointerRelease : kEventPointerMove);
  PointerRecord& p = w.pointer;
  p.x = clientX;
  p.y = clientY;
  p.pointerId = pointId;
  p.pointerType = kPointerTouch;
  p.pointerButtons = (flags & kTouchDown) ? 1 : 0;
  p.pressure = code == kEventPointerPress ? 1000 : 0;
  p.reserved = 0;
  p.wheelDelta = 0;
  p.rawX = screenX;
  p.rawY = screenY;
  p.active = code == kEventPointerPress ? 1 : 0;
  p.captureLost = 0;
  p.cancelled = 0;
  stampInputEvent(w, code);
  if (code == kEventPointerPress) takePressSnapshot(w);
}

namespace {

std::int32_t saturatingAdd(std::int32_t a, std::int32_t b) {
  const std::int64_t sum = static_cast<std::int64_t>(a) + b;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
}
std::uint64_t packMotion(std::int32_t x, std::int32_t y) {
  return static_cast<std::uint32_t>(x) | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) << 32);
}

}  // namespace

void accumulatePointerMotion(std::int32_t dx, std::int32_t dy) {
  std::atomic<std::uint64_t>& motion = windowRegistry().motion;
  std::uint64_t old = motion.load();
  std::uint64_t next = 0;
  do {
    const auto x = static_cast<std::int32_t>(static_cast<std::uint32_t>(old));
    const auto y = static_cast<std::int32_t>(static_cast<std::uint32_t>(old >> 32));
    next = packMotion(saturatingAdd(x, dx), saturatingAdd(y, dy));
  } while (!motion.compare_exchange_weak(old, next));
}

std::int32_t pointerMotionX() {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(windowRegistry().motion.load()));
}
std::int32_t pointerMotionY() {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(windowRegistry().motion.load() >> 32));
}
void clearPointerMotion() {
  windowRegistry().motion.store(0);
  windowRegistry().motionExtra = 0;
}

}  // namespace canvas
