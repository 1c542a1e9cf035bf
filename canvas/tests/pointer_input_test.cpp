// Pointer records from mouse, pointer and touch events, and raw motion under pointer lock.
#include "canvas/pointer_input.hpp"

#include <gtest/gtest.h>

#include <climits>

#include "canvas/window_registry.hpp"

namespace canvas {
namespace {

PointerEvent mouseEvent(std::int32_t code, std::int32_t x, std::int32_t y) {
  PointerEvent e;
  e.code = code;
  e.pointerId = 1;
  e.pointerType = kPointerMouse;
  e.rawX = e.x = x;
  e.rawY = e.y = y;
  return e;
}

TEST(PointerRecordTest, APressFillsTheRecordAndTheSnapshot) {
  WindowState w;
  PointerEvent e = mouseEvent(kEventPointerPress, 40, 50);
  e.wParam = 0x0001;  // MK_LBUTTON
  ASSERT_TRUE(applyPointerEvent(w, e));
  EXPECT_EQ(w.pointer.pressure, 1000u);
  EXPECT_EQ(w.pointer.pointerButtons, 1u);
  EXPECT_EQ(w.pointer.active, 1u);
  EXPECT_EQ(w.lastEventCode, 201u);
  EXPECT_EQ(w.press.x, 40);
  EXPECT_EQ(w.press.eventSequence, w.eventSequence);
  PointerEvent move = mouseEvent(kEventPointerMove, 41, 52);
  move.windowHasCapture = true;
  applyPointerEvent(w, move);
  EXPECT_EQ(w.pointer.pressure, 0u);
  EXPECT_EQ(w.pointer.active, 1u);
  EXPECT_EQ(w.press.x, 40);  // the snapshot is only taken on a press
}

TEST(PointerRecordTest, MouseMessagesMadeFromTouchAreDropped) {
  WindowState w;
  PointerEvent e = mouseEvent(kEventPointerMove, 1, 2);
  e.messageExtraInfo = 0xFF515780;
  EXPECT_FALSE(applyPointerEvent(w, e));
  EXPECT_EQ(w.lastSequence, 0u);
  EXPECT_EQ(w.pointer.x, 0);
  // Capture loss is recorded whatever made it.
  PointerEvent lost = mouseEvent(kEventCaptureLost, 1, 2);
  lost.messageExtraInfo = 0xFF515780;
  EXPECT_TRUE(applyPointerEvent(w, lost));
  EXPECT_EQ(w.pointer.captureLost, 1u);
  EXPECT_EQ(w.pointer.active, 0u);
}

TEST(PointerRecordTest, WheelDeltaIsTheSignedHighWord) {
  WindowState w;
  PointerEvent e = mouseEvent(kEventPointerWheel, 5, 5);
  e.wParam = static_cast<std::uint64_t>(0xFF88) << 16;  // -120
  applyPointerEvent(w, e);
  EXPECT_EQ(w.pointer.wheelDelta, -120);
  applyPointerEvent(w, mouseEvent(kEventPointerMove, 5, 5));
  EXPECT_EQ(w.pointer.wheelDelta, 0);
}

TEST(PointerRecordTest, PointerMessageButtonsAreTheButtonFlagsOfTheHighWord) {
  // POINTER_MESSAGE_FLAG_INRANGE | INCONTACT | FIRSTBUTTON | SECONDBUTTON, pointer id 7.
  const std::uint64_t wParam = (static_cast<std::uint64_t>(0x0002 | 0x0004 | 0x0010 | 0x0020) << 16) | 7;
  EXPECT_EQ(pointerButtonsOf(wParam, true), 3u);
  EXPECT_EQ(pointerButtonsOf(static_cast<std::uint64_t>(0x0100) << 16, true), 16u);  // fifth button
  EXPECT_EQ(pointerButtonsOf(0x0012, false), 0x12u);
}

TEST(PointerRecordTest, PenPressureAndCancellation) {
  EXPECT_EQ(penPressureFrom(1024), 1000u);
  EXPECT_EQ(penPressureFrom(512), 500u);
  EXPECT_EQ(penPressureFrom(4096), 1000u);
  WindowState w;
  PointerEvent pen = mouseEvent(kEventPointerMove, 3, 4);
  pen.pointerType = kPointerPen;
  pen.pressure = 500;
  pen.fromPointerMessage = true;
  pen.messageExtraInfo = 0xFF515780;  // only mouse events are filtered
  EXPECT_TRUE(applyPointerEvent(w, pen));
  EXPECT_EQ(w.pointer.pressure, 500u);
  EXPECT_EQ(w.pointer.pointerType, 3u);
  applyPointerEvent(w, mouseEvent(kEventPointerCancelled, 0, 0));
  EXPECT_EQ(w.pointer.cancelled, 1u);
  EXPECT_EQ(w.lastEventCode, 205u);
}

TEST(PointerRecordTest, PackedPointsAreSigned) {
  const std::int64_t packed = (0xFFF6 << 16) | 0xFFFB;  // (-5, -10)
  EXPECT_EQ(pointX(packed), -5);
  EXPECT_EQ(pointY(packed), -10);
  EXPECT_EQ(pointX(0x00200010), 16);
  EXPECT_EQ(pointY(0x00200010), 32);
}

TEST(TouchPointTest, HundredthsAreTruncatedAndDownsPress) {
  EXPECT_EQ(touchPixel(199), 1);
  EXPECT_EQ(touchPixel(12345), 123);
  WindowState w;
  applyTouchPoint(w, 0x2, 9, touchPixel(19999), touchPixel(5050), 12, 34);
  EXPECT_EQ(w.touchPoints, 1u);
  EXPECT_EQ(w.pointer.rawX, 199);
  EXPECT_EQ(w.pointer.rawY, 50);
  EXPECT_EQ(w.pointer.x, 12);
  EXPECT_EQ(w.pointer.pointerType, 2u);
  EXPECT_EQ(w.pointer.pointerButtons, 1u);
  EXPECT_EQ(w.press.pointerId, 9u);
  EXPECT_EQ(w.lastEventCode, 201u);
  applyTouchPoint(w, 0x4, 9, 1, 1, 1, 1);
  EXPECT_EQ(w.lastEventCode, 202u);
  EXPECT_EQ(w.pointer.active, 0u);
  applyTouchPoint(w, 0x1, 9, 1, 1, 1, 1);
  EXPECT_EQ(w.lastEventCode, 200u);
  EXPECT_EQ(w.touchPoints, 3u);
}

TEST(PointerMotionTest, AccumulatesAndSaturates) {
  clearPointerMotion();
  accumulatePointerMotion(5, -7);
  accumulatePointerMotion(10, 2);
  EXPECT_EQ(pointerMotionX(), 15);
  EXPECT_EQ(pointerMotionY(), -5);
  accumulatePointerMotion(INT32_MAX, INT32_MIN);
  EXPECT_EQ(pointerMotionX(), INT32_MAX);
  EXPECT_EQ(pointerMotionY(), INT32_MIN);
  clearPointerMotion();
  EXPECT_EQ(pointerMotionX(), 0);
  EXPECT_EQ(pointerMotionY(), 0);
}

}  // namespace
}  // namespace canvas
