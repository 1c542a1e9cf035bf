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

// A reference is -1 or a row the store will hold once the result's records are appended.
bool referenceFits(std::int32_t reference, std::size_t rowsAfter) {
  return reference == -1 || (reference >= 0 && static_cast<std::size_t>(reference) < rowsAfter);
}

// The keys the row writers put: one per record, two per image, and for a binding the owner's
// and one per command; `bytes` receives their length in all.
std::size_t keysToPut(const AdmissionResult& result, std::uint8_t kind, std::size_t& bytes) {
  std::size_t keys = result.paints.size() + 2 * result.images.size() + result.glyphAlphas.size() + result.clips.size() +
                     result.transforms.size();
  bytes = 0;
  for (const render::PaintRecord& paint : result.paints) bytes += resourceKeyLength("paint", paint.id, 0);
  for (const render::ImageRecord& image : result.images) {
    bytes += resourceKeyLength("image-generation", image.id, image.generation) +
             resourceKeyLength("image-latest", image.id, 0);
  }
  for (const render::GlyphAlphaRecord& glyph : result.glyphAlphas) bytes += resourceKeyLength("glyph", glyph.id, 0);
  for (const render::ClipRecord& clip : result.clips) bytes += resourceKeyLength("clip", clip.id, 0);
  for (const render::TransformRecord& transform : result.transforms) {
    bytes += resourceKeyLength("transform", transform.id, 0);
  }
  if (isBinding(kind)) {
    keys += 1 + result.plan.commands.size();
    bytes += resourceKeyLength("binding", result.plan.ownerId, 0);
    for (const render::CommandRecord& command : result.plan.commands) {
      bytes += resourceKeyLength("command-sequence", "", command.sequence);
    }
  }
  return keys;
}

// The command row a plan's command j becomes, under the owner row given.
CommandRow commandRow(std::int32_t ownerRow, const render::CommandRecord& command, std::int32_t paintRef,
                      std::int32_t imageRef, std::int32_t glyphRef, std::int32_t clipRef, std::int32_t transformRef) {
  return CommandRow{command.sequence, ownerRow,           render::encodeCommandSignature(command),
                    command.kind,     command.resourceId, command.imageGeneration,
                    paintRef,         imageRef,           glyphRef,
                    clipRef,          transformRef};
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
  } else if (!updateFitsOwner(plan, owner)) {
    return false;
  }
  const std::size_t paints = tables_.paints.rows() + result.paints.size();
  const std::size_t images = tables_.images.rows() + result.images.size();
  const std::size_t glyphs = tables_.glyphs.rows() + result.glyphAlphas.size();
  const std::size_t clips = tables_.clips.rows() + result.clips.size();
  const std::size_t transforms = tables_.transforms.rows() + result.transforms.size();
  for (std::size_t j = 0; j < n; ++j) {
    if (!referenceFits(plan.paintRefs[j], paints) || !referenceFits(plan.imageRefs[j], images) ||
        !referenceFits(plan.glyphRefs[j], glyphs) || !referenceFits(plan.clipRefs[j], clips) ||
        !referenceFits(plan.transformRefs[j], transforms)) {
      return false;
    }
  }
  return true;
}

bool RetainedResourceStore::updateFitsOwner(const AdmissionPlan& plan, std::int32_t owner) const {
  if (!tables_.owners.holds(owner)) return false;
  const auto o = static_cast<std::size_t>(owner);
  const std::size_t n = plan.commands.size();
  const std::int64_t first = tables_.owners.firstRows[o];
  if (static_cast<std::int64_t>(n) != tables_.owners.commandCounts[o] || first < 0 ||
      first + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(tables_.commands.rows())) {
    return false;
  }
  // The "command-sequence" keys stay as they are, so the sequences must too.
  for (std::size_t j = 0; j < n; ++j) {
    if (tables_.commands.sequences[static_cast<std::size_t>(first) + j] != plan.commands[j].sequence) return false;
  }
  return true;
}

void RetainedResourceStore::reserveFor(const AdmissionResult& result, std::uint8_t kind) {
  const bool binding = isBinding(kind);
  tables_.grow(TableGrowth{result.paints.size(), result.images.size(), result.glyphAlphas.size(), result.clips.size(),
                           result.transforms.size(), binding ? 1U : 0U, binding ? result.plan.commands.size() : 0});
  std::size_t keyBytes = 0;
  const std::size_t keys = keysToPut(result, kind, keyBytes);
  index_.reserveMore(keys, keyBytes);
}

bool RetainedResourceStore::applyDelta(AdmissionResult result, std::uint8_t kind) {
  std::int32_t owner = -1;
  if (!fitsStore(result, kind, owner)) return false;
  reserveFor(result, kind);
  try {
    appendResourceRows(result);
    if (isBinding(kind)) {
      appendOwnerRows(result.plan);
    } else {
      rewriteOwnerRows(result.plan, static_cast<std::size_t>(owner));
    }
  } catch (...) {
    // Some rows may be written and others not; no commit may apply this store again.
    state_ = "invalid";
    throw;
  }
  return true;
}

void RetainedResourceStore::appendResourceRows(AdmissionResult& result) {
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
}

void RetainedResourceStore::appendOwnerRows(AdmissionPlan& plan) {
  const std::size_t n = plan.commands.size();
  const auto o = static_cast<std::uint32_t>(tables_.owners.rows());
  const auto f = static_cast<std::int32_t>(tables_.commands.rows());
  const Text bindingKey = resourceKey("binding", plan.ownerId, 0);
  tables_.owners.append(OwnerRow{std::move(plan.ownerId), plan.generation, plan.firstCommandSequence,
                                 plan.lastCommandSequence, f, static_cast<std::int32_t>(n)});
  indexPut(bindingKey, o);
  for (std::size_t j = 0; j < n; ++j) {
    const auto r = static_cast<std::uint32_t>(tables_.commands.rows());
    const render::CommandRecord& command = plan.commands[j];
    appendCommandRow(o, command, plan.paintRefs[j], plan.imageRefs[j], plan.glyphRefs[j], plan.clipRefs[j],
                     plan.transformRefs[j]);
    indexPut(resourceKey("command-sequence", "", command.sequence), r);
  }
  commandCount_ += static_cast<std::uint32_t>(n);
}

void RetainedResourceStore::rewriteOwnerRows(const AdmissionPlan& plan, std::size_t owner) {
  const std::size_t n = plan.commands.size();
  const std::int32_t f = tables_.owners.firstRows[owner];
  const std::int32_t old = tables_.owners.commandCounts[owner];
  tables_.owners.revise(owner, plan.generation, plan.firstCommandSequence, plan.lastCommandSequence,
                        static_cast<std::int32_t>(n));
  for (std::size_t j = 0; j < n; ++j) {
    writeCommandRow(f + static_cast<std::int32_t>(j), plan.commands[j], plan.paintRefs[j], plan.imageRefs[j],
                    plan.glyphRefs[j], plan.clipRefs[j], plan.transformRefs[j]);
  }
  commandCount_ = commandCount_ - static_cast<std::uint32_t>(old) + static_cast<std::uint32_t>(n);
}

void RetainedResourceStore::appendPaintRow(render::PaintRecord paint) {
  const auto r = static_cast<std::uint32_t>(tables_.paints.rows());
  const Text key = resourceKey("paint", paint.id, 0);
  tables_.paints.append(std::move(paint));
  indexPut(key, r);
}

void RetainedResourceStore::appendImageRow(render::ImageRecord image) {
  const auto r = static_cast<std::uint32_t>(tables_.images.rows());
  const Text generationKey = resourceKey("image-generation", image.id, image.generation);
  const Text latestKey = resourceKey("image-latest", image.id, 0);
  tables_.images.append(std::move(image));
  indexPut(generationKey, r);
  indexPut(latestKey, r);
}

void RetainedResourceStore::appendGlyphRow(render::GlyphAlphaRecord glyph) {
  const auto r = static_cast<std::uint32_t>(tables_.glyphs.rows());
  const Text key = resourceKey("glyph", glyph.id, 0);
  tables_.glyphs.append(std::move(glyph));
  indexPut(key, r);
}

void RetainedResourceStore::appendClipRow(render::ClipRecord clip) {
  const auto r = static_cast<std::uint32_t>(tables_.clips.rows());
  const Text key = resourceKey("clip", clip.id, 0);
  tables_.clips.append(std::move(clip));
  indexPut(key, r);
}

void RetainedResourceStore::appendTransformRow(render::TransformRecord transform) {
  const auto r = static_cast<std::uint32_t>(tables_.transforms.rows());
  const Text key = resourceKey("transform", transform.id, 0);
  tables_.transforms.append(std::move(transform));
  indexPut(key, r);
}

void RetainedResourceStore::appendCommandRow(std::uint32_t ownerRow, const render::CommandRecord& command,
                                             std::int32_t paintRef, std::int32_t imageRef, std::int32_t glyphRef,
                                             std::int32_t clipRef, std::int32_t transformRef) {
  // The row's texts are made before the first column grows, so that running out of memory for
  // one of them leaves every column as long as the others.
  tables_.commands.append(
      commandRow(static_cast<std::int32_t>(ownerRow), command, paintRef, imageRef, glyphRef, clipRef, transformRef));
}

void RetainedResourceStore::writeCommandRow(std::int32_t row, const render::CommandRecord& command,
                                            std::int32_t paintRef, std::int32_t imageRef, std::int32_t glyphRef,
                                            std::int32_t clipRef, std::int32_t transformRef) {
  if (!tables_.commands.holds(row)) return;
  tables_.commands.rewriteKeepingOwner(static_cast<std::size_t>(row),
                                       commandRow(-1, command, paintRef, imageRef, glyphRef, clipRef, transformRef));
}

}  // namespace retained
