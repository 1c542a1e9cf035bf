#include "app/text_edit.hpp"

#include <gtest/gtest.h>

#include <string>

#include "runtime/text.hpp"

namespace app {
namespace {

TEST(EditTextStep, AppendsPrintableTextAndDropsControlCharacters) {
  EXPECT_EQ(editTextStep("Mo", "chi", false), "Mochi");
  EXPECT_EQ(editTextStep("", "a\tb\177c\n", false), "abc");
  EXPECT_EQ(editTextStep("x", "", false), "x");
}

TEST(EditTextStep, BackspaceRemovesTheLastWholeCharacterBeforeTyping) {
  EXPECT_EQ(editTextStep("abc", "", true), "ab");
  EXPECT_EQ(editTextStep("caf\xC3\xA9", "", true), "caf");
  EXPECT_EQ(editTextStep("a\xE2\x82\xAC", "", true), "a");
  EXPECT_EQ(editTextStep("\xF0\x9F\x90\xB1", "", true), "");
  EXPECT_EQ(editTextStep("", "", true), "");
  EXPECT_EQ(editTextStep("\x80\x80", "", true), "");
  EXPECT_EQ(editTextStep("ab", "Z", true), "aZ");
}

TEST(EditTextStep, NeverGrowsPastTheLimitAndAppendsOnlyWholeCharacters) {
  const std::string full(120, 'a');
  EXPECT_EQ(editTextStep(full, "b", false), full);

  const std::string almost(119, 'a');
  // A two-byte character does not fit into the last byte: nothing of it is stored, and a
  // following one-byte character still is.
  EXPECT_EQ(editTextStep(almost, "\xC3\xA9", false), almost);
  EXPECT_EQ(editTextStep(almost, "\xC3\xA9z", false), almost + "z");
  const std::string result = editTextStep(std::string(117, 'a'), "\xE2\x82\xAC\xE2\x82\xAC", false);
  EXPECT_EQ(result, std::string(117, 'a') + "\xE2\x82\xAC");
  EXPECT_TRUE(runtime::isStrictUtf8(result));

  std::string typed;
  for (int i = 0; i < 100; ++i) typed += "\xC3\xA9";
  const std::string long_value = editTextStep("", typed, false);
  EXPECT_EQ(long_value.size(), 120u);
  EXPECT_TRUE(runtime::isStrictUtf8(long_value));
}

TEST(EditTextStep, DropsMalformedUtf8SoTheFieldStaysValid) {
  EXPECT_EQ(editTextStep("a", "\200b", false), "ab");            // stray continuation byte
  EXPECT_EQ(editTextStep("a", "\303b", false), "ab");            // lead without continuation
  EXPECT_EQ(editTextStep("a", "\xC0\xAF", false), "a");          // overlong
  EXPECT_EQ(editTextStep("a", "\xED\xA0\x80", false), "a");      // surrogate
  EXPECT_EQ(editTextStep("a", "\xF4\x90\x80\x80", false), "a");  // above U+10FFFF
  EXPECT_EQ(editTextStep("a", "\xF0\x9F\x90\xB1", false), "a\xF0\x9F\x90\xB1");
}

TEST(EditTextStep, KeepsALongerStoredValueButAddsNothingToIt) {
  const std::string stored(130, 'q');
  EXPECT_EQ(editTextStep(stored, "x", false), stored);
  EXPECT_EQ(editTextStep(stored, "", true), std::string(129, 'q'));
}

}  // namespace
}  // namespace app
