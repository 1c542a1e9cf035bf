// The UI Automation bridge's state and decisions.
#include "canvas/uia_bridge.hpp"

#include <memory>

namespace canvas {

UiaBridgeState& uiaState() {
  // Kept off the stack of statics: 272 records with four texts each.
  static const std::unique_ptr<UiaBridgeState> state = std::make_unique<UiaBridgeState>();
  return *state;
}

bool uiaRequestHasProvider(const UiaBridgeState& state, std::int32_t windowId, WindowHandle window,
                           std::int64_t objectId) {
  if (objectId != kUiaRootObjectId || windowId < 1 || windowId > 16) return false;
  const UiaElementRecord& slot = state.windowSlots[static_cast<std::size_t>(windowId - 1)];
  return slot.registered != 0 && slot.window == window;
}

void forgetUiaWindow(UiaBridgeState& state, std::int32_t windowId) {
  if (windowId < 1 || windowId > 16) return;
  UiaElementRecord& slot = state.windowSlots[static_cast<std::size_t>(windowId - 1)];
  slot.registered = 0;
  slot.secondFlag = 0;
  slot.firstValue = 0;
  slot.secondValue = 0;
  slot.texts[0].clear();
  slot.texts[1].clear();
  for (UiaElementRecord& node : state.nodes) {
    if (node.ownerWindowId == windowId) {
      node.registered = 0;
      node.secondFlag = 0;
    }
  }
}

}  // namespace canvas
