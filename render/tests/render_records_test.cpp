// The render records as plain values: defaults, deep copies and moves that leave a usable source.
#include "render/render_records.hpp"

#include <gtest/gtest.h>

#include <utility>

#include "render/signatures.hpp"

namespace render {
namespace {

TEST(RenderRecordsTest, ValuesMadeWithoutArgumentsAreEmptyZeroAndFalse) {
  const CommandRecord command;
  EXPECT_EQ(command.sequence, 0);
  EXPECT_TRUE(command.owner.empty());
  EXPECT_TRUE(command.inner.innerText4.empty());
  EXPECT_EQ(command.attributeInt1, 0);
  EXPECT_EQ(command.attributeInt22, 0);
  EXPECT_FALSE(command.skipGlyphResolution);
  EXPECT_EQ(encodeCommandSignature(CommandRecord(command)), encodeCommandSignature(command));

  const ImageRecord image;
  EXPECT_FALSE(image.resident);
  EXPECT_EQ(image.generation, 0);
  const OwnerFragment fragment;
  EXPECT_EQ(fragment.inkBounds.height, 0);
  EXPECT_TRUE(fragment.commands.empty());
  const ResourceDelta delta;
  EXPECT_TRUE(delta.surfaceId.empty());
  EXPECT_TRUE(delta.paints.empty() && delta.images.empty() && delta.glyphAlphas.empty() && delta.clips.empty() &&
              delta.transforms.empty());
}

TEST(RenderRecordsTest, CopyingAFragmentCopiesEveryCommand) {
  OwnerFragment source;
  source.id = "card";
  source.dependencySignature = {"k1", "k2", "k3", "k4", "k5", "layout"};
  for (int i = 0; i < 3; ++i) {
    CommandRecord command;
    command.sequence = i + 1;
    command.owner = "card";
    command.inner.innerText2 = "inner";
    source.commands.push_back(command);
  }
  OwnerFragment copy = source;
  copy.commands[1].owner = "other";
  copy.commands[1].inner.innerText2 = "changed";
  copy.dependencySignature.key3 = "changed";
  EXPECT_EQ(source.commands[1].owner, "card");
  EXPECT_EQ(source.commands[1].inner.innerText2, "inner");
  EXPECT_EQ(source.dependencySignature.key3, "k3");
  EXPECT_EQ(copy.commands.size(), 3u);
  EXPECT_EQ(copy.commands[2].sequence, 3);
}

TEST(RenderRecordsTest, AMovedFromImageCanBeAssignedAndDestroyed) {
  ImageRecord source;
  source.id = "photo";
  source.payloadHex.assign(2 * 1048576, 'a');
  ImageRecord moved = std::move(source);
  EXPECT_EQ(moved.payloadHex.size(), 2u * 1048576u);
  EXPECT_EQ(moved.id, "photo");
  source = ImageRecord();
  source.id = "again";
  EXPECT_EQ(source.id, "again");
  EXPECT_TRUE(source.payloadHex.empty());
}

}  // namespace
}  // namespace render
