// The directory screen's decisions on one frame's input: which press hits what, the focus,
// the edit of the focused text and scrolling. Pure functions of the state and the input, so
// the frame loop only polls and hands the answers here.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/directory_screen_state.hpp"
#include "app/screen_layout.hpp"
#include "runtime/text.hpp"

namespace app {

// Answers whether the pointer is over a rectangle. The frame loop asks the window runtime
// afresh for every question; tests use a fixed point.
using PointerProbe = std::function<bool(const Rect&)>;

PointerProbe pointerAt(std::int32_t x, std::int32_t y);
PointerProbe pointerNowhere();

// Makes the form a new record of its own: no id, no name or detail, not archived, and no earlier
// save of a new record that may still reach the store. The owner text stays.
void emptyForm(DirectoryScreenState& state);

// A press in this frame, hit-tested with `at`: on a tab it switches the kind and empties the
// form (the owner text, the search text and the focus stay), on the search box or a form field it
// focuses it. Returns whether this frame holds a click.
bool applyPress(DirectoryScreenState& state, bool pressed, const PointerProbe& at);

// TAB moves the focus 0, 1, 2, 3 and round to 0.
void applyTabKey(DirectoryScreenState& state);

// Typed text goes to the focused text.
void applyTypedText(DirectoryScreenState& state, std::string_view text);

// TAB moves the focus (applyTabKey), BACKSPACE removes the focused text's last character; other
// keys change nothing.
void applyEditKey(DirectoryScreenState& state, std::int32_t virtualKey);

// Each DOWN press scrolls one record further, then each UP press one back (never below 0).
void applyScrollKeys(DirectoryScreenState& state, std::int32_t downPresses, std::int32_t upPresses);

}  // namespace app
