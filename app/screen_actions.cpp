#include "app/screen_actions.hpp"

#include "app/record_list.hpp"
#include "store/record.hpp"

namespace app {

namespace {

void selectRecord(DirectoryScreenState& state, const store::Record& record) {
  state.selectedId = record.id;
  state.nameText = record.content;
  state.detailText = store::recordProperty(record, "detail");
  state.ownerText = store::recordProperty(record, "owner");
  state.selectedArchived = record.lifecycle == "archival";
}

}  // namespace

void applyButtons(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& pointer) {
  if (!click) return;
  if (pointer(kSaveButton)) {
    if (view.saveRecord(state.selectedId, state.kind, state.nameText, state.detailText, state.ownerText,
                        state.selectedArchived)) {
      state.selectedId = view.lastSavedId;
    }
  }
  if (pointer(kNewRecordButton)) {
    state.selectedId.clear();
    state.nameText.clear();
    state.detailText.clear();
    state.selectedArchived = false;
    state.focus = kFocusName;
  }
  if (!state.selectedId.empty() && pointer(kArchiveButton)) {
    if (view.saveRecord(state.selectedId, state.kind, state.nameText, state.detailText, state.ownerText,
                        !state.selectedArchived)) {
      state.selectedArchived = !state.selectedArchived;
    }
  }
}

void applyListInput(DirectoryScreenState& state, const DirectoryView& view, bool click, const PointerProbe& at) {
  // Selecting changes nothing the walk depends on (kind, search, scroll).
  const std::int32_t matches = forEachListedRecord(state, view, [&](const store::Record& record, const Rect& row) {
    if (click && at(row)) selectRecord(state, record);
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
