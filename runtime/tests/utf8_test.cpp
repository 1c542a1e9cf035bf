// One character at a time: lengths of well-formed and malformed characters, the start of the last
// character, the bytes of code points and surrogate pairs.
#include "runtime/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace runtime {
namespace {

TEST(Utf8Test, CharacterLengthAtAPosition) {
  struct Row {
    std::string text;
    std::size_t pos;
    std::size_t length;
  };
  const Row rows[] = {
      {"a", 0, 1},
      {std::string(1, '\0'), 0, 1},
      {"\x7F", 0, 1},
      {"x\xC3\xA9", 1, 2},
      {"\xE0\xA0\x80", 0, 3},
      {"\xED\x9F\xBF", 0, 3},      // U+D7FF
      {"\xF4\x8F\xBF\xBF", 0, 4},  // U+10FFFF
      {"\xC3\xA9", 1, 0},          // a continuation byte on its own
      {"\xC3", 0, 0},              // cut off by the end
      {"\xF0\x9F\x98", 0, 0},      // cut off by the end
      {"\xC3"
       "a",
       0, 0},
      {"\xC0\x80", 0, 0},          // overlong
      {"\xE0\x9F\xBF", 0, 0},      // overlong
      {"\xED\xA0\x80", 0, 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0, 0},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 0, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(utf8CharacterLength(row.text, row.pos), row.length) << ::testing::PrintToString(row.text);
  }
}

TEST(Utf8Test, LastCharacterStart) {
  EXPECT_EQ(utf8LastCharacterStart(""), 0u);
  EXPECT_EQ(utf8LastCharacterStart("ab"), 1u);
  EXPECT_EQ(utf8LastCharacterStart("a\xF0\x9F\x98\x80"), 1u);
  EXPECT_EQ(utf8LastCharacterStart("\x80\x80"), 0u);  // only continuation bytes
}

TEST(Utf8Test, EncodesCodePointsUpToU10FFFF) {
  EXPECT_EQ(encodeUtf8(0x41), "A");
  EXPECT_EQ(encodeUtf8(0x7FF), "\xDF\xBF");
  EXPECT_EQ(encodeUtf8(0x800), "\xE0\xA0\x80");
  EXPECT_EQ(encodeUtf8(0xFFFF), "\xEF\xBF\xBF");
  EXPECT_EQ(encodeUtf8(0x10000), "\xF0\x90\x80\x80");
  EXPECT_EQ(encodeUtf8(0x10FFFF), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(encodeUtf8(0x110000), "");
}

TEST(Utf8Test, SurrogatePairs) {
  EXPECT_TRUE(isHighSurrogate(0xD800));
  EXPECT_TRUE(isHighSurrogate(0xDBFF));
  EXPECT_FALSE(isHighSurrogate(0xDC00));
  EXPECT_TRUE(isLowSurrogate(0xDC00));
  EXPECT_TRUE(isLowSurrogate(0xDFFF));
  EXPECT_FALSE(isLowSurrogate(0xE000));
  EXPECT_EQ(joinSurrogates(0xD83D, 0xDE00), 0x1F600u);
  EXPECT_EQ(joinSurrogates(0xDBFF, 0xDFFF), 0x10FFFFu);
}

}  // namespace
}  // namespace runtime
