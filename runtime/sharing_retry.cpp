#include "runtime/sharing_retry.hpp"

#include "runtime/platform.hpp"

namespace runtime::platform {

bool isPassingSharingError(std::uint32_t error) {
  return error == kErrorSharingViolation || error == kErrorLockViolation || error == kErrorAccessDenied;
}

std::uint32_t retryWhileShared(const std::function<std::uint32_t()>& attempt) {
  std::uint32_t error = attempt();
  for (int tries = 1; tries < kSharingTries && error != 0 && isPassingSharingError(error); ++tries) {
    sleepSlice(kSharingPauseMilliseconds);
    error = attempt();
  }
  return error;
}

bool isDirectoryFlushRefusal(std::uint32_t error) {
  return error == kErrorInvalidFunction || error == kErrorAccessDenied;
}

}  // namespace runtime::platform
