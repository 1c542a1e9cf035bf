// Small valid records and store snapshots shared by the tests of the admission protocol (the
// paint and image builders live in record_fixtures.hpp, which the benchmarks share).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/render_records.hpp"
#include "render/signatures.hpp"
#include "retained/retained_resource_store.hpp"
#include "retained/tests/record_fixtures.hpp"
#include "runtime/text.hpp"

namespace retained::testing {

using runtime::Text;

inline constexpr const char* kSurface = "surface-1";

inline render::CommandRecord drawCommand(std::int32_t sequence, const Text& owner, const Text& paintId = "") {
  render::CommandRecord command;
  command.sequence = sequence;
  command.owner = owner;
  command.kind = "rect";
  command.paintId = paintId;
  return command;
}

inline render::CommandRecord imageCommand(std::int32_t sequence, const Text& owner, const Text& imageId,
                                          std::int32_t generation) {
  render::CommandRecord command = drawCommand(sequence, owner);
  command.kind = "image";
  command.resourceId = imageId;
  command.imageGeneration = generation;
  return command;
}

// A valid fragment whose commands draw plain rectangles with the given sequences.
inline render::OwnerFragment fragmentOf(const Text& owner, std::int32_t generation,
                                        const std::vector<std::int32_t>& sequences) {
  render::OwnerFragment fragment;
  fragment.id = owner;
  fragment.generation = generation;
  fragment.layoutBounds = {0, 0, 10, 10};
  fragment.inkBounds = {0, 0, 10, 10};
  fragment.dependencySignature = {"k1", "k2", "k3", "k4", "k5", "deps"};
  fragment.source = "test";
  for (std::int32_t sequence : sequences) {
    fragment.commands.push_back(drawCommand(sequence, owner));
  }
  return fragment;
}

inline render::ResourceDelta emptyDelta(const Text& surface = kSurface) {
  render::ResourceDelta delta;
  delta.surfaceId = surface;
  return delta;
}

inline render::GlyphAlphaRecord glyphOf(char digit, std::int32_t width = 2, std::int32_t height = 2) {
  render::GlyphAlphaRecord glyph;
  glyph.id = "sha256:" + Text(64, digit);
  glyph.width = width;
  glyph.height = height;
  glyph.rowStride = width;
  glyph.sizeBytes = width * height;
  glyph.format = "a8-unorm-hex";
  glyph.payloadHex = Text(static_cast<std::size_t>(glyph.sizeBytes) * 2, 'f');
  glyph.source = "test";
  return glyph;
}

inline render::ClipRecord clipOf(const Text& id) { return render::ClipRecord{id, 0, 0, 5, 5, 0}; }

inline render::TransformRecord transformOf(const Text& id) { return render::TransformRecord{id, 1, 2, 100, 100, 0}; }

// Everything a caller can read of a store: its description, index figures and every row of
// every table through the public accessors. Two equal snapshots mean an unchanged store.
inline Text storeSnapshot(const RetainedResourceStore& store) {
  Text out = store.describe();
  auto line = [&out](const Text& text) {
    out += "\n";
    out += text;
  };
  line("keys=" + std::to_string(store.indexKeyCount()) + " probes=" + std::to_string(store.indexProbeCount()));
  for (std::uint32_t r = 0; r < store.paintCount(); ++r) {
    line(render::encodePaintSignature(store.storedPaint(static_cast<std::int32_t>(r))));
  }
  for (std::uint32_t r = 0; r < store.imageCount(); ++r) {
    line(render::encodeImageSignature(store.storedImage(static_cast<std::int32_t>(r))));
  }
  for (std::uint32_t r = 0; r < store.glyphCount(); ++r) {
    line(render::encodeGlyphSignature(store.storedGlyph(static_cast<std::int32_t>(r))));
  }
  for (std::uint32_t r = 0; r < store.clipCount(); ++r) {
    line(render::encodeClipSignature(store.storedClip(static_cast<std::int32_t>(r))));
  }
  for (std::uint32_t r = 0; r < store.transformCount(); ++r) {
    line(render::encodeTransformSignature(store.storedTransform(static_cast<std::int32_t>(r))));
  }
  for (std::uint32_t r = 0; r < store.commandCount(); ++r) {
    const auto row = static_cast<std::int32_t>(r);
    line("command " + std::to_string(store.commandOwner(row)) + " " + std::to_string(store.commandRef1(row)) + " " +
         std::to_string(store.commandRef2(row)) + " " + std::to_string(store.commandRef3(row)) + " " +
         std::to_string(store.commandRef4(row)) + " " + std::to_string(store.commandRef5(row)));
  }
  for (std::uint32_t o = 0; o < store.ownerCount(); ++o) {
    line("owner " + std::to_string(store.ownerGeneration(static_cast<std::int32_t>(o))));
  }
  return out;
}

}  // namespace retained::testing
