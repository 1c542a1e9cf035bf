// Reference resolution and record access: resource ids become entry numbers across the store's
// rows, the records staged in an overlay and the admission's own new records (in that order),
// and entry numbers and rows become records again. Nothing here changes the store; absence is
// the answer -1 (0 for the newest image generation), and numbers outside every layer give a
// default record instead of a read past a column.
#include <cstddef>
#include <vector>

#include "render/signatures.hpp"
#include "retained/retained_resource_store.hpp"

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
  if (!tables_.images.holds(row)) return 0;
  return tables_.images.generations[static_cast<std::size_t>(row)];
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
  if (!tables_.paints.holds(row)) return render::PaintRecord();
  return tables_.paints.read(static_cast<std::size_t>(row));
}

render::ImageRecord RetainedResourceStore::storedImage(std::int32_t row) const {
  if (!tables_.images.holds(row)) return render::ImageRecord();
  return tables_.images.read(static_cast<std::size_t>(row));
}

render::GlyphAlphaRecord RetainedResourceStore::storedGlyph(std::int32_t row) const {
  if (!tables_.glyphs.holds(row)) return render::GlyphAlphaRecord();
  return tables_.glyphs.read(static_cast<std::size_t>(row));
}

render::ClipRecord RetainedResourceStore::storedClip(std::int32_t row) const {
  if (!tables_.clips.holds(row)) return render::ClipRecord();
  return tables_.clips.read(static_cast<std::size_t>(row));
}

render::TransformRecord RetainedResourceStore::storedTransform(std::int32_t row) const {
  if (!tables_.transforms.holds(row)) return render::TransformRecord();
  return tables_.transforms.read(static_cast<std::size_t>(row));
}

std::int32_t RetainedResourceStore::findReferencedPaint(AdmissionResult& result, CandidateOverlay& overlay,
                                                        std::string_view id) const {
  const std::int32_t known = resolvePaint(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(paintCount(), overlay.paints.size(), result.findPendingPaint(id));
}

std::int32_t RetainedResourceStore::findReferencedImage(AdmissionResult& result, CandidateOverlay& overlay,
                                                        std::string_view id, std::int32_t generation) const {
  const std::int32_t known = resolveImageGeneration(result, overlay, id, generation);
  if (known >= 0) return known;
  return pendingEntry(imageCount(), overlay.images.size(), result.findPendingImage(id, generation));
}

std::int32_t RetainedResourceStore::findReferencedGlyph(AdmissionResult& result, CandidateOverlay& overlay,
                                                        std::string_view id) const {
  const std::int32_t known = resolveGlyph(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(glyphCount(), overlay.glyphAlphas.size(), result.findPendingGlyph(id));
}

std::int32_t RetainedResourceStore::findReferencedClip(AdmissionResult& result, CandidateOverlay& overlay,
                                                       std::string_view id) const {
  const std::int32_t known = resolveClip(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(clipCount(), overlay.clips.size(), result.findPendingClip(id));
}

std::int32_t RetainedResourceStore::findReferencedTransform(AdmissionResult& result, CandidateOverlay& overlay,
                                                            std::string_view id) const {
  const std::int32_t known = resolveTransform(result, overlay, id);
  if (known >= 0) return known;
  return pendingEntry(transformCount(), overlay.transforms.size(), result.findPendingTransform(id));
}

std::int32_t RetainedResourceStore::findCommandBySequence(const render::CommandRecord& command) const {
  const std::int32_t row = indexGet(resourceKey("command-sequence", "", command.sequence));
  const CommandTable& commands = tables_.commands;
  if (!commands.holds(row)) return -1;
  const auto r = static_cast<std::size_t>(row);
  if (commands.sequences[r] != command.sequence) return -1;
  return commands.canonicalTexts[r] == render::encodeCommandSignature(command) ? row : -1;
}

std::int32_t RetainedResourceStore::findCommandOwner(const render::CommandRecord& command) const {
  const std::int32_t row = findCommandBySequence(command);
  return tables_.commands.holds(row) ? tables_.commands.owners[static_cast<std::size_t>(row)] : -1;
}

}  // namespace retained
