// Style classes and the UTF-8 sequence lengths of the text run walker.
#include "canvas/text_runs.hpp"

namespace canvas {

TextStyleClass textStyleClass(std::int32_t style) {
  if (style <= 249) return {15, 12, 4, 5};
  if (style == 330) return {28, 23, 8, 9};
  return {20, 16, 6, 7};
}

bool isUtf8Continuation(std::string_view text, std::size_t position, std::size_t offset) {
  const std::size_t index = position + offset;
  if (index >= text.size()) return false;
  return (static_cast<unsigned char>(text[index]) & 0xC0) == 0x80;
}

std::size_t unprintableSequenceLength(std::string_view text, std::size_t position) {
  const auto lead = static_cast<unsigned char>(text[position]);
  const auto second = [&]() -> unsigned {
    return position + 1 < text.size() ? static_cast<unsigned char>(text[position + 1]) : 0u;
  };
  if (lead >= 0xC2 && lead <= 0xDF) return isUtf8Continuation(text, position, 1) ? 2 : 1;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!isUtf8Continuation(text, position, 1) || !isUtf8Continuation(text, position, 2)) return 1;
    if (lead == 0xE0 && second() < 0xA0) return 1;  // overlong
    if (lead == 0xED && second() > 0x9F) return 1;  // surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!isUtf8Continuation(text, position, 1) || !isUtf8Continuation(text, position, 2) ||
        !isUtf8Continuation(text, position, 3)) {
      return 1;
    }
    if (lead == 0xF0 && second() < 0x90) return 1;  // overlong
    if (lead == 0xF4 && second() > 0x8F) return 1;  // above U+10FFFF
    return 4;
  }
  return 1;
}

}  // namespace canvas
