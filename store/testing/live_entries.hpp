// The live contents of a store state, in forms that compare whatever the order of its entries.
// Header-only and free of any test framework, for the store's tests and fuzz targets alike.
#pragma once

#include <map>
#include <string>

#include "store/store_state.hpp"

namespace store::testing {

// The live entries of a state by key: a marked entry is left out.
inline std::map<std::string, std::string> liveEntryMap(const StoreState& state) {
  std::map<std::string, std::string> entries;
  for (const StoreEntry& entry : state.entries) {
    if (!entry.deleted) entries[entry.key] = entry.value;
  }
  return entries;
}

}  // namespace store::testing
