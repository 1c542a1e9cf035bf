#include "uihost/display_table.hpp"

#include <algorithm>
#include <new>

namespace uihost {

std::int32_t DisplayTable::find(const Text& id) const { return rowById_.find(id, displayIds_); }

std::int32_t DisplayTable::primaryCount() const {
  return static_cast<std::int32_t>(std::count(displayPrimary_.begin(), displayPrimary_.end(), true));
}

void DisplayTable::append(const DisplayRecord& display) {
  const std::size_t row = displayIds_.size();
  try {
    displayIds_.push_back(display.id);
    displayX_.push_back(display.x);
    displayY_.push_back(display.y);
    displayWidth_.push_back(display.width);
    displayHeight_.push_back(display.height);
    workAreaX_.push_back(display.workX);
    workAreaY_.push_back(display.workY);
    workAreaWidth_.push_back(display.workWidth);
    workAreaHeight_.push_back(display.workHeight);
    displayScale_.push_back(display.scale);
    displayPrimary_.push_back(display.primary);
    rowById_.add(displayIds_, static_cast<std::int32_t>(row));
  } catch (const std::bad_alloc&) {
    // Shrinking frees nothing and cannot fail, so the columns stay parallel.
    for (auto* column : {&displayX_, &displayY_, &displayWidth_, &displayHeight_, &workAreaX_, &workAreaY_,
                         &workAreaWidth_, &workAreaHeight_, &displayScale_}) {
      column->resize(row);
    }
    displayIds_.resize(row);
    displayPrimary_.resize(row);
    throw;
  }
}

void DisplayTable::overwrite(std::int32_t row, const DisplayRecord& display) {
  const auto at = static_cast<std::size_t>(row);
  displayX_[at] = display.x;
  displayY_[at] = display.y;
  displayWidth_[at] = display.width;
  displayHeight_[at] = display.height;
  workAreaX_[at] = display.workX;
  workAreaY_[at] = display.workY;
  workAreaWidth_[at] = display.workWidth;
  workAreaHeight_[at] = display.workHeight;
  displayScale_[at] = display.scale;
  displayPrimary_[at] = display.primary;
}

DisplayRecord DisplayTable::row(std::int32_t row) const {
  const auto at = static_cast<std::size_t>(row);
  return DisplayRecord{displayIds_[at],     displayX_[at],     displayY_[at],      displayWidth_[at],
                       displayHeight_[at],  workAreaX_[at],    workAreaY_[at],     workAreaWidth_[at],
                       workAreaHeight_[at], displayScale_[at], displayPrimary_[at]};
}

bool DisplayTable::operator==(const DisplayTable& other) const {
  return displayIds_ == other.displayIds_ && displayX_ == other.displayX_ && displayY_ == other.displayY_ &&
         displayWidth_ == other.displayWidth_ && displayHeight_ == other.displayHeight_ &&
         workAreaX_ == other.workAreaX_ && workAreaY_ == other.workAreaY_ && workAreaWidth_ == other.workAreaWidth_ &&
         workAreaHeight_ == other.workAreaHeight_ && displayScale_ == other.displayScale_ &&
         displayPrimary_ == other.displayPrimary_;
}

}  // namespace uihost
