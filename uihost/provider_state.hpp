// The state a native UI host provider keeps for its services, grouped by the services that
// write it. Plain values: the provider owns one of each and hands out read-only views.
#pragma once

#include <cstdint>

#include "runtime/text.hpp"
#include "uihost/accessibility_node_table.hpp"
#include "uihost/display_table.hpp"

namespace uihost {

using runtime::Text;

// Written by event recording and refusals. All stop at 2147483647 (see counter.hpp).
struct ProviderCounters {
  std::int32_t eventSequence = 1;  // number the next event line gets
  std::int32_t lastEventTime = 0;
  std::int32_t lastCorrelation = 0;
  std::int32_t failureCount = 0;
  std::int32_t allocationCount = 0;  // modelled: +1 per event line, +4 per node, +11 per display
  std::int32_t maxLatencyUs = 0;

  bool operator==(const ProviderCounters&) const = default;
};

struct AccessibilityState {
  std::int32_t accessibilityBatchOpen = 0;  // 1 between batch begin and commit
  bool actionInProgress = false;            // set only while an accepted action records its event
  AccessibilityNodeTable nodes;

  bool operator==(const AccessibilityState&) const = default;
};

struct TextInputState {
  Text textInputWindow;
  Text compositionText;
  Text surroundingText;
  std::int32_t selectionStart = 0;
  std::int32_t selectionEnd = 0;
  std::int32_t replacementStart = 0;
  std::int32_t replacementEnd = 0;
  std::int32_t caretX = 0;
  std::int32_t caretY = 0;
  std::int32_t caretWidth = 0;
  std::int32_t caretHeight = 0;
  std::int32_t candidateX = 0;
  std::int32_t candidateY = 0;
  Text inputPurpose = "text";
  Text inputHints = "none";
  bool compositionActive = false;
  bool keyboardRequested = false;
  bool keyboardVisible = false;

  bool operator==(const TextInputState&) const = default;
};

// One entry; while clipboardDelayed the data is a placeholder its owner still has to supply.
struct ClipboardEntry {
  Text clipboardOwner;
  Text clipboardFormat;
  Text clipboardData;
  bool clipboardDelayed = false;

  bool operator==(const ClipboardEntry&) const = default;
};

// The published displays and the revision of the last accepted topology change.
struct DisplayTopology {
  DisplayTable displays;
  std::int32_t topologyRevision = 0;

  bool operator==(const DisplayTopology&) const = default;
};

}  // namespace uihost
