#include "uihost/row_index.hpp"

#include <functional>
#include <utility>

namespace uihost {

namespace {

std::uint32_t hashOf(std::string_view id) { return static_cast<std::uint32_t>(std::hash<std::string_view>{}(id)); }

}  // namespace

std::int32_t RowIndex::find(std::string_view id, const std::vector<runtime::Text>& ids) const {
  if (slots_.empty()) return -1;
  const std::uint32_t hash = hashOf(id);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.row < 0) return -1;
    if (slot.hash == hash && ids[static_cast<std::size_t>(slot.row)] == id) return slot.row;
  }
}

void RowIndex::add(const std::vector<runtime::Text>& ids, std::int32_t row) {
  if ((used_ + 1) * 2 > slots_.size()) grow();
  const std::string_view id = ids[static_cast<std::size_t>(row)];
  const std::uint32_t hash = hashOf(id);
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  for (; slots_[i].row >= 0; i = (i + 1) & mask) {
    if (slots_[i].hash == hash && ids[static_cast<std::size_t>(slots_[i].row)] == id) return;
  }
  slots_[i] = Slot{hash, row};
  ++used_;
}

void RowIndex::grow() {
  std::vector<Slot> larger(slots_.empty() ? 16 : slots_.size() * 2);
  const std::size_t mask = larger.size() - 1;
  // Ids are unique in the index, so each slot moves to the first free place of its probe.
  for (const Slot& slot : slots_) {
    if (slot.row < 0) continue;
    std::size_t i = slot.hash & mask;
    while (larger[i].row >= 0) i = (i + 1) & mask;
    larger[i] = slot;
  }
  slots_ = std::move(larger);
}

}  // namespace uihost
