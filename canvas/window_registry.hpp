// The process-wide window registry: every runtime window by id, the main and current window, the
// input sequence counter, the monitors seen so far and the pointer-lock state. Everything here is a
// decision on values (no window-system calls), so it builds and is tested on every platform.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "canvas/window_handles.hpp"
#include "canvas/window_state.hpp"

namespace canvas {

// At most this many windows are created in the life of the process (ids 1..16).
inline constexpr std::int32_t kMaxWindows = 16;

// The registry map's deleter: frees the record and its texts, releases no window-system or GL resource.
void destroyWindowState(WindowState* state);
struct WindowStateDeleter {
  void operator()(WindowState* state) const { destroyWindowState(state); }
};
using OwnedWindowState = std::unique_ptr<WindowState, WindowStateDeleter>;

struct WindowRegistry {
  std::unordered_map<std::int32_t, OwnedWindowState> windows;  // never erased before exit
  std::vector<MonitorHandle> monitors;                         // in order of first sight
  std::int32_t nextId = 1;
  std::int32_t mainId = 0;
  std::int32_t currentId = 0;
  std::uint64_t inputSequence = 1;
  WindowHandle captureWindow = nullptr;
  std::uint8_t captureMode = 0;
  std::uint8_t lockEngaged = 0;
  std::uint8_t rawMouseRegistered = 0;
  std::uint8_t cursorVisible = 1;
  // Raw motion accumulated under pointer lock: motionX in the low 32 bits, motionY in the high 32
  // bits, replaced together by one compare-and-exchange (accumulatePointerMotion, pointer_input.hpp).
  std::atomic<std::uint64_t> motion{0};
  std::int32_t motionExtra = 0;
};

// Process-wide resource counters, never reset: live layered DIBs and their bytes, live textures of
// each of the three texture holders.
struct CanvasResourceCounters {
  std::uint64_t liveLayeredDibs = 0;
  std::uint64_t layeredDibBytes = 0;
  std::uint64_t liveTexturesA = 0;
  std::uint64_t liveTexturesB = 0;
  std::uint64_t liveSingleTextures = 0;
};
CanvasResourceCounters& canvasResourceCounters();

// The single registry, made on first use and destroyed at process exit.
WindowRegistry& windowRegistry();

// The window of an id, or null; inserts nothing.
WindowState* findWindow(std::int32_t id);

// The current window when present and open; else the main window when present and open (it then
// becomes current); else null.
WindowState* currentWindow();

// Every window id in the registry, open or closed, ascending.
std::vector<std::int32_t> collectWindowIds();

// Returns when available; otherwise throws runtime::vusk_runtime_exception with code "window.canvas",
// the message and provider "vusk_window_input_canvas".
void requireCanvasCapability(bool available, std::string_view message);

// Hands the window the next input sequence number; a non-zero code becomes its lastEventCode.
void stampInputEvent(WindowState& window, std::int32_t code);

// closeWindow's decisions. The ids of the live windows owned by `id`, ascending (none for id 0 or
// below: no window belongs to "no window").
std::vector<std::int32_t> ownedWindowIdsToClose(std::int32_t id);
// After `id` was closed: recomputes currentId (current, else main, else 0) and returns the window to
// make current, or null (also when the chosen window has no device or GL context).
WindowState* chooseCurrentAfterClose(std::int32_t closedId);

// The 1-based number of a monitor in the registry's list, appending a monitor not seen before;
// 0 for a null monitor.
std::uint32_t monitorNumberFor(MonitorHandle monitor);

}  // namespace canvas
