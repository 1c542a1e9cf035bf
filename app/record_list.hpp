// The records the directory screen's list shows: which records match the listed kind and the
// search text, and which of those sit in the visible rows after scrolling. Pure; fails in no way.
#pragma once

#include <cstdint>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_layout.hpp"
#include "runtime/text.hpp"
#include "store/record.hpp"

namespace app {

// Whether a record is listed under the kind and search text (a byte-wise, case-sensitive
// substring of its content or id).
bool recordMatches(const store::Record& record, const runtime::Text& kind, const runtime::Text& search);

// Calls visit(record, row) for each record in the list's rows, top to bottom: the matching
// records from the state's scroll on, at most kListRows. Returns how many records match.
template <typename Visit>
std::int32_t forEachListedRecord(const DirectoryScreenState& state, const DirectoryView& view, Visit&& visit) {
  std::int32_t matches = 0;
  std::int32_t rows = 0;
  for (const store::Record& record : view.database.records) {
    if (!recordMatches(record, state.kind, state.searchText)) continue;
    if (matches >= state.scroll && rows < kListRows) {
      visit(record, listRow(rows));
      rows += 1;
    }
    matches += 1;
  }
  return matches;
}

}  // namespace app
