#include <timeapi.h>
#include <windows.h>

#include "app/timer_resolution.hpp"

namespace app {

namespace {
constexpr UINT kPeriodMilliseconds = 1;
}  // namespace

TimerResolution::TimerResolution() : raised_(timeBeginPeriod(kPeriodMilliseconds) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution() {
  if (raised_) timeEndPeriod(kPeriodMilliseconds);
}

}  // namespace app
