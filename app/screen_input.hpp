// The directory screen's decisions on one frame's input: which press hits what, the focus,
// the edit of the focused text and scrolling. Pure functions of the state and the input, so
// the frame loop only polls and hands the answers here.
#pragma once

#include <cstdint>
#include <functional>

#include "app/directory_screen_state.hpp"
#include "app/screen_layout.hpp"
#include "runtime/text.hpp"

namespace app {

// Answers whether the pointer is over a rectangle. The frame loop asks the window runtime
// afresh for every question; tests use a fixed point.
using PointerProbe = std::function<bool(const Rect&)>;

PointerProbe pointerAt(std::int32_t x, std::int32_t y);
PointerProbe pointerNowhere();

// The left button's press edge: when down and it was not down in the previous frame, a press
// on a tab switches the kind and empties the form (the owner text, the search text and the
// focus stay), a press on the search box or a form field focuses it. Returns whether this
// frame holds a click.
bool applyPress(DirectoryScreenState& state, bool down, const PointerProbe& pointer);

// TAB moves the focus 0, 1, 2, 3 and round to 0.
void applyTabKey(DirectoryScreenState& state);

// Edits the focused text with this frame's typed text and BACKSPACE. While the search has the
// focus the list is scrolled back to the top in every frame.
void applyTyping(DirectoryScreenState& state, const runtime::Text& typed, bool backspace);

// DOWN scrolls one record further, then UP one back (never below 0).
void applyScrollKeys(DirectoryScreenState& state, bool down, bool up);

}  // namespace app
