// The admission preflight: every rule an owner's fragment and its resource delta must pass
// before they may enter the store, checked in a fixed order against the store and a candidate
// overlay. The first failing rule is the answer; nothing here writes the store, and the overlay
// only counts the probes of its lookups.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

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
// One number in the store budget's message names both.
static_assert(kMaxEntries == kMaxCommands);
constexpr std::int64_t kMaxPayloadMebibytes = 64;
constexpr std::int64_t kMaxPayloadBytes = kMaxPayloadMebibytes * 1024 * 1024;
constexpr std::int32_t kMaxOwners = 4096;
constexpr std::int64_t kMaxIndexNodes = 200704;

// Counters of the store are compared as signed 32-bit values.
std::int64_t signedCount(std::uint32_t value) { return static_cast<std::int32_t>(value); }

std::int64_t listSize(std::size_t size) { return static_cast<std::int64_t>(size); }

// Refuses: the message becomes the result's, and the preflight stops at this step.
bool refuse(AdmissionResult& result, Text message) {
  result.message = std::move(message);
  return false;
}

// Entry number of one reference of a command, or -1 when the command names none; `found` turns
// false when it names one that no layer holds.
template <typename Find>
std::int32_t reference(bool wanted, bool& found, Find find) {
  if (!wanted) return -1;
  const std::int32_t entry = find();
  found = entry >= 0;
  return entry;
}

}  // namespace

AdmissionResult RetainedResourceStore::evaluateAdmission(const render::OwnerFragment& fragment,
                                                         const render::ResourceDelta& delta,
                                                         std::uint32_t expectedRevision, std::uint8_t kind) const {
  CandidateOverlay overlay = makeCandidateOverlay(1);
  return preflightAdmission(fragment, delta, expectedRevision, kind, overlay);
}

// The steps in their order. A step that refuses has written its message into the result, which
// is returned as it stands with everything counted and gathered until then.
AdmissionResult RetainedResourceStore::preflightAdmission(const render::OwnerFragment& fragment,
                                                          const render::ResourceDelta& delta,
                                                          std::uint32_t expectedRevision, std::uint8_t kind,
                                                          CandidateOverlay& overlay) const {
  AdmissionResult result = makePreflightResult(fragment.id, fragment.generation);
  if (!storeIsOpen(result)) return result;
  if (!revisionIsCurrent(result, expectedRevision)) return result;
  if (!surfaceMatches(result, delta)) return result;
  if (!fragmentIsValid(result, fragment)) return result;
  std::int32_t ownerRow = -1;
  if (!ownerFitsKind(result, fragment.id, kind, ownerRow)) return result;
  if (isBinding(kind) ? !rangeIsFree(result, fragment) : !updateKeepsOwner(result, fragment, ownerRow)) return result;
  if (!deltaSizeFits(result, delta)) return result;
  if (!resourcesAdmitted(result, overlay, delta)) return result;
  if (!storeBudgetsHold(result, overlay, fragment, kind, ownerRow)) return result;
  if (!ownerBudgetHolds(result, kind)) return result;
  if (!indexBudgetHolds(result, overlay, fragment, kind)) return result;
  if (!referencesResolve(result, overlay, fragment)) return result;
  if (!sequencesAreFree(result, fragment, kind)) return result;
  result.accepted = true;
  result.message = "ok";
  return result;
}

bool RetainedResourceStore::storeIsOpen(AdmissionResult& result) const {
  return state_ == "open" || refuse(result, kStoreNotOpen);
}

bool RetainedResourceStore::revisionIsCurrent(AdmissionResult& result, std::uint32_t expectedRevision) const {
  return expectedRevision == revision_ || refuse(result, staleRevisionMessage(expectedRevision, revision_));
}

bool RetainedResourceStore::surfaceMatches(AdmissionResult& result, const render::ResourceDelta& delta) const {
  return delta.surfaceId == surfaceId_ || refuse(result, "retained resource delta surface does not match store");
}

bool RetainedResourceStore::fragmentIsValid(AdmissionResult& result, const render::OwnerFragment& fragment) {
  Text invalid = render::validateOwnerFragment(fragment);
  return invalid.empty() || refuse(result, std::move(invalid));
}

bool RetainedResourceStore::ownerFitsKind(AdmissionResult& result, const Text& owner, std::uint8_t kind,
                                          std::int32_t& ownerRow) const {
  ownerRow = findOwnerCounted(result, owner);
  if (isBinding(kind) && ownerRow >= 0) {
    return refuse(result, formatText("retained resource owner {0} is already bound", {owner}));
  }
  if (!isBinding(kind) && ownerRow < 0) {
    return refuse(result, formatText("retained resource owner {0} requires an initial binding", {owner}));
  }
  return true;
}

bool RetainedResourceStore::updateKeepsOwner(AdmissionResult& result, const render::OwnerFragment& fragment,
                                             std::int32_t ownerRow) const {
  const Text& owner = fragment.id;
  const std::vector<render::CommandRecord>& commands = fragment.commands;
  const auto row = static_cast<std::size_t>(ownerRow);
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
  const CommandTable& stored = tables_.commands;
  for (std::size_t j = 0; j < commands.size(); ++j) {
    const std::size_t s = static_cast<std::size_t>(tables_.owners.firstRows[row]) + j;
    const render::CommandRecord& command = commands[j];
    if (command.sequence != stored.sequences[s]) {
      return refuse(result, rangeChanged());
    }
    if (command.kind == "image" && stored.kinds[s] == "image" && stored.resourceIds[s] == command.resourceId &&
        command.imageGeneration < stored.imageGenerations[s]) {
      return refuse(result, formatText("retained resource owner {0} image {1} generation regressed from {2} to {3}",
                                       {owner, command.resourceId, intToText(stored.imageGenerations[s]),
                                        intToText(command.imageGeneration)}));
    }
  }
  return true;
}

bool RetainedResourceStore::rangeIsFree(AdmissionResult& result, const render::OwnerFragment& fragment) const {
  const std::int32_t first = fragment.commands.front().sequence;
  const std::int32_t last = fragment.commands.back().sequence;
  const OwnerTable& owners = tables_.owners;
  for (std::size_t i = 0; i < owners.rows(); ++i) {
    if (first <= owners.lastSequences[i] && last >= owners.firstSequences[i]) {
      return refuse(result,
                    formatText("retained resource owner {0} command range overlaps {1}", {fragment.id, owners.ids[i]}));
    }
  }
  return true;
}

bool RetainedResourceStore::deltaSizeFits(AdmissionResult& result, const render::ResourceDelta& delta) {
  return countDeltaResources(delta) <= kMaxDeltaEntries ||
         refuse(result, formatText("retained resource delta exceeds {0} entries", {std::to_string(kMaxDeltaEntries)}));
}

bool RetainedResourceStore::resourcesAdmitted(AdmissionResult& result, CandidateOverlay& overlay,
                                              const render::ResourceDelta& delta) const {
  // A refused record has written its own message.
  for (const render::PaintRecord& paint : delta.paints) {
    if (!admitPaint(result, overlay, paint)) return false;
  }
  for (const render::ImageRecord& image : delta.images) {
    if (!admitImage(result, overlay, image)) return false;
  }
  for (const render::GlyphAlphaRecord& glyph : delta.glyphAlphas) {
    if (!admitGlyphAlpha(result, overlay, glyph)) return false;
  }
  for (const render::ClipRecord& clip : delta.clips) {
    if (!admitClip(result, overlay, clip)) return false;
  }
  for (const render::TransformRecord& transform : delta.transforms) {
    if (!admitTransform(result, overlay, transform)) return false;
  }
  return true;
}

bool RetainedResourceStore::storeBudgetsHold(AdmissionResult& result, const CandidateOverlay& overlay,
                                             const render::OwnerFragment& fragment, std::uint8_t kind,
                                             std::int32_t ownerRow) const {
  // Budgets are summed in 64 bits so that thousands of large records cannot wrap past a limit.
  const std::int64_t entries =
      signedCount(entryCount()) + listSize(overlay.paints.size()) + listSize(overlay.images.size()) +
      listSize(overlay.glyphAlphas.size()) + listSize(overlay.clips.size()) + listSize(overlay.transforms.size()) +
      listSize(result.paints.size()) + listSize(result.images.size()) + listSize(result.glyphAlphas.size()) +
      listSize(result.clips.size()) + listSize(result.transforms.size());
  const std::int64_t replaced = isBinding(kind) ? 0 : tables_.owners.commandCounts[static_cast<std::size_t>(ownerRow)];
  const std::int64_t commandTotal = signedCount(commandCount_) - replaced + listSize(fragment.commands.size());
  std::int64_t payload = static_cast<std::int64_t>(overlay.stagedPayloadBytes) + signedCount(payloadBytes_);
  for (const render::ImageRecord& image : result.images) {
    payload += image.sizeBytes;
  }
  for (const render::GlyphAlphaRecord& glyph : result.glyphAlphas) {
    payload += glyph.sizeBytes;
  }
  if (entries > kMaxEntries || commandTotal > kMaxCommands || payload > kMaxPayloadBytes) {
    return refuse(result, formatText("retained resource store exceeds {0} entries/commands or {1} MiB",
                                     {std::to_string(kMaxEntries), std::to_string(kMaxPayloadMebibytes)}));
  }
  return true;
}

bool RetainedResourceStore::ownerBudgetHolds(AdmissionResult& result, std::uint8_t kind) const {
  // A binding adds an owner: refused once kMaxOwners are bound.
  if (isBinding(kind) && static_cast<std::int32_t>(ownerCount()) >= kMaxOwners) {
    return refuse(result, formatText("retained resource store exceeds {0} owners", {intToText(kMaxOwners)}));
  }
  return true;
}

bool RetainedResourceStore::indexBudgetHolds(AdmissionResult& result, const CandidateOverlay& overlay,
                                             const render::OwnerFragment& fragment, std::uint8_t kind) const {
  std::int64_t nodes = listSize(result.paints.size()) + 2 * listSize(result.images.size()) +
                       listSize(result.glyphAlphas.size()) + listSize(result.clips.size()) +
                       listSize(result.transforms.size());
  if (isBinding(kind)) {
    nodes += listSize(fragment.commands.size()) + 1;
  }
  nodes += signedCount(indexKeyCount()) + static_cast<std::int64_t>(overlay.stagedIndexNodes);
  if (nodes > kMaxIndexNodes) {
    return refuse(result,
                  formatText("retained resource store exceeds {0} index nodes", {std::to_string(kMaxIndexNodes)}));
  }
  return true;
}

bool RetainedResourceStore::referencesResolve(AdmissionResult& result, CandidateOverlay& overlay,
                                              const render::OwnerFragment& fragment) const {
  const std::vector<render::CommandRecord>& commands = fragment.commands;
  AdmissionPlan& plan = result.plan;
  plan.firstCommandSequence = commands.front().sequence;
  plan.lastCommandSequence = commands.back().sequence;
  plan.commands.reserve(commands.size());
  for (const render::CommandRecord& command : commands) {
    if (!commandReferencesResolve(result, overlay, fragment.id, command)) return false;
  }
  return true;
}

bool RetainedResourceStore::commandReferencesResolve(AdmissionResult& result, CandidateOverlay& overlay,
                                                     const Text& owner, const render::CommandRecord& command) const {
  bool found = true;
  const std::int32_t paint =
      reference(!command.paintId.empty(), found, [&] { return findReferencedPaint(result, overlay, command.paintId); });
  if (!found) {
    return refuse(result,
                  formatText("retained resource owner {0} references missing paint {1}", {owner, command.paintId}));
  }
  const std::int32_t image = reference(command.kind == "image", found, [&] {
    return findReferencedImage(result, overlay, command.resourceId, command.imageGeneration);
  });
  if (!found) {
    return refuse(result, formatText("retained resource owner {0} references missing image {1}@{2}",
                                     {owner, command.resourceId, intToText(command.imageGeneration)}));
  }
  const std::int32_t glyph = reference(command.kind == "glyphAlpha" && !command.skipGlyphResolution, found,
                                       [&] { return findReferencedGlyph(result, overlay, command.resourceId); });
  if (!found) {
    return refuse(result,
                  formatText("retained resource owner {0} references missing glyph {1}", {owner, command.resourceId}));
  }
  const std::int32_t clip =
      reference(!command.clipId.empty(), found, [&] { return findReferencedClip(result, overlay, command.clipId); });
  if (!found) {
    return refuse(result,
                  formatText("retained resource owner {0} references missing clip {1}", {owner, command.clipId}));
  }
  const std::int32_t transform =
      reference(!command.transformId.empty() && command.transformId != "identity", found,
                [&] { return findReferencedTransform(result, overlay, command.transformId); });
  if (!found) {
    return refuse(result, formatText("retained resource owner {0} references missing transform {1}",
                                     {owner, command.transformId}));
  }
  AdmissionPlan& plan = result.plan;
  plan.commands.push_back(command);
  plan.paintRefs.push_back(paint);
  plan.imageRefs.push_back(image);
  plan.glyphRefs.push_back(glyph);
  plan.clipRefs.push_back(clip);
  plan.transformRefs.push_back(transform);
  return true;
}

// The range test compares only the first and last sequences; a binding whose commands repeat a
// sequence, or take one another owner holds, would re-point that owner's "command-sequence" key.
// These lookups count nothing, so every earlier refusal keeps its counters.
bool RetainedResourceStore::sequencesAreFree(AdmissionResult& result, const render::OwnerFragment& fragment,
                                             std::uint8_t kind) const {
  if (!isBinding(kind)) return true;
  std::unordered_set<std::int32_t> seen;
  seen.reserve(fragment.commands.size());
  for (const render::CommandRecord& command : fragment.commands) {
    if (!seen.insert(command.sequence).second) {
      return refuse(result, formatText("retained resource owner {0} repeats command sequence {1}",
                                       {fragment.id, intToText(command.sequence)}));
    }
    const std::int32_t held = indexGet(resourceKey("command-sequence", "", command.sequence));
    if (held >= 0) {
      const std::int32_t holder = commandOwner(held);
      const Text holderId = holder >= 0 ? tables_.owners.ids[static_cast<std::size_t>(holder)] : Text();
      return refuse(result, formatText("retained resource owner {0} command sequence {1} is held by {2}",
                                       {fragment.id, intToText(command.sequence), holderId}));
    }
  }
  return true;
}

}  // namespace retained
