// The directory screen's form and list state, kept by main across frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
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

// A save stopped because the user and another window changed one field to two values: the fields
// and what the store held for them. Its status shortens a long value to what the user typed, so
// the wording may change while the conflict stays the same one.
struct ConflictStop {
  TextFieldSet fields{};                 // the fields the status names
  RecordFields stored;                   // the stored values; only those of the named fields count
  std::optional<std::uint32_t> shownAt;  // when a frame first showed the status

  // Whether the two name the same fields with the same stored values, whenever they were shown.
  bool namesSameAs(const ConflictStop& other) const {
    if (fields != other.fields) return false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const auto member = kTextFields[i].member;
      if (fields[i] && stored.*member != other.stored.*member) return false;
    }
    return true;
  }
};

// The record the form edits, as one value: a new one; a new one whose save was not kept but left
// its whole write-ahead file, which a later open may still take as the store's state (that save's
// record, with its id and what it wrote); or a stored one, with its id and its base. It is only
// ever replaced whole.
struct FormRecord {
  enum class Kind { kNew, kUnconfirmed, kStored };
  Kind kind = Kind::kNew;
  runtime::Text id;       // a stored record's id; empty otherwise
  FormBase base;          // a stored record's base
  WrittenRecord written;  // an unconfirmed record's save

  static FormRecord stored(runtime::Text id, FormBase base) {
    return {Kind::kStored, std::move(id), std::move(base), {}};
  }
  static FormRecord unconfirmed(WrittenRecord written) { return {Kind::kUnconfirmed, {}, {}, std::move(written)}; }
};

// A left-button press, for telling whether the next press goes on the same burst of clicks.
struct PressMark {
  std::uint32_t time = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
};

struct DirectoryScreenState {
  runtime::Text kind = "animal";           // kind listed and edited: "animal" or "customer"
  FormRecord record;                       // the record the form edits
  runtime::Text nameText;                  // field 0, the record's name
  runtime::Text detailText;                // field 1, its detail
  runtime::Text ownerText = "customer-1";  // field 2, its owner
  runtime::Text searchText;                // list filter
  std::int32_t focus = 0;                  // 0 name, 1 detail, 2 owner, 3 search
  std::int32_t scroll = 0;                 // matching records skipped at the top of the list; never negative
  bool selectedArchived = false;           // the form's record is archived
  std::optional<ConflictStop> conflict;    // until a later save, or the form no longer holds its text
  std::optional<PressMark> lastPress;
  bool windowFocused = false;        // the window had the keyboard focus in the previous frame
  std::optional<ShownScreen> shown;  // none before the first frame is drawn

  // The stored record the form edits, or null for a new one.
  FormRecord* stored() { return record.kind == FormRecord::Kind::kStored ? &record : nullptr; }
  const FormRecord* stored() const { return record.kind == FormRecord::Kind::kStored ? &record : nullptr; }
  // Its id; empty for a new record.
  const runtime::Text& selectedId() const { return record.id; }
};

// Focus values.
inline constexpr std::int32_t kFocusName = 0;
inline constexpr std::int32_t kFocusDetail = 1;
inline constexpr std::int32_t kFocusOwner = 2;
inline constexpr std::int32_t kFocusSearch = 3;

}  // namespace app
