// The admission preflight: every rule an owner's fragment and its resource delta must pass
// before they may enter the store, checked in a fixed order against the store and a candidate
// overlay. The first failing rule is the answer; nothing here writes the store, and the overlay
// only counts the probes of its lookups.
#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <utility>

#include "render/fragment_validation.hpp"
#include "retained/admission_kind.hpp"
#include "retained/retained_resource_store.hpp"
#include "retained/store_messages.hpp"
#include "runtime/text.hpp"

namespace retained {
namespace {

using runtime::formatText;
using runtime::intToText;

constexpr std::int64_t kMaxDeltaEntries = 65536;
constexpr std::int64_t kMaxEntries = 65536;
constexpr std::int64_t kMaxCommands = 65536;
constexpr std::int64_t kMaxPayloadBytes = 67108864;
constexpr std::int32_t kMaxBoundOwnersBeforeBinding = 4095;
constexpr std::int64_t kMaxIndexNodes = 200704;

// Counters of the store are compared as signed 32-bit values.
std::int64_t signedCount(std::uint32_t value) { return static_cast<std::int32_t>(value); }

std::int64_t listSize(std::size_t size) { return static_cast<std::int64_t>(size); }

AdmissionResult refuse(AdmissionResult& result, Text message) {
  result.message = std::move(message);
  return std::move(result);
}

}  // namespace

AdmissionResult RetainedResourceStore::evaluateAdmission(const render::OwnerFragment& fragment,
                                                         const render::ResourceDelta& delta,
                                                         std::uint32_t expectedRevision, std::uint8_t kind) const {
  CandidateOverlay overlay = makeCandidateOverlay(1);
  return preflightAdmission(fragment, delta, expectedRevision, kind, overlay);
}

AdmissionResult RetainedResourceStore::preflightAdmission(const render::OwnerFragment& fragment,
                                                          const render::ResourceDelta& delta,
                                                          std::uint32_t expectedRevision, std::uint8_t kind,
                                                          CandidateOverlay& overlay) const {
  AdmissionResult result = makePreflightResult(fragment.id, fragment.generation);
  const Text& owner = fragment.id;
  if (state_ != "open") {
    return refuse(result, kStoreNotOpen);
  }
  if (expectedRevision != revision_) {
    return refuse(result, staleRevisionMessage(expectedRevision, revision_));
  }
  if (delta.surfaceId != surfaceId_) {
    return refuse(result, "retained resource delta surface does not match store");
  }
  Text invalid = render::validateOwnerFragment(fragment);
  if (!invalid.empty()) {
    return refuse(result, std::move(invalid));
  }
  const std::vector<render::CommandRecord>& commands = fragment.commands;
  const std::int32_t ownerRow = findOwnerCounted(result, owner);
  if (isBinding(kind) && ownerRow >= 0) {
    return refuse(result, formatText("retained resource owner {0} is already bound", {owner}));
  }
  if (!isBinding(kind) && ownerRow < 0) {
    return refuse(result, formatText("retained resource owner {0} requires an initial binding", {owner}));
  }
  const auto row = static_cast<std::size_t>(ownerRow);
  if (!isBinding(kind)) {
    if (!(fragment.generation > tables_.owners.generations[row])) {
      return refuse(result, formatText("retained resource owner {0} requires a newer fragment generation", {owner}));
    }
    // Made only on refusal: every accepted update would otherwise format a message it drops.
    auto rangeChanged = [&owner] {
      return formatText("retained resource owner {0} must preserve its exact command range", {owner});
    };
    if (listSize(commands.size()) != tables_.owners.commandCounts[row]) {
      return refuse(result, rangeChanged());
    }
    for (std::size_t j = 0; j < commands.size(); ++j) {
      const std::size_t s = static_cast<std::size_t>(tables_.owners.firstRows[row]) + j;
      const render::CommandRecord& command = commands[j];
      if (command.sequence != tables_.commands.sequences[s]) {
        return refuse(result, rangeChanged());
      }
      if (command.kind == "image" && tables_.commands.kinds[s] == "image" &&
          tables_.commands.resourceIds[s] == command.resourceId &&
          command.imageGeneration < tables_.commands.imageGenerations[s]) {
        return refuse(result, formatText("retained resource owner {0} image {1} generation regressed from {2} to {3}",
                                         {owner, command.resourceId, intToText(tables_.commands.imageGenerations[s]),
                                          intToText(command.imageGeneration)}));
      }
    }
  } else {
    const std::int32_t first = commands.front().sequence;
    const std::int32_t last = commands.back().sequence;
    for (std::size_t i = 0; i < tables_.owners.rows(); ++i) {
      if (first <= tables_.owners.lastSequences[i] && last >= tables_.owners.firstSequences[i]) {
        return refuse(result, formatText("retained resource owner {0} command range overlaps {1}",
                                         {owner, tables_.owners.ids[i]}));
      }
    }
  }
  if (countDeltaResources(delta) > kMaxDeltaEntries) {
    return refuse(result, "retained resource delta exceeds 65536 entries");
  }
  for (const render::PaintRecord& paint : delta.paints) {
    if (!admitPaint(result, overlay, paint)) {
      return result;
    }
  }
  for (const render::ImageRecord& image : delta.images) {
    if (!admitImage(result, overlay, image)) {
      return result;
    }
  }
  for (const render::GlyphAlphaRecord& glyph : delta.glyphAlphas) {
    if (!admitGlyphAlpha(result, overlay, glyph)) {
      return result;
    }
  }
  for (const render::ClipRecord& clip : delta.clips) {
    if (!admitClip(result, overlay, clip)) {
      return result;
    }
  }
  for (const render::TransformRecord& transform : delta.transforms) {
    if (!admitTransform(result, overlay, transform)) {
      return result;
    }
  }

  // Budgets are summed in 64 bits so that thousands of large records cannot wrap past a limit.
  const std::int64_t entries =
      signedCount(entryCount()) + listSize(overlay.paints.size()) + listSize(overlay.images.size()) +
      listSize(overlay.glyphAlphas.size()) + listSize(overlay.clips.size()) + listSize(overlay.transforms.size()) +
      listSize(result.paints.size()) + listSize(result.images.size()) + listSize(result.glyphAlphas.size()) +
      listSize(result.clips.size()) + listSize(result.transforms.size());
  const std::int64_t replaced = isBinding(kind) ? 0 : tables_.owners.commandCounts[row];
  const std::int64_t commandTotal = signedCount(commandCount_) - replaced + listSize(commands.size());
  std::int64_t payload = static_cast<std::int64_t>(overlay.stagedPayloadBytes) + signedCount(payloadBytes_);
  for (const render::ImageRecord& image : result.images) {
    payload += image.sizeBytes;
  }
  for (const render::GlyphAlphaRecord& glyph : result.glyphAlphas) {
    payload += glyph.sizeBytes;
  }
  if (entries > kMaxEntries || commandTotal > kMaxCommands || payload > kMaxPayloadBytes) {
    return refuse(result, "retained resource store exceeds 65536 entries/commands or 64 MiB");
  }
  if (isBinding(kind) && static_cast<std::int32_t>(ownerCount()) > kMaxBoundOwnersBeforeBinding) {
    return refuse(result, "retained resource store exceeds 4096 owners");
  }
  std::int64_t nodes = listSize(result.paints.size()) + 2 * listSize(result.images.size()) +
                       listSize(result.glyphAlphas.size()) + listSize(result.clips.size()) +
                       listSize(result.transforms.size());
  if (isBinding(kind)) {
    nodes += listSize(commands.size()) + 1;
  }
  nodes += signedCount(indexKeyCount()) + static_cast<std::int64_t>(overlay.stagedIndexNodes);
  if (nodes > kMaxIndexNodes) {
    return refuse(result, "retained resource store exceeds 200704 index nodes");
  }

  AdmissionPlan& plan = result.plan;
  plan.firstCommandSequence = commands.front().sequence;
  plan.lastCommandSequence = commands.back().sequence;
  plan.commands.reserve(commands.size());
  for (const render::CommandRecord& command : commands) {
    std::int32_t paint = -1;
    std::int32_t image = -1;
    std::int32_t glyph = -1;
    std::int32_t clip = -1;
    std::int32_t transform = -1;
    if (!command.paintId.empty()) {
      paint = findReferencedPaint(result, overlay, command.paintId);
      if (paint < 0) {
        return refuse(result,
                      formatText("retained resource owner {0} references missing paint {1}", {owner, command.paintId}));
      }
    }
    if (command.kind == "image") {
      image = findReferencedImage(result, overlay, command.resourceId, command.imageGeneration);
      if (image < 0) {
        return refuse(result, formatText("retained resource owner {0} references missing image {1}@{2}",
                                         {owner, command.resourceId, intToText(command.imageGeneration)}));
      }
    }
    if (command.kind == "glyphAlpha" && !command.skipGlyphResolution) {
      glyph = findReferencedGlyph(result, overlay, command.resourceId);
      if (glyph < 0) {
        return refuse(result, formatText("retained resource owner {0} references missing glyph {1}",
                                         {owner, command.resourceId}));
      }
    }
    if (!command.clipId.empty()) {
      clip = findReferencedClip(result, overlay, command.clipId);
      if (clip < 0) {
        return refuse(result,
                      formatText("retained resource owner {0} references missing clip {1}", {owner, command.clipId}));
      }
    }
    if (!command.transformId.empty() && command.transformId != "identity") {
      transform = findReferencedTransform(result, overlay, command.transformId);
      if (transform < 0) {
        return refuse(result, formatText("retained resource owner {0} references missing transform {1}",
                                         {owner, command.transformId}));
      }
    }
    plan.commands.push_back(command);
    plan.paintRefs.push_back(paint);
    plan.imageRefs.push_back(image);
    plan.glyphRefs.push_back(glyph);
    plan.clipRefs.push_back(clip);
    plan.transformRefs.push_back(transform);
  }

  // The range test above compares only the first and last sequences; a binding whose commands
  // repeat a sequence, or take one another owner holds, would re-point that owner's
  // "command-sequence" key. These lookups count nothing, so every earlier refusal keeps its
  // counters.
  if (isBinding(kind)) {
    std::unordered_set<std::int32_t> seen;
    seen.reserve(commands.size());
    for (const render::CommandRecord& command : commands) {
      if (!seen.insert(command.sequence).second) {
        return refuse(result, formatText("retained resource owner {0} repeats command sequence {1}",
                                         {owner, intToText(command.sequence)}));
      }
      const std::int32_t held = indexGet(resourceKey("command-sequence", "", command.sequence));
      if (held >= 0) {
        const std::int32_t holder = commandOwner(held);
        const Text holderId = holder >= 0 ? tables_.owners.ids[static_cast<std::size_t>(holder)] : Text();
        return refuse(result, formatText("retained resource owner {0} command sequence {1} is held by {2}",
                                         {owner, intToText(command.sequence), holderId}));
      }
    }
  }

  result.accepted = true;
  result.message = "ok";
  return result;
}

}  // namespace retained
