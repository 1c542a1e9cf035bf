// The answer of every store operation that changes or evaluates a retained store: whether it
// did what was asked, the store revision when it returned, the work the evaluation spent and a
// message ("ok" or the reason for the refusal). Building one never fails but by memory
// exhaustion.
#pragma once

#include <cstdint>

#include "runtime/text.hpp"

namespace retained {

using runtime::Text;

struct OperationResult {
  bool ok = false;
  std::uint32_t revision = 0;                 // after a commit the new revision, otherwise the unchanged one
  std::uint32_t validationCount = 0;          // 0 in a refusal
  std::uint32_t explicitComparisonCount = 0;  // 0 in a refusal
  std::uint32_t payloadComparisonCount = 0;   // 0 in a refusal
  Text message;
};

// The six values in field order, unchecked.
OperationResult makeOperationResult(bool ok, std::uint32_t revision, std::uint32_t validationCount,
                                    std::uint32_t explicitComparisonCount, std::uint32_t payloadComparisonCount,
                                    Text message);

}  // namespace retained
