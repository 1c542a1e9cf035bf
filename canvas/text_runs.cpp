// Style classes and the UTF-8 sequence lengths of the text run walker.
#include "canvas/text_runs.hpp"

#include "runtime/utf8.hpp"

namespace canvas {

TextStyleClass textStyleClass(std::int32_t style) {
  if (style <= 249) return {15, 12, 4, 5};
  if (style == 330) return {28, 23, 8, 9};
  return {20, 16, 6, 7};
}

std::size_t unprintableSequenceLength(std::string_view text, std::size_t position) {
  const std::size_t length = runtime::utf8CharacterLength(text, position);
  return length == 0 ? 1 : length;
}

}  // namespace canvas
