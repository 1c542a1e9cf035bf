// Delta application: the write half of an admission. New resource rows with their index keys
// first, then the owner row and its command rows (appended for an initial binding, rewritten in
// place for an update). A result that cannot belong to the store is turned away before the first
// write; a failure after it leaves the store "invalid".
#include <cstddef>
#include <exception>
#include <utility>

#include "render/signatures.hpp"
#include "retained/admission_kind.hpp"
#include "retained/retained_resource_store.hpp"

namespace retained {
namespace {

// Room for `more` further elements, growing geometrically so that many small admissions do not
// reallocate every column each time.
template <typename Column>
void reserveMore(Column& column, std::size_t more) {
  const std::size_t needed = column.size() + more;
  if (needed <= column.capacity()) return;
  column.reserve(needed < 2 * column.capacity() ? 2 * column.capacity() : needed);
}

template <typename... Columns>
void reserveAll(std::size_t more, Columns&... columns) {
  (reserveMore(columns, more), ...);
}

// A reference is -1 or a row the store will hold once the result's records are appended.
bool referenceFits(std::int32_t reference, std::size_t rowsAfter) {
  return reference == -1 || (reference >= 0 && static_cast<std::size_t>(reference) < rowsAfter);
}

}  // namespace

bool RetainedResourceStore::fitsStore(const AdmissionResult& result, std::uint8_t kind, std::int32_t& ownerRow) const {
  const AdmissionPlan& plan = result.plan;
  const std::size_t n = plan.commands.size();
  if (plan.paintRefs.size() != n || plan.imageRefs.size() != n || plan.glyphRefs.size() != n ||
      plan.clipRefs.size() != n || plan.transformRefs.size() != n) {
    return false;
  }
  const std::int32_t owner = findOwner(plan.ownerId);
  ownerRow = owner;
  if (isBinding(kind)) {
    if (owner >= 0) return false;
  } else {
    if (owner < 0 || static_cast<std::size_t>(owner) >= ownerIds_.size()) return false;
    const auto o = static_cast<std::size_t>(owner);
    const std::int64_t first = ownerFirstRows_[o];
    if (static_cast<std::int64_t>(n) != ownerCommandCounts_[o] || first < 0 ||
        first + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(commandSequences_.size())) {
      return false;
    }
    // The "command-sequence" keys stay as they are, so the sequences must too.
    for (std::size_t j = 0; j < n; ++j) {
      if (commandSequences_[static_cast<std::size_t>(first) + j] != plan.commands[j].sequence) return false;
    }
  }
  const std::size_t paints = paintIds_.size() + result.paints.size();
  const std::size_t images = imageIds_.size() + result.images.size();
  const std::size_t glyphs = glyphIds_.size() + result.glyphAlphas.size();
  const std::size_t clips = clipIds_.size() + result.clips.size();
  const std::size_t transforms = transformIds_.size() + result.transforms.size();
  for (std::size_t j = 0; j < n; ++j) {
    if (!referenceFits(plan.paintRefs[j], paints) || !referenceFits(plan.imageRefs[j], images) ||
        !referenceFits(plan.glyphRefs[j], glyphs) || !referenceFits(plan.clipRefs[j], clips) ||
        !referenceFits(plan.transformRefs[j], transforms)) {
      return false;
    }
  }
  return true;
}

void RetainedResourceStore::reserveFor(const AdmissionResult& result, std::uint8_t kind) {
  reserveAll(result.paints.size(), paintIds_, paintReds_, paintGreens_, paintBlues_, paintAlphas_, paintRadii_,
             paintBorderWidths_, paintOpacities_);
  reserveAll(result.images.size(), imageIds_, imageKinds_, imageGenerations_, imageWidths_, imageHeights_,
             imageSizeBytes_, imageFormats_, imageColorSpaces_, imageAlphaModes_, imageStates_, imageResident_,
             imageContentIds_, imagePayloads_, imageSources_);
  reserveAll(result.glyphAlphas.size(), glyphIds_, glyphWidths_, glyphHeights_, glyphRowBytes_, glyphSizeBytes_,
             glyphFormats_, glyphPayloads_, glyphSources_);
  reserveAll(result.clips.size(), clipIds_, clipXs_, clipYs_, clipWidths_, clipHeights_, clipRadii_);
  reserveAll(result.transforms.size(), transformIds_, transformTranslateXs_, transformTranslateYs_,
             transformXScalePercents_, transformYScalePercents_, transformRotations_);
  // The keys the row writers put: one per record, two per image, and for a binding the owner's
  // and one per command.
  std::size_t keys = result.paints.size() + 2 * result.images.size() + result.glyphAlphas.size() + result.clips.size() +
                     result.transforms.size();
  std::size_t keyBytes = 0;
  for (const render::PaintRecord& paint : result.paints) keyBytes += resourceKeyLength("paint", paint.id, 0);
  for (const render::ImageRecord& image : result.images) {
    keyBytes += resourceKeyLength("image-generation", image.id, image.generation) +
                resourceKeyLength("image-latest", image.id, 0);
  }
  for (const render::GlyphAlphaRecord& glyph : result.glyphAlphas) keyBytes += resourceKeyLength("glyph", glyph.id, 0);
  for (const render::ClipRecord& clip : result.clips) keyBytes += resourceKeyLength("clip", clip.id, 0);
  for (const render::TransformRecord& transform : result.transforms) {
    keyBytes += resourceKeyLength("transform", transform.id, 0);
  }
  if (isBinding(kind)) {
    const std::size_t n = result.plan.commands.size();
    keys += 1 + n;
    keyBytes += resourceKeyLength("binding", result.plan.ownerId, 0);
    for (const render::CommandRecord& command : result.plan.commands) {
      keyBytes += resourceKeyLength("command-sequence", "", command.sequence);
    }
    reserveAll(1, ownerIds_, ownerGenerations_, ownerFirstSequences_, ownerLastSequences_, ownerFirstRows_,
               ownerCommandCounts_);
    reserveAll(n, commandSequences_, commandOwners_, commandCanonicalTexts_, commandKinds_, commandResourceIds_,
               commandImageGenerations_, commandPaintRefs_, commandImageRefs_, commandGlyphRefs_, commandClipRefs_,
               commandTransformRefs_);
  }
  index_.reserveMore(keys, keyBytes);
}

bool RetainedResourceStore::applyDelta(AdmissionResult result, std::uint8_t kind) {
  std::int32_t owner = -1;
  if (!fitsStore(result, kind, owner)) return false;
  reserveFor(result, kind);
  try {
    for (render::PaintRecord& paint : result.paints) appendPaintRow(std::move(paint));
    for (render::ImageRecord& image : result.images) {
      const std::int32_t size = image.sizeBytes;
      appendImageRow(std::move(image));
      payloadBytes_ += static_cast<std::uint32_t>(size);
    }
    for (render::GlyphAlphaRecord& glyph : result.glyphAlphas) {
      const std::int32_t size = glyph.sizeBytes;
      appendGlyphRow(std::move(glyph));
      payloadBytes_ += static_cast<std::uint32_t>(size);
    }
    for (render::ClipRecord& clip : result.clips) appendClipRow(std::move(clip));
    for (render::TransformRecord& transform : result.transforms) appendTransformRow(std::move(transform));

    AdmissionPlan& plan = result.plan;
    const std::size_t n = plan.commands.size();
    if (isBinding(kind)) {
      const auto o = static_cast<std::uint32_t>(ownerIds_.size());
      const auto f = static_cast<std::int32_t>(commandSequences_.size());
      const Text bindingKey = resourceKey("binding", plan.ownerId, 0);
      ownerIds_.push_back(std::move(plan.ownerId));
      indexPut(bindingKey, o);
      ownerGenerations_.push_back(plan.generation);
      ownerFirstSequences_.push_back(plan.firstCommandSequence);
      ownerLastSequences_.push_back(plan.lastCommandSequence);
      ownerFirstRows_.push_back(f);
      ownerCommandCounts_.push_back(static_cast<std::int32_t>(n));
      for (std::size_t j = 0; j < n; ++j) {
        const auto r = static_cast<std::uint32_t>(commandSequences_.size());
        const render::CommandRecord& command = plan.commands[j];
        appendCommandRow(o, command, plan.paintRefs[j], plan.imageRefs[j], plan.glyphRefs[j], plan.clipRefs[j],
                         plan.transformRefs[j]);
        indexPut(resourceKey("command-sequence", "", command.sequence), r);
      }
      commandCount_ += static_cast<std::uint32_t>(n);
    } else {
      const auto o = static_cast<std::size_t>(owner);
      const std::int32_t f = ownerFirstRows_[o];
      const std::int32_t old = ownerCommandCounts_[o];
      ownerGenerations_[o] = plan.generation;
      ownerFirstSequences_[o] = plan.firstCommandSequence;
      ownerLastSequences_[o] = plan.lastCommandSequence;
      ownerCommandCounts_[o] = static_cast<std::int32_t>(n);
      for (std::size_t j = 0; j < n; ++j) {
        writeCommandRow(f + static_cast<std::int32_t>(j), plan.commands[j], plan.paintRefs[j], plan.imageRefs[j],
                        plan.glyphRefs[j], plan.clipRefs[j], plan.transformRefs[j]);
      }
      commandCount_ = commandCount_ - static_cast<std::uint32_t>(old) + static_cast<std::uint32_t>(n);
    }
  } catch (...) {
    // Some rows may be written and others not; no commit may apply this store again.
    state_ = "invalid";
    throw;
  }
  return true;
}

void RetainedResourceStore::appendPaintRow(render::PaintRecord paint) {
  const auto r = static_cast<std::uint32_t>(paintIds_.size());
  const Text key = resourceKey("paint", paint.id, 0);
  paintIds_.push_back(std::move(paint.id));
  paintReds_.push_back(paint.red);
  paintGreens_.push_back(paint.green);
  paintBlues_.push_back(paint.blue);
  paintAlphas_.push_back(paint.alpha);
  paintRadii_.push_back(paint.radius);
  paintBorderWidths_.push_back(paint.borderWidth);
  paintOpacities_.push_back(paint.opacity);
  indexPut(key, r);
}

void RetainedResourceStore::appendImageRow(render::ImageRecord image) {
  const auto r = static_cast<std::uint32_t>(imageIds_.size());
  const Text generationKey = resourceKey("image-generation", image.id, image.generation);
  const Text latestKey = resourceKey("image-latest", image.id, 0);
  imageIds_.push_back(std::move(image.id));
  imageKinds_.push_back(std::move(image.kind));
  imageGenerations_.push_back(image.generation);
  imageWidths_.push_back(image.width);
  imageHeights_.push_back(image.height);
  imageSizeBytes_.push_back(image.sizeBytes);
  imageFormats_.push_back(std::move(image.format));
  imageColorSpaces_.push_back(std::move(image.colorSpace));
  imageAlphaModes_.push_back(std::move(image.alphaMode));
  imageStates_.push_back(std::move(image.state));
  imageResident_.push_back(image.resident);
  imageContentIds_.push_back(std::move(image.contentIdentity));
  imagePayloads_.push_back(std::move(image.payloadHex));
  imageSources_.push_back(std::move(image.source));
  indexPut(generationKey, r);
  indexPut(latestKey, r);
}

void RetainedResourceStore::appendGlyphRow(render::GlyphAlphaRecord glyph) {
  const auto r = static_cast<std::uint32_t>(glyphIds_.size());
  const Text key = resourceKey("glyph", glyph.id, 0);
  glyphIds_.push_back(std::move(glyph.id));
  glyphWidths_.push_back(glyph.width);
  glyphHeights_.push_back(glyph.height);
  glyphRowBytes_.push_back(glyph.rowStride);
  glyphSizeBytes_.push_back(glyph.sizeBytes);
  glyphFormats_.push_back(std::move(glyph.format));
  glyphPayloads_.push_back(std::move(glyph.payloadHex));
  glyphSources_.push_back(std::move(glyph.source));
  indexPut(key, r);
}

void RetainedResourceStore::appendClipRow(render::ClipRecord clip) {
  const auto r = static_cast<std::uint32_t>(clipIds_.size());
  const Text key = resourceKey("clip", clip.id, 0);
  clipIds_.push_back(std::move(clip.id));
  clipXs_.push_back(clip.x);
  clipYs_.push_back(clip.y);
  clipWidths_.push_back(clip.width);
  clipHeights_.push_back(clip.height);
  clipRadii_.push_back(clip.radius);
  indexPut(key, r);
}

void RetainedResourceStore::appendTransformRow(render::TransformRecord transform) {
  const auto r = static_cast<std::uint32_t>(transformIds_.size());
  const Text key = resourceKey("transform", transform.id, 0);
  transformIds_.push_back(std::move(transform.id));
  transformTranslateXs_.push_back(transform.translateX);
  transformTranslateYs_.push_back(transform.translateY);
  transformXScalePercents_.push_back(transform.scalePercentX);
  transformYScalePercents_.push_back(transform.scalePercentY);
  transformRotations_.push_back(transform.rotationMillidegrees);
  indexPut(key, r);
}

void RetainedResourceStore::appendCommandRow(std::uint32_t ownerRow, const render::CommandRecord& command,
                                             std::int32_t paintRef, std::int32_t imageRef, std::int32_t glyphRef,
                                             std::int32_t clipRef, std::int32_t transformRef) {
  Text canonical = render::encodeCommandSignature(command);
  Text kind = command.kind;
  Text resourceId = command.resourceId;
  commandSequences_.push_back(command.sequence);
  commandOwners_.push_back(static_cast<std::int32_t>(ownerRow));
  commandCanonicalTexts_.push_back(std::move(canonical));
  commandKinds_.push_back(std::move(kind));
  commandResourceIds_.push_back(std::move(resourceId));
  commandImageGenerations_.push_back(command.imageGeneration);
  commandPaintRefs_.push_back(paintRef);
  commandImageRefs_.push_back(imageRef);
  commandGlyphRefs_.push_back(glyphRef);
  commandClipRefs_.push_back(clipRef);
  commandTransformRefs_.push_back(transformRef);
}

void RetainedResourceStore::writeCommandRow(std::int32_t row, const render::CommandRecord& command,
                                            std::int32_t paintRef, std::int32_t imageRef, std::int32_t glyphRef,
                                            std::int32_t clipRef, std::int32_t transformRef) {
  if (row < 0 || static_cast<std::size_t>(row) >= commandSequences_.size()) return;
  const auto r = static_cast<std::size_t>(row);
  Text canonical = render::encodeCommandSignature(command);
  Text kind = command.kind;
  Text resourceId = command.resourceId;
  commandSequences_[r] = command.sequence;
  commandCanonicalTexts_[r] = std::move(canonical);
  commandKinds_[r] = std::move(kind);
  commandResourceIds_[r] = std::move(resourceId);
  commandImageGenerations_[r] = command.imageGeneration;
  commandPaintRefs_[r] = paintRef;
  commandImageRefs_[r] = imageRef;
  commandGlyphRefs_[r] = glyphRef;
  commandClipRefs_[r] = clipRef;
  commandTransformRefs_[r] = transformRef;
}

}  // namespace retained
