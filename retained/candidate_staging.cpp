// Candidate staging: an accepted batch item's new records are copied into the batch overlay and
// keyed there with the entry numbers they will have once the batch is written, so that later
// items see them as if stored. Only the overlay changes; running out of memory propagates and
// leaves the overlay partly staged for the caller to discard.
#include <cstddef>

#include "retained/retained_resource_store.hpp"

namespace retained {
namespace {

std::uint32_t entryNumber(std::uint32_t rows, std::size_t staged) { return rows + static_cast<std::uint32_t>(staged); }

}  // namespace

void RetainedResourceStore::stageDelta(const AdmissionResult& result, CandidateOverlay& overlay) const {
  for (const render::PaintRecord& paint : result.paints) {
    const std::uint32_t e = entryNumber(paintCount(), overlay.paints.size());
    overlay.paints.push_back(paint);
    overlay.resourceIndex.put(resourceKey("paint", paint.id, 0), e);
    overlay.stagedIndexNodes += 1;
  }
  for (const render::ImageRecord& image : result.images) {
    const std::uint32_t e = entryNumber(imageCount(), overlay.images.size());
    Text latest = resourceKey("image-latest", image.id, 0);
    // The store is asked only when the overlay does not know the id.
    const bool known = overlay.resourceIndex.get(latest) >= 0 || indexGet(latest) >= 0;
    overlay.images.push_back(image);
    overlay.resourceIndex.put(resourceKey("image-generation", image.id, image.generation), e);
    overlay.resourceIndex.put(latest, e);
    overlay.stagedPayloadBytes += static_cast<std::uint64_t>(static_cast<std::int64_t>(image.sizeBytes));
    overlay.stagedIndexNodes += known ? 1 : 2;
  }
  for (const render::GlyphAlphaRecord& glyph : result.glyphAlphas) {
    const std::uint32_t e = entryNumber(glyphCount(), overlay.glyphAlphas.size());
    overlay.glyphAlphas.push_back(glyph);
    overlay.resourceIndex.put(resourceKey("glyph", glyph.id, 0), e);
    overlay.stagedPayloadBytes += static_cast<std::uint64_t>(static_cast<std::int64_t>(glyph.sizeBytes));
    overlay.stagedIndexNodes += 1;
  }
  for (const render::ClipRecord& clip : result.clips) {
    const std::uint32_t e = entryNumber(clipCount(), overlay.clips.size());
    overlay.clips.push_back(clip);
    overlay.resourceIndex.put(resourceKey("clip", clip.id, 0), e);
    overlay.stagedIndexNodes += 1;
  }
  for (const render::TransformRecord& transform : result.transforms) {
    const std::uint32_t e = entryNumber(transformCount(), overlay.transforms.size());
    overlay.transforms.push_back(transform);
    overlay.resourceIndex.put(resourceKey("transform", transform.id, 0), e);
    overlay.stagedIndexNodes += 1;
  }
}

}  // namespace retained
