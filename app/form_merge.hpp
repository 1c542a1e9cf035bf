// The form of the directory screen against its record as another program may have saved it
// since: which fields the user changed (the form's text differs from the base, or holds the
// user's text), which the store changed (the stored value differs from the base), and the values
// a save writes. With one program on the data directory the stored values are the base, and a
// save writes the form as it is.
#pragma once

#include "app/directory_screen_state.hpp"
#include "app/record_fields.hpp"

namespace app {

// The form's fields: its three texts and its archived flag.
RecordFields formFieldsOf(const DirectoryScreenState& state);
// Puts the fields into the form's texts and archived flag.
void setFormFields(DirectoryScreenState& state, RecordFields fields);

// The text fields that the user (in `asked`) and the store both changed from the base, to two
// values. The archived flag never conflicts: two changes of a flag agree.
TextFieldSet conflictingFields(const FormBase& base, const RecordFields& asked, const RecordFields& stored);
bool anyField(const TextFieldSet& fields);

// The fields a save writes: the user's where the user changed them, the stored ones elsewhere.
RecordFields mergedFields(const FormBase& base, const RecordFields& asked, const RecordFields& stored);

// A reading of the store comes into the form of a stored record: each field the user left alone takes the stored
// value, as text and as base. A field whose text equals the stored value is agreed: the stored
// value becomes its base and the text stays the user's, so that what the user types on is the
// user's change alone and a later reading never replaces it. Other fields keep text and base.
void followStoredFields(DirectoryScreenState& state, const RecordFields& stored);

}  // namespace app
