// Prepared admission: signatures kept at preparation, compared and matched at commit.
#include "retained/prepared_admission.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "render/signatures.hpp"

namespace retained {
namespace {

// The kept lists, by their place among the signature lists and the reference lists.
constexpr std::size_t kCommandSignatures = 0;
constexpr std::size_t kDeltaPaintSignatures = 1;
constexpr std::size_t kDeltaImageSignatures = 2;
constexpr std::size_t kDeltaGlyphAlphaSignatures = 3;
constexpr std::size_t kDeltaClipSignatures = 4;
constexpr std::size_t kDeltaTransformSignatures = 5;
constexpr std::size_t kAddedPaints = 0;
constexpr std::size_t kAddedImages = 1;
constexpr std::size_t kAddedGlyphAlphas = 2;
constexpr std::size_t kAddedClips = 3;
constexpr std::size_t kAddedTransforms = 4;
constexpr std::size_t kPaintRefs = 0;
constexpr std::size_t kImageRefs = 1;
constexpr std::size_t kGlyphRefs = 2;
constexpr std::size_t kClipRefs = 3;
constexpr std::size_t kTransformRefs = 4;

template <typename Record, typename Encode>
void appendSignatures(const std::vector<Record>& records, Encode encode, std::vector<Text>& into) {
  for (const Record& record : records) {
    into.push_back(encode(record));
  }
}

template <typename Record, typename Encode>
bool signaturesMatch(const std::vector<Record>& records, std::span<const Text> signatures, Encode encode) {
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (encode(records[i]) != signatures[i]) {
      return false;
    }
  }
  return true;
}

// Keeps the signatures of the records the preflight found new. Each is normally that of a delta
// record of the same kind, later in the delta than the one before it: it is then kept as that
// signature's position in `signatures`, between deltaBegin and deltaEnd, and not a second time
// (a new image's signature holds its whole payload). A signature found nowhere, as an overridden
// admit operation may bring, is appended to `signatures` itself, and so are all after it.
template <typename Record, typename Encode>
void appendAddedSignatures(const std::vector<Record>& records, Encode encode, std::size_t deltaBegin,
                           std::size_t deltaEnd, std::vector<Text>& signatures, std::vector<std::uint32_t>& positions) {
  std::size_t cursor = deltaBegin;
  bool inDelta = true;
  for (const Record& record : records) {
    Text signature = encode(record);
    while (inDelta && cursor < deltaEnd && signatures[cursor] != signature) ++cursor;
    inDelta = inDelta && cursor < deltaEnd;
    if (inDelta) {
      positions.push_back(static_cast<std::uint32_t>(cursor++));
    } else {
      positions.push_back(static_cast<std::uint32_t>(signatures.size()));
      signatures.push_back(std::move(signature));
    }
  }
}

// The delta records that the preparation found new, in order: a record is taken when its
// signature is the next unmatched one of the kept list (positions in `signatures`). Signatures
// are computed only while unmatched ones remain.
template <typename Record, typename Encode>
void takeAddedRecords(const std::vector<Record>& records, std::span<const std::uint32_t> added,
                      const std::vector<Text>& signatures, Encode encode, std::vector<Record>& into) {
  std::size_t next = 0;
  for (const Record& record : records) {
    if (next >= added.size()) {
      return;
    }
    if (encode(record) == signatures[added[next]]) {
      into.push_back(record);
      ++next;
    }
  }
}

std::uint32_t listEnd(std::size_t size) { return static_cast<std::uint32_t>(size); }

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
      fragmentSignature_(render::encodeFragmentSignature(fragment)) {
  signatures_.reserve(fragment.commands.size() + delta.paints.size() + delta.images.size() + delta.glyphAlphas.size() +
                      delta.clips.size() + delta.transforms.size());
  std::size_t list = kCommandSignatures;
  auto keepSignatures = [this, &list](const auto& records, auto encode) {
    appendSignatures(records, encode, signatures_);
    signatureEnds_[list++] = listEnd(signatures_.size());
  };
  keepSignatures(fragment.commands, render::encodeCommandSignature);
  keepSignatures(delta.paints, render::encodePaintSignature);
  keepSignatures(delta.images, render::encodeImageSignature);
  keepSignatures(delta.glyphAlphas, render::encodeGlyphSignature);
  keepSignatures(delta.clips, render::encodeClipSignature);
  keepSignatures(delta.transforms, render::encodeTransformSignature);

  addedSignatures_.reserve(result.paints.size() + result.images.size() + result.glyphAlphas.size() +
                           result.clips.size() + result.transforms.size());
  std::size_t added = kAddedPaints;
  auto keepAdded = [this, &added](const auto& records, auto encode) {
    // The delta list of the same kind follows the commands' list in kind order.
    const std::size_t deltaList = kDeltaPaintSignatures + added;
    appendAddedSignatures(records, encode, signatureEnds_[deltaList - 1], signatureEnds_[deltaList], signatures_,
                          addedSignatures_);
    addedEnds_[added++] = listEnd(addedSignatures_.size());
  };
  keepAdded(result.paints, render::encodePaintSignature);
  keepAdded(result.images, render::encodeImageSignature);
  keepAdded(result.glyphAlphas, render::encodeGlyphSignature);
  keepAdded(result.clips, render::encodeClipSignature);
  keepAdded(result.transforms, render::encodeTransformSignature);

  const AdmissionPlan& plan = result.plan;
  references_.reserve(plan.paintRefs.size() + plan.imageRefs.size() + plan.glyphRefs.size() + plan.clipRefs.size() +
                      plan.transformRefs.size());
  list = kPaintRefs;
  for (const std::vector<std::int32_t>* refs :
       {&plan.paintRefs, &plan.imageRefs, &plan.glyphRefs, &plan.clipRefs, &plan.transformRefs}) {
    references_.insert(references_.end(), refs->begin(), refs->end());
    referenceEnds_[list++] = listEnd(references_.size());
  }
}

std::span<const Text> PreparedAdmission::signatureList(std::size_t list) const {
  const std::size_t begin = list == 0 ? 0 : signatureEnds_[list - 1];
  return {signatures_.data() + begin, signatureEnds_[list] - begin};
}

std::span<const std::uint32_t> PreparedAdmission::addedList(std::size_t list) const {
  const std::size_t begin = list == 0 ? 0 : addedEnds_[list - 1];
  return {addedSignatures_.data() + begin, addedEnds_[list] - begin};
}

std::int32_t PreparedAdmission::referenceAt(std::size_t list, std::size_t i) const {
  const std::size_t begin = list == 0 ? 0 : referenceEnds_[list - 1];
  return i < referenceEnds_[list] - begin ? references_[begin + i] : -1;
}

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
  if (fragment.commands.size() != signatureList(kCommandSignatures).size() ||
      delta.paints.size() != signatureList(kDeltaPaintSignatures).size() ||
      delta.images.size() != signatureList(kDeltaImageSignatures).size() ||
      delta.glyphAlphas.size() != signatureList(kDeltaGlyphAlphaSignatures).size() ||
      delta.clips.size() != signatureList(kDeltaClipSignatures).size() ||
      delta.transforms.size() != signatureList(kDeltaTransformSignatures).size()) {
    return false;
  }
  return signaturesMatch(fragment.commands, signatureList(kCommandSignatures), render::encodeCommandSignature) &&
         signaturesMatch(delta.paints, signatureList(kDeltaPaintSignatures), render::encodePaintSignature) &&
         signaturesMatch(delta.images, signatureList(kDeltaImageSignatures), render::encodeImageSignature) &&
         signaturesMatch(delta.glyphAlphas, signatureList(kDeltaGlyphAlphaSignatures), render::encodeGlyphSignature) &&
         signaturesMatch(delta.clips, signatureList(kDeltaClipSignatures), render::encodeClipSignature) &&
         signaturesMatch(delta.transforms, signatureList(kDeltaTransformSignatures), render::encodeTransformSignature);
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
  takeAddedRecords(delta.paints, addedList(kAddedPaints), signatures_, render::encodePaintSignature, result.paints);
  takeAddedRecords(delta.images, addedList(kAddedImages), signatures_, render::encodeImageSignature, result.images);
  takeAddedRecords(delta.glyphAlphas, addedList(kAddedGlyphAlphas), signatures_, render::encodeGlyphSignature,
                   result.glyphAlphas);
  takeAddedRecords(delta.clips, addedList(kAddedClips), signatures_, render::encodeClipSignature, result.clips);
  takeAddedRecords(delta.transforms, addedList(kAddedTransforms), signatures_, render::encodeTransformSignature,
                   result.transforms);
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
    plan.paintRefs.push_back(referenceAt(kPaintRefs, i));
    plan.imageRefs.push_back(referenceAt(kImageRefs, i));
    plan.glyphRefs.push_back(referenceAt(kGlyphRefs, i));
    plan.clipRefs.push_back(referenceAt(kClipRefs, i));
    plan.transformRefs.push_back(referenceAt(kTransformRefs, i));
  }
  return result;
}

}  // namespace retained
