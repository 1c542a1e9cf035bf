// The window's own frame and the system messages on a real window: caption buttons, the hit test,
// edge dragging, the wheel, capture loss, session and power events.
#include <gtest/gtest.h>

#include "canvas/tests/window_test_support.hpp"

namespace canvas {
namespace {

using testing::clientToScreen;
using testing::packPoint;
using testing::pumpUntil;
using testing::WindowTest;

TEST_F(WindowTest, CaptionButtonsActOnTheReleaseOfAPressThatBeganOnOne) {
  WindowState& w = openMain();
  const LPARAM close = packPoint(w.width - 20, 20);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, packPoint(300, 300));
  SendMessageW(w.window, WM_LBUTTONUP, 0, close);  // released on close, pressed elsewhere
  EXPECT_TRUE(w.open);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, close);
  SendMessageW(w.window, WM_LBUTTONUP, 0, packPoint(w.width - 60, 20));  // carried onto maximise
  EXPECT_TRUE(w.open);
  EXPECT_TRUE(IsZoomed(w.window));
  EXPECT_TRUE(pumpUntil([&] { return w.width > 1000; }));  // the state follows WM_SIZE
  const LPARAM restore = packPoint(w.width - 60, 20);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, restore);
  SendMessageW(w.window, WM_LBUTTONUP, 0, packPoint(w.width / 2, 300));  // carried off the buttons
  EXPECT_TRUE(IsZoomed(w.window));
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, restore);
  SendMessageW(w.window, WM_LBUTTONUP, 0, restore);
  EXPECT_FALSE(IsZoomed(w.window));
  EXPECT_TRUE(pumpUntil([&] { return w.width == 1000; }));
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, close);
  EXPECT_EQ(w.pointer.pressure, 1000u);
  EXPECT_EQ(w.press.x, w.width - 20);
  SendMessageW(w.window, WM_LBUTTONUP, 0, close);
  EXPECT_FALSE(w.open);
  EXPECT_TRUE(w.closeRequested);
  EXPECT_TRUE(IsWindow(w.window));
}

TEST_F(WindowTest, TheMinimiseButtonMinimisesTheWindow) {
  WindowState& w = openMain();
  const LPARAM minimise = packPoint(w.width - 100, 20);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, minimise);
  SendMessageW(w.window, WM_LBUTTONUP, 0, minimise);
  EXPECT_TRUE(IsIconic(w.window));
  EXPECT_TRUE(pumpUntil([&] { return w.minimized; }));
  EXPECT_TRUE(w.open);
  EXPECT_GE(w.width, 1);
}

TEST_F(WindowTest, HitTestUsesTheFrameInsideTheClientAreaAndTheSystemOutside) {
  WindowState& w = openMain();
  const auto hitAt = [&](int x, int y) {
    const POINT p = clientToScreen(w.window, x, y);
    return SendMessageW(w.window, WM_NCHITTEST, 0, packPoint(p.x, p.y));
  };
  EXPECT_EQ(hitAt(100, 20), HTCAPTION);
  EXPECT_EQ(hitAt(300, 300), HTCLIENT);
  EXPECT_EQ(hitAt(w.width - 20, 20), HTCLIENT);  // the close button is handled on release
  EXPECT_EQ(hitAt(2, 300), HTCLIENT);            // the edge is resized by hand
  RECT frame;
  GetWindowRect(w.window, &frame);
  const POINT clientOrigin = clientToScreen(w.window, 0, 0);
  ASSERT_GT(clientOrigin.y, frame.top);  // the window has the system's own title bar above the client area
  // A point of that title bar: answered as DefWindowProcW answers it.
  const LPARAM titleBar = packPoint(frame.left + 100, frame.top + (clientOrigin.y - frame.top) / 2);
  EXPECT_EQ(SendMessageW(w.window, WM_NCHITTEST, 0, titleBar), DefWindowProcW(w.window, WM_NCHITTEST, 0, titleBar));
  EXPECT_EQ(SendMessageW(w.window, WM_NCHITTEST, 0, titleBar), HTCAPTION);
  // The system's close button in that title bar works again.
  const LPARAM outsideBelow = packPoint(frame.left + 100, frame.bottom + 50);
  EXPECT_EQ(SendMessageW(w.window, WM_NCHITTEST, 0, outsideBelow), HTNOWHERE);
}

TEST_F(WindowTest, WheelPointsAreConvertedFromTheScreen) {
  WindowState& w = openMain();
  const POINT p = clientToScreen(w.window, 30, 40);
  SendMessageW(w.window, WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<std::uint16_t>(-120)) << 16,
               packPoint(p.x, p.y));
  EXPECT_EQ(w.pointer.x, 30);
  EXPECT_EQ(w.pointer.y, 40);
  EXPECT_EQ(w.pointer.rawX, p.x);
  EXPECT_EQ(w.pointer.wheelDelta, -120);
  EXPECT_EQ(w.lastEventCode, 203u);
  SendMessageW(w.window, WM_MOUSEMOVE, 0, packPoint(7, 9));
  EXPECT_EQ(w.pointer.x, 7);
  EXPECT_EQ(w.lastEventCode, 200u);
}

TEST_F(WindowTest, DraggingTheRightEdgeResizesAndKeepsTheMinimumWidth) {
  WindowState& w = openMain(800, 600);
  RECT before;
  GetWindowRect(w.window, &before);
  const POINT edge = clientToScreen(w.window, w.width - 3, 300);
  ASSERT_TRUE(SetCursorPos(edge.x, edge.y));
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, packPoint(w.width - 3, 300));
  ASSERT_TRUE(w.resizing);
  EXPECT_EQ(w.resizeHit, HTRIGHT);
  ASSERT_TRUE(SetCursorPos(edge.x + 40, edge.y));
  SendMessageW(w.window, WM_MOUSEMOVE, MK_LBUTTON, packPoint(w.width + 37, 300));
  RECT after;
  GetWindowRect(w.window, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left + 40);
  ASSERT_TRUE(SetCursorPos(edge.x - 2000, edge.y));
  SendMessageW(w.window, WM_MOUSEMOVE, MK_LBUTTON, packPoint(0, 300));
  GetWindowRect(w.window, &after);
  EXPECT_EQ(after.right - after.left, 320);
  EXPECT_EQ(after.left, before.left);
  SendMessageW(w.window, WM_LBUTTONUP, 0, packPoint(10, 300));
  EXPECT_FALSE(w.resizing);
}

TEST_F(WindowTest, SessionPowerAndCaptureMessagesAreRecordedAndAnswered) {
  WindowState& w = openMain();
  const std::uint64_t before = sessionEvent.count;
  EXPECT_EQ(SendMessageW(w.window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
  EXPECT_EQ(sessionEvent.kind, 4u);
  EXPECT_EQ(sessionEvent.param, static_cast<std::uint64_t>(ENDSESSION_LOGOFF));
  EXPECT_EQ(sessionEvent.windowId, static_cast<std::uint64_t>(w.id));
  EXPECT_EQ(SendMessageW(w.window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0), 1);
  EXPECT_EQ(sessionEvent.kind, 2u);
  EXPECT_EQ(sessionEvent.flag, 0u);
  SendMessageW(w.window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  EXPECT_EQ(sessionEvent.flag, 1u);
  EXPECT_EQ(SendMessageW(w.window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0), 0);
  EXPECT_EQ(sessionEvent.kind, 3u);
  EXPECT_EQ(sessionEvent.flag, 0u);
  SendMessageW(w.window, WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(sessionEvent.kind, 5u);
  EXPECT_EQ(sessionEvent.flag, 1u);
  EXPECT_EQ(sessionEvent.count, before + 5);

  w.resizing = true;
  w.resizeHit = HTLEFT;
  SendMessageW(w.window, WM_CAPTURECHANGED, 0, 0);
  EXPECT_FALSE(w.resizing);
  EXPECT_EQ(w.resizeHit, 0);
  EXPECT_EQ(w.lastEventCode, 204u);
  EXPECT_EQ(w.pointer.captureLost, 1u);
  SendMessageW(w.window, WM_CANCELMODE, 0, 0);
  EXPECT_EQ(w.lastEventCode, 205u);
  EXPECT_EQ(w.pointer.cancelled, 1u);
  // A touch message with a handle the system does not know records nothing.
  const std::uint64_t touches = w.touchPoints;
  SendMessageW(w.window, WM_TOUCH, 1, 0x1234);
  EXPECT_EQ(w.touchPoints, touches);
  EXPECT_EQ(SendMessageW(w.window, WM_ERASEBKGND, 0, 0), 1);
  SendMessageW(w.window, WM_RENDERFORMAT, CF_UNICODETEXT, 0);  // nothing offered: nothing rendered
  EXPECT_EQ(delayedClipboard.renderCount, 0u);
}

}  // namespace
}  // namespace canvas
