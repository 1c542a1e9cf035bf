// The directory screen's decisions that need the directory view: the buttons (Save, New record,
// and Archive or Restore, which save through the view), the list rows, and the window's focus. A
// refused save leaves the form's record and the text the user typed; the view's status says why.
#pragma once

#include <optional>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_input.hpp"
#include "canvas/key_input.hpp"
#include "canvas/window_state.hpp"

namespace app {

// Save and Archive or Restore first have the view read again what another program saved since;
// the form's record is merged with it (see form_merge.hpp) and, when the user and the other
// program changed one field to two values, not saved: the status says "Changed in another
// window; check and save again".
void applyButtons(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& pointer);

// The window's keyboard focus in this frame. When it has just been gained, the view reads again
// what another program saved since, and the form's fields the user left alone follow its record.
void applyWindowFocus(DirectoryScreenState& state, DirectoryView& view, bool focused);

// The list after the frame's other input and scrolling: a click (hit-tested with `at`) on a list
// row loads that record into the form (the focus stays) and leaves an unsaved new record
// behind (DirectoryView::forgetUnsavedNewRecord), and a scroll past the last matching
// record returns the list to the top.
void applyListInput(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& at);

// One frame's decisions on the input the window kept since the previous frame: the press (at
// the point where it was made, however soon it was released) on the tabs, the search box and the
// fields; the typed text with its TAB and BACKSPACE presses in the order they came; then the
// buttons. Returns whether the frame holds a click.
bool applyFrameInput(DirectoryScreenState& state, DirectoryView& view, const std::optional<canvas::ClientPoint>& press,
                     const canvas::TextInput& typed);

}  // namespace app
