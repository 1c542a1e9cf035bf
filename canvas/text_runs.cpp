// Style classes, the UTF-8 sequence lengths of the text run walker and the width it advances.
#include "canvas/text_runs.hpp"

#include <algorithm>
#include <limits>

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

std::int32_t textAdvanceWidth(std::string_view text, const GlyphAdvances& advances) {
  const auto advanceOf = [&advances](char c) {
    return static_cast<std::int64_t>(advances[static_cast<std::size_t>(c - kFirstPrintable)]);
  };
  std::int64_t width = 0;
  walkTextRuns(
      text,
      [&](std::size_t start, std::size_t length) {
        for (const char c : text.substr(start, length)) width += advanceOf(c);
      },
      [&] { width += advanceOf('?'); });
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(width, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace canvas
