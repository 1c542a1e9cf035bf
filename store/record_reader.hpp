// The read side of the key layout: rebuilding records and edges from the key/value map.
// Readers never fail and never validate: missing keys read as "", 0 or an empty list.
#pragma once

#include <memory>
#include <vector>

#include "runtime/text.hpp"
#include "store/record.hpp"
#include "store/record_layout.hpp"
#include "store/store_state.hpp"

namespace store {

// Reads records and edges of one state one after another, as open reads every one that its
// catalogs name: each read gives what readRecord or readEdge gives, and the memory one read needs
// is kept for the next. The state outlives the reader and does not change while it reads.
class OwnerReader {
 public:
  explicit OwnerReader(const StoreState& state);
  ~OwnerReader();
  OwnerReader(const OwnerReader&) = delete;
  OwnerReader& operator=(const OwnerReader&) = delete;

  // The index of the entry of the owner's "id" key, or -1 (the owner then reads as empty). It is
  // where the owner's keys stand: in a state read from a file, reads in the order of these
  // indexes go through the state's memory in one direction.
  template <class Owner>
  std::int32_t idEntry(const OwnerLayout<Owner>& layout, const Text& id);
  // The record or edge stored under the id, whose idEntry is given.
  template <class Owner>
  Owner read(const OwnerLayout<Owner>& layout, const Text& id, std::int32_t idEntry);

 private:
  struct Scratch;

  const StoreState& state_;
  std::unique_ptr<Scratch> scratch_;
};

// The record stored under the id, or the empty record when its "id" key is missing.
Record readRecord(const Database& database, const Text& id);
// The edge stored under the id, or the empty edge when its "id" key is missing.
Edge readEdge(const Database& database, const Text& id);
// The items of the text list at the prefix; missing slots are skipped.
std::vector<Text> readTextList(const StoreState& state, const Text& prefix);

}  // namespace store
