// The directory screen's buttons: Save, New record, and Archive or Restore, which save through
// the directory view. A refused save leaves the screen state as it was; the view's status says why.
#pragma once

#include <optional>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_input.hpp"
#include "canvas/key_input.hpp"
#include "canvas/window_state.hpp"

namespace app {

void applyButtons(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& pointer);

// One frame's decisions on the input the window kept since the previous frame: the press (at
// the point where it was made, however soon it was released) on the tabs, the search box and the
// fields; the typed text with its TAB and BACKSPACE presses in the order they came; then the
// buttons. Returns whether the frame holds a click.
bool applyFrameInput(DirectoryScreenState& state, DirectoryView& view, const std::optional<canvas::ClientPoint>& press,
                     const canvas::TextInput& typed);

}  // namespace app
