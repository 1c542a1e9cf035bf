// Whether one owner fragment is well formed by itself, without looking at any store: bounded
// identity and geometry, ink bounds around the layout bounds, a complete dependency signature,
// 1..4096 commands of this owner or its sub-owners, and a transform and clip stack that never
// underflows and ends balanced. A fragment that breaks a rule is reported only through the
// returned message of the first rule it breaks; nothing is thrown for it (only std::bad_alloc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "render/render_records.hpp"

namespace render {

inline constexpr std::int32_t kMaxGeometryCoordinate = 1000000;
inline constexpr std::size_t kMaxFragmentCommands = 4096;

// Empty when x and y lie in -1000000..1000000 and width and height in 0..1000000, else
// "<label> exceeds bounded retained geometry".
Text checkBoundedGeometry(const BoundsRect& bounds, std::string_view label);

// Empty when the fragment is admissible, else the message of the first rule it breaks.
Text validateOwnerFragment(const OwnerFragment& fragment);

}  // namespace render
