// The names the polling queries accept: key names of keyPressed and button names of
// mouseButtonDown, mapped to Win32 virtual-key codes. Matching ignores ASCII case.
#pragma once

#include <cstdint>
#include <string_view>

namespace canvas {

// The virtual key of a key name ("a".."z", "0".."9", "f1".."f12", "left", "up", "right", "down",
// "space", "enter"/"return", "tab", "backspace", "home", "end", "pageup", "pagedown",
// "escape"/"esc", "shift"), or 0 when the name is none of them.
std::int32_t virtualKeyForName(std::string_view name);

// VK_LBUTTON for "left"/"primary"/"l", VK_RBUTTON for "right"/"secondary"/"r", VK_MBUTTON for
// "middle"/"m"; 0 for anything else.
std::int32_t virtualButtonForName(std::string_view name);

}  // namespace canvas
