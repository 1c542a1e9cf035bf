// Reference resolution and record access: resource ids become entry numbers across the store's
// rows, the records staged in an overlay and the admission's own new records (in that order),
// and entry numbers and rows become records again. Nothing here changes the store; absence is
// the answer -1 (0 for the newest image generation), and numbers outside every layer give a
// default record instead of a read past a column.
#include <cstddef>
#include <vector>

#include "render/signatures.hpp"
#include "retained/retained_resource_store.hpp"
#include "retained/table_row.hpp"

namespace retained {
namespace {

// The overlay's index first (its own probe counter), then the store's index counted into the
// result.
std::int32_t resolveKey(const RetainedResourceStore& store, AdmissionResult& result, CandidateOverlay& overlay,
                        const Text& key) {
  const std::int32_t staged = overlay.resourceIndex.get(key);
  if (staged >= 0) return staged;
  return store.indexGetCounted(result, key);
}

// The staged record at entry - rows, or a default record outside the staged list.
template <typename Record>
Record stagedAt(const std::vector<Record>& staged, std::uint32_t rows, std::int32_t entry) {
  const std::int64_t at = static_cast<std::int64_t>(entry) - rows;
  if (at < 0 || static_cast<std::uint64_t>(at) >= staged.size()) return Record();
  return staged[static_cast<std::size_t>(at)];
}

// Entry number of a pending record at position j: after the store's rows and the staged list.
std::int32_t pendingEntry(std::uint32_t rows, std::size_t staged, std::int32_t position) {
  if (position < 0) return -1;
  return static_cast<std::int32_t>(static_cast<std::int64_t>(rows) + static_cast<std::int64_t>(staged) + position);
}

}  // namespace

std::int32_t RetainedResourceStore::resolvePaint(AdmissionResult& result, CandidateOverlay& overlay,
                                                 std::string_view id) const {
  return resolveKey(*this, result, overlay, resourceKey("paint", id, 0));
}

std::int32_t RetainedResourceStore::resolveImageGeneration(AdmissionResult& result, CandidateOverlay& overlay,
                                                           std::string_view id, std::int32_t generation) const {
  return resolveKey(*this, result, overlay, resourceKey("image-generation", id, generation));
}

std::int32_t RetainedResourceStore::resolveLatestImage(AdmissionResult& result, CandidateOverlay& overlay,
                                                       std::string_view id) const {
  const Text key = resourceKey("image-latest", id, 0);
  const std::int32_t staged = overlay.resourceIndex.get(key);
  if (staged >= 0) {
    const std::int64_t at = static_cast<std::int64_t>(staged) - imageCount();
    if (at < 0 || static_cast<std::uint64_t>(at) >= overlay.images.size()) return 0;
    return overlay.images[static_cast<std::size_t>(at)].generation;
  }
  const std::int32_t row = indexGetCounted(result, key);
  if (!holdsRow(imageGenerations_, row)) return 0;
  return imageGenerations_[static_cast<std::size_t>(row)];
}

std::int32_t RetainedResourceStore::resolveGlyph(AdmissionResult& result, CandidateOverlay& overlay,
                                                 std::string_view id) const {
  return resolveKey(*this, result, overlay, resourceKey("glyph", id, 0));
}

std::int32_t RetainedResourceStore::resolveClip(AdmissionResult& result, CandidateOverlay& overlay,
                                                std::string_view id) const {
  return resolveKey(*this, result, overlay, resourceKey("clip", id, 0));
}

std::int32_t RetainedResourceStore::resolveTransform(AdmissionResult& result, CandidateOverlay& overlay,
                                                     std::string_view id) const {
  return resolveKey(*this, result, overlay, resourceKey("transform", id, 0));
}

render::PaintRecord RetainedResourceStore::paintAt(const CandidateOverlay& overlay, std::int32_t entry) const {
  const std::uint32_t rows = paintCount();
  if (entry < static_cast<std::int64_t>(rows)) return storedPaint(entry);
  return stagedAt(overlay.paints, rows, entry);
}

render::ImageRecord RetainedResourceStore::imageAt(const CandidateOverlay& overlay, std::int32_t entry) const {
  const std::uint32_t rows = imageCount();
  if (entry < static_cast<std::int64_t>(rows)) return storedImage(entry);
  return stagedAt(overlay.images, rows, entry);
}

render::GlyphAlphaRecord RetainedResourceStore::glyphAt(const CandidateOverlay& overlay, std::int32_t entry) const {
  const std::uint32_t rows = glyphCount();
  if (entry < static_cast<std::int64_t>(rows)) return storedGlyph(entry);
  return stagedAt(overlay.glyphAlphas, rows, entry);
}

render::ClipRecord RetainedResourceStore::clipAt(const CandidateOverlay& overlay, std::int32_t entry) const {
  const std::uint32_t rows = clipCount();
  if (entry < static_cast<std::int64_t>(rows)) return storedClip(entry);
  return stagedAt(overlay.clips, rows, entry);
}

render::TransformRecord RetainedResourceStore::transformAt(const CandidateOverlay& overlay, std::int32_t entry) const {
  const std::uint32_t rows = transformCount();
  if (entry < static_cast<std::int64_t>(rows)) return storedTransform(entry);
  return stagedAt(overlay.transforms, rows, entry);
}

render::PaintRecord RetainedResourceStore::storedPaint(std::int32_t row) const {
  render::PaintRecord paint;
  if (!holdsRow(paintIds_, row)) return paint;
  const auto r = static_cast<std::size_t>(row);
  paint.id = paintIds_[r];
  paint.red = paintReds_[r];
  paint.green = paintGreens_[r];
  paint.blue = paintBlues_[r];
  paint.alpha = paintAlphas_[r];
  paint.radius = paintRadii_[r];
  paint.borderWidth = paintBorderWidths_[r];
  paint.opacity = paintOpacities_[r];
  return paint;
}

render::ImageRecord RetainedResourceStore::storedImage(std::int32_t row) const {
  render::ImageRecord image;
  if (!holdsRow(imageIds_, row)) return image;
  const auto r = static_cast<std::size_t>(row);
  image.id = imageIds_[r];
  image.kind = imageKinds_[r];
  image.generation = imageGenerations_[r];
  image.width = imageWidths_[r];
  image.height = imageHeights_[r];
  image.sizeBytes = imageSizeBytes_[r];
  image.format = imageFormats_[r];
  image.colorSpace = imageColorSpaces_[r];
  image.alphaMode = imageAlphaModes_[r];
  image.state = imageStates_[r];
  image.resident = imageResident_[r];
  image.contentIdentity = imageContentIds_[r];
  image.payloadHex = imagePayloads_[r];
  image.source = imageSources_[r];
  return image;
}

render::GlyphAlphaRecord RetainedResourceStore::storedGlyph(std::int32_t row) const {
  render::GlyphAlphaRecord glyph;
  if (!holdsRow(glyphIds_, row)) return glyph;
  const auto r = static_cast<std::size_t>(row);
  glyph.id = glyphIds_[r];
  glyph.width = glyphWidths_[r];
  glyph.height = glyphHeights_[r];
  glyph.rowStride = glyphRowBytes_[r];
  glyph.sizeBytes = glyphSizeBytes_[r];
  glyph.format = glyphFormats_[r];
  glyph.payloadHex = glyphPayloads_[r];
  glyph.source = glyphSources_[r];
  return glyph;
}

render::ClipRecord RetainedResourceStore::storedClip(std::int32_t row) const {
  render::ClipRecord clip;
  if (!holdsRow(clipIds_, row)) return clip;
  const auto r = static_cast<std::size_t>(row);
  clip.id = clipIds_[r];
  clip.x = clipXs_[r];
  clip.y = clipYs_[r];
  clip.width = clipWidths_[r];
  clip.height = clipHeights_[r];
  clip.radius = clipRadii_[r];
  return clip;
}

render::TransformRecord RetainedResourceStore::storedTransform(std::int32_t row) const {
  render::TransformRecord transform;
  if (!holdsRow(transformIds_, row)) return transform;
  const auto r = static_cast<std::size_t>(row);
  transform.id = transformIds_[r];
  transform.translateX = transformTranslateXs_[r];
  transform.translateY = transformTranslateYs_[r];
  transform.scalePercentX = transformXScalePercents_[r];
  transform.scalePercentY = transformYScalePercents_[r];
  transform.rotationMillidegrees = transformRotations_[r];
  return transform;
}

std::int32_t RetainedResourceStore::findReferencedPaint(AdmissionResult& result, CandidateOverlay& overlay,
                                                        std::string_view id) const {
  const std::int32_t known = resolvePaint(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(paintCount(), overlay.paints.size(), result.pending.findPaint(result.paints, id));
}

std::int32_t RetainedResourceStore::findReferencedImage(AdmissionResult& result, CandidateOverlay& overlay,
                                                        std::string_view id, std::int32_t generation) const {
  const std::int32_t known = resolveImageGeneration(result, overlay, id, generation);
  if (known >= 0) return known;
  return pendingEntry(imageCount(), overlay.images.size(), result.pending.findImage(result.images, id, generation));
}

std::int32_t RetainedResourceStore::findReferencedGlyph(AdmissionResult& result, CandidateOverlay& overlay,
                                                        std::string_view id) const {
  const std::int32_t known = resolveGlyph(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(glyphCount(), overlay.glyphAlphas.size(), result.pending.findGlyph(result.glyphAlphas, id));
}

std::int32_t RetainedResourceStore::findReferencedClip(AdmissionResult& result, CandidateOverlay& overlay,
                                                       std::string_view id) const {
  const std::int32_t known = resolveClip(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(clipCount(), overlay.clips.size(), result.pending.findClip(result.clips, id));
}

std::int32_t RetainedResourceStore::findReferencedTransform(AdmissionResult& result, CandidateOverlay& overlay,
                                                            std::string_view id) const {
  const std::int32_t known = resolveTransform(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(transformCount(), overlay.transforms.size(), result.pending.findTransform(result.transforms, id));
}

std::int32_t RetainedResourceStore::findCommandBySequence(const render::CommandRecord& command) const {
  const std::int32_t row = indexGet(resourceKey("command-sequence", "", command.sequence));
  if (!holdsRow(commandSequences_, row)) return -1;
  const auto r = static_cast<std::size_t>(row);
  if (commandSequences_[r] != command.sequence) return -1;
  return commandCanonicalTexts_[r] == render::encodeCommandSignature(command) ? row : -1;
}

std::int32_t RetainedResourceStore::findCommandOwner(const render::CommandRecord& command) const {
  const std::int32_t row = findCommandBySequence(command);
  return holdsRow(commandOwners_, row) ? commandOwners_[static_cast<std::size_t>(row)] : -1;
}

}  // namespace retained
