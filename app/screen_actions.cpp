#include "app/screen_actions.hpp"

#include "app/form_merge.hpp"
#include "app/record_list.hpp"
#include "store/record.hpp"
#include "store/record_keys.hpp"

namespace app {

namespace {

void selectRecord(DirectoryScreenState& state, const store::Record& record) {
  state.selectedId = record.id;
  state.loaded = storedFieldsOf(record);
  state.storeReadSinceLoaded = false;
  state.nameText = state.loaded.name;
  state.detailText = state.loaded.detail;
  state.ownerText = state.loaded.owner;
  state.selectedArchived = state.loaded.archived;
}

// The form's record as the view's database holds it, or null (also for a new record).
const store::Record* storedRecord(const DirectoryView& view, const runtime::Text& id) {
  if (id.empty()) return nullptr;
  const std::int32_t index = store::findRecordIndex(view.database, id);
  return index < 0 ? nullptr : &view.database.records[static_cast<std::size_t>(index)];
}

// Brings the form's record as the view now holds it into the form (the fields the user left
// alone follow it) and into the fields `asked` to save. False when a field the user changed was
// changed in the store as well, to another value: the status says so, and what is stored becomes
// the loaded record, so that saving again writes the user's fields over it knowingly. A record
// that is no longer stored leaves everything as it is.
bool takeStoredRecord(DirectoryScreenState& state, DirectoryView& view, RecordFields& asked) {
  const store::Record* record = storedRecord(view, state.selectedId);
  if (record == nullptr) return true;
  const RecordFields stored = storedFieldsOf(*record);
  const bool conflict = fieldsConflict(state.loaded, asked, stored);
  asked = mergedFields(state.loaded, asked, stored);
  followStoredFields(state, stored);
  if (!conflict) return true;
  state.loaded = stored;
  state.storeReadSinceLoaded = false;
  view.status = kStatusChangedElsewhere;
  return false;
}

// Saves the form, archived as `archived` (the flag the user asks for). The view first reads
// again what another program saved since; when it did, now or since the form's record was loaded
// (the window's focus), the record as stored is merged into the form, and nothing is saved on a
// conflict. With one program nothing is read again, and the form is saved as it is. A commit
// refused all the same (another save came in between) merges what the view reopened into the
// form in the same way.
void saveForm(DirectoryScreenState& state, DirectoryView& view, bool archived) {
  RecordFields asked = formFieldsOf(state);
  asked.archived = archived;
  if (view.reloadIfChanged()) state.storeReadSinceLoaded = true;
  if (state.storeReadSinceLoaded && !takeStoredRecord(state, view, asked)) return;
  if (view.saveRecord(state.selectedId, state.kind, asked.name, asked.detail, asked.owner, asked.archived)) {
    state.selectedId = view.lastSavedId;
    if (const store::Record* record = storedRecord(view, state.selectedId)) {
      state.loaded = storedFieldsOf(*record);
      state.selectedArchived = state.loaded.archived;
      state.storeReadSinceLoaded = false;
    }
    return;
  }
  if (view.status != kStatusCommitFailed) return;
  state.storeReadSinceLoaded = true;
  asked = formFieldsOf(state);
  asked.archived = archived;
  takeStoredRecord(state, view, asked);
}

}  // namespace

void applyButtons(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& pointer) {
  if (!click) return;
  if (pointer(kSaveButton)) saveForm(state, view, state.selectedArchived);
  if (pointer(kNewRecordButton)) {
    view.forgetUnsavedNewRecord();
    state.selectedId.clear();
    state.nameText.clear();
    state.detailText.clear();
    state.selectedArchived = false;
    state.focus = kFocusName;
  }
  if (!state.selectedId.empty() && pointer(kArchiveButton)) saveForm(state, view, !state.selectedArchived);
}

void applyWindowFocus(DirectoryScreenState& state, DirectoryView& view, bool focused) {
  const bool gained = focused && !state.windowFocused;
  state.windowFocused = focused;
  if (!gained || !view.reloadIfChanged()) return;
  state.storeReadSinceLoaded = true;
  if (const store::Record* record = storedRecord(view, state.selectedId)) {
    followStoredFields(state, storedFieldsOf(*record));
  }
}

void applyListInput(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& at) {
  // Selecting changes nothing the walk depends on (kind, search, scroll).
  const std::int32_t matches = forEachListedRecord(state, view, [&](const store::Record& record, const Rect& row) {
    if (click && at(row)) {
      selectRecord(state, record);
      view.forgetUnsavedNewRecord();  // the user moved on from an unsaved new record
    }
  });
  if (matches <= state.scroll) state.scroll = 0;
}

bool applyFrameInput(DirectoryScreenState& state, DirectoryView& view, const std::optional<canvas::ClientPoint>& press,
                     const canvas::TextInput& typed) {
  const PointerProbe at = pressProbe(press);
  const bool click = applyPress(state, press.has_value(), at);
  applyTextInput(state, typed);
  applyButtons(state, view, click, at);
  return click;
}

}  // namespace app
