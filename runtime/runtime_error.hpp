// The runtime's failure value, the exception that carries it, and cancellation of the one
// blocking wait the runtime has.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

namespace runtime {

struct RuntimeError {
  std::string code;     // dotted lower-case code: "file.read", "file.read.limit", "window.canvas"
  std::string message;  // human-readable message
  std::int64_t number = 0;
  std::string provider;  // id of the capability provider that raised it, or empty
  std::string extra;
};

RuntimeError makeRuntimeError(std::string code, std::string message);

// Thrown for failures of file reading and of window and canvas access. what() is
// "<code>: <message>".
class vusk_runtime_exception : public std::exception {
 public:
  explicit vusk_runtime_exception(RuntimeError error);
  ~vusk_runtime_exception() override;
  const char* what() const noexcept override;

  const RuntimeError& error() const noexcept { return error_; }

 private:
  RuntimeError error_;
  std::string line_;
};

// Ends a blocking wait whose thread was asked to cancel. Deliberately not a std::exception.
struct vusk_task_cancelled {};

struct CancellationToken {
  std::atomic<bool> cancelObserved{false};
  std::atomic<bool> cancelRequested{false};
};

// Each thread's token; null (not cancellable) in every new thread.
extern thread_local CancellationToken* currentCancellationToken;

// Sleeps for the duration in slices of at most 5 ms, checking the calling thread's token
// before each slice; throws vusk_task_cancelled when cancellation was requested. A duration
// of 0 or less returns at once.
void cancellableSleep(std::int64_t milliseconds);

}  // namespace runtime
