// Canonical signature lines: the worked lines byte for byte, the field forms at their edges, and
// that changing any one field of a record changes its line.
#include "render/signatures.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace render {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

const std::string kGlyphId = "sha256:" + std::string(64, 'c');

PaintRecord paint(Text id, std::int32_t r, std::int32_t g, std::int32_t b, std::int32_t a, std::int32_t radius,
                  std::int32_t border, std::int32_t opacity) {
  return {std::move(id), r, g, b, a, radius, border, opacity};
}

ImageRecord logoPlaceholder() {
  ImageRecord image;
  image.id = "logo";
  image.kind = "image";
  image.generation = 3;
  image.format = "bgra8-hex";
  image.colorSpace = "srgb";
  image.alphaMode = "straight";
  image.state = "loading";
  image.contentIdentity = "logo-v3";
  image.source = "ui";
  return image;
}

GlyphAlphaRecord twoPixelGlyph() { return {kGlyphId, 2, 1, 2, 2, "a8-unorm-hex", "00ff", "fonts"}; }

CommandRecord clipPushCommand() {
  CommandRecord command;
  command.sequence = 7;
  command.owner = "card";
  command.kind = "clipPush";
  command.clipId = "panel";
  command.transformId = "identity";
  return command;
}

OwnerFragment cardFragment(int commandCount) {
  OwnerFragment fragment;
  fragment.id = "card";
  fragment.generation = 2;
  fragment.layoutBounds = {0, 0, 100, 40};
  fragment.inkBounds = {-2, -2, 104, 44};
  fragment.dependencySignature = {"k1", "k2", "k3", "k4", "k5", "layout"};
  fragment.source = "ui";
  fragment.commands.resize(static_cast<std::size_t>(commandCount));
  return fragment;
}

const char* const kEmptyCommandLine =
    "command-v1|0|0:|0:|0:|0:|0:|0|0:|0:|0:|0|0|0|0|0:|0:|0:|0:|0:|0:"
    "|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|false|end|1|1|1";

struct LineCase {
  const char* name;
  std::function<Text()> encode;
  std::string expected;
};

TEST(SignaturesTest, LinesComeOutByteForByte) {
  CommandRecord braces;
  braces.owner = "{0}";
  braces.kind = "a|b";
  braces.inner.innerText4 = "{19}";
  braces.skipGlyphResolution = true;
  CommandRecord extremes;
  extremes.sequence = kMin;
  extremes.imageGeneration = kMax;
  extremes.attributeInt1 = kMin;
  extremes.attributeInt22 = kMax;
  OwnerFragment extremeFragment;
  extremeFragment.generation = kMax;
  extremeFragment.attribute = kMin;
  extremeFragment.layoutBounds = {kMin, kMax, -1, 0};

  const std::vector<LineCase> cases = {
      {"clip",
       [] {
         return encodeClipSignature({"panel", 0, -4, 120, 40, 6});
       },
       "clip-v1|5:panel|0|-4|120|40|6"},
      {"paint", [] { return encodePaintSignature(paint("accent", 255, 128, 0, 255, 4, 1, 100)); },
       "paint-v1|6:accent|255|128|0|255|4|1|100"},
      {"transform",
       [] {
         return encodeTransformSignature({"shift", 10, -20, 100, 100, 0});
       },
       "transform-v1|5:shift|10|-20|100|100|0"},
      {"image placeholder", [] { return encodeImageSignature(logoPlaceholder()); },
       "image-v1|4:logo|5:image|3|0|0|0|9:bgra8-hex|4:srgb|8:straight|7:loading|false|7:logo-v3|0:|2:ui"},
      {"glyph", [] { return encodeGlyphSignature(twoPixelGlyph()); },
       "glyph-v1|71:" + kGlyphId + "|2|1|2|2|12:a8-unorm-hex|4:00ff|5:fonts"},
      {"empty paint", [] { return encodePaintSignature({}); }, "paint-v1|0:|0|0|0|0|0|0|0"},
      {"empty image", [] { return encodeImageSignature({}); }, "image-v1|0:|0:|0|0|0|0|0:|0:|0:|0:|false|0:|0:|0:"},
      {"empty glyph", [] { return encodeGlyphSignature({}); }, "glyph-v1|0:|0|0|0|0|0:|0:|0:"},
      {"multi-byte id",
       [] {
         return encodeClipSignature({"\xC3\xA9", 1, 2, 3, 4, 5});
       },
       "clip-v1|2:\xC3\xA9|1|2|3|4|5"},
      {"bar inside id",
       [] {
         return encodeTransformSignature({"a|b", 0, 0, 1, 1, 0});
       },
       "transform-v1|3:a|b|0|0|1|1|0"},
      {"int32 extremes",
       [] {
         return encodeClipSignature({"x", kMin, kMax, -1, 0, kMin});
       },
       "clip-v1|1:x|-2147483648|2147483647|-1|0|-2147483648"},
      {"command", [] { return encodeCommandSignature(clipPushCommand()); },
       "command-v1|7|4:card|8:clipPush|0:|0:|0:|0|0:|5:panel|8:identity|0|0|0|0|0:|0:|0:|0:|0:|0:"
       "|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|false|end|1|1|1"},
      {"empty command", [] { return encodeCommandSignature({}); }, kEmptyCommandLine},
      {"placeholder syntax is data", [&] { return encodeCommandSignature(braces); },
       "command-v1|0|3:{0}|3:a|b|0:|0:|0:|0|0:|0:|0:|0|0|0|0|0:|0:|0:|0:|0:|4:{19}"
       "|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|true|end|1|1|1"},
      {"command extremes", [&] { return encodeCommandSignature(extremes); },
       "command-v1|-2147483648|0:|0:|0:|0:|0:|2147483647|0:|0:|0:|-2147483648|0|0|0|0:|0:|0:|0:|0:|0:"
       "|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|2147483647|false|end|1|1|1"},
      {"fragment", [] { return encodeFragmentSignature(cardFragment(3)); },
       "fragment-v1|4:card|2|0|0|0|100|40|-2|-2|104|44|2:k1|2:k2|2:k3|2:k4|2:k5|6:layout|2:ui|3"},
      {"fragment without commands", [] { return encodeFragmentSignature(cardFragment(0)); },
       "fragment-v1|4:card|2|0|0|0|100|40|-2|-2|104|44|2:k1|2:k2|2:k3|2:k4|2:k5|6:layout|2:ui|0"},
      {"fragment extremes", [&] { return encodeFragmentSignature(extremeFragment); },
       "fragment-v1|0:|2147483647|-2147483648|-2147483648|2147483647|-1|0|0|0|0|0|0:|0:|0:|0:|0:|0:|0:|0"},
      {"length prefix", [] { return lengthPrefixedField("{0}:|"); }, "5:{0}:|"},
      {"empty length prefix", [] { return lengthPrefixedField(""); }, "0:"},
      {"multi-byte length prefix", [] { return lengthPrefixedField("\xC3\xA9"); }, "2:\xC3\xA9"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.encode(), c.expected);
  }
}

// Every field of a command, changed one at a time, must show in the line.
TEST(SignaturesTest, EveryCommandFieldChangesTheLine) {
  std::vector<std::function<void(CommandRecord&)>> changes = {
      [](CommandRecord& c) { c.sequence = 1; },
      [](CommandRecord& c) { c.owner = "o"; },
      [](CommandRecord& c) { c.kind = "k"; },
      [](CommandRecord& c) { c.attributeText1 = "t"; },
      [](CommandRecord& c) { c.attributeText2 = "t"; },
      [](CommandRecord& c) { c.resourceId = "r"; },
      [](CommandRecord& c) { c.imageGeneration = 1; },
      [](CommandRecord& c) { c.paintId = "p"; },
      [](CommandRecord& c) { c.clipId = "c"; },
      [](CommandRecord& c) { c.transformId = "t"; },
      [](CommandRecord& c) { c.attributeText3 = "t"; },
      [](CommandRecord& c) { c.attributeText4 = "t"; },
      [](CommandRecord& c) { c.inner.innerText1 = "i"; },
      [](CommandRecord& c) { c.inner.innerText2 = "i"; },
      [](CommandRecord& c) { c.inner.innerText3 = "i"; },
      [](CommandRecord& c) { c.inner.innerText4 = "i"; },
  };
  std::int32_t CommandRecord::*const integers[] = {
      &CommandRecord::attributeInt1,  &CommandRecord::attributeInt2,  &CommandRecord::attributeInt3,
      &CommandRecord::attributeInt4,  &CommandRecord::attributeInt5,  &CommandRecord::attributeInt6,
      &CommandRecord::attributeInt7,  &CommandRecord::attributeInt8,  &CommandRecord::attributeInt9,
      &CommandRecord::attributeInt10, &CommandRecord::attributeInt11, &CommandRecord::attributeInt12,
      &CommandRecord::attributeInt13, &CommandRecord::attributeInt14, &CommandRecord::attributeInt15,
      &CommandRecord::attributeInt16, &CommandRecord::attributeInt17, &CommandRecord::attributeInt18,
      &CommandRecord::attributeInt19, &CommandRecord::attributeInt20, &CommandRecord::attributeInt21,
      &CommandRecord::attributeInt22};
  for (auto field : integers) changes.push_back([field](CommandRecord& c) { c.*field = -1; });
  changes.push_back([](CommandRecord& c) { c.skipGlyphResolution = true; });
  ASSERT_EQ(changes.size(), 39u);

  std::vector<Text> lines = {encodeCommandSignature({})};
  for (std::size_t i = 0; i < changes.size(); ++i) {
    CommandRecord command;
    changes[i](command);
    lines.push_back(encodeCommandSignature(command));
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (std::size_t j = i + 1; j < lines.size(); ++j) EXPECT_NE(lines[i], lines[j]) << i << " and " << j;
  }
  // The flag is the fifth field from the end and changes nothing else.
  EXPECT_EQ(lines.back(),
            std::string(kEmptyCommandLine).replace(std::string(kEmptyCommandLine).rfind("false"), 5, "true"));
}

TEST(SignaturesTest, LengthPrefixesKeepShiftedTextsApart) {
  CommandRecord left;
  left.attributeText1 = "a|1:b";
  CommandRecord right;
  right.attributeText1 = "a";
  right.attributeText2 = "b";
  EXPECT_NE(encodeCommandSignature(left), encodeCommandSignature(right));

  ImageRecord ready = logoPlaceholder();
  ready.payloadHex = "00112233";
  ImageRecord otherDigit = ready;
  otherDigit.payloadHex[7] = '4';
  ImageRecord resident = ready;
  resident.resident = true;
  EXPECT_NE(encodeImageSignature(ready), encodeImageSignature(otherDigit));
  EXPECT_NE(encodeImageSignature(ready), encodeImageSignature(resident));
  EXPECT_EQ(encodeImageSignature(ready), encodeImageSignature(ImageRecord(ready)));
}

TEST(SignaturesTest, AFragmentLineHoldsOnlyTheNumberOfItsCommands) {
  OwnerFragment fragment = cardFragment(2);
  const Text before = encodeFragmentSignature(fragment);
  fragment.commands[0] = clipPushCommand();
  EXPECT_EQ(encodeFragmentSignature(fragment), before);
  fragment.commands.pop_back();
  EXPECT_NE(encodeFragmentSignature(fragment), before);
  fragment.dependencySignature.source = "other";
  EXPECT_NE(encodeFragmentSignature(fragment), encodeFragmentSignature(cardFragment(1)));
}

}  // namespace
}  // namespace render
