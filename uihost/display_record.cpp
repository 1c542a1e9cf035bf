#include "uihost/display_record.hpp"

namespace uihost {

runtime::Text validateDisplayGeometry(const DisplayRecord& display) {
  if (display.id.empty() || display.width <= 0 || display.height <= 0 || display.workWidth <= 0 ||
      display.workHeight <= 0 || display.scale <= 0) {
    return "invalid-display-geometry";
  }
  const std::int64_t right = std::int64_t{display.x} + display.width;
  const std::int64_t bottom = std::int64_t{display.y} + display.height;
  const std::int64_t workRight = std::int64_t{display.workX} + display.workWidth;
  const std::int64_t workBottom = std::int64_t{display.workY} + display.workHeight;
  if (display.workX < display.x || display.workY < display.y || workRight > right || workBottom > bottom) {
    return "work-area-outside-display";
  }
  return "ok";
}

}  // namespace uihost
