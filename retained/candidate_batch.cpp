// Candidate batches: many owner updates prepared against one shared overlay, so that each item
// sees what the items before it bring, and committed all together under one revision step.
// Refusals are batches that are not accepted, or commit results with a message; the store
// changes only in a commit whose every check passed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "retained/admission_kind.hpp"
#include "retained/operation_result.hpp"
#include "retained/prepared_candidate_batch.hpp"
#include "retained/retained_resource_store.hpp"
#include "retained/store_messages.hpp"
#include "runtime/text.hpp"

namespace retained {
namespace {

using runtime::formatText;
using runtime::intToText;

constexpr std::size_t kMaxBatchItems = 4096;
constexpr std::int64_t kMaxBatchCommandsOrEntries = 65536;
constexpr std::int64_t kSmallestOverlayBuckets = 64;
constexpr std::int64_t kLargestOverlayBuckets = 8192;

}  // namespace

std::int32_t candidateOverlayBucketCount(std::int64_t items, std::int64_t commands, std::int64_t entries) {
  const std::int64_t needed = items + commands + 2 * entries;
  std::int64_t buckets = kSmallestOverlayBuckets;
  while (buckets < needed && buckets < kLargestOverlayBuckets) {
    buckets *= 2;
  }
  return static_cast<std::int32_t>(buckets);
}

std::shared_ptr<PreparedCandidateBatch> RetainedResourceStore::prepareCandidateBatch(
    const std::vector<render::OwnerFragment>& fragments, const std::vector<render::ResourceDelta>& deltas,
    std::uint32_t expectedRevision) const {
  CandidateOverlay overlay = makeCandidateOverlay(1);
  std::vector<std::shared_ptr<PreparedAdmission>> items;
  auto refuse = [&](Text message) {
    return std::make_shared<PreparedCandidateBatch>(identityToken_, expectedRevision, 0, std::move(message),
                                                    std::move(items), sumOverlayProbes(overlay), 0, 0);
  };
  if (state_ != "open") {
    return refuse(kStoreNotOpen);
  }
  if (expectedRevision != revision_) {
    return refuse(staleRevisionMessage(expectedRevision, revision_));
  }
  const std::size_t n = fragments.size();
  if (n == 0 || n > kMaxBatchItems || deltas.size() != n) {
    return refuse(formatText("retained resource candidate batch requires 1..{0} parallel fragment/delta items",
                             {std::to_string(kMaxBatchItems)}));
  }
  std::int64_t commands = 0;
  std::int64_t entries = 0;
  for (std::size_t i = 0; i < n; ++i) {
    commands += static_cast<std::int64_t>(fragments[i].commands.size());
    entries += countDeltaResources(deltas[i]);
    if (commands > kMaxBatchCommandsOrEntries || entries > kMaxBatchCommandsOrEntries) {
      return refuse(formatText("retained resource candidate batch exceeds {0} commands or delta entries",
                               {std::to_string(kMaxBatchCommandsOrEntries)}));
    }
  }
  overlay = makeCandidateOverlay(candidateOverlayBucketCount(static_cast<std::int64_t>(n), commands, entries));

  for (std::size_t i = 0; i < n; ++i) {
    const render::OwnerFragment& fragment = fragments[i];
    const auto position = static_cast<std::uint32_t>(i);
    if (overlay.ownerIndex.get(fragment.id) >= 0) {
      return refuse(formatText("retained resource candidate batch duplicates owner {0}", {fragment.id}));
    }
    overlay.ownerIndex.put(fragment.id, position);
    for (const render::CommandRecord& command : fragment.commands) {
      const Text key = resourceKey("command-sequence", "", command.sequence);
      if (overlay.sequenceIndex.get(key) >= 0) {
        return refuse(formatText("retained resource candidate batch duplicates command sequence {0}",
                                 {intToText(command.sequence)}));
      }
      overlay.sequenceIndex.put(key, position);
    }
  }

  items.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    AdmissionResult result = preflightAdmission(fragments[i], deltas[i], expectedRevision, kUpdateAdmission, overlay);
    if (!result.accepted) {
      return refuse(formatText("retained resource candidate batch item {0}: {1}",
                               {intToText(static_cast<std::int32_t>(i)), result.message}));
    }
    items.push_back(std::make_shared<PreparedAdmission>(identityToken_, result, fragments[i], deltas[i],
                                                        expectedRevision, kUpdateAdmission));
    stageDelta(result, overlay);
  }
  return std::make_shared<PreparedCandidateBatch>(identityToken_, expectedRevision, 1, "ok", std::move(items),
                                                  sumOverlayProbes(overlay), 0, 0);
}

OperationResult RetainedResourceStore::commitPreparedCandidateBatch(
    const std::shared_ptr<PreparedCandidateBatch>& batch, const std::vector<render::OwnerFragment>& fragments,
    const std::vector<render::ResourceDelta>& deltas) {
  auto refuse = [&](Text message) { return makeOperationResult(false, revision_, 0, 0, 0, std::move(message)); };
  if (!batch) {
    return refuse("retained resource prepared candidate batch is missing");
  }
  if (!batch->belongsTo(identityToken_)) {
    return refuse("retained resource prepared candidate batch belongs to another store");
  }
  if (batch->consumed() != 0) {
    return refuse("retained resource prepared candidate batch was already consumed");
  }
  if (batch->accepted() == 0) {
    return refuse(batch->name());
  }
  if (batch->revision() != revision_) {
    return refuse(formatText("retained resource prepared candidate batch is stale: expected {0}, current {1}",
                             {countText(batch->revision()), countText(revision_)}));
  }
  // After the stale test, as for single admissions: a store left invalid by an interrupted
  // application at an unchanged revision takes nothing more.
  if (state_ != "open") {
    return refuse(kStoreNotOpen);
  }
  if (!batch->itemsUnchangedInOrder(fragments, deltas)) {
    return refuse("retained resource prepared candidate batch inputs were changed or reordered");
  }
  std::uint32_t validations = 0;
  std::uint32_t explicitComparisons = 0;
  std::uint32_t payloadComparisons = 0;
  std::uint32_t probes = 0;
  std::size_t applied = 0;
  try {
    for (; applied < fragments.size(); ++applied) {
      AdmissionResult result =
          batch->rebuildItemPreflight(static_cast<std::int32_t>(applied), fragments[applied], deltas[applied]);
      validations += result.validationCount;
      explicitComparisons += result.explicitComparisonCount;
      payloadComparisons += result.payloadComparisonCount;
      probes += result.indexProbeCount;
      if (!applyDelta(std::move(result), kUpdateAdmission)) {
        break;
      }
    }
  } catch (...) {
    // Items written before the failure stay written at the old revision; a retried commit
    // would write them again, so the store takes nothing more.
    if (applied > 0) {
      state_ = "invalid";
    }
    throw;
  }
  if (applied < fragments.size()) {
    if (applied > 0) {
      state_ = "invalid";
    }
    return refuse("retained resource store cannot apply an admission made against other tables");
  }
  revision_ += 1;
  validationCount_ += validations;
  explicitComparisonCount_ += explicitComparisons;
  payloadComparisonCount_ += payloadComparisons;
  index_.probeCount += probes;
  admissionCount_ += 1;
  batch->markConsumed();
  return makeOperationResult(true, revision_, validations, explicitComparisons, payloadComparisons, "ok");
}

}  // namespace retained
