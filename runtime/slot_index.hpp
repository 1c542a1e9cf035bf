// An open-addressing index from text keys to the positions that hold them in some sequence its
// owner keeps (an entry list, a column of ids). Each slot holds a key's 32-bit hash and its
// position; the keys themselves stay with the owner, who hands the index a `keyAt(position)`
// that returns the key at a position as a std::string_view. A key is filed once: the position
// inserted first stays. Linear probing over a power-of-two table that is never more than half
// full, so every probe ends at an empty slot.
//
// Lookups write nothing, so any number of threads may look keys up in an index nobody changes.
// Only growing allocates; it either completes or, when memory runs out, leaves the index as it
// was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace runtime {

class SlotIndex {
 public:
  static constexpr std::int32_t kAbsent = -1;

  // The hash a key is filed under. Callers that put many keys at once compute it ahead, to
  // prefetch the slots and to hand it to the lookups below.
  static std::uint32_t hashOf(std::string_view key) {
    // Both halves of a 64-bit hash take part in the 32 bits kept.
    const std::uint64_t h = std::hash<std::string_view>{}(key);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }

  // Keys filed.
  std::size_t size() const { return used_; }
  // Slots in the table: 0 until the first reserve, then a power of two at least twice size().
  std::size_t capacity() const { return slots_.size(); }

  // The position of the key, or kAbsent.
  template <class KeyAt>
  std::int32_t find(std::string_view key, std::uint32_t hash, const KeyAt& keyAt) const {
    if (slots_.empty()) return kAbsent;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.position < 0) return kAbsent;
      if (slot.hash == hash && keyAt(slot.position) == key) return slot.position;
    }
  }
  template <class KeyAt>
  std::int32_t find(std::string_view key, const KeyAt& keyAt) const {
    return find(key, hashOf(key), keyAt);
  }

  // Where a key stands: its position when filed (`found`), otherwise kAbsent and the empty slot
  // that fill takes. Needs room for one more key (see reserve); valid until the index changes.
  struct Probe {
    std::int32_t found = kAbsent;
    std::size_t slot = 0;
  };
  template <class KeyAt>
  Probe probe(std::string_view key, std::uint32_t hash, const KeyAt& keyAt) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    for (; slots_[i].position >= 0; i = (i + 1) & mask) {
      if (slots_[i].hash == hash && keyAt(slots_[i].position) == key) return {slots_[i].position, i};
    }
    return {kAbsent, i};
  }
  // Files the key of this hash, which `at` did not find, at `position`.
  void fill(const Probe& at, std::uint32_t hash, std::int32_t position) noexcept {
    slots_[at.slot] = Slot{hash, position};
    ++used_;
  }
  // Files the key at `position` unless it is filed already; returns the position that holds it.
  // Grows the table as needed, and throws as reserve does.
  template <class KeyAt>
  std::int32_t insert(std::string_view key, std::uint32_t hash, std::int32_t position, const KeyAt& keyAt) {
    reserve(used_ + 1);
    const Probe at = probe(key, hash, keyAt);
    if (at.found != kAbsent) return at.found;
    fill(at, hash, position);
    return position;
  }

  // Makes room for `count` keys in all, so that filing up to that many moves no slot. Throws
  // std::length_error, the index unchanged, for a count no table can hold (above a quarter of the
  // size range, or more slots than a vector holds), and std::bad_alloc when memory runs out.
  void reserve(std::size_t count);
  // Asks for the slot a key of this hash probes first, ahead of a probe that will need it. Needs
  // a table, as a reserve of at least one key makes. (Unconditional on purpose: g++ drops a
  // prefetch that stands behind a test of the table.)
  void prefetch(std::uint32_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }
  // Forgets every key; the table keeps its memory for the next reserve.
  void clear() noexcept;

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::int32_t position = kAbsent;  // kAbsent: empty
  };

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace runtime
