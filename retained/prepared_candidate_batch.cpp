// Prepared candidate batch: summed counters and item-wise checks of the commit's inputs.
#include "retained/prepared_candidate_batch.hpp"

#include <cstddef>
#include <utility>

#include "runtime/text.hpp"

namespace retained {

PreparedCandidateBatch::PreparedCandidateBatch(std::shared_ptr<StoreIdentityToken> identityToken,
                                               std::uint32_t revision, std::uint8_t accepted, Text name,
                                               std::vector<std::shared_ptr<PreparedAdmission>> items,
                                               std::uint32_t overlayProbeCount, std::uint32_t overlayValue3,
                                               std::uint32_t overlayValue4)
    : identityToken_(std::move(identityToken)),
      revision_(revision),
      accepted_(accepted),
      name_(std::move(name)),
      items_(std::move(items)),
      overlayProbeCount_(overlayProbeCount),
      overlayValue3_(overlayValue3),
      overlayValue4_(overlayValue4) {
  for (const std::shared_ptr<PreparedAdmission>& item : items_) {
    validationCount_ += item->validationCount();
    explicitComparisonCount_ += item->explicitComparisonCount();
    payloadComparisonCount_ += item->payloadComparisonCount();
    indexProbeCount_ += item->indexProbeCount();
  }
}

std::uint8_t PreparedCandidateBatch::accepted() const { return accepted_; }
std::uint32_t PreparedCandidateBatch::revision() const { return revision_; }
std::int32_t PreparedCandidateBatch::itemCount() const { return static_cast<std::int32_t>(items_.size()); }
std::uint32_t PreparedCandidateBatch::validationCount() const { return validationCount_; }
std::uint32_t PreparedCandidateBatch::explicitComparisonCount() const { return explicitComparisonCount_; }
std::uint32_t PreparedCandidateBatch::payloadComparisonCount() const { return payloadComparisonCount_; }
std::uint32_t PreparedCandidateBatch::indexProbeCount() const { return indexProbeCount_; }
std::uint32_t PreparedCandidateBatch::overlayProbeCount() const { return overlayProbeCount_; }
std::uint32_t PreparedCandidateBatch::overlayValue3() const { return overlayValue3_; }
std::uint32_t PreparedCandidateBatch::overlayValue4() const { return overlayValue4_; }
Text PreparedCandidateBatch::name() const { return name_; }
std::uint8_t PreparedCandidateBatch::consumed() const { return consumed_; }

bool PreparedCandidateBatch::belongsTo(const std::shared_ptr<StoreIdentityToken>& token) const {
  return token.get() == identityToken_.get();
}

void PreparedCandidateBatch::markConsumed() { consumed_ = 1; }

bool PreparedCandidateBatch::itemsUnchangedInOrder(const std::vector<render::OwnerFragment>& fragments,
                                                   const std::vector<render::ResourceDelta>& deltas) const {
  if (fragments.size() != items_.size() || deltas.size() != items_.size()) {
    return false;
  }
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (!items_[i]->inputsUnchanged(fragments[i], deltas[i])) {
      return false;
    }
  }
  return true;
}

AdmissionResult PreparedCandidateBatch::rebuildItemPreflight(std::int32_t i, const render::OwnerFragment& fragment,
                                                             const render::ResourceDelta& delta) const {
  if (i < 0 || i >= itemCount()) {
    AdmissionResult missing = makePreflightResult(fragment.id, fragment.generation);
    missing.message =
        runtime::formatText("retained resource prepared candidate batch has no item {0}", {runtime::intToText(i)});
    return missing;
  }
  return items_[static_cast<std::size_t>(i)]->rebuildPreflight(fragment, delta);
}

}  // namespace retained
