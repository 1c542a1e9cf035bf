// The directory screen's form and list state, kept by main across frames.
#pragma once

#include <cstdint>

#include "runtime/text.hpp"

namespace app {

struct DirectoryScreenState {
  runtime::Text kind = "animal";           // kind listed and edited: "animal" or "customer"
  runtime::Text selectedId;                // record shown in the form; empty for a new record
  runtime::Text nameText;                  // field 0, saved as the record's content
  runtime::Text detailText;                // field 1, saved as the property "detail"
  runtime::Text ownerText = "customer-1";  // field 2, saved as the property "owner"
  runtime::Text searchText;                // list filter
  std::int32_t focus = 0;                  // 0 name, 1 detail, 2 owner, 3 search
  std::int32_t scroll = 0;                 // matching records skipped at the top of the list; never negative
  bool selectedArchived = false;           // the form's record is archived
};

// Focus values.
inline constexpr std::int32_t kFocusName = 0;
inline constexpr std::int32_t kFocusDetail = 1;
inline constexpr std::int32_t kFocusOwner = 2;
inline constexpr std::int32_t kFocusSearch = 3;

}  // namespace app
