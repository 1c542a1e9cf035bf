// The hash index a column table keeps beside its id column: text id -> first row holding it.
// The ids themselves stay in the table's column and are read from there, so the index copies
// no text and allocates only when it grows. Growing either completes or, when memory runs out,
// leaves the index as it was.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/slot_index.hpp"
#include "runtime/text.hpp"

namespace uihost {

class RowIndex {
 public:
  // The row r with ids[r] == id that was added first, or -1.
  std::int32_t find(std::string_view id, const std::vector<runtime::Text>& ids) const;
  // Adds row for ids[row]; an id already present keeps its earlier row.
  void add(const std::vector<runtime::Text>& ids, std::int32_t row);

 private:
  runtime::SlotIndex rows_;
};

}  // namespace uihost
