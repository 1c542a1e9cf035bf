// One display as a host reports it, and the geometry rule every published display meets.
#pragma once

#include <cstdint>

#include "runtime/text.hpp"

namespace uihost {

struct DisplayRecord {
  runtime::Text id;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t workX = 0;
  std::int32_t workY = 0;
  std::int32_t workWidth = 0;
  std::int32_t workHeight = 0;
  std::int32_t scale = 0;  // positive; kept for the host, not used in any rule
  bool primary = false;

  bool operator==(const DisplayRecord&) const = default;
};

// "ok"; "invalid-display-geometry" for an empty id or a size, work size or scale below 1;
// "work-area-outside-display" when the work area does not lie inside the display. Edges are
// compared in 64 bits, so a rectangle near the ends of the 32-bit range is judged by where it
// really lies.
runtime::Text validateDisplayGeometry(const DisplayRecord& display);

}  // namespace uihost
