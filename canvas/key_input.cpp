// Key banking, typed text and composition text of the window procedure.
#include "canvas/key_input.hpp"

#include <algorithm>
#include <utility>

#include "canvas/window_registry.hpp"
#include "runtime/utf8.hpp"

namespace canvas {

using runtime::encodeUtf8;
using runtime::isHighSurrogate;
using runtime::isLowSurrogate;
using runtime::joinSurrogates;

void recordKeyEvent(WindowState& window, std::uint64_t virtualKey, std::uint32_t keyFlags, bool down) {
  window.payloadA = virtualKey;
  window.payloadB = virtualKey;
  std::uint64_t bit = 0;
  if (virtualKey == kVirtualKeyShift) bit = kModifierShift;
  if (virtualKey == kVirtualKeyControl) bit = kModifierControl;
  if (virtualKey == kVirtualKeyAlt) bit = kModifierAlt;
  if (bit != 0) window.modifierMask = down ? (window.modifierMask | bit) : (window.modifierMask & ~bit);
  window.keyModifiers = window.modifierMask;
  // Bit 30: the key was already down; bits 1..15: a repeat count above 1.
  const bool repeat = (keyFlags & 0x4000FFFEu) != 0;
  window.keyRepeat = repeat ? 1 : 0;
  if (down && !repeat) {
    if (virtualKey <= 255 && window.pendingPresses[virtualKey] < 255) {
      ++window.pendingPresses[virtualKey];
      if (loggedPresses(window, false) < kKeyLogLimit) {
        window.inputLog.push_back(LoggedInput{window.typedText.size(), static_cast<std::uint8_t>(virtualKey), {}, 0});
      }
    }
    stampInputEvent(window, kEventKeyDown);
  } else {
    stampInputEvent(window, down ? kEventKeyDown : kEventKeyUp);
  }
}

bool takeKeyPress(WindowState& window, std::int32_t virtualKey) {
  if (virtualKey < 1 || virtualKey > 255) return false;
  std::uint8_t& pending = window.pendingPresses[static_cast<std::size_t>(virtualKey)];
  if (pending == 0) return false;
  --pending;
  return true;
}

void clearKeyPresses(WindowState& window) {
  window.pendingPresses.fill(0);
  std::erase_if(window.inputLog, [](const LoggedInput& logged) { return logged.virtualKey != 0; });
}

std::vector<InputEvent> takeInput(WindowState& window, const std::vector<std::int32_t>& virtualKeys) {
  const std::string text = std::exchange(window.typedText, std::string());
  const auto wanted = [&virtualKeys](std::int32_t key) {
    return std::find(virtualKeys.begin(), virtualKeys.end(), key) != virtualKeys.end();
  };
  std::vector<InputEvent> events;
  std::size_t done = 0;  // bytes of text already in events
  const auto textUpTo = [&](std::size_t offset) {
    if (offset > done) {
      events.push_back(InputEvent{InputEvent::Kind::kText, text.substr(done, offset - done), 0, {}, 0});
    }
    done = std::max(done, offset);
  };
  for (const LoggedInput& logged : window.inputLog) {
    const bool press = logged.virtualKey == 0;
    if (!press && !(wanted(logged.virtualKey) && takeKeyPress(window, logged.virtualKey))) continue;
    // The text may have been taken on its own since the press was logged: never point past it,
    // never go back.
    textUpTo(std::clamp(logged.textOffset, done, text.size()));
    events.push_back(press ? InputEvent{InputEvent::Kind::kLeftPress, {}, 0, logged.point, logged.time}
                           : InputEvent{InputEvent::Kind::kKey, {}, logged.virtualKey, {}, 0});
  }
  window.inputLog.clear();
  textUpTo(text.size());
  // Presses the full log could not hold are not lost: they count after all the text.
  for (const std::int32_t key : virtualKeys) {
    while (takeKeyPress(window, key)) events.push_back(InputEvent{InputEvent::Kind::kKey, {}, key, {}, 0});
  }
  return events;
}

void handleCharUnit(WindowState& window, std::uint32_t unit) {
  if (unit > 0xFFFF) {
    // Not a UTF-16 unit: dropped whole rather than cut to 16 bits (which could forge a surrogate).
    window.pendingHighSurrogate = 0;
    return;
  }
  if (isHighSurrogate(unit)) {
    window.pendingHighSurrogate = static_cast<std::uint16_t>(unit);
    return;
  }
  if (isLowSurrogate(unit)) {
    const std::uint32_t high = window.pendingHighSurrogate;
    window.pendingHighSurrogate = 0;
    if (!isHighSurrogate(high)) return;
    appendTypedCodePoint(window, joinSurrogates(high, unit));
    return;
  }
  window.pendingHighSurrogate = 0;
  appendTypedCodePoint(window, unit);
}

void appendTypedCodePoint(WindowState& window, std::uint64_t codePoint) {
  if (codePoint < 32 || codePoint > 0x10FFFF || codePoint == 127) return;
  const auto value = static_cast<std::uint32_t>(codePoint);
  if (isHighSurrogate(value) || isLowSurrogate(value)) return;
  const std::string bytes = encodeUtf8(value);
  if (window.typedText.size() + bytes.size() > kTypedTextLimitBytes) return;
  window.typedText += bytes;
  ++window.typedCount;
}

void appendCompositionCodePoint(std::string& text, std::uint32_t codePoint) {
  if (codePoint <= 31 || codePoint == 127) return;
  const std::string bytes = encodeUtf8(codePoint);
  if (bytes.empty() || text.size() + bytes.size() > kCompositionLimitBytes) return;
  text += bytes;
}

std::string compositionFromUnits(const std::vector<std::uint16_t>& units) {
  std::string text;
  std::uint32_t high = 0;
  for (std::uint16_t unit : units) {
    if (high != 0) {
      const std::uint32_t waiting = high;
      high = 0;
      if (isLowSurrogate(unit)) {
        appendCompositionCodePoint(text, joinSurrogates(waiting, unit));
        continue;
      }
      // The high surrogate is dropped; this unit is taken on its own below.
    }
    if (isHighSurrogate(unit)) {
      high = unit;
    } else if (!isLowSurrogate(unit)) {
      appendCompositionCodePoint(text, unit);
    }
  }
  return text;
}

std::size_t imeUnitCount(std::int64_t byteSize) {
  if (byteSize <= 0) return 0;
  std::int64_t bytes = byteSize > 512 ? 512 : byteSize;
  bytes &= ~std::int64_t{1};
  return static_cast<std::size_t>(bytes / 2);
}

}  // namespace canvas
