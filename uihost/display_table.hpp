// The displays a host has published: an id column, nine geometry columns and a primary flag
// column, parallel, in order of first publication, with a hash index from id to row beside
// them so a lookup does not scan. Rows are added or overwritten, never removed. An append
// either completes or, when memory runs out, leaves the table as it was.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/text.hpp"
#include "uihost/display_record.hpp"
#include "uihost/row_index.hpp"

namespace uihost {

using runtime::Text;

class DisplayTable {
 public:
  // The first row holding id, or -1.
  std::int32_t find(const Text& id) const;
  std::int32_t size() const { return static_cast<std::int32_t>(displayIds_.size()); }
  std::int32_t primaryCount() const;

  void append(const DisplayRecord& display);
  // Overwrites geometry and primary flag of an existing row; its id stays.
  void overwrite(std::int32_t row, const DisplayRecord& display);
  // The row as a record.
  DisplayRecord row(std::int32_t row) const;

  const std::vector<Text>& displayIds() const { return displayIds_; }

  // Tables are equal when their rows are; the index follows from the rows.
  bool operator==(const DisplayTable& other) const;

 private:
  std::vector<Text> displayIds_;
  std::vector<std::int32_t> displayX_;
  std::vector<std::int32_t> displayY_;
  std::vector<std::int32_t> displayWidth_;
  std::vector<std::int32_t> displayHeight_;
  std::vector<std::int32_t> workAreaX_;
  std::vector<std::int32_t> workAreaY_;
  std::vector<std::int32_t> workAreaWidth_;
  std::vector<std::int32_t> workAreaHeight_;
  std::vector<std::int32_t> displayScale_;
  std::vector<bool> displayPrimary_;
  RowIndex rowById_;
};

}  // namespace uihost
