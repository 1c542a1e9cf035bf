#include "uihost/row_index.hpp"

namespace uihost {

namespace {

// The id in a row, as the index reads it.
auto idAt(const std::vector<runtime::Text>& ids) {
  return [&ids](std::int32_t row) -> std::string_view { return ids[static_cast<std::size_t>(row)]; };
}

}  // namespace

std::int32_t RowIndex::find(std::string_view id, const std::vector<runtime::Text>& ids) const {
  return rows_.find(id, idAt(ids));
}

void RowIndex::add(const std::vector<runtime::Text>& ids, std::int32_t row) {
  const std::string_view id = ids[static_cast<std::size_t>(row)];
  rows_.insert(id, runtime::SlotIndex::hashOf(id), row, idAt(ids));
}

}  // namespace uihost
