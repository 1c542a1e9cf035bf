#include "app/screen_input.hpp"

#include <algorithm>
#include <utility>

#include "app/text_edit.hpp"
#include "canvas/key_names.hpp"

namespace app {

namespace {

void switchKind(DirectoryScreenState& state, const char* kind) {
  state.kind = kind;
  emptyForm(state);
  state.scroll = 0;
}

runtime::Text* focusedText(DirectoryScreenState& state) {
  switch (state.focus) {
    case kFocusName:
      return &state.nameText;
    case kFocusDetail:
      return &state.detailText;
    case kFocusOwner:
      return &state.ownerText;
    case kFocusSearch:
      return &state.searchText;
    default:
      return nullptr;
  }
}

}  // namespace

void emptyForm(DirectoryScreenState& state) {
  state.record = FormRecord{};
  state.nameText.clear();
  state.detailText.clear();
  state.selectedArchived = false;
}

PointerProbe pointerAt(std::int32_t x, std::int32_t y) {
  return [x, y](const Rect& rect) { return rect.contains(x, y); };
}

PointerProbe pointerNowhere() {
  return [](const Rect&) { return false; };
}

bool applyPress(DirectoryScreenState& state, bool pressed, const PointerProbe& at) {
  if (!pressed) return false;
  if (at(kAnimalsTab)) switchKind(state, "animal");
  if (at(kCustomersTab)) switchKind(state, "customer");
  if (at(kSearchBox)) state.focus = kFocusSearch;
  for (std::int32_t i = 0; i < 3; ++i) {
    if (at(fieldBox(i))) state.focus = i;
  }
  return true;
}

void applyTabKey(DirectoryScreenState& state) {
  state.focus += 1;
  if (state.focus > kFocusSearch) state.focus = 0;
}

void applyTypedText(DirectoryScreenState& state, std::string_view text) {
  if (runtime::Text* value = focusedText(state)) *value = editTextStep(std::move(*value), runtime::Text(text), false);
}

void applyEditKey(DirectoryScreenState& state, std::int32_t virtualKey) {
  static const std::int32_t kTab = canvas::virtualKeyForName("TAB");
  static const std::int32_t kBackspace = canvas::virtualKeyForName("BACKSPACE");
  if (virtualKey == kTab) applyTabKey(state);
  runtime::Text* value = focusedText(state);
  if (virtualKey == kBackspace && value != nullptr) *value = editTextStep(std::move(*value), runtime::Text(), true);
}

void applyScrollKeys(DirectoryScreenState& state, std::int32_t downPresses, std::int32_t upPresses) {
  state.scroll = std::max(0, state.scroll + downPresses - upPresses);
}

}  // namespace app
