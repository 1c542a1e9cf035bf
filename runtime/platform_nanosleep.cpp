// The sleep primitive under sleepSlice, in a file of its own: a test that links its own
// nanosleepOnce leaves this file out of its executable (see platform.hpp).
#include <ctime>

#include "runtime/platform.hpp"

#ifdef _WIN32
#include <pthread_time.h>
#endif

namespace runtime::platform {

int nanosleepOnce(const struct timespec* request, struct timespec* remain) { return ::nanosleep(request, remain); }

}  // namespace runtime::platform
