// Keyboard and text input as the window procedure records it: banked key presses, modifier bits,
// typed text from UTF-16 units (surrogate pairs joined, control characters left out) and the IME
// composition text. Decisions on a WindowState only; windows.h is not needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas/window_state.hpp"

namespace canvas {

// Event codes of the last-event record.
inline constexpr std::int32_t kEventKeyDown = 100;
inline constexpr std::int32_t kEventKeyUp = 101;

// The Win32 virtual keys of the modifiers (VK_SHIFT, VK_CONTROL, VK_MENU) and their bits in
// WindowState::modifierMask.
inline constexpr std::uint64_t kVirtualKeyShift = 0x10;
inline constexpr std::uint64_t kVirtualKeyControl = 0x11;
inline constexpr std::uint64_t kVirtualKeyAlt = 0x12;
inline constexpr std::uint64_t kModifierShift = 1;
inline constexpr std::uint64_t kModifierControl = 2;
inline constexpr std::uint64_t kModifierAlt = 4;

// Records a WM_KEYDOWN/WM_SYSKEYDOWN (down) or WM_KEYUP/WM_SYSKEYUP: payloads, modifier mask,
// repeat flag, a banked press for a fresh down (at most 255 per key), and the stamp.
void recordKeyEvent(WindowState& window, std::uint64_t virtualKey, std::uint32_t keyFlags, bool down);

// Takes one banked press of a virtual key (1..255); false when none is banked.
bool takeKeyPress(WindowState& window, std::int32_t virtualKey);

// Clears every banked key press, and the key presses of the input log (focus loss, close).
void clearKeyPresses(WindowState& window);

// One step of a window's input, in the order it came: a run of typed text, a press of a key the
// application asked for, or a left-button press at its client point and the time it was made.
struct InputEvent {
  enum class Kind : std::uint8_t { kText, kKey, kLeftPress };
  Kind kind = Kind::kText;
  std::string text;             // kText: never empty
  std::int32_t virtualKey = 0;  // kKey
  ClientPoint point;            // kLeftPress
  std::uint32_t time = 0;       // kLeftPress: milliseconds of the system tick clock, which wraps
  friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

// How close two left-button presses must come, in time (milliseconds of the tick clock) and in
// place (the size of the rectangle centred on the first, in pixels), to make a double click.
struct DoubleClickSpan {
  std::uint32_t milliseconds = 500;
  std::int32_t width = 4;
  std::int32_t height = 4;
};

// Moves the window's input since the last call out, in the order it came: the typed text (leaving
// it empty) in runs between the presses, every banked press of the given keys (each taken from
// the bank, as takeKeyPress would) and every left-button press. Presses of other keys stay banked;
// the input log is emptied.
std::vector<InputEvent> takeInput(WindowState& window, const std::vector<std::int32_t>& virtualKeys);

// One UTF-16 unit of WM_CHAR/WM_IME_CHAR: a high surrogate waits for its low half; a low one without
// it is dropped; a value above 0xFFFF is no unit and is dropped; the code point goes to
// appendTypedCodePoint.
void handleCharUnit(WindowState& window, std::uint32_t unit);

// Appends a printable code point (32..0x10FFFF except 127 and surrogates) to typedText while it
// stays within 512 bytes; a character that does not fit is dropped whole.
void appendTypedCodePoint(WindowState& window, std::uint64_t codePoint);

// Appends a code point above 31 (not 127) to a composition text while it stays within 512 bytes.
void appendCompositionCodePoint(std::string& text, std::uint32_t codePoint);

// The composition text of a sequence of UTF-16 units: pairs joined, unpaired surrogates dropped.
std::string compositionFromUnits(const std::vector<std::uint16_t>& units);

// The number of UTF-16 units of an IME string of `byteSize` bytes read into a 512-byte buffer:
// 0 for a negative or zero size, else min(size, 512) rounded down to even, halved.
std::size_t imeUnitCount(std::int64_t byteSize);

}  // namespace canvas
