// The retained resources of one drawing surface: paints, every generation of images, glyph alpha
// masks, clips and transforms in column tables, the owners with their command ranges and every
// owner's commands, all found through one 8192-bucket chained index of resource keys. Changes go
// through the admission protocol only (evaluate, admit, prepare and commit, candidate batches,
// close); every refusal is a result with a message, never an exception, and only running out of
// memory propagates. A store that ran out of memory part-way through writing turns "invalid" and
// admits nothing more. Operations call one another through the virtual table, so an override of
// one changes every operation built on it. One thread at a time; no locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "render/render_records.hpp"
#include "retained/admission_kind.hpp"
#include "retained/admission_result.hpp"
#include "retained/candidate_overlay.hpp"
#include "retained/operation_result.hpp"
#include "retained/prepared_admission.hpp"
#include "retained/prepared_candidate_batch.hpp"
#include "retained/resource_key_index.hpp"
#include "retained/store_identity_token.hpp"
#include "retained/store_tables.hpp"
#include "runtime/text.hpp"

namespace retained {

class RetainedResourceStore {
 public:
  static constexpr std::int32_t kIndexBucketCount = 8192;

  // A surface id that is empty or longer than 128 bytes gives a store in state "invalid".
  explicit RetainedResourceStore(std::string_view surfaceId);
  // A copy would share the identity token, and so the preparations, of the original.
  RetainedResourceStore(const RetainedResourceStore&) = delete;
  RetainedResourceStore& operator=(const RetainedResourceStore&) = delete;
  RetainedResourceStore(RetainedResourceStore&&) = delete;
  RetainedResourceStore& operator=(RetainedResourceStore&&) = delete;
  virtual ~RetainedResourceStore();

  virtual Text surfaceId() const;
  virtual Text state() const;  // "open", "invalid" or "closed"
  virtual std::uint32_t revision() const;

  virtual std::uint32_t ownerCount() const;
  virtual std::uint32_t commandCount() const;
  virtual std::uint32_t payloadBytes() const;
  virtual std::uint32_t validationCount() const;
  virtual std::uint32_t explicitComparisonCount() const;
  virtual std::uint32_t payloadComparisonCount() const;
  virtual std::uint32_t admissionCount() const;

  virtual std::uint32_t indexKeyCount() const;
  virtual std::uint32_t indexBucketCount() const;
  virtual std::uint32_t indexProbeCount() const;

  virtual std::uint32_t paintCount() const;
  virtual std::uint32_t imageCount() const;
  virtual std::uint32_t glyphCount() const;
  virtual std::uint32_t clipCount() const;
  virtual std::uint32_t transformCount() const;

  // Reference columns of a command row: entry numbers, -1 for none and for a row out of range.
  virtual std::int32_t commandRef1(std::int32_t row) const;  // paint
  virtual std::int32_t commandRef2(std::int32_t row) const;  // image generation
  virtual std::int32_t commandRef3(std::int32_t row) const;  // glyph alpha
  virtual std::int32_t commandRef4(std::int32_t row) const;  // clip
  virtual std::int32_t commandRef5(std::int32_t row) const;  // transform

  // Owner row of a command row; -1 out of range.
  virtual std::int32_t commandOwner(std::int32_t row) const;
  // Rows of the five resource tables together.
  virtual std::uint32_t entryCount() const;

  // Owner row of a bound owner, or -1; counts nothing.
  virtual std::int32_t findOwner(std::string_view ownerId) const;
  // Value under a store index key, or -1; counts nothing.
  virtual std::int32_t indexGet(std::string_view key) const;
  // The same lookups, adding every chain node visited to the result's indexProbeCount.
  virtual std::int32_t findOwnerCounted(AdmissionResult& result, std::string_view ownerId) const;
  virtual std::int32_t indexGetCounted(AdmissionResult& result, std::string_view key) const;

 protected:
  // Insert or overwrite; every chain node examined adds 1 to the index probe total.
  virtual void indexPut(std::string_view key, std::uint32_t value);

 public:
  // Entry number of a known resource: the overlay's index first (probes counted there), then the
  // store index (probes counted in the result); -1 when neither knows it.
  virtual std::int32_t resolvePaint(AdmissionResult& result, CandidateOverlay& overlay, std::string_view id) const;
  virtual std::int32_t resolveImageGeneration(AdmissionResult& result, CandidateOverlay& overlay, std::string_view id,
                                              std::int32_t generation) const;
  // Newest generation staged or stored for the image id (the overlay wins); 0 when none.
  virtual std::int32_t resolveLatestImage(AdmissionResult& result, CandidateOverlay& overlay,
                                          std::string_view id) const;
  virtual std::int32_t resolveGlyph(AdmissionResult& result, CandidateOverlay& overlay, std::string_view id) const;
  virtual std::int32_t resolveClip(AdmissionResult& result, CandidateOverlay& overlay, std::string_view id) const;
  virtual std::int32_t resolveTransform(AdmissionResult& result, CandidateOverlay& overlay, std::string_view id) const;

  // Record at an entry number: a store row below the table's row count, else the overlay's
  // staged record after them; a default record for a number in neither.
  virtual render::PaintRecord paintAt(const CandidateOverlay& overlay, std::int32_t entry) const;
  virtual render::ImageRecord imageAt(const CandidateOverlay& overlay, std::int32_t entry) const;
  virtual render::GlyphAlphaRecord glyphAt(const CandidateOverlay& overlay, std::int32_t entry) const;
  virtual render::ClipRecord clipAt(const CandidateOverlay& overlay, std::int32_t entry) const;
  virtual render::TransformRecord transformAt(const CandidateOverlay& overlay, std::int32_t entry) const;

  // Record rebuilt from a table row; a default record for a row out of range.
  virtual render::PaintRecord storedPaint(std::int32_t row) const;
  virtual render::ImageRecord storedImage(std::int32_t row) const;
  virtual render::GlyphAlphaRecord storedGlyph(std::int32_t row) const;
  virtual render::ClipRecord storedClip(std::int32_t row) const;
  virtual render::TransformRecord storedTransform(std::int32_t row) const;

  // Stored generation of an owner row; 0 out of range.
  virtual std::int32_t ownerGeneration(std::int32_t ownerRow) const;

  // Reference columns of the owner's command at position j of its range; -1 out of range.
  virtual std::int32_t ownerCommandRef1(std::int32_t ownerRow, std::uint32_t position) const;
  virtual std::int32_t ownerCommandRef2(std::int32_t ownerRow, std::uint32_t position) const;
  virtual std::int32_t ownerCommandRef3(std::int32_t ownerRow, std::uint32_t position) const;
  virtual std::int32_t ownerCommandRef4(std::int32_t ownerRow, std::uint32_t position) const;
  virtual std::int32_t ownerCommandRef5(std::int32_t ownerRow, std::uint32_t position) const;

  // Admission of one delta record: true when an equal record of the same identity is known, or
  // when the record is new and valid (it is then appended to the result's list of its kind);
  // false with the reason in the result's message. The store and the overlay's records are
  // never changed.
  virtual bool admitPaint(AdmissionResult& result, CandidateOverlay& overlay, const render::PaintRecord& paint) const;
  virtual bool admitImage(AdmissionResult& result, CandidateOverlay& overlay, const render::ImageRecord& image) const;
  virtual bool admitGlyphAlpha(AdmissionResult& result, CandidateOverlay& overlay,
                               const render::GlyphAlphaRecord& glyph) const;
  virtual bool admitClip(AdmissionResult& result, CandidateOverlay& overlay, const render::ClipRecord& clip) const;
  virtual bool admitTransform(AdmissionResult& result, CandidateOverlay& overlay,
                              const render::TransformRecord& transform) const;

  // Entry number of a referenced resource across store rows, staged records and the result's
  // own new records, in that order; -1 when missing.
  virtual std::int32_t findReferencedPaint(AdmissionResult& result, CandidateOverlay& overlay,
                                           std::string_view id) const;
  virtual std::int32_t findReferencedImage(AdmissionResult& result, CandidateOverlay& overlay, std::string_view id,
                                           std::int32_t generation) const;
  virtual std::int32_t findReferencedGlyph(AdmissionResult& result, CandidateOverlay& overlay,
                                           std::string_view id) const;
  virtual std::int32_t findReferencedClip(AdmissionResult& result, CandidateOverlay& overlay,
                                          std::string_view id) const;
  virtual std::int32_t findReferencedTransform(AdmissionResult& result, CandidateOverlay& overlay,
                                               std::string_view id) const;

  // kind: kBindingAdmission for the initial binding of an unbound owner, kUpdateAdmission for an
  // update of a bound one (admission_kind.hpp).
  virtual AdmissionResult evaluateAdmission(const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                                            std::uint32_t expectedRevision, std::uint8_t kind) const;
  virtual AdmissionResult preflightAdmission(const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                                             std::uint32_t expectedRevision, std::uint8_t kind,
                                             CandidateOverlay& overlay) const;

  // Stages an accepted result's new records into a batch overlay; the store is not changed.
  virtual void stageDelta(const AdmissionResult& result, CandidateOverlay& overlay) const;

  virtual std::shared_ptr<PreparedCandidateBatch> prepareCandidateBatch(
      const std::vector<render::OwnerFragment>& fragments, const std::vector<render::ResourceDelta>& deltas,
      std::uint32_t expectedRevision) const;

 protected:
  // Row writers: append one row and write its keys (the command row writes none).
  virtual void appendPaintRow(render::PaintRecord paint);
  virtual void appendImageRow(render::ImageRecord image);
  virtual void appendGlyphRow(render::GlyphAlphaRecord glyph);
  virtual void appendClipRow(render::ClipRecord clip);
  virtual void appendTransformRow(render::TransformRecord transform);
  virtual void appendCommandRow(std::uint32_t ownerRow, const render::CommandRecord& command, std::int32_t paintRef,
                                std::int32_t imageRef, std::int32_t glyphRef, std::int32_t clipRef,
                                std::int32_t transformRef);
  // Rewrites an existing command row in place, its owner column and keys excepted.
  virtual void writeCommandRow(std::int32_t row, const render::CommandRecord& command, std::int32_t paintRef,
                               std::int32_t imageRef, std::int32_t glyphRef, std::int32_t clipRef,
                               std::int32_t transformRef);
  // Writes an accepted result numbered against the store as it stands. False, with nothing
  // written, when the result cannot belong to this store as it stands: parallel plan lists of
  // different lengths, a binding of a bound owner, an update of an unbound owner or one that does
  // not keep the owner's command range, a reference past the rows the result leaves. The column
  // and index lists are grown before the first write; should a later write throw all the same
  // (memory for a key, an override), the store is left "invalid" so that no commit can apply the
  // result a second time, and the exception propagates.
  virtual bool applyDelta(AdmissionResult result, std::uint8_t kind);
  // Applies an accepted result and advances the counters and the revision.
  virtual OperationResult commitEvaluatedAdmission(AdmissionResult result, std::uint8_t kind);

 public:
  virtual OperationResult admitBinding(const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                                       std::uint32_t expectedRevision);
  virtual std::shared_ptr<PreparedAdmission> prepareBinding(const render::OwnerFragment& fragment,
                                                            const render::ResourceDelta& delta,
                                                            std::uint32_t expectedRevision) const;
  virtual OperationResult evaluateBinding(const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                                          std::uint32_t expectedRevision) const;
  virtual OperationResult admitUpdate(const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                                      std::uint32_t expectedRevision);
  virtual std::shared_ptr<PreparedAdmission> prepareUpdate(const render::OwnerFragment& fragment,
                                                           const render::ResourceDelta& delta,
                                                           std::uint32_t expectedRevision) const;
  virtual OperationResult commitPreparedAdmission(const std::shared_ptr<PreparedAdmission>& prepared,
                                                  const render::OwnerFragment& fragment,
                                                  const render::ResourceDelta& delta, std::uint8_t kind);
  virtual OperationResult commitPreparedBinding(const std::shared_ptr<PreparedAdmission>& prepared,
                                                const render::OwnerFragment& fragment,
                                                const render::ResourceDelta& delta);
  virtual OperationResult commitPreparedUpdate(const std::shared_ptr<PreparedAdmission>& prepared,
                                               const render::OwnerFragment& fragment,
                                               const render::ResourceDelta& delta);
  virtual OperationResult commitPreparedCandidateBatch(const std::shared_ptr<PreparedCandidateBatch>& batch,
                                                       const std::vector<render::OwnerFragment>& fragments,
                                                       const std::vector<render::ResourceDelta>& deltas);
  virtual OperationResult evaluateUpdate(const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                                         std::uint32_t expectedRevision) const;

  // Owner row of the stored command equal to the given one in every field, or -1.
  virtual std::int32_t findCommandOwner(const render::CommandRecord& command) const;
  // Command row of the stored command equal to the given one in every field, or -1.
  virtual std::int32_t findCommandBySequence(const render::CommandRecord& command) const;

  // Empties every table and the index for good; always true.
  virtual bool close();

  // "retained-resource-store-v1: surface=...; state=...; revision=...; ..." on one line.
  virtual Text describe() const;

 private:
  std::shared_ptr<StoreIdentityToken> identityToken_;
  Text surfaceId_;
  Text state_;
  std::uint32_t revision_ = 0;

  StoreTables tables_;
  ResourceKeyIndex index_;

  std::uint32_t commandCount_ = 0;
  std::uint32_t payloadBytes_ = 0;
  std::uint32_t validationCount_ = 0;
  std::uint32_t explicitComparisonCount_ = 0;
  std::uint32_t payloadComparisonCount_ = 0;
  std::uint32_t admissionCount_ = 0;

  // The steps of preflightAdmission, in their order. Each answers whether the admission passes
  // it; one that does not has written its refusal into the result's message.
  bool storeIsOpen(AdmissionResult& result) const;
  bool revisionIsCurrent(AdmissionResult& result, std::uint32_t expectedRevision) const;
  bool surfaceMatches(AdmissionResult& result, const render::ResourceDelta& delta) const;
  static bool fragmentIsValid(AdmissionResult& result, const render::OwnerFragment& fragment);
  // Looks the owner up (counted) into ownerRow: a binding needs it unbound, an update bound.
  bool ownerFitsKind(AdmissionResult& result, const Text& owner, std::uint8_t kind, std::int32_t& ownerRow) const;
  // An update: a newer generation, the stored command range, no image generation lowered.
  bool updateKeepsOwner(AdmissionResult& result, const render::OwnerFragment& fragment, std::int32_t ownerRow) const;
  // A binding: a command range that overlaps no bound owner's.
  bool rangeIsFree(AdmissionResult& result, const render::OwnerFragment& fragment) const;
  static bool deltaSizeFits(AdmissionResult& result, const render::ResourceDelta& delta);
  // Every delta record through its admit operation, paints first and transforms last.
  bool resourcesAdmitted(AdmissionResult& result, CandidateOverlay& overlay, const render::ResourceDelta& delta) const;
  // Entries, commands and payload after the admission.
  bool storeBudgetsHold(AdmissionResult& result, const CandidateOverlay& overlay, const render::OwnerFragment& fragment,
                        std::uint8_t kind, std::int32_t ownerRow) const;
  bool ownerBudgetHolds(AdmissionResult& result, std::uint8_t kind) const;
  bool indexBudgetHolds(AdmissionResult& result, const CandidateOverlay& overlay, const render::OwnerFragment& fragment,
                        std::uint8_t kind) const;
  // The plan's range, and every command's references resolved into the plan.
  bool referencesResolve(AdmissionResult& result, CandidateOverlay& overlay,
                         const render::OwnerFragment& fragment) const;
  bool commandReferencesResolve(AdmissionResult& result, CandidateOverlay& overlay, const Text& owner,
                                const render::CommandRecord& command) const;
  // A binding: no sequence repeated within it or held by another owner.
  bool sequencesAreFree(AdmissionResult& result, const render::OwnerFragment& fragment, std::uint8_t kind) const;

  // Whether applyDelta can write the result without breaking a table (see applyDelta); ownerRow
  // receives what findOwner answered for the plan's owner.
  bool fitsStore(const AdmissionResult& result, std::uint8_t kind, std::int32_t& ownerRow) const;
  // Whether an update's plan keeps the bound owner's command count and sequences.
  bool updateFitsOwner(const AdmissionPlan& plan, std::int32_t owner) const;
  // Grows every table and the index by what applying the result adds, in one call each, so
  // that the writes after it do not reallocate them.
  void reserveFor(const AdmissionResult& result, std::uint8_t kind);
  // The writes of applyDelta, in their order: the new resource rows with their keys, then the
  // owner row and its command rows, appended for a binding or rewritten for an update.
  void appendResourceRows(AdmissionResult& result);
  void appendOwnerRows(AdmissionPlan& plan);
  void rewriteOwnerRows(const AdmissionPlan& plan, std::size_t owner);
  // Empties every table and index node; used by close.
  void clearTables();
};

}  // namespace retained
