// Arithmetic of the provider's 32-bit counters, times and correlation ids. They stop at the
// largest 32-bit value instead of overflowing: a counter that has reached it stays there, so
// an event time or number can repeat at the limit but never jumps back to a negative value.
#pragma once

#include <cstdint>
#include <limits>

namespace uihost {

inline constexpr std::int32_t kCounterLimit = std::numeric_limits<std::int32_t>::max();

// value + amount for a non-negative amount, held at kCounterLimit.
constexpr std::int32_t addSaturated(std::int32_t value, std::int32_t amount) {
  return value > kCounterLimit - amount ? kCounterLimit : value + amount;
}

}  // namespace uihost
