// The accessible nodes a host has published: four parallel columns (id, generation, role,
// name) in order of first publication, and a hash index from id to row beside them so a
// lookup does not scan. Rows are never removed. An append either completes or, when memory
// runs out, leaves the table as it was and lets the failure through.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/text.hpp"
#include "uihost/row_index.hpp"

namespace uihost {

using runtime::Text;

class AccessibilityNodeTable {
 public:
  // The first row holding id, or -1.
  std::int32_t find(const Text& id) const;
  std::int32_t size() const { return static_cast<std::int32_t>(nodeIds_.size()); }

  void append(const Text& id, std::int32_t generation, const Text& role, const Text& name);
  // Replaces generation, role and name of an existing row.
  void update(std::int32_t row, std::int32_t generation, const Text& role, const Text& name);

  const std::vector<Text>& nodeIds() const { return nodeIds_; }
  const std::vector<std::int32_t>& nodeGenerations() const { return nodeGenerations_; }

  // Tables are equal when their rows are; the index follows from the rows.
  bool operator==(const AccessibilityNodeTable& other) const;

 private:
  std::vector<Text> nodeIds_;
  std::vector<std::int32_t> nodeGenerations_;
  std::vector<Text> nodeRoles_;
  std::vector<Text> nodeNames_;
  RowIndex rowById_;
};

}  // namespace uihost
