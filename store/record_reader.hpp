// The read side of the key layout: rebuilding records and edges from the key/value map.
// Readers never fail and never validate: missing keys read as "", 0 or an empty list.
#pragma once

#include <vector>

#include "runtime/text.hpp"
#include "store/record.hpp"
#include "store/store_state.hpp"

namespace store {

// The record stored under the id, or the empty record when its "id" key is missing.
Record readRecord(const Database& database, const Text& id);
// The edge stored under the id, or the empty edge when its "id" key is missing.
Edge readEdge(const Database& database, const Text& id);
// The items of the text list at the prefix; missing slots are skipped.
std::vector<Text> readTextList(const StoreState& state, const Text& prefix);

}  // namespace store
