#include "runtime/runtime_error.hpp"

#include <utility>

#include "runtime/platform.hpp"

namespace runtime {

RuntimeError makeRuntimeError(std::string code, std::string message) {
  RuntimeError error;
  error.code = std::move(code);
  error.message = std::move(message);
  return error;
}

vusk_runtime_exception::vusk_runtime_exception(RuntimeError error) : error_(std::move(error)) {
  line_.reserve(error_.code.size() + 2 + error_.message.size());
  line_ += error_.code;
  line_ += ": ";
  line_ += error_.message;
}

vusk_runtime_exception::~vusk_runtime_exception() = default;

const char* vusk_runtime_exception::what() const noexcept { return line_.c_str(); }

thread_local CancellationToken* currentCancellationToken = nullptr;

void cancellableSleep(std::int64_t milliseconds) {
  constexpr std::int64_t kSliceMilliseconds = 5;
  CancellationToken* const* slot = &currentCancellationToken;
  std::int64_t remaining = milliseconds;
  while (remaining > 0) {
    CancellationToken* token = *slot;
    if (token != nullptr && token->cancelRequested.load()) {
      token->cancelObserved.exchange(true);
      throw vusk_task_cancelled{};
    }
    const std::int64_t slice = remaining < kSliceMilliseconds ? remaining : kSliceMilliseconds;
    platform::sleepSlice(slice);
    remaining -= slice;
  }
}

}  // namespace runtime
