// Building an operation result.
#include "retained/operation_result.hpp"

#include <utility>

namespace retained {

OperationResult makeOperationResult(bool ok, std::uint32_t revision, std::uint32_t validationCount,
                                    std::uint32_t explicitComparisonCount, std::uint32_t payloadComparisonCount,
                                    Text message) {
  return OperationResult{
      ok, revision, validationCount, explicitComparisonCount, payloadComparisonCount, std::move(message)};
}

}  // namespace retained
