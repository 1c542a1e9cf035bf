// Canonical signature lines: the worked lines byte for byte, every command and fragment field in
// its place, the field forms at their edges, and what a fragment line leaves out.
#include "render/signatures.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace render {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

ImageRecord logoPlaceholder() {
  return {"logo", "image", 3, 0, 0, 0, "bgra8-hex", "srgb", "straight", "loading", false, "logo-v3", "", "ui"};
}

OwnerFragment cardFragment(int commandCount) {
  OwnerFragment fragment{"card", 2, 0, {0, 0, 100, 40}, {-2, -2, 104, 44}, {"k1", "k2", "k3", "k4", "k5", "layout"}};
  fragment.source = "ui";
  fragment.commands.resize(static_cast<std::size_t>(commandCount));
  return fragment;
}

// A command whose every field holds a value of its own, so each field's place shows in the line.
CommandRecord distinctCommand() {
  CommandRecord c{
      kMin, "o", "k", "t1", "t2", "r", kMax, "p", "c", "x", 1, 2, 3, 4, "t3", "t4", {"i1", "i2", "{0}", "a|b"}};
  c.attributeInt5 = 5;
  c.attributeInt13 = -13;
  c.attributeInt22 = 22;
  c.skipGlyphResolution = true;
  return c;
}

TEST(SignaturesTest, LinesComeOutByteForByte) {
  const std::string glyphId = "sha256:" + std::string(64, 'c');
  CommandRecord clipPush;
  clipPush.sequence = 7;
  clipPush.owner = "card";
  clipPush.kind = "clipPush";
  clipPush.clipId = "panel";
  clipPush.transformId = "identity";
  OwnerFragment extremeFragment{"", kMax, kMin, {kMin, kMax, -1, 0}};

  const struct {
    const char* name;
    Text line;
    std::string expected;
  } cases[] = {
      {"clip", encodeClipSignature({"panel", 0, -4, 120, 40, 6}), "clip-v1|5:panel|0|-4|120|40|6"},
      {"paint", encodePaintSignature({"accent", 255, 128, 0, 255, 4, 1, 100}),
       "paint-v1|6:accent|255|128|0|255|4|1|100"},
      {"transform", encodeTransformSignature({"shift", 10, -20, 100, 100, 0}), "transform-v1|5:shift|10|-20|100|100|0"},
      {"image placeholder", encodeImageSignature(logoPlaceholder()),
       "image-v1|4:logo|5:image|3|0|0|0|9:bgra8-hex|4:srgb|8:straight|7:loading|false|7:logo-v3|0:|2:ui"},
      {"glyph", encodeGlyphSignature({glyphId, 2, 1, 2, 2, "a8-unorm-hex", "00ff", "fonts"}),
       "glyph-v1|71:" + glyphId + "|2|1|2|2|12:a8-unorm-hex|4:00ff|5:fonts"},
      {"empty paint", encodePaintSignature({}), "paint-v1|0:|0|0|0|0|0|0|0"},
      {"empty image", encodeImageSignature({}), "image-v1|0:|0:|0|0|0|0|0:|0:|0:|0:|false|0:|0:|0:"},
      {"empty glyph", encodeGlyphSignature({}), "glyph-v1|0:|0|0|0|0|0:|0:|0:"},
      {"empty clip", encodeClipSignature({}), "clip-v1|0:|0|0|0|0|0"},
      {"empty transform", encodeTransformSignature({}), "transform-v1|0:|0|0|0|0|0"},
      {"multi-byte id", encodeClipSignature({"\xC3\xA9", 1, 2, 3, 4, 5}), "clip-v1|2:\xC3\xA9|1|2|3|4|5"},
      {"bar inside id", encodeTransformSignature({"a|b", 0, 0, 1, 1, 0}), "transform-v1|3:a|b|0|0|1|1|0"},
      {"int32 extremes", encodeClipSignature({"x", kMin, kMax, -1, 0, kMin}),
       "clip-v1|1:x|-2147483648|2147483647|-1|0|-2147483648"},
      {"command", encodeCommandSignature(clipPush),
       "command-v1|7|4:card|8:clipPush|0:|0:|0:|0|0:|5:panel|8:identity|0|0|0|0|0:|0:|0:|0:|0:|0:"
       "|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|false|end|1|1|1"},
      {"empty command", encodeCommandSignature({}),
       "command-v1|0|0:|0:|0:|0:|0:|0|0:|0:|0:|0|0|0|0|0:|0:|0:|0:|0:|0:"
       "|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|false|end|1|1|1"},
      {"every command field in its place, placeholder syntax as data", encodeCommandSignature(distinctCommand()),
       "command-v1|-2147483648|1:o|1:k|2:t1|2:t2|1:r|2147483647|1:p|1:c|1:x|1|2|3|4|2:t3|2:t4|2:i1|2:i2|3:{0}|3:a|b"
       "|5|0|0|0|0|0|0|0|-13|0|0|0|0|0|0|0|0|22|true|end|1|1|1"},
      {"fragment", encodeFragmentSignature(cardFragment(3)),
       "fragment-v1|4:card|2|0|0|0|100|40|-2|-2|104|44|2:k1|2:k2|2:k3|2:k4|2:k5|6:layout|2:ui|3"},
      {"fragment without commands", encodeFragmentSignature(cardFragment(0)),
       "fragment-v1|4:card|2|0|0|0|100|40|-2|-2|104|44|2:k1|2:k2|2:k3|2:k4|2:k5|6:layout|2:ui|0"},
      {"fragment extremes", encodeFragmentSignature(extremeFragment),
       "fragment-v1|0:|2147483647|-2147483648|-2147483648|2147483647|-1|0|0|0|0|0|0:|0:|0:|0:|0:|0:|0:|0"},
      {"length prefix", lengthPrefixedField("{0}:|"), "5:{0}:|"},
      {"empty length prefix", lengthPrefixedField(""), "0:"},
      {"multi-byte length prefix", lengthPrefixedField("\xC3\xA9"), "2:\xC3\xA9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.line, c.expected) << c.name;
    // Lines are kept by the thousand: each is built in storage of its own length, not of the
    // longest line its fields could make (a short line stays in the string's inline buffer).
    EXPECT_LT(c.line.capacity(), c.line.size() + 16) << c.name;
  }
}

TEST(SignaturesTest, OneChangedFieldChangesTheLine) {
  CommandRecord left;
  left.attributeText1 = "a|1:b";
  CommandRecord right;
  right.attributeText1 = "a";
  right.attributeText2 = "b";
  EXPECT_NE(encodeCommandSignature(left), encodeCommandSignature(right));
  const CommandRecord copy = distinctCommand();
  EXPECT_EQ(encodeCommandSignature(copy), encodeCommandSignature(distinctCommand()));

  ImageRecord ready = logoPlaceholder();
  ready.payloadHex = "00112233";
  ImageRecord otherDigit = ready;
  otherDigit.payloadHex[7] = '4';
  ImageRecord resident = ready;
  resident.resident = true;
  EXPECT_NE(encodeImageSignature(ready), encodeImageSignature(otherDigit));
  EXPECT_NE(encodeImageSignature(ready), encodeImageSignature(resident));
}

TEST(SignaturesTest, AFragmentLineHoldsOnlyTheNumberOfItsCommands) {
  OwnerFragment fragment = cardFragment(2);
  const Text before = encodeFragmentSignature(fragment);
  fragment.commands[0] = distinctCommand();
  EXPECT_EQ(encodeFragmentSignature(fragment), before);
  fragment.commands.pop_back();
  EXPECT_NE(encodeFragmentSignature(fragment), before);
}

}  // namespace
}  // namespace render
