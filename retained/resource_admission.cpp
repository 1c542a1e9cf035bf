// The five admission checks: one delta record is either already known with equal content
// (admissible, not added again), known with other content (an identity collision), or new, in
// which case it is validated and, when valid, appended to the admission's new records. Known
// identities are looked up in the overlay, then the store, then the admission's own new records;
// every match costs one explicit comparison (and one payload comparison for images and glyph
// alpha masks), every new identity one validation. Refusals are messages in the result.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/image_validation.hpp"
#include "retained/retained_resource_store.hpp"

namespace retained {
namespace {

using runtime::formatText;
using runtime::intToText;

constexpr std::int32_t kMaxChannel = 255;
constexpr std::int32_t kMaxOpacityPercent = 100;
constexpr std::size_t kMaxPaintIdBytes = 256;
constexpr std::size_t kMaxClipIdBytes = 256;
constexpr std::size_t kMaxTransformIdBytes = 64;
constexpr std::string_view kGlyphIdPrefix = "sha256:";
constexpr std::size_t kGlyphIdBytes = 71;
constexpr std::int32_t kMaxGlyphSide = 4096;
constexpr std::int32_t kMaxGlyphKibibytes = 512;
constexpr std::int32_t kMaxGlyphBytes = kMaxGlyphKibibytes * 1024;
constexpr std::int32_t kMaxTranslation = 1000000;
constexpr std::int32_t kMaxScalePercent = 10000;
constexpr std::int32_t kMaxRotation = 360000;

bool within(std::int32_t value, std::int32_t low, std::int32_t high) { return value >= low && value <= high; }

// Compares a candidate with the known record of its identity, every field in declaration order
// (render_records.hpp), counting the comparison.
template <typename Record, typename Collision>
bool compareKnown(AdmissionResult& result, const Record& known, const Record& candidate, bool hasPayload,
                  Collision collision) {
  ++result.explicitComparisonCount;
  if (hasPayload) ++result.payloadComparisonCount;
  if (known == candidate) return true;
  result.message = collision();
  return false;
}

Text validatePaint(const render::PaintRecord& paint) {
  if (paint.id.empty()) return "render paint requires a nonempty id";
  if (!within(paint.red, 0, kMaxChannel) || !within(paint.green, 0, kMaxChannel) ||
      !within(paint.blue, 0, kMaxChannel) || !within(paint.alpha, 0, kMaxChannel)) {
    return formatText("render paint {0} requires RGBA channels from 0 through {1}", {paint.id, intToText(kMaxChannel)});
  }
  if (paint.radius < 0 || paint.borderWidth < 0) {
    return formatText("render paint {0} requires nonnegative radius and border width", {paint.id});
  }
  if (!within(paint.opacity, 0, kMaxOpacityPercent)) {
    return formatText("render paint {0} requires opacity from 0 through {1}",
                      {paint.id, intToText(kMaxOpacityPercent)});
  }
  if (paint.id.size() > kMaxPaintIdBytes) {
    return formatText("retained paint id exceeds {0} bytes", {std::to_string(kMaxPaintIdBytes)});
  }
  return Text();
}

Text validateGlyph(const render::GlyphAlphaRecord& glyph) {
  if (!runtime::startsWith(glyph.id, kGlyphIdPrefix) || glyph.id.size() != kGlyphIdBytes ||
      !render::isHexText(runtime::sliceText(glyph.id, static_cast<std::int64_t>(kGlyphIdPrefix.size()),
                                            static_cast<std::int64_t>(kGlyphIdBytes)))) {
    return "render glyph alpha resource requires a sha256 content identity";
  }
  if (glyph.source.empty()) return formatText("render glyph alpha resource {0} requires a source", {glyph.id});
  if (glyph.format != "a8-unorm-hex") {
    return formatText("render glyph alpha resource {0} format must be a8-unorm-hex", {glyph.id});
  }
  if (!within(glyph.width, 1, kMaxGlyphSide) || !within(glyph.height, 1, kMaxGlyphSide)) {
    return formatText("render glyph alpha resource {0} dimensions must be within 1..{1}",
                      {glyph.id, intToText(kMaxGlyphSide)});
  }
  if (glyph.rowStride != glyph.width || glyph.sizeBytes != glyph.width * glyph.height ||
      !within(glyph.sizeBytes, 1, kMaxGlyphBytes)) {
    return formatText("render glyph alpha resource {0} requires tightly packed rows within {1} KiB",
                      {glyph.id, intToText(kMaxGlyphKibibytes)});
  }
  if (glyph.payloadHex.size() != 2 * static_cast<std::size_t>(glyph.sizeBytes) ||
      !render::isHexText(glyph.payloadHex)) {
    return formatText("render glyph alpha resource {0} payload must be exact A8 hexadecimal data", {glyph.id});
  }
  return Text();
}

Text validateClip(const render::ClipRecord& clip) {
  if (clip.id.empty() || clip.id.size() > kMaxClipIdBytes) {
    return formatText("retained resource clip requires an id of 1..{0} bytes", {std::to_string(kMaxClipIdBytes)});
  }
  if (clip.width <= 0 || clip.height <= 0 || clip.radius < 0) {
    return formatText("retained resource clip {0} requires positive bounds and a nonnegative radius", {clip.id});
  }
  return Text();
}

Text validateTransform(const render::TransformRecord& transform) {
  if (transform.id.empty() || transform.id.size() > kMaxTransformIdBytes) {
    return formatText("render transform requires a nonempty id of at most {0} bytes",
                      {std::to_string(kMaxTransformIdBytes)});
  }
  if (transform.id == "identity") return "render transform id identity is reserved for the built-in identity transform";
  if (!within(transform.translateX, -kMaxTranslation, kMaxTranslation) ||
      !within(transform.translateY, -kMaxTranslation, kMaxTranslation)) {
    return formatText("render transform {0} translation must be within {1}..{2}",
                      {transform.id, intToText(-kMaxTranslation), intToText(kMaxTranslation)});
  }
  if (!within(transform.scalePercentX, 1, kMaxScalePercent) || !within(transform.scalePercentY, 1, kMaxScalePercent)) {
    return formatText("render transform {0} scale must be within 1..{1} percent",
                      {transform.id, intToText(kMaxScalePercent)});
  }
  if (!within(transform.rotationMillidegrees, -kMaxRotation, kMaxRotation)) {
    return formatText("render transform {0} rotation must be within {1}..{2} millidegrees",
                      {transform.id, intToText(-kMaxRotation), intToText(kMaxRotation)});
  }
  return Text();
}

// Steps that follow an unknown identity: count the validation, refuse with its text or append.
template <typename Record>
bool validateAndAppend(AdmissionResult& result, std::vector<Record>& pending, const Record& record,
                       const Text& invalid) {
  ++result.validationCount;
  if (!invalid.empty()) {
    result.message = invalid;
    return false;
  }
  pending.push_back(record);
  return true;
}

}  // namespace

bool RetainedResourceStore::admitPaint(AdmissionResult& result, CandidateOverlay& overlay,
                                       const render::PaintRecord& paint) const {
  const auto collision = [&] { return formatText("retained paint identity collision for {0}", {paint.id}); };
  const std::int32_t entry = resolvePaint(result, overlay, paint.id);
  if (entry >= 0) return compareKnown(result, paintAt(overlay, entry), paint, false, collision);
  const std::int32_t position = result.findPendingPaint(paint.id);
  if (position >= 0) {
    return compareKnown(result, result.paints[static_cast<std::size_t>(position)], paint, false, collision);
  }
  return validateAndAppend(result, result.paints, paint, validatePaint(paint));
}

bool RetainedResourceStore::admitImage(AdmissionResult& result, CandidateOverlay& overlay,
                                       const render::ImageRecord& image) const {
  const auto collision = [&] {
    return formatText("retained image identity collision for {0}@{1}", {image.id, intToText(image.generation)});
  };
  const std::int32_t entry = resolveImageGeneration(result, overlay, image.id, image.generation);
  if (entry >= 0) return compareKnown(result, imageAt(overlay, entry), image, true, collision);
  const std::int32_t position = result.findPendingImage(image.id, image.generation);
  if (position >= 0) {
    return compareKnown(result, result.images[static_cast<std::size_t>(position)], image, true, collision);
  }
  std::int32_t latest = resolveLatestImage(result, overlay, image.id);
  const std::int32_t pendingLatest = result.newestPendingImageGeneration(image.id);
  if (pendingLatest > latest) latest = pendingLatest;
  if (latest > 0 && latest > image.generation) {
    result.message = formatText("retained image {0} generation regressed from {1} to {2}",
                                {image.id, intToText(latest), intToText(image.generation)});
    return false;
  }
  return validateAndAppend(result, result.images, image, render::validateRenderImage(image));
}

bool RetainedResourceStore::admitGlyphAlpha(AdmissionResult& result, CandidateOverlay& overlay,
                                            const render::GlyphAlphaRecord& glyph) const {
  const auto collision = [&] { return formatText("retained glyph identity collision for {0}", {glyph.id}); };
  const std::int32_t entry = resolveGlyph(result, overlay, glyph.id);
  if (entry >= 0) return compareKnown(result, glyphAt(overlay, entry), glyph, true, collision);
  const std::int32_t position = result.findPendingGlyph(glyph.id);
  if (position >= 0) {
    return compareKnown(result, result.glyphAlphas[static_cast<std::size_t>(position)], glyph, true, collision);
  }
  return validateAndAppend(result, result.glyphAlphas, glyph, validateGlyph(glyph));
}

bool RetainedResourceStore::admitClip(AdmissionResult& result, CandidateOverlay& overlay,
                                      const render::ClipRecord& clip) const {
  const auto collision = [&] { return formatText("retained clip identity collision for {0}", {clip.id}); };
  const std::int32_t entry = resolveClip(result, overlay, clip.id);
  if (entry >= 0) return compareKnown(result, clipAt(overlay, entry), clip, false, collision);
  const std::int32_t position = result.findPendingClip(clip.id);
  if (position >= 0) {
    return compareKnown(result, result.clips[static_cast<std::size_t>(position)], clip, false, collision);
  }
  return validateAndAppend(result, result.clips, clip, validateClip(clip));
}

bool RetainedResourceStore::admitTransform(AdmissionResult& result, CandidateOverlay& overlay,
                                           const render::TransformRecord& transform) const {
  const auto collision = [&] { return formatText("retained transform identity collision for {0}", {transform.id}); };
  const std::int32_t entry = resolveTransform(result, overlay, transform.id);
  if (entry >= 0) {
    return compareKnown(result, transformAt(overlay, entry), transform, false, collision);
  }
  const std::int32_t position = result.findPendingTransform(transform.id);
  if (position >= 0) {
    return compareKnown(result, result.transforms[static_cast<std::size_t>(position)], transform, false, collision);
  }
  return validateAndAppend(result, result.transforms, transform, validateTransform(transform));
}

}  // namespace retained
