// The form of the directory screen against its record as another program may have saved it
// since: which fields the user changed (the form's text differs from what was loaded), which the
// store changed (the stored value differs from what was loaded), and the values a save writes. With
// one program on the data directory the stored values are the loaded ones, and a save writes the
// form as it is.
#pragma once

#include <optional>

#include "app/directory_screen_state.hpp"
#include "app/record_fields.hpp"
#include "runtime/text.hpp"

namespace app {

// The form's fields: its three texts and its archived flag.
RecordFields formFieldsOf(const DirectoryScreenState& state);
// Puts the fields into the form's texts and archived flag.
void setFormFields(DirectoryScreenState& state, RecordFields fields);

// When some field was changed by the user (in `asked`) and in the store, to another value: the
// status that says so, naming the first such field in the form's order, the value the other
// window saved (shortened to what the status line holds: from the word where it departs from the
// user's text, then cut with "..."), and how many more there are ("+1 more"). None otherwise. The archived
// flag never conflicts: two changes of a flag agree.
std::optional<runtime::Text> conflictStatus(const RecordFields& loaded, const RecordFields& asked,
                                            const RecordFields& stored);
// The fields a save writes: the user's where they changed what was loaded, the stored ones elsewhere.
RecordFields mergedFields(const RecordFields& loaded, const RecordFields& asked, const RecordFields& stored);

// Each form field the user left as loaded takes the stored value, as text and as loaded value;
// so does each field whose text equals the stored value (the user and the other window agree, and
// what the user types on is the user's change alone). The other fields keep their text and their
// loaded value.
void followStoredFields(DirectoryScreenState& state, const RecordFields& stored);

}  // namespace app
