// The parts of the platform seam that are the same on both sides.
#include <cerrno>
#include <ctime>

#include "runtime/platform.hpp"

namespace runtime::platform {

void sleepSlice(std::int64_t milliseconds) {
  struct timespec time {};
  time.tv_sec = 0;
  time.tv_nsec = static_cast<long>(milliseconds * 1000000);
  // The same structure is request and remainder: after EINTR it holds what is left.
  while (nanosleepOnce(&time, &time) != 0 && errno == EINTR) {
  }
}

}  // namespace runtime::platform
