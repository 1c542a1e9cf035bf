// Shared message pieces of the store operations.
#include "retained/store_messages.hpp"

namespace retained {

runtime::Text countText(std::uint32_t value) { return runtime::intToText(static_cast<std::int32_t>(value)); }

runtime::Text staleRevisionMessage(std::uint32_t expected, std::uint32_t current) {
  return runtime::formatText("retained resource store stale revision: expected {0}, current {1}",
                             {countText(expected), countText(current)});
}

}  // namespace retained
