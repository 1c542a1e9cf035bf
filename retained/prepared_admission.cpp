// Prepared admission: signatures kept at preparation, compared and matched at commit.
#include "retained/prepared_admission.hpp"

#include <cstddef>
#include <utility>

#include "render/signatures.hpp"

namespace retained {
namespace {

template <typename Record, typename Encode>
std::vector<Text> signaturesOf(const std::vector<Record>& records, Encode encode) {
  std::vector<Text> signatures;
  signatures.reserve(records.size());
  for (const Record& record : records) {
    signatures.push_back(encode(record));
  }
  return signatures;
}

template <typename Record, typename Encode>
bool signaturesMatch(const std::vector<Record>& records, const std::vector<Text>& signatures, Encode encode) {
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (encode(records[i]) != signatures[i]) {
      return false;
    }
  }
  return true;
}

// The delta records that the preparation found new, in order: a record is taken when its
// signature is the next unmatched one of the kept list. Signatures are computed only while
// unmatched ones remain.
template <typename Record, typename Encode>
void takeAddedRecords(const std::vector<Record>& records, const std::vector<Text>& added, Encode encode,
                      std::vector<Record>& into) {
  std::size_t next = 0;
  for (const Record& record : records) {
    if (next >= added.size()) {
      return;
    }
    if (encode(record) == added[next]) {
      into.push_back(record);
      ++next;
    }
  }
}

std::int32_t refAt(const std::vector<std::int32_t>& refs, std::size_t i) { return i < refs.size() ? refs[i] : -1; }

}  // namespace

PreparedAdmission::PreparedAdmission(std::shared_ptr<StoreIdentityToken> identityToken, const AdmissionResult& result,
                                     const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                                     std::uint32_t revision, std::uint8_t kind)
    : identityToken_(std::move(identityToken)),
      revision_(revision),
      kind_(kind),
      accepted_(result.accepted),
      name_(result.message),
      validationCount_(result.validationCount),
      explicitComparisonCount_(result.explicitComparisonCount),
      payloadComparisonCount_(result.payloadComparisonCount),
      indexProbeCount_(result.indexProbeCount),
      firstCommandSequence_(result.plan.firstCommandSequence),
      lastCommandSequence_(result.plan.lastCommandSequence),
      fragmentSignature_(render::encodeFragmentSignature(fragment)),
      commandSignatures_(signaturesOf(fragment.commands, render::encodeCommandSignature)),
      deltaPaintSignatures_(signaturesOf(delta.paints, render::encodePaintSignature)),
      deltaImageSignatures_(signaturesOf(delta.images, render::encodeImageSignature)),
      deltaGlyphAlphaSignatures_(signaturesOf(delta.glyphAlphas, render::encodeGlyphSignature)),
      deltaClipSignatures_(signaturesOf(delta.clips, render::encodeClipSignature)),
      deltaTransformSignatures_(signaturesOf(delta.transforms, render::encodeTransformSignature)),
      addedPaintSignatures_(signaturesOf(result.paints, render::encodePaintSignature)),
      addedImageSignatures_(signaturesOf(result.images, render::encodeImageSignature)),
      addedGlyphAlphaSignatures_(signaturesOf(result.glyphAlphas, render::encodeGlyphSignature)),
      addedClipSignatures_(signaturesOf(result.clips, render::encodeClipSignature)),
      addedTransformSignatures_(signaturesOf(result.transforms, render::encodeTransformSignature)),
      paintRefs_(result.plan.paintRefs),
      imageRefs_(result.plan.imageRefs),
      glyphRefs_(result.plan.glyphRefs),
      clipRefs_(result.plan.clipRefs),
      transformRefs_(result.plan.transformRefs) {}

bool PreparedAdmission::accepted() const { return accepted_; }
std::uint32_t PreparedAdmission::revision() const { return revision_; }
std::uint32_t PreparedAdmission::validationCount() const { return validationCount_; }
std::uint32_t PreparedAdmission::explicitComparisonCount() const { return explicitComparisonCount_; }
std::uint32_t PreparedAdmission::payloadComparisonCount() const { return payloadComparisonCount_; }
std::uint32_t PreparedAdmission::indexProbeCount() const { return indexProbeCount_; }
Text PreparedAdmission::name() const { return name_; }
bool PreparedAdmission::consumed() const { return consumed_; }

bool PreparedAdmission::belongsTo(const std::shared_ptr<StoreIdentityToken>& token) const {
  return token.get() == identityToken_.get();
}

std::uint8_t PreparedAdmission::kind() const { return kind_; }
void PreparedAdmission::markConsumed() { consumed_ = true; }

bool PreparedAdmission::inputsUnchanged(const render::OwnerFragment& fragment,
                                        const render::ResourceDelta& delta) const {
  if (render::encodeFragmentSignature(fragment) != fragmentSignature_) {
    return false;
  }
  if (fragment.commands.size() != commandSignatures_.size() || delta.paints.size() != deltaPaintSignatures_.size() ||
      delta.images.size() != deltaImageSignatures_.size() ||
      delta.glyphAlphas.size() != deltaGlyphAlphaSignatures_.size() ||
      delta.clips.size() != deltaClipSignatures_.size() ||
      delta.transforms.size() != deltaTransformSignatures_.size()) {
    return false;
  }
  return signaturesMatch(fragment.commands, commandSignatures_, render::encodeCommandSignature) &&
         signaturesMatch(delta.paints, deltaPaintSignatures_, render::encodePaintSignature) &&
         signaturesMatch(delta.images, deltaImageSignatures_, render::encodeImageSignature) &&
         signaturesMatch(delta.glyphAlphas, deltaGlyphAlphaSignatures_, render::encodeGlyphSignature) &&
         signaturesMatch(delta.clips, deltaClipSignatures_, render::encodeClipSignature) &&
         signaturesMatch(delta.transforms, deltaTransformSignatures_, render::encodeTransformSignature);
}

AdmissionResult PreparedAdmission::rebuildPreflight(const render::OwnerFragment& fragment,
                                                    const render::ResourceDelta& delta) const {
  AdmissionResult result = makePreflightResult(fragment.id, fragment.generation);
  result.accepted = accepted_;
  result.message = name_;
  result.validationCount = validationCount_;
  result.explicitComparisonCount = explicitComparisonCount_;
  result.payloadComparisonCount = payloadComparisonCount_;
  result.indexProbeCount = indexProbeCount_;
  result.plan.firstCommandSequence = firstCommandSequence_;
  result.plan.lastCommandSequence = lastCommandSequence_;
  takeAddedRecords(delta.paints, addedPaintSignatures_, render::encodePaintSignature, result.paints);
  takeAddedRecords(delta.images, addedImageSignatures_, render::encodeImageSignature, result.images);
  takeAddedRecords(delta.glyphAlphas, addedGlyphAlphaSignatures_, render::encodeGlyphSignature, result.glyphAlphas);
  takeAddedRecords(delta.clips, addedClipSignatures_, render::encodeClipSignature, result.clips);
  takeAddedRecords(delta.transforms, addedTransformSignatures_, render::encodeTransformSignature, result.transforms);
  AdmissionPlan& plan = result.plan;
  const std::size_t n = fragment.commands.size();
  plan.commands.reserve(n);
  plan.paintRefs.reserve(n);
  plan.imageRefs.reserve(n);
  plan.glyphRefs.reserve(n);
  plan.clipRefs.reserve(n);
  plan.transformRefs.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    plan.commands.push_back(fragment.commands[i]);
    plan.paintRefs.push_back(refAt(paintRefs_, i));
    plan.imageRefs.push_back(refAt(imageRefs_, i));
    plan.glyphRefs.push_back(refAt(glyphRefs_, i));
    plan.clipRefs.push_back(refAt(clipRefs_, i));
    plan.transformRefs.push_back(refAt(transformRefs_, i));
  }
  return result;
}

}  // namespace retained
