// The fields of a record that the directory form edits, and where a record keeps them: the name
// is the record's content, the detail and the owner are its properties "detail" and "owner", and
// an archived record has the lifecycle "archival" (an active one "canonical"). Everything that
// reads or writes a record's form fields goes through here.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "runtime/text.hpp"
#include "store/record.hpp"

namespace app {

struct RecordFields {
  runtime::Text name;
  runtime::Text detail;
  runtime::Text owner;
  bool archived = false;
  bool operator==(const RecordFields&) const = default;
};

// The record a save wrote, as a reading of the store tells it apart from any other: its id, kind,
// fields and update time.
struct WrittenRecord {
  runtime::Text id;
  runtime::Text kind;
  RecordFields fields;
  std::int32_t updated = 0;
  bool operator==(const WrittenRecord&) const = default;
};

// A text field, in the form's order, and the word the screen names it by.
struct TextField {
  std::string_view word;
  runtime::Text RecordFields::*member;
};
inline constexpr std::array<TextField, 3> kTextFields{
    {{"name", &RecordFields::name}, {"detail", &RecordFields::detail}, {"owner", &RecordFields::owner}}};

// Applies `field` to the member pointer of each field: the text fields in order, then archived.
template <typename Field>
void forEachRecordField(Field field) {
  for (const TextField& text : kTextFields) field(text.member);
  field(&RecordFields::archived);
}

bool isArchived(const store::Record& record);
RecordFields recordFieldsOf(const store::Record& record);
// Sets the fields on the record; its other members and properties stay as they are.
void setRecordFields(store::Record& record, RecordFields fields);

}  // namespace app
