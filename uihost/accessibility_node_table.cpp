#include "uihost/accessibility_node_table.hpp"

#include <new>

namespace uihost {

std::int32_t AccessibilityNodeTable::find(const Text& id) const { return rowById_.find(id, nodeIds_); }

void AccessibilityNodeTable::append(const Text& id, std::int32_t generation, const Text& role, const Text& name) {
  const std::size_t row = nodeIds_.size();
  try {
    nodeIds_.push_back(id);
    nodeGenerations_.push_back(generation);
    nodeRoles_.push_back(role);
    nodeNames_.push_back(name);
    rowById_.add(nodeIds_, static_cast<std::int32_t>(row));
  } catch (const std::bad_alloc&) {
    // Shrinking frees nothing and cannot fail, so the columns stay parallel.
    nodeIds_.resize(row);
    nodeGenerations_.resize(row);
    nodeRoles_.resize(row);
    nodeNames_.resize(row);
    throw;
  }
}

void AccessibilityNodeTable::update(std::int32_t row, std::int32_t generation, const Text& role, const Text& name) {
  // Copies first: a failed copy leaves the row whole.
  Text newRole = role;
  Text newName = name;
  const auto at = static_cast<std::size_t>(row);
  nodeRoles_[at].swap(newRole);
  nodeNames_[at].swap(newName);
  nodeGenerations_[at] = generation;
}

bool AccessibilityNodeTable::operator==(const AccessibilityNodeTable& other) const {
  return nodeIds_ == other.nodeIds_ && nodeGenerations_ == other.nodeGenerations_ && nodeRoles_ == other.nodeRoles_ &&
         nodeNames_ == other.nodeNames_;
}

}  // namespace uihost
