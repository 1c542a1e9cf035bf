// Style classes and the UTF-8 run walker of DrawTextStyled.
#include "canvas/text_runs.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace canvas {
namespace {

// What the walker would draw: runs as their bytes, each mark as "?".
std::string drawn(std::string_view text) {
  std::string out;
  walkTextRuns(
      text, [&](std::size_t start, std::size_t length) { out += "[" + std::string(text.substr(start, length)) + "]"; },
      [&] { out += "?"; });
  return out;
}

TEST(TextStyleTest, StyleValuesPickTheirFontSize) {
  EXPECT_EQ(textStyleClass(249).pixelHeight, 15);
  EXPECT_EQ(textStyleClass(249).baselineOffset, 12);
  EXPECT_EQ(textStyleClass(-5).pixelHeight, 15);
  EXPECT_EQ(textStyleClass(330).pixelHeight, 28);
  EXPECT_EQ(textStyleClass(330).baselineOffset, 23);
  EXPECT_EQ(textStyleClass(329).pixelHeight, 20);
  EXPECT_EQ(textStyleClass(331).pixelHeight, 20);
  EXPECT_EQ(textStyleClass(250).baselineOffset, 16);
  EXPECT_EQ(textStyleClass(330).regularSlot, 8);
  EXPECT_EQ(textStyleClass(330).boldSlot, 9);
  EXPECT_EQ(textStyleClass(100).regularSlot, 4);
  EXPECT_EQ(textStyleClass(300).boldSlot, 7);
}

TEST(TextRunsTest, PrintableAsciiIsOneRunAndEachCharacterOneMark) {
  EXPECT_EQ(drawn("abc\xC3\xA9"), "[abc]?");
  EXPECT_EQ(drawn("\xE9"
                  "a"),
            "?[a]");
  EXPECT_EQ(drawn("a\tb"), "[a]?[b]");
  EXPECT_EQ(drawn("\xE2\x82\xAC 5"), "?[ 5]");  // euro sign
  EXPECT_EQ(drawn("\xF0\x9F\x98\x80!"), "?[!]");
  EXPECT_EQ(drawn(""), "");
  EXPECT_EQ(drawn("\x7F"), "?");
}

TEST(TextRunsTest, MalformedSequencesShowOneMarkPerByte) {
  EXPECT_EQ(drawn("\xC0\x80"), "??");            // overlong lead bytes
  EXPECT_EQ(drawn("\xE0\x80\x80"), "???");       // overlong three-byte form
  EXPECT_EQ(drawn("\xED\xA0\x80"), "???");       // surrogate
  EXPECT_EQ(drawn("\xF0\x80\x80\x80"), "????");  // overlong four-byte form
  EXPECT_EQ(drawn("\xF4\x90\x80\x80"), "????");  // above U+10FFFF
  EXPECT_EQ(drawn("\xF5\x80"), "??");
  EXPECT_EQ(drawn("\xE2\x82"), "??");  // truncated at the end
  EXPECT_EQ(drawn("\xC3"
                  "a"),
            "?[a]");
}

TEST(TextRunsTest, AWellFormedCharacterOutsideAsciiIsOneMark) {
  EXPECT_EQ(unprintableSequenceLength("\xEF\xBF\xBF", 0), 3u);
  EXPECT_EQ(unprintableSequenceLength("\xF4\x8F\xBF\xBF", 0), 4u);
  EXPECT_EQ(unprintableSequenceLength("\xC3", 0), 1u);
  EXPECT_EQ(unprintableSequenceLength("\x07", 0), 1u);
}

TEST(TextWidthTest, PrintableBytesAddTheirAdvancesAndEachMarkTheAdvanceOfAQuestionMark) {
  GlyphAdvances advances{};
  for (std::size_t i = 0; i < advances.size(); ++i) advances[i] = static_cast<std::int32_t>(i % 7 + 1);
  const auto of = [&](char c) { return advances[static_cast<std::size_t>(c - ' ')]; };
  const std::pair<std::string_view, std::int32_t> table[] = {
      {"", 0},
      {"Wi i", of('W') + 2 * of('i') + of(' ')},
      {"\xC3\xA9", of('?')},
      {"\t\n\x7F", 3 * of('?')},
      {"\xE2\x82", 2 * of('?')},  // a cut-off sequence: a mark per byte
  };
  for (const auto& [text, width] : table) EXPECT_EQ(textAdvanceWidth(text, advances), width) << text;
}

}  // namespace
}  // namespace canvas
