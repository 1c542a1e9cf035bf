#include "retained/record_equality.hpp"

namespace retained {

bool paintEquals(const render::PaintRecord& a, const render::PaintRecord& b) {
  return a.id == b.id && a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha &&
         a.radius == b.radius && a.borderWidth == b.borderWidth && a.opacity == b.opacity;
}

bool imageEquals(const render::ImageRecord& a, const render::ImageRecord& b) {
  return a.id == b.id && a.kind == b.kind && a.generation == b.generation && a.width == b.width &&
         a.height == b.height && a.sizeBytes == b.sizeBytes && a.format == b.format && a.colorSpace == b.colorSpace &&
         a.alphaMode == b.alphaMode && a.state == b.state && a.resident == b.resident &&
         a.contentIdentity == b.contentIdentity && a.payloadHex == b.payloadHex && a.source == b.source;
}

bool glyphEquals(const render::GlyphAlphaRecord& a, const render::GlyphAlphaRecord& b) {
  return a.id == b.id && a.width == b.width && a.height == b.height && a.rowStride == b.rowStride &&
         a.sizeBytes == b.sizeBytes && a.format == b.format && a.payloadHex == b.payloadHex && a.source == b.source;
}

bool clipEquals(const render::ClipRecord& a, const render::ClipRecord& b) {
  return a.id == b.id && a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height && a.radius == b.radius;
}

bool transformEquals(const render::TransformRecord& a, const render::TransformRecord& b) {
  return a.id == b.id && a.translateX == b.translateX && a.translateY == b.translateY &&
         a.scalePercentX == b.scalePercentX && a.scalePercentY == b.scalePercentY &&
         a.rotationMillidegrees == b.rotationMillidegrees;
}

}  // namespace retained
