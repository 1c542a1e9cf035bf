// A prepared batch of owner updates: one prepared admission per item, in item order, with the
// items' counters summed and the probe total of the batch overlay. It is born accepted or
// refused; its only change is becoming consumed by a successful commit. It keeps neither the
// overlay nor the inputs; the commit hands the fragments and deltas in again and each item
// checks its own. Nothing here reports a failure; only memory exhaustion propagates.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "retained/prepared_admission.hpp"

namespace retained {

class PreparedCandidateBatch {
 public:
  PreparedCandidateBatch(std::shared_ptr<StoreIdentityToken> identityToken, std::uint32_t revision,
                         std::uint8_t accepted, Text name, std::vector<std::shared_ptr<PreparedAdmission>> items,
                         std::uint32_t overlayProbeCount, std::uint32_t overlayValue3, std::uint32_t overlayValue4);
  virtual ~PreparedCandidateBatch() = default;
  PreparedCandidateBatch(const PreparedCandidateBatch&) = delete;
  PreparedCandidateBatch& operator=(const PreparedCandidateBatch&) = delete;
  PreparedCandidateBatch(PreparedCandidateBatch&&) = delete;
  PreparedCandidateBatch& operator=(PreparedCandidateBatch&&) = delete;

  virtual std::uint8_t accepted() const;
  virtual std::uint32_t revision() const;
  virtual std::int32_t itemCount() const;
  virtual std::uint32_t validationCount() const;
  virtual std::uint32_t explicitComparisonCount() const;
  virtual std::uint32_t payloadComparisonCount() const;
  virtual std::uint32_t indexProbeCount() const;
  virtual std::uint32_t overlayProbeCount() const;
  virtual std::uint32_t overlayValue3() const;
  virtual std::uint32_t overlayValue4() const;
  virtual Text name() const;
  virtual std::uint8_t consumed() const;
  virtual bool belongsTo(const std::shared_ptr<StoreIdentityToken>& token) const;
  virtual void markConsumed();
  // True when there are as many fragments and deltas as items and every item finds its own
  // inputs at its own position; a swap, insertion or removal answers false.
  virtual bool itemsUnchangedInOrder(const std::vector<render::OwnerFragment>& fragments,
                                     const std::vector<render::ResourceDelta>& deltas) const;
  // Item i's rebuilt result. An i outside the items gives a refused result whose message says
  // so; nothing is read out of range.
  virtual AdmissionResult rebuildItemPreflight(std::int32_t i, const render::OwnerFragment& fragment,
                                               const render::ResourceDelta& delta) const;

 private:
  std::shared_ptr<StoreIdentityToken> identityToken_;
  std::uint32_t revision_;
  std::uint8_t accepted_;
  std::uint8_t consumed_ = 0;
  Text name_;
  std::vector<std::shared_ptr<PreparedAdmission>> items_;
  std::uint32_t validationCount_ = 0;
  std::uint32_t explicitComparisonCount_ = 0;
  std::uint32_t payloadComparisonCount_ = 0;
  std::uint32_t indexProbeCount_ = 0;
  std::uint32_t overlayProbeCount_;
  std::uint32_t overlayValue3_;
  std::uint32_t overlayValue4_;
};

// Bucket count of a batch overlay: the power of two from 64 to 8192 that holds every key the
// batch can put (one owner key per item, one sequence key per command, up to two resource keys
// per delta record), 8192 when more are needed.
std::int32_t candidateOverlayBucketCount(std::int64_t items, std::int64_t commands, std::int64_t entries);

}  // namespace retained
