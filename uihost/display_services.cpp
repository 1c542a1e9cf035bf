// Display services of the provider: displays are validated and published as rows, and the
// published set becomes the topology only when it holds exactly one primary display.
#include "runtime/text.hpp"
#include "uihost/counter.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

using runtime::formatText;
using runtime::intToText;

std::int32_t NativeUiHostProvider::findDisplay(const Text& id) const { return displayTopology_.displays.find(id); }

bool NativeUiHostProvider::publishDisplay(const DisplayRecord& display, std::int32_t thread) {
  if (!admit(thread, "display-topology")) return false;
  const Text verdict = validateDisplayGeometry(display);
  if (verdict != "ok") return reject("display-publish", verdict);
  DisplayTable& displays = displayTopology_.displays;
  const std::int32_t row = findDisplay(display.id);
  // A row a derived host's lookup answers outside the table counts as absent.
  if (row >= 0 && row < displays.size()) {
    displays.overwrite(row, display);
  } else {
    displays.append(display);
    counters_.allocationCount = addSaturated(counters_.allocationCount, 11);
  }
  return true;
}

bool NativeUiHostProvider::changeDisplayTopology(std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "display-topology")) return false;
  const DisplayTable& displays = displayTopology_.displays;
  if (displays.size() == 0) return reject("display-topology", "no-displays");
  const std::int32_t primaries = displays.primaryCount();
  if (primaries != 1) return reject("display-topology", formatText("primary-count={0}", {intToText(primaries)}));
  displayTopology_.topologyRevision = addSaturated(displayTopology_.topologyRevision, 1);
  recordHostEvent("display", "topology", "changed",
                  formatText("revision={0}; displays={1}",
                             {intToText(displayTopology_.topologyRevision), intToText(displays.size())}),
                  time, correlation, 2);
  return true;
}

}  // namespace uihost
