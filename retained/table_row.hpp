// Whether a row number names a row of a column: the one range test behind every accessor that
// answers "not found" instead of reading past a column.
#pragma once

#include <cstddef>
#include <cstdint>

namespace retained {

template <typename Column>
bool holdsRow(const Column& column, std::int32_t row) {
  return row >= 0 && static_cast<std::size_t>(row) < column.size();
}

}  // namespace retained
