#include "retained/admission_result.hpp"

namespace retained {

AdmissionResult makePreflightResult(std::string_view ownerId, std::int32_t generation) {
  AdmissionResult result;
  result.plan.ownerId = Text(ownerId);
  result.plan.generation = generation;
  return result;
}

std::int32_t AdmissionResult::findPendingPaint(std::string_view id) { return pending_.findPaint(paints, id); }

std::int32_t AdmissionResult::findPendingImage(std::string_view id, std::int32_t generation) {
  return pending_.findImage(images, id, generation);
}

std::int32_t AdmissionResult::findPendingGlyph(std::string_view id) { return pending_.findGlyph(glyphAlphas, id); }

std::int32_t AdmissionResult::findPendingClip(std::string_view id) { return pending_.findClip(clips, id); }

std::int32_t AdmissionResult::findPendingTransform(std::string_view id) {
  return pending_.findTransform(transforms, id);
}

std::int32_t AdmissionResult::newestPendingImageGeneration(std::string_view id) {
  return pending_.newestImageGeneration(images, id);
}

}  // namespace retained
