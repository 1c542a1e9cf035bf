// The window procedure of the runtime's window classes: turns Win32 messages into window state
// (banked keys, typed and composed text, focus, size, visibility, close requests, dropped files,
// session events) and routes pointer, frame, clipboard and accessibility messages to their helpers.
#include <algorithm>
#include <string>
#include <vector>

#include "canvas/key_input.hpp"
#include "canvas/pointer_input.hpp"
#include "canvas/win32_canvas.hpp"
#include "canvas/window_frame.hpp"
#include "canvas/window_registry.hpp"
#include "runtime/utf16.hpp"

#ifndef WM_UNICHAR
#define WM_UNICHAR 0x0109
#endif
#ifndef UNICODE_NOCHAR
#define UNICODE_NOCHAR 0xFFFF
#endif

namespace canvas {

DelayedClipboardState delayedClipboard;
SessionEventRecord sessionEvent;

void renderClipboardText(UINT format) {
  DelayedClipboardState& c = delayedClipboard;
  if (format != CF_UNICODETEXT || c.pending == 0 || c.pendingText == nullptr) return;
  if (SetClipboardData(CF_UNICODETEXT, c.pendingText) == nullptr) return;
  ++c.renderCount;
  ++c.eventCount;
  c.pendingText = nullptr;  // the clipboard owns it now
  c.state = kClipboardRendered;
}

void flushClipboardOnExit(HWND window) {
  DelayedClipboardState& c = delayedClipboard;
  if (c.pending == 0 || c.owner != window || GetClipboardOwner() != window) return;
  if (!OpenClipboard(window)) return;
  renderClipboardText(CF_UNICODETEXT);
  CloseClipboard();
}

namespace {

void recordSessionEvent(WindowState* w, std::uint64_t kind, std::uint64_t param, bool flag) {
  ++sessionEvent.count;
  sessionEvent.kind = kind;
  sessionEvent.param = param;
  sessionEvent.windowId = w != nullptr ? static_cast<std::uint64_t>(w->id) : 0;
  sessionEvent.flag = flag ? 1 : 0;
}

// Frees the text held for delayed rendering and gives up the ownership that came with it.
void dropPendingClipboard(DelayedClipboardState& c, std::uint64_t state) {
  if (c.pendingText != nullptr) GlobalFree(c.pendingText);
  c.pendingText = nullptr;
  ++c.eventCount;
  c.owner = nullptr;
  c.pending = 0;
  c.pendingLength = 0;
  c.state = state;
}

void releaseClipboardOwnership(HWND window) {
  DelayedClipboardState& c = delayedClipboard;
  if (c.pending == 0 || c.owner != window) return;
  flushClipboardOnExit(window);
  ++c.ownerDestroyedCount;
  dropPendingClipboard(c, kClipboardOwnerDestroyed);
}

void positionImeWindows(WindowState& w) {
  if (w.window == nullptr || w.caretX < 0 || w.caretY < 0 || w.caretHeight < 1) return;
  HIMC context = ImmGetContext(w.window);
  if (context == nullptr) return;
  COMPOSITIONFORM composition{};
  composition.dwStyle = CFS_POINT;
  composition.ptCurrentPos = {w.caretX, w.caretY};
  ImmSetCompositionWindow(context, &composition);
  CANDIDATEFORM candidate{};
  candidate.dwIndex = 0;
  candidate.dwStyle = CFS_CANDIDATEPOS;
  candidate.ptCurrentPos = {w.caretX, w.caretY + w.caretHeight};
  ImmSetCandidateWindow(context, &candidate);
  ImmReleaseContext(w.window, context);
}

void endComposition(WindowState& w) {
  w.composing = false;
  w.composition.clear();
  ++w.compositionRevision;
}

// The UTF-16 units of the IME's result or composition string (at most 256 units).
std::vector<std::uint16_t> readImeString(HWND window, DWORD which) {
  std::vector<std::uint16_t> units;
  HIMC context = ImmGetContext(window);
  if (context == nullptr) return units;
  const LONG size = ImmGetCompositionStringW(context, which, nullptr, 0);
  const std::size_t wanted = imeUnitCount(size);
  if (wanted > 0) {
    std::uint16_t buffer[256] = {};
    const LONG read = ImmGetCompositionStringW(context, which, buffer, static_cast<DWORD>(wanted * 2));
    const std::size_t count = std::min(imeUnitCount(read), wanted);
    units.assign(buffer, buffer + count);
  }
  ImmReleaseContext(window, context);
  return units;
}

LRESULT handleImeComposition(WindowState& w, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const bool result = (lParam & GCS_RESULTSTR) != 0;
  if (!result && (lParam & GCS_COMPSTR) == 0) return DefWindowProcW(hwnd, WM_IME_COMPOSITION, wParam, lParam);
  const std::vector<std::uint16_t> units = readImeString(hwnd, result ? GCS_RESULTSTR : GCS_COMPSTR);
  if (result) {
    for (std::uint16_t unit : units) handleCharUnit(w, unit);
    w.pendingHighSurrogate = 0;
    endComposition(w);
  } else {
    w.composing = true;
    w.composition = compositionFromUnits(units);
    ++w.compositionRevision;
  }
  positionImeWindows(w);
  return 0;
}

void handleFileDrop(WindowState& w, HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  w.payloadA = 0;
  w.payloadB = count;
  w.droppedPath.clear();
  if (count == 1) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length >= 1 && length <= 32767) {
      std::wstring name(length + 1, L'\0');
      if (DragQueryFileW(drop, 0, name.data(), length + 1) == length) {
        // Shown and handed back as the system named it: an unpaired surrogate becomes U+FFFD
        // rather than losing the drop.
        std::string path = runtime::utf16ToUtf8Replacing(std::wstring_view(name.c_str()));
        if (!path.empty()) {
          w.droppedPath = std::move(path);
          w.payloadA = 1;
        }
      }
    }
  }
  DragFinish(drop);
  w.lastEventCode = kEventFileDrop;
  stampInputEvent(w, 0);
}

// The system's own frame answers points outside the client area (title bar, borders, Alt+F4's
// system menu); inside it, the caption band drags the window and everything else is client.
LRESULT handleNonClientHitTest(WindowState& w, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (!w.customFrame) return DefWindowProcW(hwnd, WM_NCHITTEST, wParam, lParam);
  POINT point{pointX(lParam), pointY(lParam)};
  RECT client;
  if (!ScreenToClient(hwnd, &point) || !GetClientRect(hwnd, &client) || !PtInRect(&client, point)) {
    return DefWindowProcW(hwnd, WM_NCHITTEST, wParam, lParam);
  }
  return hitTestNonClient(w.width, w.height, w.captionButtons, point.x, point.y) == kHitCaption ? HTCAPTION : HTCLIENT;
}

void mousePointerEvent(WindowState& w, std::int32_t code, WPARAM wParam, LPARAM lParam) {
  recordPointerEvent(w, code, 1, static_cast<std::int32_t>(kPointerMouse), wParam, lParam, -1, false);
}

// Rows that answer without a window state (messages during CreateWindowExW, or for windows the
// registry does not know).
LRESULT handleWithoutState(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
    case WM_MOVE:
    case WM_SIZE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_CLOSE:
    case WM_SHOWWINDOW:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:
    case WM_IME_CHAR:
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_MOUSEWHEEL:
    case WM_CAPTURECHANGED:
    case WM_TOUCH:
    case WM_POINTERUPDATE:
    case WM_POINTERDOWN:
    case WM_POINTERUP:
      return 0;
    case WM_DROPFILES:
      // The drop handle is ours to free whoever handles the message.
      DragFinish(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_UNICHAR:
      return wParam == UNICODE_NOCHAR ? 1 : 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      return handleSetCursor(nullptr, hwnd, wParam, lParam);
    case WM_GETOBJECT:
      return handleGetObject(hwnd, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

bool isCaptureWindow(HWND hwnd) { return windowRegistry().captureWindow == hwnd; }

}  // namespace

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Rows that behave the same with and without a state.
  switch (message) {
    case WM_QUERYENDSESSION:
      recordSessionEvent(findWindowByHandle(hwnd), kSessionQueryEnd, static_cast<std::uint64_t>(lParam), false);
      return 1;
    case WM_ENDSESSION:
      recordSessionEvent(findWindowByHandle(hwnd), kSessionEnd, wParam, wParam == FALSE);
      return 0;
    case WM_ACTIVATEAPP:
      recordSessionEvent(findWindowByHandle(hwnd), kSessionActivation, wParam, wParam != 0);
      return 0;
    case WM_POWERBROADCAST: {
      WindowState* w = findWindowByHandle(hwnd);
      const bool flag = wParam != PBT_APMSUSPEND &&
                        (wParam == PBT_APMRESUMESUSPEND || wParam == PBT_APMRESUMEAUTOMATIC || (w && w->focused));
      recordSessionEvent(w, kSessionPower, wParam, flag);
      return 1;
    }
    case WM_WTSSESSION_CHANGE: {
      WindowState* w = findWindowByHandle(hwnd);
      const bool flag = wParam != WTS_SESSION_LOGOFF && wParam != WTS_SESSION_LOCK &&
                        (wParam == WTS_SESSION_LOGON || wParam == WTS_SESSION_UNLOCK || (w && w->focused));
      recordSessionEvent(w, kSessionTerminal, wParam, flag);
      return 0;
    }
    case WM_RENDERFORMAT:
      renderClipboardText(static_cast<UINT>(wParam));
      return 0;
    case WM_RENDERALLFORMATS:
      flushClipboardOnExit(hwnd);
      return 0;
    case WM_DESTROYCLIPBOARD: {
      DelayedClipboardState& c = delayedClipboard;
      if (c.pending != 0 && c.owner == hwnd) {
        ++c.destroyCount;
        dropPendingClipboard(c, kClipboardDestroyed);
      }
      return 0;
    }
    default:
      break;
  }

  WindowState* state = findWindowByHandle(hwnd);
  if (state == nullptr) return handleWithoutState(hwnd, message, wParam, lParam);
  WindowState& w = *state;

  switch (message) {
    case WM_DESTROY:
      releasePointerCapture(hwnd);
      forgetUiaWindowOnDestroy(hwnd);
      releaseClipboardOwnership(hwnd);
      WTSUnRegisterSessionNotification(hwnd);
      w.open = w.visible = w.focused = false;
      w.window = nullptr;
      stampInputEvent(w, 0);
      return 0;
    case WM_MOVE:
      w.clientX = pointX(lParam);
      w.clientY = pointY(lParam);
      updateWindowDpi(w);
      stampInputEvent(w, 0);
      if (isCaptureWindow(hwnd) && windowRegistry().lockEngaged) clipCursorToClient(hwnd);
      return 0;
    case WM_SIZE: {
      const std::int32_t width = LOWORD(lParam);
      const std::int32_t height = HIWORD(lParam);
      w.width = width == 0 ? 1 : width;
      w.height = height == 0 ? 1 : height;
      w.minimized = wParam == SIZE_MINIMIZED;
      updateWindowDpi(w);
      stampInputEvent(w, 0);
      paintClearedFrame(w);
      if (isCaptureWindow(hwnd)) {
        if (w.minimized) {
          releasePointerLock(hwnd);
        } else if (w.focused && windowRegistry().captureMode) {
          engagePointerLock(hwnd);
        }
      }
      return 0;
    }
    case WM_SETFOCUS:
      w.focused = true;
      stampInputEvent(w, 0);
      if (isCaptureWindow(hwnd)) {
        if (windowRegistry().captureMode && !w.minimized) {
          engagePointerLock(hwnd);
        } else {
          updateCaptureCursor(hwnd);
        }
      }
      return 0;
    case WM_KILLFOCUS:
      w.focused = false;
      clearKeyPresses(w);
      releasePointerLock(hwnd);
      if (w.composing) endComposition(w);
      stampInputEvent(w, 0);
      return 0;
    case WM_CLOSE:
      // A close request only hides the window; the application sees open == false and closes it.
      clearKeyPresses(w);
      w.leftPresses.clear();
      releasePointerLock(hwnd);
      w.closeRequested = true;
      w.open = false;
      w.visible = false;
      stampInputEvent(w, 0);
      ShowWindow(hwnd, SW_HIDE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SHOWWINDOW:
      w.visible = wParam != 0;
      stampInputEvent(w, 0);
      return 0;
    case WM_CANCELMODE:
      mousePointerEvent(w, kEventPointerCancelled, wParam, lParam);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SETCURSOR:
      return handleSetCursor(&w, hwnd, wParam, lParam);
    case WM_GETOBJECT:
      return handleGetObject(hwnd, wParam, lParam);
    case WM_NCHITTEST:
      return handleNonClientHitTest(w, hwnd, wParam, lParam);
    case WM_INPUT:
      handleRawInput(hwnd, lParam);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_KEYDOWN:
      recordKeyEvent(w, wParam, static_cast<std::uint32_t>(lParam), true);
      return 0;
    case WM_SYSKEYDOWN:
      recordKeyEvent(w, wParam, static_cast<std::uint32_t>(lParam), true);
      // Alt+F4 still asks the window to close (which hides it). Other system keys stay with the
      // window: letting Alt alone through would start the system menu's modal loop and stall frames.
      if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN) != 0) return DefWindowProcW(hwnd, message, wParam, lParam);
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      recordKeyEvent(w, wParam, static_cast<std::uint32_t>(lParam), false);
      return 0;
    case WM_CHAR:
    case WM_IME_CHAR:
      // Compared whole: a value above 0xFFFF is no UTF-16 unit and must not be cut down to one.
      handleCharUnit(w, static_cast<std::uint32_t>(std::min<WPARAM>(wParam, 0x110000)));
      return 0;
    case WM_UNICHAR:
      if (wParam == UNICODE_NOCHAR) return 1;
      w.pendingHighSurrogate = 0;
      appendTypedCodePoint(w, wParam);
      return 0;
    case WM_IME_STARTCOMPOSITION:
      w.composing = true;
      w.composition.clear();
      ++w.compositionRevision;
      positionImeWindows(w);
      return 0;
    case WM_IME_ENDCOMPOSITION:
      endComposition(w);
      return 0;
    case WM_IME_COMPOSITION:
      return handleImeComposition(w, hwnd, wParam, lParam);
    case WM_MOUSEMOVE:
      mousePointerEvent(w, kEventPointerMove, wParam, lParam);
      if (w.resizing) return handleDragResize(w, hwnd);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_LBUTTONDOWN:
      recordLeftPress(w, pointX(lParam), pointY(lParam));
      mousePointerEvent(w, kEventPointerPress, wParam, lParam);
      if (w.customFrame) return handleFramePress(w, hwnd, wParam, lParam);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_LBUTTONUP:
      mousePointerEvent(w, kEventPointerRelease, wParam, lParam);
      return handleFrameRelease(w, hwnd, wParam, lParam);
    case WM_RBUTTONDOWN:
      mousePointerEvent(w, kEventPointerPress, wParam, lParam);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_RBUTTONUP:
      mousePointerEvent(w, kEventPointerRelease, wParam, lParam);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_MOUSEWHEEL:
      mousePointerEvent(w, kEventPointerWheel, wParam, lParam);
      return 0;
    case WM_CAPTURECHANGED:
      w.resizing = false;
      w.resizeHit = 0;
      w.captionButtonPressed = 0;
      mousePointerEvent(w, kEventCaptureLost, wParam, lParam);
      return 0;
    case WM_DROPFILES:
      handleFileDrop(w, reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_TOUCH:
      handleTouchMessage(w, wParam, lParam);
      return 0;
    case WM_POINTERUPDATE:
    case WM_POINTERDOWN:
    case WM_POINTERUP:
      return handlePointerMessage(w, message, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace canvas
