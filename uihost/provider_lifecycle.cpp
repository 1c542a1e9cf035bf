// Construction, the admission gate and refusals, and the lifecycle operations of the provider:
// initialisation against the capability contract, window events, session transitions,
// provider loss and teardown.
#include <utility>

#include "runtime/text.hpp"
#include "uihost/counter.hpp"
#include "uihost/line_breaks.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

using runtime::formatText;
using runtime::intToText;

NativeUiHostProvider::NativeUiHostProvider(HostProviderDescriptor descriptor, std::int32_t ownerThread)
    : descriptor_(std::move(descriptor)), ownerThread_(ownerThread) {}

NativeUiHostProvider::~NativeUiHostProvider() = default;

bool NativeUiHostProvider::reject(const Text& operation, const Text& reason) {
  lastDiagnostic_ = escapeLineBreaks(formatText("host.ui_services {0} rejected: {1}", {operation, reason}));
  counters_.failureCount = addSaturated(counters_.failureCount, 1);
  return false;
}

bool NativeUiHostProvider::hasCapability(const Text& capability) const {
  const HostProviderDescriptor& d = descriptor_;
  if (capability == "accessibility") return d.supportsAccessibility;
  if (capability == "text-input") return d.supportsTextInput;
  if (capability == "clipboard") return d.supportsClipboard;
  if (capability == "display-topology") return d.supportsDisplayTopology;
  if (capability == "session-lifecycle") return d.supportsSessionLifecycle;
  if (capability == "virtual-keyboard") return d.supportsVirtualKeyboard;
  if (capability == "delayed-clipboard") return d.supportsDelayedClipboard;
  return false;
}

bool NativeUiHostProvider::admit(std::int32_t thread, const Text& capability) {
  if (providerState_ != "ready") {
    return reject(capability, formatText("provider-state={0}", {providerState_}));
  }
  if (!ownerThreadIs(thread)) {
    return reject(capability,
                  formatText("wrong-thread expected={0} actual={1}", {intToText(ownerThread_), intToText(thread)}));
  }
  if (!hasCapability(capability)) return reject(capability, "capability-unavailable-before-effect");
  return true;
}

bool NativeUiHostProvider::initialize(bool available, bool publicationFails, std::int32_t thread, std::int32_t time,
                                      std::int32_t correlation) {
  if (providerState_ != "new" || !ownerThreadIs(thread)) return reject("initialize", "invalid-state-or-thread");
  if (descriptor_.capabilitySchema != kCapabilitySchema || descriptor_.contractVersion != kContractVersion ||
      descriptor_.providerName.empty()) {
    providerState_ = "unavailable";
    return reject("initialize", "incompatible-capability-contract");
  }
  if (!available) {
    providerState_ = "unavailable";
    return reject("initialize", "provider-unavailable");
  }
  providerState_ = "initializing";
  if (publicationFails) {
    // The capabilities exist but no service was published: the host cleans up and the
    // provider stays failed for good.
    providerState_ = "failed";
    recordHostEvent("provider", descriptor_.providerName, "partial-initialization-cleaned",
                    "capabilities-created-services-not-published", time, correlation, 0);
    return reject("initialize", "partial-initialization");
  }
  providerState_ = "ready";
  recordHostEvent("provider", descriptor_.providerName, "ready", "owner-thread-bound", time, correlation, 0);
  lastDiagnostic_ = "ok";
  return true;
}

bool NativeUiHostProvider::recordWindowEvent(const Text& windowId, const Text& windowState, std::int32_t time,
                                             std::int32_t correlation, std::int32_t thread) {
  if (providerState_ != "ready" || !ownerThreadIs(thread) || windowId.empty()) {
    return reject("window-event", "invalid-state-thread-or-window");
  }
  recordHostEvent("window", windowId, windowState, "correlated-window-runtime-event", time, correlation, 0);
  return true;
}

bool NativeUiHostProvider::transitionSession(bool suspended, const Text& reason, std::int32_t thread, std::int32_t time,
                                             std::int32_t correlation) {
  if (!admit(thread, "session-lifecycle")) return false;
  const Text target = suspended ? "suspended" : "active";
  if (target == sessionState_) return reject("session-transition", formatText("duplicate-state={0}", {target}));
  sessionState_ = target;
  recordHostEvent("session", "application", target, reason, time, correlation, 1);
  return true;
}

bool NativeUiHostProvider::reportProviderLoss(const Text& reason, std::int32_t thread, std::int32_t time,
                                              std::int32_t correlation) {
  if (providerState_ != "ready" || !ownerThreadIs(thread)) return reject("provider-loss", "invalid-state-or-thread");
  // What only a live host can hold goes; the format, the keyboard request, the text input
  // fields, the node and display tables and the session state stay.
  textInput_.compositionActive = false;
  textInput_.keyboardVisible = false;
  clipboard_.clipboardOwner.clear();
  clipboard_.clipboardData.clear();
  clipboard_.clipboardDelayed = false;
  recordHostEvent("provider", descriptor_.providerName, "lost", reason, time, correlation, 1);
  providerState_ = "lost";
  return true;
}

bool NativeUiHostProvider::teardown(std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!ownerThreadIs(thread)) return reject("teardown", "wrong-thread");
  if (providerState_ == "torn-down") return true;
  if (providerState_ != "ready" && providerState_ != "lost" && providerState_ != "failed" &&
      providerState_ != "unavailable") {
    return reject("teardown", formatText("invalid-state={0}", {providerState_}));
  }
  recordHostEvent("provider", descriptor_.providerName, "torn-down", "queues-quiesced-identities-invalidated", time,
                  correlation, 1);
  providerState_ = "torn-down";
  accessibility_.actionInProgress = false;
  textInput_.compositionActive = false;
  accessibility_.accessibilityBatchOpen = 0;
  return true;
}

}  // namespace uihost
