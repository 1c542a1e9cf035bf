// The provider's one-line description: identity, event counters, table sizes, session and
// input state, failures and the last diagnostic. Built from counts, never from the log itself.
#include <algorithm>

#include "runtime/text.hpp"
#include "uihost/counter.hpp"
#include "uihost/line_breaks.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

using runtime::boolToText;
using runtime::formatText;
using runtime::intToText;

Text NativeUiHostProvider::describe() const {
  const ProviderCounters& c = counters_;
  const Text identity = formatText("native-ui-host-provider: schema={0}; version={1}; provider={2}; state={3}",
                                   {kSchemaId, intToText(kSchemaVersion), descriptor_.providerName, providerState_});
  const Text events = formatText("owner-thread={0}; sequence={1}; timestamp={2}; correlation={3}",
                                 {intToText(ownerThread_), intToText(c.eventSequence - 1), intToText(c.lastEventTime),
                                  intToText(c.lastCorrelation)});
  const Text tables =
      formatText("events={0}; nodes={1}; displays={2}; topology={3}",
                 {intToText(static_cast<std::int32_t>(std::min<std::size_t>(eventLog_.size(), kCounterLimit))),
                  intToText(accessibility_.nodes.size()), intToText(displayTopology_.displays.size()),
                  intToText(displayTopology_.topologyRevision)});
  const Text input = formatText("session={0}; composition={1}; keyboard-requested={2}; keyboard-visible={3}",
                                {sessionState_, boolToText(textInput_.compositionActive),
                                 boolToText(textInput_.keyboardRequested), boolToText(textInput_.keyboardVisible)});
  const Text totals = formatText(
      "clipboard-format={0}; failures={1}; allocations={2}; max-latency-us={3}",
      {clipboard_.clipboardFormat, intToText(c.failureCount), intToText(c.allocationCount), intToText(c.maxLatencyUs)});
  const Text first = formatText("{0}; {1}", {identity, events});
  const Text last = formatText("{0}; diagnostic={1}", {totals, lastDiagnostic_});
  return escapeLineBreaks(formatText("{0}; {1}; {2}; {3}", {first, tables, input, last}));
}

}  // namespace uihost
