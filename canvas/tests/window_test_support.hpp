// Shared pieces of the tests that open real windows (run under wine on a virtual display): a fixture
// that closes every window afterwards the way the application shuts down, and small helpers.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "canvas/canvas.hpp"
#include "canvas/win32_canvas.hpp"
#include "runtime/runtime_error.hpp"
#include "wgl_extension_seam.hpp"

namespace canvas::testing {

class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    closeAllWindows();
    testing::setPixelFormatExtensionAvailable(true);
  }

  // Opens the main window and makes sure it is the focused foreground window.
  WindowState& openMain(std::int64_t width = 1000, std::int64_t height = 700) {
    openWindow("canvas test window", width, height);
    WindowState* w = currentWindow();
    if (w == nullptr) throw std::runtime_error("no window opened");
    SetForegroundWindow(w->window);
    SetFocus(w->window);
    pumpMessages();
    return *w;
  }
};

// The what() text of the runtime error an operation throws, or "no exception".
template <typename Operation>
std::string thrownText(Operation&& operation) {
  try {
    operation();
  } catch (const runtime::vusk_runtime_exception& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("other exception: ") + e.what();
  }
  return "no exception";
}

// A point packed as window messages carry it.
inline LPARAM packPoint(int x, int y) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) | (x & 0xFFFF));
}

inline POINT clientToScreen(HWND window, int x, int y) {
  POINT p{x, y};
  ClientToScreen(window, &p);
  return p;
}

// Pumps until `done` holds or 10 seconds have passed (input sent through the system arrives
// asynchronously, and late on a busy machine). Returns as soon as the condition holds.
template <typename Condition>
bool pumpUntil(Condition&& done) {
  const ULONGLONG deadline = GetTickCount64() + 10000;
  for (;;) {
    pumpMessages();
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(5);
  }
}

}  // namespace canvas::testing
