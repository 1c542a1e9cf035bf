// The form of the directory screen against its record as another program may have saved it
// since: which fields the user changed (the form's text differs from what was loaded), which the
// store changed (the stored value differs from what was loaded), and the values a save writes. With
// one program on the data directory the stored values are the loaded ones, and a save writes the
// form as it is.
#pragma once

#include "app/directory_screen_state.hpp"
#include "store/record.hpp"

namespace app {

// The record's fields as stored.
RecordFields storedFieldsOf(const store::Record& record);
// The form's fields: its three texts and its archived flag.
RecordFields formFieldsOf(const DirectoryScreenState& state);

// True when some field was changed by the user (in `asked`) and in the store, to another value.
bool fieldsConflict(const RecordFields& loaded, const RecordFields& asked, const RecordFields& stored);
// The fields a save writes: the user's where they changed what was loaded, the stored ones elsewhere.
RecordFields mergedFields(const RecordFields& loaded, const RecordFields& asked, const RecordFields& stored);

// Each form field the user left as loaded takes the stored value, as text and as loaded value;
// the fields the user changed keep their text and their loaded value.
void followStoredFields(DirectoryScreenState& state, const RecordFields& stored);

}  // namespace app
