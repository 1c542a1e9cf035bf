// The contract and state model of a native UI host: the object through which a UI runtime
// reaches accessibility, text input, clipboard, display topology, session lifecycle and
// virtual keyboard services. It calls no operating-system service: it keeps the state such
// services would have, checks each request against its lifecycle state, its owner thread and
// its capability flags, and writes one line per accepted effect into an in-memory event log.
//
// Threads: every call must come from the owner thread, or the caller must serialise its calls.
// The thread id that guarded operations take is a guard against misuse, not synchronisation:
// the state is read before the id is compared, and a refusal writes the failure counter and
// the last diagnostic. There is no lock.
//
// Failure: a refused request returns false (an empty text from readClipboard), counts one
// failure and leaves one diagnostic line in lastDiagnostic(); it changes nothing else unless
// the operation says so. Nothing throws for a refused request; running out of memory, or an
// exception from a derived host's override, passes through. An accessibility action clears its
// in-progress mark on every way out. Counters, times and correlation ids stop at 2147483647
// (counter.hpp). Line breaks in texts placed into event lines, diagnostics and the description
// are escaped (line_breaks.hpp), so each stays one line.
//
// Every operation reaches reject, hasCapability, admit, recordHostEvent, findAccessibilityNode,
// isSupportedClipboardFormat and findDisplay through the virtual table: a derived host that
// overrides one of them changes every operation built on it.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/text.hpp"
#include "uihost/display_record.hpp"
#include "uihost/host_provider_descriptor.hpp"
#include "uihost/provider_state.hpp"

namespace uihost {

using runtime::Text;

class NativeUiHostProvider {
 public:
  static constexpr const char* kSchemaId = "mivo.native-ui-host-provider.v1";
  static constexpr std::int32_t kSchemaVersion = 1;

  // Copies the descriptor unchecked; the provider starts in state "new".
  NativeUiHostProvider(HostProviderDescriptor descriptor, std::int32_t ownerThread);
  NativeUiHostProvider(const NativeUiHostProvider&) = delete;
  NativeUiHostProvider& operator=(const NativeUiHostProvider&) = delete;

  virtual ~NativeUiHostProvider();

  // --- Contract and lifecycle ---

  // Writes "host.ui_services {operation} rejected: {reason}", counts a failure, returns false.
  virtual bool reject(const Text& operation, const Text& reason);
  // "accessibility", "text-input", "clipboard", "display-topology", "session-lifecycle",
  // "virtual-keyboard" or "delayed-clipboard", byte for byte; anything else is false.
  virtual bool hasCapability(const Text& capability) const;
  // The gate of every service operation: state "ready", the owner thread, the capability.
  // A refusal is written under the capability name.
  virtual bool admit(std::int32_t thread, const Text& capability);
  virtual bool initialize(bool available, bool publicationFails, std::int32_t thread, std::int32_t time,
                          std::int32_t correlation);
  // Appends one event line; checks nothing. A time not above the last one becomes last + 1, a
  // correlation below 1 becomes last + 1 (both held at 2147483647).
  virtual void recordHostEvent(const Text& category, const Text& subject, const Text& state, const Text& detail,
                               std::int32_t time, std::int32_t correlation, std::int32_t latencyUs);
  virtual bool recordWindowEvent(const Text& windowId, const Text& windowState, std::int32_t time,
                                 std::int32_t correlation, std::int32_t thread);

  // --- Accessibility ---

  // The row of the node, -1 when absent. No check.
  virtual std::int32_t findAccessibilityNode(const Text& nodeId) const;
  virtual bool beginAccessibilityBatch(std::int32_t thread, std::int32_t time, std::int32_t correlation);
  // Adds or replaces a node inside an open batch; a smaller generation than the stored one is
  // refused. Writes no event line.
  virtual bool updateAccessibilityNode(const Text& nodeId, std::int32_t generation, const Text& role, const Text& name,
                                       std::int32_t thread);
  virtual bool commitAccessibilityBatch(std::int32_t thread, std::int32_t time, std::int32_t correlation);
  virtual bool performAccessibilityAction(const Text& nodeId, std::int32_t generation, const Text& action,
                                          bool callbackReenters, std::int32_t thread, std::int32_t time,
                                          std::int32_t correlation);

  // --- Text input and virtual keyboard ---

  virtual bool beginTextInput(const Text& windowId, const Text& compositionText, std::int32_t selectionStart,
                              std::int32_t selectionEnd, std::int32_t replacementStart, std::int32_t replacementEnd,
                              std::int32_t caretX, std::int32_t caretY, std::int32_t caretWidth,
                              std::int32_t caretHeight, std::int32_t candidateX, std::int32_t candidateY,
                              const Text& purpose, const Text& hints, bool deadKey, bool virtualKeyboard,
                              std::int32_t thread, std::int32_t time, std::int32_t correlation);
  virtual bool updateSurroundingText(const Text& windowId, const Text& surroundingText, std::int32_t selectionStart,
                                     std::int32_t selectionEnd, std::int32_t deleteBefore, std::int32_t deleteAfter,
                                     std::int32_t thread, std::int32_t time, std::int32_t correlation);
  virtual bool commitTextInput(const Text& windowId, const Text& committedText, std::int32_t replacementStart,
                               std::int32_t replacementEnd, std::int32_t thread, std::int32_t time,
                               std::int32_t correlation);
  virtual bool cancelTextInput(const Text& windowId, const Text& reason, std::int32_t thread, std::int32_t time,
                               std::int32_t correlation);
  virtual bool transferTextFocus(const Text& sourceWindowId, const Text& destinationWindowId, std::int32_t thread,
                                 std::int32_t time, std::int32_t correlation);
  virtual bool requestVirtualKeyboard(bool requested, bool visible, const Text& keyboardState, std::int32_t thread,
                                      std::int32_t time, std::int32_t correlation);

  // --- Clipboard ---

  // "text/plain;charset=utf-8", "image/rgba8" or "application/mivo-value-v1", byte for byte.
  virtual bool isSupportedClipboardFormat(const Text& format) const;
  virtual bool setClipboard(const Text& owner, const Text& format, const Text& data, bool delayed, bool permitted,
                            std::int32_t thread, std::int32_t time, std::int32_t correlation);
  // Supplies the data of a delayed entry; only its owner may.
  virtual bool materializeClipboard(const Text& owner, const Text& data, bool permitted, std::int32_t thread,
                                    std::int32_t time, std::int32_t correlation);
  // The entry's data, or the empty text when refused.
  virtual Text readClipboard(const Text& format, bool permitted, std::int32_t thread, std::int32_t time,
                             std::int32_t correlation);

  // --- Displays ---

  // The row of the display, -1 when absent. No check.
  virtual std::int32_t findDisplay(const Text& id) const;
  // Adds or overwrites a display row; takes effect as a topology only through
  // changeDisplayTopology. Writes no event line.
  virtual bool publishDisplay(const DisplayRecord& display, std::int32_t thread);
  // Commits the published rows as a topology; needs exactly one primary display.
  virtual bool changeDisplayTopology(std::int32_t thread, std::int32_t time, std::int32_t correlation);

  // --- Session and end of life ---

  virtual bool transitionSession(bool suspended, const Text& reason, std::int32_t thread, std::int32_t time,
                                 std::int32_t correlation);
  // Drops the state that depends on a live host and moves "ready" to "lost".
  virtual bool reportProviderLoss(const Text& reason, std::int32_t thread, std::int32_t time, std::int32_t correlation);
  // Ends a provider in "ready", "lost", "failed" or "unavailable"; a second call is a no-op.
  virtual bool teardown(std::int32_t thread, std::int32_t time, std::int32_t correlation);

  // --- Reading ---

  // The event line at index (0 is the oldest), or the empty text outside the log.
  virtual Text eventAt(std::int32_t index) const;
  // One line of the provider's identity, state and counters; its length does not depend on
  // the number of events.
  virtual Text describe() const;

  const HostProviderDescriptor& descriptor() const { return descriptor_; }
  std::int32_t ownerThread() const { return ownerThread_; }
  const Text& providerState() const { return providerState_; }
  const Text& lastDiagnostic() const { return lastDiagnostic_; }
  const Text& sessionState() const { return sessionState_; }
  const ProviderCounters& counters() const { return counters_; }
  const AccessibilityState& accessibility() const { return accessibility_; }
  const TextInputState& textInput() const { return textInput_; }
  const ClipboardEntry& clipboard() const { return clipboard_; }
  const DisplayTopology& displayTopology() const { return displayTopology_; }
  const std::vector<Text>& eventLog() const { return eventLog_; }

 private:
  friend struct ProviderTestAccess;  // defined by the tests only, to place counters at their limit

  bool ownerThreadIs(std::int32_t thread) const { return thread == ownerThread_; }

  // Identity, fixed at construction.
  const HostProviderDescriptor descriptor_;
  const std::int32_t ownerThread_;

  // Lifecycle: written by initialize, reportProviderLoss, teardown, transitionSession, reject.
  Text providerState_ = "new";
  Text lastDiagnostic_ = "ok";
  Text sessionState_ = "active";

  // Event recording.
  ProviderCounters counters_;
  std::vector<Text> eventLog_;

  // Services.
  AccessibilityState accessibility_;
  TextInputState textInput_;
  ClipboardEntry clipboard_;
  DisplayTopology displayTopology_;
};

}  // namespace uihost
