#include "retained/candidate_overlay.hpp"

#include <cstddef>
#include <cstdint>

namespace retained {

CandidateOverlay makeCandidateOverlay(std::int32_t bucketCount) {
  CandidateOverlay overlay;
  overlay.resourceIndex = ResourceKeyIndex::create(bucketCount);
  overlay.ownerIndex = ResourceKeyIndex::create(bucketCount);
  overlay.sequenceIndex = ResourceKeyIndex::create(bucketCount);
  return overlay;
}

std::int32_t sumOverlayProbes(const CandidateOverlay& overlay) {
  const std::uint32_t sum =
      overlay.resourceIndex.probeCount + overlay.ownerIndex.probeCount + overlay.sequenceIndex.probeCount;
  return static_cast<std::int32_t>(sum);
}

std::int32_t countDeltaResources(const render::ResourceDelta& delta) {
  const std::size_t count = delta.paints.size() + delta.images.size() + delta.glyphAlphas.size() + delta.clips.size() +
                            delta.transforms.size();
  // No real delta comes near; the cap only keeps a count past 2^31 from reading as negative.
  return count > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(count);
}

}  // namespace retained
