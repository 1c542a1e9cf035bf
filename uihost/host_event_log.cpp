// The provider's event log: one line per accepted effect, numbered, with times that never
// decrease and correlation ids filled in where the caller gave none.
#include <algorithm>
#include <utility>

#include "runtime/text.hpp"
#include "uihost/counter.hpp"
#include "uihost/line_breaks.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

using runtime::formatText;
using runtime::intToText;

void NativeUiHostProvider::recordHostEvent(const Text& category, const Text& subject, const Text& state,
                                           const Text& detail, std::int32_t time, std::int32_t correlation,
                                           std::int32_t latencyUs) {
  ProviderCounters& c = counters_;
  // At 2147483647 a time can no longer rise above the last one and is repeated instead.
  const std::int32_t eventTime = time <= c.lastEventTime ? addSaturated(c.lastEventTime, 1) : time;
  const std::int32_t eventCorrelation = correlation < 1 ? addSaturated(c.lastCorrelation, 1) : correlation;
  // The head "host-event {0}: time={1}; correlation={2}; category={3}" and the body
  // "subject={0}; state={1}; detail={2}" joined by "; ", formatted in one pass.
  Text line = formatText("host-event {0}: time={1}; correlation={2}; category={3}; subject={4}; state={5}; detail={6}",
                         {intToText(c.eventSequence), intToText(eventTime), intToText(eventCorrelation), category,
                          subject, state, detail});
  // The counters move only once the line is in the log, so a failed append changes nothing.
  eventLog_.push_back(escapeLineBreaks(std::move(line)));
  c.maxLatencyUs = std::max(c.maxLatencyUs, latencyUs);
  c.allocationCount = addSaturated(c.allocationCount, 1);
  c.eventSequence = addSaturated(c.eventSequence, 1);
  c.lastEventTime = eventTime;
  c.lastCorrelation = eventCorrelation;
}

Text NativeUiHostProvider::eventAt(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= eventLog_.size()) return Text();
  return eventLog_[static_cast<std::size_t>(index)];
}

}  // namespace uihost
