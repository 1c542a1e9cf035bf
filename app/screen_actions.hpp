// The directory screen's decisions that need the directory view: the buttons (Save, New record,
// and Archive or Restore, which save through the view), the list rows, and the window's focus. A
// refused save leaves the form's record and the text the user typed; the view's status says why.
#pragma once

#include <cstdint>
#include <vector>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_drawing.hpp"
#include "app/screen_input.hpp"
#include "canvas/key_input.hpp"

namespace app {

// Save and Archive or Restore first have the view read again what another program saved since;
// the form's record is merged with it (see form_merge.hpp) and, when the user and the other
// program changed one field to two values, not saved: the status names the field and the other's
// value, and a Save the user clicks once that status is on screen writes the form. That status
// ends with New record (or a tab) and with a list click. Archive or Restore asks for what the
// button read when the window last drew the form's record. The outcome of every save is what the
// store holds when read back: the form holds the record the store kept, and a new record that
// the store does not hold stays new (see UnconfirmedSave). This is one deliberate click.
void applyButtons(DirectoryScreenState& state, DirectoryView& view, bool click, const PointerProbe& pointer);

// The window's keyboard focus in this frame. When it has just been gained, the view reads again
// what another program saved since: the form's fields the user left alone follow its record, and
// a conflict status names what is stored now. The frame takes its input first: a click that gave
// the focus acts on what the window showed, and a save it made read the store for the focus.
void applyWindowFocus(DirectoryScreenState& state, DirectoryView& view, bool focused,
                      const TextWidth& statusWidth = estimatedTextWidth);

// Takes the window's input since the previous frame, in the order it came: the typed text, the
// left-button presses, and the presses of TAB and BACKSPACE, which edit the form, and of DOWN and
// UP, which scroll the list. Presses of other keys stay banked.
std::vector<canvas::InputEvent> takeFrameEvents(canvas::WindowState& window);

// What the window kept for one frame: its input in the order it came (takeFrameEvents), and
// whether the window has the keyboard focus; the system's double-click span, and the width of a
// text in the status's style.
struct FrameInput {
  std::vector<canvas::InputEvent> events;
  bool focused = true;
  canvas::DoubleClickSpan doubleClick;
  TextWidth statusWidth = estimatedTextWidth;
};

// One frame's decisions. First the input, one event after another in the order it came, each
// with all its effect before the next: typed text and TAB and BACKSPACE presses edit the form
// (screen_input.hpp); a left-button press, at the point where it was made however soon it was
// released, is a click on the tabs, the search box and the fields, the buttons, then a list row,
// which loads the record the row showed when the window last drew it. After each event the list
// returns to the top while the search has the focus, or when it is scrolled past its last match.
// Presses each within the system's double-click time and rectangle of the one before, with no key
// (DOWN and UP too), typed text or change of the window's focus between them, are one burst,
// whatever their count (a double- or triple-click), and a burst acts once: Save and Archive or
// Restore act on its first press only (the tabs, fields and rows on each). While a conflict
// status is up, a click on Save or Archive or Restore acts only when it starts a burst and comes
// a double-click time or more after the first frame that showed that status. After the input come
// the window's focus (a click that gave it has acted on what the window showed; a save it made
// read the store, and its status stays) and the scroll keys' presses.
void applyFrameInput(DirectoryScreenState& state, DirectoryView& view, const FrameInput& input);

// Keeps what the frame just drew (ShownScreen) for the clicks of the next frame's input, and when
// (`drawnAt`, the clock of the press times) a conflict status was first shown: the clicks that
// may keep the user's text over it come a double-click time or more after that.
void rememberShownScreen(DirectoryScreenState& state, const DirectoryView& view, std::uint32_t drawnAt = 0);

}  // namespace app
