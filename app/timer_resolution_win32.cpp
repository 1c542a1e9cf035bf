#include "app/timer_resolution.hpp"

// clang-format off
#include <windows.h>
#include <timeapi.h>  // needs windows.h before it
// clang-format on

namespace app {

namespace {
constexpr UINT kPeriodMilliseconds = 1;
}  // namespace

TimerResolution::TimerResolution() : raised_(timeBeginPeriod(kPeriodMilliseconds) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution() {
  if (raised_) timeEndPeriod(kPeriodMilliseconds);
}

}  // namespace app
