// Message pieces that several store operations share: numbers as the signed 32-bit decimals that
// every message and description shows, and the refusals for a store that is not open or has
// moved past the caller's revision. Building them fails only by running out of memory.
#pragma once

#include <cstdint>

#include "runtime/text.hpp"

namespace retained {

// A 32-bit counter or revision as a signed decimal: 2^31 and above print negative.
runtime::Text countText(std::uint32_t value);

inline constexpr const char* kStoreNotOpen = "retained resource store is not open";

// "retained resource store stale revision: expected {0}, current {1}".
runtime::Text staleRevisionMessage(std::uint32_t expected, std::uint32_t current);

}  // namespace retained
