#include "retained/admission_result.hpp"

namespace retained {

AdmissionResult makePreflightResult(std::string_view ownerId, std::int32_t generation) {
  AdmissionResult result;
  result.plan.ownerId = Text(ownerId);
  result.plan.generation = generation;
  return result;
}

}  // namespace retained
