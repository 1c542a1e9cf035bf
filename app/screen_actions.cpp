#include "app/screen_actions.hpp"

#include <vector>

#include "app/form_merge.hpp"
#include "app/record_list.hpp"
#include "store/record.hpp"
#include "store/record_keys.hpp"

namespace app {

namespace {

// The status of a save stopped by a conflict gives way to "Ready" once the form no longer holds
// the text it is about; a status that replaced it since stays.
void endConflictStatus(DirectoryScreenState& state, DirectoryView& view) {
  if (!state.conflictStatus.empty() && view.status == state.conflictStatus) view.status = kStatusReady;
  state.conflictStatus.clear();
}

void selectRecord(DirectoryScreenState& state, DirectoryView& view, const store::Record& record) {
  endConflictStatus(state, view);
  view.forgetUnsavedNewRecord();  // the user moved on from an unsaved new record
  state.selectedId = record.id;
  state.loaded = recordFieldsOf(record);
  state.storeReadSinceLoaded = false;
  setFormFields(state, state.loaded);
}

// The form's record as the view's database holds it, or null (also for a new record).
const store::Record* storedRecord(const DirectoryView& view, const runtime::Text& id) {
  if (id.empty()) return nullptr;
  const std::int32_t index = store::findRecordIndex(view.database, id);
  return index < 0 ? nullptr : &view.database.records[static_cast<std::size_t>(index)];
}

// Brings the form's record as the view now holds it into the form (the fields the user left
// alone follow it) and into the fields `asked` to save. False when a field the user changed was
// changed in the store as well, to another value: the status names it and the other's value, the
// form keeps the user's texts and the archived flag asked for (an Archive or Restore click is
// not lost), and what is stored becomes the loaded record, so that saving again writes the
// user's fields over it knowingly. A record that is no longer stored leaves everything as it is.
bool takeStoredRecord(DirectoryScreenState& state, DirectoryView& view, RecordFields& asked) {
  const store::Record* record = storedRecord(view, state.selectedId);
  if (record == nullptr) return true;
  const RecordFields stored = recordFieldsOf(*record);
  std::optional<runtime::Text> conflict = conflictStatus(state.loaded, asked, stored);
  asked = mergedFields(state.loaded, asked, stored);
  followStoredFields(state, stored);
  if (!conflict.has_value()) return true;
  state.loaded = stored;
  state.storeReadSinceLoaded = false;
  state.selectedArchived = asked.archived;
  state.conflictStatus = *conflict;
  view.status = std::move(*conflict);
  return false;
}

// Saves the form, archived as `archived` (the flag the user asks for). The view first reads
// again what another program saved since; when it did, now or since the form's record was loaded
// (the window's focus), the record as stored is merged into the form, and nothing is saved on a
// conflict. With one program nothing is read again, and the form is saved as it is. A commit
// refused all the same (another save came in between) merges what the view reopened into the
// form in the same way, and the form keeps the archived flag asked for.
void saveForm(DirectoryScreenState& state, DirectoryView& view, bool archived) {
  RecordFields asked = formFieldsOf(state);
  asked.archived = archived;
  if (view.reloadIfChanged()) state.storeReadSinceLoaded = true;
  if (state.storeReadSinceLoaded && !takeStoredRecord(state, view, asked)) return;
  if (view.saveRecord(state.selectedId, state.kind, asked.name, asked.detail, asked.owner, asked.archived)) {
    state.selectedId = view.lastSavedId;
    if (const store::Record* record = storedRecord(view, state.selectedId)) {
      state.loaded = recordFieldsOf(*record);
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
  state.selectedArchived = asked.archived;
}

// Whether the form's record showed as archived ("Restore") when the window last drew it; as the
// form now holds it when another record (or none) was drawn there.
bool archivedAsShown(const DirectoryScreenState& state) {
  if (state.shown && state.shown->selectedId == state.selectedId) return state.shown->archived;
  return state.selectedArchived;
}

std::vector<runtime::Text> listedRowIds(const DirectoryScreenState& state, const DirectoryView& view) {
  std::vector<runtime::Text> ids;
  forEachListedRecord(state, view, [&ids](const store::Record& record, const Rect&) { ids.push_back(record.id); });
  return ids;
}

// A click on a list row loads the record the row showed when the window last drew the list for
// the same kind, search and scroll; after a change of those in this frame's input, the record
// the list now holds there. The focus stays.
void selectListedRow(DirectoryScreenState& state, DirectoryView& view, const PointerProbe& at) {
  const std::optional<ShownScreen>& shown = state.shown;
  const bool asShown =
      shown && shown->kind == state.kind && shown->search == state.searchText && shown->scroll == state.scroll;
  const std::vector<runtime::Text> ids = asShown ? shown->rowIds : listedRowIds(state, view);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (!at(listRow(static_cast<std::int32_t>(i)))) continue;
    if (const store::Record* record = storedRecord(view, ids[i])) selectRecord(state, view, *record);
  }
}

// A click: on the tabs, the search box and the fields (applyPress), the buttons, a list row.
void applyClick(DirectoryScreenState& state, DirectoryView& view, const PointerProbe& at) {
  applyPress(state, true, at);
  applyButtons(state, view, true, at);
  selectListedRow(state, view, at);
}

// A scroll past the last matching record returns the list to the top.
void applyListScroll(DirectoryScreenState& state, const DirectoryView& view) {
  const std::int32_t matches = forEachListedRecord(state, view, [](const store::Record&, const Rect&) {});
  if (matches <= state.scroll) state.scroll = 0;
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
  if (!state.selectedId.empty() && pointer(kArchiveButton)) saveForm(state, view, !archivedAsShown(state));
  if (state.selectedId.empty()) endConflictStatus(state, view);  // New record, or a tab before the buttons
}

void applyWindowFocus(DirectoryScreenState& state, DirectoryView& view, bool focused) {
  const bool gained = focused && !state.windowFocused;
  state.windowFocused = focused;
  if (!gained || !view.reloadIfChanged()) return;
  state.storeReadSinceLoaded = true;
  if (const store::Record* record = storedRecord(view, state.selectedId)) {
    followStoredFields(state, recordFieldsOf(*record));
  }
}

void applyFrameInput(DirectoryScreenState& state, DirectoryView& view, const FrameInput& input) {
  for (const canvas::InputEvent& event : input.events) {
    switch (event.kind) {
      case canvas::InputEvent::Kind::kText:
        applyTypedText(state, event.text);
        break;
      case canvas::InputEvent::Kind::kKey:
        applyEditKey(state, event.virtualKey);
        break;
      case canvas::InputEvent::Kind::kLeftPress:
        applyClick(state, view, pointerAt(event.point.x, event.point.y));
        break;
    }
  }
  if (state.focus == kFocusSearch) state.scroll = 0;
  applyWindowFocus(state, view, input.focused);
  applyScrollKeys(state, input.scrollDown, input.scrollUp);
  applyListScroll(state, view);
}

void rememberShownScreen(DirectoryScreenState& state, const DirectoryView& view) {
  state.shown = ShownScreen{state.kind,       state.searchText,      state.scroll, listedRowIds(state, view),
                            state.selectedId, state.selectedArchived};
}

}  // namespace app
