// The parts of the platform seam that are the same on both sides.
#include <cerrno>
#include <ctime>

#include "runtime/platform.hpp"

#ifdef _WIN32
#include <pthread_time.h>
#endif

namespace runtime::platform {

namespace {

int systemNanosleep(const struct timespec* request, struct timespec* remain) { return ::nanosleep(request, remain); }

NanosleepFunction gNanosleep = &systemNanosleep;

}  // namespace

NanosleepFunction setNanosleepForTesting(NanosleepFunction function) {
  NanosleepFunction previous = gNanosleep;
  gNanosleep = function != nullptr ? function : &systemNanosleep;
  return previous;
}

void sleepSlice(std::int64_t milliseconds) {
  struct timespec time {};
  time.tv_sec = 0;
  time.tv_nsec = static_cast<long>(milliseconds * 1000000);
  // The same structure is request and remainder: after EINTR it holds what is left.
  while (gNanosleep(&time, &time) != 0 && errno == EINTR) {
  }
}

}  // namespace runtime::platform
