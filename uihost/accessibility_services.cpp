// Accessibility services of the provider: the node table filled inside explicit update
// batches, and actions on nodes with an exact generation check and a re-entrancy guard.
#include "runtime/text.hpp"
#include "uihost/counter.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

using runtime::formatText;
using runtime::intToText;

namespace {

// Holds an accessibility action's in-progress mark from the moment the action is accepted
// until it ends, however it ends: a return, or an exception from recording its event.
// Without it one failed recording would refuse every later action as re-entrant.
class ActionInProgress {
 public:
  explicit ActionInProgress(bool& mark) : mark_(mark) { mark_ = true; }
  ~ActionInProgress() { mark_ = false; }
  ActionInProgress(const ActionInProgress&) = delete;
  ActionInProgress& operator=(const ActionInProgress&) = delete;

 private:
  bool& mark_;
};

// A row a lookup answered that does not lie in the table (a derived host's lookup can answer
// anything) counts as absent rather than being used as an index.
bool isRowOf(std::int32_t row, const AccessibilityNodeTable& nodes) { return row >= 0 && row < nodes.size(); }

}  // namespace

std::int32_t NativeUiHostProvider::findAccessibilityNode(const Text& nodeId) const {
  return accessibility_.nodes.find(nodeId);
}

bool NativeUiHostProvider::beginAccessibilityBatch(std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "accessibility")) return false;
  if (accessibility_.accessibilityBatchOpen != 0) return reject("accessibility-batch", "nested-batch");
  accessibility_.accessibilityBatchOpen = 1;
  recordHostEvent("accessibility", "tree", "batch-begin", "updates-hidden-until-commit", time, correlation, 0);
  return true;
}

bool NativeUiHostProvider::updateAccessibilityNode(const Text& nodeId, std::int32_t generation, const Text& role,
                                                   const Text& name, std::int32_t thread) {
  if (!admit(thread, "accessibility")) return false;
  if (accessibility_.accessibilityBatchOpen != 1 || nodeId.empty() || generation < 1 || role.empty() || name.empty()) {
    return reject("accessibility-update", "invalid-batch-node-role-or-name");
  }
  AccessibilityNodeTable& nodes = accessibility_.nodes;
  const std::int32_t row = findAccessibilityNode(nodeId);
  if (!isRowOf(row, nodes)) {
    nodes.append(nodeId, generation, role, name);
    counters_.allocationCount = addSaturated(counters_.allocationCount, 4);
    return true;
  }
  if (generation < nodes.nodeGenerations()[static_cast<std::size_t>(row)]) {
    return reject("accessibility-update", "stale-generation");
  }
  nodes.update(row, generation, role, name);
  return true;
}

bool NativeUiHostProvider::commitAccessibilityBatch(std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "accessibility")) return false;
  if (accessibility_.accessibilityBatchOpen != 1) return reject("accessibility-batch", "no-active-batch");
  accessibility_.accessibilityBatchOpen = 0;
  recordHostEvent("accessibility", "tree", "batch-commit",
                  formatText("nodes={0}", {intToText(accessibility_.nodes.size())}), time, correlation, 1);
  return true;
}

bool NativeUiHostProvider::performAccessibilityAction(const Text& nodeId, std::int32_t generation, const Text& action,
                                                      bool callbackReenters, std::int32_t thread, std::int32_t time,
                                                      std::int32_t correlation) {
  if (!admit(thread, "accessibility")) return false;
  if (accessibility_.actionInProgress) return reject("accessibility-action", "reentrant-or-unavailable");
  const std::int32_t row = findAccessibilityNode(nodeId);
  if (!isRowOf(row, accessibility_.nodes) ||
      accessibility_.nodes.nodeGenerations()[static_cast<std::size_t>(row)] != generation) {
    return reject("accessibility-action", "stale-or-missing-node-identity");
  }
  if (callbackReenters) {
    // The action's callback tried to call back into the provider: refused with the mark
    // already cleared, as if the action had started and been stopped at once.
    return reject("accessibility-action", "callback-reentrancy-blocked");
  }
  {
    // While the mark is held, a derived host's recordHostEvent that starts another action
    // is refused as re-entrant.
    const ActionInProgress inProgress(accessibility_.actionInProgress);
    recordHostEvent("accessibility", nodeId, "action", action, time, correlation, 2);
  }
  return true;
}

}  // namespace uihost
