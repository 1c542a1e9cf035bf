// The window's input events as a frame of the screen takes them, made by hand.
#pragma once

#include <cstdint>
#include <string>

#include "app/screen_layout.hpp"
#include "canvas/key_input.hpp"

namespace app {

// Press times a second apart, as a person clicks: no two presses make a double click.
inline std::uint32_t nextPressTime() {
  static std::uint32_t time = 0;
  return time += 1000;
}

inline canvas::InputEvent pressAt(std::int32_t x, std::int32_t y, std::uint32_t time = nextPressTime()) {
  return canvas::InputEvent{canvas::InputEvent::Kind::kLeftPress, {}, 0, {x, y}, time};
}
inline canvas::InputEvent pressOn(const Rect& rect) { return pressAt(rect.x + 5, rect.y + 5); }
inline canvas::InputEvent typedText(std::string text) {
  return canvas::InputEvent{canvas::InputEvent::Kind::kText, std::move(text), 0, {}, 0};
}
inline canvas::InputEvent keyPress(std::int32_t virtualKey) {
  return canvas::InputEvent{canvas::InputEvent::Kind::kKey, {}, virtualKey, {}, 0};
}

}  // namespace app
