#include "app/screen_input.hpp"

#include "app/text_edit.hpp"

namespace app {

namespace {

void switchKind(DirectoryScreenState& state, const char* kind) {
  state.kind = kind;
  state.selectedId.clear();
  state.nameText.clear();
  state.detailText.clear();
  state.selectedArchived = false;
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

PointerProbe pointerAt(std::int32_t x, std::int32_t y) {
  return [x, y](const Rect& rect) { return rect.contains(x, y); };
}

PointerProbe pointerNowhere() {
  return [](const Rect&) { return false; };
}

bool applyPress(DirectoryScreenState& state, bool down, const PointerProbe& pointer) {
  bool click = false;
  if (down && !state.wasButtonDown) {
    if (pointer(kAnimalsTab)) switchKind(state, "animal");
    if (pointer(kCustomersTab)) switchKind(state, "customer");
    if (pointer(kSearchBox)) state.focus = kFocusSearch;
    click = true;
  }
  for (std::int32_t i = 0; i < 3; ++i) {
    if (click && pointer(fieldBox(i))) state.focus = i;
  }
  return click;
}

void applyTabKey(DirectoryScreenState& state) {
  state.focus += 1;
  if (state.focus > kFocusSearch) state.focus = 0;
}

void applyTyping(DirectoryScreenState& state, const runtime::Text& typed, bool backspace) {
  if (runtime::Text* text = focusedText(state)) *text = editTextStep(std::move(*text), typed, backspace);
  if (state.focus == kFocusSearch) state.scroll = 0;
}

void applyScrollKeys(DirectoryScreenState& state, bool down, bool up) {
  if (down) state.scroll += 1;
  if (state.scroll > 0 && up) state.scroll -= 1;
}

}  // namespace app
