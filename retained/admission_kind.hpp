// The two kinds of a single-owner admission, as every store operation takes and keeps them: the
// initial binding of an owner the store does not hold yet, and an update of a bound owner. The
// kind is a byte; any value other than the update's is read as a binding.
#pragma once

#include <cstdint>

namespace retained {

inline constexpr std::uint8_t kUpdateAdmission = 0;
inline constexpr std::uint8_t kBindingAdmission = 1;

// Whether a kind byte asks for an initial binding.
constexpr bool isBinding(std::uint8_t kind) { return kind != kUpdateAdmission; }

}  // namespace retained
