// The slot index's growth.
#include "runtime/slot_index.hpp"

#include <limits>
#include <stdexcept>
#include <utility>

namespace runtime {

namespace {

constexpr std::size_t kMinimumCapacity = 16;
constexpr std::size_t kLargestCapacity = std::size_t{1} << (std::numeric_limits<std::size_t>::digits - 1);

}  // namespace

void SlotIndex::reserve(std::size_t count) {
  // Checked before the doubling below, which would wrap for a count above half the range.
  if (count > std::numeric_limits<std::size_t>::max() / 4) throw std::length_error("slot index too large");
  if (count * 2 <= slots_.size()) return;
  // The doubling stops at the range's top power of two, so that it can never wrap to 0 and spin:
  // a count the check above let through wrongly still ends, in the vector's length_error.
  std::size_t capacity = kMinimumCapacity;
  while (capacity < count * 2 && capacity < kLargestCapacity) capacity *= 2;
  if (used_ == 0 && capacity <= slots_.capacity()) {
    // Nothing to move, and the memory is already there: this cannot fail.
    slots_.assign(capacity, Slot{});
    return;
  }
  std::vector<Slot> larger(capacity);
  const std::size_t mask = capacity - 1;
  // Keys are filed once, so each slot moves to the first free place of its probe.
  for (const Slot& slot : slots_) {
    if (slot.position < 0) continue;
    std::size_t i = slot.hash & mask;
    while (larger[i].position >= 0) i = (i + 1) & mask;
    larger[i] = slot;
  }
  slots_ = std::move(larger);
}

void SlotIndex::clear() noexcept {
  slots_.clear();
  used_ = 0;
}

}  // namespace runtime
