// The directory screen's form and list state, kept by main across frames.
#pragma once

#include <array>
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

// A set of the form's text fields, in the form's order (name, detail, owner).
using TextFieldSet = std::array<bool, kTextFields.size()>;

// What the form's record held as the form last took it from the store: the record a list click
// opened, what a save wrote, or the value a reading of the store brought into a field. A save
// writes the fields the user changed from it onto what is stored then.
struct FormBase {
  RecordFields fields;
  // Fields whose text is the user's although it equals the base: the store came to hold what the
  // user typed. A reading of the store never replaces their text, and a save counts them as
  // changed by the user.
  TextFieldSet usersText{};
};

// A save stopped because the user and another window changed one field to two values.
struct ConflictStop {
  TextFieldSet fields{};                 // the fields the status names
  runtime::Text status;                  // the status that names them
  std::optional<std::uint32_t> shownAt;  // when a frame first showed that status
};

// A new record whose save was reported failed after it wrote its write-ahead file: a later open
// may still take that file as the store's state. The id the save gave the record and the fields
// it wrote.
struct UnconfirmedSave {
  runtime::Text id;
  RecordFields fields;
};

// A left-button press, for telling the second click of a double-click.
struct PressMark {
  std::uint32_t time = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool second = false;  // it was itself the second click of a double-click
};

struct DirectoryScreenState {
  runtime::Text kind = "animal";               // kind listed and edited: "animal" or "customer"
  runtime::Text selectedId;                    // record shown in the form; empty for a new record
  runtime::Text nameText;                      // field 0, the record's name
  runtime::Text detailText;                    // field 1, its detail
  runtime::Text ownerText = "customer-1";      // field 2, its owner
  runtime::Text searchText;                    // list filter
  std::int32_t focus = 0;                      // 0 name, 1 detail, 2 owner, 3 search
  std::int32_t scroll = 0;                     // matching records skipped at the top of the list; never negative
  bool selectedArchived = false;               // the form's record is archived
  FormBase base;                               // meaningful only while selectedId is not empty
  std::optional<ConflictStop> conflict;        // until a later save, or the form no longer holds its text
  std::optional<UnconfirmedSave> unconfirmed;  // only for a new record's form
  std::optional<PressMark> lastPress;
  bool windowFocused = false;        // the window had the keyboard focus in the previous frame
  std::optional<ShownScreen> shown;  // none before the first frame is drawn
};

// Focus values.
inline constexpr std::int32_t kFocusName = 0;
inline constexpr std::int32_t kFocusDetail = 1;
inline constexpr std::int32_t kFocusOwner = 2;
inline constexpr std::int32_t kFocusSearch = 3;

}  // namespace app
