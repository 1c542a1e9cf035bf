// The directory screen's form and list state, kept by main across frames.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/record_fields.hpp"
#include "runtime/text.hpp"

namespace app {

// What the window last drew that a click refers to, whatever the store read since: the ids of the
// list's rows top to bottom, as listed for a kind, search text and scroll, and the Archive or
// Restore button drawn for the form's record.
struct ShownScreen {
  runtime::Text kind;
  runtime::Text search;
  std::int32_t scroll = 0;
  std::vector<runtime::Text> rowIds;
  runtime::Text selectedId;
  bool archived = false;  // the button read "Restore"
};

struct DirectoryScreenState {
  runtime::Text kind = "animal";           // kind listed and edited: "animal" or "customer"
  runtime::Text selectedId;                // record shown in the form; empty for a new record
  runtime::Text nameText;                  // field 0, the record's name
  runtime::Text detailText;                // field 1, its detail
  runtime::Text ownerText = "customer-1";  // field 2, its owner
  runtime::Text searchText;                // list filter
  std::int32_t focus = 0;                  // 0 name, 1 detail, 2 owner, 3 search
  std::int32_t scroll = 0;                 // matching records skipped at the top of the list; never negative
  bool selectedArchived = false;           // the form's record is archived
  // The form's record as stored when it came into the form (a list click, a save), field by field
  // as the form last took it from the store since: a field whose text still equals it is one the
  // user left alone. Meaningful only while selectedId is not empty.
  RecordFields loaded;
  // The view read the store again since `loaded` was last taken whole: the record as stored may
  // differ from it in a field the user changed, and the next save compares them.
  bool storeReadSinceLoaded = false;
  // The status of the last save stopped by a conflict with another window. The view shows it
  // until a later save replaces it, or until the form no longer holds what it is about.
  runtime::Text conflictStatus;
  bool windowFocused = false;        // the window had the keyboard focus in the previous frame
  std::optional<ShownScreen> shown;  // none before the first frame is drawn
};

// Focus values.
inline constexpr std::int32_t kFocusName = 0;
inline constexpr std::int32_t kFocusDetail = 1;
inline constexpr std::int32_t kFocusOwner = 2;
inline constexpr std::int32_t kFocusSearch = 3;

}  // namespace app
