// The value types of retained rendering: the five resource kinds that draw commands refer to
// (paint, image, glyph alpha, clip, transform), the draw command, the owner fragment that carries
// one owner's commands, and the resource delta submitted with a fragment.
// Every type is a plain value: it owns its texts and lists, copies deeply, moves cheaply and
// enforces nothing on construction; admissibility is decided by the validators and the retained
// store. Fields are declared in the order the canonical signatures write them: reordering a field
// changes every signature line. The five resource kinds compare equal when every field does, in
// declaration order, payloads included in their place: the retained store's admission takes a
// record it already holds as the same record only then.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/text.hpp"

namespace render {

using runtime::Text;

// A colour with corner radius, border width and opacity.
struct PaintRecord {
  Text id;                 // admitted when 1 to 256 bytes
  std::int32_t red = 0;    // 0..255
  std::int32_t green = 0;  // 0..255
  std::int32_t blue = 0;   // 0..255
  std::int32_t alpha = 0;  // 0..255
  std::int32_t radius = 0;
  std::int32_t borderWidth = 0;
  std::int32_t opacity = 0;  // percent, 0..100

  bool operator==(const PaintRecord&) const = default;
};

// One generation of a BGRA8 image, or a placeholder ("loading", "empty", "error") for one.
struct ImageRecord {
  Text id;
  Text kind;                    // always "image"
  std::int32_t generation = 0;  // a command names one generation of an image by id and generation
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t sizeBytes = 0;  // width * height * 4 for a ready image
  Text format;                 // "bgra8-hex"
  Text colorSpace;
  Text alphaMode;
  Text state;             // "ready", "loading", "empty" or "error"
  bool resident = false;  // the pixels are present in payloadHex
  Text contentIdentity;
  Text payloadHex;  // each pixel byte as two hexadecimal digits
  Text source;

  bool operator==(const ImageRecord&) const = default;
};

// An 8-bit coverage mask of a glyph, named by its content hash.
struct GlyphAlphaRecord {
  Text id;  // "sha256:" followed by 64 hexadecimal digits
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t rowStride = 0;  // equal to width: rows tightly packed, one byte per pixel
  std::int32_t sizeBytes = 0;  // width * height
  Text format;                 // "a8-unorm-hex"
  Text payloadHex;             // 2 * sizeBytes hexadecimal digits
  Text source;

  bool operator==(const GlyphAlphaRecord&) const = default;
};

// A rounded clipping rectangle.
struct ClipRecord {
  Text id;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t radius = 0;

  bool operator==(const ClipRecord&) const = default;
};

// A 2-D transform in integer units. The id "identity" names the built-in identity transform and
// is never admitted as a record.
struct TransformRecord {
  Text id;
  std::int32_t translateX = 0;
  std::int32_t translateY = 0;
  std::int32_t scalePercentX = 0;
  std::int32_t scalePercentY = 0;
  std::int32_t rotationMillidegrees = 0;

  bool operator==(const TransformRecord&) const = default;
};

// Four renderer attribute texts of a command, kept as one nested part.
struct CommandInnerPart {
  Text innerText1;
  Text innerText2;
  Text innerText3;
  Text innerText4;
};

// One retained draw command of an owner. The retained store keeps only a few of these fields in
// its columns; the rest live on inside the command's canonical signature, which is therefore the
// complete retained form of the command. Attribute fields are carried and signed, never read.
struct CommandRecord {
  std::int32_t sequence = 0;  // unique among the commands of one store
  Text owner;                 // the fragment's id, or that id, "." and more for a sub-owner
  // "transformPush", "transformPop", "clipPush", "clipPop" nest state; "image" and "glyphAlpha"
  // draw the resource named by resourceId; any other kind refers only to paint, clip, transform.
  Text kind;
  Text attributeText1;
  Text attributeText2;
  Text resourceId;                   // image id for "image", glyph alpha id for "glyphAlpha"
  std::int32_t imageGeneration = 0;  // the generation an "image" command draws
  Text paintId;                      // empty for none
  Text clipId;                       // empty for none
  Text transformId;                  // empty for none; "identity" needs no record
  std::int32_t attributeInt1 = 0;
  std::int32_t attributeInt2 = 0;
  std::int32_t attributeInt3 = 0;
  std::int32_t attributeInt4 = 0;
  Text attributeText3;
  Text attributeText4;
  CommandInnerPart inner;
  std::int32_t attributeInt5 = 0;
  std::int32_t attributeInt6 = 0;
  std::int32_t attributeInt7 = 0;
  std::int32_t attributeInt8 = 0;
  std::int32_t attributeInt9 = 0;
  std::int32_t attributeInt10 = 0;
  std::int32_t attributeInt11 = 0;
  std::int32_t attributeInt12 = 0;
  std::int32_t attributeInt13 = 0;
  std::int32_t attributeInt14 = 0;
  std::int32_t attributeInt15 = 0;
  std::int32_t attributeInt16 = 0;
  std::int32_t attributeInt17 = 0;
  std::int32_t attributeInt18 = 0;
  std::int32_t attributeInt19 = 0;
  std::int32_t attributeInt20 = 0;
  std::int32_t attributeInt21 = 0;
  std::int32_t attributeInt22 = 0;
  // When true, a "glyphAlpha" command's resourceId is neither looked up nor bound; other kinds
  // ignore it.
  bool skipGlyphResolution = false;
};

// A rectangle in retained geometry: left edge, top edge, width, height.
struct BoundsRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The five keys a fragment depends on, and where they came from.
struct FragmentDependencySignature {
  Text key1;
  Text key2;
  Text key3;
  Text key4;
  Text key5;
  Text source;
};

// The complete set of draw commands of one owner; a newer generation replaces the stored one.
struct OwnerFragment {
  Text id;  // the owner identity
  std::int32_t generation = 0;
  std::int32_t attribute = 0;  // carried and signed, never interpreted
  BoundsRect layoutBounds;
  BoundsRect inkBounds;  // the area the drawing covers; contains layoutBounds
  FragmentDependencySignature dependencySignature;
  std::vector<CommandRecord> commands;  // in drawing order
  Text source;
};

// The resources submitted together with one fragment. The kinds are always taken in this order.
struct ResourceDelta {
  Text surfaceId;
  std::vector<PaintRecord> paints;
  std::vector<ImageRecord> images;
  std::vector<GlyphAlphaRecord> glyphAlphas;
  std::vector<ClipRecord> clips;
  std::vector<TransformRecord> transforms;
};

}  // namespace render
