// The polling side of the runtime: the message pump and the questions the frame loop asks once per
// frame (key presses, mouse buttons, the mouse position, typed text, the input clock and the
// double-click span).
#include <utility>

#include "canvas/canvas.hpp"
#include "canvas/key_input.hpp"
#include "canvas/key_names.hpp"
#include "canvas/win32_canvas.hpp"

namespace canvas {

void pumpMessages() {
  MSG message;
  for (int round = 0; round < 32; ++round) {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

WindowState* findWindowByHandle(HWND window) {
  if (window == nullptr) return nullptr;
  for (auto& [id, state] : windowRegistry().windows) {
    if (state && state->window == window) return state.get();
  }
  return nullptr;
}

bool isRuntimeWindowForeground() {
  HWND foreground = GetForegroundWindow();
  if (foreground == nullptr) return false;
  WindowState* state = findWindowByHandle(foreground);
  return state != nullptr && state->open;
}

bool keyPressed(const runtime::Text& name) {
  pumpMessages();
  WindowState* w = currentWindow();
  const std::int32_t virtualKey = virtualKeyForName(name);
  if (w == nullptr || !w->open || !w->focused || w->window == nullptr) return false;
  if (w->window != GetForegroundWindow()) return false;
  return takeKeyPress(*w, virtualKey);
}

bool mouseButtonDown(const runtime::Text& name) {
  if (!isRuntimeWindowForeground()) return false;
  const std::int32_t button = virtualButtonForName(name);
  if (button == 0) return false;
  return (static_cast<unsigned short>(GetAsyncKeyState(button)) & 0x8000u) != 0;
}

namespace {

// The cursor in the current window's client coordinates, or (-1, -1).
POINT cursorInClient(std::string_view operation) {
  WindowState& w = requireOpenWindow(operation);
  POINT none{-1, -1};
  if (!isRuntimeWindowForeground()) return none;
  POINT cursor;
  if (!GetCursorPos(&cursor)) return none;
  if (!ScreenToClient(w.window, &cursor)) return none;
  return cursor;
}

}  // namespace

std::int32_t MouseX() { return cursorInClient("MouseX").x; }
std::int32_t MouseY() { return cursorInClient("MouseY").y; }

bool isMouseOver(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  if (!(x <= MouseX())) return false;
  if (!(static_cast<std::int64_t>(MouseX()) < static_cast<std::int64_t>(x) + w)) return false;
  if (!(y <= MouseY())) return false;
  return static_cast<std::int64_t>(MouseY()) < static_cast<std::int64_t>(y) + h;
}

runtime::Text takeTypedText() {
  WindowState* w = currentWindow();
  if (w == nullptr) return {};
  return std::exchange(w->typedText, runtime::Text());
}

std::vector<InputEvent> takeInput(const std::vector<runtime::Text>& keyNames) {
  WindowState* w = currentWindow();
  if (w == nullptr) return {};
  std::vector<std::int32_t> keys;
  for (const runtime::Text& name : keyNames) {
    const std::int32_t key = virtualKeyForName(name);
    if (key != 0) keys.push_back(key);
  }
  return takeInput(*w, keys);
}

std::uint32_t inputClock() { return static_cast<std::uint32_t>(GetTickCount()); }

DoubleClickSpan doubleClickSpan() {
  DoubleClickSpan span;
  span.milliseconds = static_cast<std::uint32_t>(GetDoubleClickTime());
  span.width = static_cast<std::int32_t>(GetSystemMetrics(SM_CXDOUBLECLK));
  span.height = static_cast<std::int32_t>(GetSystemMetrics(SM_CYDOUBLECLK));
  return span;
}

}  // namespace canvas
