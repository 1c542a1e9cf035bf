// The directory screen's buttons: Save, New record, and Archive or Restore, which save through
// the directory view. A refused save leaves the screen state as it was; the view's status says why.
#pragma once

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_input.hpp"

namespace app {

void applyButtons(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& pointer);

}  // namespace app
