// How DrawTextStyled lays a UTF-8 text onto bitmap-font glyph lists: which font size a style value
// picks and where its baseline sits, the walk that splits the bytes into runs of printable ASCII
// (drawn as they are) and "?" marks (one per character the fonts cannot show), and the width that
// walk advances.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace canvas {

// Font size class of a style value: up to 249 -> 15 px (baseline 12); exactly 330 -> 28 px (23);
// anything else -> 20 px (16). The slots are the indexes of the weight-400 and weight-700 fonts.
struct TextStyleClass {
  int pixelHeight;
  int baselineOffset;
  int regularSlot;
  int boldSlot;
};
TextStyleClass textStyleClass(std::int32_t style);

// The number of bytes one non-printable or non-ASCII lead byte at `position` stands for: the whole
// well-formed character, or 1 for a control character or a byte of a malformed sequence.
std::size_t unprintableSequenceLength(std::string_view text, std::size_t position);

// Walks the text: `run(start, length)` for each maximal run of bytes 0x20..0x7E, `mark()` for each
// character shown as "?". Allocates nothing.
template <typename RunFn, typename MarkFn>
void walkTextRuns(std::string_view text, RunFn&& run, MarkFn&& mark) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte <= 0x7E) {
      std::size_t end = i + 1;
      while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x20 &&
             static_cast<unsigned char>(text[end]) <= 0x7E) {
        ++end;
      }
      run(i, end - i);
      i = end;
    } else {
      mark();
      i += unprintableSequenceLength(text, i);
    }
  }
}

// The advance in pixels of each printable ASCII character of a font, from ' ' (index 0) to '~'.
inline constexpr char kFirstPrintable = ' ';
inline constexpr char kLastPrintable = '~';
using GlyphAdvances = std::array<std::int32_t, kLastPrintable - kFirstPrintable + 1>;

// The width the walk of the text advances with these glyphs: each printable byte's advance, and the
// advance of '?' for each mark. Held to the int32 range.
std::int32_t textAdvanceWidth(std::string_view text, const GlyphAdvances& advances);

}  // namespace canvas
