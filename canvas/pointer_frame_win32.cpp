// Pointer, touch and pen messages, the window's own frame inside the client area (edge resizing,
// caption buttons, cursors, the cleared background while sizing) and the pointer lock.
#include <algorithm>
#include <vector>

#include "canvas/pointer_input.hpp"
#include "canvas/srgb_color.hpp"
#include "canvas/win32_canvas.hpp"
#include "canvas/window_frame.hpp"
#include "canvas/window_registry.hpp"

namespace canvas {
namespace {

// The system cursors by number: IDC_* are wide-string resources under UNICODE, LoadCursorA wants narrow ones.
const LPCSTR kArrowCursor = MAKEINTRESOURCEA(32512);
const LPCSTR kSizeNwseCursor = MAKEINTRESOURCEA(32642);
const LPCSTR kSizeNeswCursor = MAKEINTRESOURCEA(32643);
const LPCSTR kSizeWeCursor = MAKEINTRESOURCEA(32644);
const LPCSTR kSizeNsCursor = MAKEINTRESOURCEA(32645);

}  // namespace

void recordPointerEvent(WindowState& w, std::int32_t code, std::int32_t pointerId, std::int32_t pointerType,
                        WPARAM wParam, LPARAM point, std::int32_t pressure, bool fromPointerMessage) {
  PointerEvent event;
  event.code = code;
  event.pointerId = pointerId;
  event.pointerType = static_cast<std::uint64_t>(pointerType);
  event.wParam = wParam;
  event.rawX = pointX(point);
  event.rawY = pointY(point);
  event.pressure = pressure;
  event.fromPointerMessage = fromPointerMessage;
  event.messageExtraInfo = static_cast<std::uint64_t>(GetMessageExtraInfo());
  if (pointerType == static_cast<std::int32_t>(kPointerMouse) && code < kEventCaptureLost &&
      isTouchOrPenMouseMessage(event.messageExtraInfo)) {
    return;
  }
  POINT client{event.rawX, event.rawY};
  // Pointer messages and the wheel carry screen coordinates; the other mouse messages client ones.
  if ((fromPointerMessage || code == kEventPointerWheel) && w.window != nullptr) ScreenToClient(w.window, &client);
  event.x = client.x;
  event.y = client.y;
  event.windowHasCapture = w.window != nullptr && GetCapture() == w.window;
  applyPointerEvent(w, event);
}

LRESULT handlePointerMessage(WindowState& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT32 pointerId = LOWORD(wParam);
  POINTER_INPUT_TYPE type = PT_POINTER;
  if (!GetPointerType(pointerId, &type)) return 0;
  const std::int32_t code = message == WM_POINTERDOWN ? kEventPointerPress
                            : message == WM_POINTERUP ? kEventPointerRelease
                                                      : kEventPointerMove;
  const bool down = code == kEventPointerPress;
  std::int32_t pointerType = 0;
  std::int32_t pressure = down ? 1000 : 0;
  if (type == PT_MOUSE) {
    pointerType = static_cast<std::int32_t>(kPointerMouse);
  } else if (type == PT_TOUCH) {
    pointerType = static_cast<std::int32_t>(kPointerTouch);
  } else if (type == PT_PEN) {
    pointerType = static_cast<std::int32_t>(kPointerPen);
    POINTER_PEN_INFO pen{};
    if (GetPointerPenInfo(pointerId, &pen) && (pen.penMask & PEN_MASK_PRESSURE) != 0) {
      pressure = static_cast<std::int32_t>(penPressureFrom(pen.pressure));
    }
  } else {
    return 0;
  }
  recordPointerEvent(w, code, static_cast<std::int32_t>(pointerId), pointerType, wParam, lParam, pressure, true);
  return 0;
}

void handleTouchMessage(WindowState& w, WPARAM wParam, LPARAM lParam) {
  const UINT count = LOWORD(wParam);
  HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lParam);
  std::vector<TOUCHINPUT> inputs(count);
  if (count > 0 && GetTouchInputInfo(handle, count, inputs.data(), sizeof(TOUCHINPUT))) {
    for (const TOUCHINPUT& input : inputs) {
      POINT point{touchPixel(input.x), touchPixel(input.y)};
      POINT client = point;
      if (w.window != nullptr) ScreenToClient(w.window, &client);
      applyTouchPoint(w, input.dwFlags, input.dwID, point.x, point.y, client.x, client.y);
    }
  }
  CloseTouchInputHandle(handle);
}

void setHitTestCursor(std::int32_t hit) {
  LPCSTR cursor = kArrowCursor;
  switch (cursorForHit(hit)) {
    case FrameCursor::kSizeWestEast:
      cursor = kSizeWeCursor;
      break;
    case FrameCursor::kSizeNorthSouth:
      cursor = kSizeNsCursor;
      break;
    case FrameCursor::kSizeNorthwestSoutheast:
      cursor = kSizeNwseCursor;
      break;
    case FrameCursor::kSizeNortheastSouthwest:
      cursor = kSizeNeswCursor;
      break;
    case FrameCursor::kArrow:
      break;
  }
  SetCursor(LoadCursorA(nullptr, cursor));
}

void paintClearedFrame(WindowState& w) {
  if (w.deviceContext == nullptr || w.glContext == nullptr || w.width <= 0 || w.height <= 0) return;
  if (!makeContextCurrent(w.deviceContext, w.glContext)) return;
  setPixelProjection(w.width, w.height);
  glDisable(GL_DEPTH_TEST);
  if (w.translucent) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    return;
  }
  glClearColor(colorChannelToFloat(10, w.srgbFramebuffer), colorChannelToFloat(11, w.srgbFramebuffer),
               colorChannelToFloat(13, w.srgbFramebuffer), 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  SwapBuffers(w.deviceContext);
  glClear(GL_COLOR_BUFFER_BIT);
  SwapBuffers(w.deviceContext);
}

LRESULT handleFramePress(WindowState& w, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const std::int32_t hit = hitTestNonClient(w.width, w.height, w.captionButtons, pointX(lParam), pointY(lParam));
  if (isCaptionButton(hit)) {
    w.captionButtonPressed = hit;
    SetCapture(hwnd);
    return 0;
  }
  w.captionButtonPressed = 0;
  if (hit != kHitClient && hit != kHitCaption) {
    POINT cursor{};
    RECT rect{};
    GetCursorPos(&cursor);
    GetWindowRect(hwnd, &rect);
    w.resizing = true;
    w.resizeHit = hit;
    w.resizeStartCursor = {cursor.x, cursor.y};
    w.resizeStartRect = {rect.left, rect.top, rect.right, rect.bottom};
    SetCapture(hwnd);
    setHitTestCursor(hit);
    return 0;
  }
  return DefWindowProcW(hwnd, WM_LBUTTONDOWN, wParam, lParam);
}

LRESULT handleDragResize(WindowState& w, HWND hwnd) {
  POINT cursor;
  if (!GetCursorPos(&cursor)) return 0;
  const ScreenRect r = dragResizeRect(w.resizeHit, w.resizeStartRect, cursor.x - w.resizeStartCursor.x,
                                      cursor.y - w.resizeStartCursor.y);
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  paintClearedFrame(w);
  return 0;
}

LRESULT handleFrameRelease(WindowState& w, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (w.customFrame) {
    const std::int32_t pressed = w.captionButtonPressed;
    w.captionButtonPressed = 0;
    const std::int32_t hit = hitTestNonClient(w.width, w.height, w.captionButtons, pointX(lParam), pointY(lParam));
    switch (captionReleaseAction(pressed, hit)) {
      case CaptionAction::kMinimize:
        ReleaseCapture();
        ShowWindow(hwnd, SW_MINIMIZE);
        return 0;
      case CaptionAction::kMaximizeOrRestore:
        ReleaseCapture();
        ShowWindow(hwnd, IsZoomed(hwnd) ? SW_RESTORE : SW_MAXIMIZE);
        return 0;
      case CaptionAction::kClose:
        ReleaseCapture();
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
      case CaptionAction::kNone:
        break;
    }
    if (w.resizing) {
      w.resizing = false;
      w.resizeHit = 0;
      ReleaseCapture();
      return 0;
    }
    if (GetCapture() == hwnd) {
      ReleaseCapture();
      return 0;
    }
    return DefWindowProcW(hwnd, WM_LBUTTONUP, wParam, lParam);
  }
  if (w.resizing) {
    w.resizing = false;
    w.resizeHit = 0;
    ReleaseCapture();
    return 0;
  }
  return DefWindowProcW(hwnd, WM_LBUTTONUP, wParam, lParam);
}

LRESULT handleSetCursor(WindowState* w, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const WindowRegistry& registry = windowRegistry();
  const std::int32_t code = LOWORD(lParam);
  if (registry.captureWindow == hwnd && code == HTCLIENT && (registry.lockEngaged || !registry.cursorVisible)) {
    SetCursor(nullptr);
    return 1;
  }
  if (w != nullptr && w->customFrame && code == HTCLIENT) {
    POINT cursor;
    if (GetCursorPos(&cursor) && ScreenToClient(hwnd, &cursor)) {
      const std::int32_t hit = hitTestNonClient(w->width, w->height, w->captionButtons, cursor.x, cursor.y);
      if (hit != kHitClient && hit != kHitCaption) {
        if (isCaptionButton(hit)) {
          SetCursor(LoadCursorA(nullptr, kArrowCursor));
        } else {
          setHitTestCursor(hit);
        }
        return 1;
      }
    }
  }
  return DefWindowProcW(hwnd, WM_SETCURSOR, wParam, lParam);
}

bool clipCursorToClient(HWND window) {
  if (window == nullptr) return false;
  RECT client;
  if (!GetClientRect(window, &client) || client.right <= client.left || client.bottom <= client.top) return false;
  POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
  MapWindowPoints(window, nullptr, corners, 2);
  RECT screen{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  return ClipCursor(&screen) != FALSE;
}

void updateCaptureCursor(HWND window) {
  const WindowRegistry& registry = windowRegistry();
  if (window == nullptr || registry.captureWindow != window || GetForegroundWindow() != window) return;
  POINT cursor;
  RECT client;
  if (!GetCursorPos(&cursor) || !ScreenToClient(window, &cursor) || !GetClientRect(window, &client)) return;
  if (!PtInRect(&client, cursor)) return;
  if (registry.lockEngaged == 0 && registry.cursorVisible == 1) {
    SetCursor(LoadCursorA(nullptr, kArrowCursor));
  } else {
    SetCursor(nullptr);
  }
}

void engagePointerLock(HWND window) {
  WindowRegistry& registry = windowRegistry();
  if (window != nullptr && registry.captureWindow == window && registry.captureMode == 1 &&
      GetForegroundWindow() == window && clipCursorToClient(window)) {
    registry.lockEngaged = 1;
    clearPointerMotion();
    updateCaptureCursor(window);
  } else {
    registry.lockEngaged = 0;
  }
}

void releasePointerLock(HWND window) {
  WindowRegistry& registry = windowRegistry();
  if (window == nullptr || registry.captureWindow != window) return;
  registry.lockEngaged = 0;
  clearPointerMotion();
  ClipCursor(nullptr);
  SetCursor(LoadCursorA(nullptr, kArrowCursor));
}

void releasePointerCapture(HWND window) {
  WindowRegistry& registry = windowRegistry();
  if (window == nullptr || registry.captureWindow != window) return;
  releasePointerLock(window);
  if (registry.rawMouseRegistered) {
    RAWINPUTDEVICE device{};
    device.usUsagePage = 1;
    device.usUsage = 2;
    device.dwFlags = RIDEV_REMOVE;
    device.hwndTarget = nullptr;
    RegisterRawInputDevices(&device, 1, sizeof(device));
    registry.rawMouseRegistered = 0;
  }
  registry.captureWindow = nullptr;
  registry.captureMode = 0;
  registry.cursorVisible = 1;
}

void handleRawInput(HWND hwnd, LPARAM lParam) {
  const WindowRegistry& registry = windowRegistry();
  if (!registry.lockEngaged || registry.captureWindow != hwnd) return;
  RAWINPUT input{};
  UINT size = sizeof(RAWINPUT) < 48 ? sizeof(RAWINPUT) : 48;
  const UINT read =
      GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &input, &size, sizeof(RAWINPUTHEADER));
  if (read == static_cast<UINT>(-1) || read < 48) return;
  if (input.header.dwType != RIM_TYPEMOUSE || (input.data.mouse.usFlags & MOUSE_MOVE_ABSOLUTE) != 0) return;
  accumulatePointerMotion(input.data.mouse.lLastX, input.data.mouse.lLastY);
}

}  // namespace canvas
