// The window registry's lookups and the decisions of closing a window (see window_registry.hpp).
#include "canvas/window_registry.hpp"

#include <algorithm>
#include <string>

#include "canvas/canvas_errors.hpp"
#include "runtime/runtime_error.hpp"

namespace canvas {

void destroyWindowState(WindowState* state) { delete state; }

CanvasResourceCounters& canvasResourceCounters() {
  static CanvasResourceCounters counters;
  return counters;
}

WindowRegistry& windowRegistry() {
  static WindowRegistry registry;
  return registry;
}

WindowState* findWindow(std::int32_t id) {
  WindowRegistry& registry = windowRegistry();
  auto it = registry.windows.find(id);
  return it == registry.windows.end() ? nullptr : it->second.get();
}

WindowState* currentWindow() {
  WindowRegistry& registry = windowRegistry();
  WindowState* current = findWindow(registry.currentId);
  if (current != nullptr && current->open) return current;
  WindowState* main = findWindow(registry.mainId);
  if (main != nullptr && main->open) {
    registry.currentId = registry.mainId;
    return main;
  }
  return nullptr;
}

std::vector<std::int32_t> collectWindowIds() {
  std::vector<std::int32_t> ids;
  for (const auto& entry : windowRegistry().windows) ids.push_back(entry.first);
  std::sort(ids.begin(), ids.end());
  return ids;
}

void requireCanvasCapability(bool available, std::string_view message) {
  if (available) return;
  runtime::RuntimeError error = runtime::makeRuntimeError(std::string(kCanvasErrorCode), std::string(message));
  if (error.provider.empty()) error.provider = std::string(kCanvasProvider);
  throw runtime::vusk_runtime_exception(std::move(error));
}

void stampInputEvent(WindowState& window, std::int32_t code) {
  WindowRegistry& registry = windowRegistry();
  const std::uint64_t sequence = registry.inputSequence++;
  window.lastSequence = sequence;
  window.eventSequence = sequence;
  window.keySequence = sequence;
  if (code != 0) window.lastEventCode = static_cast<std::uint64_t>(code);
}

std::vector<std::int32_t> ownedWindowIdsToClose(std::int32_t id) {
  std::vector<std::int32_t> owned;
  if (id < 1) return owned;  // every unowned window has ownerId 0: id 0 owns nothing
  for (const auto& [windowId, state] : windowRegistry().windows) {
    if (state && state->ownerId == id && state->window != nullptr) owned.push_back(windowId);
  }
  std::sort(owned.begin(), owned.end());
  return owned;
}

WindowState* chooseCurrentAfterClose(std::int32_t closedId) {
  WindowRegistry& registry = windowRegistry();
  if (registry.currentId == closedId) registry.currentId = registry.mainId;
  WindowState* chosen = findWindow(registry.currentId);
  if (chosen == nullptr || !chosen->open) {
    registry.currentId = registry.mainId;
    chosen = findWindow(registry.currentId);
    if (chosen == nullptr || !chosen->open) {
      registry.currentId = 0;
      return nullptr;
    }
  }
  if (chosen->deviceContext == nullptr || chosen->glContext == nullptr) {
    registry.currentId = 0;
    return nullptr;
  }
  return chosen;
}

std::uint32_t monitorNumberFor(MonitorHandle monitor) {
  if (monitor == nullptr) return 0;
  std::vector<MonitorHandle>& monitors = windowRegistry().monitors;
  auto it = std::find(monitors.begin(), monitors.end(), monitor);
  if (it != monitors.end()) return static_cast<std::uint32_t>(it - monitors.begin()) + 1;
  monitors.push_back(monitor);
  return static_cast<std::uint32_t>(monitors.size());
}

}  // namespace canvas
