#include "app/screen_actions.hpp"

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "app/form_merge.hpp"
#include "app/record_list.hpp"
#include "canvas/key_names.hpp"
#include "store/record.hpp"
#include "store/record_keys.hpp"

namespace app {

namespace {

// The list's scroll keys.
const std::int32_t kDownKey = canvas::virtualKeyForName("DOWN");
const std::int32_t kUpKey = canvas::virtualKeyForName("UP");

// How a click came: whether it starts a burst of presses, and whether the user had the conflict
// status that is up in view long enough before it to answer it (always so without one); see
// standingOf.
struct ClickStanding {
  bool startsBurst = true;
  bool conflictSeen = true;
};

// The status of a save stopped by a conflict gives way to what the store as read says once the
// form no longer holds the text it is about; a status that replaced it since stays.
void endConflict(DirectoryScreenState& state, DirectoryView& view) {
  if (state.conflict) view.endConflict();
  state.conflict.reset();
}

// The form's record as the view's database holds it, or null (also for a new record).
const store::Record* storedRecord(const DirectoryView& view, const runtime::Text& id) {
  if (id.empty()) return nullptr;
  const std::int32_t index = store::findRecordIndex(view.database, id);
  return index < 0 ? nullptr : &view.database.records[static_cast<std::size_t>(index)];
}

// The form holds the record as the store gave it or a save wrote it, which becomes its base.
void takeRecord(DirectoryScreenState& state, const runtime::Text& id, const RecordFields& fields) {
  state.record = FormRecord::stored(id, FormBase{fields, {}});
  setFormFields(state, fields);
}

void selectRecord(DirectoryScreenState& state, DirectoryView& view, const store::Record& record) {
  endConflict(state, view);
  takeRecord(state, record.id, recordFieldsOf(record));
}

// Names the fields in the status, with what the store holds for them. A conflict that names other
// fields or other stored values is a new one: the user must see its status before a click can keep
// the user's text over them. The same conflict stays as first shown, however its status reads now.
void showConflict(DirectoryScreenState& state, DirectoryView& view, const TextFieldSet& fields,
                  const RecordFields& stored, const TextWidth& width) {
  const ConflictStop conflict{fields, stored, {}};
  if (!state.conflict || !state.conflict->namesSameAs(conflict)) state.conflict = conflict;
  view.showConflict(conflictStatusText(fields, stored, formFieldsOf(state), state.kind, width));
}

// A save stopped: the fields the user left alone take the stored values, the form keeps the
// user's texts and the archived flag asked for (an Archive or Restore click is not lost), and what
// is stored becomes the base, so that the Save the status advises writes the user's fields over it
// knowingly.
void stopAtConflict(DirectoryScreenState& state, DirectoryView& view, const TextFieldSet& fields,
                    const RecordFields& stored, bool archivedAsked, const TextWidth& width) {
  followStoredFields(state, stored);
  state.stored()->base.fields = stored;
  state.selectedArchived = archivedAsked;
  showConflict(state, view, fields, stored, width);
}

// The form of a stored record, archived as `archived`, merged with its record as stored: the
// fields a save writes, or none when the user and the store changed a field to two values, which
// stops the save.
std::optional<RecordFields> mergeWithStored(DirectoryScreenState& state, DirectoryView& view,
                                            const store::Record& record, bool archived, const TextWidth& width) {
  RecordFields asked = formFieldsOf(state);
  asked.archived = archived;
  const RecordFields stored = recordFieldsOf(record);
  const FormBase& base = state.stored()->base;
  const TextFieldSet fields = conflictingFields(base, asked, stored);
  RecordFields merged = mergedFields(base, asked, stored);
  if (!anyField(fields)) return merged;
  stopAtConflict(state, view, fields, stored, merged.archived, width);
  return std::nullopt;
}

// A new record's save that was not kept may reach the store after all (a later open takes its
// write-ahead file; the view's status then says so). Once the store holds that save's record as
// it wrote it (holdsWritten), the form is that record as after a save: the fields written are its
// base, and what the user typed since stays the user's change. Once the id holds another record,
// that save can no longer arrive, and the form stays a new record of its own.
void settleUnconfirmed(DirectoryScreenState& state, const DirectoryView& view) {
  const FormRecord& form = state.record;
  if (form.kind != FormRecord::Kind::kUnconfirmed || storedRecord(view, form.written.id) == nullptr) return;
  state.record = holdsWritten(view.database, form.written)
                     ? FormRecord::stored(form.written.id, FormBase{form.written.fields, {}})
                     : FormRecord{};
}

// What the view read from the store comes into the form: a new record's save that went in after
// all, the stored values of the fields the user left alone, and, while a conflict status is up,
// what the store now holds for the fields it names (the other window may have saved them again,
// or saved what the user typed).
void takeReading(DirectoryScreenState& state, DirectoryView& view, const TextWidth& width) {
  settleUnconfirmed(state, view);
  const store::Record* record = storedRecord(view, state.selectedId());
  if (record == nullptr) return;
  const RecordFields stored = recordFieldsOf(*record);
  if (state.conflict) {
    const RecordFields form = formFieldsOf(state);
    FormBase& base = state.stored()->base;
    TextFieldSet fields = conflictingFields(base, form, stored);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const auto member = kTextFields[i].member;
      fields[i] = fields[i] || (state.conflict->fields[i] && form.*member != stored.*member);
      if (fields[i]) base.fields.*member = stored.*member;
    }
    if (anyField(fields)) {
      showConflict(state, view, fields, stored, width);
    } else {
      endConflict(state, view);
    }
  }
  followStoredFields(state, stored);
}

// Saves the form, archived as asked by an Archive or Restore click, or as the form holds it after
// the reading (Save). The view first reads again what another program saved since; the record as
// stored is merged into the form, and nothing is saved on a conflict, nor when that reading
// changed the values a conflict status names. The save's outcome decides what the form then
// holds: the record saved or kept; for a new record not kept whose write-ahead file a later open
// may take, that save's record (FormRecord::unconfirmed); otherwise the form as it was. A commit refused
// because another save came in between merges what the view read back into the form in the same
// way, and the form keeps the archived flag asked for.
void saveForm(DirectoryScreenState& state, DirectoryView& view, std::optional<bool> archiveAsked,
              const TextWidth& width) {
  const std::optional<ConflictStop> conflictBefore = state.conflict;
  if (view.reloadIfChanged()) {
    takeReading(state, view, width);
    if (state.conflict && !(conflictBefore && state.conflict->namesSameAs(*conflictBefore))) return;
  }
  state.conflict.reset();
  const bool archived = archiveAsked.value_or(state.selectedArchived);
  RecordFields asked = formFieldsOf(state);
  asked.archived = archived;
  const runtime::Text id = state.selectedId();
  if (const store::Record* record = storedRecord(view, id)) {
    const std::optional<RecordFields> merged = mergeWithStored(state, view, *record, archived, width);
    if (!merged) return;
    asked = *merged;
  }
  const SaveOutcome outcome = view.saveRecord(id, state.kind, asked.name, asked.detail, asked.owner, asked.archived);
  switch (outcome.result) {
    case SaveResult::kSaved:
    case SaveResult::kKept:
      takeRecord(state, outcome.written.id, asked);
      // The store read back may already hold a later save of another program: it shows at once.
      if (const store::Record* record = storedRecord(view, outcome.written.id)) {
        followStoredFields(state, recordFieldsOf(*record));
      }
      return;
    case SaveResult::kRefused:
      return;
    case SaveResult::kNotKept:
    case SaveResult::kStoreGone:
      if (id.empty() && outcome.writeAheadLeft) state.record = FormRecord::unconfirmed(outcome.written);
      if (outcome.result == SaveResult::kStoreGone) return;
      break;
  }
  settleUnconfirmed(state, view);
  const store::Record* record = storedRecord(view, state.selectedId());
  if (record == nullptr) return;
  const std::optional<RecordFields> merged = mergeWithStored(state, view, *record, archived, width);
  if (!merged) return;
  followStoredFields(state, recordFieldsOf(*record));
  state.selectedArchived = merged->archived;
}

// Whether the form's record showed as archived ("Restore") when the window last drew it; as the
// form now holds it when another record (or none) was drawn there.
bool archivedAsShown(const DirectoryScreenState& state) {
  if (state.shown && state.shown->selectedId == state.selectedId()) return state.shown->archived;
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

// The buttons under a click; true when one saved (which reads the store first). A burst of presses
// acts once: Save and Archive or Restore act on its first press only. While a conflict status is
// up, that first press keeps the user's text over the other window's only when the user had the
// status in view for a double-click time before it.
bool pressButtons(DirectoryScreenState& state, DirectoryView& view, const PointerProbe& at, ClickStanding click,
                  const TextWidth& width) {
  const bool acts = click.startsBurst && (!state.conflict || click.conflictSeen);
  bool saved = false;
  if (at(kSaveButton) && acts) saveForm(state, view, std::nullopt, width), saved = true;
  if (at(kNewRecordButton)) {
    emptyForm(state);
    state.focus = kFocusName;
  }
  if (!state.selectedId().empty() && at(kArchiveButton) && acts) {
    saveForm(state, view, !archivedAsShown(state), width), saved = true;
  }
  if (state.selectedId().empty()) endConflict(state, view);  // New record, or a tab before the buttons
  return saved;
}

// A click: on the tabs, the search box and the fields (applyPress), the buttons, a list row; true
// when it saved.
bool applyClick(DirectoryScreenState& state, DirectoryView& view, const PointerProbe& at, ClickStanding click,
                const TextWidth& width) {
  applyPress(state, true, at);
  const bool saved = pressButtons(state, view, at, click, width);
  selectListedRow(state, view, at);
  return saved;
}

// The window's focus. A gain reads what another program saved since, unless a save of this
// frame's input read the store already: the status shown is then the save's.
void followFocus(DirectoryScreenState& state, DirectoryView& view, bool focused, const TextWidth& statusWidth,
                 bool storeRead) {
  const bool gained = focused && !state.windowFocused;
  state.windowFocused = focused;
  if (gained && !storeRead && view.reloadIfChanged()) takeReading(state, view, statusWidth);
}

// How a press came, and it becomes the last press. A press within the system's double-click time
// of the previous press, inside the double-click rectangle centred on it, goes on that press's
// burst, however many presses came before: a double- or triple-click is one burst. Any other press
// starts a burst. While a conflict status is up, a press may keep the user's text only when it
// comes a double-click time or more after the first frame that showed the status: a press sooner
// was not made in answer to it (the clock wraps; times are compared by their difference).
ClickStanding standingOf(DirectoryScreenState& state, const canvas::InputEvent& press,
                         const canvas::DoubleClickSpan& span) {
  const std::optional<PressMark>& last = state.lastPress;
  ClickStanding click;
  click.startsBurst =
      !(last && press.time - last->time <= span.milliseconds && std::abs(press.point.x - last->x) <= span.width / 2 &&
        std::abs(press.point.y - last->y) <= span.height / 2);
  state.lastPress = PressMark{press.time, press.point.x, press.point.y};
  if (state.conflict) {
    const std::optional<std::uint32_t>& shownAt = state.conflict->shownAt;
    click.conflictSeen =
        shownAt && static_cast<std::int32_t>(press.time - *shownAt) >= static_cast<std::int32_t>(span.milliseconds);
  }
  return click;
}

// A scroll past the last matching record returns the list to the top.
void scrollBackPastLastMatch(DirectoryScreenState& state, const DirectoryView& view) {
  const std::int32_t matches = forEachListedRecord(state, view, [](const store::Record&, const Rect&) {});
  if (matches <= state.scroll) state.scroll = 0;
}

// The list is at the top while the search has the focus, and when it is scrolled past its last
// matching record.
void settleListScroll(DirectoryScreenState& state, const DirectoryView& view) {
  if (state.focus == kFocusSearch) state.scroll = 0;
  scrollBackPastLastMatch(state, view);
}

}  // namespace

void applyButtons(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& pointer) {
  if (click) pressButtons(state, view, pointer, ClickStanding{}, estimatedTextWidth);
}

void applyWindowFocus(DirectoryScreenState& state, DirectoryView& view, bool focused, const TextWidth& statusWidth) {
  followFocus(state, view, focused, statusWidth, false);
}

std::vector<canvas::InputEvent> takeFrameEvents(canvas::WindowState& window) {
  static const std::vector<std::int32_t> kKeys{canvas::virtualKeyForName("TAB"), canvas::virtualKeyForName("BACKSPACE"),
                                               kDownKey, kUpKey};
  return canvas::takeInput(window, kKeys);
}

void applyFrameInput(DirectoryScreenState& state, DirectoryView& view, const FrameInput& input) {
  // The focus is known once a frame, not where it changed among the frame's presses. A press on
  // the window comes when it has the focus (a click on it gives it the focus before the press), so
  // a change is taken to come before this frame's presses: it ends the burst of the presses of
  // earlier frames, and a double-click that gave the window the focus stays one burst. A loss and
  // a gain between two frames are not seen.
  if (input.focused != state.windowFocused) state.lastPress.reset();
  std::int32_t downPresses = 0;
  std::int32_t upPresses = 0;
  bool saved = false;
  for (const canvas::InputEvent& event : input.events) {
    switch (event.kind) {
      // A key or typed text between two presses ends their burst: the second is a click of its own.
      // DOWN and UP come in order among the presses too; they scroll after the focus.
      case canvas::InputEvent::Kind::kText:
        applyTypedText(state, event.text);
        state.lastPress.reset();
        break;
      case canvas::InputEvent::Kind::kKey:
        applyEditKey(state, event.virtualKey);
        downPresses += event.virtualKey == kDownKey ? 1 : 0;
        upPresses += event.virtualKey == kUpKey ? 1 : 0;
        state.lastPress.reset();
        break;
      case canvas::InputEvent::Kind::kLeftPress: {
        const ClickStanding click = standingOf(state, event, input.doubleClick);
        saved = applyClick(state, view, pointerAt(event.point.x, event.point.y), click, input.statusWidth) || saved;
        break;
      }
    }
    settleListScroll(state, view);
  }
  settleListScroll(state, view);
  followFocus(state, view, input.focused, input.statusWidth, saved);
  applyScrollKeys(state, downPresses, upPresses);
  scrollBackPastLastMatch(state, view);
}

void rememberShownScreen(DirectoryScreenState& state, const DirectoryView& view, std::uint32_t drawnAt) {
  state.shown = ShownScreen{state.kind,         state.searchText,      state.scroll, listedRowIds(state, view),
                            state.selectedId(), state.selectedArchived};
  if (state.conflict && !state.conflict->shownAt && view.statusValue().kind == ViewStatus::Kind::kConflict) {
    state.conflict->shownAt = drawnAt;
  }
}

}  // namespace app
