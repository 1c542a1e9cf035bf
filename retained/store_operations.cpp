// The public single-owner operations of the retained store: evaluate, evaluate and apply,
// prepare and commit later, each as an initial binding or an update (see admission_kind.hpp), and
// close. Every refusal is a result with the current revision, zero counters and a message; the
// store changes only in `commitEvaluatedAdmission` and `close`.
#include <utility>

#include "retained/admission_kind.hpp"
#include "retained/operation_result.hpp"
#include "retained/prepared_admission.hpp"
#include "retained/retained_resource_store.hpp"
#include "retained/store_messages.hpp"
#include "runtime/text.hpp"

namespace retained {
namespace {

OperationResult refusal(std::uint32_t revision, Text message) {
  return makeOperationResult(false, revision, 0, 0, 0, std::move(message));
}

// An evaluation's answer: its counters when accepted, only its message when refused.
OperationResult evaluated(std::uint32_t revision, const AdmissionResult& result) {
  if (!result.accepted) {
    return refusal(revision, result.message);
  }
  return makeOperationResult(true, revision, result.validationCount, result.explicitComparisonCount,
                             result.payloadComparisonCount, "ok");
}

}  // namespace

OperationResult RetainedResourceStore::commitEvaluatedAdmission(AdmissionResult result, std::uint8_t kind) {
  // Applying a refused result would write a half-checked owner (an update of an unbound owner
  // has no owner row to rewrite), and a store that is not open takes nothing.
  if (!result.accepted) {
    return refusal(revision_, result.message);
  }
  if (state_ != "open") {
    return refusal(revision_, kStoreNotOpen);
  }
  const std::uint32_t validations = result.validationCount;
  const std::uint32_t explicitComparisons = result.explicitComparisonCount;
  const std::uint32_t payloadComparisons = result.payloadComparisonCount;
  const std::uint32_t probes = result.indexProbeCount;
  if (!applyDelta(std::move(result), kind)) {
    return refusal(revision_, "retained resource store cannot apply an admission made against other tables");
  }
  validationCount_ += validations;
  explicitComparisonCount_ += explicitComparisons;
  payloadComparisonCount_ += payloadComparisons;
  index_.probeCount += probes;
  admissionCount_ += 1;
  revision_ += 1;
  return makeOperationResult(true, revision_, validations, explicitComparisons, payloadComparisons, "ok");
}

OperationResult RetainedResourceStore::admitBinding(const render::OwnerFragment& fragment,
                                                    const render::ResourceDelta& delta,
                                                    std::uint32_t expectedRevision) {
  AdmissionResult result = evaluateAdmission(fragment, delta, expectedRevision, kBindingAdmission);
  if (!result.accepted) {
    return refusal(revision_, std::move(result.message));
  }
  return commitEvaluatedAdmission(std::move(result), kBindingAdmission);
}

std::shared_ptr<PreparedAdmission> RetainedResourceStore::prepareBinding(const render::OwnerFragment& fragment,
                                                                         const render::ResourceDelta& delta,
                                                                         std::uint32_t expectedRevision) const {
  const AdmissionResult result = evaluateAdmission(fragment, delta, expectedRevision, kBindingAdmission);
  return std::make_shared<PreparedAdmission>(identityToken_, result, fragment, delta, expectedRevision,
                                             kBindingAdmission);
}

OperationResult RetainedResourceStore::evaluateBinding(const render::OwnerFragment& fragment,
                                                       const render::ResourceDelta& delta,
                                                       std::uint32_t expectedRevision) const {
  return evaluated(revision_, evaluateAdmission(fragment, delta, expectedRevision, kBindingAdmission));
}

OperationResult RetainedResourceStore::admitUpdate(const render::OwnerFragment& fragment,
                                                   const render::ResourceDelta& delta, std::uint32_t expectedRevision) {
  AdmissionResult result = evaluateAdmission(fragment, delta, expectedRevision, kUpdateAdmission);
  if (!result.accepted) {
    return refusal(revision_, std::move(result.message));
  }
  return commitEvaluatedAdmission(std::move(result), kUpdateAdmission);
}

std::shared_ptr<PreparedAdmission> RetainedResourceStore::prepareUpdate(const render::OwnerFragment& fragment,
                                                                        const render::ResourceDelta& delta,
                                                                        std::uint32_t expectedRevision) const {
  const AdmissionResult result = evaluateAdmission(fragment, delta, expectedRevision, kUpdateAdmission);
  return std::make_shared<PreparedAdmission>(identityToken_, result, fragment, delta, expectedRevision,
                                             kUpdateAdmission);
}

OperationResult RetainedResourceStore::commitPreparedAdmission(const std::shared_ptr<PreparedAdmission>& prepared,
                                                               const render::OwnerFragment& fragment,
                                                               const render::ResourceDelta& delta, std::uint8_t kind) {
  if (!prepared) {
    return refusal(revision_, "retained resource prepared admission is missing");
  }
  if (!prepared->belongsTo(identityToken_)) {
    return refusal(revision_, "retained resource prepared admission belongs to another store");
  }
  if (prepared->consumed()) {
    return refusal(revision_, "retained resource prepared admission was already consumed");
  }
  if (prepared->kind() != kind) {
    return refusal(revision_, "retained resource prepared admission kind does not match commit");
  }
  if (!prepared->accepted()) {
    return refusal(revision_, prepared->name());
  }
  if (prepared->revision() != revision_) {
    return refusal(revision_,
                   runtime::formatText("retained resource prepared admission is stale: expected {0}, current {1}",
                                       {countText(prepared->revision()), countText(revision_)}));
  }
  // After the stale test, so a preparation made before a close still reads as stale; what is
  // left is a store an interrupted application marked invalid at an unchanged revision.
  if (state_ != "open") {
    return refusal(revision_, kStoreNotOpen);
  }
  if (!prepared->inputsUnchanged(fragment, delta)) {
    return refusal(revision_, "retained resource prepared admission inputs were changed");
  }
  OperationResult result = commitEvaluatedAdmission(prepared->rebuildPreflight(fragment, delta), kind);
  if (result.ok) {
    prepared->markConsumed();
  }
  return result;
}

OperationResult RetainedResourceStore::commitPreparedBinding(const std::shared_ptr<PreparedAdmission>& prepared,
                                                             const render::OwnerFragment& fragment,
                                                             const render::ResourceDelta& delta) {
  return commitPreparedAdmission(prepared, fragment, delta, kBindingAdmission);
}

OperationResult RetainedResourceStore::commitPreparedUpdate(const std::shared_ptr<PreparedAdmission>& prepared,
                                                            const render::OwnerFragment& fragment,
                                                            const render::ResourceDelta& delta) {
  return commitPreparedAdmission(prepared, fragment, delta, kUpdateAdmission);
}

OperationResult RetainedResourceStore::evaluateUpdate(const render::OwnerFragment& fragment,
                                                      const render::ResourceDelta& delta,
                                                      std::uint32_t expectedRevision) const {
  return evaluated(revision_, evaluateAdmission(fragment, delta, expectedRevision, kUpdateAdmission));
}

bool RetainedResourceStore::close() {
  if (state_ == "closed") {
    return true;
  }
  clearTables();
  commandCount_ = 0;
  payloadBytes_ = 0;
  state_ = "closed";
  revision_ += 1;
  return true;
}

}  // namespace retained
