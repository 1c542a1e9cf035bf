#include "app/screen_actions.hpp"

namespace app {

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

bool applyFrameInput(DirectoryScreenState& state, DirectoryView& view, const std::optional<canvas::ClientPoint>& press,
                     const canvas::TextInput& typed) {
  const PointerProbe at = pressProbe(press);
  const bool click = applyPress(state, press.has_value(), at);
  applyTextInput(state, typed);
  applyButtons(state, view, click, at);
  return click;
}

}  // namespace app
