#include "app/text_edit.hpp"

#include <cstdint>

namespace app {

namespace {

bool isContinuation(std::uint8_t byte) { return byte >= 0x80 && byte <= 0xBF; }

// Length of the well-formed UTF-8 character starting at pos, or 0 when the bytes there do
// not form one (RFC 3629: no overlongs, surrogates or values above U+10FFFF).
std::size_t characterLength(const runtime::Text& text, std::size_t pos) {
  const auto at = [&](std::size_t i) -> int {
    return pos + i < text.size() ? static_cast<std::uint8_t>(text[pos + i]) : -1;
  };
  const int lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  int secondLow = 0x80;
  int secondHigh = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return 0;
  }
  const int second = at(1);
  if (second < secondLow || second > secondHigh) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    const int next = at(i);
    if (next < 0 || !isContinuation(static_cast<std::uint8_t>(next))) return 0;
  }
  return length;
}

}  // namespace

runtime::Text editTextStep(runtime::Text value, const runtime::Text& typed, bool backspace) {
  if (backspace && !value.empty()) {
    std::size_t pos = value.size() - 1;
    while (pos > 0 && isContinuation(static_cast<std::uint8_t>(value[pos]))) --pos;
    value.resize(pos);
  }
  std::size_t pos = 0;
  while (pos < typed.size()) {
    const auto byte = static_cast<std::uint8_t>(typed[pos]);
    const std::size_t length = characterLength(typed, pos);
    if (length == 0) {
      ++pos;  // a malformed byte is dropped on its own; the walk resynchronises on the next
      continue;
    }
    const bool control = length == 1 && (byte < 32 || byte == 127);
    if (!control && value.size() + length <= kFieldByteLimit) value.append(typed, pos, length);
    pos += length;
  }
  return value;
}

}  // namespace app
