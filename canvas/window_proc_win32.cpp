// The window procedure of the runtime's window classes: turns Win32 messages into window state
// (banked keys, typed and composed text, focus, size, visibility, close requests, dropped files,
// session events) and routes pointer, frame, clipboard and accessibility messages to their helpers.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "canvas/key_input.hpp"
#include "canvas/pointer_input.hpp"
#include "canvas/win32_canvas.hpp"
#include "canvas/window_frame.hpp"
#include "canvas/window_registry.hpp"
#include "canvas/window_status.hpp"
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

// The Win32 values the portable size and session decisions compare with.
static_assert(kSizeMinimized == static_cast<std::uint64_t>(SIZE_MINIMIZED));
static_assert(kPowerSuspend == static_cast<std::uint64_t>(PBT_APMSUSPEND));
static_assert(kPowerResumeSuspend == static_cast<std::uint64_t>(PBT_APMRESUMESUSPEND));
static_assert(kPowerResumeAutomatic == static_cast<std::uint64_t>(PBT_APMRESUMEAUTOMATIC));
static_assert(kSessionLogon == static_cast<std::uint64_t>(WTS_SESSION_LOGON));
static_assert(kSessionLogoff == static_cast<std::uint64_t>(WTS_SESSION_LOGOFF));
static_assert(kSessionLock == static_cast<std::uint64_t>(WTS_SESSION_LOCK));
static_assert(kSessionUnlock == static_cast<std::uint64_t>(WTS_SESSION_UNLOCK));

// The session record's kind of a power or session message; 0 for any other message.
std::uint64_t sessionKindOf(UINT message) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return kSessionQueryEnd;
    case WM_ENDSESSION:
      return kSessionEnd;
    case WM_ACTIVATEAPP:
      return kSessionActivation;
    case WM_POWERBROADCAST:
      return kSessionPower;
    case WM_WTSSESSION_CHANGE:
      return kSessionTerminal;
    default:
      return 0;
  }
}

// Power and session messages are recorded whether or not the registry knows the window.
LRESULT handleSessionMessage(HWND hwnd, std::uint64_t kind, WPARAM wParam, LPARAM lParam) {
  WindowState* w = findWindowByHandle(hwnd);
  const SessionDecision decision =
      decideSessionEvent({kind, wParam, static_cast<std::uint64_t>(lParam), w != nullptr && w->focused});
  recordSessionEvent(w, kind, decision.param, decision.flag);
  return static_cast<LRESULT>(decision.result);
}

// Delayed-rendering clipboard messages, answered whether or not the registry knows the window.
std::optional<LRESULT> handleClipboardMessage(HWND hwnd, UINT message, WPARAM wParam) {
  switch (message) {
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
      return std::nullopt;
  }
}

void applyPointerLockStep(HWND hwnd, PointerLockStep step) {
  switch (step) {
    case PointerLockStep::kEngage:
      engagePointerLock(hwnd);
      break;
    case PointerLockStep::kRelease:
      releasePointerLock(hwnd);
      break;
    case PointerLockStep::kUpdateCursor:
      updateCaptureCursor(hwnd);
      break;
    case PointerLockStep::kNone:
      break;
  }
}

FocusContext focusContextOf(const WindowState& w, HWND hwnd) {
  return {isCaptureWindow(hwnd), windowRegistry().captureMode != 0, w.minimized, w.composing};
}

void handleDestroy(WindowState& w, HWND hwnd) {
  releasePointerCapture(hwnd);
  forgetUiaWindowOnDestroy(hwnd);
  releaseClipboardOwnership(hwnd);
  WTSUnRegisterSessionNotification(hwnd);
  w.open = w.visible = w.focused = false;
  w.window = nullptr;
  stampInputEvent(w, 0);
}

void handleMove(WindowState& w, HWND hwnd, LPARAM lParam) {
  w.clientX = pointX(lParam);
  w.clientY = pointY(lParam);
  updateWindowDpi(w);
  stampInputEvent(w, 0);
  if (isCaptureWindow(hwnd) && windowRegistry().lockEngaged) clipCursorToClient(hwnd);
}

void handleSize(WindowState& w, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  SizeChange change;
  change.sizeType = wParam;
  change.width = LOWORD(lParam);
  change.height = HIWORD(lParam);
  change.captureWindow = isCaptureWindow(hwnd);
  change.captureMode = windowRegistry().captureMode != 0;
  change.focused = w.focused;
  const SizeDecision decision = decideSizeChange(change);
  w.width = decision.width;
  w.height = decision.height;
  w.minimized = decision.minimized;
  updateWindowDpi(w);
  stampInputEvent(w, 0);
  paintClearedFrame(w);
  applyPointerLockStep(hwnd, decision.lock);
}

void handleFocusGained(WindowState& w, HWND hwnd) {
  const FocusDecision decision = decideFocusGained(focusContextOf(w, hwnd));
  w.focused = decision.focused;
  stampInputEvent(w, 0);
  applyPointerLockStep(hwnd, decision.lock);
}

void handleFocusLost(WindowState& w, HWND hwnd) {
  const FocusDecision decision = decideFocusLost(focusContextOf(w, hwnd));
  w.focused = decision.focused;
  if (decision.clearKeys) clearKeyPresses(w);
  applyPointerLockStep(hwnd, decision.lock);
  if (decision.endComposition) endComposition(w);
  stampInputEvent(w, 0);
}

// A close request only hides the window; the application sees open == false and closes it.
void handleCloseRequest(WindowState& w, HWND hwnd) {
  clearKeyPresses(w);
  w.inputLog.clear();
  releasePointerLock(hwnd);
  w.closeRequested = true;
  w.open = false;
  w.visible = false;
  stampInputEvent(w, 0);
  ShowWindow(hwnd, SW_HIDE);
}

// Lifecycle, geometry, focus, visibility and accessibility of a known window.
std::optional<LRESULT> handleWindowMessage(WindowState& w, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      handleDestroy(w, hwnd);
      return 0;
    case WM_MOVE:
      handleMove(w, hwnd, lParam);
      return 0;
    case WM_SIZE:
      handleSize(w, hwnd, wParam, lParam);
      return 0;
    case WM_SETFOCUS:
      handleFocusGained(w, hwnd);
      return 0;
    case WM_KILLFOCUS:
      handleFocusLost(w, hwnd);
      return 0;
    case WM_CLOSE:
      handleCloseRequest(w, hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SHOWWINDOW:
      w.visible = wParam != 0;
      stampInputEvent(w, 0);
      return 0;
    case WM_GETOBJECT:
      return handleGetObject(hwnd, wParam, lParam);
    default:
      return std::nullopt;
  }
}

// Keys, typed characters and IME composition of a known window.
std::optional<LRESULT> handleKeyboardMessage(WindowState& w, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
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
    default:
      return std::nullopt;
  }
}

// Mouse, touch, pen, raw input, dropped files and the custom frame of a known window; everything
// else goes to the default procedure.
LRESULT handlePointerOrDefault(WindowState& w, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CANCELMODE:
      mousePointerEvent(w, kEventPointerCancelled, wParam, lParam);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SETCURSOR:
      return handleSetCursor(&w, hwnd, wParam, lParam);
    case WM_NCHITTEST:
      return handleNonClientHitTest(w, hwnd, wParam, lParam);
    case WM_INPUT:
      handleRawInput(hwnd, lParam);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_MOUSEMOVE:
      mousePointerEvent(w, kEventPointerMove, wParam, lParam);
      if (w.resizing) return handleDragResize(w, hwnd);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_LBUTTONDOWN:
      recordLeftPress(w, pointX(lParam), pointY(lParam), static_cast<std::uint32_t>(GetMessageTime()));
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

}  // namespace

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Messages that behave the same with and without a state.
  if (const std::uint64_t kind = sessionKindOf(message); kind != 0) {
    return handleSessionMessage(hwnd, kind, wParam, lParam);
  }
  if (const std::optional<LRESULT> answer = handleClipboardMessage(hwnd, message, wParam)) return *answer;

  WindowState* state = findWindowByHandle(hwnd);
  if (state == nullptr) return handleWithoutState(hwnd, message, wParam, lParam);
  if (const std::optional<LRESULT> answer = handleWindowMessage(*state, hwnd, message, wParam, lParam)) return *answer;
  if (const std::optional<LRESULT> answer = handleKeyboardMessage(*state, hwnd, message, wParam, lParam)) {
    return *answer;
  }
  return handlePointerOrDefault(*state, hwnd, message, wParam, lParam);
}

}  // namespace canvas
